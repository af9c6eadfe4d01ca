// modemsim: the simulated GSM handset as a program. It prints the device path of its line on
// the first line of standard output and runs until SIGINT or SIGTERM.
//
//   modemsim [--seed FILE] [--link PATH] [--control SOCKET] [--register]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"
#include "tools/modemsim/control.h"
#include "tools/modemsim/modem_simulator.h"
#include "tools/modemsim/seed.h"

namespace {

using qvl::sim::ModemSimulator;

constexpr std::size_t kMaxClients = 16;
constexpr std::size_t kMaxCommandLine = 4096;
constexpr char16_t kExtModems[] = u"ExtModems";
// As a cable modem the phone offers the simulator in its modem chooser. Under the
// multiplexer modem's name the phone picks it at its first start without asking, which is
// what the embedded default of the run script wants.
struct Registration {
    const char16_t* subKey;
    const char16_t* friendlyName;
};
constexpr Registration kAsCable = {u"HayesCompat", u"QVL GSM simulator"};
constexpr Registration kAsGprsModem = {u"GPRS_Modem", u"GPRS_Modem (QVL GSM simulator)"};

struct Options {
    std::string seed;
    std::string link;
    std::string control;
    bool registerModem = false;
    Registration registration = kAsCable;
};

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: modemsim [--seed FILE] [--link PATH] [--control SOCKET] [--register]\n"
                 "                [--register-gprs]\n"
                 "  --seed FILE      starting state (see tools/modemsim/README.md)\n"
                 "  --link PATH      a symbolic link to the device at a stable path\n"
                 "  --control SOCKET a Unix socket taking script commands, one per line\n"
                 "  --register       list the simulator as the cable modem in the registry\n"
                 "  --register-gprs  list it as the multiplexer modem, chosen without asking\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "modemsim: %s needs a value\n", arg.c_str());
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--seed") {
            if (!value(options.seed))
                return false;
        } else if (arg == "--link") {
            if (!value(options.link))
                return false;
        } else if (arg == "--control") {
            if (!value(options.control))
                return false;
        } else if (arg == "--register") {
            options.registerModem = true;
            options.registration = kAsCable;
        } else if (arg == "--register-gprs") {
            options.registerModem = true;
            options.registration = kAsGprsModem;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "modemsim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return false;
        }
    }
    return true;
}

// Replaces an old link of ours; never removes anything that is not a symbolic link.
bool MakeLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "modemsim: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "modemsim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buf[4096];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) {
        unlink(link.c_str());
    }
}

bool Register(const Registration& as, const std::string& port) {
    const qvl::RegKey key =
        qvl::RegKey::Open(qvl::RegRoot::LocalMachine,
                          std::u16string(kExtModems) + u"\\" + as.subKey, qvl::RegOpen::Create);
    return key && key.WriteString(u"Port", qvl::Utf8ToWide(port)) &&
           key.WriteString(u"FriendlyName", as.friendlyName);
}

void Unregister(const Registration& as, const std::string& port) {
    const qvl::RegKey parent = qvl::RegKey::Open(qvl::RegRoot::LocalMachine, kExtModems);
    if (!parent)
        return;
    const qvl::RegKey key = parent.OpenSub(as.subKey);
    // Only our own entry goes; a user may have put a real cable modem there meanwhile.
    const auto current = key ? key.ReadString(u"Port") : std::nullopt;
    if (current && *current == qvl::Utf8ToWide(port)) {
        parent.DeleteSubKey(as.subKey);
    }
}

// True when a simulator is listening on the control socket at path: its link, socket and
// registry entry are in use and must be left alone.
bool ControlSocketAnswers(const std::string& path) {
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return answers;
}

// The file we bound, so that the clean-up removes only our own socket.
struct BoundSocket {
    dev_t device = 0;
    ino_t inode = 0;
};

bool SameFile(const std::string& path, const BoundSocket& ours) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && st.st_dev == ours.device && st.st_ino == ours.inode;
}

int OpenControlSocket(const std::string& path, BoundSocket& ours) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        std::fprintf(stderr, "modemsim: control path too long\n");
        return -1;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            std::fprintf(stderr, "modemsim: %s exists and is not a socket\n", path.c_str());
            return -1;
        }
        unlink(path.c_str());
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const mode_t old = umask(0177);
    const int bindResult = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    umask(old);
    if (bindResult != 0 || listen(fd, 4) != 0) {
        std::fprintf(stderr, "modemsim: cannot listen on %s: %s\n", path.c_str(),
                     std::strerror(errno));
        close(fd);
        return -1;
    }
    struct stat mine {};
    if (lstat(path.c_str(), &mine) == 0) {
        ours.device = mine.st_dev;
        ours.inode = mine.st_ino;
    }
    return fd;
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (poll(&p, 1, 1000) <= 0)
                    return;
                continue;
            }
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

struct Client {
    int fd = -1;
    std::string pending;
};

}  // namespace

int main(int argc, char** argv) {
    // "modemsim --probe SOCKET": exit 0 when a simulator answers on that control socket.
    if (argc == 3 && std::string(argv[1]) == "--probe") {
        return ControlSocketAnswers(argv[2]) ? 0 : 1;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 2;
    }
    qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
    if (!options.seed.empty()) {
        std::string error;
        if (!qvl::sim::LoadSeedFile(options.seed, seed, &error)) {
            std::fprintf(stderr, "modemsim: %s: %s\n", options.seed.c_str(), error.c_str());
            return 1;
        }
    }

    // Signals are taken from a descriptor so that the loop below ends cleanly.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    const int signals = signalfd(-1, &mask, SFD_CLOEXEC);

    // A second simulator started on the same control socket (the run command started twice)
    // would take over the link, the socket and the registry entry of the first one, and
    // remove them when it ends, leaving the phone that uses them without a modem.
    if (ControlSocketAnswers(options.control)) {
        std::fprintf(stderr, "modemsim: a simulator already runs on %s; leaving it alone\n",
                     options.control.c_str());
        return 3;
    }

    ModemSimulator modem(seed);
    std::string device = modem.Start();
    if (device.empty()) {
        std::fprintf(stderr, "modemsim: %s\n", modem.LastError().c_str());
        return 1;
    }
    int status = 0;
    bool linked = false;
    bool registered = false;
    int listener = -1;
    BoundSocket controlSocket;
    if (!options.link.empty()) {
        linked = MakeLink(options.link, device);
        status = linked ? 0 : 1;
    }
    const std::string port = linked ? options.link : device;
    if (status == 0 && options.registerModem) {
        registered = Register(options.registration, port);
        if (!registered) {
            std::fprintf(stderr, "modemsim: cannot write the registry entry\n");
            status = 1;
        }
    }
    if (status == 0 && !options.control.empty()) {
        listener = OpenControlSocket(options.control, controlSocket);
        status = listener < 0 ? 1 : 0;
    }

    // The first line tells a starter that the line, link, entry and socket are all ready.
    if (status == 0) {
        std::printf("%s\n", device.c_str());
        std::fflush(stdout);
    }

    std::vector<Client> clients;
    bool running = status == 0;
    while (running) {
        std::vector<pollfd> fds;
        fds.push_back({signals, POLLIN, 0});
        if (listener >= 0)
            fds.push_back({listener, POLLIN, 0});
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        if (listener >= 0 && (fds[1].revents & POLLIN) != 0) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0 && clients.size() < kMaxClients) {
                clients.push_back({fd, {}});
            } else if (fd >= 0) {
                WriteAll(fd, "ERROR too many control connections\n");
                close(fd);
            }
        }
        const std::size_t first = listener >= 0 ? 2 : 1;
        for (std::size_t i = 0; i < clients.size() && first + i < fds.size(); ++i) {
            if (fds[first + i].revents == 0)
                continue;
            Client& c = clients[i];
            char buf[1024];
            const ssize_t n = read(c.fd, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno == EAGAIN)
                    continue;
                close(c.fd);
                c.fd = -1;
                continue;
            }
            c.pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            while ((nl = c.pending.find('\n')) != std::string::npos) {
                std::string line = c.pending.substr(0, nl);
                c.pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                const std::string word = qvl::sim::UpperAscii(line.substr(0, line.find(' ')));
                if (word == "QUIT" || word == "STOP") {
                    WriteAll(c.fd, "OK\n");
                    running = false;
                    break;
                }
                if (word == "RESTART") {
                    // A new line after "drop"; the link and registry entry follow it.
                    const std::string fresh = modem.Start();
                    if (fresh.empty()) {
                        WriteAll(c.fd, "ERROR " + modem.LastError() + "\n");
                        continue;
                    }
                    if (linked) {
                        MakeLink(options.link, fresh);
                    } else if (registered) {
                        Unregister(options.registration, device);
                        Register(options.registration, fresh);
                    }
                    device = fresh;
                    WriteAll(c.fd, "OK " + fresh + "\n");
                    continue;
                }
                WriteAll(c.fd, qvl::sim::RunControlCommand(modem, line) + "\n");
            }
            if (c.pending.size() > kMaxCommandLine) {
                WriteAll(c.fd, "ERROR line too long\n");
                c.pending.clear();
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }

    for (const Client& c : clients) close(c.fd);
    if (listener >= 0) {
        close(listener);
        if (SameFile(options.control, controlSocket)) {
            unlink(options.control.c_str());
        }
    }
    modem.Stop();
    if (registered)
        Unregister(options.registration, linked ? options.link : device);
    if (linked)
        RemoveLink(options.link, device);
    return status;
}

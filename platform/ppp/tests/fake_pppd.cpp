// A stand-in for pppd in tests. The tests start it under the name <dir>/pppd (a link to this
// program) through QVL_PPPD; it reads <dir>/control, records what it was given in
// <dir>/record-<pid>.txt and plays the outcome the control file asks for.
//
// It reads its options the way pppd does (words, quotes, "#" comments, "file" and "call"), runs
// the connect option through /bin/sh on the device like pppd (so the real chat dials the modem
// simulator), prints pppd's log lines to its log file, runs the route hooks the test points it
// at with pppd's arguments, and ends on SIGTERM with pppd's exit status 5.
//
// control (key=value lines):
//   outcome=up | never | stubborn | auth-fail | chat-fail | killed | hangup | no-kernel | exit:N
//             (killed and hangup end the call during the IP negotiation)
//   connect=run | skip        run the connect option on the device, or only print its lines
//   hooks=DIR                 DIR/ip-up and DIR/ip-down are run as pppd runs its scripts
//   hookpath=PATH             the PATH the hooks get
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ppp/tests/pppwords.h"

extern char** environ;

using qvl::ppp::test::Words;

namespace {

std::string g_dir;
std::string g_recordPath;
int g_logFd = 2;

void Record(const std::string& line) {
    std::ofstream out(g_recordPath, std::ios::app);
    out << line << "\n";
}

void Log(const std::string& line) {
    const std::string text = line + "\n";
    (void)!::write(g_logFd, text.data(), text.size());
}

std::string ReadFile(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Options {
    std::string device;
    std::string speed;
    std::string connect;
    std::string user;
    std::string password;
    std::string ipparam;
    std::string logfile;
    bool nodetach = false;
    bool lock = false;
    bool noauth = false;
};

bool Apply(const std::vector<std::string>& words, Options& o, int depth);

bool ApplyFile(const std::string& path, Options& o, int depth) {
    bool ok = false;
    const std::string text = ReadFile(path, ok);
    Record("file " + path);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        Record("| " + line);
    }
    if (!ok) {
        Log("In file " + path + ": unable to open");
        return false;
    }
    return depth < 4 && Apply(Words(text), o, depth + 1);
}

bool Apply(const std::vector<std::string>& words, Options& o, int depth) {
    const std::map<std::string, std::string*> withValue = {
        {"connect", &o.connect}, {"user", &o.user},       {"password", &o.password},
        {"ipparam", &o.ipparam}, {"logfile", &o.logfile},
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (auto it = withValue.find(w); it != withValue.end()) {
            if (i + 1 >= words.size()) {
                Log("option " + w + " requires an argument");
                return false;
            }
            *it->second = words[++i];
        } else if (w == "file" || w == "call") {
            if (i + 1 >= words.size()) {
                return false;
            }
            const std::string name = words[++i];
            if (!ApplyFile(w == "call" ? "/etc/ppp/peers/" + name : name, o, depth)) {
                return false;
            }
        } else if (w == "nodetach") {
            o.nodetach = true;
        } else if (w == "lock") {
            o.lock = true;
        } else if (w == "noauth") {
            o.noauth = true;
        } else if (w == "noipdefault" || w == "nodefaultroute" || w == "debug") {
        } else if (w.rfind("/dev/", 0) == 0) {
            o.device = w;
        } else if (!w.empty() && w.find_first_not_of("0123456789") == std::string::npos) {
            o.speed = w;
        } else {
            Log("/usr/sbin/pppd: unrecognized option '" + w + "'");
            return false;
        }
    }
    return true;
}

std::map<std::string, std::string> Control() {
    std::map<std::string, std::string> control;
    std::ifstream in(g_dir + "/control");
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            control[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return control;
}

// How many descriptors of the device the program that started us has open (it must have
// closed its own port before the dial; a simulator inside it may keep one of its own).
int ParentDeviceFds(const std::string& device) {
    char resolved[4096];
    if (::realpath(device.c_str(), resolved) == nullptr) {
        return 0;
    }
    const std::string fdDir = "/proc/" + std::to_string(::getppid()) + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int holds = 0;
    while (const dirent* e = ::readdir(dir)) {
        char target[4096];
        const std::string link = fdDir + "/" + e->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            holds += std::strcmp(target, resolved) == 0 ? 1 : 0;
        }
    }
    ::closedir(dir);
    return holds;
}

int RunConnect(const std::string& command, int device) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(device, 0);
        ::dup2(device, 1);
        ::dup2(g_logFd, 2);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void RunHook(const std::map<std::string, std::string>& control, const char* name,
             const Options& o) {
    const auto hooks = control.find("hooks");
    if (hooks == control.end()) {
        return;
    }
    const std::string path = hooks->second + "/" + name;
    const std::string env = "PATH=" + (control.count("hookpath") ? control.at("hookpath")
                                                                 : std::string("/usr/bin:/bin"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        char* envp[] = {const_cast<char*>(env.c_str()), nullptr};
        ::execle(path.c_str(), path.c_str(), "ppp0", o.device.c_str(), o.speed.c_str(), "10.64.1.2",
                 "10.64.64.64", o.ipparam.c_str(), static_cast<char*>(nullptr), envp);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    char line[256];
    std::snprintf(line, sizeof line, "Script /etc/ppp/%s finished (pid %d), status = 0x%x", name,
                  static_cast<int>(pid), static_cast<unsigned>(WEXITSTATUS(status)));
    Log(line);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = argv[0];
    g_dir = self.substr(0, self.rfind('/'));
    g_recordPath = g_dir + "/record-" + std::to_string(::getpid()) + ".txt";
    for (int i = 0; i < argc; ++i) {
        Record("arg " + std::string(argv[i]));
    }
    for (char** e = environ; *e != nullptr; ++e) {
        Record(std::string("env ") + *e);
    }
    const auto control = Control();
    const std::string outcome = control.count("outcome") ? control.at("outcome") : "up";

    // The signals pppd ends on are taken with sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    Options o;
    if (!Apply(std::vector<std::string>(argv + 1, argv + argc), o, 0)) {
        Record("exit 2");
        return 2;
    }
    if (!o.logfile.empty()) {
        const int fd = ::open(o.logfile.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
        if (fd >= 0) {
            g_logFd = fd;
        }
    }
    Record("nodetach " + std::to_string(o.nodetach ? 1 : 0));
    Record("lock " + std::to_string(o.lock ? 1 : 0));
    Record("noauth " + std::to_string(o.noauth ? 1 : 0));
    Record("device " + o.device);
    Record("user " + o.user);
    Record("password " + o.password);
    Record("ipparam " + o.ipparam);
    Record("connect " + o.connect);
    Record("pgid_is_own " + std::to_string(::getpgrp() == ::getpid() ? 1 : 0));

    auto finish = [](int code) {
        Record("exit " + std::to_string(code));
        return code;
    };
    if (outcome == "no-kernel") {
        const std::string text = "Couldn't open the /dev/ppp device: No such file or directory\n";
        (void)!::write(2, text.data(), text.size());
        return finish(4);
    }
    if (outcome.rfind("exit:", 0) == 0) {
        return finish(std::atoi(outcome.c_str() + 5));
    }
    if (!o.nodetach) {
        // A real pppd would go to the background here, out of its parent's reach.
        Log("detaching");
        return finish(0);
    }
    const int device = ::open(o.device.c_str(), O_RDWR | O_NOCTTY);
    Record("parent_device_fds " + std::to_string(ParentDeviceFds(o.device)));
    if (device < 0) {
        Log("Failed to open " + o.device + ": " + std::strerror(errno));
        return finish(7);
    }
    termios tio{};
    if (::tcgetattr(device, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(device, TCSANOW, &tio);
    }

    if (outcome == "chat-fail") {
        Log("send (AT^M)");
        Log("expect (OK)");
        Log("alarm");
        Log("Failed");
        Log("Connect script failed");
        return finish(8);
    }
    if (control.count("connect") && control.at("connect") == "run") {
        if (RunConnect(o.connect, device) != 0) {
            Log("Connect script failed");
            return finish(8);
        }
    } else {
        Log("send (ATD*99***1#^M)");
        Log("expect (CONNECT)");
        Log("CONNECT");
    }
    Log("Serial connection established.");
    Log("Using interface ppp0");
    Log("Connect: ppp0 <--> " + o.device);
    Log("sent [LCP ConfReq id=0x1 <asyncmap 0x0> <magic 0x1234abcd>]");
    if (!o.user.empty()) {
        Log("sent [PAP AuthReq id=0x1 user=\"" + o.user + "\" password=<hidden>]");
        if (outcome == "auth-fail") {
            Log("rcvd [PAP AuthNak id=0x1 \"Authentication failure\"]");
            Log("PAP authentication failed");
            return finish(19);
        }
        Log("rcvd [PAP AuthAck id=0x1 \"\"]");
        Log("PAP authentication succeeded");
    }
    Log("sent [IPCP ConfReq id=0x1 <addr 0.0.0.0>]");
    if (outcome == "hangup") {
        Log("Modem hangup");
        Log("Connection terminated.");
        return finish(16);
    }
    if (outcome == "killed") {
        Record("exit signal 9");
        ::raise(SIGKILL);
    }
    if (outcome != "never" && outcome != "stubborn") {
        Log("local  IP address 10.64.1.2");
        Log("remote IP address 10.64.64.64");
        RunHook(control, "ip-up", o);
    }
    for (;;) {
        int signal = 0;
        ::sigwait(&stopSignals, &signal);
        Record("signal " + std::to_string(signal));
        if (outcome == "stubborn") {
            continue;
        }
        Log("Terminating on signal " + std::to_string(signal));
        if (outcome != "never") {
            RunHook(control, "ip-down", o);
        }
        Log("Connection terminated.");
        return finish(5);
    }
}

#include "kannel_harness.h"

#include "mmsclient/mmsencode.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qvl::mms::test {
namespace {

// The gateway's configuration: no SMS centre, everything on loopback, logs in the folder.
std::string Configuration(const std::string& folder) {
    return "group = core\n"
           "admin-port = 13100\n"
           "admin-interface = 127.0.0.1\n"
           "admin-password = test\n"
           "admin-allow-ip = \"127.0.0.1\"\n"
           "wapbox-port = 13102\n"
           "box-allow-ip = \"127.0.0.1\"\n"
           "wdp-interface-name = \"127.0.0.1\"\n"
           "udp-allow-ip = \"127.0.0.1\"\n"
           "log-file = \"" +
           folder +
           "/bearerbox.log\"\n"
           "log-level = 1\n"
           "\n"
           "group = wapbox\n"
           "bearerbox-host = 127.0.0.1\n"
           "log-file = \"" +
           folder +
           "/wapbox.log\"\n"
           "log-level = 1\n";
}

// Starts a program with argv only; it dies with this process, and its output goes to a file.
pid_t Spawn(const char* program, const std::string& config, const std::string& output) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    char* const argv[] = {const_cast<char*>(program), const_cast<char*>("-v"),
                          const_cast<char*>("1"), const_cast<char*>(config.c_str()), nullptr};
    ::execv(program, argv);
    ::_exit(127);
}

void StopProcess(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {  // up to 10 s
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        ::usleep(100 * 1000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

std::string Tail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    return text.size() > 1500 ? text.substr(text.size() - 1500) : text;
}

// True when a TCP socket listens on the port (the bearerbox's port for its boxes). Read from the
// kernel's socket table rather than by connecting: the bearerbox takes every connection to that
// port for a box, and one that closes at once can make it panic ("run_wapbox: Assertion
// gwlist_len(newlist) == 0"), which ended the gateway before the test began.
bool Listening(std::uint16_t port) {
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", static_cast<unsigned>(port));
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) {
            // "  sl  local_address rem_address   st ...": the local address ends in :PORT, and
            // state 0A is LISTEN.
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "0A" && local.size() > 5 &&
                local.compare(local.size() - 5, 5, wanted) == 0) {
                return true;
            }
        }
    }
    return false;
}

// One probe: a WSP Connect to UDP 9201; true when anything comes back within the wait.
bool ProbeAnswered(std::uint16_t tid) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in gw{};
    gw.sin_family = AF_INET;
    gw.sin_port = htons(9201);
    gw.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&gw), sizeof gw);
    TidCounter tids;
    for (std::uint16_t i = 0; i < tid; ++i) tids.Next(TidUse::New);
    const Octets connect = BuildConnectPdu(tids, "probe");
    ::send(fd, connect.data(), connect.size(), 0);
    pollfd pfd{fd, POLLIN, 0};
    bool answered = false;
    if (::poll(&pfd, 1, 300) == 1) {
        std::uint8_t buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        answered = n > 0;
        if (answered) {
            // Acknowledge the reply and end the probe's session.
            const Octets ack = BuildAckPdu(tids);
            ::send(fd, ack.data(), ack.size(), 0);
            Bytes session;
            if (n >= 5 && buffer[3] == 0x02)
                session.push_back(buffer[4] & 0x7F);
            const Octets disconnect = BuildDisconnectPdu(tids, session);
            ::send(fd, disconnect.data(), disconnect.size(), 0);
        }
    }
    ::close(fd);
    return answered;
}

}  // namespace

bool KannelGateway::Installed() {
    return ::access(kBearerbox, X_OK) == 0 && ::access(kWapbox, X_OK) == 0;
}

bool KannelGateway::Start(std::string& why) {
    m_machineLock = ::open("/tmp/qvl-kannel.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_machineLock < 0) {
        why = "cannot open /tmp/qvl-kannel.lock";
        return false;
    }
    // Another run's gateway lives for one test program; waiting for a few of them is normal.
    const auto lockLimit = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (::flock(m_machineLock, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() > lockLimit) {
            why = "another WAP gateway of a test run held /tmp/qvl-kannel.lock for 240 s";
            Stop();
            return false;
        }
        ::usleep(100 * 1000);
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "qvl-kannel.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        why = "mkdtemp failed";
        return false;
    }
    m_folder = pattern;
    const std::string config = m_folder + "/kannel.conf";
    std::ofstream(config) << Configuration(m_folder);
    m_bearerbox = Spawn(kBearerbox, config, m_folder + "/bearerbox.out");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto bearerboxEnded = [&]() {
        if (::waitpid(m_bearerbox, nullptr, WNOHANG) != m_bearerbox) {
            return false;
        }
        m_bearerbox = -1;
        why = "bearerbox ended early (is UDP 9201 or TCP 13100/13102 taken?):\n" +
              Tail(m_folder + "/bearerbox.out") + Tail(m_folder + "/bearerbox.log");
        Stop();
        return true;
    };
    // A wapbox that finds no bearerbox gives up at once, so it starts only once the
    // bearerbox takes connections of its boxes (however long that takes on a busy machine).
    while (!Listening(13102)) {
        if (bearerboxEnded()) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            why =
                "the bearerbox never listened on TCP 13102:\n" + Tail(m_folder + "/bearerbox.log");
            Stop();
            return false;
        }
        ::usleep(50 * 1000);
    }
    m_wapbox = Spawn(kWapbox, config, m_folder + "/wapbox.out");
    // Datagrams sent before the gateway is ready are lost: probe until one is answered.
    std::uint16_t tid = 1;
    while (std::chrono::steady_clock::now() < deadline) {
        if (bearerboxEnded()) {
            return false;
        }
        if (::waitpid(m_wapbox, nullptr, WNOHANG) == m_wapbox) {
            m_wapbox = Spawn(kWapbox, config, m_folder + "/wapbox.out");  // lost its connection
        }
        if (ProbeAnswered(tid)) {
            return true;
        }
        tid = static_cast<std::uint16_t>(tid + 2);
    }
    why = "the gateway never answered a Connect:\n" + Tail(m_folder + "/wapbox.out") +
          Tail(m_folder + "/wapbox.log");
    Stop();
    return false;
}

void KannelGateway::Stop() {
    StopProcess(m_wapbox);
    StopProcess(m_bearerbox);
    if (!m_folder.empty() && std::getenv("QVL_KEEP_KANNEL_LOGS") == nullptr) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    m_folder.clear();
    if (m_machineLock >= 0) {
        ::close(m_machineLock);  // releases the lock
        m_machineLock = -1;
    }
}

HttpRelay::HttpRelay(Mode mode) : m_mode(mode) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 8) != 0 || ::pipe(m_stop) != 0) {
        throw std::runtime_error("relay: socket");
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

HttpRelay::~HttpRelay() {
    const char b = 1;
    (void)!::write(m_stop[1], &b, 1);
    m_thread.join();
    for (int fd : m_held) ::close(fd);
    ::close(m_listen);
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

std::vector<HttpRelay::Request> HttpRelay::Requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

void HttpRelay::Serve() {
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents != 0)
            return;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            Handle(fd);
    }
}

void HttpRelay::Handle(int fd) {
    std::string data;
    std::size_t headEnd = std::string::npos;
    std::size_t contentLength = 0;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, 10000) <= 0 || fds[1].revents != 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (headEnd == std::string::npos &&
            (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
            std::string lower = data.substr(0, headEnd);
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::size_t at = lower.find("\r\ncontent-length:");
            if (at != std::string::npos)
                contentLength = std::strtoul(lower.c_str() + at + 17, nullptr, 10);
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + contentLength)
            break;
    }
    if (headEnd == std::string::npos) {
        ::close(fd);
        return;
    }
    Request request;
    request.head = data.substr(0, headEnd);
    request.body.assign(data.begin() + static_cast<std::ptrdiff_t>(headEnd + 4), data.end());
    const std::string tid = TransactionIdOf(request.body);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(request);
    }
    m_received = true;
    if (m_mode == Mode::Silent) {
        m_held.push_back(fd);
        return;
    }
    // m-send-conf: the request's transaction id, MMS 1.0, the Response-Status, a Message-ID.
    Bytes conf =
        Concat({Hex("8C 81 98"), Ascii(tid), Hex("00 8D 90 92"),
                Bytes{static_cast<std::uint8_t>(m_mode == Mode::ConfirmOk ? 0x80 : 0x81)}});
    if (m_mode == Mode::ConfirmOk)
        conf = Concat({conf, Hex("8B"), Ascii("relay-1"), Hex("00")});
    std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.wap.mms-message\r\nContent-Length: " +
        std::to_string(conf.size()) + "\r\nConnection: close\r\n\r\n";
    answer.append(conf.begin(), conf.end());
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

std::string TransactionIdOf(const Bytes& body) {
    if (body.size() < 4 || body[0] != 0x8C || body[2] != 0x98)
        return {};
    std::string id;
    for (std::size_t i = 3; i < body.size() && body[i] != 0; ++i)
        id.push_back(static_cast<char>(body[i]));
    return id;
}

}  // namespace qvl::mms::test

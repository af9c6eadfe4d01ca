#include "platform/ppp/ppplink.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace qvl::ppp {

namespace {

// Longest log line kept whole; a longer one is cut there.
constexpr std::size_t kMaxLineLength = 4096;
// At most this much of the log is read per Poll, so that a chatty log cannot hold up the UI.
constexpr std::size_t kMaxReadPerPoll = 64 * 1024;

int PidFdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int PidFdSendSignal(int pidFd, int signal) {
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidFd, signal, nullptr, 0));
#else
    (void)pidFd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

// Everything posix_spawn needs, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    bool ok = false;

    explicit SpawnSetup(int logFd) {
        if (::posix_spawn_file_actions_init(&actions) != 0) {
            return;
        }
        if (::posix_spawnattr_init(&attr) != 0) {
            ::posix_spawn_file_actions_destroy(&actions);
            return;
        }
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        ok = ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
             ::posix_spawn_file_actions_adddup2(&actions, logFd, 1) == 0 &&
             ::posix_spawn_file_actions_adddup2(&actions, logFd, 2) == 0 &&
             ::posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
             ::posix_spawnattr_setsigmask(&attr, &none) == 0 &&
             ::posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
             ::posix_spawnattr_setpgroup(&attr, 0) == 0 &&
             ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP) == 0;
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
};

}  // namespace

PppLink::~PppLink() {
    if (Running()) {
        Signal(SIGKILL);
        Reap(true);
    }
    CloseWatches();
}

void PppLink::CloseWatches() {
    for (int* fd : {&m_pidFd, &m_logFd, &m_inotifyFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

int PppLink::Start(const std::vector<std::string>& args, const std::string& logPath) {
    if (Running() || args.empty()) {
        return EINVAL;
    }
    CloseWatches();
    m_endedPid = -1;
    m_partial.clear();
    m_state = LinkState::Starting;
    m_log = {};
    m_routeHookFinished = false;
    m_localAddress.clear();
    m_remoteAddress.clear();
    m_exitCode = 0;
    m_termSignal = 0;
    m_stopped = false;
    const int writeFd = ::open(
        logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (writeFd < 0) {
        return errno;
    }
    ::fchmod(writeFd, 0600);
    m_logFd = ::open(logPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_logFd < 0) {
        const int error = errno;
        ::close(writeFd);
        return error;
    }
    m_inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_inotifyFd >= 0 && ::inotify_add_watch(m_inotifyFd, logPath.c_str(), IN_MODIFY) < 0) {
        ::close(m_inotifyFd);
        m_inotifyFd = -1;
    }

    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // A fixed environment: the dial script finds chat on this PATH, and messages come in the
    // one language the log parser reads.
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char locale[] = "LC_ALL=C";
    char* envp[] = {path, locale, nullptr};

    int error = 0;
    {
        SpawnSetup setup(writeFd);
        pid_t pid = -1;
        error = setup.ok ? ::posix_spawn(&pid, args[0].c_str(), &setup.actions, &setup.attr,
                                         argv.data(), envp)
                         : ENOMEM;
        if (error == 0) {
            m_pid = pid;
        }
    }
    ::close(writeFd);
    if (error != 0) {
        CloseWatches();
        return error;
    }
    m_pidFd = PidFdOpen(m_pid);
    return 0;
}

void PppLink::Poll(int waitMs) {
    if (m_logFd < 0) {
        return;
    }
    if (Running() && waitMs > 0) {
        pollfd fds[2];
        nfds_t count = 0;
        if (m_inotifyFd >= 0) {
            fds[count++] = pollfd{m_inotifyFd, POLLIN, 0};
        }
        if (m_pidFd >= 0) {
            fds[count++] = pollfd{m_pidFd, POLLIN, 0};
        }
        ::poll(fds, count, waitMs);
    }
    if (m_inotifyFd >= 0) {
        char events[4096];
        while (::read(m_inotifyFd, events, sizeof events) > 0) {
        }
    }
    ReadLog();
    if (Running() && Reap(false)) {
        ReadLog();
    }
}

void PppLink::ReadLog() {
    char buffer[4096];
    std::size_t total = 0;
    while (total < kMaxReadPerPoll) {
        const ssize_t n = ::read(m_logFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                TakeLine(m_partial);
                m_partial.clear();
            } else if (m_partial.size() < kMaxLineLength) {
                m_partial += c;
            }
        }
    }
    // What follows the last line end when pppd has ended is a line of its own.
    if (!Running() && !m_partial.empty()) {
        TakeLine(m_partial);
        m_partial.clear();
    }
}

void PppLink::TakeLine(const std::string& line) {
    const LogEvent event = ParseLogLine(line);
    if (event.state && *event.state > m_state) {
        m_state = *event.state;
        if (onState) {
            onState(m_state);
        }
    }
    Accumulate(m_log, event, line);
    switch (event.note) {
        case LogNote::RouteHookFinished:
            m_routeHookFinished = true;
            break;
        case LogNote::LocalAddress:
            m_localAddress = event.detail;
            break;
        case LogNote::RemoteAddress:
            m_remoteAddress = event.detail;
            break;
        case LogNote::None:
        case LogNote::ChatTimeout:
        case LogNote::ChatAborted:
        case LogNote::ConnectFailed:
        case LogNote::AuthFailed:
        case LogNote::NoKernelSupport:
        case LogNote::PortLocked:
        case LogNote::PortOpenFailed:
        case LogNote::NegotiationFailed:
            break;
    }
    if (onLine) {
        onLine(line);
    }
}

bool PppLink::Reap(bool block) {
    int status = 0;
    pid_t done = -1;
    do {
        done = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) {
        return false;
    }
    if (done < 0) {
        // The host program lets its children be reaped by the system (SIGCHLD ignored): the
        // status is lost.
        m_exitCode = -2;
    } else if (WIFEXITED(status)) {
        m_exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        m_exitCode = -1;
        m_termSignal = WTERMSIG(status);
    } else {
        return false;
    }
    m_endedPid = m_pid;
    m_pid = -1;
    if (m_state >= LinkState::Up && m_state != LinkState::Down) {
        m_state = LinkState::Down;
        if (onState) {
            onState(m_state);
        }
    }
    return true;
}

void PppLink::Signal(int signal) {
    if (!Running()) {
        return;
    }
    if (m_pidFd >= 0 && PidFdSendSignal(m_pidFd, signal) == 0) {
        return;
    }
    // Without a pidfd the pid is still ours: it cannot be reused before we reap it.
    ::kill(m_pid, signal);
}

void PppLink::Stop(std::uint32_t graceMs, IClock& clock,
                   const std::function<void()>& whileWaiting) {
    if (!Running()) {
        return;
    }
    m_stopped = true;
    Signal(SIGTERM);
    const std::uint64_t start = clock.NowMs();
    while (Running()) {
        Poll(20);
        if (!Running()) {
            break;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        if (clock.NowMs() - start >= graceMs) {
            Signal(SIGKILL);
            Reap(true);
            ReadLog();
            break;
        }
    }
}

LinkFailure PppLink::Failure() const {
    if (Running()) {
        return LinkFailure::None;
    }
    if (m_stopped) {
        return LinkFailure::Canceled;
    }
    if (m_exitCode == -2) {
        return LinkFailure::Other;
    }
    return FailureFromExit(m_exitCode, m_log);
}

}  // namespace qvl::ppp

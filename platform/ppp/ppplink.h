// One run of pppd: started with an argument vector (posix_spawn, never a shell), kept in the
// foreground (nodetach) as our child, watched through its log file and its exit status, and
// stopped by its own pid.
//
// Nothing here blocks for long: Poll waits at most the time it is given (in poll(), on an
// inotify watch of the log and a pidfd of the child), so that the caller can pump the user
// interface between calls. Only our own child is ever reaped (waitpid on its pid).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ppp/ppplog.h"
#include "platform/sync.h"

namespace qvl::ppp {

// How long a stopped pppd has to end after SIGTERM before it gets SIGKILL.
inline constexpr std::uint32_t kStopGraceMs = 4000;

class PppLink {
  public:
    PppLink() = default;
    ~PppLink();
    PppLink(const PppLink&) = delete;
    PppLink& operator=(const PppLink&) = delete;

    // Empties the log file (created 0600), then starts args[0] with args, its standard input
    // on /dev/null and its standard output and error appended to the log, in a process group of
    // its own (a terminal's Ctrl-C is not meant for it), with default signal handling and a
    // small fixed environment. 0, or the errno of the spawn (ENOENT, EACCES, ...).
    int Start(const std::vector<std::string>& args, const std::string& logPath);

    // Reads what the log gained and notes whether pppd ended; waits up to waitMs for either.
    void Poll(int waitMs);

    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid > 0 ? m_pid : m_endedPid; }
    LinkState State() const { return m_state; }
    const LogSummary& Log() const { return m_log; }
    bool RouteHookFinished() const { return m_routeHookFinished; }
    const std::string& LocalAddress() const { return m_localAddress; }
    const std::string& RemoteAddress() const { return m_remoteAddress; }

    // After the end: the exit code, or -1 when a signal ended it (TermSignal tells which).
    int ExitCode() const { return m_exitCode; }
    int TermSignal() const { return m_termSignal; }
    // True when the end came from Stop.
    bool StoppedByUs() const { return m_stopped; }
    LinkFailure Failure() const;

    // Sends SIGTERM and waits (calling whileWaiting between short polls) until pppd ends; after
    // graceMs by clock it sends SIGKILL and reaps it. Does nothing when it has ended.
    void Stop(std::uint32_t graceMs, IClock& clock, const std::function<void()>& whileWaiting);

    // Called with each new log line (for traces and tests), and with each step the call
    // reaches, in order (several may come from one Poll).
    std::function<void(const std::string& line)> onLine;
    std::function<void(LinkState state)> onState;

  private:
    void ReadLog();
    void TakeLine(const std::string& line);
    bool Reap(bool block);
    void Signal(int signal);
    void CloseWatches();

    pid_t m_pid = -1;
    pid_t m_endedPid = -1;
    int m_pidFd = -1;
    int m_logFd = -1;
    int m_inotifyFd = -1;
    std::string m_partial;
    LinkState m_state = LinkState::Starting;
    LogSummary m_log;
    bool m_routeHookFinished = false;
    std::string m_localAddress;
    std::string m_remoteAddress;
    int m_exitCode = 0;
    int m_termSignal = 0;
    bool m_stopped = false;
};

}  // namespace qvl::ppp

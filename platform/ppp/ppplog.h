// What pppd and chat tell in the log of a call, and what pppd's exit status means.
//
// pppd writes its messages (with the "debug" option of the entry, also the negotiation
// packets) to the entry's log file, and passes the same file to the dial script as its
// standard error, where chat -v -s reports what it sends and expects. The parser reads one line
// at a time and tells at most one thing per line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvl::ppp {

// The steps of a call, in order.
enum class LinkState {
    Starting,         // pppd started, opening the port
    Dialing,          // the dial script talks to the modem (init command)
    DialSent,         // the dial string is sent, CONNECT awaited
    DeviceConnected,  // the modem answered CONNECT
    LinkEstablished,  // pppd runs PPP over the port (LCP)
    Authenticating,   // we send our user name and password (PAP)
    Challenge,        // the network sent a challenge (CHAP)
    Authenticated,    // the network accepted us
    Projection,       // IP addresses are negotiated (IPCP)
    Up,               // the link carries IP
    Down,             // the link ended
};

enum class LogNote {
    None,
    ChatTimeout,        // the modem did not answer in time
    ChatAborted,        // the modem answered with an abort string (detail: that string)
    ConnectFailed,      // pppd: the dial script failed
    AuthFailed,         // the network refused the user name or password
    NoKernelSupport,    // no /dev/ppp
    PortLocked,         // another program holds the port's lock (detail: the line)
    PortOpenFailed,     // the port could not be opened (detail: the line)
    NegotiationFailed,  // LCP or IPCP never completed
    RouteHookFinished,  // the ip-up script (with the route hook) has run
    LocalAddress,       // detail: our address on the link
    RemoteAddress,      // detail: the network's address
};

struct LogEvent {
    std::optional<LinkState> state;
    LogNote note = LogNote::None;
    std::string detail;
};

LogEvent ParseLogLine(std::string_view line);

// Why a call did not come up, or ended.
enum class LinkFailure {
    None,
    NoEntry,             // the entry is missing (its creation failed)
    NoPassword,          // the entry wants a password whose file is gone
    NotInstalled,        // no pppd (package "ppp")
    NotPermitted,        // the user may not run pppd (group "dip")
    NotSetUid,           // pppd is not set-uid root and the user is not root
    SystemFilesMissing,  // the peer file of the install step is missing
    NoKernelSupport,     // the kernel has no PPP
    Options,             // pppd refused its options
    PortLocked,          // the modem port is in use
    PortOpen,            // the modem port could not be opened
    ChatTimeout,         // the modem did not answer the dial script
    ChatRefused,         // the modem refused the init command or the dial
    Negotiation,         // PPP did not come up
    AuthFailed,          // the network refused the user name or password
    Hangup,              // the modem or the network ended the link
    Killed,              // pppd ended by a signal we did not send
    TimedOut,            // our overall limit passed
    Canceled,            // the user canceled
    Other,               // another exit status (see the outcome's exitCode)
};

// What the log said that the exit status alone does not tell.
struct LogSummary {
    LogNote chat = LogNote::None;  // ChatTimeout or ChatAborted
    std::string chatDetail;        // the abort string
    bool authFailed = false;
    bool noKernelSupport = false;
    bool wasUp = false;
    std::string lastLine;  // the last non-empty line (for Options and Other)
};

void Accumulate(LogSummary& summary, const LogEvent& event, std::string_view line);

// The failure an exit status stands for (exitCode as given to exit(), or -1 when pppd was
// ended by a signal).
LinkFailure FailureFromExit(int exitCode, const LogSummary& log);

}  // namespace qvl::ppp

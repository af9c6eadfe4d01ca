#include "platform/ppp/ppplog.h"

namespace qvl::ppp {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

LogEvent State(LinkState state) {
    LogEvent event;
    event.state = state;
    return event;
}

LogEvent Note(LogNote note, std::string_view detail = {}) {
    LogEvent event;
    event.note = note;
    event.detail = std::string(detail);
    return event;
}

// The text after prefix up to the first blank.
std::string_view Word(std::string_view line, std::string_view prefix) {
    std::string_view rest = Trim(line.substr(prefix.size()));
    return rest.substr(0, rest.find(' '));
}

}  // namespace

LogEvent ParseLogLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    // The dial script (chat -v).
    if (StartsWith(line, "send (ATD")) {
        return State(LinkState::DialSent);
    }
    if (StartsWith(line, "send (") || StartsWith(line, "abort on (")) {
        return State(LinkState::Dialing);
    }
    if (line == "alarm" || line == "Failed") {
        return Note(LogNote::ChatTimeout);
    }
    if (StartsWith(line, "Failed (") && line.back() == ')') {
        return Note(LogNote::ChatAborted, line.substr(8, line.size() - 9));
    }
    if (line == "CONNECT" || StartsWith(line, "CONNECT ")) {
        return State(LinkState::DeviceConnected);
    }
    // pppd.
    if (StartsWith(line, "Connect script failed")) {
        return Note(LogNote::ConnectFailed);
    }
    if (StartsWith(line, "Serial connection established")) {
        return State(LinkState::DeviceConnected);
    }
    if (StartsWith(line, "Using interface ") || StartsWith(line, "Connect: ")) {
        return State(LinkState::LinkEstablished);
    }
    if (StartsWith(line, "sent [PAP AuthReq")) {
        return State(LinkState::Authenticating);
    }
    if (StartsWith(line, "rcvd [CHAP Challenge")) {
        return State(LinkState::Challenge);
    }
    if ((StartsWith(line, "PAP ") || Contains(line, "CHAP ")) &&
        Contains(line, "authentication succeeded")) {
        return State(LinkState::Authenticated);
    }
    if ((StartsWith(line, "PAP ") || Contains(line, "CHAP ")) &&
        Contains(line, "authentication failed")) {
        return Note(LogNote::AuthFailed);
    }
    if (StartsWith(line, "sent [IPCP ConfReq")) {
        return State(LinkState::Projection);
    }
    if (StartsWith(line, "local  IP address ") || StartsWith(line, "local IP address ")) {
        LogEvent event = Note(
            LogNote::LocalAddress,
            Word(line, StartsWith(line, "local  ") ? "local  IP address " : "local IP address "));
        event.state = LinkState::Up;
        return event;
    }
    if (StartsWith(line, "remote IP address ")) {
        return Note(LogNote::RemoteAddress, Word(line, "remote IP address "));
    }
    if (StartsWith(line, "Script ") && Contains(line, "ip-up finished")) {
        return Note(LogNote::RouteHookFinished);
    }
    if (line == "Modem hangup" || StartsWith(line, "Connection terminated")) {
        return State(LinkState::Down);
    }
    if (Contains(line, "/dev/ppp") || Contains(line, "lacks kernel support for PPP")) {
        return Note(LogNote::NoKernelSupport);
    }
    if (StartsWith(line, "Device ") && Contains(line, " is locked by pid ")) {
        return Note(LogNote::PortLocked, line);
    }
    if (StartsWith(line, "Failed to open ")) {
        return Note(LogNote::PortOpenFailed, line);
    }
    if (StartsWith(line, "LCP: timeout sending Config-Requests") ||
        StartsWith(line, "IPCP: timeout sending Config-Requests")) {
        return Note(LogNote::NegotiationFailed);
    }
    return {};
}

void Accumulate(LogSummary& summary, const LogEvent& event, std::string_view line) {
    if (const std::string_view trimmed = Trim(line); !trimmed.empty()) {
        summary.lastLine = std::string(trimmed);
    }
    if (event.state == LinkState::Up) {
        summary.wasUp = true;
    }
    switch (event.note) {
        case LogNote::ChatTimeout:
            if (summary.chat == LogNote::None) {
                summary.chat = LogNote::ChatTimeout;
            }
            break;
        case LogNote::ChatAborted:
            summary.chat = LogNote::ChatAborted;
            summary.chatDetail = event.detail;
            break;
        case LogNote::AuthFailed:
            summary.authFailed = true;
            break;
        case LogNote::NoKernelSupport:
            summary.noKernelSupport = true;
            break;
        case LogNote::None:
        case LogNote::ConnectFailed:
        case LogNote::PortLocked:
        case LogNote::PortOpenFailed:
        case LogNote::NegotiationFailed:
        case LogNote::RouteHookFinished:
        case LogNote::LocalAddress:
        case LogNote::RemoteAddress:
            break;
    }
}

LinkFailure FailureFromExit(int exitCode, const LogSummary& log) {
    if (exitCode < 0) {
        return LinkFailure::Killed;
    }
    if (log.noKernelSupport) {
        return LinkFailure::NoKernelSupport;
    }
    switch (exitCode) {
        case 2:
            return LinkFailure::Options;
        case 3:
            return LinkFailure::NotSetUid;
        case 4:
            return LinkFailure::NoKernelSupport;
        case 5:
            // SIGTERM, SIGINT or SIGHUP from someone else; our own stop is told by the caller.
            return LinkFailure::Killed;
        case 6:
            return LinkFailure::PortLocked;
        case 7:
            return LinkFailure::PortOpen;
        case 8:
            return log.chat == LogNote::ChatAborted ? LinkFailure::ChatRefused
                                                    : LinkFailure::ChatTimeout;
        case 10:
        case 17:
            return LinkFailure::Negotiation;
        case 19:
            return LinkFailure::AuthFailed;
        case 0:
        case 12:
        case 13:
        case 15:
        case 16:
            return LinkFailure::Hangup;
        default:
            return log.authFailed ? LinkFailure::AuthFailed : LinkFailure::Other;
    }
}

}  // namespace qvl::ppp

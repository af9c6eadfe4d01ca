#include "platform/ppp/ppplog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qvl::ppp {
namespace {

TEST(PppLogTest, LinesOfChatAndPppd) {
    struct Case {
        const char* line;
        std::optional<LinkState> state;
        LogNote note;
        const char* detail;
    };
    const std::vector<Case> cases = {
        {"abort on (BUSY)", LinkState::Dialing, LogNote::None, ""},
        {"send (AT^M)", LinkState::Dialing, LogNote::None, ""},
        {"send (AT+cgdcont=1,\"IP\",\"internet\"^M)", LinkState::Dialing, LogNote::None, ""},
        {"send (ATD*99***1#^M)", LinkState::DialSent, LogNote::None, ""},
        {"CONNECT", LinkState::DeviceConnected, LogNote::None, ""},
        {"CONNECT 115200", LinkState::DeviceConnected, LogNote::None, ""},
        {"alarm", std::nullopt, LogNote::ChatTimeout, ""},
        {"Failed", std::nullopt, LogNote::ChatTimeout, ""},
        {"Failed (NO CARRIER)", std::nullopt, LogNote::ChatAborted, "NO CARRIER"},
        {"Connect script failed", std::nullopt, LogNote::ConnectFailed, ""},
        {"Serial connection established.", LinkState::DeviceConnected, LogNote::None, ""},
        {"Using interface ppp0", LinkState::LinkEstablished, LogNote::None, ""},
        {"Connect: ppp0 <--> /dev/ttyUSB0", LinkState::LinkEstablished, LogNote::None, ""},
        {"sent [PAP AuthReq id=0x1 user=\"guest\" password=<hidden>]", LinkState::Authenticating,
         LogNote::None, ""},
        {"rcvd [CHAP Challenge id=0x1 <1234>, name = \"UMTS\"]", LinkState::Challenge,
         LogNote::None, ""},
        {"PAP authentication succeeded", LinkState::Authenticated, LogNote::None, ""},
        {"CHAP authentication succeeded", LinkState::Authenticated, LogNote::None, ""},
        {"PAP authentication failed", std::nullopt, LogNote::AuthFailed, ""},
        {"sent [IPCP ConfReq id=0x1 <addr 0.0.0.0>]", LinkState::Projection, LogNote::None, ""},
        {"local  IP address 10.64.1.2", LinkState::Up, LogNote::LocalAddress, "10.64.1.2"},
        {"remote IP address 10.64.64.64", std::nullopt, LogNote::RemoteAddress, "10.64.64.64"},
        {"Script /etc/ppp/ip-up finished (pid 4242), status = 0x0", std::nullopt,
         LogNote::RouteHookFinished, ""},
        {"Modem hangup", LinkState::Down, LogNote::None, ""},
        {"Connection terminated.", LinkState::Down, LogNote::None, ""},
        {"Couldn't open the /dev/ppp device: No such file or directory", std::nullopt,
         LogNote::NoKernelSupport, ""},
        {"Device ttyUSB0 is locked by pid 1234", std::nullopt, LogNote::PortLocked,
         "Device ttyUSB0 is locked by pid 1234"},
        {"Failed to open /dev/ttyUSB0: Permission denied", std::nullopt, LogNote::PortOpenFailed,
         "Failed to open /dev/ttyUSB0: Permission denied"},
        {"LCP: timeout sending Config-Requests", std::nullopt, LogNote::NegotiationFailed, ""},
        {"rcvd [LCP ConfAck id=0x1]", std::nullopt, LogNote::None, ""},
        {"", std::nullopt, LogNote::None, ""},
        {"Failed (", std::nullopt, LogNote::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const LogEvent event = ParseLogLine(c.line);
        EXPECT_EQ(event.state, c.state);
        EXPECT_EQ(event.note, c.note);
        EXPECT_EQ(event.detail, c.detail);
    }
}

TEST(PppLogTest, ExitStatusWithWhatTheLogSaid) {
    LogSummary plain;
    LogSummary aborted;
    aborted.chat = LogNote::ChatAborted;
    LogSummary timedOut;
    timedOut.chat = LogNote::ChatTimeout;
    LogSummary noKernel;
    noKernel.noKernelSupport = true;
    LogSummary refused;
    refused.authFailed = true;
    struct Case {
        const char* name;
        int exitCode;
        const LogSummary& log;
        LinkFailure failure;
    };
    const std::vector<Case> cases = {
        {"signal", -1, plain, LinkFailure::Killed},
        {"options", 2, plain, LinkFailure::Options},
        {"not_setuid", 3, plain, LinkFailure::NotSetUid},
        {"no_kernel", 4, plain, LinkFailure::NoKernelSupport},
        {"no_kernel_told_in_log", 1, noKernel, LinkFailure::NoKernelSupport},
        {"terminated_by_someone", 5, plain, LinkFailure::Killed},
        {"locked", 6, plain, LinkFailure::PortLocked},
        {"open", 7, plain, LinkFailure::PortOpen},
        {"chat_aborted", 8, aborted, LinkFailure::ChatRefused},
        {"chat_timeout", 8, timedOut, LinkFailure::ChatTimeout},
        {"chat_silent", 8, plain, LinkFailure::ChatTimeout},
        {"negotiation", 10, plain, LinkFailure::Negotiation},
        {"loopback", 17, plain, LinkFailure::Negotiation},
        {"auth", 19, plain, LinkFailure::AuthFailed},
        {"auth_in_log", 1, refused, LinkFailure::AuthFailed},
        {"peer_ended", 0, plain, LinkFailure::Hangup},
        {"hangup", 16, plain, LinkFailure::Hangup},
        {"echo", 15, plain, LinkFailure::Hangup},
        {"fatal", 1, plain, LinkFailure::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FailureFromExit(c.exitCode, c.log), c.failure);
    }
}

TEST(PppLogTest, SummaryKeepsTheChatReasonAndTheLastLine) {
    LogSummary summary;
    for (const char* line :
         {"send (AT^M)", "Failed (ERROR)", "alarm", "Connect script failed", ""}) {
        Accumulate(summary, ParseLogLine(line), line);
    }
    EXPECT_EQ(summary.chat, LogNote::ChatAborted) << "a later alarm does not hide the abort";
    EXPECT_EQ(summary.chatDetail, "ERROR");
    EXPECT_EQ(summary.lastLine, "Connect script failed");
    EXPECT_FALSE(summary.wasUp);
}

}  // namespace
}  // namespace qvl::ppp

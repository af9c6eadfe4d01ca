// The WSP connection-mode session over WTP class 2 on UDP that delivers one MMS to the relay
// through a WAP gateway: connect (following redirects), post, wait for the m-send-conf,
// acknowledge, disconnect.
#pragma once

#include "mmsclient/mmsencode.h"
#include "mmsclient/mmstrace.h"
#include "common/ports/uiports.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qvl::mms {

inline constexpr std::uint16_t kGatewayPort = 9201;

struct SessionTimings {
    std::uint32_t connectMs = 10000;     // wait for the Connect reply
    std::uint32_t ackMs = 1000;          // wait after each Ack and after the Disconnect
    std::uint32_t postPacketMs = 10000;  // wait after each packet of the post
    std::uint32_t extraWaitMs = 5000;    // each of the four extra waits for the m-send-conf
};

struct SessionOptions {
    std::uint16_t port = kGatewayPort;  // the port every call starts with
    SessionTimings timings;
    // A gateway may redirect the session, but a chain of redirects ends after this many.
    int maxRedirects = 8;
    UiPorts ports;
    TraceFile trace = TraceFile(std::string());
    TidCounter* tids = nullptr;             // the library's counter when null
    std::function<std::uint32_t()> tick;  // TickCount when empty
};

// What a session did, for its caller's report and for tests.
struct SessionReport {
    bool confirmed = false;   // the relay answered with Response-Status Ok
    bool canceled = false;
    int redirects = 0;
    std::size_t packets = 0;  // WTP packets of the post
    std::size_t datagramsSent = 0;
};

SessionReport RunMmsSession(const std::u16string& gateway, const SendRequest& request,
                            const SessionOptions& options);

}  // namespace qvl::mms

// Readers of the WAP gateway's replies. Everything they read comes from the network: every
// length is checked against what is left before it is used, a uintvar is capped at 5 octets,
// and a malformed reply gives a defined status, never a read outside the datagram.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::mms {

// Receives the text-only entries the parsers write to the trace.
using TraceNote = std::function<void(std::string_view title)>;

// WTP PDU types (bits 6-3 of the first octet).
enum class WtpType : std::uint8_t {
    Concatenated = 0,
    Invoke = 1,
    Result = 2,
    Ack = 3,
    Abort = 4,
    SegmentedInvoke = 5,
    SegmentedResult = 6,
    NAck = 7,
};
inline WtpType WtpPduType(std::uint8_t first) { return static_cast<WtpType>((first >> 3) & 0x0F); }

struct Uintvar {
    std::uint32_t value = 0;
    std::size_t length = 0;  // octets consumed
};
// A WSP uintvar at the start of data; nullopt when it is cut off or longer than 5 octets.
std::optional<Uintvar> DecodeUintvar(std::span<const std::uint8_t> data, const TraceNote& note = {});

// Where the WSP PDU starts inside a WTP Result: after the 3-octet header and, when the CON bit
// is set, after the transport information items. nullopt when those run off the datagram.
std::optional<std::size_t> ResultPayloadOffset(std::span<const std::uint8_t> reply);

// Outcome codes of ParseConnectReply.
enum ConnectStatus : int {
    kConnectNone = 0,        // a Result with another WSP PDU, or one too short to read
    kConnectRetransmission = 1,
    kConnectInvoke = 2,
    kConnectAck = 3,
    kConnectAbort = 4,
    kConnectEmptyOrUnknown = 5,
    kConnectRedirect = 6,
};

struct ConnectReply {
    int status = kConnectNone;
    bool isConnectReply = false;
    std::vector<std::uint8_t> serverSessionId;  // uintvar octets, continuation bits included
    int abortReason = -1;
    std::string redirectAddress;  // "a.b.c.d"
    std::uint16_t redirectPort = 0;
};
ConnectReply ParseConnectReply(std::span<const std::uint8_t> reply);

// Outcome codes of ParseSendReply.
enum SendStatus : int {
    kSendNone = 0,
    kSendInvoke = 1,
    kSendAbort = 2,
    kSendNAck = 3,
    kSendOtherPdu = 4,
    kSendOk = 5,
    kSendFailed = 6,
};
// Judges one reply to the Post. Returns true for an Ack or a Result (status set only when the
// Result carries an m-send-conf whose Response-Status ends the header walk), false with the
// status for anything else.
bool ParseSendReply(std::span<const std::uint8_t> reply, int& status, const TraceNote& note = {});

}  // namespace qvl::mms

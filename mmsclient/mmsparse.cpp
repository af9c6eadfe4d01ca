#include "mmsclient/mmsparse.h"

#include "base/reader.h"

#include <cstdint>
#include <cstdio>

namespace qvl::mms {
namespace {

constexpr std::size_t kMaxUintvarOctets = 5;
constexpr std::uint16_t kDefaultWspPort = 9201;

// Skips a NUL-terminated text; false when the NUL is missing.
bool SkipText(ByteReader& reader) {
    while (reader.Remaining() > 0) {
        if (reader.U8() == 0x00) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<Uintvar> DecodeUintvar(std::span<const std::uint8_t> data, const TraceNote& note) {
    std::uint32_t value = 0;
    char line[48];
    if (note) {
        note("0. uLong = 0");
    }
    for (std::size_t i = 0; i < data.size() && i < kMaxUintvarOctets; ++i) {
        if (value > (UINT32_MAX >> 7)) {
            return std::nullopt;  // more than 32 bits
        }
        value = (value << 7) | (data[i] & 0x7Fu);
        if (note) {
            std::snprintf(line, sizeof line, "%zu. uLong = %u", i + 1, value);
            note(line);
        }
        if ((data[i] & 0x80) == 0) {
            return Uintvar{value, i + 1};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> ResultPayloadOffset(std::span<const std::uint8_t> reply) {
    if (reply.size() < 3) {
        return std::nullopt;
    }
    std::size_t offset = 3;
    bool more = (reply[0] & 0x80) != 0;
    // Transport information items (WAP WTP): octet 1 has CON (bit 7), the identity and, in a
    // short item, the length in bits 1-0; a long item (bit 2) carries its length in octet 2.
    while (more) {
        if (reply.size() - offset < 1) {
            return std::nullopt;
        }
        const std::uint8_t head = reply[offset];
        more = (head & 0x80) != 0;
        std::size_t length = 0;
        std::size_t headLength = 1;
        if ((head & 0x04) != 0) {
            if (reply.size() - offset < 2) {
                return std::nullopt;
            }
            length = reply[offset + 1];
            headLength = 2;
        } else {
            length = head & 0x03;
        }
        if (reply.size() - offset < headLength + length) {
            return std::nullopt;
        }
        offset += headLength + length;
    }
    return offset;
}

ConnectReply ParseConnectReply(std::span<const std::uint8_t> reply) {
    ConnectReply out;
    if (reply.empty()) {
        out.status = kConnectEmptyOrUnknown;
        return out;
    }
    if ((reply[0] & 0x01) != 0) {
        out.status = kConnectRetransmission;
        return out;
    }
    switch (WtpPduType(reply[0])) {
        case WtpType::Invoke:
            out.status = kConnectInvoke;
            return out;
        case WtpType::Ack:
            out.status = kConnectAck;
            return out;
        case WtpType::Abort:
            out.status = kConnectAbort;
            if (reply.size() > 3) {
                out.abortReason = reply[3];
            }
            return out;
        case WtpType::Result:
            break;
        case WtpType::Concatenated:
        case WtpType::SegmentedInvoke:
        case WtpType::SegmentedResult:
        case WtpType::NAck:
        default:
            out.status = kConnectEmptyOrUnknown;
            return out;
    }
    const std::optional<std::size_t> payload = ResultPayloadOffset(reply);
    if (!payload) {
        return out;
    }
    ByteReader reader(reply.subspan(*payload));
    const std::uint8_t wspType = reader.U8();
    if (!reader.Ok()) {
        return out;
    }
    if (wspType == 0x02) {  // ConnectReply: the server session id is a uintvar
        const auto rest = reply.subspan(*payload + 1);
        const std::optional<Uintvar> id = DecodeUintvar(rest);
        if (id) {
            out.serverSessionId.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(id->length));
            out.isConnectReply = true;
        }
        return out;
    }
    if (wspType == 0x03) {  // Redirect: flags, then the first redirect address
        reader.U8();
        const std::uint8_t addressHead = reader.U8();
        const bool bearerIncluded = (addressHead & 0x80) != 0;
        const bool portIncluded = (addressHead & 0x40) != 0;
        const std::size_t addressLength = addressHead & 0x3F;
        if (bearerIncluded) {
            reader.U8();
        }
        std::uint16_t port = kDefaultWspPort;
        if (portIncluded) {
            const std::uint8_t high = reader.U8();
            port = static_cast<std::uint16_t>((high << 8) | reader.U8());
        }
        const auto address = reader.Take(addressLength);
        // Only an IPv4 address can be followed; anything else is not a usable redirect.
        if (!reader.Ok() || addressLength != 4) {
            return out;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
        out.status = kConnectRedirect;
        out.redirectAddress = text;
        out.redirectPort = port;
    }
    return out;
}

bool ParseSendReply(std::span<const std::uint8_t> reply, int& status, const TraceNote& note) {
    if (reply.empty()) {
        status = kSendOtherPdu;
        return false;
    }
    switch (WtpPduType(reply[0])) {
        case WtpType::Invoke:
            status = kSendInvoke;
            return false;
        case WtpType::Abort:
            status = kSendAbort;
            return false;
        case WtpType::NAck:
            status = kSendNAck;
            return false;
        case WtpType::Ack:
            return true;
        case WtpType::Result:
            break;
        case WtpType::Concatenated:
        case WtpType::SegmentedInvoke:
        case WtpType::SegmentedResult:
        default:
            status = kSendOtherPdu;
            return false;
    }
    if (note) {
        note("Now check MMS layer's Response-Status");
    }
    const std::optional<std::size_t> payload = ResultPayloadOffset(reply);
    if (!payload) {
        return true;
    }
    ByteReader reader(reply.subspan(*payload));
    // Only a WSP Reply with status 200 carries the relay's m-send-conf.
    if (reader.U8() != 0x04 || reader.U8() != 0x20 || !reader.Ok()) {
        return true;
    }
    const auto afterStatus = reply.subspan(*payload + 2);
    const std::optional<Uintvar> headersLength = DecodeUintvar(afterStatus, note);
    if (!headersLength) {
        return true;
    }
    reader.Skip(headersLength->length);
    if (!reader.Skip(headersLength->value)) {
        return true;  // the headers claim more than the datagram holds
    }
    while (reader.Remaining() > 0) {
        const std::uint8_t header = reader.U8();
        switch (header) {
            case 0x8B:  // Message-ID
            case 0x93:  // Response-Text
            case 0x98:  // Transaction-Id
                if (!SkipText(reader)) {
                    return true;
                }
                break;
            case 0x8C:  // Message-Type
            case 0x8D:  // MMS-Version
                if (!reader.Skip(1)) {
                    return true;
                }
                break;
            case 0x92: {  // Response-Status
                const std::uint8_t value = reader.U8();
                if (!reader.Ok()) {
                    return true;
                }
                status = value == 0x80 ? kSendOk : kSendFailed;
                return true;
            }
            default:
                status = kSendFailed;
                return true;
        }
    }
    return true;
}

}  // namespace qvl::mms

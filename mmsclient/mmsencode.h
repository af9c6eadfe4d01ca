// The octet strings the MMS library puts on the wire: WTP class 2 headers, the WSP Connect,
// Post and Disconnect, the bare WTP Ack, the MMS m-send-req with its multipart body, and the
// segmentation of a long Post into WTP packets (WAP WTP, WAP WSP, MMS encapsulation).
//
// Builders return their octets in a vector owned by the caller. Apart from reading the object
// files of a send request they do no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qvl::mms {

using Octets = std::vector<std::uint8_t>;

// The largest WTP packet the library sends, and the WTP group size it announces.
inline constexpr std::size_t kMaxPacket = 1400;
// The multipart entry count is one octet that must not carry the uintvar continuation bit:
// the text part plus at most 126 objects.
inline constexpr int kMaxObjects = 126;
// The packet sequence number of a segmented Invoke is one octet: packets 0 to 255.
inline constexpr std::size_t kMaxPackets = 256;
inline constexpr char kUserAgent[] = "Quorvel Mobiles Internet - MMS Client";

// Media type codes as the compose view assigns them from file extensions.
enum MediaTypeCode : std::uint8_t {
    kMediaBmp = 0x9C,
    kMediaGif = 0x9D,
    kMediaJpeg = 0x9E,
    kMediaTiff = 0x9F,
    kMediaPng = 0xA0,
    kMediaWbmp = 0xA1,
    kMediaWav = 0xF0,
    kMediaWma = 0xF1,
    kMediaWmv = 0xF2,
    kMediaMpeg = 0xF3,
    kMediaMp3 = 0xF4,
};

// The code of a file by the lower-cased text after its last "."; 0 for an unknown extension.
std::uint8_t MediaTypeFromPath(std::u16string_view path);

struct MmsObject {
    std::u16string path;       // full path of the object file
    std::uint8_t mediaType = 0;  // MediaTypeCode, or any other octet written as itself
};

// WSP uintvar: 7-bit groups, most significant first, bit 7 set on all but the last octet.
Octets EncodeUintvar(std::uint32_t value);
void AppendUintvar(Octets& out, std::uint32_t value);

// The 16-bit WTP transaction id counter; it starts at 0 and the first Invoke uses 1.
enum class TidUse { New, Reuse };
class TidCounter {
public:
    std::uint16_t Next(TidUse use);
    std::uint16_t Last() const { return m_last; }

private:
    std::uint16_t m_last = 0;
};
// The library's counter, alive as long as the library is loaded.
TidCounter& LibraryTids();
std::uint16_t NextTid(TidUse use);

// WTP headers (first octet: CON bit 7, PDU type bits 6-3, GTR bit 2, TTR bit 1, RID bit 0).
void AppendInvokeHeader(Octets& out, std::uint16_t tid);        // 0A tid 12
void AppendAckHeader(Octets& out, std::uint16_t tid);           // 18 tid
void AppendFirstSegmentHeader(Octets& out, std::uint16_t tid);  // 8C tid 12 13 04 05 78
void AppendMiddleSegmentHeader(Octets& out, std::uint16_t tid, std::uint8_t psn);  // 2C tid psn
void AppendLastSegmentHeader(Octets& out, std::uint16_t tid, std::uint8_t psn);    // 2A tid psn

Octets BuildConnectPdu(TidCounter& tids, std::string_view userAgent = kUserAgent);
Octets BuildAckPdu(const TidCounter& tids);
Octets BuildDisconnectPdu(TidCounter& tids, std::span<const std::uint8_t> serverSessionId);

// The number of WTP packets an Invoke of invokeLength octets (header included) goes out in.
std::size_t PacketCount(std::size_t invokeLength, std::size_t maxPacket = kMaxPacket);

// Cuts an Invoke body (without its 4-octet header) into WTP packets under a fresh TID. Every
// packet but the last is exactly maxPacket octets. Empty when the body needs more than 256
// packets, whose sequence numbers one octet cannot tell apart.
Octets SegmentInvoke(TidCounter& tids, std::span<const std::uint8_t> body,
                     std::size_t maxPacket = kMaxPacket);

struct SendRequest {
    std::u16string uri;
    std::u16string to;   // ";"-separated
    std::u16string cc;   // ";"-separated
    std::u16string subject;
    std::u16string text;
    std::vector<MmsObject> objects;
    // The tick count written as the transaction id.
    std::uint32_t transactionTick = 0;
};

enum class BuildStatus { Ok, TooManyObjects, TooLarge };

struct BuiltRequest {
    BuildStatus status = BuildStatus::Ok;
    Octets octets;           // the packets, concatenated; empty unless status is Ok
    std::size_t packets = 0;  // how many WTP packets they are
};

// Called between 5000-octet chunks of object files so that the caller's windows stay alive.
using ChunkPump = std::function<void()>;

// The MMS m-send-req: headers in their fixed order and the multipart body.
Octets BuildMmsPdu(const SendRequest& request, const ChunkPump& pump = {});
// The whole Post: Invoke header, WSP Post, the m-send-req; segmented when longer than
// maxPacket. Refuses more than 126 objects and more than 256 packets.
BuiltRequest BuildSendRequest(TidCounter& tids, const SendRequest& request,
                              std::size_t maxPacket = kMaxPacket, const ChunkPump& pump = {});
// The length BuildSendRequest would produce before segmentation, from the object files' sizes
// as they are now; lets a caller refuse an oversized message before connecting.
std::size_t SendRequestLength(const SendRequest& request);

// The recipients of a ";"-separated list as they are written: trimmed, empty ones skipped,
// "a@b" as "a@b <a@b>", anything else as "x/TYPE=PLMN".
std::vector<std::string> RecipientAddresses(std::u16string_view list);
// The file name after the last "\" or "/".
std::u16string ObjectFileName(std::u16string_view path);

}  // namespace qvl::mms

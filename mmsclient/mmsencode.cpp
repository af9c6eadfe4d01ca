#include "mmsclient/mmsencode.h"

#include "base/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace qvl::mms {
namespace {

constexpr char kMmsContentType[] = "application/vnd.wap.mms-message";
constexpr std::size_t kReadChunk = 5000;

// One octet per character: the Windows-1252 code page, '?' for what it cannot hold.
std::string ToNarrow(std::u16string_view wide) { return WideToAnsi(wide); }

void AppendText(Octets& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void AppendTextNul(Octets& out, std::string_view text) {
    AppendText(out, text);
    out.push_back(0x00);
}

void AppendTid(Octets& out, std::uint16_t tid) {
    out.push_back(static_cast<std::uint8_t>(tid >> 8));
    out.push_back(static_cast<std::uint8_t>(tid & 0xFF));
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

// The textual content type written for the codes that are not WSP well-known media, or null.
const char* TextualContentType(std::uint8_t code) {
    switch (code) {
        case kMediaBmp:
            return "image/bmp";
        case kMediaWav:
            return "audio/wav";
        case kMediaWma:
            return "audio/x-ms-wma";
        case kMediaWmv:
            return "video/x-ms-wmv";
        case kMediaMpeg:
            return "video/mpeg";
        case kMediaMp3:
            return "audio/mp3";
        default:
            return nullptr;
    }
}

std::string PathToUtf8(std::u16string_view path) { return WideToUtf8(path); }

// Size of a regular file, or nullopt when it cannot be opened for reading.
std::optional<std::uint64_t> ObjectFileSize(const std::u16string& path) {
    const int fd = ::open(PathToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::uint64_t> size;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    }
    ::close(fd);
    return size;
}

// The file's contents, read in chunks with the pump between them. An object that cannot be
// read contributes nothing: its part is still written, with data length 0.
Octets ReadObjectFile(const std::u16string& path, const ChunkPump& pump) {
    Octets data;
    const int fd = ::open(PathToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return data;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return data;
    }
    data.reserve(static_cast<std::size_t>(st.st_size));
    std::array<std::uint8_t, kReadChunk> chunk{};
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        data.insert(data.end(), chunk.begin(), chunk.begin() + n);
        if (pump) {
            pump();
        }
    }
    ::close(fd);
    return data;
}

std::size_t ObjectHeadersLength(std::size_t nameLength, std::uint8_t code) {
    // "<name>" NUL and name NUL, then 0xC0 0x22 and 0x8E plus the content type.
    const char* textual = TextualContentType(code);
    const std::size_t typeLength = textual != nullptr ? std::char_traits<char>::length(textual) + 1 : 1;
    return (nameLength + 3) + (nameLength + 1) + typeLength + 3;
}

}  // namespace

std::uint8_t MediaTypeFromPath(std::u16string_view path) {
    const std::size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string_view::npos) {
        return 0;
    }
    std::string ext;
    for (char16_t c : path.substr(dot + 1)) {
        if (c > 0x7F) {
            return 0;
        }
        ext.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c));
    }
    struct Row {
        const char* ext;
        std::uint8_t code;
    };
    static constexpr Row kTable[] = {
        {"bmp", kMediaBmp},  {"gif", kMediaGif},   {"jpe", kMediaJpeg}, {"jpg", kMediaJpeg},
        {"jpeg", kMediaJpeg}, {"tif", kMediaTiff}, {"tiff", kMediaTiff}, {"png", kMediaPng},
        {"wbmp", kMediaWbmp}, {"wav", kMediaWav},  {"wma", kMediaWma},  {"wmv", kMediaWmv},
        {"mpg", kMediaMpeg},  {"mpeg", kMediaMpeg}, {"mp3", kMediaMp3},
    };
    for (const Row& row : kTable) {
        if (ext == row.ext) {
            return row.code;
        }
    }
    return 0;
}

Octets EncodeUintvar(std::uint32_t value) {
    Octets out;
    AppendUintvar(out, value);
    return out;
}

void AppendUintvar(Octets& out, std::uint32_t value) {
    std::array<std::uint8_t, 5> groups{};
    std::size_t n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 0) {
        --n;
        out.push_back(static_cast<std::uint8_t>(groups[n] | (n > 0 ? 0x80 : 0x00)));
    }
}

std::uint16_t TidCounter::Next(TidUse use) {
    switch (use) {
        case TidUse::New:
            ++m_last;
            break;
        case TidUse::Reuse:
            break;
    }
    return m_last;
}

TidCounter& LibraryTids() {
    static TidCounter counter;
    return counter;
}

std::uint16_t NextTid(TidUse use) { return LibraryTids().Next(use); }

void AppendInvokeHeader(Octets& out, std::uint16_t tid) {
    out.push_back(0x0A);
    AppendTid(out, tid);
    out.push_back(0x12);
}

void AppendAckHeader(Octets& out, std::uint16_t tid) {
    out.push_back(0x18);
    AppendTid(out, tid);
}

void AppendFirstSegmentHeader(Octets& out, std::uint16_t tid) {
    out.push_back(0x8C);
    AppendTid(out, tid);
    out.push_back(0x12);
    // Option TPI: maximum group size 1400 octets, so every group is one packet.
    for (std::uint8_t b : {0x13, 0x04, 0x05, 0x78}) {
        out.push_back(b);
    }
}

void AppendMiddleSegmentHeader(Octets& out, std::uint16_t tid, std::uint8_t psn) {
    out.push_back(0x2C);
    AppendTid(out, tid);
    out.push_back(psn);
}

void AppendLastSegmentHeader(Octets& out, std::uint16_t tid, std::uint8_t psn) {
    out.push_back(0x2A);
    AppendTid(out, tid);
    out.push_back(psn);
}

Octets BuildConnectPdu(TidCounter& tids, std::string_view userAgent) {
    Octets out;
    AppendInvokeHeader(out, tids.Next(TidUse::New));
    out.push_back(0x01);  // Connect
    out.push_back(0x10);  // version 1.0
    AppendUintvar(out, 3);
    // User-Agent header with its NUL, then Accept: application/vnd.wap.mms-message. Without
    // the Accept a gateway refuses to hand back the relay's m-send-conf (WSP status 406).
    AppendUintvar(out, static_cast<std::uint32_t>(userAgent.size() + 2 + 2));
    for (std::uint8_t b : {0x02, 0x81, 0x00}) {  // Server-SDU-Size 0
        out.push_back(b);
    }
    out.push_back(0xA9);  // User-Agent
    AppendTextNul(out, userAgent);
    out.push_back(0x80);  // Accept
    out.push_back(0xBE);  // application/vnd.wap.mms-message
    return out;
}

Octets BuildAckPdu(const TidCounter& tids) {
    Octets out;
    AppendAckHeader(out, tids.Last());
    return out;
}

Octets BuildDisconnectPdu(TidCounter& tids, std::span<const std::uint8_t> serverSessionId) {
    Octets out;
    AppendInvokeHeader(out, tids.Next(TidUse::New));
    out.push_back(0x05);  // Disconnect
    out.insert(out.end(), serverSessionId.begin(), serverSessionId.end());
    return out;
}

std::size_t PacketCount(std::size_t invokeLength, std::size_t maxPacket) {
    if (invokeLength <= maxPacket) {
        return 1;
    }
    const std::size_t body = invokeLength - 4;
    const std::size_t afterFirst = body - (maxPacket - 8);
    return 1 + (afterFirst + (maxPacket - 4) - 1) / (maxPacket - 4);
}

Octets SegmentInvoke(TidCounter& tids, std::span<const std::uint8_t> body, std::size_t maxPacket) {
    Octets out;
    if (maxPacket <= 8 || body.size() <= maxPacket - 8 ||
        PacketCount(body.size() + 4, maxPacket) > kMaxPackets) {
        return out;
    }
    const std::uint16_t tid = tids.Next(TidUse::New);
    out.reserve(body.size() + 8 + 4 * PacketCount(body.size() + 4, maxPacket));
    AppendFirstSegmentHeader(out, tid);
    std::size_t offset = maxPacket - 8;
    out.insert(out.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(offset));
    unsigned psn = 1;
    while (body.size() - offset > maxPacket - 4) {
        AppendMiddleSegmentHeader(out, tid, static_cast<std::uint8_t>(psn));
        out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(offset),
                   body.begin() + static_cast<std::ptrdiff_t>(offset + maxPacket - 4));
        offset += maxPacket - 4;
        ++psn;
    }
    AppendLastSegmentHeader(out, tid, static_cast<std::uint8_t>(psn));
    out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(offset), body.end());
    return out;
}

std::vector<std::string> RecipientAddresses(std::u16string_view list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(u';', start);
        if (end == std::u16string_view::npos) {
            end = list.size();
        }
        std::u16string_view element = list.substr(start, end - start);
        while (!element.empty() && IsBlank(element.front())) {
            element.remove_prefix(1);
        }
        while (!element.empty() && IsBlank(element.back())) {
            element.remove_suffix(1);
        }
        if (!element.empty()) {
            const std::string narrow = ToNarrow(element);
            if (element.find(u'@') != std::u16string_view::npos) {
                out.push_back(narrow + " <" + narrow + ">");
            } else {
                out.push_back(narrow + "/TYPE=PLMN");
            }
        }
        start = end + 1;
    }
    return out;
}

std::u16string ObjectFileName(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

Octets BuildMmsPdu(const SendRequest& request, const ChunkPump& pump) {
    Octets out;
    out.push_back(0x8C);  // X-Mms-Message-Type
    out.push_back(0x80);  // m-send-req
    out.push_back(0x98);  // X-Mms-Transaction-Id
    char tick[16];
    std::snprintf(tick, sizeof tick, "%010u", static_cast<unsigned>(request.transactionTick));
    AppendTextNul(out, tick);
    out.push_back(0x8D);  // X-Mms-MMS-Version
    out.push_back(0x90);  // 1.0
    for (std::uint8_t b : {0x89, 0x01, 0x81}) {  // From: insert-address token
        out.push_back(b);
    }
    for (const std::string& address : RecipientAddresses(request.to)) {
        out.push_back(0x97);  // To
        AppendTextNul(out, address);
    }
    if (!request.cc.empty()) {
        for (const std::string& address : RecipientAddresses(request.cc)) {
            out.push_back(0x82);  // Cc
            AppendTextNul(out, address);
        }
    }
    if (!request.subject.empty()) {
        out.push_back(0x96);  // Subject
        AppendTextNul(out, ToNarrow(request.subject));
    }
    out.push_back(0x86);  // X-Mms-Delivery-Report
    out.push_back(0x81);  // No
    out.push_back(0x84);  // Content-Type
    out.push_back(0xA3);  // application/vnd.wap.multipart.mixed

    out.push_back(static_cast<std::uint8_t>(request.objects.size() + 1));
    const std::string text = ToNarrow(request.text);
    AppendUintvar(out, 24);
    AppendUintvar(out, static_cast<std::uint32_t>(text.size()));
    out.push_back(0x83);  // text/plain
    out.push_back(0xC0);  // Content-ID, quoted string
    out.push_back(0x22);
    AppendTextNul(out, "<Text.txt>");
    out.push_back(0x8E);  // Content-Location
    AppendTextNul(out, "Text.txt");
    AppendText(out, text);

    for (const MmsObject& object : request.objects) {
        const std::string name = ToNarrow(ObjectFileName(object.path));
        const Octets data = ReadObjectFile(object.path, pump);
        AppendUintvar(out, static_cast<std::uint32_t>(ObjectHeadersLength(name.size(), object.mediaType)));
        AppendUintvar(out, static_cast<std::uint32_t>(data.size()));
        if (const char* textual = TextualContentType(object.mediaType)) {
            AppendTextNul(out, textual);
        } else {
            out.push_back(object.mediaType);
        }
        out.push_back(0xC0);
        out.push_back(0x22);
        AppendTextNul(out, "<" + name + ">");
        out.push_back(0x8E);
        AppendTextNul(out, name);
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

namespace {

// The WSP Post up to the MMS PDU, after the WTP header.
void AppendPostHead(Octets& out, const std::string& uri) {
    out.push_back(0x60);  // Post
    AppendUintvar(out, static_cast<std::uint32_t>(uri.size()));
    AppendUintvar(out, sizeof kMmsContentType);  // with its NUL: 32
    AppendText(out, uri);
    AppendTextNul(out, kMmsContentType);
}

}  // namespace

std::size_t SendRequestLength(const SendRequest& request) {
    Octets head;
    AppendInvokeHeader(head, 0);
    AppendPostHead(head, ToNarrow(request.uri));
    SendRequest withoutObjects = request;
    withoutObjects.objects.clear();
    std::size_t length = head.size() + BuildMmsPdu(withoutObjects).size();
    for (const MmsObject& object : request.objects) {
        const std::size_t nameLength = ToNarrow(ObjectFileName(object.path)).size();
        const std::uint64_t size = ObjectFileSize(object.path).value_or(0);
        length += EncodeUintvar(static_cast<std::uint32_t>(ObjectHeadersLength(nameLength, object.mediaType))).size();
        length += EncodeUintvar(static_cast<std::uint32_t>(size)).size();
        length += ObjectHeadersLength(nameLength, object.mediaType);
        length += static_cast<std::size_t>(size);
    }
    return length;
}

BuiltRequest BuildSendRequest(TidCounter& tids, const SendRequest& request, std::size_t maxPacket,
                              const ChunkPump& pump) {
    BuiltRequest result;
    if (request.objects.size() > static_cast<std::size_t>(kMaxObjects)) {
        result.status = BuildStatus::TooManyObjects;
        return result;
    }
    Octets out;
    AppendInvokeHeader(out, tids.Next(TidUse::New));
    AppendPostHead(out, ToNarrow(request.uri));
    const Octets pdu = BuildMmsPdu(request, pump);
    out.insert(out.end(), pdu.begin(), pdu.end());
    if (out.size() <= maxPacket) {
        result.octets = std::move(out);
        result.packets = 1;
        return result;
    }
    if (PacketCount(out.size(), maxPacket) > kMaxPackets) {
        result.status = BuildStatus::TooLarge;
        return result;
    }
    result.packets = PacketCount(out.size(), maxPacket);
    result.octets = SegmentInvoke(tids, std::span<const std::uint8_t>(out).subspan(4), maxPacket);
    return result;
}

}  // namespace qvl::mms

#include "mmsclient/mmstrace.h"

#include "base/text.h"
#include "platform/devicefs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace qvl::mms {

std::string FormatTraceEntry(std::string_view title, std::span<const std::uint8_t> data) {
    std::string out;
    out.reserve(title.size() * 2 + data.size() * 5 + 16);
    out.append(title);
    out.push_back('\n');
    out.append(title.size(), '-');
    out.push_back('\n');
    for (std::size_t row = 0; row < data.size(); row += 16) {
        const std::size_t count = data.size() - row < 16 ? data.size() - row : 16;
        out.push_back('\n');
        char hex[4];
        for (std::size_t i = 0; i < count; ++i) {
            std::snprintf(hex, sizeof hex, "%02X ", data[row + i]);
            out.append(hex);
        }
        for (std::size_t i = count; i < 16; ++i) {
            out.append("   ");
        }
        out.push_back('\t');
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t b = data[row + i];
            if (b < 0x20 || b == 0x7F || (b >= 0x80 && b <= 0x9F)) {
                out.push_back('.');
            } else if (b < 0x80) {
                out.push_back(static_cast<char>(b));
            } else {
                out.append(WideToUtf8(std::u16string(1, AnsiByteToWide(b))));
            }
        }
    }
    out.append("\n\n");
    return out;
}

TraceFile TraceFile::InDeviceRoot() {
    const std::string root = DeviceRoot();
    return TraceFile(root.empty() ? std::string() : root + "/mmstrans.txt");
}

void TraceFile::Truncate() const { Write({}, true); }

void TraceFile::Log(std::string_view title, std::span<const std::uint8_t> data) const {
    if (m_path.empty()) {
        return;
    }
    Write(FormatTraceEntry(title, data), false);
}

void TraceFile::Write(std::string_view text, bool truncate) const {
    if (m_path.empty()) {
        return;
    }
    // The trace holds message contents: readable by the owner only.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
    const int fd = ::open(m_path.c_str(), flags, 0600);
    if (fd < 0) {
        return;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace qvl::mms

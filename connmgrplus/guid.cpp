#include "connmgrplus/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <stdexcept>

namespace qvl {

std::u16string GuidText(const std::array<std::uint8_t, 16>& octets) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::u16string text = u"{";
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += u'-';
        }
        text += static_cast<char16_t>(kHex[octets[i] >> 4]);
        text += static_cast<char16_t>(kHex[octets[i] & 0x0F]);
    }
    text += u'}';
    return text;
}

std::u16string MakeGuidString() {
    std::array<std::uint8_t, 16> octets{};
    std::size_t done = 0;
    while (done < octets.size()) {
        const ssize_t n = ::getrandom(octets.data() + done, octets.size() - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // Without the system's random source no GUID can be made that others will not
            // make too.
            throw std::runtime_error("no random source");
        }
        done += static_cast<std::size_t>(n);
    }
    octets[6] = static_cast<std::uint8_t>((octets[6] & 0x0F) | 0x40);
    octets[8] = static_cast<std::uint8_t>((octets[8] & 0x3F) | 0x80);
    return GuidText(octets);
}

}  // namespace qvl

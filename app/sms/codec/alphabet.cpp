// GSM 03.38 default alphabet, extension table and septet packing.
#include <array>
#include <cstdint>

#include "app/sms/codec/hexutil.h"
#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

struct SeptetChar {
    std::uint8_t code;
    char16_t ch;
};

// The 42 septet codes whose character differs from the ASCII character of the same value.
constexpr std::array<SeptetChar, 42> kDefaultTable{{
    {0x00, u'@'},    {0x01, u'\u00A3'}, {0x02, u'$'},      {0x03, u'\u00A5'}, {0x04, u'\u00E8'},
    {0x05, u'\u00E9'}, {0x06, u'\u00F9'}, {0x07, u'\u00EC'}, {0x08, u'\u00F2'}, {0x09, u'\u00C7'},
    {0x0B, u'\u00D8'}, {0x0C, u'\u00F8'}, {0x0E, u'\u00C5'}, {0x0F, u'\u00E5'}, {0x10, u'\u0394'},
    {0x11, u'_'},    {0x12, u'\u03A6'}, {0x13, u'\u0393'}, {0x14, u'\u039B'}, {0x15, u'\u03A9'},
    {0x16, u'\u03A0'}, {0x17, u'\u03A8'}, {0x18, u'\u03A3'}, {0x19, u'\u0398'}, {0x1A, u'\u039E'},
    {0x1C, u'\u00C6'}, {0x1D, u'\u00E6'}, {0x1E, u'\u00DF'}, {0x1F, u'\u00C9'}, {0x24, u'\u00A4'},
    {0x40, u'\u00A1'}, {0x5B, u'\u00C4'}, {0x5C, u'\u00D6'}, {0x5D, u'\u00D1'}, {0x5E, u'\u00DC'},
    {0x5F, u'\u00A7'}, {0x60, u'\u00BF'}, {0x7B, u'\u00E4'}, {0x7C, u'\u00F6'}, {0x7D, u'\u00F1'},
    {0x7E, u'\u00FC'}, {0x7F, u'\u00E0'},
}};

// Characters sent as the escape septet followed by the code. Space (0x1B 0x1B) is only read:
// a space is always sent as 0x20.
constexpr std::array<SeptetChar, 11> kExtensionTable{{
    {0x0A, u'\n'}, {0x14, u'^'}, {0x1B, u' '}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
    {0x3C, u'['}, {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'\u20AC'},
}};

constexpr std::uint8_t kEscape = 0x1B;
constexpr int kNone = -1;

struct Tables {
    // Septet code to character for 0x00-0x7F (0x1B maps to itself).
    std::array<char16_t, 128> toChar{};
};

constexpr Tables MakeTables() {
    Tables t{};
    for (int i = 0; i < 128; ++i) {
        t.toChar[static_cast<std::size_t>(i)] = static_cast<char16_t>(i);
    }
    for (const auto& e : kDefaultTable) {
        t.toChar[e.code] = e.ch;
    }
    return t;
}
constexpr Tables kTables = MakeTables();

// Septet of a character below U+0100: the code, kExtFlag | code for an extension character,
// or kNone. Only the Greek capitals and the euro sign lie above.
constexpr int kExtFlag = 0x100;

struct EncodeTable {
    std::array<std::int16_t, 256> latin{};
};

constexpr EncodeTable MakeEncodeTable() {
    EncodeTable t{};
    for (int c = 0; c < 256; ++c) {
        t.latin[static_cast<std::size_t>(c)] = kNone;
    }
    for (int c = 0; c < 128; ++c) {
        bool differs = false;
        for (const auto& e : kDefaultTable) {
            differs = differs || e.code == c;
        }
        if (!differs && c != kEscape) {
            t.latin[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(c);
        }
    }
    for (const auto& e : kExtensionTable) {
        if (e.ch < 256 && e.ch != u' ') {
            t.latin[e.ch] = static_cast<std::int16_t>(kExtFlag | e.code);
        }
    }
    for (const auto& e : kDefaultTable) {
        if (e.ch < 256) {
            t.latin[e.ch] = e.code;
        }
    }
    t.latin[u' '] = 0x20;
    return t;
}
constexpr EncodeTable kEncode = MakeEncodeTable();

// The septet form of a character (see EncodeTable), or kNone.
int EncodeChar(char16_t c) {
    if (c < 256) {
        return kEncode.latin[c];
    }
    for (const auto& e : kDefaultTable) {
        if (e.ch == c) {
            return e.code;
        }
    }
    for (const auto& e : kExtensionTable) {
        if (e.ch == c) {
            return kExtFlag | e.code;
        }
    }
    return kNone;
}

int ExtensionChar(std::uint8_t code) {
    for (const auto& e : kExtensionTable) {
        if (e.code == code) {
            return e.ch;
        }
    }
    return kNone;
}

}  // namespace

bool IsGsm7Char(char16_t c) { return EncodeChar(c) != kNone; }

bool IsGsm7Text(std::u16string_view text) {
    for (char16_t c : text) {
        if (!IsGsm7Char(c)) {
            return false;
        }
    }
    return true;
}

int SeptetLength(std::u16string_view text) {
    int n = 0;
    for (char16_t c : text) {
        const int e = EncodeChar(c);
        n += (e != kNone && (e & kExtFlag) != 0) ? 2 : 1;
    }
    return n;
}

std::vector<std::uint8_t> ToSeptets(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() + 1);
    for (char16_t c : text) {
        const int e = EncodeChar(c);
        if (e == kNone) {
            out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        } else if ((e & kExtFlag) != 0) {
            out.push_back(kEscape);
            out.push_back(static_cast<std::uint8_t>(e & 0x7F));
        } else {
            out.push_back(static_cast<std::uint8_t>(e));
        }
    }
    return out;
}

std::string PackSeptetBytes(const std::vector<std::uint8_t>& septets) {
    std::vector<std::uint8_t> octets;
    octets.reserve(septets.size());
    unsigned acc = 0;
    int bits = 0;
    for (std::uint8_t s : septets) {
        acc |= static_cast<unsigned>(s & 0x7F) << bits;
        bits += 7;
        while (bits >= 8) {
            octets.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) {
        octets.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    }
    return ToHex(octets);
}

std::string PackSeptets(std::u16string_view text) { return PackSeptetBytes(ToSeptets(text)); }

std::string PackSeptetRange(std::u16string_view text, int first, int count) {
    const auto all = ToSeptets(text);
    const auto size = static_cast<long long>(all.size());
    long long from = first < 0 ? 0 : first;
    if (from > size) {
        from = size;
    }
    long long to = count < 0 ? from : from + count;
    if (to > size) {
        to = size;
    }
    return PackSeptetBytes(std::vector<std::uint8_t>(all.begin() + from, all.begin() + to));
}

std::vector<std::uint8_t> UnpackSeptetBytes(std::span<const std::uint8_t> octets,
                                            std::size_t maxSeptets) {
    std::vector<std::uint8_t> out;
    const std::size_t available = octets.size() * 8 / 7;
    const std::size_t n = maxSeptets < available ? maxSeptets : available;
    out.reserve(n);
    unsigned acc = 0;
    int bits = 0;
    std::size_t i = 0;
    while (out.size() < n) {
        if (bits < 7) {
            acc |= static_cast<unsigned>(octets[i++]) << bits;
            bits += 8;
        }
        out.push_back(static_cast<std::uint8_t>(acc & 0x7F));
        acc >>= 7;
        bits -= 7;
    }
    return out;
}

std::u16string SeptetsToText(const std::vector<std::uint8_t>& septets) {
    std::u16string out;
    out.reserve(septets.size() + 8);
    int previous = kNone;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const std::uint8_t s = septets[i] & 0x7F;
        if (s == kEscape) {
            if (i + 1 < septets.size()) {
                if (int ext = ExtensionChar(septets[i + 1] & 0x7F); ext != kNone) {
                    out.push_back(static_cast<char16_t>(ext));
                    previous = septets[i + 1] & 0x7F;
                    ++i;
                    continue;
                }
            }
            // An escape with an unknown follower shows as a space; the follower is read alone.
            out.push_back(u' ');
            previous = s;
            continue;
        }
        if (s == 0x0A && previous != 0x0D) {
            out.push_back(u'\r');
        }
        out.push_back(kTables.toChar[s]);
        previous = s;
    }
    return out;
}

std::u16string UnpackSeptets(std::string_view hex, int septets) {
    if (septets <= 0) {
        return {};
    }
    const auto octets = FromHex(hex);
    return SeptetsToText(UnpackSeptetBytes(octets, static_cast<std::size_t>(septets)));
}

std::u16string Ucs2FromOctets(std::span<const std::uint8_t> octets, std::size_t maxOctets) {
    const std::size_t n = (maxOctets < octets.size() ? maxOctets : octets.size()) / 2;
    std::u16string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<char16_t>((octets[2 * i] << 8) | octets[2 * i + 1]));
    }
    return out;
}

std::u16string DecodeUcs2(std::string_view hex, int octets) {
    if (octets <= 0) {
        return {};
    }
    return Ucs2FromOctets(FromHex(hex), static_cast<std::size_t>(octets));
}

}  // namespace qvl::sms

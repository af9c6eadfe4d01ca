#include "base/text.h"

#include <array>

namespace qvl {
namespace {

// Windows-1252 0x80..0x9F; undefined positions keep their C1 value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

template <typename Text>
std::optional<long long> ParseDecimalImpl(const Text& digits, long long lo, long long hi) {
    std::size_t i = 0;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) {
        negative = digits[i] == '-';
        ++i;
    }
    if (i == digits.size()) {
        return std::nullopt;
    }
    // Accumulate negatively so that the most negative value fits; stop before overflow.
    long long value = 0;
    const long long limit = negative ? lo : -hi;
    for (; i < digits.size(); ++i) {
        const auto c = digits[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (value < (limit + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    const long long result = negative ? value : -value;
    if (result < lo || result > hi) {
        return std::nullopt;
    }
    return result;
}

}  // namespace

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07, min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra); ++j) {
            if (i + j >= utf8.size()) {
                break;
            }
            const auto b = static_cast<unsigned char>(utf8[i + j]);
            if ((b & 0xC0) != 0x80) {
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (j <= static_cast<std::size_t>(extra) || cp < min || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            i += j;
            continue;
        }
        AppendUtf16(out, cp);
        i += j;
    }
    return out;
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

char16_t AnsiByteToWide(std::uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        out.push_back(AnsiByteToWide(static_cast<std::uint8_t>(c)));
    }
    return out;
}

std::string WideToAnsi(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] == c) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        // A surrogate pair is one character and one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            ++i;
        }
        out.push_back(mapped);
    }
    return out;
}

std::u16string Widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::optional<long long> ParseDecimal(std::u16string_view digits, long long lo, long long hi) {
    return ParseDecimalImpl(digits, lo, hi);
}

std::optional<long long> ParseDecimal(std::string_view digits, long long lo, long long hi) {
    return ParseDecimalImpl(digits, lo, hi);
}

char16_t FoldCase(char16_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<char16_t>(c + 32);
    }
    return c;
}

std::u16string EscapeMarkup(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        switch (c) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'"':
                out += u"&quot;";
                break;
            case u'\'':
                out += u"&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace qvl

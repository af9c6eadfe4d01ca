#include "app/phonebook/bookanswers.h"

#include "app/sms/codec/smscodec.h"
#include "base/atcursor.h"
#include "base/text.h"

namespace qvl {

using sms::IsGsm7Char;
using sms::IsGsm7Text;
using sms::SeptetLength;
using sms::SeptetsToText;
using sms::ToSeptets;

namespace {

// No memory of a handset has more locations than this; a larger answer is garbage and must
// not set the length of a read loop.
constexpr int kMaxLocations = 100000;
constexpr int kMaxFieldLength = 1000;

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return c - u'a' + 10;
}

std::optional<std::u16string> DecodeUcs2Hex(std::u16string_view hex) {
    if (hex.size() % 4 != 0) {
        return std::nullopt;
    }
    std::u16string text;
    for (std::size_t i = 0; i < hex.size(); i += 4) {
        int unit = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            if (!IsHexDigit(hex[i + k])) {
                return std::nullopt;
            }
            unit = unit * 16 + HexValue(hex[i + k]);
        }
        text.push_back(static_cast<char16_t>(unit));
    }
    return text;
}

std::u16string EncodeUcs2Hex(std::u16string_view text) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string hex;
    hex.reserve(text.size() * 4);
    for (const char16_t unit : text) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex.push_back(kDigits[(unit >> shift) & 0xF]);
        }
    }
    return hex;
}

bool IsDialCharacter(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'*' || c == u'#' || c == u'p' ||
           c == u'P' || c == u'w' || c == u'W' || c == u',';
}

// The GSM default alphabet code of one character that can travel as a plain byte between the
// quotes of a command: codes below 0x20 would be control bytes, 0x22 and 0x5C are the quote
// and the backslash of the command syntax, 0x7F is DEL, and extension characters need the
// escape byte.
std::optional<char16_t> GsmByteOf(char16_t c) {
    if (!IsGsm7Char(c)) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t> septets = ToSeptets(std::u16string_view(&c, 1));
    if (septets.size() != 1) {
        return std::nullopt;
    }
    const std::uint8_t code = septets[0];
    if (code < 0x20 || code == 0x22 || code == 0x5C || code == 0x7F) {
        return std::nullopt;
    }
    return static_cast<char16_t>(code);
}

bool EqualsAscii(std::u16string_view a, std::u16string_view b) {
    return EqualsNoCase(a, b);
}

}  // namespace

std::optional<CpbsCounts> ParseCpbsCounts(std::u16string_view answer) {
    AtCursor c(answer);
    // A line cut off by the read bound could give a total cut short ("25" of "250").
    if (!c.FindLine(u"+CPBS:") || !c.LineTerminated()) {
        return std::nullopt;
    }
    CpbsCounts counts;
    if (!c.Skip() || !c.NextInt(counts.used, 0, kMaxLocations) ||
        !c.NextInt(counts.total, 0, kMaxLocations) || counts.used > counts.total) {
        return std::nullopt;
    }
    return counts;
}

std::optional<CpbrRange> ParseCpbrRange(std::u16string_view answer) {
    AtCursor c(answer);
    if (!c.FindLine(u"+CPBR:") || !c.LineTerminated()) {
        return std::nullopt;
    }
    // The range is a list, "(1-250)"; a few handsets leave the parentheses out.
    const bool list = c.OpenList();
    c.ClearError();
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    if (!c.NextRange(lo, hi) || (list && !c.CloseList()) || lo < 0 || hi < lo ||
        hi > kMaxLocations) {
        return std::nullopt;
    }
    CpbrRange range;
    range.first = static_cast<int>(lo);
    range.last = static_cast<int>(hi);
    int length = 0;
    if (!c.NextIsEmpty() && c.NextInt(length, 0, kMaxFieldLength)) {
        range.numberLength = length;
    } else {
        c.Skip();
    }
    if (!c.AtLineEnd() && c.NextInt(length, 0, kMaxFieldLength)) {
        range.nameLength = length;
    }
    return range;
}

BookLines ParseBookEntries(std::u16string_view text) {
    BookLines result;
    AtCursor c(text);
    while (c.FindLine(u"+CPBR:")) {
        ++result.lines;
        c.ClearError();
        PhonebookEntry entry;
        if (!c.LineTerminated() || !c.NextInt(entry.index, 0, kMaxLocations) ||
            !c.NextString(entry.number)) {
            continue;
        }
        if (c.NextIsEmpty()) {
            c.Skip();
        } else if (!c.NextInt(entry.type, 0, 255)) {
            continue;
        }
        if (!c.AtLineEnd() && !c.NextStringToLineEnd(entry.name)) {
            continue;
        }
        result.entries.push_back(std::move(entry));
    }
    return result;
}

CallLogLines ParseCallLogEntries(std::u16string_view text) {
    CallLogLines result;
    AtCursor c(text);
    while (c.FindLine(u"+CPBR:")) {
        ++result.lines;
        c.ClearError();
        CallLogEntry entry;
        if (!c.LineTerminated() || !c.NextRaw(entry.index) || entry.index.empty() ||
            !ParseDecimal(entry.index, 0, kMaxLocations) || !c.NextString(entry.number)) {
            continue;
        }
        if (c.NextIsEmpty()) {
            c.Skip();
        } else if (!c.NextInt(entry.type, 0, 255)) {
            continue;
        }
        if (!c.AtLineEnd() && !c.NextString(entry.name)) {
            continue;
        }
        result.entries.push_back(std::move(entry));
    }
    return result;
}

std::vector<std::u16string> ParseCscsOffered(std::u16string_view answer) {
    std::vector<std::u16string> sets;
    AtCursor c(answer);
    if (!c.FindLine(u"+CSCS:")) {
        return sets;
    }
    const bool list = c.OpenList();
    c.ClearError();
    std::u16string name;
    while (!c.AtLineEnd() && c.NextString(name)) {
        sets.push_back(name);
        if (list && c.CloseList()) {
            break;
        }
        c.ClearError();
    }
    return sets;
}

std::optional<std::u16string> ParseCscsCurrent(std::u16string_view answer) {
    AtCursor c(answer);
    std::u16string name;
    if (!c.FindLine(u"+CSCS:") || !c.NextString(name) || name.empty()) {
        return std::nullopt;
    }
    return name;
}

NameCharset ChooseNameCharset(const std::vector<std::u16string>& offered,
                              std::u16string_view current) {
    const auto has = [&](std::u16string_view name) {
        for (const auto& set : offered) {
            if (EqualsAscii(set, name)) {
                return true;
            }
        }
        return false;
    };
    if (has(u"8859-1")) {
        return NameCharset::Latin1;
    }
    if (has(u"UCS2")) {
        return NameCharset::Ucs2;
    }
    if (EqualsAscii(current, u"GSM")) {
        return NameCharset::Gsm;
    }
    if (EqualsAscii(current, u"IRA")) {
        return NameCharset::Ira;
    }
    return NameCharset::AsIs;
}

std::u16string_view CharsetName(NameCharset set) {
    switch (set) {
        case NameCharset::AsIs:
            return u"";
        case NameCharset::Latin1:
            return u"8859-1";
        case NameCharset::Ucs2:
            return u"UCS2";
        case NameCharset::Gsm:
            return u"GSM";
        case NameCharset::Ira:
            return u"IRA";
    }
    return u"";
}

std::optional<std::u16string> EncodeName(std::u16string_view name, NameCharset set) {
    std::u16string out;
    switch (set) {
        case NameCharset::Ucs2:
            return EncodeUcs2Hex(name);
        case NameCharset::Latin1:
            for (const char16_t c : name) {
                if (c > 0xFF) {
                    return std::nullopt;
                }
            }
            return std::u16string(name);
        case NameCharset::Ira:
            for (const char16_t c : name) {
                if (c > 0x7E) {
                    return std::nullopt;
                }
            }
            return std::u16string(name);
        case NameCharset::Gsm:
            for (const char16_t c : name) {
                const auto byte = GsmByteOf(c);
                if (!byte) {
                    return std::nullopt;
                }
                out.push_back(*byte);
            }
            return out;
        case NameCharset::AsIs:
            // The transport writes Windows-1252; what it cannot hold would arrive as "?".
            if (AnsiToWide(WideToAnsi(name)) != name) {
                return std::nullopt;
            }
            return std::u16string(name);
    }
    return std::nullopt;
}

std::u16string DecodeName(std::u16string_view field, NameCharset set) {
    switch (set) {
        case NameCharset::Ucs2:
            if (auto text = DecodeUcs2Hex(field)) {
                return *text;
            }
            return std::u16string(field);
        case NameCharset::Gsm: {
            std::u16string out;
            for (const char16_t c : field) {
                if (c >= 0x20 && c < 0x7F) {
                    out += SeptetsToText({static_cast<std::uint8_t>(c)});
                } else {
                    out.push_back(c);
                }
            }
            return out;
        }
        case NameCharset::Latin1:
        case NameCharset::Ira:
        case NameCharset::AsIs:
            return std::u16string(field);
    }
    return std::u16string(field);
}

std::u16string DecodeNumber(std::u16string_view field, NameCharset set, bool& encoded) {
    encoded = false;
    if (set != NameCharset::Ucs2 || field.empty()) {
        return std::u16string(field);
    }
    const auto text = DecodeUcs2Hex(field);
    if (!text) {
        return std::u16string(field);
    }
    for (const char16_t c : *text) {
        if (!IsDialCharacter(c)) {
            return std::u16string(field);
        }
    }
    encoded = true;
    return *text;
}

std::u16string EncodeNumber(std::u16string_view number, NameCharset set, bool ucs2Numbers) {
    if (set == NameCharset::Ucs2 && ucs2Numbers) {
        return EncodeUcs2Hex(number);
    }
    return std::u16string(number);
}

std::size_t SimNameOctets(std::u16string_view name) {
    if (IsGsm7Text(name)) {
        return static_cast<std::size_t>(SeptetLength(name));
    }
    return 1 + 2 * name.size();
}

std::u16string CutName(std::u16string_view name, std::size_t limit, bool simOctets) {
    std::u16string cut(name);
    const auto fits = [&] { return (simOctets ? SimNameOctets(cut) : cut.size()) <= limit; };
    while (!cut.empty() && !fits()) {
        const bool pair = cut.size() >= 2 && cut.back() >= 0xDC00 && cut.back() <= 0xDFFF &&
                          cut[cut.size() - 2] >= 0xD800 && cut[cut.size() - 2] <= 0xDBFF;
        cut.resize(cut.size() - (pair ? 2 : 1));
    }
    return cut;
}

}  // namespace qvl

#include "base/checks.h"

namespace qvl {
namespace {

bool IsDigit(char16_t c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char16_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsPause(char16_t c) {
    return c == ',' || c == 'p' || c == 'P' || c == 'w' || c == 'W';
}

bool IsPrintableAscii(char16_t c) {
    return c > 0x20 && c < 0x7F;
}

// Case-insensitive "starts with" for an ASCII prefix written in upper case.
bool StartsWithNoCase(std::u16string_view text, std::u16string_view upperPrefix) {
    if (text.size() < upperPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upperPrefix.size(); ++i) {
        char16_t c = text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char16_t>(c - 'a' + 'A');
        }
        if (c != upperPrefix[i]) {
            return false;
        }
    }
    return true;
}

// The fields of "+CGDCONT=<cid>,"<type>","<apn>"[,...]" after the "=": the context number must
// be 1..99, the type a quoted word and the access point pass IsValidApn.
bool IsSafeContextDefinition(std::u16string_view args) {
    std::size_t at = 0;
    std::size_t digits = 0;
    while (at < args.size() && IsDigit(args[at])) {
        ++at;
        ++digits;
    }
    if (digits == 0 || digits > 2 || (digits == 1 && args[0] == '0') ||
        (digits == 2 && args[0] == '0')) {
        return false;
    }
    // A quoted field after a comma; value is what lies between the quotes.
    auto quoted = [&](std::u16string_view& value) {
        if (at >= args.size() || args[at] != ',' || at + 1 >= args.size() || args[at + 1] != '"') {
            return false;
        }
        const std::size_t open = at + 1;
        const std::size_t close = args.find(u'"', open + 1);
        if (close == std::u16string_view::npos) {
            return false;
        }
        value = args.substr(open + 1, close - open - 1);
        at = close + 1;
        return true;
    };
    std::u16string_view type;
    std::u16string_view apn;
    if (!quoted(type) || type.empty() || !quoted(apn) || !IsValidApn(apn)) {
        return false;
    }
    for (const char16_t c : type) {
        if (!IsDigit(c) && !IsAsciiLetter(c)) {
            return false;
        }
    }
    // Further fields (address, compression flags) or a following command: a comma or ";".
    return at == args.size() || args[at] == ',' || args[at] == ';';
}

}  // namespace

std::u16string WithoutNumberSeparators(std::u16string_view number) {
    std::u16string out;
    out.reserve(number.size());
    for (const char16_t c : number) {
        if (c != u' ' && c != u'\u00A0' && c != u'(' && c != u')' && c != u'-' && c != u'.') {
            out += c;
        }
    }
    return out;
}

bool IsDialableNumber(std::u16string_view number) {
    if (number.empty() || number.size() > kMaxDialableLength) {
        return false;
    }
    bool digit = false;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char16_t c = number[i];
        if (IsDigit(c)) {
            digit = true;
        } else if (c == '+') {
            if (i != 0) {
                return false;
            }
        } else if (c != '*' && c != '#' && !IsPause(c)) {
            return false;
        }
    }
    return digit;
}

bool IsSmsAddress(std::u16string_view number) {
    if (!IsDialableNumber(number)) {
        return false;
    }
    const std::u16string_view digits = number.front() == '+' ? number.substr(1) : number;
    if (digits.size() > kMaxSmsAddressDigits) {
        return false;
    }
    for (const char16_t c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

bool IsSafeCommandText(std::u16string_view text, std::size_t maxLength) {
    if (text.size() > maxLength) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == '"' || c == '\\') {
            return false;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool IsValidCode(std::u16string_view code, std::size_t minLength, std::size_t maxLength) {
    if (code.size() < minLength || code.size() > maxLength) {
        return false;
    }
    for (const char16_t c : code) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

bool IsValidApn(std::u16string_view apn) {
    if (apn.empty() || apn.size() > kMaxApnLength || apn.front() == '.' || apn.back() == '.') {
        return false;
    }
    char16_t previous = 0;
    for (const char16_t c : apn) {
        if (c == '.' && previous == '.') {
            return false;
        }
        if (!IsDigit(c) && !IsAsciiLetter(c) && c != '.' && c != '-') {
            return false;
        }
        previous = c;
    }
    return true;
}

bool IsSafeCredential(std::u16string_view text, std::size_t maxLength) {
    if (text.size() > maxLength) {
        return false;
    }
    for (const char16_t c : text) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\'' || c == '\\') {
            return false;
        }
    }
    return true;
}

bool IsSafeInitCommand(std::u16string_view command) {
    if (command.empty() || command.size() > kMaxInitCommandLength) {
        return false;
    }
    bool inQuotes = false;
    for (const char16_t c : command) {
        if (c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (c == ' ') {
            continue;
        }
        if (!IsPrintableAscii(c) || c == '\\' || c == '\'' || c == '^' || c == '~') {
            return false;
        }
    }
    if (inQuotes) {
        return false;
    }
    std::u16string_view rest = command;
    if (StartsWithNoCase(rest, u"AT")) {
        rest.remove_prefix(2);
    }
    // Every context definition in the command line (commands may be chained with ";").
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (StartsWithNoCase(rest.substr(i), u"+CGDCONT=") &&
            !IsSafeContextDefinition(rest.substr(i + 9))) {
            return false;
        }
    }
    return true;
}

bool IsSafeEntryName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxEntryNameLength || name.front() == '.') {
        return false;
    }
    for (const char16_t c : name) {
        if (!IsDigit(c) && !IsAsciiLetter(c) && c != '.' && c != '_' && c != '-') {
            return false;
        }
    }
    return true;
}

bool IsSafeDevicePath(std::u16string_view path) {
    if (path.size() > kMaxDevicePathLength || path.size() <= 5 || path.substr(0, 5) != u"/dev/") {
        return false;
    }
    std::size_t partStart = 1;
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::u16string_view part = path.substr(partStart, i - partStart);
            if (part.empty() || part == u"." || part == u"..") {
                return false;
            }
            partStart = i + 1;
            continue;
        }
        const char16_t c = path[i];
        if (!IsDigit(c) && !IsAsciiLetter(c) && c != '.' && c != '_' && c != '-' && c != '+' &&
            c != ':') {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> ParseDottedIp(std::u16string_view text) {
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        std::uint32_t number = 0;
        std::size_t digits = 0;
        while (at < text.size() && IsDigit(text[at]) && digits < 4) {
            number = number * 10 + static_cast<std::uint32_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255) {
            return std::nullopt;
        }
        value = (value << 8) | number;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace qvl

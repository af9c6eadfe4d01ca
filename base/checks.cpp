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

}  // namespace

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

}  // namespace qvl

// Text conversions shared by the whole suite.
//
// Wide text is UTF-16 in std::u16string, as on the handheld: lengths and fixed field widths
// count UTF-16 units. The "ANSI code page" is Windows-1252 in both directions. File names and
// terminal output are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvl {

// UTF-8 to UTF-16. Malformed sequences become U+FFFD; nothing is dropped silently.
std::u16string Utf8ToWide(std::string_view utf8);
// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view wide);

// One Windows-1252 byte as a wide character. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as the handheld does.
char16_t AnsiByteToWide(std::uint8_t byte);
std::u16string AnsiToWide(std::string_view ansi);
// Wide text to Windows-1252. A character the code page cannot hold becomes '?', the code
// page's default character.
std::string WideToAnsi(std::u16string_view wide);

// ASCII-only literal to wide text (for building commands from narrow literals).
std::u16string Widen(std::string_view ascii);

// Checked decimal conversion: optional sign, digits only, value within [lo, hi].
std::optional<long long> ParseDecimal(std::u16string_view digits, long long lo, long long hi);
std::optional<long long> ParseDecimal(std::string_view digits, long long lo, long long hi);

// Text for a place where markup is read (a notification body, the incoming-call bubble's
// HTML): "&", "<", ">", and the quotes of attribute values written as entities.
std::u16string EscapeMarkup(std::u16string_view text);

// Case-insensitive comparison of wide text (ASCII and Latin-1 letters fold), used for
// registry names and file names.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
char16_t FoldCase(char16_t c);

}  // namespace qvl

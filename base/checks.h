// The one check of what the user or another program hands us before it enters an AT command,
// a chat script or a pppd file.
//
// A text that fails its check is refused whole, never cut or cleaned: a number that could carry
// ";\rAT+CMGD=1,4" into "ATD" + number must not reach the modem in any form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvl {

// Longest dial string accepted: a number with a DTMF suffix after pauses fits easily.
inline constexpr std::size_t kMaxDialableLength = 80;
// Longest access point name (GSM 23.003 allows 100 octets; operators use far shorter ones and
// the data-call libraries' fields hold 63).
inline constexpr std::size_t kMaxApnLength = 63;
// Longest init command of a data connection (a PDP context definition with its options).
inline constexpr std::size_t kMaxInitCommandLength = 200;
// Longest name of a data connection entry (it names the entry's files).
inline constexpr std::size_t kMaxEntryNameLength = 64;
// Longest serial device path that enters a pppd file.
inline constexpr std::size_t kMaxDevicePathLength = 200;

// A number that may be dialled or addressed: "+" only in first place, then digits, "*", "#"
// and the pause characters of a dial string ("," and p, P, w, W); at least one digit; at most
// kMaxDialableLength characters.
bool IsDialableNumber(std::u16string_view number);

// A number as people and address books write it, without its visual separators: blanks
// (also the no-break space), "(", ")", "-" and "." (the separators of RFC 3966). Nothing else
// is removed or changed, so the result still has to pass IsDialableNumber or IsSmsAddress.
std::u16string WithoutNumberSeparators(std::u16string_view number);

// Longest SMS address: an address field carries at most 20 digits (GSM 03.40).
inline constexpr std::size_t kMaxSmsAddressDigits = 20;

// A number that may address a short message or be the service centre: a dialable number whose
// characters after an optional leading "+" are all digits (a pause, "*" or "#" cannot be put
// into an address field), at most kMaxSmsAddressDigits digits.
bool IsSmsAddress(std::u16string_view number);

// A name, a code or any other text that is placed between the quotes of an AT command: no
// quote, no backslash (some modems read it as the start of an escape), no control character
// (C0, DEL, C1), no lone surrogate, at most maxLength UTF-16 units.
bool IsSafeCommandText(std::u16string_view text, std::size_t maxLength);

// A security code (PIN, PIN2, PUK, phone or network code): digits only, minLength..maxLength.
bool IsValidCode(std::u16string_view code, std::size_t minLength, std::size_t maxLength);

// An access point name: letters, digits, "." and "-", 1..kMaxApnLength, no leading or trailing
// dot and no empty label.
bool IsValidApn(std::u16string_view apn);

// A user name or password for the data call: printable ASCII without blanks, quotes or
// backslash (pppd and chat give those a meaning of their own), at most maxLength characters;
// empty is allowed (no authentication).
bool IsSafeCredential(std::u16string_view text, std::size_t maxLength);

// The init command of a data connection, sent before the dial (with or without a leading
// "AT"), such as +cgdcont=1,"IP","internet": printable ASCII without backslash, apostrophe,
// "^" and "~" (the dial script gives them a meaning), double quotes in pairs, 1 to
// kMaxInitCommandLength characters. Where it defines a PDP context (+CGDCONT=), the access
// point (the third field) passes IsValidApn and the context number is 1 to 99.
bool IsSafeInitCommand(std::u16string_view command);

// The name of a data connection entry, which also names its files: ASCII letters, digits, ".",
// "_" and "-", 1 to kMaxEntryNameLength characters, not starting with ".".
bool IsSafeEntryName(std::u16string_view name);

// A serial device path for pppd: absolute, below /dev/, made of ASCII letters, digits and
// "/", ".", "_", "-", "+", ":" (the names of /dev/serial/by-id), no empty, "." or ".." part,
// at most kMaxDevicePathLength characters.
bool IsSafeDevicePath(std::u16string_view path);

// A dotted IPv4 address: exactly four decimal parts of 0 to 255, one to three digits each,
// nothing else. The value is part1 * 2^24 + part2 * 2^16 + part3 * 2^8 + part4.
std::optional<std::uint32_t> ParseDottedIp(std::u16string_view text);

}  // namespace qvl

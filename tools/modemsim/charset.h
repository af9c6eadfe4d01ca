// The TE character sets of AT+CSCS: how the handset writes its texts (phonebook names,
// operator names, the own-number label) into answers and reads them from commands. The
// handset keeps every text as Unicode (UTF-8 here) and converts at the line.
//
//   "GSM"    the GSM 03.38 default alphabet, one byte a character, the extension table through
//            the escape byte 0x1B (so "€" is 1B 65)
//   "IRA"    7-bit ASCII
//   "8859-1" ISO 8859-1, one byte a character
//   "UCS2"   four hexadecimal digits a UTF-16 unit, big-endian ("J\u00f6rg" is 004A00F600720067)
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qvl::sim {

enum class Charset { Gsm, Ira, Latin1, Ucs2 };

// The set of an AT+CSCS name ("GSM", "IRA", "8859-1", "UCS2"; case-insensitive).
std::optional<Charset> CharsetByName(std::string_view name);
const char* CharsetName(Charset set);

// A UTF-8 text as the handset sends it; a character the set cannot hold goes out as "?".
std::string EncodeText(std::string_view utf8, Charset set);
// A text the program sent in the set, as UTF-8; nullopt when it is not valid in the set (a byte
// above 0x7F in GSM or IRA, an unknown escape, hex that is not whole UTF-16 units).
std::optional<std::string> DecodeText(std::string_view bytes, Charset set);

// The octets a name takes in a SIM phonebook record: one a character when the GSM default
// alphabet holds the whole name (two for an extension character), else the UCS2 form of the
// SIM, 0x80 and two octets a character.
std::size_t SimAlphaOctets(std::string_view utf8);

}  // namespace qvl::sim

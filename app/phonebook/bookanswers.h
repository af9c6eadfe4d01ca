// The pure readers of the phonebook answers (AT+CPBS?, AT+CPBR=?, AT+CPBR, AT+CSCS) and the
// conversion of names between the program's text and the character set the modem was told
// to use (AT+CSCS). No I/O: CPhonebook feeds them the escaped response text of the transport.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/phonebook/phonebookentry.h"

namespace qvl {

// "+CPBS: "SM",12,250": used and total locations of the selected memory.
struct CpbsCounts {
    int used = 0;
    int total = 0;
};
// Nothing when the answer names no counts (some handsets answer with the memory alone).
std::optional<CpbsCounts> ParseCpbsCounts(std::u16string_view answer);

// "+CPBR: (1-250),40,14": the index range and, when given, the longest number and name.
struct CpbrRange {
    int first = 1;
    int last = 1;
    int numberLength = -1;  // -1: not given
    int nameLength = -1;
};
std::optional<CpbrRange> ParseCpbrRange(std::u16string_view answer);

// The entries of "+CPBR:" lines (SIM book, handset book, emergency list). Each line is read on
// its own: index, quoted number, type, quoted name (the name runs to the last quote of its line,
// so a name holding `",` survives; a line without a name gives an empty one). A line that does
// not parse, or the last line of a text cut off by the read bound, gives no entry; lines counts
// every "+CPBR:" line, so lines - entries.size() lines were not read.
struct BookLines {
    std::vector<PhonebookEntry> entries;
    int lines = 0;
};
BookLines ParseBookEntries(std::u16string_view text);

// The same for the call lists: index as the modem wrote it, number, type, then the name up to
// its closing quote (the lists of some handsets carry a date and time after it).
struct CallLogLines {
    std::vector<CallLogEntry> entries;
    int lines = 0;
};
CallLogLines ParseCallLogEntries(std::u16string_view text);

// "+CSCS: ("GSM","IRA","8859-1","UCS2")": the character sets the modem offers.
std::vector<std::u16string> ParseCscsOffered(std::u16string_view answer);
// "+CSCS: "GSM"": the set in use.
std::optional<std::u16string> ParseCscsCurrent(std::u16string_view answer);

// How names travel between the program and the modem.
enum class NameCharset {
    AsIs,    // the modem's set is not known: names go as the transport writes them
    Latin1,  // "8859-1": the transport's Windows-1252 bytes are ISO 8859-1 for every name
             // character up to U+00FF
    Ucs2,    // "UCS2": four hex digits a UTF-16 unit
    Gsm,     // "GSM": the default alphabet, one byte a character
    Ira,     // "IRA": ASCII
};

// The set the phonebook works in, from what the modem offers and uses: 8859-1 when offered
// (numbers and every other answer stay plain), else UCS2, else the modem's own set.
NameCharset ChooseNameCharset(const std::vector<std::u16string>& offered,
                              std::u16string_view current);
// The AT+CSCS name of a set ("8859-1", "UCS2", "GSM", "IRA"); empty for AsIs.
std::u16string_view CharsetName(NameCharset set);

// A name as it goes between the quotes of AT+CPBW; nothing when the set cannot carry one of
// its characters.
std::optional<std::u16string> EncodeName(std::u16string_view name, NameCharset set);
// A name field of an answer as text. UCS2 text that is not hex is taken as it stands.
std::u16string DecodeName(std::u16string_view field, NameCharset set);
// A number field of an answer. Some handsets send numbers in UCS2 too: in that set a field of
// whole hex units that decode to dial characters only is decoded, and encoded says so.
std::u16string DecodeNumber(std::u16string_view field, NameCharset set, bool& encoded);
// A number as it goes into AT+CPBW: UCS2 hex when the handset sends its numbers so.
std::u16string EncodeNumber(std::u16string_view number, NameCharset set, bool ucs2Numbers);

// The octets a name takes in a SIM record: one a character (two for an extension character)
// when the default alphabet holds the whole name, else the SIM's UCS2 form, 0x80 and two
// octets a UTF-16 unit.
std::size_t SimNameOctets(std::u16string_view name);
// The longest start of name that fits limit: SIM octets for the SIM book, UTF-16 units
// otherwise. A surrogate pair is never split.
std::u16string CutName(std::u16string_view name, std::size_t limit, bool simOctets);

}  // namespace qvl

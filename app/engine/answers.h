// Pure readers of modem answers for the phone engine and the call commands.
//
// An answer is the transport's response text: wide text in which CR and LF are written as the
// two-character escapes "\r" and "\n" and other control bytes as two hex digits. Every reader
// here reads it through the AT answer cursor (base/atcursor.h), line by line and field by
// field: a missing quote, comma or field, a number out of range or an answer cut off anywhere
// gives the "nothing" result, never a read outside the text. The last number of a line counts
// only when the line was not cut off, since a read that timed out may have cut it short.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/callentry.h"
#include "app/engine/events.h"
#include "base/finalresult.h"

namespace qvl {

// The escaped line end and final result codes as they appear in response text.
inline constexpr std::u16string_view kEscCrLf = u"\\r\\n";
inline constexpr std::u16string_view kEscOk = u"\\r\\nOK\\r\\n";

bool Contains(std::u16string_view text, std::u16string_view what);

// A whole decimal number (surrounding blanks allowed) that fits a 32-bit int.
std::optional<std::int32_t> ReadInt(std::u16string_view text);

// AT+CPIN?: what the SIM asks for. An error answer (no SIM) is Error; a "+CPIN:" line with no
// known word (the SIM is still busy) is Unknown.
enum class CpinState { Error, Ready, PhoneCode, SimPin, SimPuk, Blocked, Unknown };
CpinState ParseCpinState(std::u16string_view answer);

// AT+CPINC?: attempts left for PIN, PIN2, PUK, PUK2.
struct PinCounters {
    int pin = 0;
    int pin2 = 0;
    int puk = 0;
    int puk2 = 0;
};
std::optional<PinCounters> ParseCpinc(std::u16string_view answer);

// AT+CLCK=<fac>,2: 1 locked, 0 not locked, -1 not known.
int ParseClckState(std::u16string_view answer);

// AT+COPS?: the operator text between the quotes; nothing when the answer is too short or
// unquoted.
std::optional<std::u16string> ParseCopsName(std::u16string_view answer);
// True when the operator text starts with no letter a-z (any case): a numeric network code.
bool IsNumericOperatorName(std::u16string_view name);
// AT+COPS? in numeric format: the network code, or -1.
std::int64_t ParseCopsNumeric(std::u16string_view answer);

// AT+CSQ: signal bars 0..4 (rssi 99 or unreadable gives 0).
int ParseSignalBars(std::u16string_view answer);
// AT+CGATT?: 1 attached, 0 not.
int ParseGprsAttached(std::u16string_view answer);
// AT+CPMS?: 1 when the "SM" store is full.
int ParseMailboxFull(std::u16string_view answer);
// AT+CREG?: 1 when registered and roaming (stat 5).
int ParseRoaming(std::u16string_view answer);
// AT+CLVL?: level 0..5.
int ParseVolumeLevel(std::u16string_view answer);
int VolumeLevelFromClvl(std::int64_t clvl);

// AT+CCFC=0,2,,,1: whether unconditional forwarding of voice calls is active, and where to.
struct DivertAnswer {
    bool diverted = false;
    std::u16string number;
};
DivertAnswer ParseCcfc(std::u16string_view answer);

// AT+CLCC: the call table, or nothing when the answer carries no "OK" (the caller then keeps
// its table). Each "+CLCC: " line is read on its own; a line missing a piece (a call without
// a quoted number among them) is skipped.
std::optional<std::vector<CallEntry>> ParseClcc(std::u16string_view answer);

// Unsolicited result codes.
// True when the text carries a RING result code: a line that is exactly "RING" (the start or
// end of a cut-off read counts as a line end), or "+CRING:". A name such as "BRINGMANN" in a
// phonebook answer is not a RING.
bool ContainsRing(std::u16string_view answer);
// "+CMTI: <mem>,<index>": the storage index, or -1 when none is readable.
std::int64_t ParseCmtiIndex(std::u16string_view answer);
// "+CSSU: <code>": the code, or -1 when none is readable.
std::int64_t ParseCssuCode(std::u16string_view answer);
// "+CLIP: "<number>",...": the caller's number; empty when missing or unquoted.
std::u16string ParseClipNumber(std::u16string_view answer);
// "\r\n+CCWA: "<number>"": nothing when the closing quote is missing.
std::optional<std::u16string> ParseCcwaNumber(std::u16string_view answer);
// "+CDS: <length>\r\n<pdu>": the PDU's hex text; empty when the line is missing.
std::u16string ExtractCdsPdu(std::u16string_view answer);

// Battery level 1..5 from the power supply state (5 = charging or on mains).
struct PowerStatus {
    bool acOnline = false;
    bool charging = false;
    int percent = 255;           // 255: no value
    bool batteryPresent = true;  // false: a machine without a battery (runs on mains)
};
int BatteryLevelFromStatus(const PowerStatus& status);

}  // namespace qvl

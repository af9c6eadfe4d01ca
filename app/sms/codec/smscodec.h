// GSM 03.40 / 03.38 SMS PDU codec: the default alphabet with its extension table, septet
// packing, semi-octet addresses, service-centre time stamps, SMS-SUBMIT and SMS-DELIVER
// building, and decoding of SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT.
//
// Pure functions, no I/O and no state. PDUs travel as text of hexadecimal digits, two per
// octet, upper case on output. On input '0'-'9', 'A'-'F' and 'a'-'f' are read as digits; any
// other character counts as 0, and an odd final digit is ignored. Malformed input gives short or
// empty fields; no decoder reads out of bounds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::sms {

// One decoded stored or received message (also the row of the modem read-out table).
struct SmsPduInfo {
    int index = 0;          // storage location (set by the modem operations)
    std::u16string number;  // originator (DELIVER) or destination (SUBMIT)
    std::u16string text;    // message text, or one of the fixed texts below
    std::u16string time;    // "dd/mm/yy,hh:mm:ss,GMT+z" (DELIVER); empty for SUBMIT
    int status = 0;         // 0 unread, 1 read, 2 unsent, 3 sent (set by the modem operations)
    int concatenated = 0;   // 1 when a concatenation element was found
    int reference = 0;      // concatenation reference 0-255
    int total = 0;          // part count of the concatenated message
    int sequence = 0;       // this part's number, from 1
    int storage = 0;        // 1 SIM, 2 phone memory (set by the modem operations)
    int graphic = 0;        // 1 when the header holds an element other than 00
};

struct SmsStatusReport {
    std::u16string number;     // recipient address
    std::u16string time;       // service-centre time stamp
    std::u16string discharge;  // discharge time
    int status = 0;            // TP-ST octet
};

// Fixed texts put into SmsPduInfo::text.
inline constexpr std::u16string_view kText8BitData = u"DCS_8_Bit_Data";
inline constexpr std::u16string_view kTextReserved = u"DCS_Reserved";
inline constexpr std::u16string_view kTextGraphic = u"Message contains Graphic objects";

// ---- Default alphabet and septets ----

// True when the character has a septet in the default alphabet or its extension table.
bool IsGsm7Char(char16_t c);
// True when every character of the text has a septet (the text can go as 7-bit data).
bool IsGsm7Text(std::u16string_view text);

// Septets the text needs: its length plus one for every extension-table character but space.
int SeptetLength(std::u16string_view text);
// One septet per character, escape septets included. A character without a septet gives the
// low eight bits of its code (the caller chooses UCS2 for such texts, see ChooseCoding).
std::vector<std::uint8_t> ToSeptets(std::u16string_view text);
// Hex text of the whole text packed, GSM 03.38 order, no filler.
std::string PackSeptets(std::u16string_view text);
// Hex text of septets [first, first + count) of the text's septet string, packed from its own
// first bit. A range past the end is clamped.
std::string PackSeptetRange(std::u16string_view text, int first, int count);
// Packs raw septets (the low seven bits of each byte).
std::string PackSeptetBytes(const std::vector<std::uint8_t>& septets);
// Decodes the first `septets` septets of packed hex user data (fewer when the data is short).
std::u16string UnpackSeptets(std::string_view hex, int septets);
// Translates septets to text: escapes through the extension table (an unknown follower gives a
// space and is translated on its own), and a line feed not preceded by a carriage return gets
// one inserted.
std::u16string SeptetsToText(const std::vector<std::uint8_t>& septets);
// UTF-16 big-endian user data: octets / 2 characters (fewer when the data is short).
std::u16string DecodeUcs2(std::string_view hex, int octets);

// ---- Addresses and time stamps ----

// "%02X" digit count, "91" (a '+' in the number) or "81", the swapped semi-octets. Only '+' is
// removed from the number; other characters are used as typed.
std::string EncodeAddress(std::u16string_view number);
// Semi-octet hex to a number: pairs swapped, `digits` characters kept, "+" in front when
// (type & 0x90) == 0x90. An alphanumeric type ((type & 0x70) == 0x50) decodes the GSM 7-bit
// name it carries.
std::u16string DecodeAddress(std::string_view hex, int digits, int type);

// "dd/mm/yy,hh:mm:ss,GMT+z" to the 14 digits of TP-SCTS. Missing fields count as 0.
std::string EncodeTimestamp(std::u16string_view time);
// True when the time text has every field of "dd/mm/yy,hh:mm:ss,GMT+z" and nothing else.
bool IsCompleteTimeText(std::u16string_view time);
// 14 digits of TP-SCTS to "dd/mm/yy,hh:mm:ss,GMT+z". Any other length gives an empty text.
std::u16string DecodeTimestamp(std::string_view hex);

// ---- Data coding ----

// Class of a TP-DCS octet: 0 7-bit, 1 8-bit, 2 UCS2, 3 reserved; -1 outside the two groups
// 00xxxxxx and 1111 0xxx.
int DataCodingClass(int dcs);
// The class the decoders use: DataCodingClass where it has one, and for the other groups the
// alphabet GSM 03.38 gives them (see docs/sms-codec.md).
int DecodingClass(int dcs);

enum class SmsCoding { kGsm7, kUcs2 };
enum class UserDataHeader { kAbsent, kPresent };
enum class StatusReport { kNotWanted, kWanted };

// Send-as codes and their TP-PID.
enum class SendAs { kText = 0, kFaxGroup3 = 1, kFaxGroup4 = 2, kEmail = 3 };
inline constexpr int kDefaultValidity = 0xA8;

// SMS-SUBMIT with a leading "00" (no service-centre address). `udl` is in septets for 7-bit
// data and in octets for UCS2 (TP-DCS 08).
std::string BuildSubmitPdu(std::u16string_view number, std::string_view userData, int udl,
                           SendAs sendAs,
                           UserDataHeader header, StatusReport report,
                           int validity = kDefaultValidity, SmsCoding coding = SmsCoding::kGsm7);
// SMS-DELIVER with a leading "00", as written back into the phone's storage.
std::string BuildDeliverPdu(std::u16string_view number, std::u16string_view time,
                            std::string_view userData, int udl, UserDataHeader header,
                            SmsCoding coding = SmsCoding::kGsm7);

// Decoders. DELIVER and SUBMIT take the PDU without the service-centre field; the status
// report takes it with the field.
SmsPduInfo DecodeDeliverPdu(std::string_view hex);
SmsPduInfo DecodeSubmitPdu(std::string_view hex);
SmsStatusReport DecodeStatusReportPdu(std::string_view hex);
// Drops the leading service-centre field (length octet and that many octets) of a PDU as
// +CMGR shows it; empty when the field is longer than the PDU.
std::string StripServiceCentre(std::string_view hex);

// "%02d" of (hex length - 2) / 2: the octet count AT+CMGS and AT+CMGW announce.
std::string PduLength(std::string_view pdu);

// ---- Long texts ----

inline constexpr int kSingleSeptets = 160;
inline constexpr int kPartSeptets = 152;
inline constexpr int kSingleUcs2 = 70;
inline constexpr int kPartUcs2 = 67;

// 7-bit when every character has a septet, otherwise UCS2.
SmsCoding ChooseCoding(std::u16string_view text);

// The user data of one message or part.
struct SmsPart {
    std::string userData;  // hex
    int udl = 0;           // TP-UDL
    UserDataHeader header = UserDataHeader::kAbsent;
};
struct SmsSplit {
    SmsCoding coding = SmsCoding::kGsm7;
    std::vector<SmsPart> parts;
};
// Splits a text into one message or concatenated parts (152 septets, or 67 UCS2 units) with
// the reference 0-255. A text that would need more than 255 parts gives no parts at all.
SmsSplit SplitText(std::u16string_view text, int reference);

// The compose counter: message count, units used in the last message, units left in it.
struct SmsLengthInfo {
    SmsCoding coding = SmsCoding::kGsm7;
    int parts = 1;
    int used = 0;
    int left = 0;
};
SmsLengthInfo ComputeLength(std::u16string_view text);

// Every SMS-SUBMIT PDU of a text, as handed to AT+CMGS (empty when the text is too long).
std::vector<std::string> BuildSubmitPdus(std::u16string_view number, std::u16string_view text,
                                         int reference, SendAs sendAs, StatusReport report,
                                         int validity = kDefaultValidity);
// Every SMS-DELIVER PDU of a received text, as written back with AT+CMGW.
std::vector<std::string> BuildDeliverPdus(std::u16string_view number, std::u16string_view time,
                                          std::u16string_view text, int reference);

}  // namespace qvl::sms

// SMS settings: the values under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvel\Dialer\SMS with their
// defaults, one reader and one writer each, and the validity-period conversions (GSM 03.40
// relative format).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvl::sms {

// Send as (TP-PID choice): 0 Text, 1 Fax Group3, 2 Fax Group4, 3 Email. A missing value (9999)
// and anything above 3 read as 0.
int GetSendAs();
bool SetSendAs(int sendAs);

// Send using: 0 GSM (AT+CGSMS=3), 1 GPRS (AT+CGSMS=2); -1 when never chosen (9999 stored or
// missing). For sending, never chosen counts as GSM (see SendUsingForSend).
int GetSendUsing();
int SendUsingForSend();
bool SetSendUsing(int sendUsing);
// Stores the never-chosen marker (9999), so GetSendUsing reads -1 again.
bool ClearSendUsing();
// The page's choice when "SendUsing" was never set: from the modem's +CGSMS service, 0 or 2 →
// GPRS (1), 1 or 3 → GSM (0), anything else → none (-1).
int SendUsingFromService(int cgsms);

// Delete after copying: 0 don't, 1 ask, 2 always (other values read as 0).
int GetDeleteSms();
bool SetDeleteSms(int mode);

// The TP-VP octet (relative format), default 0xA8 (2 days); only the low eight bits count.
int GetValidityPeriod();
bool SetValidityPeriod(int octet);

bool GetStatusReport();
bool SetStatusReport(bool wanted);

// The voice-mail number (empty when missing or longer than its 260-octet buffer).
std::u16string GetVoiceMailNo();
bool SetVoiceMailNo(std::u16string_view number);

// The concatenation reference, 1-255 (a missing value is 1; 0 and values above 255 read as 1).
int GetLongSmsReference();
// Stores the reference after `used`: used + 1, and 1 after 255.
bool StoreNextLongSmsReference(int used);
int NextLongSmsReference(int used);

enum class ValidityUnit { kHours, kDays, kWeeks };
struct ValidityChoice {
    ValidityUnit unit = ValidityUnit::kDays;
    int value = 2;
    bool operator==(const ValidityChoice&) const = default;
};
// Octet to unit and value: 0-143 hours (v + 1) * 5 / 60, 144-167 hours (v - 143) / 2 + 12,
// 168-196 days v - 166, 197-255 weeks v - 192. Octets 0-10 (under an hour) give 1 hour, the
// shortest choice offered, so every octet lands on a value the page can show.
ValidityChoice ValidityFromOctet(int octet);
// Unit and value to the octet: hours 1-24 (<= 12: v * 12 - 1, else v * 2 + 119), days 2-30
// (v + 166), weeks 5-63 (v + 192). A value outside its unit's range is brought into it.
int ValidityToOctet(ValidityChoice choice);
// The values the page offers for a unit: hours 1-24, days 2-30, weeks 5-63.
int ValidityMin(ValidityUnit unit);
int ValidityMax(ValidityUnit unit);

}  // namespace qvl::sms

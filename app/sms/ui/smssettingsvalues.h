// The SMS settings values under "SOFTWARE\Quorvel\Dialer\SMS" as the settings page shows them,
// and the conversion of the validity-period octet (GSM 03.40 relative format) to the page's
// unit and value and back. Plain C++; the page and the send operation share it.
#pragma once

#include <cstdint>
#include <string>

namespace qvl::smsui {

enum class ValidityUnit { kHours = 0, kDays = 1, kWeeks = 2 };

struct ValidityChoice {
    ValidityUnit unit = ValidityUnit::kDays;
    int value = 2;
};

// Octet to unit and value: 0-143 hours (v + 1) * 5 / 60, 144-167 hours (v - 143) / 2 + 12,
// 168-196 days v - 166, 197-255 weeks v - 192. Only the low eight bits of v count.
ValidityChoice ValidityFromOctet(std::uint32_t octet);
// Unit and value to the octet (low eight bits): hours up to 12 value * 12 - 1, above 12
// value * 2 + 119; days value + 166; weeks value + 192. A value outside the unit's range is
// clamped into it first, so a damaged choice never wraps into another unit.
std::uint32_t ValidityToOctet(ValidityChoice choice);
// The range the value combo offers for a unit: hours 1-24, days 2-30, weeks 5-63.
int ValidityFirst(ValidityUnit unit);
int ValidityLast(ValidityUnit unit);

// Every value of the page. sendAs and sendUsing hold 9999 when never chosen.
struct SmsSettingsValues {
    std::u16string voiceMailNo;
    std::uint32_t sendAs = 9999;
    std::uint32_t sendUsing = 9999;
    std::uint32_t deleteSms = 0;
    std::uint32_t validityPeriod = 0xA8;
    std::uint32_t statusReport = 0;
};

SmsSettingsValues ReadSmsSettings();
// Stores every value; false when one of them could not be written.
bool WriteSmsSettings(const SmsSettingsValues& values);
// The compose view stores its own send-as choice before sending.
bool WriteSendAs(std::uint32_t sendAs);

}  // namespace qvl::smsui

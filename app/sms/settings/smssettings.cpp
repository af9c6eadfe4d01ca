// SMS settings in the registry and the validity-period conversions.
#include "app/sms/settings/smssettings.h"

#include <algorithm>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"

namespace qvl::sms {
namespace {

using namespace qvl::keys;

std::uint32_t Read(std::u16string_view name, std::uint32_t def) {
    return ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, name, def);
}

bool Write(std::u16string_view name, std::uint32_t value) {
    return WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, name, value);
}

}  // namespace

int GetSendAs() {
    const std::uint32_t v = Read(kValueSendAs, kDefaultSendAs);
    return v <= 3 ? static_cast<int>(v) : 0;
}
bool SetSendAs(int sendAs) { return Write(kValueSendAs, static_cast<std::uint32_t>(std::clamp(sendAs, 0, 3))); }

int GetSendUsing() {
    const std::uint32_t v = Read(kValueSendUsing, kDefaultSendUsing);
    return v <= 1 ? static_cast<int>(v) : -1;
}
int SendUsingForSend() { return GetSendUsing() == 1 ? 1 : 0; }
bool SetSendUsing(int sendUsing) {
    return Write(kValueSendUsing, static_cast<std::uint32_t>(std::clamp(sendUsing, 0, 1)));
}
bool ClearSendUsing() {
    return Write(kValueSendUsing, kNotChosen);
}
int SendUsingFromService(int cgsms) {
    switch (cgsms) {
        case 0:
        case 2:
            return 1;
        case 1:
        case 3:
            return 0;
        default:
            return -1;
    }
}

int GetDeleteSms() {
    const std::uint32_t v = Read(kValueDeleteSms, kDefaultDeleteSms);
    return v <= 2 ? static_cast<int>(v) : 0;
}
bool SetDeleteSms(int mode) { return Write(kValueDeleteSms, static_cast<std::uint32_t>(std::clamp(mode, 0, 2))); }

int GetValidityPeriod() {
    return static_cast<int>(Read(kValueValidityPeriod, kDefaultValidityPeriod) & 0xFF);
}
bool SetValidityPeriod(int octet) {
    return Write(kValueValidityPeriod, static_cast<std::uint32_t>(octet) & 0xFF);
}

bool GetStatusReport() { return Read(kValueStatusReport, kDefaultStatusReport) != 0; }
bool SetStatusReport(bool wanted) { return Write(kValueStatusReport, wanted ? 1 : 0); }

std::u16string GetVoiceMailNo() {
    return ReadSettingString(kRootLocalMachine, kKeySmsSettings, kValueVoiceMailNo, u"",
                             kVoiceMailNoChars);
}
bool SetVoiceMailNo(std::u16string_view number) {
    return WriteSettingString(kRootLocalMachine, kKeySmsSettings, kValueVoiceMailNo, number);
}

int GetLongSmsReference() {
    const std::uint32_t v = Read(kValueLongSmsReference, kDefaultLongSmsReference);
    return v >= 1 && v <= 255 ? static_cast<int>(v) : 1;
}
int NextLongSmsReference(int used) { return used + 1 > 255 || used + 1 < 1 ? 1 : used + 1; }
bool StoreNextLongSmsReference(int used) {
    return Write(kValueLongSmsReference, static_cast<std::uint32_t>(NextLongSmsReference(used)));
}

ValidityChoice ValidityFromOctet(int octet) {
    const int v = octet & 0xFF;
    if (v <= 143) {
        return {ValidityUnit::kHours, std::max(1, (v + 1) * 5 / 60)};
    }
    if (v <= 167) {
        return {ValidityUnit::kHours, (v - 143) / 2 + 12};
    }
    if (v <= 196) {
        return {ValidityUnit::kDays, v - 166};
    }
    return {ValidityUnit::kWeeks, v - 192};
}

int ValidityMin(ValidityUnit unit) {
    switch (unit) {
        case ValidityUnit::kHours:
            return 1;
        case ValidityUnit::kDays:
            return 2;
        case ValidityUnit::kWeeks:
            return 5;
    }
    return 1;
}

int ValidityMax(ValidityUnit unit) {
    switch (unit) {
        case ValidityUnit::kHours:
            return 24;
        case ValidityUnit::kDays:
            return 30;
        case ValidityUnit::kWeeks:
            return 63;
    }
    return 24;
}

int ValidityToOctet(ValidityChoice choice) {
    const int v = std::clamp(choice.value, ValidityMin(choice.unit), ValidityMax(choice.unit));
    switch (choice.unit) {
        case ValidityUnit::kHours:
            return (v <= 12 ? v * 12 - 1 : v * 2 + 119) & 0xFF;
        case ValidityUnit::kDays:
            return (v + 166) & 0xFF;
        case ValidityUnit::kWeeks:
            return (v + 192) & 0xFF;
    }
    return 0xA8;
}

}  // namespace qvl::sms

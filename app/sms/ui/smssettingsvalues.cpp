#include "app/sms/ui/smssettingsvalues.h"

#include <algorithm>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"

namespace qvl::smsui {

using namespace qvl::keys;

ValidityChoice ValidityFromOctet(std::uint32_t octet) {
    const int v = static_cast<int>(octet & 0xFF);
    if (v <= 143) {
        return {ValidityUnit::kHours, (v + 1) * 5 / 60};
    }
    if (v <= 167) {
        return {ValidityUnit::kHours, (v - 143) / 2 + 12};
    }
    if (v <= 196) {
        return {ValidityUnit::kDays, v - 166};
    }
    return {ValidityUnit::kWeeks, v - 192};
}

int ValidityFirst(ValidityUnit unit) {
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

int ValidityLast(ValidityUnit unit) {
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

std::uint32_t ValidityToOctet(ValidityChoice choice) {
    const int value =
        std::clamp(choice.value, ValidityFirst(choice.unit), ValidityLast(choice.unit));
    int octet = 0;
    switch (choice.unit) {
        case ValidityUnit::kHours:
            octet = value <= 12 ? value * 12 - 1 : value * 2 + 119;
            break;
        case ValidityUnit::kDays:
            octet = value + 166;
            break;
        case ValidityUnit::kWeeks:
            octet = value + 192;
            break;
    }
    return static_cast<std::uint32_t>(octet) & 0xFF;
}

SmsSettingsValues ReadSmsSettings() {
    SmsSettingsValues v;
    v.voiceMailNo = ReadSettingString(kRootLocalMachine, kKeySmsSettings, kValueVoiceMailNo, u"",
                                      kVoiceMailNoChars);
    v.sendAs = ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendAs, kDefaultSendAs);
    v.sendUsing =
        ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendUsing, kDefaultSendUsing);
    v.deleteSms =
        ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueDeleteSms, kDefaultDeleteSms);
    v.validityPeriod = ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueValidityPeriod,
                                         kDefaultValidityPeriod);
    v.statusReport = ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueStatusReport,
                                       kDefaultStatusReport);
    return v;
}

bool WriteSmsSettings(const SmsSettingsValues& v) {
    const RegKey key = OpenSettingsKey(kRootLocalMachine, kKeySmsSettings);
    bool ok = WriteStringToKey(key, kValueVoiceMailNo, v.voiceMailNo);
    ok = WriteNumberToKey(key, kValueSendAs, v.sendAs) && ok;
    ok = WriteNumberToKey(key, kValueSendUsing, v.sendUsing) && ok;
    ok = WriteNumberToKey(key, kValueDeleteSms, v.deleteSms) && ok;
    ok = WriteNumberToKey(key, kValueValidityPeriod, v.validityPeriod & 0xFF) && ok;
    ok = WriteNumberToKey(key, kValueStatusReport, v.statusReport) && ok;
    return ok;
}

bool WriteSendAs(std::uint32_t sendAs) {
    return WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendAs, sendAs);
}

}  // namespace qvl::smsui

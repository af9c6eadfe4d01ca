#include "app/settings/settings.h"

#include "app/settings/settingkeys.h"

#include <cstdio>
#include <optional>

namespace qvl {

namespace {

std::optional<RegRoot> RootFromSelector(int selector) {
    switch (selector) {
        case kRootCurrentUser:
            return RegRoot::CurrentUser;
        case kRootLocalMachine:
            return RegRoot::LocalMachine;
        default:
            return std::nullopt;
    }
}

std::u16string SlotName(const char* format, int category, int button) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, category, button);
    return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

}  // namespace

RegKey OpenSettingsKey(int root, std::u16string_view keyPath) {
    const auto r = RootFromSelector(root);
    if (!r) {
        return RegKey();
    }
    return RegKey::Open(*r, keyPath, RegOpen::Create);
}

RegKey OpenSubKey(const RegKey& parent, std::u16string_view subPath) {
    return parent.OpenSub(subPath, RegOpen::Create);
}

std::u16string ReadSettingString(int root, std::u16string_view keyPath,
                                 std::u16string_view valueName, std::u16string_view defaultText,
                                 std::size_t bufferChars) {
    const auto r = RootFromSelector(root);
    if (r) {
        const RegKey key = RegKey::Open(*r, keyPath);
        if (auto text = key.ReadString(valueName); text && text->size() < bufferChars) {
            return std::move(*text);
        }
    }
    return std::u16string(defaultText);
}

std::uint32_t ReadSettingNumber(int root, std::u16string_view keyPath,
                                std::u16string_view valueName, std::uint32_t defaultNumber) {
    const auto r = RootFromSelector(root);
    if (r) {
        if (auto n = RegKey::Open(*r, keyPath).ReadDword(valueName)) {
            return *n;
        }
    }
    return defaultNumber;
}

bool WriteSettingString(int root, std::u16string_view keyPath, std::u16string_view valueName,
                        std::u16string_view text) {
    return WriteStringToKey(OpenSettingsKey(root, keyPath), valueName, text);
}

bool WriteSettingNumber(int root, std::u16string_view keyPath, std::u16string_view valueName,
                        std::uint32_t number) {
    return WriteNumberToKey(OpenSettingsKey(root, keyPath), valueName, number);
}

bool WriteStringToKey(const RegKey& key, std::u16string_view valueName, std::u16string_view text) {
    return key.IsValid() && key.WriteString(valueName, text);
}

bool WriteNumberToKey(const RegKey& key, std::u16string_view valueName, std::uint32_t number) {
    return key.IsValid() && key.WriteDword(valueName, number);
}

std::u16string SpeedDialValueName(int category, int button) {
    return SlotName(keys::kSpeedDialNameFormat, category, button);
}

std::u16string SpeedDialValueNumber(int category, int button) {
    return SlotName(keys::kSpeedDialNumberFormat, category, button);
}

}  // namespace qvl

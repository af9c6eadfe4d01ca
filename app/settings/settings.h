// The small registry helpers the settings readers and writers of the main program share.
//
// Each takes its root as a selector: kRootCurrentUser (0) or kRootLocalMachine (1); any other
// selector does nothing and reports failure (or gives the default). There is no settings cache:
// every read goes to the registry, so a value written by one dialog is seen by the next reader.
#pragma once

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qvl {

inline constexpr int kRootCurrentUser = 0;
inline constexpr int kRootLocalMachine = 1;

// String settings are read into buffers of 260 characters, terminator included: a value of
// 260 characters or more does not fit and reads as "cannot be read" (the default).
inline constexpr std::size_t kSettingTextChars = 260;

// Opens root\keyPath, creating it when missing. An invalid key on failure.
RegKey OpenSettingsKey(int root, std::u16string_view keyPath);
// Opens parent\subPath, creating it when missing. An invalid key on failure.
RegKey OpenSubKey(const RegKey& parent, std::u16string_view subPath);

// The value, or defaultText when the key or value is missing, is not a string, or does not fit
// bufferChars (terminator included). Never creates the key.
std::u16string ReadSettingString(int root, std::u16string_view keyPath,
                                 std::u16string_view valueName, std::u16string_view defaultText,
                                 std::size_t bufferChars = kSettingTextChars);
// The number, or defaultNumber when the key or value is missing or not a DWORD.
std::uint32_t ReadSettingNumber(int root, std::u16string_view keyPath,
                                std::u16string_view valueName, std::uint32_t defaultNumber);

bool WriteSettingString(int root, std::u16string_view keyPath, std::u16string_view valueName,
                        std::u16string_view text);
bool WriteSettingNumber(int root, std::u16string_view keyPath, std::u16string_view valueName,
                        std::uint32_t number);
bool WriteStringToKey(const RegKey& key, std::u16string_view valueName, std::u16string_view text);
bool WriteNumberToKey(const RegKey& key, std::u16string_view valueName, std::uint32_t number);

// "Category<c>Button<b>Name" / "...Number" for a speed-dial slot.
std::u16string SpeedDialValueName(int category, int button);
std::u16string SpeedDialValueNumber(int category, int button);

}  // namespace qvl

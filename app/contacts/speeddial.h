// The fifteen speed-dial slots (three categories of five buttons) and their registry values
// "Category<c>Button<b>Name" and "...Number" under "SOFTWARE\Quorvel\Dialer\SpeedDial".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {

inline constexpr int kSpeedDialCategoryCount = 3;
inline constexpr int kSpeedDialButtonCount = 5;
inline constexpr int kSpeedDialSlotCount = kSpeedDialCategoryCount * kSpeedDialButtonCount;

struct SpeedDialSlot {
    std::u16string name;
    std::u16string number;
    bool used = false;  // a slot that is not used is shown empty and never stored
};

using SpeedDialSlots = std::array<SpeedDialSlot, kSpeedDialSlotCount>;

constexpr int SpeedDialSlotIndex(int category, int button) {
    return category * kSpeedDialButtonCount + button;
}

// Reads the slots; the key is created when missing. A slot is used when its Number value is a
// non-empty string that fits the 260-character buffer; its name is the Name value when that is
// such a string, else empty (never another slot's). False, with every slot empty, when the key
// cannot be opened or created.
bool LoadSpeedDial(SpeedDialSlots& slots);

// The values of the speed-dial key, as the store sees them (the registry key, or a test's).
class SpeedDialValues {
  public:
    virtual ~SpeedDialValues() = default;
    virtual std::optional<std::u16string> Read(std::u16string_view name) const = 0;
    virtual bool Write(std::u16string_view name, std::u16string_view text) = 0;
    virtual bool Delete(std::u16string_view name) = 0;
    virtual std::vector<std::u16string> Names() const = 0;
};

// Writes the used slots first (only values that differ from what is stored), then removes
// every other value of the key, so a crash in the middle leaves each slot either as it was or
// as it is now. False when the key cannot be opened or a write fails (nothing is removed then).
bool StoreSpeedDial(const SpeedDialSlots& slots);
bool StoreSpeedDial(const SpeedDialSlots& slots, SpeedDialValues& values);

// What a speed button reads: the slot's name, its number when it has no name, and "" for a
// slot that is not used (the dialog shows "<No Number>" then).
std::u16string SpeedDialCaption(const SpeedDialSlot& slot);

}  // namespace qvl

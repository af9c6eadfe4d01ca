#include "app/contacts/speeddial.h"

#include <optional>
#include <vector>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"

namespace qvl {

namespace {

std::u16string NameValue(int slot) {
    return SpeedDialValueName(slot / kSpeedDialButtonCount, slot % kSpeedDialButtonCount);
}
std::u16string NumberValue(int slot) {
    return SpeedDialValueNumber(slot / kSpeedDialButtonCount, slot % kSpeedDialButtonCount);
}

// A string value that fits the settings' 260-character buffer, or nothing.
std::optional<std::u16string> ReadFitting(const RegKey& key, std::u16string_view name) {
    auto value = key.ReadString(name);
    if (!value || value->size() >= kSettingTextChars) {
        return std::nullopt;
    }
    return value;
}

bool WriteIfChanged(SpeedDialValues& values, std::u16string_view name, const std::u16string& text) {
    if (const auto stored = values.Read(name); stored && *stored == text) {
        return true;
    }
    return values.Write(name, text);
}

class RegistryValues : public SpeedDialValues {
  public:
    explicit RegistryValues(RegKey key) : m_key(std::move(key)) {}
    std::optional<std::u16string> Read(std::u16string_view name) const override {
        return m_key.ReadString(name);
    }
    bool Write(std::u16string_view name, std::u16string_view text) override {
        return m_key.WriteString(name, text);
    }
    bool Delete(std::u16string_view name) override { return m_key.DeleteValue(name); }
    std::vector<std::u16string> Names() const override { return m_key.ValueNames(); }

  private:
    RegKey m_key;
};

}  // namespace

bool LoadSpeedDial(SpeedDialSlots& slots) {
    slots = SpeedDialSlots();
    const RegKey key = OpenSettingsKey(kRootLocalMachine, keys::kKeySpeedDial);
    if (!key) {
        return false;
    }
    for (int slot = 0; slot < kSpeedDialSlotCount; ++slot) {
        const auto number = ReadFitting(key, NumberValue(slot));
        if (!number || number->empty()) {
            continue;
        }
        SpeedDialSlot& s = slots[static_cast<std::size_t>(slot)];
        s.name = ReadFitting(key, NameValue(slot)).value_or(u"");
        s.number = *number;
        s.used = true;
    }
    return true;
}

bool StoreSpeedDial(const SpeedDialSlots& slots) {
    RegKey key = OpenSettingsKey(kRootLocalMachine, keys::kKeySpeedDial);
    if (!key) {
        return false;
    }
    RegistryValues values(std::move(key));
    return StoreSpeedDial(slots, values);
}

bool StoreSpeedDial(const SpeedDialSlots& slots, SpeedDialValues& values) {
    std::vector<std::u16string> kept;
    for (int slot = 0; slot < kSpeedDialSlotCount; ++slot) {
        const SpeedDialSlot& s = slots[static_cast<std::size_t>(slot)];
        if (!s.used) {
            continue;
        }
        const std::u16string name = NameValue(slot);
        const std::u16string number = NumberValue(slot);
        if (!WriteIfChanged(values, name, s.name.substr(0, kSettingTextChars - 1)) ||
            !WriteIfChanged(values, number, s.number.substr(0, kSettingTextChars - 1))) {
            return false;
        }
        kept.push_back(name);
        kept.push_back(number);
    }
    bool removed = true;
    for (const std::u16string& value : values.Names()) {
        // Value names compare without case, as the registry does.
        bool keep = false;
        for (const std::u16string& k : kept) {
            keep = keep || EqualsNoCase(k, value);
        }
        if (!keep) {
            removed = values.Delete(value) && removed;
        }
    }
    return removed;
}

std::u16string SpeedDialCaption(const SpeedDialSlot& slot) {
    if (!slot.used) {
        return {};
    }
    return slot.name.empty() ? slot.number : slot.name;
}

}  // namespace qvl

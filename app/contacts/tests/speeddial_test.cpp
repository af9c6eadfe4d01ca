#include "app/contacts/speeddial.h"

#include <gtest/gtest.h>

#include <map>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "platform/tests/test_home.h"

namespace qvl {
namespace {

class SpeedDialRegistry : public testing::TestHome {
  protected:
    RegKey Key() const {
        return RegKey::Open(RegRoot::LocalMachine, keys::kKeySpeedDial, RegOpen::Create);
    }
};

TEST_F(SpeedDialRegistry, HandEditedHive) {
    const RegKey key = Key();
    const std::u16string big(10 * 1024, u'9');
    key.WriteString(u"Category0Button1Name", u"Anna");
    key.WriteString(u"Category0Button1Number", u"123");
    key.WriteString(u"Category0Button2Number", u"456");  // a number without a name
    key.WriteString(u"Category1Button0Name", big);
    key.WriteString(u"Category1Button0Number", u"789");
    key.WriteString(u"Category1Button1Name", u"Too long");
    key.WriteString(u"Category1Button1Number", big);
    key.WriteString(u"Category1Button2Name", u"Dword");
    key.WriteDword(u"Category1Button2Number", 5);
    key.WriteDword(u"Category1Button3Name", 7);
    key.WriteString(u"Category1Button3Number", u"1");
    key.WriteString(u"Category1Button4Number", u"");
    key.WriteString(u"Category2Button4Name", u"Only a name");
    SpeedDialSlots slots;
    ASSERT_TRUE(LoadSpeedDial(slots));
    struct Expect {
        int slot;
        bool used;
        std::u16string caption;
    };
    const Expect expected[] = {
        {1, true, u"Anna"}, {2, true, u"456"}, {5, true, u"789"}, {6, false, u""},
        {7, false, u""},    {8, true, u"1"},   {9, false, u""},   {14, false, u""},
    };
    for (const Expect& e : expected) {
        const SpeedDialSlot& s = slots[static_cast<std::size_t>(e.slot)];
        EXPECT_EQ(s.used, e.used) << e.slot;
        EXPECT_EQ(SpeedDialCaption(s), e.caption) << e.slot;
    }
    EXPECT_EQ(slots[2].name, u"");  // not the name of the slot before
}

TEST_F(SpeedDialRegistry, StoreKeepsUsedSlotsAndRemovesTheRest) {
    SpeedDialSlots slots;
    slots[SpeedDialSlotIndex(0, 1)] = {u"Anna", u"123", true};
    slots[SpeedDialSlotIndex(1, 2)] = {u"Bob", u"456", true};
    Key().WriteString(u"Stray", u"x");
    ASSERT_TRUE(StoreSpeedDial(slots));
    slots[SpeedDialSlotIndex(0, 1)].used = false;  // "Delete"
    slots[SpeedDialSlotIndex(2, 4)] = {u"", u"789", true};
    ASSERT_TRUE(StoreSpeedDial(slots));
    std::vector<std::u16string> names = Key().ValueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"Category1Button2Name", u"Category1Button2Number",
                                           u"Category2Button4Name", u"Category2Button4Number"}));
    SpeedDialSlots loaded;
    ASSERT_TRUE(LoadSpeedDial(loaded));
    EXPECT_FALSE(loaded[SpeedDialSlotIndex(0, 1)].used);
    EXPECT_EQ(loaded[SpeedDialSlotIndex(1, 2)].name, u"Bob");
    EXPECT_EQ(loaded[SpeedDialSlotIndex(2, 4)].number, u"789");
}

// Values that stop changing after a number of writes and removals, as a program that was
// killed at that moment leaves them.
class CutValues : public SpeedDialValues {
  public:
    CutValues(std::map<std::u16string, std::u16string> values, int budget)
        : m_values(std::move(values)), m_budget(budget) {}
    std::optional<std::u16string> Read(std::u16string_view name) const override {
        const auto it = m_values.find(std::u16string(name));
        return it == m_values.end() ? std::nullopt : std::optional(it->second);
    }
    bool Write(std::u16string_view name, std::u16string_view text) override {
        if (!Spend()) {
            return false;
        }
        ++writes;
        m_values[std::u16string(name)] = std::u16string(text);
        return true;
    }
    bool Delete(std::u16string_view name) override {
        if (!Spend()) {
            return false;
        }
        m_values.erase(std::u16string(name));
        return true;
    }
    std::vector<std::u16string> Names() const override {
        std::vector<std::u16string> names;
        for (const auto& [name, value] : m_values) {
            names.push_back(name);
        }
        return names;
    }
    const std::map<std::u16string, std::u16string>& Values() const { return m_values; }
    int writes = 0;

  private:
    bool Spend() { return m_budget-- > 0; }
    std::map<std::u16string, std::u16string> m_values;
    int m_budget;
};

TEST(SpeedDialStore, AStoreCutAtAnyPointLosesNoNumber) {
    // Before: slots 0, 1 and 2 used. After: 1 changed, 2 deleted, 3 added.
    const std::map<std::u16string, std::u16string> before = {
        {u"Category0Button0Name", u"A"}, {u"Category0Button0Number", u"100"},
        {u"Category0Button1Name", u"B"}, {u"Category0Button1Number", u"200"},
        {u"Category0Button2Name", u"C"}, {u"Category0Button2Number", u"300"}};
    SpeedDialSlots after;
    after[0] = {u"A", u"100", true};
    after[1] = {u"B2", u"201", true};
    after[3] = {u"D", u"400", true};
    for (int budget = 0; budget <= 8; ++budget) {
        CutValues values(before, budget);
        const bool stored = StoreSpeedDial(after, values);
        const auto& v = values.Values();
        auto number = [&](const char16_t* name) {
            const auto it = v.find(name);
            return it == v.end() ? std::u16string(u"-") : it->second;
        };
        EXPECT_EQ(number(u"Category0Button0Number"), u"100") << budget;
        EXPECT_TRUE(number(u"Category0Button1Number") == u"200" ||
                    number(u"Category0Button1Number") == u"201")
            << budget;
        // The deleted slot goes only once every used slot is written.
        const bool allWritten = number(u"Category0Button3Number") == u"400" &&
                                number(u"Category0Button1Number") == u"201";
        if (!allWritten) {
            EXPECT_EQ(number(u"Category0Button2Number"), u"300") << budget;
        }
        EXPECT_EQ(stored, budget >= 6) << budget;  // 4 writes, 2 removals
    }
    // Storing again what is stored writes nothing.
    CutValues values(before, 100);
    ASSERT_TRUE(StoreSpeedDial(after, values));
    CutValues again(values.Values(), 100);
    ASSERT_TRUE(StoreSpeedDial(after, again));
    EXPECT_EQ(again.writes, 0);
}

}  // namespace
}  // namespace qvl

// The engine's default services that read the machine: the power supply class and the MMS
// profile file.
#include "app/engine/services.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace qvl {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "qvl-engine-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(PowerSupplyTest, LevelsFromTheSysfsClass) {
    using Supply = std::map<std::string, std::string>;  // attribute -> value
    struct Case {
        const char* name;
        std::map<std::string, Supply> supplies;
        int level;
    };
    const std::vector<Case> cases = {
        {"desktop_without_battery", {}, 5},
        {"desktop_with_mains_only", {{"AC", {{"type", "Mains"}, {"online", "1"}}}}, 5},
        {"laptop_on_battery_60",
         {{"AC", {{"type", "Mains"}, {"online", "0"}}},
          {"BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "60"}}}},
         3},
        {"laptop_on_battery_10",
         {{"BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "10"}}}},
         1},
        {"laptop_charging",
         {{"BAT0", {{"type", "Battery"}, {"status", "Charging"}, {"capacity", "30"}}}},
         5},
        {"laptop_plugged_full",
         {{"ADP1", {{"type", "Mains"}, {"online", "1\n"}}},
          {"BAT0", {{"type", "Battery"}, {"status", "Full"}, {"capacity", "100"}}}},
         5},
        {"battery_without_capacity",
         {{"BAT0", {{"type", "Battery"}, {"status", "Discharging"}}}},
         1},
        {"garbage_capacity",
         {{"BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "9999"}}}},
         1},
        {"absent_battery_is_mains",
         {{"BAT0", {{"type", "Battery"}, {"present", "0"}, {"capacity", "10"}}}},
         5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        for (const auto& [supply, attributes] : c.supplies) {
            for (const auto& [attribute, value] : attributes) {
                WriteFile(root.path / supply / attribute, value + "\n");
            }
        }
        SysfsPowerSupply power(root.path.string());
        EXPECT_EQ(BatteryLevelFromStatus(power.Read()), c.level);
    }
    SysfsPowerSupply missingRoot("/nonexistent/power_supply");
    EXPECT_EQ(BatteryLevelFromStatus(missingRoot.Read()), 5);
}

// One record of type 4 (492 octets after the type word) with the operator code and name.
std::vector<std::uint8_t> ProfileRecord(std::int32_t id, std::int32_t code, std::u16string name) {
    std::vector<std::uint8_t> bytes;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    u32(4);
    u32(static_cast<std::uint32_t>(id));
    u32(static_cast<std::uint32_t>(id));
    u32(static_cast<std::uint32_t>(code));
    name.resize(40, u'\0');
    for (char16_t c : name) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.resize(4 + 492, 0);
    return bytes;
}

TEST(OperatorProfilesTest, NameOfTheProfileWithTheNetworkCode) {
    std::vector<std::uint8_t> file = {0, 0, 0, 0, 1, 0, 0, 0};
    for (const auto& record :
         {ProfileRecord(0, 26202, u"Vodafone.de"), ProfileRecord(1, 26201, u"Telekom.de"),
          ProfileRecord(2, 26201, u"Second")}) {
        file.insert(file.end(), record.begin(), record.end());
    }
    EXPECT_EQ(FindProfileOperatorName(file, 26201), u"Telekom.de");
    EXPECT_EQ(FindProfileOperatorName(file, 26202), u"Vodafone.de");
    EXPECT_EQ(FindProfileOperatorName(file, 23410), std::nullopt);

    // A 40-character name with no terminating NUL stays within its field.
    auto full = ProfileRecord(0, 1, std::u16string(40, u'x'));
    EXPECT_EQ(FindProfileOperatorName(full, 1), std::u16string(40, u'x'));

    // Cut anywhere, the file gives no name and no read beyond its end.
    for (std::size_t cut = 0; cut < file.size(); cut += 37) {
        const std::span<const std::uint8_t> part(file.data(), cut);
        const auto name = FindProfileOperatorName(part, 26201);
        if (cut < 8 + 2 * 496) {
            EXPECT_EQ(name, std::nullopt) << cut;
        }
    }
    // A record of another type ends the search.
    std::vector<std::uint8_t> wrong = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(FindProfileOperatorName(wrong, 26201), std::nullopt);
}

TEST(OperatorProfilesTest, MissingFileHasNoProfiles) {
    TempDir dir;
    FileOperatorProfiles missing((dir.path / "QVLMMSProfiles.dat").string());
    EXPECT_EQ(missing.OperatorNameForCode(26201), std::nullopt);

    const auto record = ProfileRecord(0, 26201, u"Telekom.de");
    std::ofstream((dir.path / "QVLMMSProfiles.dat").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()),
               static_cast<std::streamsize>(record.size()));
    EXPECT_EQ(missing.OperatorNameForCode(26201), u"Telekom.de");
}

TEST(OperatorProfilesTest, DefaultPathFollowsTheDeviceRoot) {
    TempDir dir;
    setenv("QVL_HOME", dir.path.c_str(), 1);
    EXPECT_EQ(DefaultProfilesPath(), (dir.path / "QVLMMSProfiles.dat").string());
}

}  // namespace
}  // namespace qvl

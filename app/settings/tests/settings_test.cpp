#include "app/settings/settings.h"

#include "app/settings/settingkeys.h"
#include "platform/tests/test_home.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qvl {
namespace {

using testing::TestHome;

class SettingsTest : public TestHome {};

TEST_F(SettingsTest, EmptyRegistryGivesTheDocumentedDefaults) {
    struct Row {
        const char* label;
        const char16_t* key;
        const char16_t* value;
        const char16_t* fallback;
    };
    const std::vector<Row> strings = {
        {"skin", keys::kKeySkin, keys::kValueSkinImage, keys::kDefaultSkinImage},
        {"skin_landscape", keys::kKeySkin, keys::kValueSkinImage270, keys::kDefaultSkinImage270},
        {"voice_ring", keys::kKeyRinger, keys::kValueVoiceRing, u""},
        {"voice_mail", keys::kKeySmsSettings, keys::kValueVoiceMailNo, u""},
    };
    for (const auto& row : strings) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(ReadSettingString(kRootLocalMachine, row.key, row.value, row.fallback),
                  row.fallback);
    }
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeySkin, keys::kValueSkinImage,
                                keys::kDefaultSkinImage),
              u"\\My Documents\\bmp_files\\dialer.bmp");
    EXPECT_EQ(ReadSettingNumber(kRootLocalMachine, keys::kKeySmsSettings,
                                keys::kValueValidityPeriod, keys::kDefaultValidityPeriod),
              0xA8u);
    EXPECT_EQ(ReadSettingNumber(kRootLocalMachine, keys::kKeyMms, keys::kValueDetectProfile,
                                keys::kDefaultDetectProfile),
              1u);
    // Reading never creates anything.
    EXPECT_FALSE(std::filesystem::exists(HiveFile()));
}

TEST_F(SettingsTest, WritesCreateTheKeyAndReadBack) {
    EXPECT_TRUE(WriteSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueVoiceRing,
                                   u"ring1.wav"));
    EXPECT_TRUE(WriteSettingNumber(kRootCurrentUser, keys::kKeyInstaller, keys::kValueLanguageId, 2));
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueVoiceRing, u"x"),
              u"ring1.wav");
    EXPECT_EQ(ReadSettingNumber(kRootCurrentUser, keys::kKeyInstaller, keys::kValueLanguageId, 0),
              2u);
    // The selectors pick different hives.
    EXPECT_EQ(ReadSettingNumber(kRootLocalMachine, keys::kKeyInstaller, keys::kValueLanguageId, 7),
              7u);
    // An empty string is a value, not a missing one.
    EXPECT_TRUE(WriteSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueSmsRing, u""));
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueSmsRing, u"d"),
              u"");

    RegKey dialer = OpenSettingsKey(kRootLocalMachine, keys::kKeyDialer);
    ASSERT_TRUE(dialer);
    RegKey speed = OpenSubKey(dialer, u"SpeedDial");
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed.Path(), keys::kKeySpeedDial);
    EXPECT_TRUE(WriteStringToKey(speed, SpeedDialValueName(1, 2), u"Ann"));
    EXPECT_TRUE(WriteNumberToKey(dialer, keys::kValueMmsImported, 1));
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeySpeedDial, u"Category1Button2Name",
                                u""),
              u"Ann");
    EXPECT_EQ(SpeedDialValueNumber(0, 4), u"Category0Button4Number");
}

TEST_F(SettingsTest, OtherSelectorsDoNothingAndFail) {
    for (int selector : {-1, 2, 3, 1000}) {
        SCOPED_TRACE(selector);
        EXPECT_FALSE(OpenSettingsKey(selector, keys::kKeyDialer));
        EXPECT_FALSE(WriteSettingString(selector, keys::kKeyDialer, keys::kValueNumber, u"1"));
        EXPECT_FALSE(WriteSettingNumber(selector, keys::kKeyDialer, keys::kValueMmsImported, 1));
        EXPECT_EQ(ReadSettingString(selector, keys::kKeyDialer, keys::kValueNumber, u"dflt"),
                  u"dflt");
        EXPECT_EQ(ReadSettingNumber(selector, keys::kKeyDialer, keys::kValueMmsImported, 42), 42u);
    }
    EXPECT_FALSE(std::filesystem::exists(HiveFile()));
    EXPECT_FALSE(OpenSubKey(RegKey(), u"Sub"));
    EXPECT_FALSE(WriteStringToKey(RegKey(), u"V", u"t"));
    EXPECT_FALSE(WriteNumberToKey(RegKey(), u"V", 1));
}

TEST_F(SettingsTest, StringsThatDoNotFitTheBufferReadAsTheDefault) {
    struct Row {
        const char* label;
        std::size_t length;
        std::size_t buffer;
        bool fits;
    };
    const std::vector<Row> rows = {
        {"longest_that_fits", 259, kSettingTextChars, true},
        {"no_room_for_terminator", 260, kSettingTextChars, false},
        {"far_too_long", 5000, kSettingTextChars, false},
        {"voice_mail_buffer_fits", 129, keys::kVoiceMailNoChars, true},
        {"voice_mail_buffer_full", 130, keys::kVoiceMailNoChars, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const std::u16string text(row.length, u'9');
        ASSERT_TRUE(WriteSettingString(kRootLocalMachine, keys::kKeyDialer, keys::kValueNumber, text));
        EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeyDialer, keys::kValueNumber,
                                    u"default", row.buffer),
                  row.fits ? text : u"default");
    }
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeReadAsTheDefault) {
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, keys::kKeySkin, keys::kValueSkinImage, 5));
    ASSERT_TRUE(WriteSettingString(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueSendAs, u"2"));
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeySkin, keys::kValueSkinImage,
                                keys::kDefaultSkinImage),
              keys::kDefaultSkinImage);
    EXPECT_EQ(ReadSettingNumber(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueSendAs,
                                keys::kDefaultSendAs),
              keys::kNotChosen);
}

}  // namespace
}  // namespace qvl

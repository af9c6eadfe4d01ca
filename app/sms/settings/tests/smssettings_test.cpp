// SMS settings: defaults of an empty registry, stored values and the validity conversions.
#include "app/sms/settings/smssettings.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"

namespace qvl::sms {
namespace {

using namespace qvl::keys;

class SmsSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvl-sms-settings-XXXXXX";
        m_home = ::mkdtemp(pattern);
        ::setenv("QVL_HOME", m_home.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }
    std::string m_home;
};

TEST_F(SmsSettingsTest, EmptyRegistryDefaults) {
    EXPECT_EQ(GetSendAs(), 0);
    EXPECT_EQ(GetSendUsing(), -1);
    EXPECT_EQ(SendUsingForSend(), 0);
    EXPECT_EQ(GetDeleteSms(), 0);
    EXPECT_EQ(GetValidityPeriod(), 0xA8);
    EXPECT_EQ(ValidityFromOctet(GetValidityPeriod()), (ValidityChoice{ValidityUnit::kDays, 2}));
    EXPECT_FALSE(GetStatusReport());
    EXPECT_EQ(GetVoiceMailNo(), u"");
    EXPECT_EQ(GetLongSmsReference(), 1);
}

TEST_F(SmsSettingsTest, StoredValuesReadBack) {
    ASSERT_TRUE(SetSendAs(3));
    ASSERT_TRUE(SetSendUsing(1));
    ASSERT_TRUE(SetDeleteSms(2));
    ASSERT_TRUE(SetValidityPeriod(145));
    ASSERT_TRUE(SetStatusReport(true));
    ASSERT_TRUE(SetVoiceMailNo(u"+49 3333"));
    EXPECT_EQ(GetSendAs(), 3);
    EXPECT_EQ(GetSendUsing(), 1);
    EXPECT_EQ(SendUsingForSend(), 1);
    EXPECT_EQ(GetDeleteSms(), 2);
    EXPECT_EQ(GetValidityPeriod(), 145);
    EXPECT_TRUE(GetStatusReport());
    EXPECT_EQ(GetVoiceMailNo(), u"+49 3333");
    // Clearing "SendUsing" stores the never-chosen marker.
    ASSERT_TRUE(ClearSendUsing());
    EXPECT_EQ(GetSendUsing(), -1);
    EXPECT_EQ(ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendUsing, 0), 9999u);
    // The never-chosen marker and out-of-range values read as the defaults.
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendAs, 9999));
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueSendUsing, 9999));
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueDeleteSms, 7));
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueValidityPeriod, 0x1A8));
    EXPECT_EQ(GetSendAs(), 0);
    EXPECT_EQ(GetSendUsing(), -1);
    EXPECT_EQ(GetDeleteSms(), 0);
    EXPECT_EQ(GetValidityPeriod(), 0xA8);
}

TEST_F(SmsSettingsTest, LongSmsReferenceCycles) {
    struct Row {
        int used;
        int next;
    } rows[] = {{1, 2}, {254, 255}, {255, 1}, {0, 1}};
    for (const auto& r : rows) {
        ASSERT_TRUE(StoreNextLongSmsReference(r.used));
        EXPECT_EQ(GetLongSmsReference(), r.next) << r.used;
    }
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference, 0));
    EXPECT_EQ(GetLongSmsReference(), 1);
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference, 300));
    EXPECT_EQ(GetLongSmsReference(), 1);
}

TEST(Validity, ChoiceToOctet) {
    struct Row {
        const char* name;
        ValidityChoice choice;
        int octet;
    } rows[] = {
        {"1_hour", {ValidityUnit::kHours, 1}, 11},
        {"12_hours", {ValidityUnit::kHours, 12}, 143},
        {"13_hours", {ValidityUnit::kHours, 13}, 145},
        {"24_hours", {ValidityUnit::kHours, 24}, 167},
        {"8_hours", {ValidityUnit::kHours, 8}, 95},
        {"2_days", {ValidityUnit::kDays, 2}, 168},
        {"30_days", {ValidityUnit::kDays, 30}, 196},
        {"5_weeks", {ValidityUnit::kWeeks, 5}, 197},
        {"63_weeks", {ValidityUnit::kWeeks, 63}, 255},
        {"hours_below_range", {ValidityUnit::kHours, 0}, 11},
        {"weeks_above_range", {ValidityUnit::kWeeks, 99}, 255},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ValidityToOctet(r.choice), r.octet) << r.name;
    }
}

TEST(Validity, OctetToChoice) {
    // Each octet, the choice it shows as and the octet that choice writes back.
    struct Row {
        const char* name;
        int octet;
        ValidityChoice choice;
        int written;
    } rows[] = {
        {"0_under_an_hour_is_1_hour", 0, {ValidityUnit::kHours, 1}, 11},
        {"5_under_an_hour_is_1_hour", 5, {ValidityUnit::kHours, 1}, 11},
        {"10_under_an_hour_is_1_hour", 10, {ValidityUnit::kHours, 1}, 11},
        {"11_is_1_hour", 11, {ValidityUnit::kHours, 1}, 11},
        {"100_is_8_hours", 100, {ValidityUnit::kHours, 8}, 95},
        {"143_is_12_hours", 143, {ValidityUnit::kHours, 12}, 143},
        {"144_is_12_hours", 144, {ValidityUnit::kHours, 12}, 143},
        {"145_is_13_hours", 145, {ValidityUnit::kHours, 13}, 145},
        {"167_is_24_hours", 167, {ValidityUnit::kHours, 24}, 167},
        {"168_is_2_days", 168, {ValidityUnit::kDays, 2}, 168},
        {"196_is_30_days", 196, {ValidityUnit::kDays, 30}, 196},
        {"197_is_5_weeks", 197, {ValidityUnit::kWeeks, 5}, 197},
        {"255_is_63_weeks", 255, {ValidityUnit::kWeeks, 63}, 255},
        {"high_bits_ignored", 0x1A8, {ValidityUnit::kDays, 2}, 168},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ValidityFromOctet(r.octet), r.choice) << r.name;
        EXPECT_EQ(ValidityToOctet(ValidityFromOctet(r.octet)), r.written) << r.name;
    }
    // Every octet the page can write reads back as the same choice.
    for (auto unit : {ValidityUnit::kHours, ValidityUnit::kDays, ValidityUnit::kWeeks}) {
        for (int v = ValidityMin(unit); v <= ValidityMax(unit); ++v) {
            EXPECT_EQ(ValidityFromOctet(ValidityToOctet({unit, v})), (ValidityChoice{unit, v}));
        }
    }
}

TEST(SendUsing, FromModemService) {
    EXPECT_EQ(SendUsingFromService(3), 0);
    EXPECT_EQ(SendUsingFromService(1), 0);
    EXPECT_EQ(SendUsingFromService(0), 1);
    EXPECT_EQ(SendUsingFromService(2), 1);
    EXPECT_EQ(SendUsingFromService(-1), -1);
    EXPECT_EQ(SendUsingFromService(4), -1);
}

}  // namespace
}  // namespace qvl::sms

#include "app/contacts/callername.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qvl {
namespace {

struct MatchRow {
    const char* name;
    std::u16string caller;
    std::u16string stored;
    std::string region;
    bool match;
};

class SameNumber : public ::testing::TestWithParam<MatchRow> {};

TEST_P(SameNumber, ComparesAsPhoneNumbers) {
    const MatchRow& row = GetParam();
    CallerNameMatcher matcher(row.region);
    EXPECT_EQ(matcher.SameNumber(row.caller, row.stored), row.match);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SameNumber,
    ::testing::Values(
        MatchRow{"national_caller_international_entry", u"0301234567", u"+49301234567", "DE", true},
        MatchRow{"national_caller_international_entry_no_region", u"0301234567", u"+49301234567",
                 "", true},
        MatchRow{"international_caller_national_entry", u"+491711234567", u"0171 1234567", "DE",
                 true},
        MatchRow{"written_with_blanks_and_brackets", u"+49 (30) 123-4567", u"030 1234567", "DE",
                 true},
        MatchRow{"double_zero_prefix", u"0049301234567", u"+49301234567", "DE", true},
        MatchRow{"same_short_number", u"2323", u"2323", "DE", true},
        MatchRow{"entry_zero_matches_no_caller", u"+49301234567", u"0", "DE", false},
        MatchRow{"empty_entry_matches_no_caller", u"+49301234567", u"", "DE", false},
        MatchRow{"part_of_the_number_is_not_the_number", u"+49301234567", u"1234567", "DE", false},
        MatchRow{"short_entry_inside_the_number", u"+49301234567", u"4567", "", false},
        MatchRow{"number_inside_the_entry", u"1234", u"+49301234567", "DE", false},
        MatchRow{"other_country_same_digits", u"+33301234567", u"0301234567", "DE", false},
        MatchRow{"national_entry_of_the_home_country", u"+33123456789", u"01 23 45 67 89", "FR",
                 true},
        MatchRow{"national_entry_read_in_another_home", u"+33123456789", u"0123456789", "DE",
                 false},
        MatchRow{"different_last_digits", u"+49301234567", u"+49301234568", "DE", false},
        MatchRow{"caller_zero", u"0", u"0", "DE", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(LookupCallerName, SimBookFirstThenContactsInTheirNumberOrder) {
    CallerNameMatcher matcher("DE");
    const std::vector<NamedNumber> sim = {
        {u"Zero", u"0"}, {u"Short", u"4567"}, {u"Anna SIM", u"+49301234567"}};
    const std::vector<ContactRecord> contacts = {
        {u"Anna", u"Contact", u"", u"", u"0301234567"},
        {u"Bea", u"Berg", u"089 111", u"0171 222333", u"089 333"},
        {u"Cy", u"", u"", u"", u"0171 222333"},
    };
    EXPECT_EQ(matcher.LookupCallerName(u"0301234567", sim, contacts), u"Anna SIM");
    EXPECT_EQ(matcher.LookupCallerName(u"+49171222333", sim, contacts), u"Bea Berg");
    EXPECT_EQ(matcher.LookupCallerName(u"+4989333", sim, contacts), u"Bea Berg");
    EXPECT_EQ(matcher.LookupCallerName(u"+4940999", sim, contacts), u"");
    EXPECT_EQ(matcher.LookupCallerName(u"", sim, contacts), u"");
}

TEST(HomeRegion, FromTheSimsNetworkCodeOrTheLocale) {
    EXPECT_EQ(RegionForMcc(262), "DE");
    EXPECT_EQ(RegionForMcc(208), "FR");
    EXPECT_EQ(RegionForMcc(310), "US");
    EXPECT_EQ(RegionForMcc(999), "");
    EXPECT_EQ(ParseImsiMcc(u"AT+CIMI\\r\\r\\n262011234567890\\r\\n\\r\\nOK\\r\\n"), 262);
    EXPECT_EQ(ParseImsiMcc(u"\\r\\n208150123456789\\r\\n\\r\\nOK\\r\\n"), 208);
    EXPECT_EQ(ParseImsiMcc(u"AT+CIMI\\r\\r\\n+CME ERROR: 10\\r\\n"), -1);
    EXPECT_EQ(ParseImsiMcc(u"\\r\\n123\\r\\nOK\\r\\n"), -1);
    const char* saved[] = {std::getenv("LC_ALL"), std::getenv("LC_TELEPHONE"), std::getenv("LANG")};
    const std::string copies[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                                  saved[2] ? saved[2] : ""};
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_TELEPHONE");
    ::setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_EQ(RegionFromLocale(), "AT");
    ::setenv("LC_TELEPHONE", "fr_CH", 1);
    EXPECT_EQ(RegionFromLocale(), "CH");
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(RegionFromLocale(), "");
    ::setenv("LC_ALL", "xx_QQ.UTF-8", 1);
    EXPECT_EQ(RegionFromLocale(), "");
    const char* names[] = {"LC_ALL", "LC_TELEPHONE", "LANG"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i] != nullptr) {
            ::setenv(names[i], copies[i].c_str(), 1);
        } else {
            ::unsetenv(names[i]);
        }
    }
}

}  // namespace
}  // namespace qvl

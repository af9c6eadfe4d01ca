#include "base/checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvl {
namespace {

struct Case {
    const char* name;
    std::u16string_view text;
    bool ok;
};

TEST(ChecksTest, DialableNumbers) {
    const std::u16string longest(kMaxDialableLength, u'1');
    const std::u16string tooLong(kMaxDialableLength + 1, u'1');
    const std::vector<Case> cases = {
        {"national", u"030123456", true},
        {"international", u"+4930123456", true},
        {"service_code", u"*31#", true},
        {"with_pause_and_dtmf", u"0301234,,56#", true},
        {"wait_characters", u"0301234w12p3", true},
        {"longest", longest, true},
        {"too_long", tooLong, false},
        {"empty", u"", false},
        {"plus_only", u"+", false},
        {"no_digit", u"*#", false},
        {"plus_later", u"0049+30", false},
        {"command_injection", u"123;\rAT+CMGD=1,4", false},
        {"semicolon", u"123;", false},
        {"blank", u"030 123", false},
        {"letters", u"0800FLOWERS", false},
        {"quote", u"123\"", false},
        {"line_feed", u"123\n", false},
        {"nul", std::u16string_view(u"12\0003", 4), false},
        {"fullwidth_digit", u"\uFF11", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsDialableNumber(c.text), c.ok);
    }
}

TEST(ChecksTest, SmsAddresses) {
    const std::vector<Case> cases = {
        {"international", u"+491701234567", true},
        {"national", u"01701234567", true},
        {"short_code", u"4636", true},
        {"twenty_digits", u"+12345678901234567890", true},
        {"twenty_one_digits", u"123456789012345678901", false},
        {"pause", u"0170,123", false},
        {"star_code", u"*100#", false},
        {"plus_inside", u"49+170", false},
        {"command_after", u"123;\rAT+CMGD=1,4", false},
        {"letters", u"Vodafone", false},
        {"empty", u"", false},
        {"plus_only", u"+", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSmsAddress(c.text), c.ok);
    }
}

TEST(ChecksTest, CommandTexts) {
    const std::vector<Case> cases = {
        {"name", u"Anna", true},
        {"umlauts", u"Jörg Müller", true},
        {"empty", u"", true},
        {"surrogate_pair", u"A\xD83D\xDE00", true},
        {"at_limit", u"0123456789abcdef", true},
        {"over_limit", u"0123456789abcdefg", false},
        {"quote", u"a\"b", false},
        {"backslash", u"a\\b", false},
        {"cr", u"a\rAT", false},
        {"del", u"a\x7F", false},
        {"c1", u"a\x85", false},
        {"lone_high_surrogate", u"a\xD83D", false},
        {"lone_low_surrogate",
         u"\xDE00"
         u"a",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeCommandText(c.text, 16), c.ok);
    }
}

TEST(ChecksTest, Codes) {
    const std::vector<Case> cases = {
        {"pin", u"1234", true},        {"eight", u"12345678", true}, {"short", u"123", false},
        {"long", u"123456789", false}, {"letter", u"12a4", false},   {"blank", u"12 4", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidCode(c.text, 4, 8), c.ok);
    }
}

TEST(ChecksTest, AccessPointNames) {
    const std::u16string longest(kMaxApnLength, u'a');
    const std::u16string tooLong(kMaxApnLength + 1, u'a');
    const std::vector<Case> cases = {
        {"simple", u"internet", true},
        {"dotted", u"mms.t-mobile.de", true},
        {"longest", longest, true},
        {"too_long", tooLong, false},
        {"empty", u"", false},
        {"leading_dot", u".web", false},
        {"trailing_dot", u"web.", false},
        {"empty_label", u"a..b", false},
        {"quote", u"web\"", false},
        {"blank", u"we b", false},
        {"underscore", u"web_1", false},
        {"chat_escape", u"web\\c", false},
        {"line_break", u"web\nATH", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidApn(c.text), c.ok);
    }
}

TEST(ChecksTest, Credentials) {
    const std::vector<Case> cases = {
        {"empty", u"", true},          {"word", u"guest", true},    {"symbols", u"p@ss#1!", true},
        {"blank", u"a b", false},      {"quote", u"a\"b", false},   {"apostrophe", u"a'b", false},
        {"backslash", u"a\\b", false}, {"newline", u"a\nb", false}, {"non_ascii", u"pässe", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeCredential(c.text, 32), c.ok);
    }
}

}  // namespace
}  // namespace qvl

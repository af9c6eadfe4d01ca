#include "base/checks.h"

#include <gtest/gtest.h>

#include <optional>
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

// Only the separators go: what is left is checked as it stands, so a line break or a command
// written into a number survives the step and is refused by the check.
TEST(ChecksTest, NumberSeparators) {
    struct Row {
        const char* name;
        std::u16string_view written;
        std::u16string_view stripped;
        bool dialable;
    };
    const std::vector<Row> rows = {
        {"blanks_and_parentheses", u"(030) 123 45", u"03012345", true},
        {"dashes_and_dots", u"+49-30-123.456", u"+4930123456", true},
        {"no_break_space", u"0170\u00A01234567", u"01701234567", true},
        {"nothing_to_remove", u"*31#0301", u"*31#0301", true},
        {"line_break_stays", u"030 123\r\n456", u"030123\r\n456", false},
        {"command_stays", u"123; AT+CMGD=1,4", u"123;AT+CMGD=1,4", false},
        {"only_separators", u" (-.) ", u"", false},
        {"tab_stays", u"030\t123", u"030\t123", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::u16string out = WithoutNumberSeparators(r.written);
        EXPECT_EQ(out, r.stripped);
        EXPECT_EQ(IsDialableNumber(out), r.dialable);
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

TEST(ChecksTest, InitCommands) {
    const std::u16string longest =
        u"+cgdcont=1,\"IP\",\"" + std::u16string(kMaxApnLength, u'a') + u"\"";
    const std::u16string tooLong(kMaxInitCommandLength + 1, u'E');
    const std::u16string apnTooLong =
        u"+cgdcont=1,\"IP\",\"" + std::u16string(kMaxApnLength + 1, u'a') + u"\"";
    const std::vector<Case> cases = {
        {"context_definition", u"+cgdcont=1,\"IP\",\"internet\"", true},
        {"with_at", u"AT+CGDCONT=3,\"IP\",\"mms.t-mobile.de\"", true},
        {"with_options", u"+cgdcont=1,\"IP\",\"web\",\"\",0,0", true},
        {"chained", u"+cgdcont=1,\"IP\",\"web\";+cgatt=1", true},
        {"other_command", u"&F E0 V1", true},
        {"longest_apn", longest, true},
        {"empty", u"", false},
        {"too_long", tooLong, false},
        {"bad_apn", u"+cgdcont=1,\"IP\",\"we b\"", false},
        {"empty_apn", u"+cgdcont=1,\"IP\",\"\"", false},
        {"apn_too_long", apnTooLong, false},
        {"context_zero", u"+cgdcont=0,\"IP\",\"web\"", false},
        {"context_three_digits", u"+cgdcont=100,\"IP\",\"web\"", false},
        {"no_context", u"+cgdcont=,\"IP\",\"web\"", false},
        {"unquoted_apn", u"+cgdcont=1,\"IP\",web", false},
        {"odd_quotes", u"+cgdcont=1,\"IP\",\"web", false},
        {"second_definition_bad", u"+cgdcont=1,\"IP\",\"a\";+cgdcont=2,\"IP\",\"b'c\"", false},
        {"carriage_return", u"+cgdcont=1,\"IP\",\"web\"\rATD123", false},
        {"chat_escape", u"+cgdcont=1,\"IP\",\"web\"\\c", false},
        {"chat_control", u"E0^M", false},
        {"apostrophe", u"E0'", false},
        {"non_ascii", u"+cgdcont=1,\"IP\",\"w\u00e9b\"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeInitCommand(c.text), c.ok);
    }
}

TEST(ChecksTest, EntryNames) {
    const std::u16string longest(kMaxEntryNameLength, u'a');
    const std::u16string tooLong(kMaxEntryNameLength + 1, u'a');
    const std::vector<Case> cases = {
        {"default", u"QuorvelMMS", true},
        {"punctuation", u"mms_1.b-2", true},
        {"longest", longest, true},
        {"too_long", tooLong, false},
        {"empty", u"", false},
        {"hidden", u".ppprc", false},
        {"slash", u"../x", false},
        {"blank", u"My MMS", false},
        {"shell", u"a;b", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeEntryName(c.text), c.ok);
    }
}

TEST(ChecksTest, DevicePaths) {
    const std::vector<Case> cases = {
        {"usb", u"/dev/ttyUSB0", true},
        {"pts", u"/dev/pts/3", true},
        {"by_id", u"/dev/serial/by-id/usb-Huawei_E173_0123-if00-port0", true},
        {"by_path", u"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0", true},
        {"not_dev", u"/tmp/ttyUSB0", false},
        {"relative", u"ttyUSB0", false},
        {"dev_only", u"/dev/", false},
        {"parent", u"/dev/../etc/shadow", false},
        {"double_slash", u"/dev//ttyUSB0", false},
        {"trailing_slash", u"/dev/ttyUSB0/", false},
        {"blank", u"/dev/tty USB0", false},
        {"quote", u"/dev/tty\"", false},
        {"newline", u"/dev/tty\nlock", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeDevicePath(c.text), c.ok);
    }
}

TEST(ChecksTest, DottedIpAddresses) {
    struct IpCase {
        const char* name;
        std::u16string_view text;
        std::optional<std::uint32_t> value;
    };
    const std::vector<IpCase> cases = {
        {"private", u"10.0.0.1", 0x0A000001u},
        {"highest", u"255.255.255.255", 0xFFFFFFFFu},
        {"zero", u"0.0.0.0", 0u},
        {"leading_zero", u"010.1.2.3", 0x0A010203u},
        {"three_parts", u"10.0.1", std::nullopt},
        {"five_parts", u"10.0.0.1.5", std::nullopt},
        {"part_over_255", u"10.0.0.256", std::nullopt},
        {"four_digits", u"10.0.0.0001", std::nullopt},
        {"empty_part", u"10..0.1", std::nullopt},
        {"trailing_dot", u"10.0.0.1.", std::nullopt},
        {"sign", u"10.0.0.+1", std::nullopt},
        {"blank", u"10.0.0.1 ", std::nullopt},
        {"host_name", u"wap.example", std::nullopt},
        {"empty", u"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseDottedIp(c.text), c.value);
    }
}

}  // namespace
}  // namespace qvl

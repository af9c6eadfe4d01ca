#include "base/text.h"
#include "base/reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace qvl {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string wide;
};

TEST(TextTest, Utf8RoundTripsAndRepairsMalformedInput) {
    const std::vector<Utf8Case> cases = {
        {"ascii", "AT+CSQ", u"AT+CSQ"},
        {"latin", "est\xC3\xA1", u"est\u00E1"},
        {"greek", "\xCE\x91\xCE\xB2", u"\u0391\u03B2"},
        {"emoji_surrogates", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"truncated_sequence", "a\xC3", u"a\xFFFD"},
        {"overlong_slash", "\xC0\xAF", u"\xFFFD"},
        {"encoded_surrogate", "\xED\xA0\x80", u"\xFFFD"},
        {"stray_continuation", "\x80x", u"\xFFFDx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
    }
    EXPECT_EQ(WideToUtf8(u"est\u00E1\xD83D\xDE00"), "est\xC3\xA1\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextTest, Windows1252BothWays) {
    EXPECT_EQ(AnsiToWide("\x80\xE9\x9F\x81"), u"\u20AC\u00E9\u0178\u0081");
    EXPECT_EQ(WideToAnsi(u"\u20AC\u00E9\u0178"), "\x80\xE9\x9F");
    // Unmappable characters become the code page's default character, one per character.
    EXPECT_EQ(WideToAnsi(u"a\u0391\xD83D\xDE00"
                         u"b"),
              "a??b");
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(WideToAnsi(AnsiToWide(one)), one) << b;
    }
}

TEST(TextTest, ParseDecimalChecksRangeAndDigits) {
    EXPECT_EQ(ParseDecimal(u"31", 0, 99), 31);
    EXPECT_EQ(ParseDecimal(u"-5", -10, 10), -5);
    EXPECT_EQ(ParseDecimal(u"100", 0, 99), std::nullopt);
    EXPECT_EQ(ParseDecimal(u"", 0, 99), std::nullopt);
    EXPECT_EQ(ParseDecimal(u"-", 0, 99), std::nullopt);
    EXPECT_EQ(ParseDecimal(u"1a", 0, 99), std::nullopt);
    EXPECT_EQ(ParseDecimal("99999999999999999999999", 0, 1LL << 62), std::nullopt);
    EXPECT_EQ(ParseDecimal("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
}

TEST(TextTest, CaseFoldingForNames) {
    EXPECT_TRUE(EqualsNoCase(u"Software\\Quorvel", u"SOFTWARE\\quorvel"));
    EXPECT_TRUE(EqualsNoCase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"));
    EXPECT_FALSE(EqualsNoCase(u"abc", u"abd"));
    EXPECT_FALSE(EqualsNoCase(u"\u00D7", u"\u00F7"));
}

TEST(TextTest, EscapeMarkupLeavesNoTagOrEntity) {
    EXPECT_EQ(EscapeMarkup(u"Anna"), u"Anna");
    EXPECT_EQ(EscapeMarkup(u"<b>A&B</b> 'x' \"y\""),
              u"&lt;b&gt;A&amp;B&lt;/b&gt; &#39;x&#39; &quot;y&quot;");
}

TEST(ByteReaderTest, ReadsPastTheEndFailWithoutMoving) {
    const std::vector<std::uint8_t> data = {0x01, 0x34, 0x12, 0xAA};
    ByteReader r(data);
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_EQ(r.U16Le(), 0x1234);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.U32Le(), 0u);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Offset(), 3u);
    EXPECT_TRUE(r.Take(2).empty());
    EXPECT_EQ(r.TakeAtMost(5).size(), 1u);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(r.Peek(), 0);
}

}  // namespace
}  // namespace qvl

// Default alphabet, extension table and septet packing.
#include <gtest/gtest.h>

#include <ostream>

#include "app/sms/codec/hexutil.h"
#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

struct PackRow {
    const char* name;
    std::u16string text;
    const char* septets;
    const char* packed;
};

// Rows P1-P13 of the public vectors. P1-P8: faucamp/python-gsmmodem
// @834c68b1387ca2c91e2210faa8f75526b39723b5 test/test_pdu.py (TestGsm7); P9-P13: qotto/smspdudecoder
// @a1d1ca99e9926c560598510fc88952f356852072 smspdudecoder/codecs.py, tests/test_codecs.py.
const PackRow kPackRows[] = {
    {"P1_digits", u"123", "313233", "31D90C"},
    {"P2_eight", u"12345678", "3132333435363738", "31D98C56B3DD70"},
    {"P3_nine", u"123456789", "313233343536373839", "31D98C56B3DD7039"},
    {"P4_hello_world", u"Hello World!", "48656C6C6F20576F726C6421", "C8329BFD065DDF72363904"},
    {"P5_brackets", u"[{abc}]~", "1B3C1B286162631B291B3E1B3D", "1BDE0615168F37A98D6FD303"},
    {"P6_greek_euro", u"{\u00E5\u03A6\u0393\u039B\u03A9\u03A0\u03A8\u03A3\u0398\u20AC}",
     "1B280F12131415161718191B651B29", "1BD44332A1542C174C6653DEA400"},
    {"P7_ext_mix", u"a[]{}\u20AC", "611B3C1B3E1B281B291B65", "E10D6FE3DBA036A94D19"},
    {"P8_thirty_digits", u"123456789012345678901234567890",
     "313233343536373839303132333435363738393031323334353637383930",
     "31D98C56B3DD7039584C36A3D56C375C0E1693CD6835DB0D978301"},
    {"P9_hello", u"hello", "68656C6C6F", "E8329BFD06"},
    {"P10_hellohello", u"hellohello", "68656C6C6F68656C6C6F", "E8329BFD4697D9EC37"},
    {"P11_euro_brackets", u"[10\u20AC]", "1B3C31301B651B3E", "1B5E0CB6296F7C"},
    {"P12_euro_words", u"2 \u20AC par mois", "32201B6520706172206D6F6973",
     "32D0A60C8287E5A0F63B3D07"},
    {"P13_question", u"How are you?", "486F772061726520796F753F", "C8F71D14969741F977FD07"},
    {"P14_seven_no_padding", u"1234567", "31323334353637", "31D98C56B3DD00"},
};

// Test output names a row by its name instead of dumping its bytes.
void PrintTo(const PackRow& row, std::ostream* os) {
    *os << row.name;
}

class PackVectors : public ::testing::TestWithParam<PackRow> {};

TEST_P(PackVectors, SeptetsPackAndUnpack) {
    const auto& row = GetParam();
    const auto septets = ToSeptets(row.text);
    EXPECT_EQ(ToHex(septets), row.septets);
    EXPECT_EQ(SeptetLength(row.text), static_cast<int>(septets.size()));
    EXPECT_EQ(PackSeptets(row.text), row.packed);
    EXPECT_EQ(UnpackSeptets(row.packed, SeptetLength(row.text)), row.text);
}

INSTANTIATE_TEST_SUITE_P(Public, PackVectors, ::testing::ValuesIn(kPackRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Alphabet, SeptetLengthCountsExtensionCharactersTwice) {
    struct Row {
        std::u16string text;
        int septets;
    } rows[] = {
        {u"", 0},
        {u"hello", 5},
        {u"\u20AC", 2},           // euro sign: 1B 65
        {u"5\u20AC+5\u20AC", 7},  // two euro signs
        {u"a\nb", 4},             // a typed line feed goes as 1B 0A
        {u"a\rb", 3},             // carriage return is a plain septet
        {u"{}", 4},
        {u"   ", 3},  // space is 0x20, never the 1B 1B form
        {u"@\u00A3$\u00A5", 4},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(SeptetLength(r.text), r.septets) << std::string(r.text.begin(), r.text.end());
    }
}

TEST(Alphabet, ToSeptetsOrder) {
    EXPECT_EQ(ToHex(ToSeptets(u"\u20AC")), "1B65");
    EXPECT_EQ(ToHex(ToSeptets(u"\n")), "1B0A");
    EXPECT_EQ(ToHex(ToSeptets(u" ")), "20");
    EXPECT_EQ(ToHex(ToSeptets(u"@$_\u00A4\u00A1\u00E0")), "0002112440" "7F");
    // Without a septet: the low eight bits (such texts are sent as UCS2, see SplitText).
    EXPECT_EQ(ToHex(ToSeptets(u"\u00E1")), "E1");
}

TEST(Alphabet, WhichCharactersHaveASeptet) {
    const std::u16string gsm = u"Az09 @\u00A3$\u00A5\u00E8\u00E9\u00F9\u00EC\u00F2\u00C7\n\r"
                               u"\u00D8\u00F8\u00C5\u00E5\u0394_\u03A6\u00C6\u00E6\u00DF\u00C9"
                               u"!\"#\u00A4%&'()*+,-./:;<=>?\u00A1\u00C4\u00D6\u00D1\u00DC\u00A7"
                               u"\u00BF\u00E4\u00F6\u00F1\u00FC\u00E0^{}\\[~]|\u20AC";
    EXPECT_TRUE(IsGsm7Text(gsm));
    struct Row {
        const char* name;
        char16_t c;
    } outside[] = {
        {"a_acute", u'\u00E1'},  {"grave_accent", u'`'}, {"tab", u'\t'},
        {"escape", u'\x1B'},     {"delete", u'\x7F'},    {"nul", u'\0'},
        {"greek_alpha", u'\u03B1'}, {"high_surrogate", u'\xD83D'}, {"cyrillic", u'\u0416'},
    };
    for (const auto& r : outside) {
        EXPECT_FALSE(IsGsm7Char(r.c)) << r.name;
    }
}

TEST(Alphabet, UnpackEscapesAndLineFeeds) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> septets;
        std::u16string text;
    } rows[] = {
        {"escape_escape_is_space", {0x1B, 0x1B}, u" "},
        {"escape_unknown_follower", {0x1B, 0x41}, u" A"},
        {"escape_at_end", {0x41, 0x1B}, u"A "},
        {"escape_euro", {0x1B, 0x65}, u"\u20AC"},
        {"escape_line_feed", {0x41, 0x1B, 0x0A, 0x42}, u"A\nB"},
        {"bare_line_feed_gets_cr", {0x41, 0x0A, 0x42}, u"A\r\nB"},
        {"first_line_feed_gets_cr", {0x0A}, u"\r\n"},
        {"cr_lf_kept", {0x41, 0x0D, 0x0A}, u"A\r\n"},
        {"default_table", {0x00, 0x02, 0x11, 0x24, 0x40, 0x7F}, u"@$_\u00A4\u00A1\u00E0"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(SeptetsToText(r.septets), r.text) << r.name;
        EXPECT_EQ(UnpackSeptets(PackSeptetBytes(r.septets), static_cast<int>(r.septets.size())),
                  r.text)
            << r.name;
    }
}

TEST(Alphabet, UnpackStopsAtTheSeptetCount) {
    // P15 (qotto/smspdudecoder @a1d1ca99e9926c560598510fc88952f356852072): seven septets with
    // CR padding in the spare bits; the count says seven, so no trailing CR.
    EXPECT_EQ(UnpackSeptets("31D98C56B3DD1A", 7), u"1234567");
    EXPECT_EQ(UnpackSeptets("31D98C56B3DD1A", 8), u"1234567\r");
    // qotto/smspdudecoder: "*115*5#" + CR padding.
    EXPECT_EQ(UnpackSeptets("AA58ACA6AA8D1A", 7), u"*115*5#");
    // A count larger than the data gives what the data holds.
    EXPECT_EQ(UnpackSeptets("E8329BFD06", 200), u"hello");
    EXPECT_EQ(UnpackSeptets("E8329BFD06", 0), u"");
    EXPECT_EQ(UnpackSeptets("", 10), u"");
    // Odd length and non-hex characters: the odd digit is dropped, others count as 0.
    EXPECT_EQ(UnpackSeptets("E8329BFD06F", 5), u"hello");
    EXPECT_EQ(UnpackSeptets("e8329bfd06", 5), u"hello");
}

TEST(Alphabet, PackSeptetRangeSlicesTheSeptetString) {
    const std::u16string text = u"hellohello";
    EXPECT_EQ(PackSeptetRange(text, 0, 10), PackSeptets(text));
    EXPECT_EQ(PackSeptetRange(text, 5, 5), PackSeptets(u"hello"));
    EXPECT_EQ(PackSeptetRange(text, 1, 4), PackSeptets(u"ello"));
    // The range counts septets: the euro sign is two, so septets 1-2 of "a\u20AC" are 1B 65.
    EXPECT_EQ(PackSeptetRange(u"a\u20AC", 1, 2), PackSeptets(u"\u20AC"));
    EXPECT_EQ(PackSeptetRange(text, 8, 50), PackSeptets(u"lo"));
    EXPECT_EQ(PackSeptetRange(text, 50, 5), "");
    EXPECT_EQ(PackSeptetRange(text, -3, 2), PackSeptets(u"he"));
}

TEST(Alphabet, AllDefaultAlphabetSeptets) {
    // S-SUB-10 user data (rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d
    // unit/test-sms.c sms_charset_default): the 128 septets 00-7F in order.
    const char* ud =
        "8080604028180E888462C168381E90886442A9582E988C06C4E9783EA09068442A994EA8946AC56AB95EB098"
        "6C46ABD96EB89C6EC7EBF97EC0A070482C1A8FC8A472C96C3A9FD0A8744AAD5AAFD8AC76CBED7ABFE0B0784C"
        "2E9BCFE8B47ACD6EBBDFF0B87C4EAFDBEFF8BC7ECFEFFBFF";
    std::u16string expected =
        u"@\u00A3$\u00A5\u00E8\u00E9\u00F9\u00EC\u00F2\u00C7\r\n\u00D8\u00F8\r\u00C5\u00E5"
        u"\u0394_\u03A6\u0393\u039B\u03A9\u03A0\u03A8\u03A3\u0398\u039E"
        u" \u00C6\u00E6\u00DF\u00C9 !\"#\u00A4%&'()*+,-./0123456789:;<=>?"
        u"\u00A1ABCDEFGHIJKLMNOPQRSTUVWXYZ\u00C4\u00D6\u00D1\u00DC\u00A7"
        u"\u00BFabcdefghijklmnopqrstuvwxyz\u00E4\u00F6\u00F1\u00FC\u00E0";
    EXPECT_EQ(UnpackSeptets(ud, 128), expected);
}

TEST(Alphabet, Ucs2) {
    EXPECT_EQ(DecodeUcs2("00480069", 4), u"Hi");
    EXPECT_EQ(DecodeUcs2("00480069", 3), u"H");      // odd octet count: whole units only
    EXPECT_EQ(DecodeUcs2("004800", 4), u"H");        // data shorter than the count
    EXPECT_EQ(DecodeUcs2("D83DDE00", 4), u"\U0001F600");
    EXPECT_EQ(DecodeUcs2("00480069", -1), u"");
}

}  // namespace
}  // namespace qvl::sms

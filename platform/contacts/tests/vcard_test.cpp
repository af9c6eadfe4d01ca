#include "platform/contacts/vcard.h"

#include <gtest/gtest.h>

#include <set>

#include "base/text.h"

namespace qvl {
namespace {

using namespace std::string_literals;

struct CardRow {
    const char* name;
    std::string text;
    std::u16string fn, family, given;
    std::u16string number;  // the first number
    std::uint32_t kinds;    // its kinds
};

class VCardRead : public ::testing::TestWithParam<CardRow> {};

TEST_P(VCardRead, ReadsNamesAndFirstNumber) {
    const CardRow& row = GetParam();
    const auto cards = ParseVCards(row.text);
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].formattedName, row.fn);
    EXPECT_EQ(cards[0].familyName, row.family);
    EXPECT_EQ(cards[0].givenName, row.given);
    ASSERT_FALSE(cards[0].tels.empty());
    EXPECT_EQ(cards[0].tels[0].number, row.number);
    EXPECT_EQ(cards[0].tels[0].kinds, row.kinds);
}

INSTANTIATE_TEST_SUITE_P(
    AddressBooks, VCardRead,
    ::testing::Values(
        CardRow{"v21_quoted_printable_soft_breaks",
                "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BC=\r\nrgen;;;\r\n"
                "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\nller\r\n"
                "TEL;CELL;VOICE:+491701234567\r\nEND:VCARD\r\n",
                u"J\u00FCrgen M\u00FCller", u"M\u00FCller", u"J\u00FCrgen", u"+491701234567",
                kTelCell | kTelVoice},
        CardRow{
            "v21_latin1_charset",
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Ren=E9;Zo=E9\r\n"
            "TEL;HOME:0301234\r\nEND:VCARD\r\n",
            u"", u"Ren\u00E9", u"Zo\u00E9", u"0301234", kTelHome},
        CardRow{"v21_unlabelled_latin1_bytes",
                "BEGIN:VCARD\nVERSION:2.1\nN:M\xFCller;Hans\nTEL;WORK:089 1234\nEND:VCARD\n", u"",
                u"M\u00FCller", u"Hans", u"089 1234", kTelWork},
        CardRow{"v30_folded_and_escaped",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Smith\\, Anna\\; Jr\\\\\r\n"
                "N:Smith;Anna;;Dr.;\r\nTEL;TYPE=WORK,VOICE:+44 20 7946\r\n 0000\r\nEND:VCARD\r\n",
                u"Smith, Anna; Jr\\", u"Smith", u"Anna", u"+44 20 79460000", kTelWork | kTelVoice},
        CardRow{"v30_fold_with_tab_and_line_break_escape",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\\nBerta\r\n\t Maier\r\nN:Maier;Anna\r\n"
                "TEL;type=pref;type=home:555\r\nEND:VCARD\r\n",
                u"Anna Berta Maier", u"Maier", u"Anna", u"555", kTelHome | kTelPref},
        CardRow{"v40_tel_uri_quoted_types",
                "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo\r\nN:;Bo;;;\r\n"
                "TEL;VALUE=uri;TYPE=\"cell,voice\";PREF=1:tel:+1-555-0100;ext=12\r\nEND:VCARD\r\n",
                u"Bo", u"", u"Bo", u"+1-555-0100", kTelCell | kTelVoice | kTelPref},
        CardRow{"grouped_tel_with_label",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cy\r\nN:;Cy;;;\r\n"
                "item1.TEL;type=pref:+33 1 23\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\nEND:VCARD\r\n",
                u"Cy", u"", u"Cy", u"+33 1 23", kTelCell | kTelPref},
        CardRow{"control_characters_and_nul_dropped",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:E\x01v\0e\x7F\r\nN:;Eve;;;\r\n"
                "TEL:1\x1b"
                "23\r\nEND:VCARD\r\n"s,
                u"Eve", u"", u"Eve", u"123", 0},
        CardRow{"bare_cr_line_ends_and_lower_case_names",
                "begin:vcard\rversion:3.0\rfn:Al\rtel;type=home:9\rend:vcard\r", u"Al", u"", u"",
                u"9", kTelHome}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(VCardRead, InvalidUtf8WithUtf8CharsetBecomesReplacementCharacters) {
    const auto cards =
        ParseVCards("BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:A\xC3\x28Z\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].formattedName, u"A\uFFFD(Z");
}

TEST(VCardRead, SeveralCardsNestedAgentPhotoAndCutOffCard) {
    const std::string text =
        "\xEF\xBB\xBF"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:One;A\r\n"
        "AGENT:\r\nBEGIN:VCARD\r\nN:Agent;X\r\nTEL:999\r\nEND:VCARD\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\n  SkZJRgABAQ==\r\n\r\n"
        "TEL;HOME:111\r\nEND:VCARD\r\n"
        "garbage outside any card\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Two;B\r\nUID:u-2\r\nTEL;TYPE=FAX:222\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Three;C\r\nTEL:333";
    const auto cards = ParseVCards(text);
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].familyName, u"One");
    ASSERT_EQ(cards[0].tels.size(), 1u);  // the agent's number is not the card's
    EXPECT_EQ(cards[0].tels[0].number, u"111");
    EXPECT_EQ(cards[1].uid, u"u-2");
    EXPECT_EQ(cards[1].tels[0].kinds, kTelFax);
    EXPECT_EQ(cards[2].familyName, u"Three");
    ASSERT_EQ(cards[2].tels.size(), 1u);
    EXPECT_EQ(cards[2].tels[0].number, u"333");
}

TEST(VCardRead, BoundsOnCardsAndNumbers) {
    std::string many;
    for (std::size_t i = 0; i < kMaxCardsPerFile + 5; ++i) {
        many += "BEGIN:VCARD\nEND:VCARD\n";
    }
    EXPECT_EQ(ParseVCards(many).size(), kMaxCardsPerFile);
    std::string tels = "BEGIN:VCARD\n";
    for (std::size_t i = 0; i < kMaxTelsPerCard + 5; ++i) {
        tels += "TEL:1\n";
    }
    EXPECT_EQ(ParseVCards(tels + "END:VCARD\n")[0].tels.size(), kMaxTelsPerCard);
    // One long quoted-printable value of soft breaks is read in one pass.
    std::string soft = "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:";
    for (int i = 0; i < 100000; ++i) {
        soft += "a=\n";
    }
    EXPECT_EQ(ParseVCards(soft + "b\nEND:VCARD\n")[0].formattedName.size(), 100001u);
}

TEST(VCardWrite, CardOfThePhoneReadsBack) {
    VCard card;
    card.uid = u"0b4c-1";
    card.givenName = u"Anna; TEL:999\r\nX-EVIL:1";
    card.formattedName = card.givenName;
    card.tels.push_back({u"+49 30, 123\\", kTelHome});
    const std::string text = WriteVCard(card);
    EXPECT_EQ(text,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:0b4c-1\r\n"
              "FN:Anna\\; TEL:999 X-EVIL:1\r\nN:;Anna\\; TEL:999 X-EVIL:1;;;\r\n"
              "TEL;TYPE=HOME:+49 30\\, 123\\\\\r\nEND:VCARD\r\n");
    const auto back = ParseVCards(text);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].givenName, u"Anna; TEL:999 X-EVIL:1");
    EXPECT_EQ(back[0].tels.size(), 1u);
    EXPECT_EQ(back[0].tels[0].number, u"+49 30, 123\\");
}

TEST(VCardWrite, LongLinesFoldBetweenCharacters) {
    VCard card;
    card.uid = u"u";
    for (int i = 0; i < 60; ++i) {
        card.formattedName += u"\u00E9\u20AC";  // two and three octets in UTF-8
    }
    const std::string text = WriteVCard(card);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 75u);
        // No line starts inside a UTF-8 sequence (after its fold blank).
        const std::size_t first = text[start] == ' ' ? start + 1 : start;
        if (first < end) {
            EXPECT_NE(static_cast<unsigned char>(text[first]) & 0xC0, 0x80);
        }
        start = end + 2;
    }
    EXPECT_EQ(ParseVCards(text)[0].formattedName, card.formattedName);
}

TEST(VCardWrite, UidsAreRandomVersion4) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::u16string uid = NewContactUid();
        ASSERT_EQ(uid.size(), 36u);
        EXPECT_EQ(uid[14], u'4');
        for (const char16_t c : uid) {
            EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || c == u'-');
        }
        seen.insert(uid);
    }
    EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
}  // namespace qvl

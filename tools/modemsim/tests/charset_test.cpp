// The AT+CSCS conversions on their own: every set both ways, the characters a set lacks, the
// input a set refuses, and the size of a name in a SIM record.
#include <gtest/gtest.h>

#include "tools/modemsim/charset.h"

namespace qvl::sim {
namespace {

TEST(Charset, EncodesIntoEverySet) {
    struct Row {
        const char* name;
        const char* utf8;
        Charset set;
        std::string bytes;
    };
    const Row rows[] = {
        {"gsm umlauts", "J\u00f6rg M\u00fcller", Charset::Gsm,
         "J\x7Crg M\x7E"
         "ller"},
        {"gsm at sign is code 0", "a@b", Charset::Gsm, std::string("a\0b", 3)},
        {"gsm dollar and underscore", "$_", Charset::Gsm, "\x02\x11"},
        {"gsm greek capital", "\u03a9", Charset::Gsm, "\x15"},
        {"gsm extension table", "[\u20ac]{|}~^\\", Charset::Gsm,
         "\x1B\x3C\x1B\x65\x1B\x3E\x1B\x28\x1B\x40\x1B\x29\x1B\x3D\x1B\x14\x1B\x2F"},
        {"gsm lacks the backtick and polish l", "`\u0141", Charset::Gsm, "??"},
        {"ira", "Caf\u00e9 @", Charset::Ira, "Caf? @"},
        {"latin-1", "Caf\u00e9 \u20ac", Charset::Latin1, "Caf\xE9 ?"},
        {"ucs2", "J\u00f6 \u20ac", Charset::Ucs2, "004A00F6002020AC"},
        {"ucs2 outside the plane as a pair", "\U0001F600", Charset::Ucs2, "D83DDE00"},
        {"empty", "", Charset::Ucs2, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeText(row.utf8, row.set), row.bytes) << row.name;
    }
}

TEST(Charset, DecodesWhatEachSetHoldsAndRefusesTheRest) {
    struct Row {
        const char* name;
        std::string bytes;
        Charset set;
        std::optional<std::string> utf8;
    };
    const Row rows[] = {
        {"gsm umlauts", "J\x7Crg", Charset::Gsm, "J\u00f6rg"},
        {"gsm code 0", std::string("\0", 1), Charset::Gsm, "@"},
        {"gsm euro", "5\x1B\x65", Charset::Gsm, "5\u20ac"},
        {"gsm byte above 7 bits", "\xE9", Charset::Gsm, std::nullopt},
        {"gsm unknown escape", "\x1B\x41", Charset::Gsm, std::nullopt},
        {"gsm escape at the end", "a\x1B", Charset::Gsm, std::nullopt},
        {"ira", "Anna", Charset::Ira, "Anna"},
        {"ira 8-bit", "Ren\xE9", Charset::Ira, std::nullopt},
        {"latin-1 every byte", "Ren\xE9\xFF", Charset::Latin1, "Ren\u00e9\u00ff"},
        {"ucs2", "004C00F60077", Charset::Ucs2, "L\u00f6w"},
        {"ucs2 lower-case hex", "00e9", Charset::Ucs2, "\u00e9"},
        {"ucs2 pair", "D83DDE00", Charset::Ucs2, "\U0001F600"},
        {"ucs2 not whole units", "004", Charset::Ucs2, std::nullopt},
        {"ucs2 not hex", "00G1", Charset::Ucs2, std::nullopt},
        {"ucs2 lone high surrogate", "D83D0041", Charset::Ucs2, std::nullopt},
        {"ucs2 lone low surrogate", "DE00", Charset::Ucs2, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DecodeText(row.bytes, row.set), row.utf8) << row.name;
    }
}

TEST(Charset, NamesAndSimRecordSizes) {
    EXPECT_EQ(CharsetByName("ucs2"), Charset::Ucs2);
    EXPECT_EQ(CharsetByName("8859-1"), Charset::Latin1);
    EXPECT_EQ(CharsetByName("UTF-8"), std::nullopt);
    EXPECT_STREQ(CharsetName(Charset::Latin1), "8859-1");
    // One octet a default-alphabet character, two for an extension one, else 0x80 + UCS2.
    EXPECT_EQ(SimAlphaOctets("J\u00f6rg M\u00fcller"), 11u);
    EXPECT_EQ(SimAlphaOctets("5\u20ac"), 3u);
    EXPECT_EQ(SimAlphaOctets("\u0141ukasz"), 13u);
    EXPECT_EQ(SimAlphaOctets(""), 0u);
}

}  // namespace
}  // namespace qvl::sim

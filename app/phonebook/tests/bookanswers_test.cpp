// The phonebook answer readers on real answers beside malformed ones, and the name conversions
// of each character set.
#include "app/phonebook/bookanswers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "common/transport/transport.h"

namespace qvl {
namespace {

// Real modem bytes (CR LF) in the transport's escaped response form.
std::u16string Esc(std::string_view raw) {
    std::u16string text;
    AppendResponseText(text, reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    return text;
}

TEST(BookAnswersTest, CpbsCounts) {
    const struct {
        const char* name;
        const char* answer;
        bool parsed;
        int used;
        int total;
    } rows[] = {
        {"sim 12 of 250", "AT+CPBS?\r\r\n+CPBS: \"SM\",12,250\r\n\r\nOK\r\n", true, 12, 250},
        {"empty handset book", "\r\n+CPBS: \"ME\",0,500\r\n\r\nOK\r\n", true, 0, 500},
        {"blanks", "\r\n+CPBS: \"SM\" , 3 , 10\r\n\r\nOK\r\n", true, 3, 10},
        {"memory only", "\r\n+CPBS: \"SM\"\r\n\r\nOK\r\n", false, 0, 0},
        {"used only", "\r\n+CPBS: \"SM\",3\r\n\r\nOK\r\n", false, 0, 0},
        {"more used than total", "\r\n+CPBS: \"SM\",300,250\r\n\r\nOK\r\n", false, 0, 0},
        {"huge total", "\r\n+CPBS: \"SM\",1,99999999999\r\n\r\nOK\r\n", false, 0, 0},
        {"negative", "\r\n+CPBS: \"SM\",-1,250\r\n\r\nOK\r\n", false, 0, 0},
        {"cut off", "\r\n+CPBS: \"SM\",12,25", false, 0, 0},
        {"error", "\r\nERROR\r\n", false, 0, 0},
        {"counts on the next line", "\r\n+CPBS: \"SM\"\r\n12,250\r\n\r\nOK\r\n", false, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto counts = ParseCpbsCounts(Esc(row.answer));
        ASSERT_EQ(counts.has_value(), row.parsed);
        if (counts) {
            EXPECT_EQ(counts->used, row.used);
            EXPECT_EQ(counts->total, row.total);
        }
    }
}

TEST(BookAnswersTest, CpbrRange) {
    const struct {
        const char* name;
        const char* answer;
        bool parsed;
        int first;
        int last;
        int numberLength;
        int nameLength;
    } rows[] = {
        {"sim with lengths", "AT+CPBR=?\r\r\n+CPBR: (1-250),40,14\r\n\r\nOK\r\n", true, 1, 250, 40,
         14},
        {"range only", "\r\n+CPBR: (1-10)\r\n\r\nOK\r\n", true, 1, 10, -1, -1},
        {"no parentheses", "\r\n+CPBR: 1-100,20,16\r\n\r\nOK\r\n", true, 1, 100, 20, 16},
        {"from zero", "\r\n+CPBR: (0-99),20,18\r\n\r\nOK\r\n", true, 0, 99, 20, 18},
        {"one location", "\r\n+CPBR: (1),20,18\r\n\r\nOK\r\n", true, 1, 1, 20, 18},
        {"empty lengths", "\r\n+CPBR: (1-50),,\r\n\r\nOK\r\n", true, 1, 50, -1, -1},
        {"reversed", "\r\n+CPBR: (250-1),40,14\r\n\r\nOK\r\n", false, 0, 0, 0, 0},
        {"beyond any memory", "\r\n+CPBR: (1-99999999),40,14\r\n\r\nOK\r\n", false, 0, 0, 0, 0},
        {"letters", "\r\n+CPBR: (a-b),40,14\r\n\r\nOK\r\n", false, 0, 0, 0, 0},
        {"unclosed list", "\r\n+CPBR: (1-250,40,14\r\n\r\nOK\r\n", false, 0, 0, 0, 0},
        {"cut off", "\r\n+CPBR: (1-25", false, 0, 0, 0, 0},
        {"error", "\r\n+CME ERROR: 3\r\n", false, 0, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto range = ParseCpbrRange(Esc(row.answer));
        ASSERT_EQ(range.has_value(), row.parsed);
        if (range) {
            EXPECT_EQ(range->first, row.first);
            EXPECT_EQ(range->last, row.last);
            EXPECT_EQ(range->numberLength, row.numberLength);
            EXPECT_EQ(range->nameLength, row.nameLength);
        }
    }
}

TEST(BookAnswersTest, BookEntriesReadLineByLine) {
    const struct {
        const char* name;
        const char* answer;
        int lines;
        std::vector<PhonebookEntry> entries;
    } rows[] = {
        {"real line",
         "AT+CPBR=3\r\r\n+CPBR: 3,\"+123\",145,\"Anna\"\r\n\r\nOK\r\n",
         1,
         {{3, u"+123", 145, u"Anna"}}},
        {"two lines in one answer",
         "\r\n+CPBR: 1,\"0301234\",129,\"Bert\"\r\n+CPBR: 2,\"0307777\",129,\"Carla\"\r\nOK\r\n",
         2,
         {{1, u"0301234", 129, u"Bert"}, {2, u"0307777", 129, u"Carla"}}},
        {"empty name", "\r\n+CPBR: 4,\"112\",129,\"\"\r\nOK\r\n", 1, {{4, u"112", 129, u""}}},
        {"no name field", "\r\n+CPBR: 5,\"110\",129\r\nOK\r\n", 1, {{5, u"110", 129, u""}}},
        {"name holding a quote and a comma",
         "\r\n+CPBR: 6,\"0301\",129,\"Smith\", John\"\r\nOK\r\n",
         1,
         {{6, u"0301", 129, u"Smith\", John"}}},
        {"hidden flag after the name",
         "\r\n+CPBR: 7,\"0301\",129,\"Dora\",0\r\nOK\r\n",
         1,
         {{7, u"0301", 129, u"Dora"}}},
        {"empty type", "\r\n+CPBR: 8,\"0301\",,\"Emil\"\r\nOK\r\n", 1, {{8, u"0301", 0, u"Emil"}}},
        {"blank line between entries",
         "\r\n+CPBR: 1,\"1\",129,\"A\"\r\n\r\n+CPBR: 2,\"2\",129,\"B\"\r\n\r\nOK\r\n",
         2,
         {{1, u"1", 129, u"A"}, {2, u"2", 129, u"B"}}},
        {"unsolicited line between entries",
         "\r\n+CPBR: 1,\"1\",129,\"A\"\r\n+CMTI: \"SM\",3\r\n+CPBR: 2,\"2\",129,\"B\"\r\nOK\r\n",
         2,
         {{1, u"1", 129, u"A"}, {2, u"2", 129, u"B"}}},
        {"name like a result code",
         "\r\n+CPBR: 9,\"0301\",129,\"RING\"\r\nOK\r\n",
         1,
         {{9, u"0301", 129, u"RING"}}},
        {"cut by the read bound",
         "\r\n+CPBR: 1,\"1\",129,\"A\"\r\n+CPBR: 2,\"2\",129,\"Ber",
         2,
         {{1, u"1", 129, u"A"}}},
        {"cut after the closing quote", "\r\n+CPBR: 1,\"1\",129,\"A\"", 1, {}},
        {"cut in the index", "\r\n+CPBR: 1", 1, {}},
        {"unquoted number", "\r\n+CPBR: 1,0301,129,\"A\"\r\nOK\r\n", 1, {}},
        {"index not a number", "\r\n+CPBR: x,\"1\",129,\"A\"\r\nOK\r\n", 1, {}},
        {"type out of range", "\r\n+CPBR: 1,\"1\",999,\"A\"\r\nOK\r\n", 1, {}},
        {"name without closing quote", "\r\n+CPBR: 1,\"1\",129,\"A\r\nOK\r\n", 1, {}},
        {"prefix inside a name is no line",
         "\r\n+CPBR: 1,\"1\",129,\"x+CPBR: 2\"\r\nOK\r\n",
         1,
         {{1, u"1", 129, u"x+CPBR: 2"}}},
        {"no entry", "AT+CPBR=5\r\r\nOK\r\n", 0, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const BookLines lines = ParseBookEntries(Esc(row.answer));
        EXPECT_EQ(lines.lines, row.lines);
        EXPECT_EQ(lines.entries, row.entries);
    }
}

TEST(BookAnswersTest, CallLogEntries) {
    const struct {
        const char* name;
        const char* answer;
        int lines;
        std::vector<CallLogEntry> entries;
    } rows[] = {
        {"dialled call",
         "\r\n+CPBR: 1,\"+4930123\",145,\"Anna\"\r\nOK\r\n",
         1,
         {{u"1", u"Anna", u"+4930123", u"", 145}}},
        {"date after the name",
         "\r\n+CPBR: 2,\"0301\",129,\"Bert\",\"05/01/02,10:20:30\"\r\nOK\r\n",
         1,
         {{u"2", u"Bert", u"0301", u"", 129}}},
        {"no name", "\r\n+CPBR: 3,\"0302\",129\r\nOK\r\n", 1, {{u"3", u"", u"0302", u"", 129}}},
        {"unknown caller", "\r\n+CPBR: 4,\"\",128,\"\"\r\nOK\r\n", 1, {{u"4", u"", u"", u"", 128}}},
        {"cut", "\r\n+CPBR: 5,\"03", 1, {}},
        {"index not a number", "\r\n+CPBR: five,\"0301\",129,\"A\"\r\nOK\r\n", 1, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CallLogLines lines = ParseCallLogEntries(Esc(row.answer));
        EXPECT_EQ(lines.lines, row.lines);
        EXPECT_EQ(lines.entries, row.entries);
    }
}

TEST(BookAnswersTest, CharacterSetsAndTheChoice) {
    const auto offered = ParseCscsOffered(
        Esc("AT+CSCS=?\r\r\n+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")\r\n\r\nOK\r\n"));
    EXPECT_EQ(offered, (std::vector<std::u16string>{u"GSM", u"IRA", u"8859-1", u"UCS2"}));
    EXPECT_EQ(ParseCscsOffered(Esc("\r\n+CSCS: \"IRA\",\"UCS2\"\r\nOK\r\n")),
              (std::vector<std::u16string>{u"IRA", u"UCS2"}));
    EXPECT_TRUE(ParseCscsOffered(Esc("\r\nERROR\r\n")).empty());
    EXPECT_EQ(ParseCscsCurrent(Esc("AT+CSCS?\r\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n")), u"GSM");
    EXPECT_FALSE(ParseCscsCurrent(Esc("\r\n+CSCS: \r\nOK\r\n")));

    const struct {
        std::vector<std::u16string> offered;
        std::u16string current;
        NameCharset chosen;
    } rows[] = {
        {{u"GSM", u"IRA", u"8859-1", u"UCS2"}, u"GSM", NameCharset::Latin1},
        {{u"IRA", u"GSM", u"UCS2"}, u"IRA", NameCharset::Ucs2},
        {{u"GSM", u"IRA"}, u"GSM", NameCharset::Gsm},
        {{u"GSM", u"IRA"}, u"IRA", NameCharset::Ira},
        {{}, u"", NameCharset::AsIs},
        {{u"gsm", u"ucs2"}, u"gsm", NameCharset::Ucs2},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseNameCharset(row.offered, row.current), row.chosen);
    }
}

TEST(BookAnswersTest, NamesInEachCharacterSet) {
    const std::u16string joerg = u"J\u00f6rg M\u00fcller";
    const struct {
        NameCharset set;
        std::u16string name;
        std::optional<std::u16string> line;  // what goes between the quotes
    } rows[] = {
        {NameCharset::Latin1, joerg, joerg},
        {NameCharset::Latin1, u"Zo\u00eb \u00c7elik", u"Zo\u00eb \u00c7elik"},
        {NameCharset::Latin1, u"\u20ac Bank", std::nullopt},
        {NameCharset::Latin1, u"\u0141ukasz", std::nullopt},
        {NameCharset::Ucs2, joerg, u"004A00F6007200670020004D00FC006C006C00650072"},
        {NameCharset::Ucs2, u"\u0141ukasz", u"01410075006B00610073007A"},
        {NameCharset::Gsm, joerg, u"J|rg M~ller"},
        {NameCharset::Gsm, u"Ana-Mar\u00eda", std::nullopt},  // i acute is not in the alphabet
        {NameCharset::Gsm, u"Andr\u00e9", std::nullopt},      // e acute is code 0x05
        {NameCharset::Gsm, u"\u00d6zil", std::nullopt},       // O umlaut is 0x5C, a backslash
        {NameCharset::Ira, u"Anna", u"Anna"},
        {NameCharset::Ira, joerg, std::nullopt},
        {NameCharset::AsIs, joerg, joerg},
        {NameCharset::AsIs, u"\u0141ukasz", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        const auto line = EncodeName(row.name, row.set);
        EXPECT_EQ(line, row.line);
        if (line) {
            EXPECT_EQ(DecodeName(*line, row.set), row.name);
        }
    }
    // A handset that ignores UCS2 for a name it sends: the text is taken as it stands.
    EXPECT_EQ(DecodeName(u"Anna", NameCharset::Ucs2), u"Anna");
}

TEST(BookAnswersTest, NumbersOfHandsetsThatSendThemInUcs2) {
    const struct {
        std::u16string field;
        NameCharset set;
        std::u16string number;
        bool encoded;
    } rows[] = {
        {u"002B0034003900330030", NameCharset::Ucs2, u"+4930", true},
        {u"+4930123", NameCharset::Ucs2, u"+4930123", false},
        {u"03012345", NameCharset::Ucs2, u"03012345", false},  // "\u0301\u2345" is no number
        {u"0049", NameCharset::Ucs2, u"0049", false},          // "I" is no dial character
        {u"002B0034", NameCharset::Latin1, u"002B0034", false},
        {u"", NameCharset::Ucs2, u"", false},
    };
    for (const auto& row : rows) {
        bool encoded = true;
        EXPECT_EQ(DecodeNumber(row.field, row.set, encoded), row.number);
        EXPECT_EQ(encoded, row.encoded);
    }
    EXPECT_EQ(EncodeNumber(u"+49", NameCharset::Ucs2, true), u"002B00340039");
    EXPECT_EQ(EncodeNumber(u"+49", NameCharset::Ucs2, false), u"+49");
}

TEST(BookAnswersTest, NamesCutToTheBookLength) {
    const struct {
        std::u16string name;
        std::size_t limit;
        bool sim;
        std::u16string cut;
    } rows[] = {
        {u"Anna Smith Mobile", 15, false, u"Anna Smith Mobi"},
        {u"Anna", 15, false, u"Anna"},
        {u"J\u00f6rg M\u00fcller", 11, true, u"J\u00f6rg M\u00fcller"},  // the alphabet holds it
        {u"Euro\u20ac", 5, true, u"Euro"},       // the euro sign takes two octets
        {u"\u0141ukasz", 7, true, u"\u0141uk"},  // UCS2 form: 0x80 and two octets a character
        {u"ab\U0001F600", 3, false, u"ab"},      // the pair is not split
        {u"", 0, true, u""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CutName(row.name, row.limit, row.sim), row.cut) << WideToUtf8(row.name);
    }
    EXPECT_EQ(SimNameOctets(u"J\u00f6rg M\u00fcller"), 11u);
    EXPECT_EQ(SimNameOctets(u"\u0141ukasz"), 13u);
}

}  // namespace
}  // namespace qvl

#include "base/atcursor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvl {
namespace {

// Answers as the transport hands them over: CR and LF written as the escapes "\r" and "\n".
constexpr std::u16string_view kClcc =
    u"AT+CLCC\\r\\r\\n+CLCC: 1,0,0,0,0,\"+4930123456\",145\\r\\n"
    u"+CLCC: 2,1,5,0,0,\"\",129\\r\\n\\r\\nOK\\r\\n";

TEST(AtCursorTest, ReadsEachLineOfARepeatedPrefix) {
    AtCursor c(kClcc);
    std::vector<std::u16string> numbers;
    std::vector<std::int64_t> states;
    while (c.FindLine(u"+CLCC:")) {
        std::int64_t index = 0;
        std::int64_t dir = 0;
        std::int64_t state = 0;
        std::u16string number;
        ASSERT_TRUE(c.NextInt(index) && c.NextInt(dir) && c.NextInt(state) && c.Skip() &&
                    c.Skip() && c.NextString(number));
        numbers.push_back(number);
        states.push_back(state);
    }
    EXPECT_TRUE(c.Ok());
    EXPECT_EQ(numbers, (std::vector<std::u16string>{u"+4930123456", u""}));
    EXPECT_EQ(states, (std::vector<std::int64_t>{0, 5}));
    EXPECT_TRUE(c.FindFirstLine(u"OK"));
}

TEST(AtCursorTest, FieldsNeverRunIntoTheNextLine) {
    // A context without a PDP address: the third field is missing on its line.
    AtCursor c(u"\\r\\n+CGDCONT: 1,\"IP\"\\r\\n+CGDCONT: 2,\"IP\",\"web\",\"\",0,0\\r\\nOK\\r\\n");
    ASSERT_TRUE(c.FindLine(u"+CGDCONT:"));
    std::int64_t cid = 0;
    std::u16string type;
    std::u16string apn;
    EXPECT_TRUE(c.NextInt(cid));
    EXPECT_TRUE(c.NextString(type));
    EXPECT_FALSE(c.NextString(apn));
    EXPECT_EQ(apn, u"");
    EXPECT_FALSE(c.Ok());
    c.ClearError();
    ASSERT_TRUE(c.FindLine(u"+CGDCONT:"));
    EXPECT_TRUE(c.NextInt(cid) && c.NextString(type) && c.NextString(apn));
    EXPECT_EQ(cid, 2);
    EXPECT_EQ(apn, u"web");
}

TEST(AtCursorTest, AFailedStepDoesNotMove) {
    AtCursor c(u"+CPBR: 3,\"0301234\",129,\"Anna\"\\r\\n");
    ASSERT_TRUE(c.FindLine(u"+CPBR:"));
    std::int64_t index = 0;
    std::u16string text;
    EXPECT_FALSE(c.NextString(text));  // the field is a number
    EXPECT_TRUE(c.NextInt(index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(c.NextInt(index));  // the field is quoted text
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(c.NextString(text));
    EXPECT_EQ(text, u"0301234");
    EXPECT_FALSE(c.Ok());
}

struct StringCase {
    const char* name;
    std::u16string_view line;
    bool toLineEnd;
    bool ok;
    std::u16string_view value;
};

TEST(AtCursorTest, QuotedTextTable) {
    const std::vector<StringCase> cases = {
        {"plain", u"+X: \"abc\",1", false, true, u"abc"},
        {"empty", u"+X: \"\",1", false, true, u""},
        {"comma_inside", u"+X: \"a,b\",1", false, true, u"a,b"},
        {"quote_inside", u"+X: \"Jo\"s Bar\",1", false, true, u"Jo\"s Bar"},
        {"blank_before_comma", u"+X: \"abc\" ,1", false, true, u"abc"},
        {"no_closing_quote", u"+X: \"abc", false, false, u""},
        {"closing_quote_on_next_line", u"+X: \"abc\\r\\n\"", false, false, u""},
        {"unquoted", u"+X: abc", false, false, u""},
        {"to_line_end_keeps_quote_comma", u"+X: \"a\",b\"", true, true, u"a\",b"},
        {"to_line_end_single_quote", u"+X: \"", true, false, u""},
        {"nothing_left", u"+X: ", false, false, u""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        AtCursor c(t.line);
        ASSERT_TRUE(c.FindLine(u"+X:"));
        std::u16string value = u"stale";
        const bool ok = t.toLineEnd ? c.NextStringToLineEnd(value) : c.NextString(value);
        EXPECT_EQ(ok, t.ok);
        EXPECT_EQ(value, t.value);
        EXPECT_EQ(c.Ok(), t.ok);
    }
}

struct IntCase {
    const char* name;
    std::u16string_view line;
    bool ok;
    std::int64_t value;
};

TEST(AtCursorTest, IntegerTable) {
    const std::vector<IntCase> cases = {
        {"plain", u"+X: 17,99", true, 17},  {"blanks", u"+X:   17 ,99", true, 17},
        {"negative", u"+X: -3", true, -3},  {"empty_field", u"+X: ,5", false, 0},
        {"letters", u"+X: 1a,5", false, 0}, {"out_of_range", u"+X: 99999999999", false, 0},
        {"line_end", u"+X:", false, 0},     {"quoted", u"+X: \"5\"", false, 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        AtCursor c(t.line);
        ASSERT_TRUE(c.FindLine(u"+X:"));
        std::int64_t value = 42;
        EXPECT_EQ(c.NextInt(value), t.ok);
        EXPECT_EQ(value, t.value);
    }
}

TEST(AtCursorTest, ListsAndRangesOfATestAnswer) {
    // AT+COPS=? in the GSM 07.07 form with access technology, an entry with empty names, and
    // the trailing lists of modes and formats.
    AtCursor c(
        u"\\r\\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26299\",0),(1,\"\",\"\",\"26201\",2),,(0-4),"
        u"(0,2)\\r\\n\\r\\nOK\\r\\n");
    ASSERT_TRUE(c.FindLine(u"+COPS:"));
    std::vector<std::u16string> codes;
    std::vector<std::u16string> names;
    while (c.OpenList()) {
        std::int64_t stat = 0;
        std::u16string longName;
        std::u16string shortName;
        std::u16string code;
        if (!c.NextInt(stat)) {
            break;  // the list of modes
        }
        ASSERT_TRUE(c.NextString(longName) && c.NextString(shortName) && c.NextString(code));
        while (!c.CloseList() && c.Skip()) {
            c.ClearError();
        }
        codes.push_back(code);
        names.push_back(longName);
        if (c.NextIsEmpty()) {
            ASSERT_TRUE(c.Skip());
            break;
        }
    }
    EXPECT_EQ(codes, (std::vector<std::u16string>{u"26299", u"26201"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"QVL Mobile", u""}));
    c.ClearError();
    std::int64_t lo = -1;
    std::int64_t hi = -1;
    ASSERT_TRUE(c.OpenList());
    ASSERT_TRUE(c.NextRange(lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 4);
    EXPECT_TRUE(c.CloseList());
}

TEST(AtCursorTest, RangeOfAPhonebookTest) {
    AtCursor c(u"+CPBR: (1-250),40,16\\r\\nOK\\r\\n");
    ASSERT_TRUE(c.FindLine(u"+CPBR:"));
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    std::int64_t numberLength = 0;
    std::int64_t nameLength = 0;
    EXPECT_TRUE(c.OpenList() && c.NextRange(lo, hi) && c.CloseList() && c.NextInt(numberLength) &&
                c.NextInt(nameLength));
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 250);
    EXPECT_EQ(nameLength, 16);
    EXPECT_TRUE(c.AtLineEnd());
}

TEST(AtCursorTest, HexTextAndTheLineAfterAHeader) {
    AtCursor c(
        u"+CMGR: "
        u"0,,"
        u"24\\r\\n07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07\\r\\"
        u"n\\r\\nOK\\r\\n");
    ASSERT_TRUE(c.FindLine(u"+CMGR:"));
    std::int64_t stat = 0;
    std::int64_t length = 0;
    EXPECT_TRUE(c.NextInt(stat));
    EXPECT_TRUE(c.NextIsEmpty());
    EXPECT_TRUE(c.Skip());
    EXPECT_TRUE(c.NextInt(length));
    EXPECT_EQ(length, 24);
    ASSERT_TRUE(c.NextLine());
    std::u16string pdu;
    EXPECT_TRUE(c.NextHexString(pdu));
    EXPECT_EQ(pdu.substr(0, 6), u"079113");
    EXPECT_TRUE(c.NextLine());
    EXPECT_EQ(c.Line(), u"OK");
    EXPECT_FALSE(c.NextLine());
}

TEST(AtCursorTest, HexTextTable) {
    const std::vector<StringCase> cases = {
        {"bare", u"+X: 0A1b", false, true, u"0A1b"},
        {"quoted", u"+X: \"00FF\",1", false, true, u"00FF"},
        {"not_hex", u"+X: 0G", false, false, u""},
        {"empty", u"+X: ,", false, false, u""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        AtCursor c(t.line);
        ASSERT_TRUE(c.FindLine(u"+X:"));
        std::u16string value = u"stale";
        EXPECT_EQ(c.NextHexString(value), t.ok);
        EXPECT_EQ(value, t.value);
    }
}

TEST(AtCursorTest, PrefixMustStartTheLine) {
    // "+CMTI:" inside a phonebook name is not an unsolicited line.
    AtCursor c(u"+CPBR: 1,\"123\",129,\"x+CMTI: \"\\r\\nOK\\r\\n");
    EXPECT_FALSE(c.FindLine(u"+CMTI:"));
    EXPECT_TRUE(c.Ok());
    EXPECT_TRUE(c.FindLine(u"+CPBR:"));
}

TEST(AtCursorTest, StepsOutsideALineFail) {
    AtCursor c(u"");
    std::int64_t v = 0;
    std::u16string s;
    EXPECT_FALSE(c.FindLine(u""));
    EXPECT_FALSE(c.NextLine());
    EXPECT_FALSE(c.NextInt(v));
    EXPECT_FALSE(c.NextString(s));
    EXPECT_FALSE(c.Skip());
    EXPECT_TRUE(c.RestOfLine().empty());
    EXPECT_TRUE(c.AtLineEnd());
    EXPECT_FALSE(c.Ok());
}

TEST(AtCursorTest, LineTerminatedTellsACutLineFromAWholeOne) {
    const std::pair<std::u16string_view, bool> rows[] = {
        {u"\\r\\n+CLVL: 100\\r\\n\\r\\nOK\\r\\n", true},
        {u"+CLVL: 100\\r", true},
        {u"\\r\\n+CLVL: 1", false},
        {u"\\r\\n+CLVL: 1\\", false},  // cut inside the escape
    };
    for (const auto& [text, terminated] : rows) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(text)));
        AtCursor c(text);
        EXPECT_FALSE(c.LineTerminated());  // no line entered yet
        ASSERT_TRUE(c.FindLine(u"+CLVL:"));
        EXPECT_EQ(c.LineTerminated(), terminated);
    }
}

TEST(AtCursorTest, CutOffAnswersGiveFailureNotGarbage) {
    // Every prefix of a real answer: no step reads outside the text, and a field that is cut
    // never comes back as a value that the whole answer does not hold.
    const std::u16string full =
        u"\\r\\n+CPBR: 12,\"+4930123456\",145,\"Jörg Müller\"\\r\\n\\r\\nOK\\r\\n";
    for (std::size_t n = 0; n <= full.size(); ++n) {
        AtCursor c(std::u16string_view(full).substr(0, n));
        if (!c.FindLine(u"+CPBR:")) {
            continue;
        }
        std::int64_t index = 0;
        std::u16string number;
        std::int64_t type = 0;
        std::u16string name;
        if (c.NextInt(index) && c.NextString(number) && c.NextInt(type) &&
            c.NextStringToLineEnd(name)) {
            EXPECT_EQ(name, u"Jörg Müller");
        }
        if (!number.empty()) {
            EXPECT_EQ(number, u"+4930123456");
        }
    }
}

}  // namespace
}  // namespace qvl

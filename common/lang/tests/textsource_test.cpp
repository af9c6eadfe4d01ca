// The table reader that the build-time generator relies on: every malformed table must fail
// with its file and line rather than produce a wrong table.
#include <gtest/gtest.h>

#include "common/lang/textsource.h"

namespace qvl::textsrc {
namespace {

const char* kHead = "id\ten\tde\tfr\tes\tit\n";

TEST(TextSource, ParsesEscapesAndGaps) {
    Table t;
    std::vector<std::string> errors;
    std::string text = std::string("# comment\n") + kHead +
                       "5001\tA\\r\\nB\t\tC\\\\D\tE\\tF\tG\r\n\n5002\tx\t\t\t\t\n";
    ASSERT_TRUE(ParseTable(text, "t.tsv", t, errors)) << (errors.empty() ? "" : errors[0]);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].id, 5001);
    EXPECT_EQ(t.rows[0].text[kEn], "A\r\nB");
    EXPECT_EQ(t.rows[0].text[kDe], "");
    EXPECT_EQ(t.rows[0].text[kFr], "C\\D");
    EXPECT_EQ(t.rows[0].text[kEs], "E\tF");
    EXPECT_EQ(t.rows[0].text[kIt], "G");  // CR of a CRLF file is not part of the cell
    EXPECT_EQ(t.rows[0].line, 3);
}

TEST(TextSource, RejectsMalformedTables) {
    struct Row {
        const char* name;
        std::string text;
        const char* error;  // part of the expected message
    };
    const Row rows[] = {
        {"UnknownEscape", std::string(kHead) + "5001\ta\\x\t\t\t\t\n", ":2: bad escape"},
        {"TrailingBackslash", std::string(kHead) + "5001\ta\\\t\t\t\t\n", ":2: bad escape"},
        {"TooFewCells", std::string(kHead) + "5001\ta\tb\n", ":2: expected 6"},
        {"TooManyCells", std::string(kHead) + "5001\ta\t\t\t\t\t\n", ":2: expected 6"},
        {"BadId", std::string(kHead) + "50x1\ta\t\t\t\t\n", "bad id"},
        {"NegativeId", std::string(kHead) + "-5\ta\t\t\t\t\n", "bad id"},
        {"IdTooLarge", std::string(kHead) + "70000\ta\t\t\t\t\n", "bad id"},
        {"WrongHeader", "key\ten\tde\tfr\tes\tit\n", "header must start"},
        {"LanguagesOutOfOrder", "id\ten\tfr\tde\tes\tit\n", "header columns"},
        {"Empty", "# nothing\n", "no header"},
        {"InvalidUtf8", std::string(kHead) + "5001\t\xC3\x28\t\t\t\t\n", "UTF-8"},
        {"BadMenuPosition", "menu\titem\tcommand\ten\tde\tfr\tes\tit\n105\t1..2\t5\ta\t\t\t\t\n",
         "bad item position"},
        {"BadCommand", "menu\titem\tcommand\ten\tde\tfr\tes\tit\n105\t0\tx\ta\t\t\t\t\n",
         "bad command"},
        {"BadControlName", "dialog\tcontrol\ten\tde\tfr\tes\tit\n103\tok button\ta\t\t\t\t\n",
         "bad control name"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Table t;
        std::vector<std::string> errors;
        EXPECT_FALSE(ParseTable(r.text, "f.tsv", t, errors));
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors[0].find(r.error), std::string::npos) << errors[0];
        EXPECT_EQ(errors[0].rfind("f.tsv:", 0), 0u) << errors[0];
    }
}

TEST(TextSource, RejectsInconsistentTableSets) {
    const std::string menuHead = "menu\titem\tcommand\ten\tde\tfr\tes\tit\n";
    struct Row {
        const char* name;
        std::vector<std::string> files;
        const char* error;
    };
    const Row rows[] = {
        {"DuplicateAcrossFiles",
         {std::string(kHead) + "5001\ta\t\t\t\t\n", std::string(kHead) + "5001\tb\t\t\t\t\n"},
         "already given"},
        {"MissingEnglish", {std::string(kHead) + "5001\t\tb\t\t\t\n"}, "no English text"},
        {"TranslatedOutsideTheBlock",
         {std::string(kHead) + "65000\tNew\tNeu\t\t\t\n"},
         "only the en cell"},
        {"MenuIdNotEnglish", {menuHead + "205\t0\t1\ta\t\t\t\t\n"}, "must be an English id"},
        {"MenuGap", {menuHead + "105\t0\t1\ta\t\t\t\t\n105\t2\t2\tb\t\t\t\t\n"}, "gap before"},
        {"MenuOrphan",
         {menuHead + "105\t0\t1\ta\t\t\t\t\n105\t1.0\t2\tb\t\t\t\t\n"},
         "no parent popup"},
        {"CommandWithSubItems",
         {menuHead + "105\t0\t1\ta\t\t\t\t\n105\t0.0\t2\tb\t\t\t\t\n"},
         "cannot hold sub-items"},
        {"SeparatorWithText", {menuHead + "105\t0\t-\ta\t\t\t\t\n"}, "separator carries no text"},
        {"DuplicateMenuItem",
         {menuHead + "105\t0\t1\ta\t\t\t\t\n105\t0\t2\tb\t\t\t\t\n"},
         "already given"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<Table> tables;
        std::vector<std::string> errors;
        for (std::size_t i = 0; i < r.files.size(); ++i) {
            Table t;
            ASSERT_TRUE(ParseTable(r.files[i], "f" + std::to_string(i) + ".tsv", t, errors));
            tables.push_back(std::move(t));
        }
        EXPECT_FALSE(CheckTableSet(tables, errors));
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors[0].find(r.error), std::string::npos) << errors[0];
    }
}

}  // namespace
}  // namespace qvl::textsrc

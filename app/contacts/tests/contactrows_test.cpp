#include "app/contacts/contactrows.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace qvl {
namespace {

std::vector<ContactRecord> Records() {
    return {{u"Anna", u"Smith", u"111", u"222", u"333"},
            {u"Bob", u"", u"", u"", u""},
            {u"", u"Carl", u"", u"", u"+49 30"},
            {u"Dora", u"Xu", u"", u"0171 5", u""}};
}

TEST(ContactRows, OneRowPerNumberInTheOrderWorkMobileHome) {
    const auto records = Records();
    const auto rows = ContactRows(records);
    ASSERT_EQ(rows.size(), 5u);  // Bob has no number and no row
    EXPECT_EQ(rows[0].name, u"Anna Smith <Work>");
    EXPECT_EQ(rows[0].number, u"111");
    EXPECT_EQ(rows[1].name, u"Anna Smith <Mobile>");
    EXPECT_EQ(rows[2].name, u"Anna Smith <Home>");
    EXPECT_EQ(rows[2].number, u"333");
    EXPECT_EQ(rows[3].name, u"Carl <Home>");  // no blank for a missing name part
    EXPECT_EQ(rows[4].record, 3u);
}

// The search keeps whole rows: every number of a matching contact, with its suffix.
TEST(ContactRows, SearchFiltersTheFullRows) {
    const auto records = Records();
    const auto rows = ContactRows(records);
    struct Case {
        std::u16string search;
        std::vector<std::u16string> names;
    };
    const Case cases[] = {
        {u"",
         {u"Anna Smith <Work>", u"Anna Smith <Mobile>", u"Anna Smith <Home>", u"Carl <Home>",
          u"Dora Xu <Mobile>"}},
        {u"an", {u"Anna Smith <Work>", u"Anna Smith <Mobile>", u"Anna Smith <Home>"}},
        {u"SMI", {u"Anna Smith <Work>", u"Anna Smith <Mobile>", u"Anna Smith <Home>"}},
        {u"22", {u"Anna Smith <Mobile>"}},
        {u"+49", {u"Carl <Home>"}},
        {u"xu", {u"Dora Xu <Mobile>"}},
        {u"Smith <", {}},
        {u"zz", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> names;
        for (const ContactRow& row : FilterContactRows(rows, records, c.search)) {
            names.push_back(row.name);
        }
        EXPECT_EQ(names, c.names) << std::string(c.search.begin(), c.search.end());
    }
}

// Names in other scripts than Latin are searched without case too.
TEST(ContactRows, SearchIgnoresCaseInEveryScript) {
    const std::vector<ContactRecord> records = {{u"Анна", u"Ёлкина", u"", u"1", u""},
                                                {u"Jörg", u"Ωμέγα", u"", u"2", u""},
                                                {u"Åsa", u"", u"", u"3", u""}};
    const auto rows = ContactRows(records);
    const std::pair<std::u16string, std::size_t> cases[] = {{u"ан", 0}, {u"АН", 0}, {u"ёл", 0},
                                                            {u"JÖ", 1}, {u"ωμ", 1}, {u"åS", 2}};
    for (const auto& [search, record] : cases) {
        const auto shown = FilterContactRows(rows, records, search);
        ASSERT_EQ(shown.size(), 1u) << WideToUtf8(search);
        EXPECT_EQ(shown[0].record, record) << WideToUtf8(search);
    }
}

TEST(ContactRows, ExportNameLosesBracketsAndIsCut) {
    struct Case {
        std::u16string row;
        int length;
        std::u16string name;
    };
    const Case cases[] = {
        {u"Anna Smith <Mobile>", 15, u"Anna Smith Mobi"},
        {u"Anna <Home>", 15, u"Anna Home"},
        {u"Li\r\nNa\x01 <Work>", 20, u"Li Na Work"},
        {u"\U0001F600\U0001F600", 3, u"\U0001F600"},  // not half an emoji
        {u"Short", 0, u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContactExportName(c.row, c.length), c.name);
    }
}

TEST(ContactTexts, PlainTextAndVCardOfAPickedContact) {
    const TextSource text = [](int id) {
        return id == 5052 ? std::u16string(u"Nom") : std::u16string(u"Num\u00E9ro");
    };
    EXPECT_EQ(FormatContactText(u"Anna", u"123", text), u"Nom: Anna\r\nNum\u00E9ro: 123");
    EXPECT_EQ(FormatContactText(u"Anna\r\nNum\u00E9ro: 666", u"1\n2", text),
              u"Nom: Anna Num\u00E9ro: 666\r\nNum\u00E9ro: 1 2");
    EXPECT_EQ(FormatContactVCard(u"Anna", u"123"),
              u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:Anna;;;;;\r\nTEL;HOME:123\r\nEND:VCARD");
    // A SIM name cannot add a property to the card.
    EXPECT_EQ(FormatContactVCard(u"A;B,C\\\r\nTEL:666", u"1;2"),
              u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:A\\;B\\,C\\\\ TEL:666;;;;;\r\nTEL;HOME:1\\;2\r\n"
              u"END:VCARD");
}

// A small reader of RFC 4180 fields, as a spreadsheet reads a CSV file.
std::vector<std::vector<std::u16string>> ReadCsv(const std::u16string& text) {
    std::vector<std::vector<std::u16string>> rows(1);
    std::u16string field;
    bool quoted = false;
    bool started = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field.push_back(u'"');
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field.push_back(c);
            }
        } else if (c == u'"') {
            quoted = true;
            started = true;
        } else if (c == u',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == u'\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
            started = false;
        } else {
            field.push_back(c);
            started = true;
        }
    }
    if (started || !rows.back().empty()) {
        rows.back().push_back(field);
    } else {
        rows.pop_back();
    }
    return rows;
}

TEST(ContactCsv, EveryRowComesBackAsTwoFields) {
    EXPECT_EQ(CsvLine(u"Anna", u"123"), u"\"Anna\",\"123\"\n");  // as the export always wrote
    const std::vector<std::pair<std::u16string, std::u16string>> rows = {
        {u"Anna", u"123"},
        {u"The \"Boss\"", u"+49 30"},
        {u"Two\r\nLines", u"1\n2"},
        {u"Comma, Inc.", u"\"\""},
        {u"", u""},
        {u"Z\u00FCrich \u6771\u4EAC", u"0"},
    };
    std::u16string file;
    for (const auto& [name, number] : rows) {
        file += CsvLine(name, number);
    }
    const auto back = ReadCsv(file);
    ASSERT_EQ(back.size(), rows.size());
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"Anna", u"123"},
        {u"The \"Boss\"", u"+49 30"},
        {u"Two Lines", u"1 2"},
        {u"Comma, Inc.", u"\"\""},
        {u"", u""},
        {u"Z\u00FCrich \u6771\u4EAC", u"0"},
    };
    for (std::size_t i = 0; i < back.size(); ++i) {
        ASSERT_EQ(back[i].size(), 2u) << i;
        EXPECT_EQ(back[i][0], expected[i].first);
        EXPECT_EQ(back[i][1], expected[i].second);
    }
}

}  // namespace
}  // namespace qvl

#include "app/contacts/contactrows.h"

#include <unicode/uchar.h>

#include "base/text.h"

namespace qvl {

namespace {

// Case folded the Unicode way, so that "ан" finds "Анна" as "jö" finds "Jörg". Characters are
// folded one UTF-16 unit at a time: folds that change the length (ß to ss) are not made.
char16_t FoldUnit(char16_t c) {
    if (c < 0x80) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return c;
    }
    const UChar32 folded = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    return folded <= 0xFFFF ? static_cast<char16_t>(folded) : c;
}

bool BeginsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (FoldUnit(text[i]) != FoldUnit(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::u16string EscapeVCardValue(std::u16string_view text) {
    std::u16string out;
    for (const char16_t c : WithoutControls(text)) {
        if (c == u'\\' || c == u';' || c == u',') {
            out.push_back(u'\\');
        }
        out.push_back(c);
    }
    return out;
}

std::u16string CsvField(std::u16string_view text) {
    std::u16string out = u"\"";
    for (const char16_t c : WithoutControls(text)) {
        out.push_back(c);
        if (c == u'"') {
            out.push_back(u'"');
        }
    }
    out.push_back(u'"');
    return out;
}

}  // namespace

std::u16string WithoutControls(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\t') {
            if (!out.empty() && out.back() != u' ') {
                out.push_back(u' ');
            }
        } else if (c >= 0x20 && !(c >= 0x7F && c <= 0x9F)) {
            out.push_back(c);
        }
    }
    return out;
}

std::u16string ContactDisplayName(const ContactRecord& record) {
    if (record.firstName.empty() || record.lastName.empty()) {
        return record.firstName + record.lastName;
    }
    return record.firstName + u" " + record.lastName;
}

std::vector<ContactRow> ContactRows(std::span<const ContactRecord> records) {
    std::vector<ContactRow> rows;
    rows.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ContactRecord& r = records[i];
        const std::u16string name = ContactDisplayName(r);
        const struct {
            const std::u16string& number;
            NumberKind kind;
            const char16_t* suffix;
        } kinds[] = {{r.work, NumberKind::Work, u" <Work>"},
                     {r.mobile, NumberKind::Mobile, u" <Mobile>"},
                     {r.home, NumberKind::Home, u" <Home>"}};
        for (const auto& k : kinds) {
            if (!k.number.empty()) {
                rows.push_back({name + k.suffix, k.number, k.kind, i});
            }
        }
    }
    return rows;
}

std::vector<ContactRow> FilterContactRows(std::span<const ContactRow> rows,
                                          std::span<const ContactRecord> records,
                                          std::u16string_view search) {
    if (search.empty()) {
        return {rows.begin(), rows.end()};
    }
    std::vector<ContactRow> shown;
    for (const ContactRow& row : rows) {
        const bool lastName =
            row.record < records.size() && BeginsWithNoCase(records[row.record].lastName, search);
        if (BeginsWithNoCase(row.name, search) || BeginsWithNoCase(row.number, search) ||
            lastName) {
            shown.push_back(row);
        }
    }
    return shown;
}

std::optional<std::vector<ContactRow>> ContactSearch::Rows(std::u16string_view search,
                                                           bool reread) {
    auto records = m_book.Records(reread ? ContactBook::Reread::Always
                                         : ContactBook::Reread::IfListingChanged);
    if (!records) {
        m_records.reset();
        m_rows.clear();
        return std::nullopt;
    }
    if (records != m_records) {
        m_rows = ContactRows(*records);
        m_records = std::move(records);
    }
    return FilterContactRows(m_rows, *m_records, search);
}

std::u16string ContactExportName(std::u16string_view rowName, int nameLength) {
    std::u16string name;
    for (const char16_t c : WithoutControls(rowName)) {
        if (c != u'<' && c != u'>') {
            name.push_back(c);
        }
    }
    if (nameLength >= 0 && name.size() > static_cast<std::size_t>(nameLength)) {
        name.resize(static_cast<std::size_t>(nameLength));
        // A cut between the two halves of a surrogate pair would leave half a character.
        if (!name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) {
            name.pop_back();
        }
    }
    return name;
}

std::u16string FormatContactText(std::u16string_view name, std::u16string_view number,
                                 const TextSource& text) {
    return text(5052) + u": " + WithoutControls(name) + u"\r\n" + text(5053) + u": " +
           WithoutControls(number);
}

std::u16string FormatContactVCard(std::u16string_view name, std::u16string_view number) {
    return u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + EscapeVCardValue(name) + u";;;;;\r\nTEL;HOME:" +
           EscapeVCardValue(number) + u"\r\nEND:VCARD";
}

std::u16string CsvLine(std::u16string_view name, std::u16string_view number) {
    return CsvField(name) + u"," + CsvField(number) + u"\n";
}

}  // namespace qvl

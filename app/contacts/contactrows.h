// What the Address Book, the message editors and the exports make of contacts: one row per
// number, the search, the texts of a picked contact, the name a row takes into a modem book,
// and the lines of a CSV export.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/contacts/contactbook.h"

namespace qvl {

enum class NumberKind { Work, Mobile, Home };

// One row of the Contacts source: "<first> <last> <Work>" (or <Mobile>, <Home>) and the number.
struct ContactRow {
    std::u16string name;
    std::u16string number;
    NumberKind kind = NumberKind::Home;
    std::size_t record = 0;  // the record it came from
};

// The contact's name as the lists show it: the two name parts joined by one blank (no blank
// when either part is empty).
std::u16string ContactDisplayName(const ContactRecord& record);

// A row for each number of each record, in the order work, mobile, home; a record without
// numbers gives none.
std::vector<ContactRow> ContactRows(std::span<const ContactRecord> records);

// The rows whose name (or the record's last name part) or number begins with the search text,
// compared without case; an empty search keeps every row.
std::vector<ContactRow> FilterContactRows(std::span<const ContactRow> rows,
                                          std::span<const ContactRecord> records,
                                          std::u16string_view search);

// The Contacts source as the Address Book shows and searches it: the rows of the contacts,
// kept with the records they were built from, and filtered for each search text.
class ContactSearch {
  public:
    explicit ContactSearch(ContactBook& book) : m_book(book) {}

    // The rows matching search (every row for an empty one); nothing when the folder cannot
    // be read. reread: every file of the folder is looked at again (showing or refreshing the
    // source); otherwise (a keystroke) the folder is read again only when its listing changed,
    // and the rows kept are filtered.
    std::optional<std::vector<ContactRow>> Rows(std::u16string_view search, bool reread);
    // The records of the rows last handed out (null before the first Rows or after a failed
    // read).
    const std::vector<ContactRecord>* Records() const { return m_records.get(); }

  private:
    ContactBook& m_book;
    std::shared_ptr<const std::vector<ContactRecord>> m_records;
    std::vector<ContactRow> m_rows;
};

// The name a contact row takes into the SIM or handset book: "<" and ">" removed (so
// " <Mobile>" becomes " Mobile"), control characters dropped, cut to nameLength characters.
std::u16string ContactExportName(std::u16string_view rowName, int nameLength);

using TextSource = std::function<std::u16string(int)>;

// A picked contact for a message, as plain text: "Name: <name>\r\nNumber: <number>" with the
// current language's labels (texts 5052 and 5053).
std::u16string FormatContactText(std::u16string_view name, std::u16string_view number,
                                 const TextSource& text);
// As a vCard 2.1 for a message: BEGIN, VERSION, N, TEL;HOME, END with CR LF between the lines
// and none after the last. Control characters and line breaks of the name and the number are
// dropped; "\", ";" and "," are escaped, so a name cannot add a property to the card.
std::u16string FormatContactVCard(std::u16string_view name, std::u16string_view number);

// One line of a CSV export: "<name>","<number>" and a line feed. Quotes inside are doubled and
// line breaks and other control characters dropped, so a CSV reader gets each row back as two
// fields.
std::u16string CsvLine(std::u16string_view name, std::u16string_view number);

// Text without control characters: CR, LF and tab become a blank, the others are dropped.
std::u16string WithoutControls(std::u16string_view text);

}  // namespace qvl

// The device's contacts as a source of the Address Book: one row per number, the search over
// the kept rows, "Import to Contacts" of a SIM or handset row, and "Export to SIM Book" /
// "Export to Phone Book" of a contact row.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "app/contacts/contactrows.h"
#include "app/phonebook/ui/addressbookdlg.h"

namespace qvl::contactsui {

// Messages of the contacts' commands (main-contacts.tsv).
inline constexpr int kMsgContactNotSaved = 5480;
inline constexpr int kMsgContactsNotRead = 5481;

// The progress text of "Import to Contacts" (the same in every language).
inline constexpr char16_t kImportingToContacts[] = u"Importing to contacts..";

class ContactsSource : public phonebookui::IContactsSource {
  public:
    // phonebook: the modem books the exports write to (null: they are not ready); messages:
    // null for message boxes over the Address Book.
    ContactsSource(ContactBook& book, CPhonebook* phonebook, IMessageBoxPort* messages);

    std::optional<std::vector<phonebookui::AddressRow>> Rows(const QString& search,
                                                             bool reread) override;
    void RunCommand(int command, const phonebookui::AddressRow& row, QWidget* parent) override;
    void Import(const phonebookui::AddressRow& row, QWidget* parent) override;

    // The export of a contact row into the SIM book (sim) or the handset book.
    void Export(bool sim, const phonebookui::AddressRow& row, QWidget* parent);

  private:
    void Tell(QWidget* parent, int messageId, MsgIcon icon, const QString& detail = {});

    ContactBook& m_book;
    ContactSearch m_search;
    CPhonebook* m_phonebook;
    IMessageBoxPort* m_messages;
    std::string m_toldProblem;  // why the folder could not be read, as told last
};

}  // namespace qvl::contactsui

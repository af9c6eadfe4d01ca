#include "app/contacts/ui/contactssource.h"

#include "app/phonebook/phonebook.h"
#include "app/phonebook/ui/phonebookui.h"
#include "base/checks.h"
#include "common/controls/qtuiports.h"
#include "common/controls/rkfloatctrl.h"
#include "common/lang/lang.h"

namespace qvl::contactsui {

using phonebookui::AddressRow;

ContactsSource::ContactsSource(ContactBook& book, CPhonebook* phonebook, IMessageBoxPort* messages)
    : m_book(book), m_search(book), m_phonebook(phonebook), m_messages(messages) {}

void ContactsSource::Tell(QWidget* parent, int messageId, MsgIcon icon, const QString& detail) {
    std::u16string text = LoadLocalString(messageId);
    if (!detail.isEmpty()) {
        text += u"\r\n" + detail.toStdU16String();
    }
    const std::u16string caption = LoadLocalString(phonebookui::kMsgAddressBook);
    if (m_messages != nullptr) {
        m_messages->ShowMessage(text, caption, MsgButtons::Ok, icon);
    } else {
        QtMessageBoxPort(parent).ShowMessage(text, caption, MsgButtons::Ok, icon);
    }
}

std::optional<std::vector<AddressRow>> ContactsSource::Rows(const QString& search, bool reread) {
    const auto rows = m_search.Rows(search.toStdU16String(), reread);
    if (!rows) {
        // Said when the source is shown, not at every keystroke, and once for one problem
        // until the folder was read again.
        if (reread && m_book.Problem() != m_toldProblem) {
            m_toldProblem = m_book.Problem();
            Tell(nullptr, kMsgContactsNotRead, MsgIcon::Warning,
                 QString::fromStdString(m_toldProblem));
        }
        return std::nullopt;
    }
    m_toldProblem.clear();
    std::vector<AddressRow> out;
    out.reserve(rows->size());
    for (const ContactRow& row : *rows) {
        out.push_back(
            {QString::fromStdU16String(row.name), QString::fromStdU16String(row.number), -1});
    }
    return out;
}

void ContactsSource::RunCommand(int command, const AddressRow& row, QWidget* parent) {
    if (command == phonebookui::kCmdExportToSimBook ||
        command == phonebookui::kCmdExportToPhoneBook) {
        Export(command == phonebookui::kCmdExportToSimBook, row, parent);
    }
}

void ContactsSource::Import(const AddressRow& row, QWidget* parent) {
    if (row.name.isEmpty() && row.number.isEmpty()) {
        Tell(parent, phonebookui::kMsgNoSelection, MsgIcon::Information);
        return;
    }
    RKFloatCtrl progress(parent);
    progress.Create(0, 100, -1, false);
    progress.SetText(kImportingToContacts, -1);
    const bool saved = m_book.AddContact(row.name.toStdU16String(), row.number.toStdU16String());
    progress.Close();
    if (!saved) {
        Tell(parent, kMsgContactNotSaved, MsgIcon::Error, QString::fromStdString(m_book.Problem()));
    }
}

void ContactsSource::Export(bool sim, const AddressRow& row, QWidget* parent) {
    using namespace phonebookui;
    const PhonebookMemory memory = sim ? PhonebookMemory::Sim : PhonebookMemory::Handset;
    // Nothing chosen is told before the modem is asked anything.
    if (row.name.isEmpty() && row.number.isEmpty()) {
        Tell(parent, kMsgNoSelection, MsgIcon::Information);
        return;
    }
    int free = -1;
    if (m_phonebook != nullptr) {
        RKFloatCtrl steps(parent, FloatPlacement::Upper);
        RKFloatCtrl bar(parent, FloatPlacement::Lower);
        free = m_phonebook->GetFreeCount(memory, BookProgress{&steps, &bar});
    }
    if (free < 0) {
        Tell(parent, sim ? kMsgSimNotReady : kMsgPhoneNotReady, MsgIcon::Warning);
        return;
    }
    const std::vector<int> locations = m_phonebook->GetFreeLocations(memory);
    if (free == 0 || locations.empty()) {
        Tell(parent, sim ? kMsgSimFull : kMsgPhoneFull, MsgIcon::Information);
        return;
    }
    // The number as address books write it loses its separators; what is left must be a
    // number the book can dial.
    const std::u16string number = WithoutNumberSeparators(row.number.toStdU16String());
    if (!IsDialableNumber(number)) {
        Tell(parent, kMsgNumberRefused, MsgIcon::Warning);
        return;
    }
    const PhonebookEntry entry{
        locations.front(), number, 0,
        ContactExportName(row.name.toStdU16String(), m_phonebook->NameLength(memory))};
    RKFloatCtrl progress(parent);
    progress.Create(0, 100, -1, false);
    progress.SetText(LoadLocalString(kMsgInserting), -1);
    const BookWrite outcome = m_phonebook->AddEntry(memory, entry);
    progress.Close();
    switch (outcome) {
        case BookWrite::Written:
            return;
        case BookWrite::NotSelected:
        case BookWrite::NotFree:
            Tell(parent, sim ? kMsgSimNotReady : kMsgPhoneNotReady, MsgIcon::Warning);
            return;
        case BookWrite::Refused:
            Tell(parent, kMsgNameNotStorable, MsgIcon::Warning);
            return;
        case BookWrite::Failed:
            Tell(parent, kMsgFailed, MsgIcon::Error);
            return;
    }
}

}  // namespace qvl::contactsui

// The device's contacts as the phone uses them: records of two name parts and three numbers,
// read from the Contacts folder (a vCard directory) and added to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/contactsfolder.h"

namespace qvl {

// One contact: copies of the two name parts the lists show (joined by one blank) and of the
// work, mobile and home numbers.
struct ContactRecord {
    std::u16string firstName;
    std::u16string lastName;
    std::u16string work;
    std::u16string mobile;
    std::u16string home;
};

// The Contacts folder: the path named by the registry value "Folder" under
// "SOFTWARE\Quorvel\Dialer\Settings\Contacts" (a synchronised address book used as it is),
// else "<device root>/Contacts", created when missing.
std::string ContactsFolderPath();

class ContactBook {
  public:
    explicit ContactBook(std::string folder = ContactsFolderPath());

    // The number of contacts, or -1 when the folder cannot be read.
    int GetContactCount();
    // Fills at most out.size() records in the folder's order and returns how many were
    // filled: a folder that grew since the count never writes past the room given.
    std::size_t ReadContacts(std::span<ContactRecord> out);
    // Every contact in one log-on; empty when the folder cannot be read.
    std::vector<ContactRecord> ReadAll();
    // How much of the folder Records looks at again.
    enum class Reread {
        Always,            // every file (a file rewritten in place is seen)
        IfListingChanged,  // only the folder, unless a card was added, removed or replaced
    };
    // The same, shared: the folder is looked at afresh, and when nothing in it changed since
    // the last call the records of that call are handed out again (null when the folder
    // cannot be read).
    std::shared_ptr<const std::vector<ContactRecord>> Records(Reread reread = Reread::Always);
    // A new contact whose first name part is name and whose home number is number, saved.
    bool AddContact(std::u16string_view name, std::u16string_view number);

    const std::string& Problem() const { return m_folder.Problem(); }
    ContactsFolder& Folder() { return m_folder; }

  private:
    ContactsFolder m_folder;
    std::shared_ptr<const std::vector<ContactRecord>> m_records;
    std::uint64_t m_recordsLogon = 0;  // the log-on m_records was built from or checked by
};

}  // namespace qvl

// The device's Contacts: a vCard directory (one ".vcf" file per contact, the layout khard and
// vdirsyncer keep), reached the way the phone reaches its contacts database: log on, take the
// folder's items, count them, get item n, add an item, read and set its properties, save it,
// log off.
//
// The folder may be a synchronised address book that other programs write at any time, or a
// hostile one. Listing it never follows a link, never blocks and never reads a large file:
// only regular files whose names end in ".vcf" and that are smaller than kMaxCardFileSize are
// opened (O_NOFOLLOW | O_NONBLOCK, checked again with fstat once open). What was read is kept
// per file and read again only when the file changed, so listing an unchanged folder of
// thousands of contacts costs one fstatat per file.
//
// Cards read from the folder are never rewritten: the phone only adds new cards, each in a file
// named by its UID, written atomically with mode 0600.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/vcard.h"

namespace qvl {

// The properties of a contact that the phone reads and writes.
enum class ContactProperty {
    FirstName,                // given name (or the formatted name of a card without parts)
    LastName,                 // family name
    BusinessTelephoneNumber,  // first number of kind WORK
    MobileTelephoneNumber,    // first number of kind CELL
    HomeTelephoneNumber,      // first number of kind HOME
};
inline constexpr std::size_t kContactPropertyCount = 5;

inline constexpr std::size_t kMaxCardFileSize = 1024 * 1024;
// Names looked at in one listing at most; the rest of a larger folder is left out.
inline constexpr std::size_t kMaxFolderEntries = 100000;

class ContactItem {
  public:
    const std::u16string& Get(ContactProperty property) const {
        return m_properties[static_cast<std::size_t>(property)];
    }
    void Set(ContactProperty property, std::u16string_view value) {
        m_properties[static_cast<std::size_t>(property)] = std::u16string(value);
    }
    // The file the item was read from or saved to; empty for a new item not yet saved.
    const std::string& FileName() const { return m_file; }

    // The phone's view of a card: the name parts, and the numbers sorted into work, mobile
    // and home (a number of no such kind fills the first of them that is still empty, in the
    // order mobile, home, work; fax numbers are left out).
    static ContactItem FromCard(const VCard& card, std::string file);

  private:
    friend class ContactsFolder;
    std::array<std::u16string, kContactPropertyCount> m_properties;
    std::string m_file;
};

// What the last log-on met in the folder.
struct FolderListing {
    std::size_t names = 0;    // ".vcf" names seen
    std::size_t skipped = 0;  // not regular files, too large, or not openable
    std::size_t read = 0;     // files read and parsed (the others came from what was kept)
    bool changed = true;      // the items differ from those of the log-on before
};

class ContactsFolder {
  public:
    // path: the folder (a link to a folder is followed; links inside it are not).
    explicit ContactsFolder(std::string path);

    const std::string& Path() const { return m_path; }

    // Takes a fresh look at the folder: the items seen until Logoff (or the next Logon) are
    // the cards of its files in file-name order, each file's cards in their order. False
    // when the folder cannot be opened (Problem tells why); there are then no items.
    bool Logon();
    void Logoff();
    bool LoggedOn() const { return m_loggedOn; }
    // Log-ons so far: what was built from one listing belongs to its number.
    std::uint64_t Logons() const { return m_logons; }

    // The number of items, or -1 when not logged on.
    int Count() const;
    // Item n, counted from 1; null outside 1..Count().
    const ContactItem* Item(int n) const;
    // A new, unsaved item.
    ContactItem Add() const { return ContactItem(); }
    // Writes a new item as a vCard 3.0 file named by a new UID and adds it to the items of
    // this log-on. False when not logged on, when the item was read from the folder (cards
    // of other programs are not rewritten) or when the file could not be written.
    bool Save(ContactItem& item);

    const std::string& Problem() const { return m_problem; }
    const FolderListing& Listing() const { return m_listing; }

    // Whether the folder's own listing may differ from the one the last log-on read: a card
    // file added, removed or renamed (synchronising programs and the phone itself write a card
    // as a temporary file renamed into place) changes the folder's modification time. One
    // stat of the folder, no look at its files: a file rewritten in place is only seen by the
    // next log-on. True before the first log-on, when the folder cannot be looked at, and when
    // the folder had changed so shortly before that log-on that a change in the same clock
    // tick of the file system would leave its time as it was.
    bool ListingChanged() const;

  private:
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct KnownFile {
        FileStamp stamp;
        std::shared_ptr<const std::vector<ContactItem>> items;
        std::uint64_t seen = 0;  // the log-on that last found the file
    };

    // The folder itself at the last log-on; trusted: old enough to tell a later change.
    struct FolderStamp {
        dev_t device = 0;
        ino_t inode = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        bool trusted = false;
        bool operator==(const FolderStamp&) const = default;
    };

    std::string m_path;
    FolderStamp m_folderStamp;
    bool m_loggedOn = false;
    std::map<std::string, KnownFile> m_known;
    std::uint64_t m_logons = 0;
    std::vector<std::shared_ptr<const std::vector<ContactItem>>> m_files;
    std::vector<const ContactItem*> m_items;
    std::vector<std::unique_ptr<ContactItem>> m_saved;  // saved in this log-on
    std::string m_problem;
    FolderListing m_listing;
};

}  // namespace qvl

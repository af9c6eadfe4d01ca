#include "platform/contacts/contactsfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/text.h"
#include "platform/atomicfile.h"

namespace qvl {

namespace {

bool HasCardSuffix(std::string_view name) {
    if (name.size() <= 4 || name[0] == '.') {
        return false;  // hidden files are other programs' temporaries
    }
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'v' && (ext[2] | 0x20) == 'c' &&
           (ext[3] | 0x20) == 'f';
}

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// File systems keep times in ticks as coarse as two seconds (FAT); a folder whose time is
// closer than that to the listing may change again without its time moving.
constexpr std::int64_t kFolderTimeTickNs = 2'000'000'000;

class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace

ContactItem ContactItem::FromCard(const VCard& card, std::string file) {
    ContactItem item;
    item.m_file = std::move(file);
    std::u16string first = card.givenName;
    std::u16string last = card.familyName;
    if (first.empty() && last.empty()) {
        first = !card.formattedName.empty() ? card.formattedName : card.organization;
    }
    item.Set(ContactProperty::FirstName, first);
    item.Set(ContactProperty::LastName, last);
    std::u16string work, mobile, home;
    std::vector<const VCardTel*> others;
    for (const VCardTel& tel : card.tels) {
        if ((tel.kinds & kTelFax) != 0) {
            continue;
        }
        std::u16string* slot = nullptr;
        if ((tel.kinds & kTelCell) != 0) {
            slot = &mobile;
        } else if ((tel.kinds & kTelWork) != 0) {
            slot = &work;
        } else if ((tel.kinds & kTelHome) != 0) {
            slot = &home;
        }
        if (slot != nullptr && slot->empty()) {
            *slot = tel.number;
        } else if (slot == nullptr) {
            others.push_back(&tel);
        }
    }
    for (const VCardTel* tel : others) {
        for (std::u16string* slot : {&mobile, &home, &work}) {
            if (slot->empty()) {
                *slot = tel->number;
                break;
            }
        }
    }
    item.Set(ContactProperty::BusinessTelephoneNumber, work);
    item.Set(ContactProperty::MobileTelephoneNumber, mobile);
    item.Set(ContactProperty::HomeTelephoneNumber, home);
    return item;
}

ContactsFolder::ContactsFolder(std::string path) : m_path(std::move(path)) {}

bool ContactsFolder::Logon() {
    Logoff();
    m_listing = FolderListing();
    m_problem.clear();
    m_folderStamp = FolderStamp();
    Descriptor dir(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (dir.Get() < 0) {
        m_problem = m_path + ": " + std::strerror(errno);
        return false;
    }
    // The folder's stamp is taken before its names are read, so a change during the listing
    // shows as a changed stamp later.
    struct timespec now {};
    struct stat folder {};
    if (::clock_gettime(CLOCK_REALTIME, &now) == 0 && ::fstat(dir.Get(), &folder) == 0) {
        m_folderStamp = {folder.st_dev, folder.st_ino, Nanoseconds(folder.st_mtim),
                         Nanoseconds(folder.st_ctim), false};
        m_folderStamp.trusted = Nanoseconds(folder.st_mtim) < Nanoseconds(now) - kFolderTimeTickNs;
    }
    // fdopendir takes over a descriptor of its own, so the listing's fd stays ours to close.
    DIR* stream = ::fdopendir(::dup(dir.Get()));
    if (stream == nullptr) {
        m_problem = m_path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(stream)) {
        if (names.size() >= kMaxFolderEntries) {
            break;
        }
        // Entries the listing already names as something else than a file are not looked at.
        switch (entry->d_type) {
            case DT_REG:
            case DT_UNKNOWN:
                break;
            default:
                if (HasCardSuffix(entry->d_name)) {
                    ++m_listing.names;
                    ++m_listing.skipped;
                }
                continue;
        }
        if (HasCardSuffix(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    m_listing.names += names.size();

    const std::uint64_t logon = ++m_logons;
    const std::size_t knownBefore = m_known.size();
    std::size_t reused = 0;
    for (std::string& name : names) {
        struct stat st {};
        if (::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) >= kMaxCardFileSize) {
            ++m_listing.skipped;
            continue;
        }
        FileStamp stamp{st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim),
                        Nanoseconds(st.st_ctim)};
        auto it = m_known.find(name);
        if (it != m_known.end() && it->second.stamp == stamp) {
            it->second.seen = logon;
            m_files.push_back(it->second.items);
            ++reused;
            continue;
        }
        // Opened without following a link that replaced the file since the fstatat, and
        // without waiting on a FIFO; checked again on the descriptor.
        Descriptor fd(::openat(dir.Get(), name.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<std::size_t>(st.st_size) >= kMaxCardFileSize) {
            ++m_listing.skipped;
            continue;
        }
        std::string bytes;
        if (!ReadFileBytes(fd.Get(), static_cast<std::size_t>(st.st_size), bytes)) {
            ++m_listing.skipped;
            continue;
        }
        stamp = {st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim),
                 Nanoseconds(st.st_ctim)};
        auto items = std::make_shared<std::vector<ContactItem>>();
        const std::string path = m_path + "/" + name;
        for (const VCard& card : ParseVCards(bytes)) {
            items->push_back(ContactItem::FromCard(card, path));
        }
        ++m_listing.read;
        m_files.push_back(items);
        if (it != m_known.end()) {
            it->second = KnownFile{stamp, std::move(items), logon};
        } else {
            m_known.emplace(std::move(name), KnownFile{stamp, std::move(items), logon});
        }
    }
    // Files gone since the last log-on are forgotten.
    std::erase_if(m_known, [logon](const auto& entry) { return entry.second.seen != logon; });
    m_listing.changed = m_listing.read > 0 || reused != knownBefore || logon == 1;
    for (const auto& file : m_files) {
        for (const ContactItem& item : *file) {
            m_items.push_back(&item);
        }
    }
    m_loggedOn = true;
    return true;
}

bool ContactsFolder::ListingChanged() const {
    struct stat folder {};
    if (!m_folderStamp.trusted || ::stat(m_path.c_str(), &folder) != 0) {
        return true;
    }
    const FolderStamp now{folder.st_dev, folder.st_ino, Nanoseconds(folder.st_mtim),
                          Nanoseconds(folder.st_ctim), true};
    return !(now == m_folderStamp);
}

void ContactsFolder::Logoff() {
    m_loggedOn = false;
    m_items.clear();
    m_files.clear();
    m_saved.clear();
}

int ContactsFolder::Count() const {
    return m_loggedOn ? static_cast<int>(m_items.size()) : -1;
}

const ContactItem* ContactsFolder::Item(int n) const {
    if (!m_loggedOn || n < 1 || static_cast<std::size_t>(n) > m_items.size()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(n) - 1];
}

bool ContactsFolder::Save(ContactItem& item) {
    if (!m_loggedOn || !item.m_file.empty()) {
        return false;
    }
    VCard card;
    card.givenName = item.Get(ContactProperty::FirstName);
    card.familyName = item.Get(ContactProperty::LastName);
    card.formattedName = card.givenName;
    if (!card.familyName.empty()) {
        card.formattedName += (card.formattedName.empty() ? u"" : u" ") + card.familyName;
    }
    const std::pair<ContactProperty, std::uint32_t> kNumbers[] = {
        {ContactProperty::BusinessTelephoneNumber, kTelWork},
        {ContactProperty::MobileTelephoneNumber, kTelCell},
        {ContactProperty::HomeTelephoneNumber, kTelHome}};
    for (const auto& [property, kind] : kNumbers) {
        if (!item.Get(property).empty()) {
            card.tels.push_back({item.Get(property), kind});
        }
    }
    std::string target;
    struct stat st {};
    do {
        card.uid = NewContactUid();
        target = m_path + "/" + WideToUtf8(card.uid) + ".vcf";
    } while (::lstat(target.c_str(), &st) == 0);
    std::string error;
    if (!ReplaceFileAtomically(target, WriteVCard(card), KeepBackup::No, kPrivateFileMode,
                               &error)) {
        m_problem = error;
        return false;
    }
    item.m_file = target;
    m_saved.push_back(std::make_unique<ContactItem>(item));
    m_items.push_back(m_saved.back().get());
    return true;
}

}  // namespace qvl

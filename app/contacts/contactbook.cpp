#include "app/contacts/contactbook.h"

#include <sys/stat.h>

#include <cstdlib>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"
#include "platform/devicefs.h"

namespace qvl {

namespace {

ContactRecord RecordOf(const ContactItem& item) {
    return {item.Get(ContactProperty::FirstName), item.Get(ContactProperty::LastName),
            item.Get(ContactProperty::BusinessTelephoneNumber),
            item.Get(ContactProperty::MobileTelephoneNumber),
            item.Get(ContactProperty::HomeTelephoneNumber)};
}

// Every read and every write runs between one log-on and one log-off.
class LogonScope {
  public:
    explicit LogonScope(ContactsFolder& folder) : m_folder(folder), m_ok(folder.Logon()) {}
    ~LogonScope() { m_folder.Logoff(); }
    LogonScope(const LogonScope&) = delete;
    LogonScope& operator=(const LogonScope&) = delete;
    bool Ok() const { return m_ok; }

  private:
    ContactsFolder& m_folder;
    bool m_ok;
};

}  // namespace

std::string ContactsFolderPath() {
    const std::u16string named =
        ReadSettingString(kRootLocalMachine, keys::kKeyContacts, keys::kValueContactsFolder, u"");
    if (!named.empty()) {
        std::string path = WideToUtf8(named);
        // "~/..." as a user writes it in a hand-edited hive.
        if (path.rfind("~/", 0) == 0) {
            if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
                path = std::string(home) + path.substr(1);
            }
        }
        return path;
    }
    const std::string root = DeviceRoot();
    if (root.empty()) {
        return {};
    }
    const std::string path = root + "/Contacts";
    ::mkdir(path.c_str(), 0700);
    return path;
}

ContactBook::ContactBook(std::string folder) : m_folder(std::move(folder)) {}

int ContactBook::GetContactCount() {
    LogonScope logon(m_folder);
    return logon.Ok() ? m_folder.Count() : -1;
}

std::size_t ContactBook::ReadContacts(std::span<ContactRecord> out) {
    LogonScope logon(m_folder);
    if (!logon.Ok()) {
        return 0;
    }
    std::size_t filled = 0;
    for (int n = 1; n <= m_folder.Count() && filled < out.size(); ++n) {
        out[filled++] = RecordOf(*m_folder.Item(n));
    }
    return filled;
}

std::vector<ContactRecord> ContactBook::ReadAll() {
    const auto records = Records();
    return records ? *records : std::vector<ContactRecord>();
}

std::shared_ptr<const std::vector<ContactRecord>> ContactBook::Records(Reread reread) {
    // The records kept are those of the last log-on when no other read or write logged on
    // since.
    const bool current = m_records && m_recordsLogon == m_folder.Logons();
    if (reread == Reread::IfListingChanged && current && !m_folder.ListingChanged()) {
        return m_records;
    }
    LogonScope logon(m_folder);
    if (!logon.Ok()) {
        m_records.reset();
        return nullptr;
    }
    m_recordsLogon = m_folder.Logons();
    if (current && !m_folder.Listing().changed) {
        return m_records;
    }
    auto records = std::make_shared<std::vector<ContactRecord>>();
    records->reserve(static_cast<std::size_t>(m_folder.Count()));
    for (int n = 1; n <= m_folder.Count(); ++n) {
        records->push_back(RecordOf(*m_folder.Item(n)));
    }
    m_records = records;
    return m_records;
}

bool ContactBook::AddContact(std::u16string_view name, std::u16string_view number) {
    LogonScope logon(m_folder);
    if (!logon.Ok()) {
        return false;
    }
    ContactItem item = m_folder.Add();
    item.Set(ContactProperty::FirstName, name);
    item.Set(ContactProperty::HomeTelephoneNumber, number);
    return m_folder.Save(item);
}

}  // namespace qvl

#include "app/contacts/contactbook.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <optional>

#include "app/contacts/contactrows.h"
#include "app/settings/settingkeys.h"
#include "platform/tests/test_home.h"

namespace qvl {
namespace {

class ContactBookTest : public testing::TestHome {
  protected:
    void AddCardFile(const std::string& folder, const std::string& name,
                     const std::string& family) {
        WriteText(folder + "/" + name, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + family +
                                           ";G;;;\r\nTEL;TYPE=CELL:1\r\nEND:VCARD\r\n");
    }
};

TEST_F(ContactBookTest, FolderFromTheRegistryElseUnderTheDeviceRoot) {
    EXPECT_EQ(ContactsFolderPath(), Home() + "/Contacts");
    EXPECT_TRUE(std::filesystem::is_directory(Home() + "/Contacts"));
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, keys::kKeyContacts, RegOpen::Create);
    key.WriteString(keys::kValueContactsFolder, u"/srv/cards/default");
    EXPECT_EQ(ContactsFolderPath(), "/srv/cards/default");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/u", 1);
    key.WriteString(keys::kValueContactsFolder, u"~/.contacts/x");
    EXPECT_EQ(ContactsFolderPath(), "/home/u/.contacts/x");
    ::setenv("HOME", home.c_str(), 1);
}

TEST_F(ContactBookTest, ReadNeverWritesPastTheRoomGivenWhenTheFolderGrew) {
    const std::string folder = Home() + "/c";
    std::filesystem::create_directories(folder);
    AddCardFile(folder, "a.vcf", "A");
    AddCardFile(folder, "b.vcf", "B");
    ContactBook book(folder);
    const int count = book.GetContactCount();
    ASSERT_EQ(count, 2);
    AddCardFile(folder, "0.vcf", "Zero");  // another program adds contacts meanwhile
    AddCardFile(folder, "c.vcf", "C");
    std::vector<ContactRecord> records(static_cast<std::size_t>(count) + 1);
    records.back().lastName = u"guard";
    EXPECT_EQ(book.ReadContacts(std::span(records).first(static_cast<std::size_t>(count))), 2u);
    EXPECT_EQ(records[0].lastName, u"Zero");
    EXPECT_EQ(records[1].lastName, u"A");
    EXPECT_EQ(records[2].lastName, u"guard");
    EXPECT_EQ(book.ReadAll().size(), 4u);
}

TEST_F(ContactBookTest, ImportedEntryBecomesAContactWithThatHomeNumber) {
    const std::string folder = Home() + "/c";
    std::filesystem::create_directories(folder);
    ContactBook book(folder);
    ASSERT_TRUE(book.AddContact(u"Anna Smith", u"+49301234"));
    const auto records = book.ReadAll();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].firstName, u"Anna Smith");
    EXPECT_EQ(records[0].home, u"+49301234");
    EXPECT_EQ(records[0].mobile, u"");
    ContactBook missing(Home() + "/none");
    EXPECT_EQ(missing.GetContactCount(), -1);
    EXPECT_FALSE(missing.AddContact(u"X", u"1"));
    EXPECT_TRUE(missing.ReadAll().empty());
}

// The folder's time set an hour back, so that the next change is told apart from the last.
void Backdate(const std::string& folder) {
    struct timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1].tv_sec -= 3600;
    times[0] = times[1];
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

std::vector<std::u16string> Names(const std::optional<std::vector<ContactRow>>& rows) {
    std::vector<std::u16string> names;
    for (const ContactRow& row : rows.value_or(std::vector<ContactRow>{})) {
        names.push_back(row.name);
    }
    return names;
}

TEST_F(ContactBookTest, KeystrokesFilterTheKeptRowsUntilTheListingChanges) {
    const std::string folder = Home() + "/c";
    std::filesystem::create_directories(folder);
    AddCardFile(folder, "a.vcf", "Adams");
    AddCardFile(folder, "b.vcf", "Baker");
    Backdate(folder);
    ContactBook book(folder);
    ContactSearch search(book);
    using V = std::vector<std::u16string>;
    EXPECT_EQ(Names(search.Rows(u"", true)), (V{u"G Adams <Mobile>", u"G Baker <Mobile>"}));
    // A card rewritten in place leaves the folder as it was: keystrokes filter the kept rows,
    // showing the source again reads every file.
    AddCardFile(folder, "a.vcf", "Allen");
    EXPECT_EQ(Names(search.Rows(u"ad", false)), (V{u"G Adams <Mobile>"}));
    EXPECT_EQ(Names(search.Rows(u"a", true)), (V{u"G Allen <Mobile>"}));
    // A card added the way synchronising programs write: the next keystroke sees it.
    Backdate(folder);
    EXPECT_EQ(Names(search.Rows(u"", true)).size(), 2u);
    AddCardFile(folder, ".new", "Carter");
    std::filesystem::rename(folder + "/.new", folder + "/c.vcf");
    EXPECT_EQ(Names(search.Rows(u"c", false)), (V{u"G Carter <Mobile>"}));
    // Another read in between (a count, the caller names) does not leave the rows behind.
    Backdate(folder);
    EXPECT_EQ(Names(search.Rows(u"", false)).size(), 3u);
    AddCardFile(folder, "d.vcf", "Dunn");
    Backdate(folder);
    EXPECT_EQ(book.GetContactCount(), 4);
    EXPECT_EQ(Names(search.Rows(u"d", false)), (V{u"G Dunn <Mobile>"}));
    AddCardFile(folder, "e.vcf", "Evans");
    Backdate(folder);
    EXPECT_EQ(book.GetContactCount(), 5);
    EXPECT_EQ(Names(search.Rows(u"e", true)), (V{u"G Evans <Mobile>"}));
    ASSERT_NE(search.Records(), nullptr);
    EXPECT_EQ(search.Records()->size(), 5u);
    // A folder gone: nothing, on a keystroke too.
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(search.Rows(u"", false).has_value());
    EXPECT_EQ(search.Records(), nullptr);
}

}  // namespace
}  // namespace qvl

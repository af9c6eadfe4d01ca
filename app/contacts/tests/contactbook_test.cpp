#include "app/contacts/contactbook.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace qvl

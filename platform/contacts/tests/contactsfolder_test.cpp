#include "platform/contacts/contactsfolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/text.h"

namespace qvl {
namespace {

namespace fs = std::filesystem;

class ContactsFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvl-contacts-test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
    }
    static std::string Card(const std::string& family, const std::string& given,
                            const std::string& tels) {
        return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + family + ";" + given + ";;;\r\n" + tels +
               "END:VCARD\r\n";
    }
    std::string m_dir;
};

TEST_F(ContactsFolderTest, ItemsInFileNameOrderWithNumbersSorted) {
    Write("b.vcf",
          Card("Berg", "Bea", "TEL;TYPE=HOME:3\r\nTEL;TYPE=CELL:2\r\nTEL;TYPE=WORK:1\r\n"));
    Write("a.VCF", Card("Alt", "Al", "TEL:7\r\nTEL;TYPE=FAX:8\r\nTEL;TYPE=VOICE:9\r\n") +
                       Card("Alt", "Ann", ""));
    Write("c.txt", Card("Not", "Read", "TEL:1\r\n"));
    Write(".hidden.vcf", Card("Not", "Read", "TEL:1\r\n"));
    ContactsFolder folder(m_dir);
    EXPECT_EQ(folder.Count(), -1);
    ASSERT_TRUE(folder.Logon());
    ASSERT_EQ(folder.Count(), 3);
    EXPECT_EQ(folder.Item(0), nullptr);
    EXPECT_EQ(folder.Item(4), nullptr);
    const ContactItem& al = *folder.Item(1);
    EXPECT_EQ(al.Get(ContactProperty::FirstName), u"Al");
    EXPECT_EQ(al.Get(ContactProperty::LastName), u"Alt");
    // Numbers of no kind fill mobile, then home; the fax number is left out.
    EXPECT_EQ(al.Get(ContactProperty::MobileTelephoneNumber), u"7");
    EXPECT_EQ(al.Get(ContactProperty::HomeTelephoneNumber), u"9");
    EXPECT_EQ(al.Get(ContactProperty::BusinessTelephoneNumber), u"");
    EXPECT_EQ(folder.Item(2)->Get(ContactProperty::FirstName), u"Ann");
    const ContactItem& bea = *folder.Item(3);
    EXPECT_EQ(bea.Get(ContactProperty::BusinessTelephoneNumber), u"1");
    EXPECT_EQ(bea.Get(ContactProperty::MobileTelephoneNumber), u"2");
    EXPECT_EQ(bea.Get(ContactProperty::HomeTelephoneNumber), u"3");
    EXPECT_EQ(bea.FileName(), m_dir + "/b.vcf");
    folder.Logoff();
    EXPECT_EQ(folder.Count(), -1);
}

TEST_F(ContactsFolderTest, MissingFolderHasNoItems) {
    ContactsFolder folder(m_dir + "/none");
    EXPECT_FALSE(folder.Logon());
    EXPECT_EQ(folder.Count(), -1);
    EXPECT_NE(folder.Problem().find("none"), std::string::npos);
}

TEST_F(ContactsFolderTest, HostileFolderIsListedWithoutFollowingOrBlocking) {
    Write("good.vcf", Card("Good", "G", "TEL:1\r\n"));
    ASSERT_EQ(::symlink("/dev/zero", (m_dir + "/zero.vcf").c_str()), 0);
    const std::string outside = m_dir + "-outside.vcf";
    std::ofstream(outside) << Card("Outside", "O", "TEL:2\r\n");
    ASSERT_EQ(::symlink(outside.c_str(), (m_dir + "/link.vcf").c_str()), 0);
    // A FIFO that nobody writes: opening it blocking would hang the listing.
    ASSERT_EQ(::mkfifo((m_dir + "/fifo.vcf").c_str(), 0600), 0);
    fs::create_directory(m_dir + "/x.vcf");
    Write("x.vcf/inner.vcf", Card("Inner", "I", "TEL:3\r\n"));
    {
        // 50 MB of PHOTO (sparse, so the test stays quick): too large to be opened.
        std::ofstream big(m_dir + "/big.vcf", std::ios::binary);
        big << "BEGIN:VCARD\r\nN:Big;B\r\nPHOTO;ENCODING=B:";
    }
    fs::resize_file(m_dir + "/big.vcf", 50u * 1024 * 1024);
    Write("nul.vcf", std::string("BEGIN:VCARD\r\nN:N\0ul;Z\r\nTEL:4\0\r\nEND:VCARD\r\n", 42));
    Write("bad-utf8.vcf", Card("B\xC3\x28x", "\xFF\xFE", "TEL:5\r\n"));
    ContactsFolder folder(m_dir);
    ASSERT_TRUE(folder.Logon());
    std::vector<std::u16string> names;
    for (int n = 1; n <= folder.Count(); ++n) {
        names.push_back(folder.Item(n)->Get(ContactProperty::LastName));
    }
    // bad-utf8, good, nul: the link, the FIFO, the folder and the large file are passed over.
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], u"B\u00C3(x");  // not UTF-8, so read in the Windows code page
    EXPECT_EQ(names[1], u"Good");
    EXPECT_EQ(names[2], u"Nul");
    EXPECT_EQ(folder.Listing().names, 8u);
    EXPECT_EQ(folder.Listing().skipped, 5u);
    std::error_code ec;
    fs::remove(outside, ec);
}

TEST_F(ContactsFolderTest, TenThousandFilesAndOnlyChangedFilesReadAgain) {
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%05d.vcf", i);
        Write(name, Card("F" + std::to_string(i), "G", "TEL:" + std::to_string(i) + "\r\n"));
    }
    ContactsFolder folder(m_dir);
    ASSERT_TRUE(folder.Logon());
    EXPECT_EQ(folder.Count(), 10000);
    EXPECT_EQ(folder.Listing().read, 10000u);
    EXPECT_EQ(folder.Item(10000)->Get(ContactProperty::LastName), u"F9999");
    // A changed file (another size), a removed one: only the changed one is read again.
    Write("00007.vcf", Card("Changed", "G", "TEL:7\r\n"));
    fs::remove(m_dir + "/00008.vcf");
    ASSERT_TRUE(folder.Logon());
    EXPECT_EQ(folder.Count(), 9999);
    EXPECT_EQ(folder.Listing().read, 1u);
    EXPECT_EQ(folder.Item(8)->Get(ContactProperty::LastName), u"Changed");
    EXPECT_EQ(folder.Item(9)->Get(ContactProperty::LastName), u"F9");
}

TEST_F(ContactsFolderTest, ListingChangedWhenACardIsAddedRemovedOrReplaced) {
    // The folder's time set an hour back, so that a change now is told apart from the last one.
    const auto backdate = [this] {
        struct timespec times[2]{};
        ::clock_gettime(CLOCK_REALTIME, &times[1]);
        times[1].tv_sec -= 3600;
        times[0] = times[1];
        ASSERT_EQ(::utimensat(AT_FDCWD, m_dir.c_str(), times, 0), 0);
    };
    const struct {
        const char* what;
        bool backdated;
        std::function<void(ContactsFolder&)> change;
        bool changed;
    } kCases[] = {
        {"nothing", true, [](ContactsFolder&) {}, false},
        {"a card rewritten in place", true,
         [this](ContactsFolder&) { Write("a.vcf", Card("Other", "G", "TEL:9\r\n")); }, false},
        {"a card added", true,
         [this](ContactsFolder&) { Write("c.vcf", Card("C", "G", "TEL:3\r\n")); }, true},
        {"a card removed", true, [this](ContactsFolder&) { fs::remove(m_dir + "/b.vcf"); }, true},
        {"a card replaced by a renamed file", true,
         [this](ContactsFolder&) {
             Write(".tmp", Card("New", "G", "TEL:4\r\n"));
             fs::rename(m_dir + "/.tmp", m_dir + "/a.vcf");
         },
         true},
        {"a card the phone saved", true,
         [](ContactsFolder& folder) {
             ASSERT_TRUE(folder.Logon());
             ContactItem item = folder.Add();
             item.Set(ContactProperty::FirstName, u"Saved");
             ASSERT_TRUE(folder.Save(item));
         },
         true},
        {"the folder removed", true, [this](ContactsFolder&) { fs::remove_all(m_dir); }, true},
        // Changed just before the listing: a change in the same tick would keep its time.
        {"nothing, the folder changed just before", false, [](ContactsFolder&) {}, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(m_dir);
        Write("a.vcf", Card("A", "G", "TEL:1\r\n"));
        Write("b.vcf", Card("B", "G", "TEL:2\r\n"));
        fs::remove(m_dir + "/c.vcf");
        ContactsFolder folder(m_dir);
        EXPECT_TRUE(folder.ListingChanged());  // never listed
        if (c.backdated) {
            backdate();
        }
        ASSERT_TRUE(folder.Logon());
        folder.Logoff();
        if (c.backdated) {
            // The stamp is taken before the names are read: a change during the listing
            // still shows.
            EXPECT_FALSE(folder.ListingChanged());
        }
        c.change(folder);
        EXPECT_EQ(folder.ListingChanged(), c.changed);
    }
}

TEST_F(ContactsFolderTest, SavedItemIsACardFileNamedByItsUid) {
    ContactsFolder folder(m_dir);
    ContactItem early = folder.Add();
    EXPECT_FALSE(folder.Save(early));  // not logged on
    ASSERT_TRUE(folder.Logon());
    ContactItem item = folder.Add();
    item.Set(ContactProperty::FirstName, u"../../etc/Anna\r\nTEL:666");
    item.Set(ContactProperty::HomeTelephoneNumber, u"+49301234");
    ASSERT_TRUE(folder.Save(item));
    EXPECT_EQ(folder.Count(), 1);
    const fs::path file(item.FileName());
    EXPECT_EQ(file.parent_path(), fs::path(m_dir));
    EXPECT_EQ(file.extension(), ".vcf");
    EXPECT_EQ(file.stem().string().size(), 36u);  // the UID, never the name
    struct stat st {};
    ASSERT_EQ(::stat(item.FileName().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(item.FileName(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string uid = file.stem().string();
    EXPECT_EQ(text.str(), "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid +
                              "\r\nFN:../../etc/Anna TEL:666\r\nN:;../../etc/Anna TEL:666;;;\r\n"
                              "TEL;TYPE=HOME:+49301234\r\nEND:VCARD\r\n");
    // An item read from the folder is not rewritten.
    ASSERT_TRUE(folder.Logon());
    ASSERT_EQ(folder.Count(), 1);
    ContactItem read = *folder.Item(1);
    EXPECT_EQ(read.Get(ContactProperty::HomeTelephoneNumber), u"+49301234");
    EXPECT_FALSE(folder.Save(read));
}

}  // namespace
}  // namespace qvl

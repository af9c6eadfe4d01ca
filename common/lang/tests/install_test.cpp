// Install-directory look-up. Built three times, once per edition (QVL_TEST_EDITION), because
// each binary carries the install-key rows of its own edition.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/text.h"
#include "common/lang/lang.h"
#include "common/lang/tests/lang_env.h"
#include "platform/registry.h"

namespace qvl {
namespace {

namespace fs = std::filesystem;

class InstallTest : public testing::LangEnvTest {
  protected:
    // A folder under the private root, with the named program in it when program is given.
    std::string Folder(const std::string& name, const char* program = nullptr) {
        std::string dir = m_home + "/" + name;
        fs::create_directories(dir);
        if (program) {
            std::ofstream(dir + "/" + program) << "#!/bin/true\n";
        }
        return dir;
    }
    static void SetValue(const char16_t* key, const char16_t* value, const std::string& text) {
        RegKey k = RegKey::Open(RegRoot::LocalMachine, key, RegOpen::Create);
        ASSERT_TRUE(k.WriteString(value, Utf8ToWide(text)));
    }
    static std::string Found() {
        std::u16string path;
        return FindMainProgram(path) ? WideToUtf8(path) : std::string("<none>");
    }
};

constexpr const char16_t* kMobileInternet = u"SOFTWARE\\Apps\\Quorvel Mobile Internet";

TEST_F(InstallTest, InstallDirOfMobileInternet) {
    EXPECT_EQ(GetInstallDir(), u"");  // no key
    RegKey::Open(RegRoot::LocalMachine, kMobileInternet, RegOpen::Create);
    EXPECT_EQ(GetInstallDir(), u"");  // key without value
    SetValue(kMobileInternet, u"InstallDir", "/opt/other");
    EXPECT_EQ(GetInstallDir(), u"");  // only "InstlDir" counts
    SetValue(kMobileInternet, u"InstlDir", "/opt/quorvel mi");
    EXPECT_EQ(GetInstallDir(), u"/opt/quorvel mi");
}

TEST_F(InstallTest, InstallDirLengthBound) {
    std::string at = "/" + std::string(259, 'a');
    SetValue(kMobileInternet, u"InstlDir", at);
    EXPECT_EQ(GetInstallDir().size(), 260u);
    SetValue(kMobileInternet, u"InstlDir", at + "b");
    EXPECT_EQ(GetInstallDir(), u"");  // over-long: not cut into another path
}

#if QVL_TEST_EDITION_SMSPHONE
constexpr const char16_t* kKey = u"SOFTWARE\\Apps\\Quorvel SMS Phone";
constexpr const char* kProgram = "Parlino";

TEST_F(InstallTest, EditionIsLinkedIn) {
    EXPECT_EQ(LinkedEdition(), Edition::SmsPhone);
}

TEST_F(InstallTest, MainProgramLookUp) {
    struct Row {
        const char* name;
        const char* installDir;  // folder name under the root, "" for none; "!" for empty value
        const char* instlDir;
        const char* withProgram;  // which folders hold the program: "1", "2", "12", ""
        const char* expect;       // folder of the result, or "<none>"
    };
    const Row rows[] = {
        {"InstallDirWithoutProgramInstlDirWith", "a", "b", "2", "b"},
        {"BothHoldIt", "a", "b", "12", "a"},
        {"OnlyInstallDir", "a", "", "1", "a"},
        {"OnlyInstlDir", "", "b", "2", "b"},
        {"NeitherHoldsIt", "a", "b", "", "<none>"},
        {"EmptyValueIsNoFolder", "!", "b", "", "<none>"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        RegDeleteTree(RegRoot::LocalMachine, kKey);
        std::string base = std::string(r.name) + "/";
        std::string f1 = base + "one", f2 = base + "two";
        std::string d1 = Folder(
            f1, std::string(r.withProgram).find('1') != std::string::npos ? kProgram : nullptr);
        std::string d2 = Folder(
            f2, std::string(r.withProgram).find('2') != std::string::npos ? kProgram : nullptr);
        if (*r.installDir) {
            SetValue(kKey, u"InstallDir", std::string(r.installDir) == "!" ? "" : d1);
        }
        if (*r.instlDir) {
            SetValue(kKey, u"InstlDir", d2);
        }
        std::string expect = r.expect;
        if (expect == "a") {
            expect = d1 + "/" + kProgram;
        } else if (expect == "b") {
            expect = d2 + "/" + kProgram;
        }
        EXPECT_EQ(Found(), expect);
    }
}

TEST_F(InstallTest, MissingKeyFindsNothing) {
    std::u16string path = u"unchanged";
    EXPECT_FALSE(FindMainProgram(path));
    EXPECT_EQ(path, u"unchanged");
}

TEST_F(InstallTest, FolderNamedLikeTheProgramIsNotAProgram) {
    std::string d = Folder("dir");
    fs::create_directories(d + "/" + kProgram);
    SetValue(kKey, u"InstallDir", d);
    EXPECT_EQ(Found(), "<none>");
}

TEST_F(InstallTest, TrailingSlashIsNotDoubled) {
    std::string d = Folder("slash", kProgram);
    SetValue(kKey, u"InstallDir", d + "/");
    EXPECT_EQ(Found(), d + "/" + kProgram);
}

TEST_F(InstallTest, OverLongInstallDirIsSkipped) {
    // A real folder whose path is longer than the 260-character buffers, holding the program.
    std::string deep = m_home;
    while (deep.size() <= 270) {
        deep += "/" + std::string(40, 'd');
    }
    fs::create_directories(deep);
    std::ofstream(deep + "/" + kProgram) << "x";
    std::string good = Folder("good", kProgram);
    SetValue(kKey, u"InstallDir", deep);
    EXPECT_EQ(Found(), "<none>");
    SetValue(kKey, u"InstlDir", good);
    EXPECT_EQ(Found(), good + "/" + kProgram);
}

TEST_F(InstallTest, OtherEditionsKeysAreIgnored) {
    std::string d = Folder("qvl", "QVLPhone");
    SetValue(u"SOFTWARE\\Apps\\Quorvel QVL Phone", u"InstallDir", d);
    EXPECT_EQ(Found(), "<none>");
}
#endif

#if QVL_TEST_EDITION_TAVIX
TEST_F(InstallTest, EditionIsLinkedIn) {
    EXPECT_EQ(LinkedEdition(), Edition::Tavix);
}

TEST_F(InstallTest, SecondKeyOnlyWhenFirstIsMissing) {
    std::string d2 = Folder("halmer", "TavixPhone");
    SetValue(u"SOFTWARE\\Apps\\Halmer Tavix Phone", u"InstallDir", d2);
    EXPECT_EQ(Found(), d2 + "/TavixPhone");
    // The first key exists without a usable value: the second key is not consulted.
    std::string d1 = Folder("zrb");
    SetValue(u"SOFTWARE\\Apps\\ZRB Tavix Phone", u"InstallDir", d1);
    EXPECT_EQ(Found(), "<none>");
    std::ofstream(d1 + "/TavixPhone") << "x";
    EXPECT_EQ(Found(), d1 + "/TavixPhone");
}
#endif

#if QVL_TEST_EDITION_PLUGIN
TEST_F(InstallTest, EditionIsLinkedIn) {
    EXPECT_EQ(LinkedEdition(), Edition::ContactsPlugin);
}

TEST_F(InstallTest, SmsPhoneFirstThenQvlPhone) {
    std::string q = Folder("qvl", "QVLPhone");
    SetValue(u"SOFTWARE\\Apps\\Quorvel QVL Phone", u"InstallDir", q);
    EXPECT_EQ(Found(), q + "/QVLPhone");
    std::string s = Folder("sms");
    SetValue(u"SOFTWARE\\Apps\\Quorvel SMS Phone", u"InstallDir", s);
    EXPECT_EQ(Found(), q + "/QVLPhone");  // SMS Phone key without its program
    std::ofstream(s + "/Parlino") << "x";
    EXPECT_EQ(Found(), s + "/Parlino");
}
#endif

}  // namespace
}  // namespace qvl

#include "platform/devicefs.h"

#include "platform/registry.h"
#include "platform/tests/test_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace qvl {
namespace {

using testing::TestHome;

class DeviceFsTest : public TestHome {
protected:
    void SetUp() override {
        TestHome::SetUp();
        for (const char* name : {"XDG_DATA_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        TestHome::TearDown();
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST_F(DeviceFsTest, RootFollowsQvlHomeThenXdgThenHome) {
    EXPECT_EQ(DeviceRoot(), Home());

    ::unsetenv("QVL_HOME");
    ::setenv("XDG_DATA_HOME", (Home() + "/xdg").c_str(), 1);
    EXPECT_EQ(DeviceRoot(), Home() + "/xdg/quorvel-phone");
    EXPECT_EQ(ModeOf(Home() + "/xdg/quorvel-phone"), 0700u);

    // Missing, empty or relative XDG_DATA_HOME: the XDG default under HOME.
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        SCOPED_TRACE(xdg ? xdg : "(unset)");
        if (xdg) {
            ::setenv("XDG_DATA_HOME", xdg, 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
        ::setenv("HOME", (Home() + "/user").c_str(), 1);
        EXPECT_EQ(DeviceRoot(), Home() + "/user/.local/share/quorvel-phone");
        EXPECT_EQ(DeviceRootProblem(), "");
    }
}

TEST_F(DeviceFsTest, UnusableRootGivesAClearMessageAndNoCrash) {
    // Tests may run as the superuser, who may write anywhere: a path below a regular file
    // cannot be created by anyone.
    WriteText(Home() + "/plain-file", "x");
    const std::string bad = Home() + "/plain-file/device";
    ::setenv("QVL_HOME", bad.c_str(), 1);
    EXPECT_EQ(DeviceRoot(), "");
    EXPECT_NE(DeviceRootProblem().find(bad), std::string::npos) << DeviceRootProblem();
    EXPECT_EQ(DevicePath(u"\\windows\\a.wav"), "");
    EXPECT_TRUE(DeviceFindFiles(u"\\windows\\*.wav").empty());

    RegTakeLoadProblem();
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\X", RegOpen::Create));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE").ReadString(u"x"));
    const std::string problem = RegTakeLoadProblem();
    EXPECT_NE(problem.find("registry cannot be used"), std::string::npos) << problem;
    EXPECT_NE(problem.find(bad), std::string::npos) << problem;
    // Volatile keys still work: they never touch the disk.
    EXPECT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active", RegOpen::CreateVolatile)
                    .WriteString(u"Name", u"COM1:"));

    ::setenv("QVL_HOME", Home().c_str(), 1);
    EXPECT_EQ(DeviceRoot(), Home());
    EXPECT_EQ(DeviceRootProblem(), "");
}

TEST_F(DeviceFsTest, DevicePathsMapUnderTheRoot) {
    struct Row {
        const char* label;
        std::u16string device;
        std::string real;
    };
    const std::vector<Row> rows = {
        {"my_documents", u"\\My Documents\\mms.mmp", "/My Documents/mms.mmp"},
        {"windows", u"\\windows\\ring.wav", "/windows/ring.wav"},
        {"bare_record_file", u"QVLPhoneSMS.dat", "/QVLPhoneSMS.dat"},
        {"skin_folder", u"\\My Documents\\bmp_files\\dialer.bmp",
         "/My Documents/bmp_files/dialer.bmp"},
        {"forward_slashes", u"/windows/a.wav", "/windows/a.wav"},
        {"dot_dot_stays_inside", u"\\..\\..\\etc\\passwd", "/etc/passwd"},
        {"non_ascii", u"\\My Documents\\Gr\u00FC\u00DFe.txt", "/My Documents/Gr\xC3\xBC\xC3\x9F" "e.txt"},
        {"root_itself", u"\\", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string path = DevicePath(row.device);
        EXPECT_EQ(path, Home() + row.real);
        EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path).parent_path()));
    }
    EXPECT_EQ(ModeOf(Home() + "/My Documents/bmp_files"), 0700u);
    // An existing folder is found whatever the case the caller writes.
    EXPECT_EQ(DevicePath(u"\\WINDOWS\\Ring.wav"), Home() + "/windows/Ring.wav");
}

TEST_F(DeviceFsTest, FindFilesMatchesWildcardsWithoutCaseInNameOrder) {
    for (const char* name : {"b.wav", "A.WAV", "c.txt", "long name.wav", "x.wav.bak"}) {
        WriteText(Home() + "/windows/" + name, "RIFF");
    }
    std::filesystem::create_directories(Home() + "/windows/folder.wav");
    EXPECT_EQ(DeviceFindFiles(u"\\windows\\*.wav"),
              (std::vector<std::u16string>{u"A.WAV", u"b.wav", u"long name.wav"}));
    EXPECT_EQ(DeviceFindFiles(u"\\Windows\\?.WAV"),
              (std::vector<std::u16string>{u"A.WAV", u"b.wav"}));
    EXPECT_EQ(DeviceFindFiles(u"\\windows\\*a*b*"), (std::vector<std::u16string>{u"x.wav.bak"}));
    EXPECT_TRUE(DeviceFindFiles(u"\\nowhere\\*.wav").empty());
    EXPECT_TRUE(DeviceFindFiles(u"\\windows\\*.mp3").empty());
}

}  // namespace
}  // namespace qvl

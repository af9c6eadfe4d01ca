// UUCP lock files and device names.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/serial/serial.h"

namespace qvl {
namespace {

namespace fs = std::filesystem;

struct NameCase {
    const char* path;
    const char* lock;
};

TEST(UucpLockNameTest, NamesFollowTheDeviceBelowDev) {
    const NameCase rows[] = {
        {"/dev/ttyUSB0", "LCK..ttyUSB0"},
        {"/dev/ttyACM12", "LCK..ttyACM12"},
        {"/dev/pts/3", "LCK..pts_3"},
        {"/nowhere/ttyQVL9", "LCK..ttyQVL9"},
    };
    for (const NameCase& row : rows) {
        EXPECT_EQ(UucpLockName(row.path), row.lock) << row.path;
    }
}

class LockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = "/tmp/qvl-serial.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_dir + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir + "/" + name) << text;
    }
    static std::string OurLock() {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
        return text;
    }
    std::string m_dir;
};

TEST_F(LockTest, EveryNameOfADeviceSharesOneLock) {
    // A /dev/serial/by-id style link resolves to the device it names.
    fs::create_symlink("/dev/null", m_dir + "/usb-Maker_Modem-if00-port0");
    EXPECT_EQ(UucpLockName(m_dir + "/usb-Maker_Modem-if00-port0"), "LCK..null");
}

TEST_F(LockTest, CreatesAndRemovesItsOwnLock) {
    EXPECT_EQ(AcquireUucpLock(m_dir, "LCK..ttyUSB0"), 0);
    EXPECT_EQ(Read("LCK..ttyUSB0"), OurLock());
    EXPECT_EQ(AcquireUucpLock(m_dir, "LCK..ttyUSB0"), EBUSY) << "held by a live process: us";
    ReleaseUucpLock(m_dir, "LCK..ttyUSB0");
    EXPECT_FALSE(fs::exists(m_dir + "/LCK..ttyUSB0"));
    // Only the lock file is left in the folder, never a temporary.
    EXPECT_TRUE(fs::is_empty(m_dir));
}

struct StaleCase {
    const char* name;
    std::string content;
};

TEST_F(LockTest, TakesOverLocksThatNoLiveProcessHolds) {
    const StaleCase rows[] = {
        {"DeadPid", "   4000000\n"},  // above any pid_max
        {"Garbage", "not a pid\n"},
        {"Empty", ""},
        {"Negative", "        -5\n"},
    };
    for (const StaleCase& row : rows) {
        Write("LCK..ttyS9", row.content);
        EXPECT_EQ(AcquireUucpLock(m_dir, "LCK..ttyS9"), 0) << row.name;
        EXPECT_EQ(Read("LCK..ttyS9"), OurLock()) << row.name;
        ReleaseUucpLock(m_dir, "LCK..ttyS9");
    }
}

TEST_F(LockTest, LeavesAnotherLiveProcessLockAlone) {
    Write("LCK..ttyS9", "         1\n");
    EXPECT_EQ(AcquireUucpLock(m_dir, "LCK..ttyS9"), EBUSY);
    ReleaseUucpLock(m_dir, "LCK..ttyS9");
    EXPECT_EQ(Read("LCK..ttyS9"), "         1\n");
}

TEST_F(LockTest, UnwritableFolderReportsTheError) {
    EXPECT_NE(AcquireUucpLock(m_dir + "/missing", "LCK..ttyS9"), 0);
}

TEST(SerialLockDirectoryTest, EnvironmentChoosesTheFolder) {
    ::setenv("QVL_LOCK_DIR", "/tmp/qvl-some-locks", 1);
    EXPECT_EQ(SerialLockDirectory(), "/tmp/qvl-some-locks");
    ::setenv("QVL_LOCK_DIR", "", 1);
    EXPECT_EQ(SerialLockDirectory(), "") << "empty: no lock files";
    ::unsetenv("QVL_LOCK_DIR");
}

}  // namespace
}  // namespace qvl

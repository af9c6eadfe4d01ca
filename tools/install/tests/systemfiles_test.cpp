#include "tools/install/systemfiles.h"

#include "platform/ppp/pppsystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qvl::install {
namespace {

namespace fs = std::filesystem;

TEST(SystemFilesTest, PeerFileAndRouteHooksBelowTheRootWithTheirModes) {
    const std::string root = ::testing::TempDir() + "qvl-system-root-" + std::to_string(::getpid());
    fs::remove_all(root);
    // A stale file of an earlier install is replaced, not appended to.
    fs::create_directories(root + "/etc/ppp/peers");
    std::ofstream(root + "/etc/ppp/peers/quorvel-gprs") << "defaultroute\n";

    const SystemResult result = InstallSystemFiles(root);
    ASSERT_TRUE(result.ok) << result.error;
    for (const ppp::SystemFile& file : ppp::SystemFiles()) {
        SCOPED_TRACE(file.path);
        const std::string path = root + "/" + file.path;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, file.mode);
        if (::geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 0u);
            EXPECT_EQ(st.st_gid, 0u);
        }
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str(), file.text);
    }
    EXPECT_TRUE(ppp::PeerFileInstalled(root));
    ASSERT_FALSE(result.notes.empty());
    EXPECT_NE(result.notes.back().find("\"dip\""), std::string::npos);
    fs::remove_all(root);
}

TEST(SystemFilesTest, TheRealSystemNeedsRoot) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "run as root: the refusal is for other users";
    }
    const SystemResult result = InstallSystemFiles("/");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("sudo qvl-install --system"), std::string::npos);
}

}  // namespace
}  // namespace qvl::install

#include "platform/ppp/pppsystem.h"

#include "platform/ppp/tests/fake_pppd_harness.h"
#include "platform/ppp/tests/pppwords.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qvl::ppp {
namespace {

namespace fs = std::filesystem;

const EntryPaths kPaths{"/h/ppp/E.options", "/h/ppp/E.chat", "/h/ppp/E.secrets", "/h/ppp/E.log"};

TEST(PppSystemTest, ArgumentsForAUserAndForRoot) {
    EXPECT_EQ(PppdArguments("/usr/sbin/pppd", kPaths, true, PrivilegedOptions::FromPeerFile),
              (std::vector<std::string>{"/usr/sbin/pppd", "call", "quorvel-gprs", "file",
                                        "/h/ppp/E.options", "file", "/h/ppp/E.secrets", "nodetach",
                                        "logfile", "/h/ppp/E.log"}));
    EXPECT_EQ(PppdArguments("/usr/sbin/pppd", kPaths, false, PrivilegedOptions::OnCommandLine),
              (std::vector<std::string>{"/usr/sbin/pppd", "noauth", "file", "/h/ppp/E.options",
                                        "nodetach", "logfile", "/h/ppp/E.log"}));
}

TEST(PppSystemTest, PeerFileHoldsExactlyThePrivilegedOptions) {
    EXPECT_EQ(test::Words(PeerFileText()), PeerOptions());
    const auto files = SystemFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].path, "etc/ppp/peers/quorvel-gprs");
    EXPECT_EQ(files[0].mode, 0644u);
    EXPECT_EQ(files[1].path, "etc/ppp/ip-up.d/quorvel-gateway");
    EXPECT_EQ(files[2].path, "etc/ppp/ip-down.d/quorvel-gateway");
    EXPECT_EQ(files[1].mode, 0755u);

    const std::string root = ::testing::TempDir() + "qvl-peers-" + std::to_string(::getpid());
    EXPECT_FALSE(PeerFileInstalled(root));
    fs::create_directories(root + "/etc/ppp/peers");
    std::ofstream(root + "/etc/ppp/peers/quorvel-gprs") << PeerFileText();
    EXPECT_TRUE(PeerFileInstalled(root));
    fs::remove_all(root);
}

// Runs a hook as pppd does (interface, tty, speed, local, remote, ipparam) with a fake "ip".
class GatewayHookTest : public ::testing::Test {
  protected:
    void SetUp() override { m_pppd.InstallHooks(); }

    std::vector<std::string> Run(bool up, const std::string& iface, const std::string& param) {
        const std::string hook = m_pppd.Dir() + (up ? "/hooks/ip-up" : "/hooks/ip-down");
        const std::string path = "PATH=" + m_pppd.Dir() + "/bin:/usr/bin:/bin";
        const pid_t pid = ::fork();
        if (pid == 0) {
            char* envp[] = {const_cast<char*>(path.c_str()), nullptr};
            ::execle("/bin/sh", "sh", hook.c_str(), iface.c_str(), "/dev/ttyUSB0", "57600",
                     "10.64.1.2", "10.64.64.64", param.c_str(), static_cast<char*>(nullptr), envp);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        auto calls = m_pppd.IpCalls();
        std::filesystem::remove(m_pppd.Dir() + "/ip-calls");
        return calls;
    }

    test::FakePppd m_pppd;
};

TEST_F(GatewayHookTest, RoutesOnlyAWellFormedGatewayOverAPppInterface) {
    struct Case {
        const char* name;
        const char* iface;
        const char* param;
        const char* route;  // nullptr: the hook leaves the routes alone
    };
    const Case cases[] = {
        {"private_gateway", "ppp0", "quorvel-gateway=10.11.12.13", "10.11.12.13/32 dev ppp0"},
        {"public_gateway", "ppp12", "quorvel-gateway=193.1.2.3", "193.1.2.3/32 dev ppp12"},
        {"other_link", "ppp0", "provider", nullptr},
        {"no_param", "ppp0", "", nullptr},
        {"not_ppp", "eth0", "quorvel-gateway=10.1.1.1", nullptr},
        {"ppp_lookalike", "ppp0;x", "quorvel-gateway=10.1.1.1", nullptr},
        {"three_parts", "ppp0", "quorvel-gateway=10.1.1", nullptr},
        {"five_parts", "ppp0", "quorvel-gateway=10.1.1.1.1", nullptr},
        {"over_255", "ppp0", "quorvel-gateway=10.1.1.256", nullptr},
        {"leading_zero", "ppp0", "quorvel-gateway=10.01.1.1", nullptr},
        {"long_part", "ppp0", "quorvel-gateway=10.1.1.00001", nullptr},
        {"loopback", "ppp0", "quorvel-gateway=127.0.0.1", nullptr},
        {"zero_net", "ppp0", "quorvel-gateway=0.1.2.3", nullptr},
        {"multicast", "ppp0", "quorvel-gateway=224.0.0.1", nullptr},
        {"command", "ppp0", "quorvel-gateway=1.2.3.4;reboot", nullptr},
        {"spaces", "ppp0", "quorvel-gateway=1.2.3.4 dev eth0", nullptr},
        {"glob", "ppp0", "quorvel-gateway=1.2.3.*", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto up = Run(true, c.iface, c.param);
        const auto down = Run(false, c.iface, c.param);
        if (c.route == nullptr) {
            EXPECT_TRUE(up.empty()) << up.front();
            EXPECT_TRUE(down.empty());
        } else {
            EXPECT_EQ(up, std::vector<std::string>{std::string("route replace ") + c.route});
            EXPECT_EQ(down, std::vector<std::string>{std::string("route del ") + c.route});
        }
    }
}

TEST(PppSystemTest, ProgramComesFromTheEnvironmentOnlyWhenSet) {
    ::unsetenv("QVL_PPPD");
    EXPECT_EQ(PppdProgram(), "/usr/sbin/pppd");
    ::setenv("QVL_PPPD", "/tmp/x/pppd", 1);
    EXPECT_EQ(PppdProgram(), "/tmp/x/pppd");
    ::unsetenv("QVL_PPPD");
}

}  // namespace
}  // namespace qvl::ppp

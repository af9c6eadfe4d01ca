// Several programs of the suite share the hive files: these tests run real processes.
#include "platform/registry.h"

#include "platform/registry_format.h"
#include "platform/tests/test_home.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

namespace qvl {
namespace {

using testing::TestHome;

class RegistryProcessTest : public TestHome {};

constexpr char16_t kKey[] = u"SOFTWARE\\Quorvel\\Shared";

// Runs body in a child process and returns its pid. The child ends with _exit so that it
// never runs the parent's test framework teardown.
template <typename Body>
pid_t Spawn(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = body();
        ::_exit(ok ? 0 : 1);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(RegistryProcessTest, TwoWritersAtOnceLoseNothing) {
    constexpr int kWrites = 300;
    ASSERT_TRUE(RegKey::Open(RegRoot::LocalMachine, kKey, RegOpen::Create));
    auto writer = [](char16_t prefix) {
        return [prefix] {
            RegKey key = RegKey::Open(RegRoot::LocalMachine, kKey);
            for (int i = 0; i < kWrites; ++i) {
                std::u16string name(1, prefix);
                for (char c : std::to_string(i)) {
                    name.push_back(static_cast<char16_t>(c));
                }
                if (!key.WriteDword(name, static_cast<std::uint32_t>(i))) {
                    return false;
                }
            }
            return true;
        };
    };
    const pid_t a = Spawn(writer(u'A'));
    const pid_t b = Spawn(writer(u'B'));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(WaitExit(a), 0);
    EXPECT_EQ(WaitExit(b), 0);

    RegKey key = RegKey::Open(RegRoot::LocalMachine, kKey);
    EXPECT_EQ(key.ValueNames().size(), 2u * kWrites);
    for (int i = 0; i < kWrites; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(key.ReadDword(u"A" + std::u16string(n.begin(), n.end())), std::uint32_t(i));
        EXPECT_EQ(key.ReadDword(u"B" + std::u16string(n.begin(), n.end())), std::uint32_t(i));
    }
    EXPECT_EQ(RegTakeLoadProblem(), "");
}

TEST_F(RegistryProcessTest, AKillDuringAWriteLeavesALoadableFile) {
    ASSERT_TRUE(RegKey::Open(RegRoot::LocalMachine, kKey, RegOpen::Create)
                    .WriteString(u"Before", u"kept"));
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 20000);
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = Spawn([round] {
            RegKey key = RegKey::Open(RegRoot::LocalMachine, kKey);
            // Grow the file so that writes take a while, then keep rewriting.
            for (std::uint32_t i = 0;; ++i) {
                key.WriteString(u"Round" + std::u16string(1, char16_t(u'a' + round)),
                                std::u16string(200 + i % 50, u'x'));
                key.WriteDword(u"Counter", i);
            }
            return true;
        });
        ASSERT_GT(child, 0);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(child, SIGKILL);
        EXPECT_EQ(WaitExit(child), 128 + SIGKILL);

        const auto parsed = regfile::ParseRegText(ReadText(HiveFile()));
        EXPECT_TRUE(parsed.issues.empty());
        RegKey key = RegKey::Open(RegRoot::LocalMachine, kKey);
        EXPECT_EQ(key.ReadString(u"Before"), u"kept");
        EXPECT_EQ(RegTakeLoadProblem(), "");
        // The lock died with the child: a write goes through at once.
        EXPECT_TRUE(key.WriteDword(u"Parent", static_cast<std::uint32_t>(round)));
    }
}

}  // namespace
}  // namespace qvl

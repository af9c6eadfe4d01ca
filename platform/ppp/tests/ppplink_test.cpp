#include "platform/ppp/ppplink.h"

#include "platform/ppp/pppsystem.h"
#include "platform/ppp/tests/fake_pppd_harness.h"
#include "platform/tests/test_home.h"

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace qvl::ppp {
namespace {

using test::FakePppd;
using test::PppdRecord;
using test::ProcessExists;

// A clock that moves only when the test says so.
class StepClock : public IClock {
  public:
    std::uint64_t now = 0;
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override { now += ms; }
};

class PppLinkTest : public testing::TestHome {
  protected:
    void SetUp() override {
        TestHome::SetUp();
        ASSERT_EQ(::openpty(&m_master, &m_slave, m_device, nullptr, nullptr), 0);
        EntrySettings e;
        e.name = u"Link";
        e.device = Utf8ToWideAscii(m_device);
        e.dialString = u"*99***1#";
        e.userName = u"guest";
        e.password = u"pw";
        m_folder = EntryFolder();
        ASSERT_EQ(WriteEntry(m_folder, e).problem, EntryProblem::None);
        m_paths = PathsOf(m_folder, e.name);
    }
    void TearDown() override {
        ::close(m_master);
        ::close(m_slave);
        TestHome::TearDown();
    }

    static std::u16string Utf8ToWideAscii(const char* text) {
        return std::u16string(text, text + std::char_traits<char>::length(text));
    }

    std::vector<std::string> Args() const {
        return PppdArguments(m_pppd.Program(), m_paths, true, PrivilegedOptions::OnCommandLine);
    }

    // Polls until pppd reaches state or ends (event-driven: each Poll waits on the log and
    // the process; the overall bound is generous).
    void RunUntil(PppLink& link, LinkState state) {
        for (int i = 0; i < 3000 && link.Running() && link.State() < state; ++i) {
            link.Poll(20);
        }
    }

    void RunToEnd(PppLink& link) {
        for (int i = 0; i < 3000 && link.Running(); ++i) {
            link.Poll(20);
        }
    }

    PppdRecord OnlyRecord() const {
        const auto records = m_pppd.Records();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? PppdRecord{} : records.front();
    }

    FakePppd m_pppd;
    int m_master = -1;
    int m_slave = -1;
    char m_device[256] = {};
    std::string m_folder;
    EntryPaths m_paths;
};

TEST_F(PppLinkTest, UpThenStoppedByItsPidWithoutAShell) {
    m_pppd.Script("up");
    PppLink link;
    std::vector<std::string> lines;
    link.onLine = [&](const std::string& line) { lines.push_back(line); };
    ASSERT_EQ(link.Start(Args(), m_paths.log), 0);
    const pid_t pid = link.Pid();
    RunUntil(link, LinkState::Up);
    ASSERT_EQ(link.State(), LinkState::Up);
    // The remote address is the line after the one that brought the link up.
    for (int i = 0; i < 500 && link.RemoteAddress().empty(); ++i) {
        link.Poll(20);
    }
    EXPECT_EQ(link.LocalAddress(), "10.64.1.2");
    EXPECT_EQ(link.RemoteAddress(), "10.64.64.64");
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "PAP authentication succeeded") !=
                lines.end());

    StepClock clock;
    link.Stop(kStopGraceMs, clock, [&] { clock.now += 10; });
    EXPECT_FALSE(link.Running());
    EXPECT_EQ(link.ExitCode(), 5);
    EXPECT_EQ(link.Failure(), LinkFailure::Canceled);
    EXPECT_EQ(link.State(), LinkState::Down);
    EXPECT_FALSE(ProcessExists(pid)) << "reaped, no zombie";

    const PppdRecord record = OnlyRecord();
    EXPECT_EQ(record.pid, pid) << "pppd itself is our child, not a shell";
    EXPECT_EQ(record.args, Args());
    EXPECT_EQ(record.env,
              (std::vector<std::string>{"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"}));
    EXPECT_EQ(record.Signals(), std::vector<std::string>{"15"});
    EXPECT_EQ(record.Value("nodetach"), "1");
    EXPECT_EQ(record.Value("noauth"), "1");
    EXPECT_EQ(record.Value("lock"), "1");
    EXPECT_EQ(record.Value("password"), "pw") << "read from the password file";
    EXPECT_EQ(record.Value("pgid_is_own"), "1");
    for (const std::string& arg : record.args) {
        EXPECT_EQ(arg.find("pw"), std::string::npos) << "no password on the command line: " << arg;
    }
}

TEST_F(PppLinkTest, OutcomesBecomeFailures) {
    struct Case {
        const char* outcome;
        LinkFailure failure;
        int exitCode;
        LinkState reached;
    };
    const Case cases[] = {
        {"chat-fail", LinkFailure::ChatTimeout, 8, LinkState::Dialing},
        {"auth-fail", LinkFailure::AuthFailed, 19, LinkState::Authenticating},
        {"killed", LinkFailure::Killed, -1, LinkState::Projection},
        {"hangup", LinkFailure::Hangup, 16, LinkState::Down},
        {"no-kernel", LinkFailure::NoKernelSupport, 4, LinkState::Starting},
        {"exit:6", LinkFailure::PortLocked, 6, LinkState::Starting},
        {"exit:7", LinkFailure::PortOpen, 7, LinkState::Starting},
        {"exit:2", LinkFailure::Options, 2, LinkState::Starting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        m_pppd.Script(c.outcome);
        PppLink link;
        ASSERT_EQ(link.Start(Args(), m_paths.log), 0);
        const pid_t pid = link.Pid();
        RunToEnd(link);
        EXPECT_FALSE(link.Running());
        EXPECT_EQ(link.Failure(), c.failure);
        EXPECT_EQ(link.ExitCode(), c.exitCode);
        EXPECT_EQ(link.State(), c.reached);
        EXPECT_FALSE(link.StoppedByUs());
        EXPECT_FALSE(ProcessExists(pid));
    }
}

TEST_F(PppLinkTest, StubbornPppdGetsSigkillAfterTheGraceTime) {
    m_pppd.Script("stubborn");
    PppLink link;
    ASSERT_EQ(link.Start(Args(), m_paths.log), 0);
    const pid_t pid = link.Pid();
    RunUntil(link, LinkState::Projection);
    StepClock clock;
    int waits = 0;
    // Each wait moves the clock a second on: SIGKILL follows after kStopGraceMs.
    link.Stop(kStopGraceMs, clock, [&] {
        ++waits;
        clock.now += 1000;
    });
    EXPECT_FALSE(link.Running());
    EXPECT_EQ(link.TermSignal(), SIGKILL);
    EXPECT_GE(waits, static_cast<int>(kStopGraceMs / 1000));
    EXPECT_FALSE(ProcessExists(pid));
    const PppdRecord record = OnlyRecord();
    EXPECT_FALSE(record.Signals().empty());
    EXPECT_EQ(record.Signals().front(), "15");
}

TEST_F(PppLinkTest, SpawnErrorsAndOnlyOurChildIsReaped) {
    PppLink missing;
    auto args = Args();
    args[0] = m_pppd.Dir() + "/no-such-pppd";
    EXPECT_EQ(missing.Start(args, m_paths.log), ENOENT);
    EXPECT_FALSE(missing.Running());

    // Another child of the program (as the host's own helpers would be) is left alone.
    const pid_t other = ::fork();
    if (other == 0) {
        ::_exit(42);
    }
    m_pppd.Script("exit:16");
    PppLink link;
    ASSERT_EQ(link.Start(Args(), m_paths.log), 0);
    RunToEnd(link);
    EXPECT_EQ(link.ExitCode(), 16);
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other) << "the other child was reaped by the link";
    EXPECT_EQ(WEXITSTATUS(status), 42);
}

TEST_F(PppLinkTest, DestroyingARunningLinkEndsAndReapsIt) {
    m_pppd.Script("never");
    pid_t pid = 0;
    {
        PppLink link;
        ASSERT_EQ(link.Start(Args(), m_paths.log), 0);
        pid = link.Pid();
        RunUntil(link, LinkState::Projection);
        EXPECT_TRUE(link.Running());
    }
    EXPECT_FALSE(ProcessExists(pid));
}

// The real pppd, where it is installed. These machines have no /dev/ppp: pppd ends with its
// "no kernel support" status, after reading our options. Where the kernel has PPP the test
// only checks that pppd got as far as running the dial script's modem (no peer answers here).
TEST_F(PppLinkTest, RealPppdOnThisKernel) {
    if (::access("/usr/sbin/pppd", X_OK) != 0) {
        GTEST_SKIP() << "pppd is not installed or not executable for this user";
    }
    if (::getuid() != 0 && !PeerFileInstalled()) {
        GTEST_SKIP() << "a user needs the peer file of qvl-install --system";
    }
    const auto privileged = ::getuid() == 0 && !PeerFileInstalled()
                                ? PrivilegedOptions::OnCommandLine
                                : PrivilegedOptions::FromPeerFile;
    PppLink link;
    ASSERT_EQ(link.Start(PppdArguments("/usr/sbin/pppd", m_paths, true, privileged), m_paths.log),
              0);
    const bool kernelHasPpp = ::access("/dev/ppp", F_OK) == 0;
    if (kernelHasPpp) {
        RunUntil(link, LinkState::Dialing);
        StepClock clock;
        link.Stop(kStopGraceMs, clock, [&] { clock.now += 10; });
        EXPECT_GE(link.State(), LinkState::Dialing);
        return;
    }
    RunToEnd(link);
    EXPECT_EQ(link.ExitCode(), 4) << link.Log().lastLine;
    EXPECT_EQ(link.Failure(), LinkFailure::NoKernelSupport);
    EXPECT_TRUE(link.Log().noKernelSupport) << link.Log().lastLine;
}

}  // namespace
}  // namespace qvl::ppp

// The wait for a data call with a clock the test moves: the overall limit, the route wait,
// Cancel, and the checks before pppd is started.
#include "common/dataconn/dataconn.h"

#include "base/text.h"
#include "platform/ppp/pppentry.h"
#include "platform/ppp/tests/fake_pppd_harness.h"
#include "platform/tests/test_home.h"

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qvl::dataconn {
namespace {

namespace fs = std::filesystem;
using ppp::LinkFailure;
using ppp::LinkState;

// Moves on only when told; counts sleeps, which a wait that pumps must never take.
class TestClock : public IClock {
  public:
    std::uint64_t now = 1000;
    int sleeps = 0;
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override {
        ++sleeps;
        now += ms;
    }
};

class Ui final : public IMessageBoxPort, public IMessagePump, public IProgressWindow {
  public:
    std::vector<std::string> messages;
    long pumps = 0;
    std::function<void()> onPump;
    bool canceled = false;

    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        messages.push_back(WideToUtf8(text));
        return MsgAnswer::Ok;
    }
    void PumpMessages() override {
        ++pumps;
        if (onPump) {
            onPump();
        }
    }
    void Create(int, int, int, bool) override {}
    void SetText(std::u16string_view, int) override {}
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled; }
    void Close() override {}
    void Destroy() override {}
};

class DialEntryTest : public testing::TestHome {
  protected:
    void SetUp() override {
        TestHome::SetUp();
        ASSERT_EQ(::openpty(&m_master, &m_slave, m_device, nullptr, nullptr), 0);
        WriteTestEntry(true, std::nullopt);
        m_options.clock = &m_clock;
        m_ports = UiPorts{&m_ui, &m_ui, &m_ui};
    }
    void TearDown() override {
        ::close(m_master);
        ::close(m_slave);
        TestHome::TearDown();
    }

    void WriteTestEntry(bool password, std::optional<std::uint32_t> gateway) {
        ppp::EntrySettings e;
        e.name = u"Test";
        e.device = Utf8ToWide(m_device);
        e.dialString = u"*99#";
        e.userName = u"u";
        e.password = password ? u"p" : u"";
        e.gateway = gateway;
        ASSERT_EQ(ppp::WriteEntry(ppp::EntryFolder(), e).problem, ppp::EntryProblem::None);
    }

    DialResult Dial() {
        return DialEntry(
            u"Test", m_ports, [&](LinkState s) { m_states.push_back(s); }, m_options);
    }

    ppp::test::FakePppd m_pppd;
    TestClock m_clock;
    Ui m_ui;
    UiPorts m_ports;
    DialOptions m_options;
    std::vector<LinkState> m_states;
    int m_master = -1;
    int m_slave = -1;
    char m_device[256] = {};
};

TEST_F(DialEntryTest, NeverConnectingEndsAtTheLimitWithoutSleeping) {
    m_pppd.Script("never");
    // Once pppd negotiates, every pump is a second: the limit comes after about 90 of them.
    m_ui.onPump = [&] {
        if (!m_states.empty() && m_states.back() == LinkState::Projection) {
            m_clock.now += 1000;
        }
    };
    const DialResult result = Dial();
    EXPECT_EQ(result.link, nullptr);
    EXPECT_EQ(result.failure, LinkFailure::TimedOut);
    EXPECT_GE(m_ui.pumps, static_cast<long>(kDialLimitMs / 1000));
    EXPECT_EQ(m_clock.sleeps, 0) << "the wait pumps; it never sleeps";
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0], "The data connection did not come up within 90 seconds.");
    const auto runs = m_pppd.Records();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Signals(), std::vector<std::string>{"15"});
    EXPECT_FALSE(ppp::test::ProcessExists(runs[0].pid));
    EXPECT_FALSE(fs::exists(ppp::PathsOf(ppp::EntryFolder(), u"Test").secrets));
}

TEST_F(DialEntryTest, EveryEndOfPppdEndsTheWait) {
    struct Case {
        const char* outcome;
        LinkFailure failure;
    };
    const Case cases[] = {
        {"auth-fail", LinkFailure::AuthFailed}, {"chat-fail", LinkFailure::ChatTimeout},
        {"killed", LinkFailure::Killed},        {"hangup", LinkFailure::Hangup},
        {"exit:7", LinkFailure::PortOpen},      {"exit:10", LinkFailure::Negotiation},
    };
    // A second a pump: a wait that missed the end would run into the limit.
    m_ui.onPump = [&] { m_clock.now += 1000; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        WriteTestEntry(true, std::nullopt);
        m_pppd.Script(c.outcome);
        const std::uint64_t before = m_clock.now;
        const DialResult result = Dial();
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_LT(m_clock.now - before, kDialLimitMs);
        EXPECT_FALSE(fs::exists(ppp::PathsOf(ppp::EntryFolder(), u"Test").secrets));
    }
}

TEST_F(DialEntryTest, CancelIsSeenWhileWaiting) {
    m_pppd.Script("never");
    // Cancel once pppd is negotiating, some pumps after the state came.
    m_ui.onPump = [&] {
        m_ui.canceled = !m_states.empty() && m_states.back() == LinkState::Projection;
    };
    const DialResult result = Dial();
    EXPECT_EQ(result.failure, LinkFailure::Canceled);
    EXPECT_TRUE(m_ui.messages.empty());
    const auto runs = m_pppd.Records();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Signals(), std::vector<std::string>{"15"});
    EXPECT_FALSE(ppp::test::ProcessExists(runs[0].pid));
}

TEST_F(DialEntryTest, LinkUpWaitsForTheRouteHookOrItsTime) {
    // With a gateway but no route hook installed, the call is up after kRouteWaitMs.
    WriteTestEntry(true, 0x0A000001u);
    m_pppd.Script("up");
    m_ui.onPump = [&] { m_clock.now += 500; };
    DialResult result = Dial();
    ASSERT_NE(result.link, nullptr);
    EXPECT_FALSE(result.link->RouteHookFinished());
    EXPECT_GE(m_ui.pumps, static_cast<long>(kRouteWaitMs / 500));
    EXPECT_EQ(m_states.front(), LinkState::Starting);
    EXPECT_EQ(m_states.back(), LinkState::Up);
    HangUp(*result.link, u"Test", m_ports, m_options);
    EXPECT_FALSE(result.link->Running());

    // With the hook, it is up as soon as the hook has run.
    m_pppd.InstallHooks();
    WriteTestEntry(true, 0x0A000001u);
    m_ui.pumps = 0;
    result = Dial();
    ASSERT_NE(result.link, nullptr);
    EXPECT_TRUE(result.link->RouteHookFinished());
    EXPECT_EQ(m_pppd.IpCalls(), std::vector<std::string>{"route replace 10.0.0.1/32 dev ppp0"});
    HangUp(*result.link, u"Test", m_ports, m_options);
}

TEST_F(DialEntryTest, ChecksBeforePppdIsStarted) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        LinkFailure failure;
        const char* message;
    };
    const std::string program = m_pppd.Dir() + "/pppd-not-executable";
    const Case cases[] = {
        {"no_pppd", [&] { ::setenv("QVL_PPPD", "/nonexistent/pppd", 1); },
         LinkFailure::NotInstalled, "The data connection needs pppd, which is not installed."},
        {"not_in_dip",
         [&] {
             std::ofstream(program) << "#!/bin/sh\n";
             ::chmod(program.c_str(), 0640);
             ::setenv("QVL_PPPD", program.c_str(), 1);
         },
         LinkFailure::NotPermitted, "You may not start pppd for the data connection."},
        {"password_gone", [&] { fs::remove(ppp::PathsOf(ppp::EntryFolder(), u"Test").secrets); },
         LinkFailure::NoPassword, "The password of the data connection is no longer stored."},
        {"no_entry", [&] { ppp::RemoveEntry(ppp::EntryFolder(), u"Test"); }, LinkFailure::NoEntry,
         "There is no data connection entry \"Test\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTestEntry(true, std::nullopt);
        ::setenv("QVL_PPPD", m_pppd.Program().c_str(), 1);
        m_ui.messages.clear();
        c.prepare();
        const DialResult result = Dial();
        EXPECT_EQ(result.failure, c.failure);
        ASSERT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(m_ui.messages[0].rfind(c.message, 0), 0u) << m_ui.messages[0];
    }
    EXPECT_TRUE(m_pppd.Records().empty());
    EXPECT_NE(FailureText(LinkFailure::NotPermitted, "").find(u"group \"dip\""),
              std::u16string::npos);
}

TEST(DataConnTextTest, PlaceholdersTakeTheValueAsItStands) {
    EXPECT_EQ(FillPlaceholder(u"a %s b %s", u"%s", u"x"), u"a x b %s");
    EXPECT_EQ(FillPlaceholder(u"no placeholder", u"%s", u"x"), u"no placeholder");
    EXPECT_EQ(FillPlaceholder(u"(%s)", u"%s", u"%d%s"), u"(%d%s)");
    EXPECT_TRUE(FailureText(LinkFailure::Canceled, "").empty());
    EXPECT_EQ(FailureText(LinkFailure::ChatRefused, "NO CARRIER")
                  .rfind(u"The modem refused the data call (NO CARRIER).", 0),
              0u);
}

TEST(CallTableTest, HandlesAreNeverZeroAndNotReused) {
    CallTable table;
    void* a = table.Add({});
    void* b = table.Add({});
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_TRUE(table.Take(a));
    EXPECT_FALSE(table.Take(a));
    EXPECT_FALSE(table.Find(nullptr));
    EXPECT_NE(table.Add({}), a);
    EXPECT_EQ(table.Size(), 2u);
}

}  // namespace
}  // namespace qvl::dataconn

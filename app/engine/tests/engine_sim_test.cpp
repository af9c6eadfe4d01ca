// The engine over a real pseudo-terminal against the modem simulator, through the same serial
// transport as for real hardware: session starts with the SIM in each state, restart, modem
// set-up, unsolicited events of calls and messages, and a modem that dies.
#include <dirent.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"
#include "base/text.h"
#include "tools/modemsim/modem_simulator.h"

namespace qvl {
namespace {

using testing::FakeClock;
using testing::FakeModemChooser;
using testing::FakeModemDirectory;
using testing::FakePinDialog;
using testing::FakePowerSupply;
using testing::RecordingEventSink;

int OpenDescriptors() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++n;
        }
        closedir(dir);
    }
    return n;
}

// The descriptor count once it satisfies ok, or what it is after a generous limit. A writer
// thread of the transport lets go of its copy of the port a moment after the write returned,
// later still on a loaded machine.
template <typename F>
int DescriptorsOnce(F ok) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int n = OpenDescriptors();
    while (!ok(n) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        n = OpenDescriptors();
    }
    return n;
}

class EngineSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvl-home-XXXXXX").string();
        m_home = mkdtemp(pattern.data());
        setenv("QVL_HOME", m_home.c_str(), 1);
        // Lock files would go to /run/lock; tests run side by side without them.
        setenv("QVL_LOCK_DIR", "", 1);
    }
    void TearDown() override {
        engine.reset();
        sim.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }

    // Starts the simulator with seed and an engine whose chooser picks it.
    void Boot(sim::ModemSeed seed = sim::DefaultSeed()) {
        sim = std::make_unique<sim::ModemSimulator>(seed);
        const std::string path = sim->Start();
        ASSERT_FALSE(path.empty()) << sim->LastError();
        const ModemEntry entry{u"Simulator", u"QVL Labs GSM-SIM 1", Utf8ToWide(path)};
        directory.entries = {entry};
        chooser.choice = entry;
        EnginePorts ports;
        ports.sink = &sink;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.modems = &directory;
        ports.clock = &clock;
        ports.power = &power;
        if (!useTextTable) {
            ports.text = testing::EnglishEngineText;
        }
        engine = std::make_unique<CPhoneEngine>(ports);
        engine->SetRestartPauseMs(20);
    }

    // A ready session with the set-up done and the operator known, events cleared.
    void Running() {
        pin.Answer(DialogResult::Ok, u"1234");
        ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        ASSERT_EQ(engine->InitModem(), 1);
        engine->ProcessDialer();
        ASSERT_EQ(engine->NetworkKnown(), true);
        ASSERT_EQ(engine->OperatorName(), u"QVL Mobile");
        sink.Clear();
    }

    // Poll steps (3 s apart on the engine's clock) until an event of this kind arrived.
    bool PollUntil(DialerEvent event, int steps = 10) {
        for (int i = 0; i < steps; ++i) {
            clock.Advance(3000);
            engine->ProcessDialer();
            if (sink.CountOf(event) > 0) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> Commands() const { return sim->CommandLog(); }

    std::string m_home;
    bool useTextTable = false;  // true: prompts from the program's text table
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CPhoneEngine> engine;
    RecordingEventSink sink;
    FakePinDialog pin;
    FakeModemChooser chooser;
    FakeModemDirectory directory;
    FakeClock clock;
    FakePowerSupply power;
};

TEST_F(EngineSimTest, SessionStartsInEachSimState) {
    struct Case {
        const char* name;
        void (*seed)(sim::ModemSeed&);
        std::vector<std::u16string> codes;
        int result;
        std::vector<DialerEvent> events;
        std::u16string storedPin;
        std::vector<std::u16string> prompts;
    };
    const std::vector<Case> cases = {
        {"pin",
         [](sim::ModemSeed&) {},
         {u"1234"},
         1,
         {DialerEvent::Searching},
         u"1234",
         {u"Please enter your PIN."}},
        {"wrong_pin_then_right",
         [](sim::ModemSeed&) {},
         {u"1111", u"1234"},
         1,
         {DialerEvent::Searching},
         u"1234",
         {u"Please enter your PIN.", u"Please enter your PIN."}},
        {"puk_and_new_pin",
         [](sim::ModemSeed& s) { s.sim.pinAttempts = 0; },
         {u"12345678", u"4321"},
         1,
         {DialerEvent::Searching},
         u"4321",
         {u"Please Provide PUK", u"Enter your New PIN"}},
        {"phone_code",
         [](sim::ModemSeed& s) {
             s.sim.pinEnabled = false;
             s.sim.phoneLockEnabled = true;
         },
         {u"00000000"},
         1,
         {DialerEvent::Searching},
         u"",
         {u"Please enter Phone Code"}},
        {"no_sim",
         [](sim::ModemSeed& s) { s.sim.present = false; },
         {},
         0,
         {DialerEvent::Searching, DialerEvent::NoSim},
         u"",
         {}},
        {"blocked_sim",
         [](sim::ModemSeed& s) {
             s.sim.pinAttempts = 0;
             s.sim.pukAttempts = 0;
         },
         {},
         0,
         {DialerEvent::Searching, DialerEvent::SimBlocked},
         u"",
         {}},
        {"pin_canceled",
         [](sim::ModemSeed&) {},
         {},
         0,
         {DialerEvent::Searching, DialerEvent::PinCanceled},
         u"",
         {u"Please enter your PIN."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ModemSeed seed = sim::DefaultSeed();
        c.seed(seed);
        sink.Clear();
        pin = FakePinDialog();
        for (const auto& code : c.codes) {
            pin.Answer(DialogResult::Ok, code);
        }
        Boot(seed);
        EXPECT_EQ(engine->StartSession(AutoPin::AskUser), c.result);
        EXPECT_EQ(sink.Codes(), c.events);
        EXPECT_EQ(testing::EnginePeer::StoredPin(*engine), c.storedPin);
        std::vector<std::u16string> prompts;
        for (const auto& shown : pin.shown) {
            prompts.push_back(shown.prompt);
        }
        EXPECT_EQ(prompts, c.prompts);
        if (c.result == 1) {
            EXPECT_EQ(engine->SimPinLock(), seed.sim.pinEnabled ? 1 : 0);
        }
        engine->StopSession();
    }
}

TEST_F(EngineSimTest, PinDialogShowsTheAttemptsLeft) {
    pin.Answer(DialogResult::Ok, u"1111");
    pin.Answer(DialogResult::Ok, u"1234");
    setenv("LANG", "C", 1);
    setenv("LC_MESSAGES", "C", 1);
    useTextTable = true;
    Boot();
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    ASSERT_EQ(pin.shown.size(), 2u);
    EXPECT_EQ(pin.shown[0].prompt, u"Please enter your PIN.");
    EXPECT_EQ(pin.shown[0].attempts, u"Attempts = 3");
    EXPECT_EQ(pin.shown[1].attempts, u"Attempts = 2");
}

TEST_F(EngineSimTest, RefusedPinNeverReachesTheTrace) {
    std::vector<std::u16string> traces;
    SetTraceHook([&](std::u16string_view text) { traces.emplace_back(text); });
    pin.Answer(DialogResult::Ok, u"9876");
    pin.Answer(DialogResult::Ok, u"1234");
    Boot();
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    SetTraceHook(nullptr);
    ASSERT_FALSE(traces.empty());  // the transport did trace the other commands
    for (const auto& t : traces) {
        EXPECT_EQ(t.find(u"9876"), std::u16string::npos) << WideToUtf8(t);
        EXPECT_EQ(t.find(u"1234"), std::u16string::npos) << WideToUtf8(t);
    }
}

TEST_F(EngineSimTest, SetUpTurnsEchoOnFirstAndFallsBackOnCnmi) {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.behaviour.echo = false;
    seed.behaviour.cnmiAccepted = {"1,1,0,2"};
    Boot(seed);
    pin.Answer(DialogResult::Ok, u"1234");
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    const std::size_t from = Commands().size();
    ASSERT_EQ(engine->InitModem(), 1);
    const std::vector<std::string> log = Commands();
    const std::vector<std::string> setUp(log.begin() + static_cast<std::ptrdiff_t>(from),
                                         log.end());
    const std::vector<std::string> expected = {"ATE1",        "AT+CLIP=1",       "AT+CNMI=1,1,0,1",
                                               "AT+CNMI=3,1", "AT+CNMI=1,1,0,2", "AT+CSSN=1,1",
                                               "AT+CCWA=1"};
    EXPECT_EQ(setUp, expected);
    // The modem now echoes: the answer to the next command begins with the command itself.
    ASSERT_TRUE(engine->AcquirePort());
    std::u16string response;
    EXPECT_TRUE(engine->Exchange(u"AT+CSQ\r", kCommandTimeoutMs, response, Dispatch::No));
    engine->ReleasePort();
    EXPECT_EQ(response.rfind(u"AT+CSQ\\r", 0), 0u) << WideToUtf8(response);
}

TEST_F(EngineSimTest, RestartReusesTheRememberedPortWithoutLeaks) {
    // Lock files in a folder of this test: one while a session runs, none after it stopped.
    const std::filesystem::path locks = std::filesystem::path(m_home) / "locks";
    std::filesystem::create_directories(locks);
    setenv("QVL_LOCK_DIR", locks.c_str(), 1);
    auto lockFiles = [&] {
        return std::distance(std::filesystem::directory_iterator(locks),
                             std::filesystem::directory_iterator());
    };
    Boot();
    const int before = OpenDescriptors();
    pin.Answer(DialogResult::Ok, u"1234");
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    EXPECT_EQ(lockFiles(), 1);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        engine->StopSession();
        EXPECT_EQ(DescriptorsOnce([&](int n) { return n == before; }), before);
        EXPECT_EQ(lockFiles(), 0);
        EXPECT_FALSE(engine->Port().mutex);
        const std::uint64_t pausedBefore = clock.slept;
        const std::size_t from = Commands().size();
        ASSERT_EQ(engine->StartSession(AutoPin::UseStoredPin), 1);
        EXPECT_GE(clock.slept - pausedBefore, 20u);
        EXPECT_EQ(chooser.offered.size(), 1u);  // the chooser ran only for the first session
        EXPECT_TRUE(sim->WaitForCommand("ATE1", 0, from));
        EXPECT_TRUE(sim->WaitForCommand("AT+CCWA=1", 0, from));
    }
    EXPECT_EQ(lockFiles(), 1);
    engine->StopSession();
    EXPECT_EQ(DescriptorsOnce([&](int n) { return n == before; }), before);
    EXPECT_EQ(lockFiles(), 0);
}

TEST_F(EngineSimTest, StatusQueriesReadTheHandset) {
    Boot();
    Running();
    sim->SetSignal(31);
    sim->SetRoaming(true);
    EXPECT_EQ(engine->GetsignalStrength(), 4);
    EXPECT_EQ(engine->IsRoaming(), 1);
    EXPECT_EQ(engine->IsGPRSAttached(), 1);
    EXPECT_EQ(engine->IsMailBoxFull(), 0);
    EXPECT_EQ(engine->GetVolumeLevel(), 3);  // +CLVL 125
    std::u16string number;
    EXPECT_EQ(engine->GetDivertStatus(number), 0);
    EXPECT_EQ(engine->GetOperatorCode(), 26201);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(EngineSimTest, IncomingCallMissedOrConnected) {
    Boot();
    Running();
    // Missed: the caller hangs up before anyone answers.
    ASSERT_GT(sim->InjectIncomingCall("+4930123456"), 0);
    ASSERT_TRUE(PollUntil(DialerEvent::IncomingCall));
    EXPECT_EQ(engine->DisplayText(), u"+4930123456");
    ASSERT_TRUE(sim->RemoteHangup(0));
    ASSERT_TRUE(PollUntil(DialerEvent::CallMissed));
    EXPECT_EQ(sink.CountOf(DialerEvent::IncomingCall), 1);
    EXPECT_EQ(sink.CountOf(DialerEvent::CallConnected), 0);

    // Connected: the user answers.
    sink.Clear();
    ASSERT_GT(sim->InjectIncomingCall("+4930999"), 0);
    ASSERT_TRUE(PollUntil(DialerEvent::IncomingCall));
    {
        std::lock_guard lock(engine->SessionLock());
        ASSERT_TRUE(engine->AcquirePort());
        std::u16string response;
        EXPECT_TRUE(engine->Exchange(u"ATA\r", kCommandTimeoutMs, response, Dispatch::Yes));
        engine->ReleasePort();
    }
    ASSERT_TRUE(PollUntil(DialerEvent::CallConnected));
    EXPECT_EQ(sink.CountOf(DialerEvent::IncomingCall), 1);
    EXPECT_EQ(sink.CountOf(DialerEvent::CallMissed), 0);

    // A second caller waits while the first call is up.
    sink.Clear();
    engine->CallConnected();
    ASSERT_TRUE(sim->InjectCallWaiting("+4930777"));
    ASSERT_TRUE(PollUntil(DialerEvent::CallWaiting));
    EXPECT_EQ(engine->DisplayText(), u"+4930777");
    engine->QueryCallList(Dispatch::Yes);
    std::u16string waiting;
    EXPECT_EQ(engine->WatchWaitingCall(waiting), WaitingWatch::StillWaiting);
    EXPECT_EQ(waiting, u"+4930777");

    // The far end hangs up: NO CARRIER.
    sink.Clear();
    ASSERT_TRUE(sim->RemoteHangup(0));
    ASSERT_TRUE(PollUntil(DialerEvent::NoCarrier));
}

TEST_F(EngineSimTest, MessageIndicationsReachTheSink) {
    Boot();
    Running();
    const int index =
        sim->InjectSms("06917228195339040B917228214365F700003130805120618005D4F29C2E03", "SM");
    ASSERT_GT(index, 0);
    ASSERT_TRUE(PollUntil(DialerEvent::NewSms));
    for (const auto& e : sink.events) {
        if (e.event == DialerEvent::NewSms) {
            EXPECT_EQ(e.arg, index);
        }
    }

    sink.Clear();
    ASSERT_TRUE(sim->InjectSupplementary(2));
    ASSERT_TRUE(PollUntil(DialerEvent::SuppService));
    for (const auto& e : sink.events) {
        if (e.event == DialerEvent::SuppService) {
            EXPECT_EQ(e.arg, 2);
        }
    }

    sink.Clear();
    std::optional<StatusReportRecord> kept;
    sink.hook = [&](const DialerEventMessage& m) {
        if (m.event == DialerEvent::StatusReport) {
            kept = m.report;
        }
    };
    ASSERT_TRUE(sim->InjectStatusReport("0006D60B911326880736F4111011719551401110117195714000"));
    ASSERT_TRUE(PollUntil(DialerEvent::StatusReport));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->number, u"+31628870634");
    EXPECT_EQ(kept->status, 0);
    EXPECT_FALSE(kept->serviceCentreTime.empty());
    EXPECT_FALSE(kept->dischargeTime.empty());
}

TEST_F(EngineSimTest, SixDeadModemEventsAskToRestartFiveThenAnotherEventDoNot) {
    Boot();
    Running();
    const int baseline = OpenDescriptors();
    DeadModemCounter counter;
    int questions = 0;
    sink.hook = [&](const DialerEventMessage& m) {
        if (counter.Feed(m.event)) {
            // The view's reaction: stop the session and ask whether to restart.
            ++questions;
            engine->StopSession();
        }
    };
    // Five silent answers, then any other event, then one more silent answer.
    sim->SetSilent(true);
    for (int i = 0; i < 5; ++i) {
        engine->GetsignalStrength();
    }
    EXPECT_EQ(counter.Count(), 5);
    sim->SetSilent(false);
    ASSERT_TRUE(sim->InjectSupplementary(1));
    ASSERT_TRUE(PollUntil(DialerEvent::SuppService));
    sim->SetSilent(true);
    engine->GetsignalStrength();
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(counter.Count(), 1);
    EXPECT_TRUE(engine->IsPortOpen());

    // The modem vanishes: every query finds it dead, and the sixth in a row stops the session.
    sim->SetSilent(false);
    engine->GetsignalStrength();  // a live answer in between
    sink.Clear();
    counter = DeadModemCounter();
    sim->DropLine();
    for (int i = 0; i < 6 && engine->IsPortOpen(); ++i) {
        engine->IsRoaming();
    }
    EXPECT_EQ(sink.CountOf(DialerEvent::CfCardError), 6);
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(engine->IsPortOpen());
    EXPECT_EQ(engine->Stopped(), true);
    EXPECT_LT(DescriptorsOnce([&](int n) { return n < baseline; }), baseline);  // port closed

    // The user says Yes, but the device is gone: the restart reports the port error cleanly.
    sink.hook = nullptr;
    sink.Clear();
    EXPECT_EQ(engine->StartSession(AutoPin::AskUser), 0);
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::PortError});
    EXPECT_FALSE(engine->IsPortOpen());
}

}  // namespace
}  // namespace qvl

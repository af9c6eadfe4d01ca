// The engine's logic over a scripted modem (no serial line): session flags, SIM dialogs, the
// poll rotation with an injectable clock, unsolicited events and the call table.
#include "app/engine/phoneengine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"

namespace qvl {
namespace {

using testing::CountingPump;
using testing::FakeClock;
using testing::FakeMessageBox;
using testing::FakeModemChooser;
using testing::FakeModemDirectory;
using testing::FakePinDialog;
using testing::FakePowerSupply;
using testing::FakeWindowMessenger;
using testing::RecordingEventSink;
using testing::ScriptedModemIo;

// Real modem bytes (CR LF) in the transport's escaped response form.
std::u16string Esc(std::string_view raw) {
    std::u16string text;
    AppendResponseText(text, reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    return text;
}

class NoProfiles final : public IOperatorProfiles {
  public:
    std::optional<std::u16string> OperatorNameForCode(std::int64_t code) override {
        asked.push_back(code);
        if (code == 26201) {
            return u"Telekom.de";
        }
        return std::nullopt;
    }
    std::vector<std::int64_t> asked;
};

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() {
        directory.entries = {{u"Cable", u"Simulated handset", u"/dev/ttySIM0"}};
        chooser.choice = directory.entries[0];
        io.On(u"AT+CPIN?", {Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
        EnginePorts ports;
        ports.sink = &sink;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.messages = &boxes;
        ports.pump = &pump;
        ports.io = &io;
        ports.modems = &directory;
        ports.clock = &clock;
        ports.power = &power;
        ports.profiles = &profiles;
        ports.messenger = &messenger;
        ports.text = testing::EnglishEngineText;
        engine = std::make_unique<CPhoneEngine>(ports);
        engine->SetRestartPauseMs(5000);
    }

    void StartReady() {
        ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        sink.Clear();
        io.written.clear();
    }
    // The first poll step after a start learns the operator.
    void KnowOperator() {
        io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"Testnet\"\r\n\r\nOK\r\n")});
        engine->ProcessDialer();
        ASSERT_EQ(engine->NetworkKnown(), true);
        sink.Clear();
        io.written.clear();
    }

    RecordingEventSink sink;
    FakePinDialog pin;
    FakeModemChooser chooser;
    FakeMessageBox boxes;
    CountingPump pump;
    ScriptedModemIo io;
    FakeModemDirectory directory;
    FakeClock clock;
    FakePowerSupply power;
    NoProfiles profiles;
    FakeWindowMessenger messenger;
    std::unique_ptr<CPhoneEngine> engine;
};

TEST_F(EngineTest, FirstSessionOpensChosenPortAndLeavesSetUpToTheView) {
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    EXPECT_EQ(io.opened, std::vector<std::u16string>{u"/dev/ttySIM0"});
    EXPECT_EQ(engine->PortName(), u"/dev/ttySIM0");
    EXPECT_EQ(engine->ModemName(), u"Simulated handset");
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::Searching});
    EXPECT_EQ(io.CountWritten(u"ATE1"), 0);
    EXPECT_EQ(engine->Stopped(), false);
    EXPECT_EQ(engine->SimReady(), true);
    EXPECT_EQ(engine->Busy(), false);
    EXPECT_TRUE(engine->Port().mutex);
    // Lock states read after the SIM: phone lock first, then the SIM PIN lock.
    ASSERT_GE(io.written.size(), 3u);
    EXPECT_EQ(io.written[io.written.size() - 2], u"AT+CLCK=\"ME\",2\r");
    EXPECT_EQ(io.written.back(), u"AT+CLCK=\"SC\",2\r");
}

TEST_F(EngineTest, MultiplexerModemUsesItsCommandChannelWithoutChooser) {
    directory.entries.push_back({u"GPRS_Modem", u"Mux", u"/dev/ttyMUX"});
    directory.channels[u"MPLCMD"] = {u"MPLCMD", u"Mux commands", u"/dev/ttyMUX1"};
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    EXPECT_TRUE(chooser.offered.empty());
    EXPECT_EQ(engine->PortName(), u"/dev/ttyMUX1");
    EXPECT_EQ(engine->MultiplexerModem(), true);
}

TEST_F(EngineTest, PortFailuresSendTheirEvents) {
    struct Case {
        const char* name;
        bool chooserCancels;
        int openError;
        DialerEvent event;
    };
    const Case cases[] = {
        {"chooser_canceled", true, 0, DialerEvent::CfCardError},
        {"open_failed", false, 13, DialerEvent::PortError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Clear();
        if (c.chooserCancels) {
            chooser.choice.reset();
        } else {
            chooser.choice = directory.entries[0];
        }
        io.openError = c.openError;
        EXPECT_EQ(engine->StartSession(AutoPin::AskUser), 0);
        EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{c.event});
        EXPECT_EQ(engine->Stopped(), true);
        EXPECT_FALSE(engine->IsPortOpen());
        EXPECT_EQ(engine->Busy(), false);
    }
}

TEST_F(EngineTest, SimAnswersDecideTheOutcome) {
    struct Case {
        const char* name;
        std::vector<std::u16string> cpin;
        std::vector<std::pair<DialogResult, std::u16string>> dialog;
        int result;
        std::vector<DialerEvent> events;
    };
    const std::u16string simPin = Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    const std::u16string ready = Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n");
    const std::vector<Case> cases = {
        {"no_sim", {Esc("\r\n+CME ERROR: 10\r\n")}, {}, 0, {DialerEvent::NoSim}},
        {"blocked", {Esc("\r\n+CPIN: BLOCKED\r\n\r\nOK\r\n")}, {}, 0, {DialerEvent::SimBlocked}},
        {"pin_canceled", {simPin}, {{DialogResult::Cancel, u""}}, 0, {DialerEvent::PinCanceled}},
        {"busy_then_ready",
         {Esc("\r\n+CPIN: BUSY\r\n"), Esc("\r\n+CPIN: BUSY\r\n"), ready},
         {},
         1,
         {}},
        {"silent_modem", {u""}, {}, 0, {DialerEvent::CfCardError}},
        {"garbage_forever", {Esc("\r\n+CPIN: ???\r\n")}, {}, 0, {DialerEvent::CfCardError}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine->StopSession();
        engine->ForgetLastModem();
        sink.Clear();
        io.On(u"AT+CPIN?", c.cpin);
        pin.script.clear();
        for (const auto& d : c.dialog) {
            pin.Answer(d.first, d.second);
        }
        EXPECT_EQ(engine->StartSession(AutoPin::AskUser), c.result);
        std::vector<DialerEvent> expected = {DialerEvent::Searching};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        EXPECT_EQ(sink.Codes(), expected);
        // A session without a ready SIM still runs (SOS only); the poll step goes on.
        EXPECT_EQ(engine->Stopped(), false);
        EXPECT_EQ(engine->SimReady(), c.result == 1);
    }
}

TEST_F(EngineTest, PinDialogShowsAttemptsAndStoresTheAcceptedPin) {
    io.On(u"AT+CPIN?",
          {Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"), Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"),
           Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
    io.On(u"AT+CPINC?",
          {Esc("\r\n+CPINC: 3,3,10,10\r\n\r\nOK\r\n"), Esc("\r\n+CPINC: 2,3,10,10\r\n\r\nOK\r\n")});
    io.On(u"AT+CPIN=\"1111\"", {Esc("\r\n+CME ERROR: 16\r\n")});
    pin.Answer(DialogResult::Ok, u"1111");
    pin.Answer(DialogResult::Ok, u"2222");
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    ASSERT_EQ(pin.shown.size(), 2u);
    EXPECT_EQ(pin.shown[0].prompt, u"Please enter your PIN.");
    EXPECT_EQ(pin.shown[0].attempts, u"Attempts = 3");
    EXPECT_EQ(pin.shown[1].attempts, u"Attempts = 2");
    EXPECT_EQ(testing::EnginePeer::StoredPin(*engine), u"2222");
    EXPECT_EQ(io.secretWrites, 2);
}

TEST_F(EngineTest, RefusedStoredPinIsSentOnceThenTheUserIsAsked) {
    engine->SetStoredPin(u"9999");
    io.On(u"AT+CPIN?",
          {Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"), Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"),
           Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
    io.On(u"AT+CPIN=\"9999\"", {Esc("\r\n+CME ERROR: 16\r\n")});
    pin.Answer(DialogResult::Ok, u"1234");
    ASSERT_EQ(engine->StartSession(AutoPin::UseStoredPin), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CPIN=\"9999\""), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CPIN=\"1234\""), 1);
    EXPECT_EQ(testing::EnginePeer::StoredPin(*engine), u"1234");
}

TEST_F(EngineTest, PhoneCodeCannotBeCanceled) {
    io.On(u"AT+CPIN?", {Esc("\r\n+CPIN: ME-CODE\r\n\r\nOK\r\n")});
    io.On(u"AT+CPIN=\"1111\"", {Esc("\r\nERROR\r\n")});
    pin.Answer(DialogResult::Cancel);
    pin.Answer(DialogResult::Ok, u"1111");
    pin.Answer(DialogResult::Ok, u"4321");
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    ASSERT_EQ(pin.shown.size(), 3u);
    EXPECT_EQ(pin.shown[0].prompt, u"Please enter Phone Code");
    EXPECT_EQ(io.CountWritten(u"AT+CPIN=\"4321\",\"4321\"\r"), 1);
}

// What the user types into the PIN dialog goes between the quotes of AT+CPIN; a code that is
// not digits of the right length (a quote and a second command, letters, too short) is never
// written. The SIM asks again and the next code is sent.
TEST_F(EngineTest, CodesThatAreNotDigitsNeverReachTheModem) {
    struct Row {
        const char* name;
        std::u16string cpin;
        std::vector<std::u16string> bad;  // what the user types first, in order
        std::vector<std::u16string> good;
        std::u16string sent;
    };
    const Row rows[] = {
        {"pin",
         Esc("\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"),
         {u"12\"\rAT+CMGD=1,4", u"12", u"123456789", u"12a4"},
         {u"1234"},
         u"AT+CPIN=\"1234\"\r"},
        {"puk and new pin",
         Esc("\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"),
         {u"1234567", u"1234", u"12345678", u"12\",\"1"},
         {u"87654321", u"4321"},
         u"AT+CPIN=\"87654321\",\"4321\"\r"},
        {"phone code",
         Esc("\r\n+CPIN: ME-CODE\r\n\r\nOK\r\n"),
         {u"9\"\r", u""},
         {u"4711"},
         u"AT+CPIN=\"4711\",\"4711\"\r"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        engine->StopSession();
        engine->ForgetLastModem();
        io.written.clear();
        pin.script.clear();
        // Each wrong entry is followed by AT+CPIN? answered with the same request; the good
        // code is accepted.
        io.On(row.sent.substr(0, row.sent.size() - 1), {Esc("\r\nOK\r\n")});
        for (const auto& code : row.bad) {
            pin.Answer(DialogResult::Ok, code);
        }
        for (const auto& code : row.good) {
            pin.Answer(DialogResult::Ok, code);
        }
        io.On(u"AT+CPIN?", {row.cpin, row.cpin, row.cpin, row.cpin, row.cpin,
                            Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
        EXPECT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        EXPECT_EQ(io.CountWritten(u"AT+CPIN=\""), 1);
        EXPECT_EQ(io.CountWritten(row.sent), 1);
    }
}

TEST_F(EngineTest, InitModemTurnsEchoOnFirstAndFallsBackOnCnmi) {
    StartReady();
    io.On(u"AT+CNMI=1,1,0,1", {Esc("\r\nERROR\r\n")});
    io.On(u"AT+CNMI=3,1", {Esc("\r\nERROR\r\n")});
    io.On(u"AT+CNMI=1,1,0,2", {Esc("\r\nERROR\r\n")});
    EXPECT_EQ(engine->InitModem(), 1);
    const std::vector<std::u16string> expected = {
        u"ATE1\r",        u"AT+CLIP=1\r",       u"AT+CNMI=1,1,0,1\r",
        u"AT+CNMI=3,1\r", u"AT+CNMI=1,1,0,2\r", u"AT+CSSN=1,1\r",
        u"AT+CCWA=1\r"};
    EXPECT_EQ(io.written, expected);

    io.written.clear();
    io.On(u"AT+CNMI=1,1,0,1", {Esc("\r\nOK\r\n")});
    EXPECT_EQ(engine->InitModem(), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CNMI"), 1);

    io.writeError = 5;
    EXPECT_EQ(engine->InitModem(), 0);
}

TEST_F(EngineTest, RestartReusesThePortAfterThePauseAndSetsUpTheModem) {
    StartReady();
    engine->StopSession();
    EXPECT_EQ(io.closes, 1);
    EXPECT_FALSE(engine->Port().mutex);
    EXPECT_EQ(engine->Stopped(), true);
    const std::uint64_t before = clock.now;
    ASSERT_EQ(engine->StartSession(AutoPin::UseStoredPin), 1);
    EXPECT_GE(clock.now - before, 5000u);
    EXPECT_EQ(io.opened.size(), 2u);
    EXPECT_EQ(io.opened[1], u"/dev/ttySIM0");
    EXPECT_EQ(chooser.offered.size(), 1u);
    EXPECT_EQ(io.written.front(), u"ATE1\r");
    EXPECT_EQ(io.CountWritten(u"AT+CCWA=1"), 1);
}

TEST_F(EngineTest, FailedSetUpOnRestartClosesThePort) {
    StartReady();
    engine->StopSession();
    io.writeError = 5;
    EXPECT_EQ(engine->StartSession(AutoPin::AskUser), 0);
    EXPECT_EQ(io.closes, 2);
    EXPECT_FALSE(io.isOpen);
    EXPECT_FALSE(engine->Port().mutex);
}

TEST_F(EngineTest, NothingButTheOperatorIsAskedBeforeItIsKnown) {
    StartReady();
    io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0\r\n\r\nOK\r\n")});
    for (int step = 0; step < 5; ++step) {
        engine->ProcessDialer();
        clock.Advance(3000);
    }
    for (const auto& w : io.written) {
        EXPECT_EQ(w.rfind(u"AT+COPS", 0), 0u) << ::testing::PrintToString(w);
    }
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(EngineTest, PollRotationOrderAndIntervals) {
    StartReady();
    KnowOperator();
    io.On(u"AT+CSQ", {Esc("\r\n+CSQ: 20,99\r\n\r\nOK\r\n")});
    // Step k runs the query of rotation index k % 7; the steps are 3 s apart.
    std::vector<std::vector<std::u16string>> steps;
    for (int step = 0; step < 14; ++step) {
        clock.Advance(3000);
        io.written.clear();
        engine->ProcessDialer();
        std::vector<std::u16string> queries;
        for (const auto& w : io.written) {
            if (w != u"AT+COPS=0,0\r") {
                queries.push_back(w);
            }
        }
        steps.push_back(queries);
    }
    using V = std::vector<std::u16string>;
    const std::vector<V> expected = {
        {u"AT+CSQ\r"},
        {u"AT+CGATT?\r"},
        {u"AT+CPMS?\r"},
        {u"AT+CREG?\r"},
        {u"AT+CLVL?\r"},
        // The battery step asks the modem nothing; 21 s after the first check the operator
        // (every 20 s) is asked again.
        {u"AT+CCFC=0,2,,,1\r"},
        {u"AT+COPS?\r"},
        // A rotation later (21 s): signal (10 s), GPRS (20 s) and volume (10 s) are due again,
        // mailbox and roaming (30 s) and forwarding (60 s) are not.
        {u"AT+CSQ\r"},
        {u"AT+CGATT?\r"},
        {},
        {},
        {u"AT+CLVL?\r"},
        {},
        {u"AT+COPS?\r"}};
    EXPECT_EQ(steps, expected);
    // Only changed values are sent; the divert state is sent on every run; the battery
    // (80 %, level 4) once.
    EXPECT_EQ(sink.CountOf(DialerEvent::Signal), 1);
    EXPECT_EQ(sink.events.front().arg, 3);
    EXPECT_EQ(sink.CountOf(DialerEvent::NotDiverted), 1);
    EXPECT_EQ(sink.CountOf(DialerEvent::Battery), 1);
    EXPECT_EQ(sink.CountOf(DialerEvent::GprsAttach), 0);
}

TEST_F(EngineTest, StepReturnsAtOnceWhenBusyStoppedOrOnlyDrainsWhenSuspended) {
    StartReady();
    KnowOperator();
    {
        CPhoneEngine::BusyScope busy(*engine);
        engine->ProcessDialer();
        EXPECT_TRUE(io.written.empty());
    }
    {
        CPhoneEngine::PollSuspension suspended(*engine);
        io.reads.clear();
        engine->ProcessDialer();
        EXPECT_TRUE(io.written.empty());
        EXPECT_EQ(io.reads, std::vector<std::uint32_t>{500});
    }
    testing::EnginePeer::SetStopped(*engine, true);
    engine->ProcessDialer();
    EXPECT_TRUE(io.written.empty());
}

// Nested scopes: an inner busy scope or suspension that ends leaves the outer one in force,
// as a call command run from inside another, or a dialog opened from a dialog, needs.
TEST_F(EngineTest, BusyScopesAndPollSuspensionsNest) {
    StartReady();
    KnowOperator();
    {
        CPhoneEngine::BusyScope outer(*engine);
        { CPhoneEngine::BusyScope inner(*engine); }
        EXPECT_TRUE(engine->Busy());
        engine->ProcessDialer();
        EXPECT_TRUE(io.written.empty());
    }
    EXPECT_FALSE(engine->Busy());
    {
        CPhoneEngine::PollSuspension outer(*engine);
        { CPhoneEngine::PollSuspension inner(*engine); }
        EXPECT_TRUE(engine->PollSuspended());
        // A session restart made while a dialog is open keeps the dialog's suspension.
        engine->SetRestartPauseMs(0);
        engine->StopSession();
        ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        EXPECT_TRUE(engine->PollSuspended());
    }
    EXPECT_FALSE(engine->PollSuspended());
    // An unpaired resume does not go below none.
    engine->ResumePoll();
    engine->SuspendPoll();
    EXPECT_TRUE(engine->PollSuspended());
    engine->ResumePoll();
    EXPECT_FALSE(engine->PollSuspended());
}

TEST_F(EngineTest, InCallStepRefreshesTheCallList) {
    StartReady();
    KnowOperator();
    engine->CallConnected();
    io.On(u"AT+CLCC", {Esc("\r\n+CLCC: 1,0,0,0,0,\"0301234\",129\r\n\r\nOK\r\n")});
    engine->ProcessDialer();
    EXPECT_EQ(io.written, std::vector<std::u16string>{u"AT+CLCC\r"});
    EXPECT_EQ(engine->CallCount(), 1);
    EXPECT_FALSE(engine->AllCallsHeld());
}

TEST_F(EngineTest, OperatorChangesAndLosses) {
    StartReady();
    KnowOperator();
    clock.Advance(21000);
    io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"Othernet\"\r\n\r\nOK\r\n")});
    engine->ProcessDialer();
    EXPECT_EQ(sink.CountOf(DialerEvent::Operator), 1);
    EXPECT_EQ(engine->DisplayText(), u"Othernet");

    clock.Advance(21000);
    io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0\r\n\r\nOK\r\n")});
    engine->ProcessDialer();
    EXPECT_EQ(sink.CountOf(DialerEvent::Searching), 1);
    EXPECT_EQ(engine->NetworkKnown(), false);
    EXPECT_TRUE(engine->OperatorName().empty());

    // A numeric operator takes the name of the MMS profile with that network code.
    io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"26201\"\r\n\r\nOK\r\n")});
    engine->ProcessDialer();
    EXPECT_EQ(engine->OperatorName(), u"Telekom.de");
    clock.Advance(21000);
    io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"26299\"\r\n\r\nOK\r\n")});
    engine->ProcessDialer();
    EXPECT_EQ(engine->OperatorName(), u"26299");
}

TEST_F(EngineTest, SilentModemIsReportedDeadByEveryDetector) {
    StartReady();
    KnowOperator();
    io.silent = true;
    using Query = int (CPhoneEngine::*)();
    const std::pair<const char*, Query> detectors[] = {
        {"signal", &CPhoneEngine::GetsignalStrength}, {"gprs", &CPhoneEngine::IsGPRSAttached},
        {"mailbox", &CPhoneEngine::IsMailBoxFull},    {"roaming", &CPhoneEngine::IsRoaming},
        {"volume", &CPhoneEngine::GetVolumeLevel},
    };
    for (const auto& [name, query] : detectors) {
        SCOPED_TRACE(name);
        sink.Clear();
        testing::EnginePeer::SetSimReady(*engine, true);
        EXPECT_EQ(((*engine).*query)(), 0);
        EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::CfCardError});
        EXPECT_EQ(engine->SimReady(), false);
    }
    sink.Clear();
    std::u16string number;
    EXPECT_EQ(engine->GetDivertStatus(number), 0);
    EXPECT_EQ(engine->DivertKnown(), false);
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::CfCardError});

    // CheckNetwork leaves the event to the poll step.
    sink.Clear();
    int status = 0;
    EXPECT_EQ(engine->CheckNetwork(number, status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(sink.events.empty());
    clock.Advance(21000);
    engine->ProcessDialer();
    EXPECT_EQ(sink.CountOf(DialerEvent::CfCardError), 2);  // operator check and the query
}

TEST(DeadModemCounterTest, SixInARowAskToRestartFiveThenAnotherEventDoNot) {
    struct Case {
        const char* name;
        std::vector<DialerEvent> events;
        std::vector<bool> asks;
    };
    const DialerEvent dead = DialerEvent::CfCardError;
    const std::vector<Case> cases = {
        {"six_dead",
         {dead, dead, dead, dead, dead, dead},
         {false, false, false, false, false, true}},
        {"five_dead_then_signal_then_dead",
         {dead, dead, dead, dead, dead, DialerEvent::Signal, dead},
         {false, false, false, false, false, false, false}},
        {"twelve_dead_ask_twice",
         std::vector<DialerEvent>(12, dead),
         {false, false, false, false, false, true, false, false, false, false, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeadModemCounter counter;
        std::vector<bool> asks;
        for (DialerEvent e : c.events) {
            asks.push_back(counter.Feed(e));
        }
        EXPECT_EQ(asks, c.asks);
    }
}

TEST(DeadModemCounterTest, AClosedDeviceIsLostAtOnce) {
    DeadModemCounter counter;
    EXPECT_TRUE(counter.Feed(DialerEvent::CfCardError, kDeviceClosed));
    EXPECT_EQ(counter.Count(), 0);
    // After two silent answers the closed device still ends it at once.
    EXPECT_FALSE(counter.Feed(DialerEvent::CfCardError));
    EXPECT_FALSE(counter.Feed(DialerEvent::CfCardError));
    EXPECT_TRUE(counter.Feed(DialerEvent::CfCardError, kDeviceClosed));
}

TEST_F(EngineTest, PollStepReportsAClosedDeviceWithoutAskingIt) {
    StartReady();
    sink.Clear();
    io.deviceLost = true;
    engine->ProcessDialer();
    ASSERT_EQ(sink.CountOf(DialerEvent::CfCardError), 1);
    EXPECT_EQ(sink.events.back().arg, kDeviceClosed);
    EXPECT_EQ(engine->SimReady(), false);
    // Nothing more was asked of a device that is gone.
    const auto writes = io.written.size();
    engine->ProcessDialer();
    EXPECT_EQ(io.written.size(), writes);
}

TEST_F(EngineTest, DivertStatusIsCachedUntilTheSessionRestarts) {
    StartReady();
    io.On(u"AT+CCFC", {Esc("\r\n+CCFC: 1,1,\"+491701234567\",145\r\n\r\nOK\r\n")});
    std::u16string number;
    EXPECT_EQ(engine->GetDivertStatus(number), 1);
    EXPECT_EQ(number, u"+491701234567");
    number.clear();
    EXPECT_EQ(engine->GetDivertStatus(number), 1);
    EXPECT_EQ(number, u"+491701234567");
    EXPECT_EQ(io.CountWritten(u"AT+CCFC"), 1);
    EXPECT_EQ(io.reads.back(), 25000u);
    engine->StopSession();
    EXPECT_EQ(engine->DivertKnown(), false);
}

TEST_F(EngineTest, UnsolicitedCodesBecomeEvents) {
    StartReady();
    struct Case {
        const char* name;
        std::string raw;
        bool consumed;
        std::vector<DialerEvent> events;
        std::int64_t arg;
        std::u16string display;
    };
    const std::vector<Case> cases = {
        {"new_sms_index_3", "\r\n+CMTI: \"SM\",3\r\n", true, {DialerEvent::NewSms}, 3, u""},
        {"supp_service_held", "\r\n+CSSU: 2\r\n", true, {DialerEvent::SuppService}, 2, u""},
        {"no_carrier", "\r\nNO CARRIER\r\n", true, {DialerEvent::NoCarrier}, 0, u""},
        {"call_waiting",
         "\r\n+CCWA: \"+4930999\",145,1\r\n",
         true,
         {DialerEvent::CallWaiting},
         0,
         u"+4930999"},
        {"call_waiting_cut_off", "\r\n+CCWA: \"+4930", true, {}, 0, u""},
        {"plain_ok", "\r\nOK\r\n", false, {}, 0, u""},
        {"empty", "", false, {}, 0, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Clear();
        testing::EnginePeer::SetDisplayText(*engine, u"");
        EXPECT_EQ(engine->HandleUnsolicited(Esc(c.raw)), c.consumed);
        EXPECT_EQ(sink.Codes(), c.events);
        if (!c.events.empty()) {
            EXPECT_EQ(sink.events[0].arg, c.arg);
        }
        EXPECT_EQ(engine->DisplayText(), c.display);
    }
}

// A modem that answers every read with another new-message indication: each exchange ends
// after a bounded number of reads, so the poll step and the commands return to the UI.
TEST_F(EngineTest, EndlessUnsolicitedLinesEndTheExchange) {
    StartReady();
    for (int i = 0; i < 1000; ++i) {
        io.Push(Esc("\r\n+CMTI: \"SM\"," + std::to_string(i) + "\r\n"));
    }
    io.reads.clear();
    std::u16string response;
    ASSERT_TRUE(engine->AcquirePort());
    EXPECT_TRUE(engine->Exchange(u"AT+CSQ\r", kStatusTimeoutMs, response, Dispatch::Yes));
    engine->ReleasePort();
    EXPECT_EQ(io.reads.size(), static_cast<std::size_t>(kMaxUnsolicitedPasses) + 1);
    // Every indication read was reported, the last one included.
    EXPECT_EQ(sink.CountOf(DialerEvent::NewSms), kMaxUnsolicitedPasses + 1);
}

TEST_F(EngineTest, StatusReportTravelsAsAnOwnedRecord) {
    StartReady();
    // SMS-STATUS-REPORT: no SMSC, MR 0x2E, recipient 4917... , both stamps, status 0.
    const std::string pdu =
        "0006"
        "2E"
        "0C91947143658709"
        "51605211334480"
        "51605211334580"
        "00";
    std::optional<StatusReportRecord> kept;
    sink.hook = [&](const DialerEventMessage& m) { kept = m.report; };
    EXPECT_TRUE(engine->HandleUnsolicited(Esc("\r\n+CDS: 25\r\n" + pdu + "\r\n")));
    ASSERT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::StatusReport});
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->number, u"+491734567890");
    EXPECT_EQ(kept->status, 0);
    EXPECT_FALSE(kept->dischargeTime.empty());

    // A cut-off report still reaches the view, with an empty record.
    sink.Clear();
    kept.reset();
    EXPECT_TRUE(engine->HandleUnsolicited(Esc("\r\n+CDS: 25")));
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, StatusReportRecord{});
}

TEST_F(EngineTest, RingingEndsAsMissedOrConnected) {
    StartReady();
    struct Case {
        const char* name;
        std::string afterRinging;  // +CLCC answer once the RINGs stopped
        std::vector<DialerEvent> end;
    };
    const std::string incoming = "\r\n+CLCC: 1,1,4,0,0,\"+4930123\",145\r\n\r\nOK\r\n";
    const std::vector<Case> cases = {
        {"caller_hung_up", "\r\nOK\r\n", {DialerEvent::CallMissed}},
        {"answered",
         "\r\n+CLCC: 1,1,0,0,0,\"+4930123\",145\r\n\r\nOK\r\n",
         {DialerEvent::CallConnected}},
        {"still_ringing", incoming, {}},
        {"clcc_fails", "\r\nERROR\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::EnginePeer::ForgetRing(*engine);
        sink.Clear();
        io.On(u"AT+CLCC", {Esc(incoming), Esc(c.afterRinging)});
        const std::u16string ring = Esc("\r\nRING\r\n\r\n+CLIP: \"+4930123\",145\r\n");
        EXPECT_TRUE(engine->HandleUnsolicited(ring));
        clock.Advance(2000);
        EXPECT_TRUE(engine->HandleUnsolicited(ring));
        EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::IncomingCall});
        EXPECT_EQ(engine->DisplayText(), u"+4930123");
        // Within 3 s of the last RING nothing is decided.
        clock.Advance(3000);
        EXPECT_FALSE(engine->HandleUnsolicited(u""));
        EXPECT_EQ(sink.events.size(), 1u);
        clock.Advance(1);
        EXPECT_FALSE(engine->HandleUnsolicited(u""));
        std::vector<DialerEvent> expected = {DialerEvent::IncomingCall};
        expected.insert(expected.end(), c.end.begin(), c.end.end());
        EXPECT_EQ(sink.Codes(), expected);
        EXPECT_EQ(testing::EnginePeer::Ringing(*engine), c.end.empty());
    }
}

TEST_F(EngineTest, RingWithoutCallerIdShowsEmptyText) {
    StartReady();
    testing::EnginePeer::SetDisplayText(*engine, u"old");
    EXPECT_TRUE(engine->HandleUnsolicited(Esc("\r\nRING\r\n")));
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::IncomingCall});
    EXPECT_EQ(engine->DisplayText(), u"");
}

TEST_F(EngineTest, CallListKeepsItsTableWithoutOk) {
    StartReady();
    io.On(u"AT+CLCC",
          {Esc("\r\n+CLCC: 1,0,1,0,0,\"1\",129\r\n+CLCC: 2,0,1,0,0,\"2\",129\r\n\r\nOK\r\n"),
           Esc("\r\n+CLCC: 1,0,0,0,0,\"1\",129\r\n")});
    engine->QueryCallList(Dispatch::Yes);
    EXPECT_EQ(engine->CallCount(), 2);
    EXPECT_TRUE(engine->AllCallsHeld());
    engine->QueryCallList(Dispatch::Yes);
    EXPECT_EQ(engine->CallCount(), 2);
}

TEST_F(EngineTest, WaitingCallWatch) {
    struct Case {
        const char* name;
        std::vector<CallEntry> table;
        std::u16string remembered;
        WaitingWatch result;
        bool missed;
    };
    const std::vector<Case> cases = {
        {"still_waiting",
         {{1, 0, 0, 0, u"111"}, {2, 1, 5, 0, u"222"}},
         u"",
         WaitingWatch::StillWaiting,
         false},
        {"taken_now_active",
         {{1, 0, 1, 0, u"111"}, {2, 1, 0, 0, u"222"}},
         u"222",
         WaitingWatch::Taken,
         false},
        {"taken_now_held", {{2, 1, 1, 0, u"222"}}, u"222", WaitingWatch::Taken, false},
        {"gone", {{1, 0, 0, 0, u"111"}}, u"222", WaitingWatch::Gone, true},
        {"no_calls", {}, u"222", WaitingWatch::Gone, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.Clear();
        testing::EnginePeer::SetCalls(*engine, c.table);
        std::u16string remembered = c.remembered;
        EXPECT_EQ(engine->WatchWaitingCall(remembered), c.result);
        EXPECT_EQ(sink.CountOf(DialerEvent::CallMissed), c.missed ? 1 : 0);
        EXPECT_EQ(engine->Busy(), false);
        if (c.result == WaitingWatch::StillWaiting) {
            EXPECT_EQ(remembered, u"222");
        }
    }
}

TEST_F(EngineTest, TodayItemIsToldOnlyWhenItRuns) {
    engine->NotifyTodayItem(1, 4);
    EXPECT_TRUE(messenger.sent.empty());
    messenger.published.push_back(u"QVLDialerToday");
    engine->NotifyTodayItem(1, 4);
    ASSERT_EQ(messenger.sent.size(), 1u);
    EXPECT_EQ(messenger.sent[0].message, 1324u);
    EXPECT_EQ(messenger.sent[0].wParam, 1);
    EXPECT_EQ(messenger.sent[0].lParam, 4);
    EXPECT_TRUE(messenger.sent[0].posted);
}

TEST_F(EngineTest, HandlerThatStopsTheSessionInsideAnExchangeIsSafe) {
    StartReady();
    KnowOperator();
    // The view stops the session from inside an event sent in the middle of a status query
    // (the sixth dead-modem event does this); the query must end cleanly.
    io.silent = true;
    sink.hook = [&](const DialerEventMessage& m) {
        if (m.event == DialerEvent::CfCardError) {
            engine->StopSession();
        }
    };
    EXPECT_EQ(engine->GetsignalStrength(), 0);
    EXPECT_EQ(engine->Stopped(), true);
    EXPECT_FALSE(engine->IsPortOpen());
    EXPECT_EQ(io.closes, 1);
}

}  // namespace
}  // namespace qvl

// The call commands against the engine over a scripted modem: what is sent, what the view
// shows, and the edge cases of the call buttons, DTMF, volume and the call timer.
#include "app/calls/callcommands.h"

#include <gtest/gtest.h>

#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"

namespace qvl {
namespace {

using testing::FakeClock;
using testing::FakeMessageBox;
using testing::RecordingEventSink;
using testing::ScriptedModemIo;

std::u16string Esc(std::string_view raw) {
    std::u16string out;
    for (char c : raw) {
        if (c == '\r') {
            out += u"\\r";
        } else if (c == '\n') {
            out += u"\\n";
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u16string Text(int id) {
    const std::string digits = std::to_string(id);
    return u"T" + std::u16string(digits.begin(), digits.end());
}

class FakeCallView : public ICallView {
  public:
    std::u16string NumberText() const override { return number; }
    void SetNumberText(const std::u16string& t) override { number = t; }
    void SetCallLine(const std::u16string& t) override { callLine = t; }
    void SetCallStateLine(const std::u16string& t) override { stateLine = t; }
    std::u16string TimerLine() const override { return timerLine; }
    void SetTimerLine(const std::u16string& t) override { timerLine = t; }
    void SetStatusLine(const std::u16string& t) override { statusLine = t; }
    void ShowCallOptionsButton(bool shown) override { optionsShown = shown; }
    void FillCallList(const std::vector<CallEntry>& calls) override { rows = calls; }
    void ShowKeypad() override { keypad = true; }
    void Redraw() override {}
    void StartCallTimer() override { callTimer = true; }
    void StopCallTimer() override { callTimer = false; }
    void StartClearTimer() override { clearTimer = true; }
    void StopClearTimer() override { clearTimer = false; }
    void StartWaitingWatch() override { watch = true; }
    void StopWaitingWatch() override { watch = false; }
    void StartVoiceRing() override { ring = true; }
    void StopRing() override { ring = false; }
    void ShowCallBubble(const std::u16string& html, const std::u16string&) override {
        bubble = html;
    }
    void RemoveCallBubble() override { bubble.clear(); }
    bool DialerOnScreen() const override { return onScreen; }
    std::u16string LookupCallerName(const std::u16string&) override { return name; }

    std::u16string number, callLine, stateLine, timerLine, statusLine = u"Testnet", bubble, name;
    bool optionsShown = false, keypad = false, callTimer = false, clearTimer = false;
    bool watch = false, ring = false, onScreen = true;
    std::vector<CallEntry> rows;
};

class CallsTest : public ::testing::Test {
  protected:
    CallsTest() {
        io.On(u"AT+CPIN?", {Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
        directory.entries = {{u"Cable", u"Simulated", u"/dev/ttySIM0"}};
        chooser.choice = directory.entries[0];
        EnginePorts ports;
        ports.sink = &sink;
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
        EXPECT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        UiPorts ui;
        ui.messages = &boxes;
        calls = std::make_unique<CallCommands>(*engine, view, ui, Text, &clock);
        sink.hook = [this](const DialerEventMessage& m) { calls->OnCallEvent(m); };
        io.written.clear();
    }
    void InCallWith(std::string_view clcc) {
        io.On(u"AT+CLCC", {Esc(std::string("\r\n") + std::string(clcc) + "\r\nOK\r\n")});
        engine->CallConnected();
        engine->QueryCallList(Dispatch::No);
        io.written.clear();
    }

    RecordingEventSink sink;
    testing::FakeModemChooser chooser;
    FakeMessageBox boxes;
    testing::CountingPump pump;
    ScriptedModemIo io;
    testing::FakeModemDirectory directory;
    FakeClock clock{1000000};
    testing::FakePowerSupply power;
    struct NoProfiles : IOperatorProfiles {
        std::optional<std::u16string> OperatorNameForCode(std::int64_t) override { return {}; }
    } profiles;
    testing::FakeWindowMessenger messenger;
    std::unique_ptr<CPhoneEngine> engine;
    FakeCallView view;
    std::unique_ptr<CallCommands> calls;
};

TEST(CallFormat, DurationAndVolumeTable) {
    EXPECT_EQ(FormatCallDuration(0), u"00:00:00");
    EXPECT_EQ(FormatCallDuration((3600 + 2 * 60 + 5) * 1000 + 999), u"01:02:05");
    EXPECT_EQ(FormatCallDuration(100ull * 3600 * 1000), u"100:00:00");
    const int expected[] = {0, 25, 75, 125, 180, 225};
    for (int level = 0; level <= 5; ++level) {
        EXPECT_EQ(VolumeTableValue(level), expected[level]) << level;
    }
}

TEST(CallFormat, BubbleCarriesCallerAndBothCommands) {
    const std::u16string html = CallBubbleHtml(u"Anna", Text);
    EXPECT_NE(html.find(u"T5118Anna ?"), std::u16string::npos);
    EXPECT_NE(html.find(u"name='cmd:9898' value='T5119'"), std::u16string::npos);
    EXPECT_NE(html.find(u"name='cmd:8989' value='T5120'"), std::u16string::npos);
    // A name holding markup stays text.
    const std::u16string hostile = CallBubbleHtml(u"<a href='x'>A & B</a>", Text);
    EXPECT_NE(hostile.find(u"T5118&lt;a href=&#39;x&#39;&gt;A &amp; B&lt;/a&gt; ?"),
              std::u16string::npos);
    EXPECT_EQ(hostile.find(u"<a "), std::u16string::npos);
}

struct DialRow {
    const char* name;
    std::string answer;
    std::u16string stateLine;
    int attempts;
    int inCall;
};

TEST_F(CallsTest, DialOutcomes) {
    const DialRow rows[] = {
        {"connected", "\r\nOK\r\n", u"T5096", 1, 1},
        {"no dial tone", "\r\nNO DIALTONE\r\n", u"T5114", 4, 0},
        {"error", "\r\nERROR\r\n", u"T5115", 4, 0},
        // A framed NO CARRIER is taken as the lost-carrier event (the call list is rebuilt and
        // the call texts end), and the empty read that follows is dialled again.
        {"no carrier", "\r\nNO CARRIER\r\n", u"", 4, 0},
        {"unframed no carrier", "NO CARRIER", u"T5116", 4, 0},
        // A busy line and a call nobody takes are failures, not a call being set up.
        {"busy", "\r\nBUSY\r\n", u"T5114", 4, 0},
        {"no answer", "\r\nNO ANSWER\r\n", u"T5115", 4, 0},
        {"extended error", "\r\n+CME ERROR: 30\r\n", u"T5115", 4, 0},
    };
    for (const DialRow& row : rows) {
        SCOPED_TRACE(row.name);
        engine->CallEnded();
        view = FakeCallView();
        io.written.clear();
        io.On(u"ATD", {Esc(row.answer)});
        view.number = u"0301234";
        calls->CallButton();
        EXPECT_EQ(io.CountWritten(u"ATD0301234;\r"), row.attempts);
        EXPECT_EQ(view.stateLine, row.stateLine);
        EXPECT_EQ(view.callLine, u"<-0301234");
        EXPECT_EQ(engine->InCall(), row.inCall == 1);
        // Ringing time is not call time: the timer waits for the far end's answer.
        EXPECT_FALSE(view.callTimer);
        EXPECT_EQ(calls->AwaitingAnswer(), row.inCall == 1);
        EXPECT_EQ(engine->Busy(), false);
    }
}

TEST_F(CallsTest, GsmCodesAndEmptyNumberAreNotDialled) {
    for (const char16_t* number : {u"*#06#", u"#21#", u""}) {
        view.number = number;
        calls->CallButton();
    }
    EXPECT_EQ(io.CountWritten(u"ATD"), 0);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0], u"T5037");
}

// A number that is not a dial string never reaches the modem: a carriage return would end
// "ATD" early and start a second command of the caller's choosing. Whether it comes from the
// number field or from DialNumber (contacts, voice mail, speed dial), the dial failure text is
// shown and nothing at all is written.
TEST_F(CallsTest, UndialableNumbersAreRefusedWithoutAWrite) {
    struct Row {
        const char* name;
        std::u16string number;
    };
    const Row rows[] = {
        {"second command after CR", u"123;\rAT+CMGD=1,4"},
        {"semicolon", u"123;"},
        {"quote", u"12\"3"},
        {"plus inside", u"49+301234"},
        {"blank", u"030 1234"},
        {"plus alone", u"+"},
        {"letters", u"0800FLOWERS"},
        {"too long", std::u16string(81, u'1')},
    };
    for (const bool fromDialNumber : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (fromDialNumber ? " (DialNumber)" : ""));
            view = FakeCallView();
            io.written.clear();
            if (fromDialNumber) {
                calls->DialNumber(row.number);
            } else {
                view.number = row.number;
                calls->CallButton();
            }
            EXPECT_TRUE(io.written.empty());
            EXPECT_EQ(view.stateLine, u"T5115");
            EXPECT_FALSE(engine->InCall());
            EXPECT_FALSE(engine->Busy());
        }
    }
    // The longest accepted number, with pauses and a DTMF suffix, is dialled as it stands.
    const std::u16string longest = u"+" + std::u16string(70, u'4') + u"p,w*12#";
    ASSERT_EQ(longest.size(), 78u);
    io.On(u"ATD", {Esc("\r\nOK\r\n")});
    calls->DialNumber(longest);
    EXPECT_EQ(io.CountWritten(u"ATD" + longest + u";\r"), 1);
}

TEST_F(CallsTest, DialWithStoppedEngineFailsAtOnce) {
    testing::EnginePeer::SetStopped(*engine, true);
    view.number = u"123";
    calls->CallButton();
    EXPECT_EQ(view.stateLine, u"T5115");
    EXPECT_EQ(io.CountWritten(u"ATD"), 0);
}

TEST_F(CallsTest, IncomingCallAnswered) {
    testing::EnginePeer::SetDisplayText(*engine, u"+4930123");
    view.onScreen = false;
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    EXPECT_TRUE(calls->Ringing());
    EXPECT_TRUE(view.ring);
    EXPECT_EQ(view.callLine, u"->+4930123");
    EXPECT_EQ(view.stateLine, u"T5106..");
    EXPECT_NE(view.bubble.find(u"+4930123"), std::u16string::npos);
    calls->CallButton();
    EXPECT_EQ(io.CountWritten(u"ATA\r"), 1);
    EXPECT_FALSE(calls->Ringing());
    EXPECT_FALSE(view.ring);
    EXPECT_TRUE(view.bubble.empty());
    EXPECT_EQ(engine->InCall(), true);
    EXPECT_TRUE(view.callTimer);
    EXPECT_TRUE(view.optionsShown);
}

TEST_F(CallsTest, IncomingCallRejectedSendsAth) {
    testing::EnginePeer::SetDisplayText(*engine, u"");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    EXPECT_EQ(view.callLine, u"->T5105");
    EXPECT_TRUE(view.bubble.empty());  // the dialer is on screen: no bubble
    calls->HangUpButton();
    EXPECT_EQ(io.CountWritten(u"ATH\r"), 1);
    EXPECT_FALSE(calls->Ringing());
    EXPECT_FALSE(view.ring);
}

TEST_F(CallsTest, MissedCallShowsTheCaller) {
    testing::EnginePeer::SetDisplayText(*engine, u"555");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    calls->OnCallEvent({DialerEvent::CallMissed, 0, {}});
    EXPECT_EQ(view.callLine, u"X555");
    EXPECT_EQ(view.stateLine, u"T5107");
    EXPECT_FALSE(view.ring);
    // A second missed event without ringing changes nothing.
    view.stateLine = u"other";
    calls->OnCallEvent({DialerEvent::CallMissed, 0, {}});
    EXPECT_EQ(view.stateLine, u"other");
}

TEST_F(CallsTest, HangUpWithOneActiveCallReleasesItByIndex) {
    InCallWith("+CLCC: 3,0,0,0,0,\"123\",129");
    calls->HangUpButton();
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=13\r"), 1);
    EXPECT_EQ(io.CountWritten(u"ATH"), 0);
    EXPECT_EQ(engine->InCall(), false);
}

TEST_F(CallsTest, HangUpWithTwoCallsAsksForCallOptions) {
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129\r\n+CLCC: 2,1,1,0,0,\"456\",129");
    calls->HangUpButton();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], u"T5036");
    EXPECT_EQ(io.CountWritten(u"AT+CHLD"), 0);
    EXPECT_EQ(engine->InCall(), true);
}

TEST_F(CallsTest, HangUpIdleClearsTheNumber) {
    view.number = u"12";
    calls->HangUpButton();
    EXPECT_EQ(view.number, u"");
    EXPECT_TRUE(io.written.empty());
}

TEST_F(CallsTest, CallOptionCommandsAndRefusal) {
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129\r\n+CLCC: 2,1,1,0,0,\"456\",129");
    calls->CallOptionCommand(1071, -1);
    calls->CallOptionCommand(1072, 2);
    EXPECT_FALSE(calls->CallOptionCommand(1073, -1));  // two calls, no row selected: nothing
    calls->CallOptionCommand(1074, -1);
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=2\r"), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=22\r"), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=1"), 0);
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=3\r"), 1);
    EXPECT_EQ(view.rows.size(), 2u);
    io.On(u"AT+CHLD", {Esc("\r\nERROR\r\n")});
    calls->CallOptionCommand(1069, -1);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back(), u"T5019");
}

TEST_F(CallsTest, DtmfTypesOnlyOnOk) {
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129");
    calls->KeypadKey(u'5');
    EXPECT_EQ(io.CountWritten(u"AT+VTS=5\r"), 1);
    EXPECT_EQ(view.number, u"5");
    io.On(u"AT+VTS", {Esc("\r\nERROR\r\n")});
    calls->KeypadKey(u'#');
    EXPECT_EQ(io.CountWritten(u"AT+VTS=#\r"), 1);
    EXPECT_EQ(view.number, u"5");
}

TEST_F(CallsTest, KeysTypeWithoutDtmfWhenIdleOrAllHeld) {
    calls->KeypadKey(u'1');
    InCallWith("+CLCC: 1,0,1,0,0,\"123\",129");
    calls->KeypadKey(u'2');
    EXPECT_EQ(io.CountWritten(u"AT+VTS"), 0);
    EXPECT_EQ(view.number, u"12");
    calls->Backspace();
    calls->Backspace();
    calls->Backspace();
    EXPECT_EQ(view.number, u"");
}

TEST_F(CallsTest, VolumeLimitsAndRefusal) {
    calls->SetStoredVolume(5);
    calls->VolumeUp();
    EXPECT_EQ(io.CountWritten(u"AT+CLVL"), 0);
    calls->VolumeDown();
    EXPECT_EQ(io.CountWritten(u"AT+CLVL=180\r"), 1);
    EXPECT_EQ(calls->Volume(), 4);
    io.On(u"AT+CLVL", {Esc("\r\nERROR\r\n")});
    calls->VolumeDown();
    EXPECT_EQ(calls->Volume(), 4);
    calls->SetStoredVolume(0);
    io.written.clear();
    calls->VolumeDown();
    EXPECT_TRUE(io.written.empty());
}

TEST_F(CallsTest, CallTimerAndEndOfCall) {
    testing::EnginePeer::SetDisplayText(*engine, u"1");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    calls->CallButton();
    clock.Advance((3600 + 2 * 60 + 5) * 1000);
    calls->OnCallTimerTick();
    EXPECT_EQ(view.timerLine, u"01:02:05");
    io.On(u"AT+CLCC", {Esc("\r\nOK\r\n")});
    calls->OnCallEvent({DialerEvent::NoCarrier, 0, {}});
    EXPECT_EQ(engine->InCall(), false);
    EXPECT_FALSE(view.callTimer);
    EXPECT_EQ(view.stateLine, u"01:02:05");
    EXPECT_EQ(view.timerLine, u"");
    EXPECT_TRUE(view.keypad);
    EXPECT_TRUE(view.clearTimer);
    EXPECT_EQ(view.statusLine, u"Testnet");  // the operator stays in the top line
    calls->OnClearTimer();
    EXPECT_EQ(view.callLine, u"");
    EXPECT_EQ(view.stateLine, u"");
}

TEST_F(CallsTest, EndOfUntimedCallKeepsTheMissedText) {
    testing::EnginePeer::SetDisplayText(*engine, u"555");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    calls->OnCallEvent({DialerEvent::CallMissed, 0, {}});
    io.On(u"AT+CLCC", {Esc("\r\nOK\r\n")});
    calls->RebuildCallList();
    EXPECT_EQ(view.stateLine, u"T5107");
    // The missed call stays until the next call or the hang-up key.
    EXPECT_FALSE(view.clearTimer);
    calls->HangUpButton();
    EXPECT_EQ(view.callLine, u"");
    EXPECT_EQ(view.stateLine, u"");
}

// The call-list refresh that ends the call may run before the missed event (the caller gave up
// between two reads): the clear timer it armed must not take the missed call away.
TEST_F(CallsTest, MissedCallAfterTheEndOfCallStepStays) {
    testing::EnginePeer::SetDisplayText(*engine, u"555");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    io.On(u"AT+CLCC", {Esc("\r\nOK\r\n")});
    calls->RebuildCallList();
    EXPECT_TRUE(view.clearTimer);
    calls->OnCallEvent({DialerEvent::CallMissed, 0, {}});
    EXPECT_FALSE(view.clearTimer);
    EXPECT_EQ(view.callLine, u"X555");
    EXPECT_EQ(view.stateLine, u"T5107");
}

struct AnswerRow {
    const char* name;
    std::string clcc;
    bool timed;
};

TEST_F(CallsTest, OutgoingCallIsTimedFromTheAnswer) {
    const AnswerRow rows[] = {
        {"dialling", "+CLCC: 1,0,2,0,0,\"0301\",129", false},
        {"alerting", "+CLCC: 1,0,3,0,0,\"0301\",129", false},
        {"answered", "+CLCC: 1,0,0,0,0,\"0301\",129", true},
        {"answered and held at once", "+CLCC: 1,0,1,0,0,\"0301\",129", true},
    };
    for (const AnswerRow& row : rows) {
        SCOPED_TRACE(row.name);
        engine->CallEnded();
        view = FakeCallView();
        io.On(u"ATD", {Esc("\r\nOK\r\n")});
        view.number = u"0301";
        calls->CallButton();
        EXPECT_EQ(view.stateLine, u"T5096");
        clock.Advance(20000);  // the far end rings for 20 s
        InCallWith(row.clcc);
        calls->OnCallTableRefreshed();
        EXPECT_EQ(view.callTimer, row.timed);
        EXPECT_EQ(view.stateLine, row.timed ? u"" : u"T5096");
        if (row.timed) {
            clock.Advance(5000);
            calls->OnCallTimerTick();
            EXPECT_EQ(view.timerLine, u"00:00:05");
        }
    }
}

TEST_F(CallsTest, AnsweredCallKeepsItsTimerWhenTheRingingEnds) {
    testing::EnginePeer::SetDisplayText(*engine, u"1");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    InCallWith("+CLCC: 1,1,0,0,0,\"1\",129");
    calls->CallButton();
    clock.Advance(3000);
    // The engine notices the end of the RINGs only now and reports the call as connected.
    calls->OnCallEvent({DialerEvent::CallConnected, 0, {}});
    clock.Advance(2000);
    calls->OnCallTimerTick();
    EXPECT_EQ(view.timerLine, u"00:00:05");
}

TEST_F(CallsTest, RejectedCallLeavesNoIncomingText) {
    testing::EnginePeer::SetDisplayText(*engine, u"777");
    calls->OnCallEvent({DialerEvent::IncomingCall, 0, {}});
    io.On(u"AT+CLCC", {Esc("\r\nOK\r\n")});
    calls->HangUpButton();
    EXPECT_EQ(view.callLine, u"");
    EXPECT_EQ(view.stateLine, u"");
}

struct OptionsRow {
    const char* name;
    std::vector<std::pair<int, int>> calls;  // state, multiparty
    CallOptionStates expected;
};

bool operator==(const CallOptionStates& a, const CallOptionStates& b) {
    return a.hold == b.hold && a.retrieve == b.retrieve && a.swap == b.swap &&
           a.answers == b.answers && a.privateCall == b.privateCall && a.release == b.release &&
           a.conference == b.conference;
}

TEST(CallOptions, EachCommandOnlyWhereItApplies) {
    //                                   hold  retr  swap  answ  priv  rel   conf
    const OptionsRow rows[] = {
        {"no call", {}, {false, false, false, false, false, false, false}},
        {"one active", {{0, 0}}, {true, false, false, false, false, true, false}},
        {"one held", {{1, 0}}, {false, true, false, false, false, true, false}},
        {"dialling", {{2, 0}}, {false, false, false, false, false, true, false}},
        {"active and held", {{0, 0}, {1, 0}}, {false, false, true, false, false, true, true}},
        {"active and waiting", {{0, 0}, {5, 0}}, {false, false, true, true, false, true, false}},
        {"held and waiting", {{1, 0}, {5, 0}}, {false, false, true, true, false, true, false}},
        {"conference", {{0, 1}, {0, 1}}, {true, false, false, false, true, true, false}},
        {"conference held", {{1, 1}, {1, 1}}, {false, true, false, false, false, true, false}},
    };
    for (const OptionsRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<CallEntry> calls;
        int index = 1;
        for (const auto& [state, multiparty] : row.calls) {
            CallEntry e;
            e.index = index++;
            e.state = state;
            e.multiparty = multiparty;
            e.number = u"1";
            calls.push_back(e);
        }
        EXPECT_TRUE(CallOptionsFor(calls) == row.expected);
    }
}

TEST_F(CallsTest, ReleaseWithoutASelectedRow) {
    InCallWith("+CLCC: 4,0,0,0,0,\"123\",129");
    EXPECT_TRUE(calls->CallOptionCommand(1073, -1));  // the only call
    EXPECT_EQ(io.CountWritten(u"AT+CHLD=14\r"), 1);
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129\r\n+CLCC: 2,1,1,0,0,\"456\",129");
    EXPECT_FALSE(calls->CallOptionCommand(1073, -1));
    EXPECT_FALSE(calls->CallOptionCommand(1072, -1));
    EXPECT_EQ(io.CountWritten(u"AT+CHLD"), 0);
}

TEST_F(CallsTest, WaitingCallBlocksTheButtonsUntilTheWatchEnds) {
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129\r\n+CLCC: 2,1,5,0,0,\"777\",129");
    testing::EnginePeer::SetDisplayText(*engine, u"777");
    calls->OnCallEvent({DialerEvent::CallWaiting, 0, {}});
    EXPECT_TRUE(calls->Waiting());
    EXPECT_TRUE(view.watch);
    EXPECT_EQ(view.stateLine, u"T5112..");
    calls->CallButton();
    calls->HangUpButton();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0], u"T5014");
    EXPECT_EQ(boxes.shown[1], u"T5013");
    EXPECT_TRUE(io.written.empty());
    calls->OnWaitingWatchTick();
    EXPECT_TRUE(view.watch);
    // The waiting call became the active one.
    InCallWith("+CLCC: 1,0,1,0,0,\"123\",129\r\n+CLCC: 2,1,0,0,0,\"777\",129");
    calls->OnWaitingWatchTick();
    EXPECT_FALSE(view.watch);
    EXPECT_FALSE(calls->Waiting());
    EXPECT_FALSE(calls->Ringing());
    EXPECT_FALSE(view.ring);
}

TEST_F(CallsTest, AbandonedWaitingCallIsMissed) {
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129\r\n+CLCC: 2,1,5,0,0,\"777\",129");
    testing::EnginePeer::SetDisplayText(*engine, u"777");
    calls->OnCallEvent({DialerEvent::CallWaiting, 0, {}});
    calls->OnWaitingWatchTick();
    InCallWith("+CLCC: 1,0,0,0,0,\"123\",129");
    calls->OnWaitingWatchTick();
    EXPECT_FALSE(view.watch);
    EXPECT_EQ(view.callLine, u"X777");
    EXPECT_EQ(view.stateLine, u"T5107");
}

TEST_F(CallsTest, SupplementaryServiceTexts) {
    const std::pair<int, std::u16string> rows[] = {{0, u"T5108"}, {2, u"T5109"}, {3, u"T5110"},
                                                   {4, u"T5111"}, {1, u"T5111"}, {-1, u"T5111"}};
    for (const auto& [code, text] : rows) {
        calls->OnCallEvent({DialerEvent::SuppService, code, {}});
        EXPECT_EQ(view.stateLine, text) << code;
    }
}

}  // namespace
}  // namespace qvl

// The network selection, call settings, security codes and modem information over a scripted
// modem: the commands sent, the messages shown and the engine state left behind, including
// refusals in every AT+CMEE form, silence and bad input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/scriptedengine.h"
#include "app/services/callsettings.h"
#include "app/services/networkselection.h"
#include "app/services/securitycodes.h"
#include "common/lang/lang.h"

namespace qvl::services {
namespace {

using qvl::testing::Esc;

// The progress window: what it showed, and a Cancel the test can press.
class FakeProgress final : public IProgressWindow {
  public:
    void Create(int, int maximum, int, bool cancellable) override {
        ++created;
        open = true;
        lastMaximum = maximum;
        lastCancellable = cancellable;
    }
    void SetText(std::u16string_view text, int position) override {
        texts.emplace_back(text);
        positions.push_back(position);
    }
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled; }
    void Close() override { open = false; }
    void Destroy() override { open = false; }

    int created = 0;
    bool open = false;
    int lastMaximum = 0;
    bool lastCancellable = false;
    bool canceled = false;
    std::vector<std::u16string> texts;
    std::vector<int> positions;
};

// The answer of a modem with echo: the command, then the result lines.
std::u16string Echoed(std::string_view command, std::string_view rest) {
    return Esc(std::string(command) + "\r\r\n" + std::string(rest));
}

class ServicesTest : public ::testing::Test, protected qvl::testing::ScriptedEngine {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartReady());
        ASSERT_TRUE(KnowOperator());
        context = std::make_unique<ServiceContext>(
            ServiceContext{*engine, UiPorts{&boxes, &pump, &progress},
                           [](int id) { return LoadLocalString(id); }, &pin});
    }
    // The commands written since the last call.
    std::vector<std::u16string> Sent() {
        std::vector<std::u16string> sent = io.written;
        io.written.clear();
        return sent;
    }
    std::u16string LastShown() const { return boxes.shown.empty() ? u"" : boxes.shown.back(); }

    FakeProgress progress;
    std::unique_ptr<ServiceContext> context;
};

// ---------------------------------------------------------------- forwarding and waiting

TEST_F(ServicesTest, ForwardingCommands) {
    struct Row {
        const char* name;
        std::function<int(CallForwarding&)> run;
        std::vector<std::u16string> answers;  // for the commands, in order
        std::vector<std::u16string> sent;
        int message;
    };
    const Row rows[] = {
        {"enable not reachable for fax",
         [](CallForwarding& f) { return f.Enable(3, ServiceClass::Fax); },
         {Echoed("AT+CCFC=3,1,,,4", "OK\r\n")},
         {u"AT+CCFC=3,1,,,4\r"},
         kMsgEnabled},
        {"enable refused",
         [](CallForwarding& f) { return f.Enable(0, ServiceClass::Voice); },
         {Echoed("AT+CCFC=0,1,,,1", "+CME ERROR: 3\r\n")},
         {u"AT+CCFC=0,1,,,1\r"},
         kMsgEnableFailed},
        {"enable without the echo",
         [](CallForwarding& f) { return f.Enable(0, ServiceClass::Voice); },
         {Esc("\r\nOK\r\n")},
         {u"AT+CCFC=0,1,,,1\r"},
         kMsgEnableFailed},
        {"disable always for voice",
         [](CallForwarding& f) { return f.Disable(0, ServiceClass::Voice); },
         {Echoed("AT+CCFC=0,0,,,1", "OK\r\n")},
         {u"AT+CCFC=0,0,,,1\r"},
         kMsgDisabled},
        {"disable unanswered",
         [](CallForwarding& f) { return f.Disable(0, ServiceClass::Voice); },
         {u""},
         {u"AT+CCFC=0,0,,,1\r"},
         kMsgFailed},
        {"unregister busy for data",
         [](CallForwarding& f) { return f.Unregister(1, ServiceClass::Data); },
         {Echoed("AT+CCFC=1,4,,,2", "OK\r\n")},
         {u"AT+CCFC=1,4,,,2\r"},
         kMsgUnregistered},
        {"register an international number: type 145",
         [](CallForwarding& f) { return f.Register(0, ServiceClass::Voice, u"+4930123", 0); },
         {Echoed("AT+CCFC=0,3,\"+4930123\",145,1", "OK\r\n")},
         {u"AT+CCFC=0,3,\"+4930123\",145,1\r"},
         kMsgRegistered},
        {"register a national number: type 129",
         [](CallForwarding& f) { return f.Register(1, ServiceClass::Voice, u"0301234", 0); },
         {Echoed("AT+CCFC=1,3,\"0301234\",129,1", "OK\r\n")},
         {u"AT+CCFC=1,3,\"0301234\",129,1\r"},
         kMsgRegistered},
        {"register no reply after 20 s",
         [](CallForwarding& f) { return f.Register(2, ServiceClass::Voice, u"0301", 3); },
         {Echoed("AT+CCFC=2,3,\"0301\",129,1,,,20", "OK\r\n")},
         {u"AT+CCFC=2,3,\"0301\",129,1,,,20\r"},
         kMsgRegistered},
        {"no reply: the time refused, registered without it",
         [](CallForwarding& f) { return f.Register(2, ServiceClass::Voice, u"0301", 3); },
         {Echoed("AT+CCFC=2,3,\"0301\",129,1,,,20", "ERROR\r\n"),
          Echoed("AT+CCFC=2,3,\"0301\",129,1", "OK\r\n")},
         {u"AT+CCFC=2,3,\"0301\",129,1,,,20\r", u"AT+CCFC=2,3,\"0301\",129,1\r"},
         kMsgRegistered},
        {"no reply: refused twice",
         [](CallForwarding& f) { return f.Register(2, ServiceClass::Voice, u"0301", 0); },
         {Echoed("AT+CCFC=2,3,\"0301\",129,1,,,5", "ERROR\r\n"),
          Echoed("AT+CCFC=2,3,\"0301\",129,1", "+CME ERROR: 30\r\n")},
         {u"AT+CCFC=2,3,\"0301\",129,1,,,5\r", u"AT+CCFC=2,3,\"0301\",129,1\r"},
         kMsgFailed},
        {"register without a number",
         [](CallForwarding& f) { return f.Register(0, ServiceClass::Voice, u"", 0); },
         {},
         {},
         kMsgEnterNumber},
        {"register a number that is no number",
         [](CallForwarding& f) {
             return f.Register(0, ServiceClass::Voice, u"0301\";\rAT+CLCK=\"SC\",0", 0);
         },
         {},
         {},
         kMsgInvalidNumber},
        {"no condition selected",
         [](CallForwarding& f) { return f.Enable(-1, ServiceClass::Voice); },
         {},
         {},
         kMsgSelectCondition},
        {"query: voice diverted",
         [](CallForwarding& f) { return f.QueryStatus(0, ServiceClass::Voice); },
         {Echoed("AT+CCFC=0,2,,,1", "+CCFC: 1,1,\"+123\",145\r\n\r\nOK\r\n")},
         {u"AT+CCFC=0,2,,,1\r"},
         kMsgDivertedTo},
        {"query: off for every class",
         [](CallForwarding& f) { return f.QueryStatus(3, ServiceClass::Voice); },
         {Echoed("AT+CCFC=3,2,,,1", "+CCFC: 0,7\r\n\r\nOK\r\n")},
         {u"AT+CCFC=3,2,,,1\r"},
         kMsgDisabled},
        {"query: the fax line decides",
         [](CallForwarding& f) { return f.QueryStatus(0, ServiceClass::Fax); },
         {Echoed("AT+CCFC=0,2,,,4", "+CCFC: 1,1,\"+111\",145\r\n+CCFC: 0,4\r\n\r\nOK\r\n")},
         {u"AT+CCFC=0,2,,,4\r"},
         kMsgDisabled},
        {"query refused",
         [](CallForwarding& f) { return f.QueryStatus(0, ServiceClass::Voice); },
         {Echoed("AT+CCFC=0,2,,,1", "+CME ERROR: no network service\r\n")},
         {u"AT+CCFC=0,2,,,1\r"},
         kMsgFailed},
    };
    for (const Row& row : rows) {
        io.script.clear();
        std::vector<std::u16string> answers = row.answers;
        if (!answers.empty()) {
            io.On(u"AT+CCFC", answers);
        }
        boxes.shown.clear();
        Sent();
        CallForwarding forwarding(*context);
        EXPECT_EQ(row.run(forwarding), row.message) << row.name;
        EXPECT_EQ(Sent(), row.sent) << row.name;
        // One message, whatever the number of commands.
        ASSERT_EQ(boxes.shown.size(), 1u) << row.name;
        if (row.message != kMsgDivertedTo) {
            EXPECT_EQ(LastShown(), LoadLocalString(row.message)) << row.name;
        }
        EXPECT_FALSE(progress.open) << row.name;
        EXPECT_FALSE(engine->Busy()) << row.name;
    }
}

TEST_F(ServicesTest, DivertedToFillsTheNumberAsText) {
    io.On(u"AT+CCFC", {Echoed("AT+CCFC=0,2,,,1", "+CCFC: 1,1,\"+12%s3\",145\r\n\r\nOK\r\n")});
    CallForwarding forwarding(*context);
    EXPECT_EQ(forwarding.QueryStatus(0, ServiceClass::Voice), kMsgDivertedTo);
    // The number goes in once, as text: its own "%s" is not filled again.
    std::u16string expected = LoadLocalString(kMsgDivertedTo);
    expected.replace(expected.find(u"%s"), 2, u"+12%s3");
    EXPECT_EQ(LastShown(), expected);
}

TEST_F(ServicesTest, ChangesOfForwardingForgetTheDivertNoticeQueriesDoNot) {
    std::u16string number;
    ASSERT_TRUE(engine->AcquirePort());
    engine->GetDivertStatus(number);
    engine->ReleasePort();
    ASSERT_TRUE(engine->DivertKnown());
    CallForwarding forwarding(*context);
    forwarding.QueryStatus(0, ServiceClass::Voice);
    EXPECT_TRUE(engine->DivertKnown());
    forwarding.Disable(0, ServiceClass::Voice);
    EXPECT_FALSE(engine->DivertKnown());
}

TEST_F(ServicesTest, WaitingCommands) {
    struct Row {
        const char* name;
        int (CallWaiting::*run)();
        std::u16string answer;
        std::u16string sent;
        int message;
    };
    const Row rows[] = {
        {"enable", &CallWaiting::Enable, Echoed("AT+CCWA=1,1,1", "OK\r\n"), u"AT+CCWA=1,1,1\r",
         kMsgEnabled},
        {"enable refused", &CallWaiting::Enable, Echoed("AT+CCWA=1,1,1", "+CME ERROR: 30\r\n"),
         u"AT+CCWA=1,1,1\r", kMsgFailed},
        {"disable", &CallWaiting::Disable, Echoed("AT+CCWA=1,0,1", "OK\r\n"), u"AT+CCWA=1,0,1\r",
         kMsgDisabled},
        {"query: on", &CallWaiting::QueryStatus,
         Echoed("AT+CCWA=1,2,1", "+CCWA: 1,1\r\n\r\nOK\r\n"), u"AT+CCWA=1,2,1\r", kMsgEnabled},
        {"query: off", &CallWaiting::QueryStatus,
         Echoed("AT+CCWA=1,2,1", "+CCWA: 0,1\r\n\r\nOK\r\n"), u"AT+CCWA=1,2,1\r", kMsgDisabled},
        // A query that gets nothing, or an error, tells nothing about the service.
        {"query unanswered", &CallWaiting::QueryStatus, u"", u"AT+CCWA=1,2,1\r", kMsgFailed},
        {"query refused", &CallWaiting::QueryStatus, Echoed("AT+CCWA=1,2,1", "ERROR\r\n"),
         u"AT+CCWA=1,2,1\r", kMsgFailed},
    };
    for (const Row& row : rows) {
        io.On(u"AT+CCWA", {row.answer});
        boxes.shown.clear();
        Sent();
        CallWaiting waiting(*context);
        EXPECT_EQ((waiting.*row.run)(), row.message) << row.name;
        EXPECT_EQ(Sent(), std::vector<std::u16string>{row.sent}) << row.name;
        EXPECT_EQ(boxes.shown, std::vector<std::u16string>{LoadLocalString(row.message)})
            << row.name;
    }
}

TEST_F(ServicesTest, NothingIsSentOrShownWhenThePortIsClosed) {
    engine->StopSession();
    Sent();
    CallForwarding forwarding(*context);
    CallWaiting waiting(*context);
    SecurityCodes codes(*context);
    NetworkSelection networks(*context);
    pin.Answer(DialogResult::Ok, u"1234");
    EXPECT_EQ(forwarding.Enable(0, ServiceClass::Voice), 0);
    EXPECT_EQ(waiting.QueryStatus(), 0);
    EXPECT_EQ(codes.ChangeCode(2, u"1234", u"4321", u"4321"), 0);
    EXPECT_EQ(codes.ToggleLock(LockFacility::SimPin), 0);
    EXPECT_FALSE(networks.Automatic());
    EXPECT_EQ(networks.Search(), SearchOutcome::PortClosed);
    const ModemInfo info = ReadModemInfo(*context);
    EXPECT_EQ(info.version + info.model + info.manufacturer + info.imei, u"");
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(engine->Busy());
    EXPECT_FALSE(progress.open);
}

// ---------------------------------------------------------------- network selection

const char* const kThreeNetworks =
    "+COPS: (2,\"Quorvel Net\",\"QVL\",\"26201\",0),(1,\"Other Net\",\"Other\",\"26202\",2),"
    "(3,\"Closed Net\",\"Closed\",\"26203\",0),,(0-4),(0-2)\r\n\r\nOK\r\n";

// The status of each listed network, in the list's order.
std::vector<NetworkStatus> Statuses(const NetworkSelection& selection) {
    std::vector<NetworkStatus> statuses;
    for (const NetworkEntry& entry : selection.Networks()) {
        statuses.push_back(entry.status);
    }
    return statuses;
}

TEST_F(ServicesTest, SearchListsTheNetworks) {
    io.On(u"AT+COPS=?", {Echoed("AT+COPS=?", kThreeNetworks)});
    NetworkSelection selection(*context);
    EXPECT_EQ(selection.Search(), SearchOutcome::Listed);
    EXPECT_EQ(Sent(), std::vector<std::u16string>{u"AT+COPS=?\r"});
    ASSERT_EQ(selection.Networks().size(), 3u);
    EXPECT_TRUE(CanRegister(selection.Networks()[1]));
    EXPECT_FALSE(CanRegister(selection.Networks()[2]));
    EXPECT_TRUE(progress.lastCancellable);
    EXPECT_EQ(progress.texts.front(), LoadLocalString(kTextGettingNetworks));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ServicesTest, SearchWithoutAListSaysSo) {
    const std::u16string answers[] = {Echoed("AT+COPS=?", "+CME ERROR: 30\r\n"),
                                      Echoed("AT+COPS=?", ",,(0-4),(0-2)\r\n\r\nOK\r\n")};
    for (const std::u16string& answer : answers) {
        io.On(u"AT+COPS=?", {answer});
        boxes.shown.clear();
        NetworkSelection selection(*context);
        EXPECT_EQ(selection.Search(), SearchOutcome::NoNetworks);
        EXPECT_TRUE(selection.Networks().empty());
        EXPECT_EQ(boxes.shown, std::vector<std::u16string>{LoadLocalString(kMsgNoNetworks)});
    }
}

TEST_F(ServicesTest, CanceledSearchKeepsTheListAndAbortsTheCommand) {
    io.On(u"AT+COPS=?", {Echoed("AT+COPS=?", kThreeNetworks)});
    NetworkSelection selection(*context);
    ASSERT_EQ(selection.Search(), SearchOutcome::Listed);
    io.silent = true;
    progress.canceled = true;
    Sent();
    EXPECT_EQ(selection.Search(), SearchOutcome::Canceled);
    EXPECT_EQ(Sent(), (std::vector<std::u16string>{u"AT+COPS=?\r", u"\r"}));
    EXPECT_EQ(selection.Networks().size(), 3u);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(progress.open);
}

TEST_F(ServicesTest, RegisterOutcomes) {
    struct Row {
        const char* name;
        int index;
        std::u16string answer;
        std::vector<std::u16string> sent;
        RegisterOutcome outcome;
        int message;  // 0: none
    };
    const Row rows[] = {
        {"registered",
         1,
         Echoed("AT+COPS=1,2,\"26202\"", "OK\r\n"),
         {u"AT+COPS=1,2,\"26202\"\r"},
         RegisterOutcome::Registered,
         0},
        {"denied with ERROR",
         1,
         Echoed("AT+COPS=1,2,\"26202\"", "ERROR\r\n"),
         {u"AT+COPS=1,2,\"26202\"\r"},
         RegisterOutcome::Denied,
         kMsgRegistrationDenied},
        {"denied with +CME ERROR",
         1,
         Echoed("AT+COPS=1,2,\"26202\"", "+CME ERROR: 32\r\n"),
         {u"AT+COPS=1,2,\"26202\"\r"},
         RegisterOutcome::Denied,
         kMsgRegistrationDenied},
        {"denied by silence",
         1,
         u"",
         {u"AT+COPS=1,2,\"26202\"\r"},
         RegisterOutcome::Denied,
         kMsgRegistrationDenied},
        {"nothing selected", -1, u"", {}, RegisterOutcome::NothingSelected, kMsgSelectNetwork},
        {"a forbidden network is not asked for",
         2,
         u"",
         {},
         RegisterOutcome::Denied,
         kMsgRegistrationDenied},
        {"beyond the list", 3, u"", {}, RegisterOutcome::NothingSelected, kMsgSelectNetwork},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(KnowOperator("Quorvel Net"));
        engine->SetNetworkMode(NetworkMode::Automatic);
        io.On(u"AT+COPS=?", {Echoed("AT+COPS=?", kThreeNetworks)});
        NetworkSelection selection(*context);
        ASSERT_EQ(selection.Search(), SearchOutcome::Listed);
        io.On(u"AT+COPS=1", {row.answer});
        Sent();
        sink.Clear();
        boxes.shown.clear();
        EXPECT_EQ(selection.Register(row.index), row.outcome) << row.name;
        EXPECT_EQ(Sent(), row.sent) << row.name;
        const std::vector<std::u16string> shown =
            row.message == 0 ? std::vector<std::u16string>{}
                             : std::vector<std::u16string>{LoadLocalString(row.message)};
        EXPECT_EQ(boxes.shown, shown) << row.name;
        // The list's current network: the registered one, else still the one before.
        EXPECT_EQ(
            Statuses(selection),
            row.outcome == RegisterOutcome::Registered
                ? (std::vector<NetworkStatus>{NetworkStatus::Available, NetworkStatus::Current,
                                              NetworkStatus::Forbidden})
                : (std::vector<NetworkStatus>{NetworkStatus::Current, NetworkStatus::Available,
                                              NetworkStatus::Forbidden}))
            << row.name;
        switch (row.outcome) {
            case RegisterOutcome::Registered:
                EXPECT_EQ(engine->OperatorName(), u"Other Net") << row.name;
                EXPECT_EQ(selection.CurrentNetwork(), u"Other Net") << row.name;
                EXPECT_EQ(engine->GetNetworkMode(), NetworkMode::Manual) << row.name;
                EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::Operator});
                break;
            case RegisterOutcome::Denied:
                if (!row.sent.empty()) {
                    EXPECT_FALSE(engine->NetworkKnown()) << row.name;
                    EXPECT_EQ(engine->OperatorName(), u"") << row.name;
                    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::Searching});
                    break;
                }
                [[fallthrough]];
            case RegisterOutcome::NothingSelected:
            case RegisterOutcome::PortClosed:
                EXPECT_EQ(engine->OperatorName(), u"Quorvel Net") << row.name;
                EXPECT_TRUE(sink.Codes().empty()) << row.name;
                break;
        }
        if (row.outcome != RegisterOutcome::Registered) {
            EXPECT_EQ(engine->GetNetworkMode(), NetworkMode::Automatic) << row.name;
        }
    }
}

TEST_F(ServicesTest, AutomaticMarksTheNetworkItFindsWhenTheNameIsOnlyOnce) {
    struct Row {
        const char* name;
        const char* list;
        const char* found;
        std::vector<NetworkStatus> after;
    };
    const Row rows[] = {
        {"back on the home network",
         kThreeNetworks,
         "Quorvel Net",
         {NetworkStatus::Current, NetworkStatus::Available, NetworkStatus::Forbidden}},
        {"a name the list does not hold keeps the marks",
         kThreeNetworks,
         "Elsewhere",
         {NetworkStatus::Available, NetworkStatus::Current, NetworkStatus::Forbidden}},
        {"a name two networks bear keeps the marks",
         "+COPS: (1,\"Twin\",\"T\",\"26201\"),(2,\"Other Net\",\"O\",\"26202\"),"
         "(1,\"Twin\",\"T\",\"26203\"),,(0-4),(0-2)\r\n\r\nOK\r\n",
         "Twin",
         {NetworkStatus::Available, NetworkStatus::Current, NetworkStatus::Available}},
    };
    for (const Row& row : rows) {
        io.On(u"AT+COPS=?", {Echoed("AT+COPS=?", row.list)});
        NetworkSelection selection(*context);
        ASSERT_EQ(selection.Search(), SearchOutcome::Listed) << row.name;
        io.On(u"AT+COPS=1", {Echoed("AT+COPS=1,2,\"26202\"", "OK\r\n")});
        ASSERT_EQ(selection.Register(1), RegisterOutcome::Registered) << row.name;
        io.On(u"AT+COPS?",
              {Echoed("AT+COPS?", std::string("+COPS: 0,0,\"") + row.found + "\"\r\n\r\nOK\r\n")});
        ASSERT_TRUE(selection.Automatic()) << row.name;
        EXPECT_EQ(Statuses(selection), row.after) << row.name;
    }
}

TEST_F(ServicesTest, AutomaticReturnsTheModemToAutomaticSelection) {
    engine->SetNetworkMode(NetworkMode::Manual);
    io.On(u"AT+COPS?", {Echoed("AT+COPS?", "+COPS: 0,0,\"Quorvel Net\"\r\n\r\nOK\r\n")});
    NetworkSelection selection(*context);
    EXPECT_TRUE(selection.Automatic());
    EXPECT_EQ(Sent(),
              (std::vector<std::u16string>{u"AT+COPS=0,0\r", u"AT+COPS=0,0\r", u"AT+COPS?\r"}));
    EXPECT_EQ(selection.CurrentNetwork(), u"Quorvel Net");
    EXPECT_EQ(engine->GetNetworkMode(), NetworkMode::Automatic);
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::Operator});
    // No operator: the searching state.
    io.On(u"AT+COPS?", {Echoed("AT+COPS?", "+COPS: 0\r\n\r\nOK\r\n")});
    sink.Clear();
    EXPECT_FALSE(selection.Automatic());
    EXPECT_EQ(selection.CurrentNetwork(), u"");
    EXPECT_FALSE(engine->NetworkKnown());
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::Searching});
}

// ---------------------------------------------------------------- security codes

TEST_F(ServicesTest, CodeChanges) {
    struct Row {
        const char* name;
        int kind;
        std::u16string oldCode, newCode, verify;
        std::u16string answer;
        std::u16string sent;  // empty: nothing
        int message;
    };
    const Row rows[] = {
        {"no code chosen", -1, u"1234", u"4321", u"4321", u"", u"", kMsgSelectCode},
        {"a field empty", 2, u"1234", u"", u"4321", u"", u"", kMsgFillCodes},
        {"new and verify differ", 2, u"1234", u"4321", u"4322", u"", u"", kMsgCodesDiffer},
        {"a five-digit PIN", 2, u"1234", u"43210", u"43210", u"", u"", kMsgPinLength},
        {"a three-digit old PIN", 2, u"123", u"4321", u"4321", u"", u"", kMsgPinLength},
        {"letters in a PIN", 2, u"12a4", u"4321", u"4321", u"", u"", kMsgPinLength},
        {"a quote in a PIN2", 3, u"5678", u"43\"1", u"43\"1", u"", u"", kMsgPin2Length},
        {"a short phone code", 1, u"0000", u"12345678", u"12345678", u"", u"", kMsgPhoneCodeLength},
        {"network code", 0, u"12345678", u"87654321", u"87654321", Esc("\r\nOK\r\n"),
         u"AT+CPWD=\"PN\",\"12345678\",\"87654321\"\r", kMsgCodeChanged},
        {"PIN2", 3, u"5678", u"8765", u"8765", Esc("\r\nOK\r\n"),
         u"AT+CPWD=\"P2\",\"5678\",\"8765\"\r", kMsgCodeChanged},
        {"PIN refused: wrong old PIN", 2, u"9999", u"4321", u"4321", Esc("\r\n+CME ERROR: 16\r\n"),
         u"AT+CPWD=\"SC\",\"9999\",\"4321\"\r", kMsgCodeChangeFailed},
        {"PIN refused in words", 2, u"9999", u"4321", u"4321",
         Esc("\r\n+CME ERROR: incorrect password\r\n"), u"AT+CPWD=\"SC\",\"9999\",\"4321\"\r",
         kMsgCodeChangeFailed},
        {"PIN unanswered", 2, u"1234", u"4321", u"4321", u"", u"AT+CPWD=\"SC\",\"1234\",\"4321\"\r",
         kMsgCodeChangeFailed},
        {"PIN", 2, u"1234", u"4321", u"4321", Esc("\r\nOK\r\n"),
         u"AT+CPWD=\"SC\",\"1234\",\"4321\"\r", kMsgCodeChanged},
    };
    engine->SetStoredPin(u"1234");
    for (const Row& row : rows) {
        io.On(u"AT+CPWD", {row.answer});
        boxes.shown.clear();
        Sent();
        const int secret = io.secretWrites;
        SecurityCodes codes(*context);
        EXPECT_EQ(codes.ChangeCode(row.kind, row.oldCode, row.newCode, row.verify), row.message)
            << row.name;
        const std::vector<std::u16string> sent = Sent();
        EXPECT_EQ(sent, row.sent.empty() ? std::vector<std::u16string>{}
                                         : std::vector<std::u16string>{row.sent})
            << row.name;
        // Commands with codes go the untraced way only.
        EXPECT_EQ(io.secretWrites - secret, static_cast<int>(sent.size())) << row.name;
        EXPECT_EQ(boxes.shown, std::vector<std::u16string>{LoadLocalString(row.message)})
            << row.name;
        // The stored PIN follows a successful PIN change only.
        const bool pinChanged = row.kind == 2 && row.message == kMsgCodeChanged;
        EXPECT_EQ(qvl::testing::EnginePeer::StoredPin(*engine), pinChanged ? u"4321" : u"1234")
            << row.name;
    }
}

TEST_F(ServicesTest, LockToggles) {
    struct Row {
        const char* name;
        LockFacility facility;
        int state;
        DialogResult dialog;
        std::u16string code;
        std::u16string answer;
        std::u16string sent;
        int message;
        int stateAfter;
    };
    const Row rows[] = {
        {"SIM lock off", LockFacility::SimPin, 1, DialogResult::Ok, u"1234", Esc("\r\nOK\r\n"),
         u"AT+CLCK=\"SC\",0,\"1234\"\r", kMsgCodeLockDone, 0},
        {"SIM lock on", LockFacility::SimPin, 0, DialogResult::Ok, u"2468", Esc("\r\nOK\r\n"),
         u"AT+CLCK=\"SC\",1,\"2468\"\r", kMsgCodeLockDone, 1},
        {"unknown state: switched on", LockFacility::SimPin, -1, DialogResult::Ok, u"1234",
         Esc("\r\nOK\r\n"), u"AT+CLCK=\"SC\",1,\"1234\"\r", kMsgCodeLockDone, 1},
        {"phone lock on with an eight-digit code", LockFacility::Phone, 0, DialogResult::Ok,
         u"00000000", Esc("\r\nOK\r\n"), u"AT+CLCK=\"ME\",1,\"00000000\"\r", kMsgCodeLockDone, 1},
        {"refused with ERROR", LockFacility::SimPin, 1, DialogResult::Ok, u"9999",
         Esc("\r\nERROR\r\n"), u"AT+CLCK=\"SC\",0,\"9999\"\r", kMsgCodeLockFailed, 1},
        {"refused with +CME ERROR: 16", LockFacility::Phone, 1, DialogResult::Ok, u"11111111",
         Esc("\r\n+CME ERROR: 16\r\n"), u"AT+CLCK=\"ME\",0,\"11111111\"\r", kMsgCodeLockFailed, 1},
        {"unanswered", LockFacility::SimPin, 0, DialogResult::Ok, u"1234", u"",
         u"AT+CLCK=\"SC\",1,\"1234\"\r", kMsgCodeLockFailed, 0},
        {"canceled", LockFacility::SimPin, 1, DialogResult::Cancel, u"1234", u"", u"", 0, 1},
        {"a three-digit code", LockFacility::SimPin, 1, DialogResult::Ok, u"123", u"", u"",
         kMsgCodeLockFailed, 1},
        {"a code with a quote", LockFacility::SimPin, 1, DialogResult::Ok, u"12\"4", u"", u"",
         kMsgCodeLockFailed, 1},
    };
    for (const Row& row : rows) {
        engine->SetLockState(row.facility, row.state);
        engine->SetStoredPin(u"1234");
        io.On(u"AT+CLCK", {row.answer});
        pin.shown.clear();
        pin.Answer(row.dialog, row.code);
        boxes.shown.clear();
        Sent();
        SecurityCodes codes(*context);
        EXPECT_EQ(codes.ToggleLock(row.facility), row.message) << row.name;
        EXPECT_EQ(Sent(), row.sent.empty() ? std::vector<std::u16string>{}
                                           : std::vector<std::u16string>{row.sent})
            << row.name;
        ASSERT_EQ(pin.shown.size(), 1u) << row.name;
        EXPECT_EQ(
            pin.shown[0].attempts,
            LoadLocalString(row.facility == LockFacility::SimPin ? kTextPinCode : kTextPhoneCode))
            << row.name;
        const int state =
            row.facility == LockFacility::SimPin ? engine->SimPinLock() : engine->PhoneLock();
        EXPECT_EQ(state, row.stateAfter) << row.name;
        // A code the SIM accepted for its lock is its PIN from now on.
        const bool accepted =
            row.facility == LockFacility::SimPin && row.message == kMsgCodeLockDone;
        EXPECT_EQ(qvl::testing::EnginePeer::StoredPin(*engine), accepted ? row.code : u"1234")
            << row.name;
    }
}

// ---------------------------------------------------------------- modem information

TEST_F(ServicesTest, ModemInformation) {
    io.On(u"AT+CGMR", {Echoed("AT+CGMR", "R1.0.0\r\n\r\nOK\r\n")});
    io.On(u"AT+CGMM", {Echoed("AT+CGMM", "GSM-SIM 1\r\n\r\nOK\r\n")});
    // The maker answers on the second attempt.
    io.On(u"AT+CGMI", {u"", Echoed("AT+CGMI", "QVL Labs\r\n\r\nOK\r\n")});
    io.On(u"AT+CGSN", {Echoed("AT+CGSN", "ERROR\r\n")});
    const ModemInfo info = ReadModemInfo(*context);
    EXPECT_EQ(info.version, u"R1.0.0");
    EXPECT_EQ(info.model, u"GSM-SIM 1");
    EXPECT_EQ(info.manufacturer, u"QVL Labs");
    EXPECT_EQ(info.imei, u"");
    EXPECT_EQ(Sent(), (std::vector<std::u16string>{u"AT+CGMR\r", u"AT+CGMM\r", u"AT+CGMI\r",
                                                   u"AT+CGMI\r", u"AT+CGSN\r", u"AT+CGSN\r",
                                                   u"AT+CGSN\r", u"AT+CGSN\r"}));
    EXPECT_EQ(progress.lastMaximum, 4);
    EXPECT_EQ(progress.positions, (std::vector<int>{-1, 0, 1, 2, 3}));
    EXPECT_FALSE(progress.open);
}

}  // namespace
}  // namespace qvl::services

// The send flow against a scripted modem, a recording data connection and a stand-in MMS
// library: profile choice, the refusals before anything reaches the modem, who gets the
// port, the libraries loaded and freed, the record filed and the session given back.
#include "app/mms/mmssend.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/engine/testing/scriptedengine.h"
#include "app/mms/mmsprofiles.h"
#include "app/sms/store/recordstore.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

#ifndef QVL_FAKE_MMSCLIENT
#error "QVL_FAKE_MMSCLIENT names the stand-in MMS library"
#endif

namespace qvl::mms {
namespace {

namespace fs = std::filesystem;
using qvl::testing::Esc;
using qvl::testing::ScriptedEngine;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Mapped(const std::string& fragment) {
    return Slurp("/proc/self/maps").find(fragment) != std::string::npos;
}

class RecordingUi final : public IMessageBoxPort, public IProgressWindow {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons buttons,
                          MsgIcon) override {
        shown.emplace_back(text);
        if (buttons == MsgButtons::YesNo) {
            return confirm ? MsgAnswer::Yes : MsgAnswer::No;
        }
        return MsgAnswer::Ok;
    }
    void Create(int, int, int, bool) override { ++open; }
    void SetText(std::u16string_view text, int) override { steps.emplace_back(text); }
    void Show(bool) override {}
    bool IsCanceled() const override { return false; }
    void Close() override {}
    void Destroy() override { --open; }

    bool Showed(int id) const { return Showed(LoadLocalString(id)); }
    bool Showed(std::u16string_view start) const {
        for (const auto& s : shown) {
            if (s.rfind(start, 0) == 0) {
                return true;
            }
        }
        return false;
    }
    bool Stepped(int id) const {
        return std::find(steps.begin(), steps.end(), LoadLocalString(id)) != steps.end();
    }

    bool confirm = true;
    int open = 0;
    std::vector<std::u16string> shown;
    std::vector<std::u16string> steps;
};

class FakeData final : public IDataConnection {
  public:
    explicit FakeData(CPhoneEngine& engine) : m_engine(&engine) {}
    void SetUiPorts(const UiPorts* ports) override { portsSet += ports != nullptr ? 1 : -1; }
    void Create(std::u16string_view device, std::u16string_view dial, std::u16string_view init,
                std::u16string_view user, std::u16string_view password, std::u16string_view dns,
                std::u16string_view pin) override {
        created = WideToUtf8(device) + " " + WideToUtf8(dial) + " " + WideToUtf8(init) + " " +
                  WideToUtf8(user) + " " + WideToUtf8(password) + " " + WideToUtf8(dns) + " " +
                  WideToUtf8(pin);
    }
    bool FirstPlatform() override { return firstPlatform; }
    void Connect(std::u16string_view port, void** plus, void** ras, void** connection) override {
        connectedPort = WideToUtf8(port);
        sessionOpenDuringCall = m_engine->IsPortOpen();
        plusGiven = plus != nullptr ? *plus : nullptr;
        if (connects) {
            *(firstPlatform ? ras : connection) = reinterpret_cast<void*>(0x5);
        }
    }
    int Disconnect(void**, void*, void*) override {
        ++disconnects;
        return 0;
    }

    bool firstPlatform = false;
    bool connects = true;
    int portsSet = 0;
    int disconnects = 0;
    bool sessionOpenDuringCall = true;
    void* plusGiven = nullptr;
    std::string created;
    std::string connectedPort;

  private:
    CPhoneEngine* m_engine;
};

MmsProfile Profile(std::int32_t id, std::int32_t code, std::u16string name) {
    MmsProfile p;
    p.key = id;
    p.operatorCode = code;
    p.name = std::move(name);
    p.apn = u"mms.example";
    p.user = u"wap";
    p.password = u"guest";
    p.dns = u"10.0.0.53";
    p.gateway = u"10.0.0.1";
    p.uri = u"http://mms.example/relay";
    return p;
}

class MmsSendTest : public ::testing::Test {
  public:
    void SetUp() override {
        char tmpl[] = "/tmp/qvl-mms-send.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_home = tmpl;
        ::setenv("QVL_HOME", m_home.c_str(), 1);
        ::setenv("QVL_FAKE_MMS_RECORD", (m_home + "/sendmms.txt").c_str(), 1);
        ::setenv("QVL_FAKE_MMS_RESULT", "1", 1);
        fs::create_directories(Libraries());
        UseClient(QVL_FAKE_MMSCLIENT);
        fs::create_symlink(QVL_CONNMGRPLUS_LIBRARY, Libraries() + "/libQVLConnMgrPlus.so");

        s.engine->SetRestartPauseMs(0);
        s.engine->SetStoredPin(u"4711");
        ASSERT_TRUE(s.StartReady());
        s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,2,\"26202\"\r\n\r\nOK\r\n")});
        s.io.On(u"AT+CGDCONT?", {Esc("\r\n+CGDCONT: 1,\"IP\",\"internet\"\r\n+CGDCONT: "
                                     "2,\"IP\",\"wap\"\r\n\r\nOK\r\n")});
        s.io.On(u"AT+CGDCONT=?", {Esc("\r\n+CGDCONT: (1-3),\"IP\",,,(0-2),(0-4)\r\n\r\nOK\r\n")});
        SaveProfiles({Profile(5001, 26201, u"First"), Profile(5002, 26202, u"Second")});

        ports.ui = UiPorts{&ui, &s.pump, &ui};
        ports.data = &data;
        ports.libraryFolder = Libraries();
        message.to = u"  +491701234567; friend@example.org ";
        message.cc = u"+491709999";
        message.subject = u"Holiday";
        message.text = u"Greetings";
        message.objects = {{u"/pics/beach.jpg", kMediaJpeg}, {u"/sounds/wave.wav", kMediaWav}};
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_home, ec);
        ::unsetenv("QVL_FAKE_MMS_RECORD");
        ::unsetenv("QVL_FAKE_MMS_RESULT");
    }

    std::string Libraries() const { return m_home + "/libs"; }
    void UseClient(const std::string& library) const {
        std::error_code ec;
        fs::remove(Libraries() + "/libQVLMMSClient.so", ec);
        if (!library.empty()) {
            fs::create_symlink(library, Libraries() + "/libQVLMMSClient.so");
        }
    }
    static void SaveProfiles(const std::vector<MmsProfile>& profiles) {
        sms::CRecordStore store;
        for (const auto& p : profiles) {
            store.Append(p);
        }
        ASSERT_TRUE(store.Save(sms::MmsProfileStorePath()));
    }
    std::vector<sms::MmsMessageRecord> Filed() const {
        sms::CRecordStore store;
        store.Load(sms::MmsStorePath());
        std::vector<sms::MmsMessageRecord> out;
        for (const auto& r : store.Records()) {
            if (const auto* m = std::get_if<sms::MmsMessageRecord>(&r)) {
                out.push_back(*m);
            }
        }
        return out;
    }
    std::string LibraryRecord() const { return Slurp(m_home + "/sendmms.txt"); }

    MmsSendResult Send() {
        return SendComposedMms(*s.engine, ports, message, [this] { ++notified; });
    }
    // Nothing was sent to the modem, filed, dialled or restarted.
    void ExpectStoppedEarly(MmsSendResult result) {
        EXPECT_EQ(result, MmsSendResult::kStopped);
        EXPECT_TRUE(Filed().empty());
        EXPECT_TRUE(data.created.empty());
        EXPECT_EQ(s.io.CountWritten(u"AT+CGDCONT"), 0);
        EXPECT_TRUE(s.engine->IsPortOpen()) << "the session keeps running";
        EXPECT_EQ(notified, 0);
    }

    ScriptedEngine s;
    RecordingUi ui;
    FakeData data{*s.engine};
    MmsSendPorts ports;
    ComposedMms message;
    int notified = 0;
    std::string m_home;
};

TEST_F(MmsSendTest, SentThroughTheDetectedProfileAndFiledUnderOutSent) {
    EXPECT_EQ(Send(), MmsSendResult::kSent);

    // The operator picked the second profile, which the question names.
    EXPECT_TRUE(ui.Stepped(kMsgDetectingProfile));
    EXPECT_EQ(s.io.CountWritten(u"AT+COPS=3,2"), 1);
    const std::u16string question = LoadLocalString(kMsgConfirmGateway);
    EXPECT_TRUE(ui.Showed(question.substr(0, question.find(u"%s")) + u"Second"));
    // Contexts 1 and 2 hold other APNs: context 3.
    EXPECT_EQ(
        data.created,
        "Simulated handset *99***3# +cgdcont=3,\"IP\",\"mms.example\" wap guest 10.0.0.53 4711");
    EXPECT_EQ(data.connectedPort, "/dev/ttySIM0");
    EXPECT_FALSE(data.sessionOpenDuringCall) << "phone and data share the port";
    EXPECT_NE(data.plusGiven, nullptr) << "the connection manager is loaded for the call";
    EXPECT_EQ(data.disconnects, 1);
    EXPECT_EQ(data.portsSet, 0) << "ports handed over and taken back";

    EXPECT_EQ(LibraryRecord(),
              "ports set\ngateway 10.0.0.1\nuri http://mms.example/relay\n"
              "to +491701234567; friend@example.org\ncc +491709999\nsubject Holiday\n"
              "text Greetings\nobject /pics/beach.jpg 158\nobject /sounds/wave.wav 240\n"
              "ports cleared\n");
    EXPECT_TRUE(ui.Showed(kMsgMmsSent));
    EXPECT_FALSE(Mapped("mms-answering/libQVLMMSClient.so")) << "the MMS library is freed";
    EXPECT_FALSE(Mapped("libQVLConnMgrPlus.so")) << "the connection manager is freed";

    const auto filed = Filed();
    ASSERT_EQ(filed.size(), 1u);
    EXPECT_EQ(filed[0].folder, sms::kFolderOutSent);
    EXPECT_EQ(filed[0].to, u"+491701234567; friend@example.org");
    EXPECT_EQ(filed[0].cc, u"+491709999");
    EXPECT_EQ(filed[0].subject, u"Holiday");
    EXPECT_EQ(filed[0].time, u"");
    EXPECT_EQ(filed[0].text, u"Greetings");
    EXPECT_EQ(filed[0].objects, u"/pics/beach.jpg\n/sounds/wave.wav\n");

    EXPECT_TRUE(ui.Stepped(kMsgStoppingPhone));
    EXPECT_TRUE(ui.Stepped(kMsgRestartingPhone));
    EXPECT_TRUE(s.engine->IsPortOpen()) << "the session is back";
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(ui.open, 0) << "every progress window closed";
}

TEST_F(MmsSendTest, OutcomesOfTheDataCallAndTheLibrary) {
    struct Row {
        const char* name;
        std::function<void(MmsSendTest&)> arrange;
        MmsSendResult result;
        std::u16string shown;  // start of a message shown (empty: none of the verdicts)
        bool libraryCalled;
    };
    const std::vector<Row> rows = {
        {"relay refused", [](MmsSendTest&) { ::setenv("QVL_FAKE_MMS_RESULT", "0", 1); },
         MmsSendResult::kNotSent, LoadLocalString(kMsgMmsFailed), true},
        {"no connection", [](MmsSendTest& t) { t.data.connects = false; }, MmsSendResult::kNotSent,
         u"", false},
        {"library missing", [](MmsSendTest& t) { t.UseClient(""); }, MmsSendResult::kNotSent,
         u"Library NOT Loaded", false},
        {"SendMMS missing", [](MmsSendTest& t) { t.UseClient(QVL_FAKE_MMSCLIENT_NOPROC); },
         MmsSendResult::kNotSent, u"Proc Address NOT found", false},
        {"first platform dials itself", [](MmsSendTest& t) { t.data.firstPlatform = true; },
         MmsSendResult::kSent, LoadLocalString(kMsgMmsSent), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MmsSendTest& t = *this;
        fs::remove(sms::MmsStorePath());
        fs::remove(m_home + "/sendmms.txt");
        ::setenv("QVL_FAKE_MMS_RESULT", "1", 1);
        UseClient(QVL_FAKE_MMSCLIENT);
        data = FakeData(*s.engine);
        ui.shown.clear();
        notified = 0;
        row.arrange(t);

        EXPECT_EQ(Send(), row.result);
        const auto filed = Filed();
        ASSERT_EQ(filed.size(), 1u);
        EXPECT_EQ(filed[0].folder,
                  row.result == MmsSendResult::kSent ? sms::kFolderOutSent : sms::kFolderOutUnsent);
        if (!row.shown.empty()) {
            EXPECT_TRUE(ui.Showed(row.shown));
        } else {
            EXPECT_FALSE(ui.Showed(kMsgMmsFailed));
            EXPECT_FALSE(ui.Showed(kMsgMmsSent));
        }
        EXPECT_EQ(LibraryRecord().find("gateway") != std::string::npos, row.libraryCalled);
        EXPECT_EQ(data.disconnects, data.connects ? 1 : 0);
        EXPECT_EQ(data.plusGiven != nullptr, !data.firstPlatform);
        EXPECT_TRUE(s.engine->IsPortOpen()) << "restarted";
        EXPECT_EQ(notified, 1);
        EXPECT_FALSE(Mapped("libQVLMMSClient.so"));
        EXPECT_FALSE(Mapped("libQVLConnMgrPlus.so"));
    }
}

TEST_F(MmsSendTest, RefusedBeforeAnythingReachesTheModem) {
    struct Row {
        const char* name;
        std::function<void(MmsSendTest&)> arrange;
        std::u16string shown;
    };
    MmsProfile badApn = Profile(5002, 26202, u"Bad APN");
    badApn.apn = u"mms example\r\nATD123";
    MmsProfile badUser = Profile(5002, 26202, u"Bad user");
    badUser.user = u"wap\" call";
    MmsProfile badPassword = Profile(5002, 26202, u"Bad password");
    badPassword.password = u"a b";
    MmsProfile noGateway = Profile(5002, 26202, u"No gateway");
    noGateway.gateway.clear();
    const std::vector<Row> rows = {
        {"blank To", [](MmsSendTest& t) { t.message.to = u" \t "; }, LoadLocalString(kMsgFillTo)},
        {"object path with a line feed",
         [](MmsSendTest& t) {
             t.message.objects.push_back({u"/a\nb.jpg", kMediaJpeg});
         },
         LoadLocalString(kMsgBadObjectPath)},
        {"no profile of this operator",
         [](MmsSendTest& t) {
             t.s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,2,\"20801\"\r\n\r\nOK\r\n")});
         },
         LoadLocalString(kMsgDetectFailed)},
        {"operator not told",
         [](MmsSendTest& t) { t.s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0\r\n\r\nOK\r\n")}); },
         LoadLocalString(kMsgDetectFailed)},
        // The handheld ended here without a word.
        {"chosen profile gone", [](MmsSendTest&) { WriteProfileSettings(false, 4242); },
         LoadLocalString(kMsgMmsFailed) + u"\n\n" + LoadLocalString(kMsgNoProfileChosen)},
        {"no profiles at all",
         [](MmsSendTest&) {
             WriteProfileSettings(false, 5001);
             SaveProfiles({});
         },
         LoadLocalString(kMsgMmsFailed) + u"\n\n" + LoadLocalString(kMsgNoProfiles)},
        {"APN that would carry a command", [badApn](MmsSendTest&) { SaveProfiles({badApn}); },
         LoadLocalString(kMsgBadApn).substr(0, 10)},
        {"user name with a quote", [badUser](MmsSendTest&) { SaveProfiles({badUser}); },
         LoadLocalString(kMsgBadCredentials).substr(0, 10)},
        {"password with a blank", [badPassword](MmsSendTest&) { SaveProfiles({badPassword}); },
         LoadLocalString(kMsgBadCredentials).substr(0, 10)},
        {"no gateway", [noGateway](MmsSendTest&) { SaveProfiles({noGateway}); },
         LoadLocalString(kMsgIncompleteProfile).substr(0, 10)},
        {"question declined", [](MmsSendTest& t) { t.ui.confirm = false; },
         LoadLocalString(kMsgConfirmGateway).substr(0, 10)},
    };
    const ComposedMms composed = message;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MmsSendTest& t = *this;
        message = composed;
        WriteProfileSettings(true, 0);
        SaveProfiles({Profile(5001, 26201, u"First"), Profile(5002, 26202, u"Second")});
        s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,2,\"26202\"\r\n\r\nOK\r\n")});
        ui = RecordingUi();
        row.arrange(t);
        s.io.written.clear();
        ExpectStoppedEarly(Send());
        EXPECT_TRUE(ui.Showed(row.shown)) << (ui.shown.empty() ? "" : WideToUtf8(ui.shown.back()));
        EXPECT_EQ(ui.open, 0);
    }
}

TEST_F(MmsSendTest, ChosenProfileWhenNotDetected) {
    WriteProfileSettings(false, 5001);
    EXPECT_EQ(Send(), MmsSendResult::kSent);
    EXPECT_EQ(s.io.CountWritten(u"AT+COPS"), 0) << "no operator query";
    const std::u16string question = LoadLocalString(kMsgConfirmGateway);
    EXPECT_TRUE(ui.Showed(question.substr(0, question.find(u"%s")) + u"First"));
}

TEST_F(MmsSendTest, TheDataCallNeverTakesThePortTheSessionHolds) {
    struct Row {
        const char* name;
        std::map<std::u16string, ModemEntry> channels;
        bool sessionOpenDuringCall;
        std::string dataPort;
    };
    const ModemEntry command{u"MPLCMD", u"Multiplexer commands", u"/dev/ttySIM0"};
    const ModemEntry dataChannel{u"MPLDATA", u"Multiplexer data", u"/dev/ttySIM1"};
    const ModemEntry dataOnCommandPort{u"MPLDATA", u"Multiplexer data", u"/dev/ttySIM0"};
    const std::vector<Row> rows = {
        {"one port", {}, false, "/dev/ttySIM0"},
        {"separate data channel",
         {{u"MPLCMD", command}, {u"MPLDATA", dataChannel}},
         true,
         "/dev/ttySIM1"},
        // A command channel without a data channel: the data call would use the session's own
        // port, so the session stops (the handheld kept it running).
        {"command channel only", {{u"MPLCMD", command}}, false, "/dev/ttySIM0"},
        {"data channel on the session's port",
         {{u"MPLCMD", command}, {u"MPLDATA", dataOnCommandPort}},
         false,
         "/dev/ttySIM0"},
        {"data channel without a command channel",
         {{u"MPLDATA", dataChannel}},
         false,
         "/dev/ttySIM1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        s.directory.channels = row.channels;
        data = FakeData(*s.engine);
        ui = RecordingUi();
        EXPECT_EQ(Send(), MmsSendResult::kSent);
        EXPECT_EQ(data.sessionOpenDuringCall, row.sessionOpenDuringCall);
        EXPECT_EQ(data.connectedPort, row.dataPort);
        EXPECT_EQ(ui.Stepped(kMsgStoppingPhone), !row.sessionOpenDuringCall);
        EXPECT_TRUE(s.engine->IsPortOpen());
    }
}

TEST_F(MmsSendTest, ObjectPathsTheRecordCanHold) {
    EXPECT_TRUE(IsStorableObjectPath(u"/home/user/My Pictures/caf\u00e9.jpg"));
    EXPECT_FALSE(IsStorableObjectPath(u""));
    EXPECT_FALSE(IsStorableObjectPath(u"/a\nb.jpg"));
    EXPECT_FALSE(IsStorableObjectPath(u"/a\rb.jpg"));
    EXPECT_FALSE(IsStorableObjectPath(std::u16string(u"/a\0b.jpg", 8)));
    EXPECT_FALSE(IsStorableObjectPath(u"/a\u0085b.jpg")) << "C1 next line";
}

}  // namespace
}  // namespace qvl::mms

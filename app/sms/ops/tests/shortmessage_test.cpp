// CShortMessage through the phone engine: against the modem simulator on a pseudo-terminal, and
// against the scripted modem of the engine's tests; the answer parsers on their own.
#include "app/sms/ops/shortmessage.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/settings/smssettings.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "common/transport/transport.h"
#include "platform/sync.h"
#include "tools/modemsim/modem_simulator.h"

namespace qvl::sms {
namespace {

class FakeMessages : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        shown.emplace_back(text);
        return answer;
    }
    std::vector<std::u16string> shown;
    MsgAnswer answer = MsgAnswer::No;
};

class FakeProgress : public IProgressWindow {
  public:
    void Create(int, int, int, bool) override {
        open = true;
        ++created;
    }
    void SetText(std::u16string_view text, int) override { texts.emplace_back(text); }
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled || (cancelWhen && cancelWhen()); }
    void Close() override { open = false; }
    bool open = false;
    int created = 0;
    void Destroy() override {}
    std::vector<std::u16string> texts;
    bool canceled = false;
    std::function<bool()> cancelWhen;  // Cancel is pressed once this holds
};

// A device root, an engine with a running session on the modem at `port` (ports adds the I/O
// and clock), and the UI ports the operations are given.
class EngineFixture : public ::testing::Test {
  protected:
    void StartEngine(const std::u16string& port, EnginePorts ports) {
        char pattern[] = "/tmp/qvl-sms-ops-XXXXXX";
        m_home = ::mkdtemp(pattern);
        ::setenv("QVL_HOME", m_home.c_str(), 1);
        ::setenv("QVL_LOCK_DIR", "", 1);
        m_directory.entries = {{u"Modem", u"Test modem", port}};
        m_chooser.choice = m_directory.entries[0];
        ports.chooser = &m_chooser;
        ports.modems = &m_directory;
        ports.text = qvl::testing::EnglishEngineText;
        m_engine = std::make_unique<CPhoneEngine>(ports);
        ASSERT_EQ(m_engine->StartSession(AutoPin::AskUser), 1);
        m_ui.messages = &m_messages;
        m_ui.progress = &m_progress;
    }
    void TearDown() override {
        m_engine.reset();
        std::filesystem::remove_all(m_home);
        TakeStoreProblems();
    }
    CShortMessage Message() { return CShortMessage(*m_engine, m_ui); }
    std::string StorePath() const { return m_home + "/QVLPhoneSMS.dat"; }

    std::string m_home;
    qvl::testing::FakeModemDirectory m_directory;
    qvl::testing::FakeModemChooser m_chooser;
    std::unique_ptr<CPhoneEngine> m_engine;
    FakeMessages m_messages;
    FakeProgress m_progress;
    UiPorts m_ui;
};

class SmsOpsTest : public EngineFixture {
  protected:
    void SetUp() override {
        auto seed = sim::DefaultSeed();
        seed.sim.pinEnabled = false;
        m_sim = std::make_unique<sim::ModemSimulator>(seed);
        const std::string device = m_sim->Start();
        ASSERT_FALSE(device.empty());
        StartEngine(Utf8ToWide(device), EnginePorts{});
    }
    void TearDown() override {
        m_engine->StopSession();
        EngineFixture::TearDown();
        m_sim->Stop();
    }

    // The texts of the PDUs the network received, joined by concatenation reference.
    std::vector<SmsPduInfo> Sent() const {
        std::vector<SmsPduInfo> out;
        for (const auto& pdu : m_sim->SentPdus()) {
            out.push_back(DecodeSubmitPdu(StripServiceCentre(pdu)));
        }
        return out;
    }
    int CountCommands(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : m_sim->CommandLog()) {
            n += c.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    std::unique_ptr<sim::ModemSimulator> m_sim;
};

TEST_F(SmsOpsTest, SingleAndTwoPartTexts) {
    struct Row {
        const char* name;
        std::u16string text;
        std::size_t pdus;
    } rows[] = {
        {"160_septets", std::u16string(160, u'a'), 1},
        {"161_septets", std::u16string(161, u'b'), 2},
        {"ucs2_single", u"est\u00E1 bien", 1},
        {"ucs2_two_parts", std::u16string(71, u'\u00E1'), 2},
    };
    std::size_t before = 0;
    for (const auto& r : rows) {
        auto sms = Message();
        sms.number = u"+491701112233";
        sms.text = r.text;
        EXPECT_EQ(sms.SendText(), 1) << r.name;
        const auto sent = Sent();
        ASSERT_EQ(sent.size() - before, r.pdus) << r.name;
        std::map<int, std::u16string> parts;
        for (std::size_t i = before; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].number, u"+491701112233");
            if (r.pdus > 1) {
                EXPECT_EQ(sent[i].concatenated, 1);
                EXPECT_EQ(sent[i].total, static_cast<int>(r.pdus));
                EXPECT_EQ(sent[i].reference, sent[before].reference);
            }
            parts[sent[i].concatenated ? sent[i].sequence : 1] = sent[i].text;
        }
        std::u16string joined;
        for (const auto& [seq, t] : parts) {
            joined += t;
        }
        EXPECT_EQ(joined, r.text) << r.name;
        before = sent.size();
    }
    EXPECT_EQ(CountCommands("AT+CMGS="), 6);
}

TEST_F(SmsOpsTest, ReferenceCyclesFrom255To1) {
    ASSERT_TRUE(WriteSettingNumber(kRootLocalMachine, keys::kKeySmsSettings,
                                   keys::kValueLongSmsReference, 255));
    auto sms = Message();
    sms.number = u"0170123";
    sms.text = std::u16string(200, u'x');
    ASSERT_EQ(sms.SendText(), 1);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].reference, 255);
    EXPECT_EQ(GetLongSmsReference(), 1);
}

TEST_F(SmsOpsTest, FailedSendIsNotSuccessAndKeepsTheReference) {
    ASSERT_TRUE(StoreNextLongSmsReference(9));  // next is 10
    m_sim->SetCannedAnswer("AT+CMGS", "\r\n+CMS ERROR: 500\r\n", 4);
    auto sms = Message();
    sms.number = u"0170123";
    sms.text = std::u16string(200, u'x');
    EXPECT_EQ(sms.SendText(), 0);
    EXPECT_EQ(GetLongSmsReference(), 10);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SmsOpsTest, SendToRecipientsFilesEachMessage) {
    const int reached = SendToRecipients(*m_engine, m_ui, u" +491; ;+492 ;", u"hi", StorePath());
    EXPECT_EQ(reached, 2);
    ASSERT_EQ(m_messages.shown.size(), 2u);
    EXPECT_NE(m_messages.shown[0].find(u" <+491>"), std::u16string::npos);
    EXPECT_NE(m_messages.shown[1].find(u" <+492>"), std::u16string::npos);
    CRecordStore store;
    ASSERT_TRUE(store.Load(StorePath()));
    ASSERT_EQ(store.Count(RecordType::kMessage), 2);
    EXPECT_EQ(store.FindAs<SmsRecord>(0)->folder, kFolderOutSent);
    EXPECT_EQ(store.FindAs<SmsRecord>(1)->number, u"+492");

    m_sim->SetCannedAnswer("AT+CMGS", "\r\n+CMS ERROR: 500\r\n", 2);
    EXPECT_EQ(SendToRecipients(*m_engine, m_ui, u"+493", u"hi", StorePath()), 0);
    ASSERT_TRUE(store.Load(StorePath()));
    EXPECT_EQ(store.FindAs<SmsRecord>(2)->folder, kFolderOutUnsent);
}

// A DELIVER PDU (empty service-centre field first) whose header element is 0A, not 00.
std::string GraphicPdu() {
    std::string pdu =
        BuildDeliverPdus(u"+4955", u"01/01/10,10:00:00,GMT+1", std::u16string(170, u'g'), 7)[0];
    const auto at = pdu.find("050003");
    pdu.replace(at, 6, "050A03");
    return pdu;
}

TEST_F(SmsOpsTest, CopyFromPhoneJoinsPartsAcrossStorages) {
    const std::u16string longText = std::u16string(152, u'L') + u"ong end, and more";
    const auto longParts = BuildDeliverPdus(u"+4911", u"02/02/10,11:00:00,GMT+1", longText, 5);
    ASSERT_EQ(longParts.size(), 2u);
    const auto lost =
        BuildDeliverPdus(u"+4922", u"03/02/10,12:00:00,GMT+1", std::u16string(300, u'm'), 6);
    ASSERT_EQ(lost.size(), 2u);
    ASSERT_GT(m_sim->InjectSms(longParts[0], "SM"), 0);
    ASSERT_GT(m_sim->InjectSms(
                  BuildDeliverPdus(u"+4933", u"04/02/10,13:00:00,GMT+1", u"single", 0)[0], "SM"),
              0);
    ASSERT_GT(m_sim->InjectSms(GraphicPdu(), "SM"), 0);
    ASSERT_GT(m_sim->InjectSms(longParts[1], "ME"), 0);
    ASSERT_GT(m_sim->InjectSms(lost[1], "ME"), 0);  // part 1 never arrived
    ASSERT_TRUE(SetDeleteSms(2));

    CRecordStore store;
    auto sms = Message();
    EXPECT_EQ(sms.CopyFromPhone(store, StorePath(), true), 5);
    std::map<std::u16string, std::u16string> byNumber;
    for (const auto& r : store.Records()) {
        const auto& m = std::get<SmsRecord>(r);
        byNumber[m.number] = m.text;
        EXPECT_EQ(m.folder, kFolderInUnread);
    }
    EXPECT_EQ(byNumber[u"+4933"], u"single");
    EXPECT_EQ(byNumber[u"+4911"], longText);
    EXPECT_EQ(byNumber[u"+4922"], u"<>" + std::u16string(148, u'm'));
    EXPECT_EQ(byNumber[u"+4955"], kGraphicListText);
    // Saved, picture message included.
    CRecordStore saved;
    ASSERT_TRUE(saved.Load(StorePath()));
    EXPECT_EQ(saved.Count(RecordType::kMessage), 4);
    // Deleted from the phone, except the picture message; storage switched once.
    EXPECT_FALSE(m_sim->Message("SM", 1).has_value());
    EXPECT_FALSE(m_sim->Message("SM", 2).has_value());
    EXPECT_TRUE(m_sim->Message("SM", 3).has_value());
    EXPECT_FALSE(m_sim->Message("ME", 1).has_value());
    EXPECT_FALSE(m_sim->Message("ME", 2).has_value());
}

std::string Single(const std::u16string& number, const std::u16string& text) {
    return BuildDeliverPdus(number, u"04/02/10,13:00:00,GMT+1", text, 0)[0];
}

// The progress window of a copy never outlives the copy: it closed on every way out.
TEST_F(SmsOpsTest, CopyFromPhoneClosesItsProgressWindowOnEveryPath) {
    struct Row {
        const char* name;
        bool cancel;
    };
    const Row rows[] = {
        {"copied", false},
        {"canceled while reading", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_GT(m_sim->InjectSms(Single(u"+4933", u"one"), "SM"), 0);
        ASSERT_GT(m_sim->InjectSms(Single(u"+4944", u"two"), "SM"), 0);
        m_progress = FakeProgress();
        m_progress.canceled = false;
        m_progress.cancelWhen = [&] { return row.cancel && m_progress.created > 0; };
        CRecordStore store;
        Message().CopyFromPhone(store, StorePath(), true);
        EXPECT_GT(m_progress.created, 0);
        EXPECT_FALSE(m_progress.open);
    }
}

// Nothing leaves the phone unless the file holds it: a store that may not be written over is
// not filled at all, and a save that fails deletes nothing.
TEST_F(SmsOpsTest, CopyFromPhoneDeletesOnlyWhatItSaved) {
    ASSERT_TRUE(SetDeleteSms(2));
    ASSERT_GT(m_sim->InjectSms(Single(u"+4933", u"precious"), "SM"), 0);

    // A message file of a newer layout: refused before anything is read.
    CRecordStore newer;
    newer.Append(SmsRecord{});
    auto bytes = newer.Serialize();
    bytes[4] = 2;
    {
        std::ofstream out(StorePath(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    CRecordStore store;
    EXPECT_FALSE(store.Load(StorePath()));
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 0);
    EXPECT_EQ(CountCommands("AT+CMGR"), 0);

    // A file that cannot be written: read, not saved, not deleted, and the user is told.
    CRecordStore fresh;
    const std::string unwritable = m_home + "/no-such-folder/QVLPhoneSMS.dat";
    EXPECT_EQ(Message().CopyFromPhone(fresh, unwritable, true), 0);
    EXPECT_GT(CountCommands("AT+CMGR"), 0);
    EXPECT_EQ(CountCommands("AT+CMGD"), 0);
    EXPECT_TRUE(m_sim->Message("SM", 1).has_value());
    ASSERT_FALSE(m_messages.shown.empty());
    EXPECT_EQ(m_messages.shown.back(), LoadLocalString(kMsgCopyNotSaved));
    TakeStoreProblems();
}

// One save per copy: the backup holds the store as it was before the copy, picture messages
// included in the new file.
TEST_F(SmsOpsTest, CopyFromPhoneSavesOnceSoTheBackupIsTheStoreBefore) {
    CRecordStore before;
    before.Append(SmsRecord{0, kFolderInRead, u"", u"+4900", u"", u"", u"kept"});
    ASSERT_TRUE(before.Save(StorePath()));
    const auto beforeBytes = before.Serialize();
    ASSERT_GT(m_sim->InjectSms(Single(u"+4933", u"new one"), "SM"), 0);
    ASSERT_GT(m_sim->InjectSms(GraphicPdu(), "SM"), 0);
    CRecordStore store;
    ASSERT_TRUE(store.Load(StorePath()));
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 2);
    std::ifstream bak(StorePath() + ".bak", std::ios::binary);
    const std::vector<std::uint8_t> bakBytes((std::istreambuf_iterator<char>(bak)), {});
    EXPECT_EQ(bakBytes, beforeBytes);
    CRecordStore saved;
    ASSERT_TRUE(saved.Load(StorePath()));
    EXPECT_EQ(saved.Count(RecordType::kMessage), 3);
}

TEST_F(SmsOpsTest, CopyFromPhoneSeesCancelAtEveryLocation) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_GT(
            m_sim->InjectSms(Single(u"+4933", u"message " + std::u16string(1, u'a' + i)), "SM"), 0);
    }
    ASSERT_TRUE(SetDeleteSms(2));
    m_progress.cancelWhen = [this] { return CountCommands("AT+CMGR=") >= 2; };
    CRecordStore store;
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 2);
    EXPECT_EQ(CountCommands("AT+CMGR="), 2);
    // What was read and saved is deleted; the rest stays on the phone.
    EXPECT_FALSE(m_sim->Message("SM", 1).has_value());
    EXPECT_FALSE(m_sim->Message("SM", 2).has_value());
    EXPECT_TRUE(m_sim->Message("SM", 3).has_value());
}

TEST_F(SmsOpsTest, DeleteSettingZeroAndAsk) {
    ASSERT_GT(m_sim->InjectSms(
                  BuildDeliverPdus(u"+4933", u"04/02/10,13:00:00,GMT+1", u"keep", 0)[0], "SM"),
              0);
    ASSERT_TRUE(SetDeleteSms(0));
    CRecordStore store;
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 1);
    EXPECT_TRUE(m_sim->Message("SM", 1).has_value());
    EXPECT_EQ(CountCommands("AT+CMGD"), 0);

    ASSERT_TRUE(SetDeleteSms(1));
    m_messages.answer = MsgAnswer::No;
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 1);
    EXPECT_TRUE(m_sim->Message("SM", 1).has_value());
    m_messages.answer = MsgAnswer::Yes;
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 1);
    EXPECT_FALSE(m_sim->Message("SM", 1).has_value());
    EXPECT_EQ(store.Count(RecordType::kMessage), 1);  // read three times, stored once
}

TEST_F(SmsOpsTest, ReadExportAndDelete) {
    auto sms = Message();
    EXPECT_EQ(sms.ExportToPhone(u"+4944", u"written \u00E1", u"05/06/10,07:08:09,GMT+2"), 1);
    EXPECT_EQ(sms.ExportToPhone(u"+4945", std::u16string(170, u'o'), u""), 1);
    sms.index = 1;
    ASSERT_EQ(sms.ReadMessage(), 1);
    EXPECT_EQ(sms.number, u"+4944");
    EXPECT_EQ(sms.text, u"written \u00E1");
    EXPECT_EQ(sms.time, u"05/06/10,07:08:09,GMT+2");
    EXPECT_EQ(sms.status, 1);
    sms.index = 2;
    ASSERT_EQ(sms.ReadMessage(), 1);
    EXPECT_EQ(sms.status, 3);
    EXPECT_EQ(sms.number, u"+4945");
    EXPECT_EQ(sms.DeleteMessage(), 1);
    sms.index = 999;  // out of range: the modem refuses
    EXPECT_EQ(sms.DeleteMessage(), 0);
}

TEST_F(SmsOpsTest, ServiceCentreAndBearer) {
    auto sms = Message();
    EXPECT_EQ(sms.GetServiceCentre(), u"+491710760000");
    m_sim->SetCannedAnswer("AT+CSCA?", "\r\n+CSCA: \"491710760001\",129\r\n\r\nOK\r\n");
    EXPECT_EQ(sms.GetServiceCentre(), u"+491710760001");
    EXPECT_EQ(sms.SetServiceCentre(u"+4917100"), 1);
    EXPECT_EQ(CountCommands("AT+CSAS"), 1);
    EXPECT_EQ(sms.GetServiceCentre(), u"+4917100");
    EXPECT_EQ(sms.SetSmsService(2), 1);
    EXPECT_EQ(sms.GetSmsService(), 2);
    EXPECT_EQ(sms.SetSmsService(9), 0);
}

// A number typed into the service-centre field goes between the quotes of AT+CSCA: one that
// closes the quotes and starts a line must never reach the modem.
TEST_F(SmsOpsTest, ServiceCentreNumberNeverCarriesACommand) {
    ASSERT_GT(m_sim->InjectSms(
                  BuildDeliverPdus(u"+4933", u"04/02/10,13:00:00,GMT+1", u"keep", 0)[0], "SM"),
              0);
    auto sms = Message();
    EXPECT_EQ(sms.SetServiceCentre(u"+49\"\rAT+CMGD=1,4\r"), 0);
    EXPECT_EQ(CountCommands("AT+CSCA"), 0);
    EXPECT_EQ(CountCommands("AT+CMGD"), 0);
    EXPECT_TRUE(m_sim->Message("SM", 1).has_value());
}

TEST_F(SmsOpsTest, PortNotOpenFailsAtOnce) {
    CPhoneEngine noSession{EnginePorts{}};
    CShortMessage sms(noSession, m_ui);
    sms.number = u"1";
    sms.text = u"x";
    EXPECT_EQ(sms.SendText(), 0);
    EXPECT_EQ(sms.GetServiceCentre(), u"");
    EXPECT_EQ(sms.CountMessages(), 0);
    EXPECT_EQ(sms.ExportToPhone(u"1", u"x", u""), 0);
}

// ---- Against the scripted modem of the engine's tests ----

std::u16string Esc(std::string_view raw) {
    std::u16string text;
    AppendResponseText(text, reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    return text;
}

class SmsScriptedTest : public EngineFixture {
  protected:
    void SetUp() override {
        io.On(u"AT+CPIN?", {Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
        EnginePorts ports;
        ports.io = &io;
        ports.clock = &clock;
        ports.pump = &enginePump;
        StartEngine(u"/dev/ttySCRIPT0", ports);
        io.written.clear();
        m_ui.pump = &pump;
    }

    qvl::testing::ScriptedModemIo io;
    qvl::testing::FakeClock clock;
    qvl::testing::CountingPump enginePump;
    qvl::testing::CountingPump pump;
};

// A modem that stops answering in the middle of a copy: the copy ends after a few silent
// locations instead of waiting out a thousand reads, keeps what it read and deletes nothing.
TEST_F(SmsScriptedTest, CopyFromPhoneEndsWhenTheModemFallsSilent) {
    ASSERT_TRUE(SetDeleteSms(2));
    io.On(u"AT+CPMS?", {Esc("\r\n+CPMS: \"SM\",5,1000,\"SM\",5,1000,\"SM\",5,1000\r\n\r\nOK\r\n")});
    const std::string pdu =
        BuildDeliverPdus(u"+4933", u"04/02/10,13:00:00,GMT+1", u"last words", 0)[0];
    io.On(u"AT+CMGR=", {Esc("\r\n+CMGR: 0,,30\r\n" + pdu + "\r\n\r\nOK\r\n"), u""});
    CRecordStore store;
    EXPECT_EQ(Message().CopyFromPhone(store, StorePath(), true), 1);
    EXPECT_EQ(io.CountWritten(u"AT+CMGR="), 4);        // one answered, three silent
    EXPECT_EQ(io.CountWritten(u"AT+CPMS=\"ME\""), 1);  // only the count before the copy
    EXPECT_EQ(io.CountWritten(u"AT+CMGD"), 0);
    CRecordStore saved;
    ASSERT_TRUE(saved.Load(StorePath()));
    ASSERT_EQ(saved.Count(RecordType::kMessage), 1);
    EXPECT_EQ(saved.FindAs<SmsRecord>(0)->text, u"last words");
}

// "+CME ERROR: n" and "+CMS ERROR: n" are failures, as ERROR is, for every SMS exchange.
TEST_F(SmsScriptedTest, ErrorCodesEndExchangesAsErrorDoes) {
    struct Row {
        const char* name;
        std::u16string prefix;
        std::string answer;
        std::function<int(CShortMessage&)> run;
        int result;
        std::u16string notWritten;  // a command that must not follow
        int cmgsTries = 0;
    };
    const std::string cms = "\r\n+CMS ERROR: 321\r\n";
    const std::string cme = "\r\n+CME ERROR: 3\r\n";
    const std::vector<Row> rows = {
        {"delete_cms", u"AT+CMGD=", cms,
         [](CShortMessage& m) {
             m.index = 4;
             return m.DeleteMessage();
         },
         0, u""},
        {"delete_plain_error", u"AT+CMGD=", "\r\nERROR\r\n",
         [](CShortMessage& m) {
             m.index = 4;
             return m.DeleteMessage();
         },
         0, u""},
        {"set_centre_cme", u"AT+CSCA=", cme,
         [](CShortMessage& m) { return m.SetServiceCentre(u"+491710760000"); }, 0, u"AT+CSAS"},
        {"set_service_cme", u"AT+CGSMS=", cme, [](CShortMessage& m) { return m.SetSmsService(2); },
         0, u""},
        {"get_service_cme", u"AT+CGSMS?", cme, [](CShortMessage& m) { return m.GetSmsService(); },
         -1, u""},
        {"count_cms", u"AT+CPMS=", "\r\n+CMS ERROR: 302\r\n",
         [](CShortMessage& m) {
             int total = 0;
             return m.CountStorage(u"SM", total);
         },
         -1, u"AT+CPMS?"},
        {"send_pdu_cms", u"00", "\r\n+CMS ERROR: 500\r\n",
         [](CShortMessage& m) {
             m.number = u"+491";
             m.text = u"hi";
             return m.SendText();
         },
         0, u"", 2},
        {"export_pdu_cms", u"00", "\r\n+CMS ERROR: 322\r\n",
         [](CShortMessage& m) { return m.ExportToPhone(u"+491", u"hi", u""); }, 0, u""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        io.script.clear();
        io.written.clear();
        io.On(u"AT+CMGS=", {Esc("\r\n> ")});
        io.On(u"AT+CMGW=", {Esc("\r\n> ")});
        io.On(r.prefix, {Esc(r.answer)});
        io.On(u"\x1A", {Esc(r.answer)});  // the end character written alone, on the retry
        auto sms = Message();
        EXPECT_EQ(r.run(sms), r.result);
        if (!r.notWritten.empty()) {
            EXPECT_EQ(io.CountWritten(r.notWritten), 0);
        }
        // A refused send tries the CMGS sequence twice, as for any refusal.
        EXPECT_EQ(io.CountWritten(u"AT+CMGS="), r.cmgsTries);
    }
}

// What goes into an address field or between the quotes of AT+CSCA must be an SMS address:
// anything else is refused before the first write.
TEST_F(SmsScriptedTest, NumbersThatAreNotAddressesAreNeverWritten) {
    const std::u16string refused[] = {
        u"123;\rAT+CMGD=1,4", u"+49\"\rAT+CMGD=1,4\r", u"*100#", u"0170,123",
        u"Vodafone",          u"+49 170 1234",         u"",
    };
    for (const auto& number : refused) {
        SCOPED_TRACE(WideToUtf8(number));
        io.written.clear();
        auto sms = Message();
        sms.number = number;
        sms.text = u"hi";
        EXPECT_EQ(sms.SendText(), 0);
        EXPECT_EQ(sms.ExportToPhone(number, u"hi", u""), 0);
        EXPECT_EQ(sms.ExportToPhone(number, u"hi", u"04/02/10,13:00:00,GMT+1"), 0);
        EXPECT_EQ(sms.SetServiceCentre(number), 0);
        EXPECT_TRUE(io.written.empty());
    }
    auto sms = Message();
    EXPECT_EQ(sms.SetServiceCentre(u"+491710760000"), 1);
    EXPECT_EQ(io.written.front(), u"AT+CSCA=\"+491710760000\"\r");
}

// The operation takes the port through the engine: a handler that stops the session while an
// SMS exchange waits does not leave the port mutex locked (or destroy it while locked).
TEST_F(SmsScriptedTest, StoppingTheSessionMidExchangeReleasesThePortMutex) {
    const NamedMutex watched = CreateNamedMutex(kPortMutexName);  // the session's mutex
    io.On(u"AT+CMGS=", {u""});  // no prompt: the exchange keeps waiting and pumping
    bool stopped = false;
    pump.hook = [&] {
        if (!stopped && io.CountWritten(u"AT+CMGS=") > 0) {
            stopped = true;
            m_engine->StopSession();
        }
    };
    auto sms = Message();
    sms.number = u"+491";
    sms.text = u"hi";
    EXPECT_EQ(sms.SendText(), 0);
    EXPECT_TRUE(stopped);
    bool free = false;
    std::thread other([&] {
        free = watched->try_lock();
        if (free) {
            watched->unlock();
        }
    });
    other.join();
    EXPECT_TRUE(free);
}

TEST(ParseStatusReport, FromCdsAnswer) {
    // S-SR-1 (faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5 test_decode).
    const auto sr = CShortMessage::ParseStatusReport(
        u"\\r\\n+CDS: 25\\r\\n0006D60B911326880736F4111011719551401110117195714000\\r\\n");
    EXPECT_EQ(sr.number, u"+31628870634");
    EXPECT_EQ(sr.time, u"11/01/11,17:59:15,GMT+1");
    EXPECT_EQ(sr.discharge, u"11/01/11,17:59:17,GMT+1");
    EXPECT_EQ(CShortMessage::ParseStatusReport(u"\\r\\n+CDS: 25").number, u"");
    EXPECT_EQ(CShortMessage::ParseStatusReport(u"garbage").status, 0);
}

}  // namespace
}  // namespace qvl::sms

namespace qvl::sms {
namespace {

TEST(Answers, Cmgr) {
    struct Row {
        const char* name;
        std::u16string answer;
        bool found;
        int status;
        std::u16string text;
    } rows[] = {
        // S-DEL-4 (rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d test_simple_deliver).
        {"deliver",
         u"\\r\\n+CMGR: "
         u"1,,"
         u"30\\r\\n07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07\\r"
         u"\\n\\r\\nOK\\r\\n",
         true, 1, u"How are you?"},
        // S-SUB-18 (rilmodem/ofono test_simple_submit), stored unsent.
        {"submit",
         u"\\r\\n+CMGR: "
         u"2,\"\",23\\r\\n0011000B916407281553F80000AA0AE8329BFD4697D9EC37\\r\\nOK\\r\\n",
         true, 2, u"hellohello"},
        {"no_ok", u"\\r\\n+CMGR: 1,,30\\r\\n0791", false, 0, u""},
        {"no_pdu_line", u"+CMGR: 1\\r\\nOK\\r\\n", false, 0, u""},
        {"empty_location", u"\\r\\nOK\\r\\n", false, 0, u""},
        {"sca_past_end", u"\\r\\n+CMGR: 0,,1\\r\\nFF00\\r\\n\\r\\nOK\\r\\n", true, 0, u""},
        // Added with the answer cursor: a line that is not hex digits is no PDU. The substring
        // search decoded it anyway and filed an empty message; the location is now skipped.
        {"pdu_not_hex", u"\\r\\n+CMGR: 1,,30\\r\\n07911326ZZ\\r\\n\\r\\nOK\\r\\n", false, 0, u""},
        // A +CMS ERROR in place of the PDU line is no message either.
        {"error_for_pdu", u"\\r\\n+CMGR: 1,,30\\r\\n+CMS ERROR: 321\\r\\n", false, 0, u""},
    };
    for (const auto& r : rows) {
        SmsPduInfo info;
        EXPECT_EQ(ParseCmgrAnswer(r.answer, 0, info), r.found) << r.name;
        if (r.found) {
            EXPECT_EQ(info.status, r.status) << r.name;
            EXPECT_EQ(info.text, r.text) << r.name;
        }
    }
    SmsPduInfo info;
    EXPECT_FALSE(ParseCmgrAnswer(u"+CMGR: ", 100, info));
}

TEST(Answers, CscaAndCgsms) {
    struct Row {
        const char* name;
        std::u16string answer;
        std::optional<std::u16string> centre;
        int service;
    } rows[] = {
        {"csca", u"\\r\\n+CSCA: \"+491710760000\",145\\r\\n\\r\\nOK\\r\\n", u"+491710760000", -1},
        {"csca_empty_number", u"\\r\\n+CSCA: \"\",129\\r\\n\\r\\nOK\\r\\n", u"", -1},
        {"csca_unquoted", u"\\r\\n+CSCA: 491710760000,145\\r\\nOK\\r\\n", std::nullopt, -1},
        {"csca_in_text_only", u"\\r\\nAT+CSCA?\\r\\n+CME ERROR: 10\\r\\n", std::nullopt, -1},
        {"cgsms", u"\\r\\n+CGSMS: 2\\r\\n\\r\\nOK\\r\\n", std::nullopt, 2},
        {"cgsms_no_value", u"\\r\\n+CGSMS: \\r\\nOK\\r\\n", std::nullopt, -1},
        {"cgsms_cut_off", u"\\r\\n+CGSMS: 1", std::nullopt, -1},
        {"cgsms_error", u"\\r\\n+CMS ERROR: 500\\r\\n", std::nullopt, -1},
        {"empty", u"", std::nullopt, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ParseCscaAnswer(r.answer, 0), r.centre);
        EXPECT_EQ(ParseCgsmsAnswer(r.answer, 0), r.service);
    }
}

SmsPduInfo Part(std::u16string number, int reference, int total, int sequence, std::u16string text,
                int graphic = 0) {
    SmsPduInfo p;
    p.number = std::move(number);
    p.concatenated = 1;
    p.reference = reference;
    p.total = total;
    p.sequence = sequence;
    p.text = std::move(text);
    p.graphic = graphic;
    return p;
}

TEST(AppendReadMessages, JoinsByReferenceNumberAndPart) {
    SmsPduInfo single;
    single.number = u"+491";
    single.text = u"single";
    struct Row {
        const char* name;
        std::vector<SmsPduInfo> table;
        std::vector<std::u16string> texts;  // of the store, in order
    } rows[] = {
        {"parts_out_of_order",
         {Part(u"+491", 7, 3, 3, u"C"), Part(u"+491", 7, 3, 1, u"A"), Part(u"+491", 7, 3, 2, u"B")},
         {u"ABC"}},
        {"same_reference_other_sender",
         {Part(u"+491", 7, 2, 1, u"A"), Part(u"+492", 7, 2, 2, u"x"), Part(u"+491", 7, 2, 2, u"B"),
          Part(u"+492", 7, 2, 1, u"y")},
         {u"AB", u"yx"}},
        {"missing_part", {Part(u"+491", 9, 3, 1, u"A"), Part(u"+491", 9, 3, 3, u"C")}, {u"A<>C"}},
        {"reference_used_twice",
         {Part(u"+491", 5, 2, 1, u"A"), Part(u"+491", 5, 2, 2, u"B"), Part(u"+491", 5, 2, 1, u"a"),
          Part(u"+491", 5, 2, 2, u"b")},
         {u"AB", u"ab"}},
        {"singles_first_pictures_last",
         {Part(u"+493", 1, 1, 1, u"pic", 1), Part(u"+491", 2, 2, 1, u"A"), single,
          Part(u"+491", 2, 2, 2, u"B")},
         {u"single", u"AB", std::u16string(kGraphicListText)}},
    };
    for (const auto& r : rows) {
        CRecordStore store;
        AppendReadMessages(store, r.table);
        std::vector<std::u16string> texts;
        for (const auto& rec : store.Records()) {
            texts.push_back(std::get<SmsRecord>(rec).text);
        }
        EXPECT_EQ(texts, r.texts) << r.name;
    }
}

TEST(Answers, Cpms) {
    struct Row {
        const char* name;
        std::u16string answer;
        int used;
        int total;
    } rows[] = {
        {"three_memories", u"\\r\\n+CPMS: \"SM\",3,20,\"SM\",3,20,\"SM\",3,20\\r\\n\\r\\nOK\\r\\n",
         3, 20},
        {"spaces", u"+CPMS: \"ME\", 0, 50,\"ME\",0,50", 0, 50},
        {"no_counts", u"+CPMS: \"SM\"\\r\\nOK", -1, 0},
        {"no_comma_after_used", u"+CPMS: \"SM\",3", -1, 0},
        {"garbage", u"+CPMS: \"SM\",x,1", -1, 0},
        {"nothing", u"ERROR", -1, 0},
        // Added with the answer cursor: a used count without the storage's size. The substring
        // search gave 3 used of 0 locations, messages the copy could never read; a missing
        // field now fails the count as a failed exchange does.
        {"empty_total", u"+CPMS: \"SM\",3,", -1, 0},
        // The echo of the query and the answer to AT+CPMS= (no quotes) are not the answer.
        {"after_echo", u"AT+CPMS?\\r\\r\\n+CPMS: \"SM\",1,30,\"SM\",1,30\\r\\n\\r\\nOK\\r\\n", 1,
         30},
    };
    for (const auto& r : rows) {
        int total = -5;
        EXPECT_EQ(ParseCpmsAnswer(r.answer, 0, total), r.used) << r.name;
        EXPECT_EQ(total, r.total) << r.name;
    }
}

}  // namespace
}  // namespace qvl::sms

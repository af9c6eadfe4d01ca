// CShortMessage against the modem simulator on a pseudo-terminal.
#include "app/sms/ops/shortmessage.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/settings/smssettings.h"
#include "base/text.h"
#include "common/lang/lang.h"
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
    void Create(int, int, int, bool) override {}
    void SetText(std::u16string_view text, int) override { texts.emplace_back(text); }
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled || (cancelWhen && cancelWhen()); }
    void Close() override {}
    void Destroy() override {}
    std::vector<std::u16string> texts;
    bool canceled = false;
    std::function<bool()> cancelWhen;  // Cancel is pressed once this holds
};

class SmsOpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvl-sms-ops-XXXXXX";
        m_home = ::mkdtemp(pattern);
        ::setenv("QVL_HOME", m_home.c_str(), 1);
        auto seed = sim::DefaultSeed();
        seed.sim.pinEnabled = false;
        m_sim = std::make_unique<sim::ModemSimulator>(seed);
        const std::string device = m_sim->Start();
        ASSERT_FALSE(device.empty());
        ASSERT_EQ(PortInitialize(Utf8ToWide(device), m_port.handle), 0);
        m_port.mutex = CreateNamedMutex(kPortMutexName);
        m_ui.messages = &m_messages;
        m_ui.progress = &m_progress;
    }
    void TearDown() override {
        PortClose(m_port.handle);
        m_sim->Stop();
        std::filesystem::remove_all(m_home);
    }
    CShortMessage Message() { return CShortMessage(m_port, nullptr, m_ui); }
    std::string StorePath() const { return m_home + "/QVLPhoneSMS.dat"; }

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

    std::string m_home;
    std::unique_ptr<sim::ModemSimulator> m_sim;
    CModemPort m_port;
    FakeMessages m_messages;
    FakeProgress m_progress;
    UiPorts m_ui;
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
    const int reached =
        SendToRecipients(m_port, nullptr, m_ui, u" +491; ;+492 ;", u"hi", StorePath());
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
    EXPECT_EQ(SendToRecipients(m_port, nullptr, m_ui, u"+493", u"hi", StorePath()), 0);
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

TEST_F(SmsOpsTest, PortNotOpenFailsAtOnce) {
    CModemPort closed;
    CShortMessage sms(closed, nullptr, m_ui);
    sms.number = u"1";
    sms.text = u"x";
    EXPECT_EQ(sms.SendText(), 0);
    EXPECT_EQ(sms.GetServiceCentre(), u"");
    EXPECT_EQ(sms.CountMessages(), 0);
    EXPECT_EQ(sms.ExportToPhone(u"1", u"x", u""), 0);
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
    };
    for (const auto& r : rows) {
        int total = -5;
        EXPECT_EQ(ParseCpmsAnswer(r.answer, 0, total), r.used) << r.name;
        EXPECT_EQ(total, r.total) << r.name;
    }
}

}  // namespace
}  // namespace qvl::sms

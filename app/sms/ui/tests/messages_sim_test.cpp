// The message screens over the phone engine against the modem simulator on a pseudo-terminal:
// a message arrives (+CMTI), is read from the phone into the list, opened and answered; sends
// to several recipients, a long message in two parts, copying with each delete setting, and
// the settings page through the modem.
// The simulator first: its state names a member "slots", which Qt defines as a keyword.
#include "tools/modemsim/modem_simulator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/codec/smscodec.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/enginesmsmodem.h"
#include "app/sms/ui/readdialog.h"
#include "app/sms/ui/smsnewview.h"
#include "app/sms/ui/smssettingspage.h"
#include "app/sms/ui/tests/testsupport.h"
#include "base/text.h"

using namespace qvl;
using namespace qvl::smsui;
using namespace qvl::smsui::testing;

namespace {

constexpr char16_t kTime[] = u"08/12/26,10:00:00,GMT+1";

std::string DeliverPdu(std::u16string_view number, std::u16string_view text) {
    return sms::BuildDeliverPdus(number, kTime, text, 1).at(0);
}

// The text of every SMS-SUBMIT the simulator accepted, parts joined in order.
std::u16string SentText(const std::vector<std::string>& pdus) {
    std::u16string text;
    for (const auto& pdu : pdus) {
        text += sms::DecodeSubmitPdu(sms::StripServiceCentre(pdu)).text;
    }
    return text;
}

// A progress window whose Cancel is pressed from the start.
class CanceledProgress : public IProgressWindow {
  public:
    void Create(int, int, int, bool) override {}
    void SetText(std::u16string_view, int) override {}
    void Show(bool) override {}
    bool IsCanceled() const override { return true; }
    void Close() override {}
    void Destroy() override {}
};

}  // namespace

class MessagesSimTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempHome> m_home;
    std::unique_ptr<sim::ModemSimulator> m_sim;
    std::unique_ptr<CPhoneEngine> m_engine;
    std::unique_ptr<CEngineSmsModem> m_modem;
    qvl::testing::RecordingEventSink m_sink;
    qvl::testing::FakePinDialog m_pin;
    qvl::testing::FakeModemChooser m_chooser;
    qvl::testing::FakeModemDirectory m_directory;
    qvl::testing::FakeClock m_clock;
    qvl::testing::FakePowerSupply m_power;
    ScriptedMessages m_boxes;
    SmsUiPorts m_ports;
    std::deque<std::function<int(QDialog&)>> m_dialogs;

    bool Boot() {
        m_home = std::make_unique<TempHome>();
        m_sim = std::make_unique<sim::ModemSimulator>(sim::DefaultSeed());
        const std::string path = m_sim->Start();
        if (path.empty()) {
            return false;
        }
        const ModemEntry entry{u"Simulator", u"QVL Labs GSM-SIM 1", Utf8ToWide(path)};
        m_directory.entries = {entry};
        m_chooser.choice = entry;
        EnginePorts ports;
        ports.sink = &m_sink;
        ports.pinDialog = &m_pin;
        ports.chooser = &m_chooser;
        ports.modems = &m_directory;
        ports.clock = &m_clock;
        ports.power = &m_power;
        ports.text = qvl::testing::EnglishEngineText;
        m_engine = std::make_unique<CPhoneEngine>(ports);
        m_pin.Answer(DialogResult::Ok, u"1234");
        if (m_engine->StartSession(AutoPin::AskUser) != 1 || m_engine->InitModem() != 1) {
            return false;
        }
        m_engine->ProcessDialer();
        m_sink.Clear();
        UiPorts ui;
        ui.messages = &m_boxes;
        m_modem = std::make_unique<CEngineSmsModem>(*m_engine, ui);
        m_boxes = ScriptedMessages();
        m_dialogs.clear();
        m_ports = SmsUiPorts();
        m_ports.modem = m_modem.get();
        m_ports.messages = &m_boxes;
        m_ports.runDialog = [this](QDialog& d) {
            if (m_dialogs.empty()) {
                return static_cast<int>(QDialog::Rejected);
            }
            auto script = std::move(m_dialogs.front());
            m_dialogs.pop_front();
            return script(d);
        };
        return true;
    }

    bool PollUntil(DialerEvent event) {
        for (int i = 0; i < 10; ++i) {
            m_clock.Advance(3000);
            m_engine->ProcessDialer();
            if (m_sink.CountOf(event) > 0) {
                return true;
            }
        }
        return false;
    }

  private slots:
    void init() { QVERIFY(Boot()); }
    void cleanup() {
        m_modem.reset();
        m_engine.reset();
        m_sim.reset();
    }

    void receiveListReadReply() {
        QVERIFY(m_sim->InjectSms(DeliverPdu(u"+4917011111", u"Are you coming?"), "SM") > 0);
        QVERIFY(PollUntil(DialerEvent::NewSms));

        CQVLSMSNewView view(m_ports);
        view.OpenView();
        QCOMPARE(view.CurrentFolder(), sms::kFolderInUnread);
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(view.Model()->RowAt(0)->number, u"+4917011111");
        QCOMPARE(view.Model()->RowAt(0)->text, u"Are you coming?");
        QCOMPARE(view.Model()->RowAt(0)->time, std::u16string(kTime));

        view.SelectRow(0);
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kReply);
            return d.result();
        });
        m_dialogs.push_back([](QDialog& d) {
            auto& c = dynamic_cast<CQVLComposeView&>(d);
            c.Text()->setPlainText("Yes, in ten minutes.");
            c.Send();
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(m_sim->SentPdus().size(), 1u);
        const auto sent = sms::DecodeSubmitPdu(sms::StripServiceCentre(m_sim->SentPdus()[0]));
        QCOMPARE(sent.number, u"+4917011111");
        QCOMPARE(sent.text, u"Yes, in ten minutes.");
        QCOMPARE(StoredIn(sms::kFolderInRead).size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutSent).size(), 1u);
        QVERIFY(m_boxes.Showed("Message has been sent successfully. <+4917011111>"));
    }

    void sendToTwoRecipientsOneFailing() {
        // The first recipient's command and its one retry are refused.
        m_sim->SetCannedAnswer("AT+CMGS", "\r\n+CMS ERROR: 500\r\n", 2);
        CQVLComposeView compose(m_ports);
        compose.SetTo("+4930111;+4930222");
        compose.SetText("Party at eight");
        const auto outcomes = compose.Send();
        QCOMPARE(outcomes.size(), 2u);
        QVERIFY(!outcomes[0].sent);
        QVERIFY(outcomes[1].sent);
        QCOMPARE(m_sim->SentPdus().size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutUnsent).size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutUnsent)[0].number, u"+4930111");
        QCOMPARE(StoredIn(sms::kFolderOutSent).size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutSent)[0].number, u"+4930222");
        QVERIFY(m_boxes.Showed("Message FAILED to send. <+4930111>"));
    }

    void longMessageArrivesInTwoParts() {
        QString text;
        for (int i = 0; i < 30; ++i) {
            text += QStringLiteral("line %1 ok.").arg(i % 10);  // 10 characters each
        }
        QCOMPARE(text.size(), 300);
        CQVLComposeView compose(m_ports);
        compose.SetTo("+4930333");
        compose.SetText(text);
        QVERIFY(compose.Send().at(0).sent);
        const auto pdus = m_sim->SentPdus();
        QCOMPARE(pdus.size(), 2u);
        const auto first = sms::DecodeSubmitPdu(sms::StripServiceCentre(pdus[0]));
        const auto second = sms::DecodeSubmitPdu(sms::StripServiceCentre(pdus[1]));
        QCOMPARE(first.concatenated, 1);
        QCOMPARE(first.total, 2);
        QCOMPARE(first.sequence, 1);
        QCOMPARE(second.sequence, 2);
        QCOMPARE(first.reference, second.reference);
        QCOMPARE(QString::fromStdU16String(SentText(pdus)), text);
        // The reference moves on after a long message.
        QCOMPARE(ReadSettingNumber(kRootLocalMachine, keys::kKeySmsSettings,
                                   keys::kValueLongSmsReference, 0),
                 2u);
    }

    void copyFromPhoneWithEachDeleteSetting_data() {
        QTest::addColumn<int>("deleteSms");
        QTest::addColumn<int>("answer");  // to the question of setting 1
        QTest::addColumn<bool>("deleted");
        QTest::newRow("0 keeps") << 0 << 0 << false;
        QTest::newRow("1 asks, No keeps") << 1 << 0 << false;
        QTest::newRow("1 asks, Yes deletes") << 1 << 1 << true;
        QTest::newRow("2 deletes") << 2 << 0 << true;
    }
    void copyFromPhoneWithEachDeleteSetting() {
        QFETCH(int, deleteSms);
        QFETCH(int, answer);
        QFETCH(bool, deleted);
        WriteSettingNumber(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueDeleteSms,
                           static_cast<std::uint32_t>(deleteSms));
        const int a = m_sim->InjectSms(DeliverPdu(u"+111", u"on the SIM"), "SM");
        const int b = m_sim->InjectSms(DeliverPdu(u"+222", u"in the phone"), "ME");
        QVERIFY(a > 0 && b > 0);
        m_boxes.answers = {answer != 0 ? MsgAnswer::Yes : MsgAnswer::No};
        CQVLSMSNewView view(m_ports);
        QCOMPARE(view.ReadFromPhone(), 2);
        QCOMPARE(view.Model()->rowCount(), 2);
        QCOMPARE(m_boxes.Showed("Do you want to delete SMS messages from phone"), deleteSms == 1);
        QCOMPARE(!m_sim->Message("SM", a).has_value(), deleted);
        QCOMPARE(!m_sim->Message("ME", b).has_value(), deleted);
        // Reading again does not duplicate what is already stored.
        view.ReadFromPhone();
        QCOMPARE(view.Model()->rowCount(), 2);
    }

    void longMessagePartsFromBothMemoriesAreJoined() {
        const auto parts = sms::BuildDeliverPdus(u"+333", kTime, std::u16string(200, u'x'), 7);
        QCOMPARE(parts.size(), 2u);
        QVERIFY(m_sim->InjectSms(parts[1], "SM") > 0);
        QVERIFY(m_sim->InjectSms(parts[0], "ME") > 0);
        // The pane as the main window builds it: over the engine, owning its modem adapter.
        SmsUiPorts ports = m_ports;
        ports.modem = nullptr;
        std::unique_ptr<CQVLSMSNewView> view(
            CreateMessageView(*m_engine, UiPorts{}, ports, nullptr));
        QVERIFY(view->Ports().modem != nullptr);
        view->ReadFromPhone();
        QCOMPARE(view->Model()->rowCount(), 1);
        QCOMPARE(view->Model()->RowAt(0)->text, std::u16string(200, u'x'));
    }

    void canceledPhoneReadKeepsTheStoreAndThePhone() {
        PutMessages({Sms(1, u"+1", u"already here", u"t1")});
        WriteSettingNumber(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueDeleteSms, 2);
        const int a = m_sim->InjectSms(DeliverPdu(u"+111", u"waiting"), "SM");
        CanceledProgress progress;
        UiPorts ui;
        ui.progress = &progress;
        CEngineSmsModem modem(*m_engine, ui);
        m_ports.modem = &modem;
        CQVLSMSNewView view(m_ports);
        QCOMPARE(view.ReadFromPhone(), 0);
        QVERIFY(m_sim->Message("SM", a).has_value());
        QCOMPARE(StoredMessages().size(), 1u);
        QCOMPARE(StoredMessages()[0].text, u"already here");
    }

    void modemFailingMidCopyKeepsWhatWasRead() {
        QVERIFY(m_sim->InjectSms(DeliverPdu(u"+111", u"first"), "SM") == 1);
        QVERIFY(m_sim->InjectSms(DeliverPdu(u"+222", u"second"), "SM") == 2);
        m_sim->SetCannedAnswer("AT+CMGR=2", "\r\nERROR\r\n", 5);
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInUnread);
        QCOMPARE(view.ReadFromPhone(), 1);
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(view.Model()->RowAt(0)->text, u"first");
        QCOMPARE(StoredIn(sms::kFolderInUnread).size(), 1u);
    }

    void settingsPageThroughTheModem() {
        {
            CQVLSmsSettingsPage page(m_ports);
            page.ServiceCentre()->setText("+49172999");
            page.Apply();
        }
        QVERIFY(m_sim->WaitForCommand("AT+CSAS", 20000));
        CQVLSmsSettingsPage page(m_ports);
        QCOMPARE(page.ServiceCentre()->text(), "+49172999");
        QVERIFY(page.SendUsing()->currentIndex() >= 0);
    }
};

QTEST_MAIN(MessagesSimTest)
#include "messages_sim_test.moc"

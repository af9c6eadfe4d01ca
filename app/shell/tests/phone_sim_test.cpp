// Parlino's frame, dialer view and controller against the modem simulator on a real
// pseudo-terminal: start-up with PIN entry, incoming calls answered, rejected and missed,
// dialing and its failures, hang-up, hold/swap/conference, DTMF, volume, waiting calls and
// the dead-modem question. The poll step is driven directly instead of waiting 3 s per tick.
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "tools/modemsim/modem_simulator.h"

#include <algorithm>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include <QDir>
#include <QFile>
#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"
#include "app/services/ui/networkpage.h"
#include "app/services/ui/securitypage.h"
#include "app/services/ui/settingssheet.h"
#include "app/shell/dialercontroller.h"
#include "app/shell/dialerdoc.h"

#include "app/contacts/ui/speeddialdlg.h"
#include "app/shell/mainframe.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smsnewview.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

using namespace qvl;

namespace {

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

bool Has(const std::vector<std::string>& log, const std::string& line) {
    for (const auto& l : log) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

int CountPrefix(const std::vector<std::string>& log, const std::string& prefix) {
    int n = 0;
    for (const auto& l : log) {
        n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

// Answers the next modal dialogs: the modem chooser with OK, the PIN dialog with a code.
class DialogDriver : public QObject {
  public:
    explicit DialogDriver(QString pin) : m_pin(std::move(pin)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer.start(30);
    }
    int pinDialogs = 0;
    int choosers = 0;
    QStringList attempts;

  private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (auto* pin = qobject_cast<CPinDialog*>(modal)) {
            ++pinDialogs;
            attempts << pin->findChild<QLabel*>(QStringLiteral("control1018"))->text();
            pin->CodeField()->setText(m_pin);
            pin->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        } else if (auto* chooser = qobject_cast<CModemChooserDialog*>(modal)) {
            ++choosers;
            chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
    }
    QString m_pin;
    QTimer m_timer;
};

struct Phone {
    explicit Phone(sim::ModemSeed seed) : modem(seed) {}
    sim::ModemSimulator modem;
    testing::FakeModemDirectory directory;
    testing::FakeMessageBox boxes;
    testing::FakeWindowMessenger messenger;
    DialerServices services;
    std::unique_ptr<CQVLDialerDoc> doc;
    std::unique_ptr<CMainFrame> frame;

    // Acts on a settings page while it is open (the page's return value).
    std::function<int(QDialog&)> onServiceDialog;

    DialerController& C() { return *doc->Controller(); }
    CQVLDialerView* V() { return frame->DialerView(); }
    std::vector<std::string> Log() { return modem.CommandLog(); }
    void Click(int button) {
        RKButton* b = V()->Button(button);
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    void Poll() { C().PollStep(); }
    // Polls until cond holds (each poll step reads the modem for at least 500 ms).
    template <typename F>
    bool PollUntil(F cond, int steps = 12) {
        for (int i = 0; i < steps; ++i) {
            if (cond()) {
                return true;
            }
            Poll();
        }
        return cond();
    }
};

sim::ModemSeed ReadySeed() {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    return seed;
}

}  // namespace

class PhoneSimTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void pinEntryAtStart();
    void incomingCallAnswered();
    void incomingCallRejected();
    void incomingCallMissed();
    void dialingAndHangUp();
    void dialingFailure();
    void holdSwapConference();
    void dtmfOnlyOnOk();
    void volumeLimits();
    void waitingCall();
    void deadModemQuestion();
    void deadModemRestartOnYes();
    void modemDiesMidCall();
    void restartAndExit();
    void dialRequestFromContacts();
    void dialRequestWithACommandInTheNumber();
    void newMessageIndicatorUntilTheViewOpens_data();
    void newMessageIndicatorUntilTheViewOpens();
    void rowSelectionEnablesMatchingOptions();
    void settingsPagesKeepTheSettingsDialogRule();
    void settingsPagesAsANewUserMeetsThem_data();
    void settingsPagesAsANewUserMeetsThem();
    void outgoingCallTimedFromTheAnswer();
    void answeredCallTimerNotRestarted();
    void incomingCallBringsTheDialerForward();
    void waitingCallAnsweredFromCallOptions();
    void oneCallOffersOnlyWhatApplies();
    void enterDialsAfterAClickedKey();
    void closedDeviceIsALostModemAtOnce();
    void callScreenshots();
    void speedDialFromTheMenuDials();
    void incomingCallShowsTheContactsName();

  private:
    std::unique_ptr<Phone> Started(sim::ModemSeed seed = ReadySeed());
    QTemporaryDir m_home;
    // Acts on the speed-dial dialog while it is open (null: exec).
    std::function<int(QDialog&)> m_runContacts;
};

void PhoneSimTest::initTestCase() {
    qputenv("QVL_HOME", m_home.path().toUtf8());
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", 1);
}

std::unique_ptr<Phone> PhoneSimTest::Started(sim::ModemSeed seed) {
    auto phone = std::make_unique<Phone>(seed);
    const std::string path = phone->modem.Start();
    if (path.empty()) {
        return nullptr;
    }
    phone->directory.entries = {
        {u"Cable", u"QVL GSM simulator", std::u16string(path.begin(), path.end())}};
    phone->services.modems = &phone->directory;
    phone->services.messages = &phone->boxes;
    phone->services.messenger = &phone->messenger;
    phone->services.publishWindow = false;
    phone->services.runContactsDialog = [this](QDialog& d) {
        return m_runContacts ? m_runContacts(d) : d.exec();
    };
    phone->services.runServiceDialog = [p = phone.get()](QDialog& page) {
        return p->onServiceDialog ? p->onServiceDialog(page) : int(QDialog::Rejected);
    };
    phone->messenger.published = {u"QVLDialerToday"};
    phone->doc = std::make_unique<CQVLDialerDoc>(&phone->services);
    phone->frame = std::make_unique<CMainFrame>(phone->doc.get());
    phone->frame->resize(240, 340);
    phone->frame->show();
    {
        DialogDriver driver(QStringLiteral("1234"));
        phone->doc->OnFirstDisplay();
    }
    // The set-up commands of timer 6, then the operator.
    phone->C().Timer(6).stop();
    phone->C().Engine().InitModem();
    phone->PollUntil([&] { return phone->C().Engine().NetworkKnown(); });
    return phone;
}

void PhoneSimTest::pinEntryAtStart() {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = true;
    auto phone = std::make_unique<Phone>(seed);
    const std::string path = phone->modem.Start();
    QVERIFY(!path.empty());
    phone->directory.entries = {{u"Cable", u"sim", std::u16string(path.begin(), path.end())}};
    phone->services.modems = &phone->directory;
    phone->services.messages = &phone->boxes;
    phone->services.messenger = &phone->messenger;
    phone->services.publishWindow = false;
    phone->doc = std::make_unique<CQVLDialerDoc>(&phone->services);
    phone->frame = std::make_unique<CMainFrame>(phone->doc.get());
    phone->frame->show();
    DialogDriver driver(QStringLiteral("1234"));
    phone->doc->OnFirstDisplay();
    QCOMPARE(driver.choosers, 1);
    QCOMPARE(driver.pinDialogs, 1);
    QCOMPARE(driver.attempts.value(0), QStringLiteral("Attempts = 3"));
    QCOMPARE(phone->C().Engine().SimReady(), true);
    QVERIFY(Has(phone->Log(), "AT+CPIN=\"1234\""));
    QVERIFY(phone->C().Timer(1).isActive());
    QVERIFY(phone->C().Timer(6).isActive());
    QCOMPARE(phone->frame->windowTitle(), QStringLiteral("QVL SMS/Phone"));
}

void PhoneSimTest::incomingCallAnswered() {
    auto phone = Started();
    QVERIFY(phone);
    QVERIFY(!phone->V()->Text(kStatusLine).isEmpty());
    phone->modem.InjectIncomingCall("+4930111222");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("->+4930111222"));
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5106) + QStringLiteral(".."));
    phone->Click(kCallButton);
    QVERIFY(Has(phone->Log(), "ATA"));
    QCOMPARE(phone->C().Engine().InCall(), true);
    QVERIFY(phone->C().Timer(4).isActive());
    QVERIFY(phone->V()->CallOptionsButtonShown());
    // The call timer shows the first seconds; the limit is generous for a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(phone->V()->Text(kTimerLine).startsWith(QStringLiteral("00:00:")),
                             20000);
    phone->modem.RemoteHangup();
    QVERIFY(phone->PollUntil([&] { return !phone->C().Engine().InCall(); }));
    QVERIFY(!phone->C().Timer(4).isActive());
    QVERIFY(phone->V()->Text(kCallStateLine).startsWith(QStringLiteral("00:00:")));
    QVERIFY(phone->V()->Text(kTimerLine).isEmpty());
    QVERIFY(!phone->V()->CallOptionsButtonShown());
}

void PhoneSimTest::incomingCallRejected() {
    auto phone = Started();
    QVERIFY(phone);
    phone->modem.InjectIncomingCall("+4930999");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    phone->Click(kHangUpButton);
    QVERIFY(Has(phone->Log(), "ATH"));
    QVERIFY(!phone->C().Calls().Ringing());
    QVERIFY(phone->modem.Calls().empty());
    QCOMPARE(phone->C().Engine().InCall(), false);
}

void PhoneSimTest::incomingCallMissed() {
    auto phone = Started();
    QVERIFY(phone);
    phone->modem.InjectIncomingCall("+4930777");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    phone->modem.RemoteHangup();
    // The ringing ends at the first examined answer more than 3 s after the last RING.
    QVERIFY(phone->PollUntil([&] { return !phone->C().Calls().Ringing(); }, 20));
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("X+4930777"));
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5107));
}

void PhoneSimTest::dialingAndHangUp() {
    auto phone = Started();
    QVERIFY(phone);
    for (int key : {int(kKey0), int(kKey3), int(kKey0), int(kKey5), int(kKey5), int(kKey5)}) {
        phone->Click(key);
    }
    phone->Click(kBackspaceButton);
    QCOMPARE(phone->V()->Text(kNumberField), QStringLiteral("03055"));
    phone->Click(kCallButton);
    QVERIFY(Has(phone->Log(), "ATD03055;"));
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5096));
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("<-03055"));
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] {
        return phone->C().Engine().CallCount() == 1 && phone->C().Engine().Calls()[0].state == 0;
    }));
    const int index = phone->C().Engine().Calls()[0].index;
    phone->Click(kHangUpButton);
    QVERIFY(Has(phone->Log(), "AT+CHLD=1" + std::to_string(index)));
    QVERIFY(!Has(phone->Log(), "ATH"));
    QVERIFY(phone->modem.Calls().empty());
}

void PhoneSimTest::dialingFailure() {
    auto phone = Started();
    QVERIFY(phone);
    phone->modem.SetFault(sim::FaultKind::Error, 4);
    phone->V()->SetText(kNumberField, QStringLiteral("0301"));
    phone->Click(kCallButton);
    QCOMPARE(CountPrefix(phone->Log(), "ATD0301;"), 4);
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5115));
    QCOMPARE(phone->C().Engine().InCall(), false);
    // Star and hash codes are refused before anything is sent.
    phone->V()->SetText(kNumberField, QStringLiteral("*#06#"));
    phone->Click(kCallButton);
    QCOMPARE(CountPrefix(phone->Log(), "ATD*"), 0);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5037));
}

void PhoneSimTest::holdSwapConference() {
    auto phone = Started();
    QVERIFY(phone);
    phone->V()->SetText(kNumberField, QStringLiteral("0301"));
    phone->Click(kCallButton);
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 1; }));
    // A second call while the first is active is refused.
    phone->V()->SetText(kNumberField, QStringLiteral("0302"));
    phone->Click(kCallButton);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5015));
    // Hold the first, then dial the second.
    emit phone->V()->Command(kCmdHoldActive);
    QVERIFY(Has(phone->Log(), "AT+CHLD=2"));
    phone->Click(kCallButton);
    QVERIFY(Has(phone->Log(), "ATD0302;"));
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil(
        [&] { return phone->modem.Calls().size() == 2 && phone->C().Engine().CallCount() == 2; }));
    emit phone->V()->Command(kCmdCallOptions);
    QVERIFY(phone->V()->CallListShown());
    QCOMPARE(phone->V()->CallList()->topLevelItemCount(), 2);
    emit phone->V()->Command(kCmdSwap);
    QCOMPARE(CountPrefix(phone->Log(), "AT+CHLD=2"), 2);
    emit phone->V()->Command(kCmdConference);
    QVERIFY(Has(phone->Log(), "AT+CHLD=3"));
    for (const sim::Call& call : phone->modem.Calls()) {
        QVERIFY(call.multiparty);
    }
    // Two calls: the hang-up button asks for the call options.
    phone->Click(kHangUpButton);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5036));
}

void PhoneSimTest::dtmfOnlyOnOk() {
    auto phone = Started();
    QVERIFY(phone);
    phone->V()->SetText(kNumberField, QString());
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] {
        return phone->C().Engine().CallCount() == 1 && phone->C().Engine().Calls()[0].state == 0;
    }));
    phone->V()->SetText(kNumberField, QString());
    phone->Click(kKey5);
    QCOMPARE(QString::fromStdString(phone->modem.Dtmf()), QStringLiteral("5"));
    QCOMPARE(phone->V()->Text(kNumberField), QStringLiteral("5"));
    phone->modem.SetFault(sim::FaultKind::Error, 1);
    phone->Click(kKey6);
    QCOMPARE(phone->V()->Text(kNumberField), QStringLiteral("5"));
}

void PhoneSimTest::volumeLimits() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().SetStoredVolume(3);
    for (int i = 0; i < 4; ++i) {
        emit phone->V()->Command(kCmdVolumeUp);
    }
    QCOMPARE(phone->C().Calls().Volume(), 5);
    QCOMPARE(CountPrefix(phone->Log(), "AT+CLVL="), 2);
    QVERIFY(Has(phone->Log(), "AT+CLVL=225"));
}

void PhoneSimTest::waitingCall() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 1; }));
    QVERIFY(phone->modem.InjectCallWaiting("+4930555"));
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Waiting(); }));
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5112) + QStringLiteral(".."));
    QVERIFY(phone->C().Timer(3).isActive());
    const auto before = phone->Log().size();
    phone->Click(kCallButton);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5014));
    QCOMPARE(phone->Log().size(), before);
}

void PhoneSimTest::deadModemQuestion() {
    auto phone = Started();
    QVERIFY(phone);
    phone->boxes.answer = MsgAnswer::No;
    phone->modem.SetSilent(true);
    const QString question = Local(5235);
    const auto asked = [&] {
        for (const auto& s : phone->boxes.shown) {
            if (QString::fromStdU16String(s) == question) {
                return true;
            }
        }
        return false;
    };
    // Force the operator check on every step so that each one finds the modem dead.
    QVERIFY(phone->PollUntil(
        [&] {
            qvl::testing::EnginePeer::ForgetOperatorCheck(phone->C().Engine());
            return asked();
        },
        30));
    QCOMPARE(phone->V()->Text(kStatusLine), Local(5084));
    QCOMPARE(phone->C().Engine().Stopped(), true);
}

// Answers the restart question with Yes after bringing the modem back to life.
class ReviveOnQuestion : public IMessageBoxPort {
  public:
    explicit ReviveOnQuestion(sim::ModemSimulator& modem) : m_modem(modem) {}
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        shown.emplace_back(text);
        if (QString::fromStdU16String(std::u16string(text)) == Local(5235)) {
            m_modem.SetSilent(false);
            return MsgAnswer::Yes;
        }
        return MsgAnswer::Ok;
    }
    std::vector<std::u16string> shown;

  private:
    sim::ModemSimulator& m_modem;
};

void PhoneSimTest::deadModemRestartOnYes() {
    auto phone = Started();
    QVERIFY(phone);
    ReviveOnQuestion boxes(phone->modem);
    phone->services.messages = &boxes;
    // The controller took its message port at construction: build a second frame on the same
    // simulator with the reviving port.
    phone->frame.reset();
    phone->doc.reset();
    phone->doc = std::make_unique<CQVLDialerDoc>(&phone->services);
    phone->frame = std::make_unique<CMainFrame>(phone->doc.get());
    phone->frame->show();
    {
        DialogDriver driver(QStringLiteral("1234"));
        phone->doc->OnFirstDisplay();
    }
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().NetworkKnown(); }));
    phone->modem.SetSilent(true);
    QVERIFY(phone->PollUntil(
        [&] {
            qvl::testing::EnginePeer::ForgetOperatorCheck(phone->C().Engine());
            return !boxes.shown.empty();
        },
        30));
    // Yes restarted the session on the remembered port.
    QCOMPARE(phone->C().Engine().Stopped(), false);
    QCOMPARE(phone->C().Engine().SimReady(), true);
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().NetworkKnown(); }));
}

void PhoneSimTest::modemDiesMidCall() {
    auto phone = Started();
    QVERIFY(phone);
    phone->boxes.answer = MsgAnswer::No;
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 1; }));
    phone->modem.DropLine();
    // Key presses and hang-up on a dead line neither hang nor crash; the poll step finds the
    // modem dead and, six times in a row, asks whether to restart.
    phone->Click(kKey1);
    phone->Click(kHangUpButton);
    QVERIFY(phone->PollUntil(
        [&] {
            qvl::testing::EnginePeer::ForgetOperatorCheck(phone->C().Engine());
            return phone->C().Engine().Stopped();
        },
        30));
    QCOMPARE(phone->V()->Text(kStatusLine), Local(5084));
}

void PhoneSimTest::restartAndExit() {
    auto phone = Started();
    QVERIFY(phone);
    const std::size_t before = phone->Log().size();
    phone->frame->RunCommand(kCmdRestartPhone);
    // The remembered port is opened again and set up, without the chooser.
    QCOMPARE(phone->C().Engine().SimReady(), true);
    QCOMPARE(phone->C().Engine().Stopped(), false);
    QVERIFY(phone->modem.WaitForCommand("AT+CLIP=1", 20000, before));
    phone->frame->RunCommand(kCmdExit);
    QVERIFY(!phone->C().Timer(1).isActive());
    QCOMPARE(phone->C().Engine().Stopped(), true);
    QVERIFY(!phone->frame->isVisible());
}

void PhoneSimTest::dialRequestFromContacts() {
    auto phone = Started();
    QVERIFY(phone);
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create)
        .WriteString(u"Number", u"(030) 123 45");
    phone->boxes.answer = MsgAnswer::Yes;
    QCOMPARE(phone->C().OnWindowMessage(0x0400 + 100, 1, 0), 1);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()),
             Local(5100) + QStringLiteral("03012345> ?"));
    QVERIFY(Has(phone->Log(), "ATD03012345;"));
    // A new message: the count goes to the Today item; opening the view resets it.
    phone->modem.InjectSms(
        "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37");
    QVERIFY(phone->PollUntil([&] { return phone->V()->UnreadCount() == 1; }));
    QVERIFY(!phone->messenger.sent.empty());
    QCOMPARE(phone->messenger.sent.back().wParam, 1);
    QCOMPARE(phone->messenger.sent.back().lParam, 1);
    QCOMPARE(phone->C().OnWindowMessage(0x0400 + 200, 0, 0), 1);
    QCOMPARE(phone->frame->ActivePane(), 1);
    QCOMPARE(phone->V()->UnreadCount(), 0);
    QCOMPARE(phone->messenger.sent.back().wParam, 0);
}

// The number of the suite's dial request comes from the registry, where any program can put
// anything. One that carries a second command after a carriage return would delete every
// message on the SIM if it went into "ATD" + number: it is refused as a failed dial, with no
// question asked and not one byte written to the modem.
void PhoneSimTest::dialRequestWithACommandInTheNumber() {
    auto phone = Started();
    QVERIFY(phone);
    const int index = phone->modem.InjectSms(
        "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37", "SM");
    QVERIFY(index > 0);
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create)
        .WriteString(u"Number", u"123;\rAT+CMGD=1,4");
    phone->boxes.answer = MsgAnswer::Yes;
    const std::size_t boxesBefore = phone->boxes.shown.size();
    const std::vector<std::string> logBefore = phone->Log();
    QCOMPARE(phone->C().OnWindowMessage(0x0400 + 100, 1, 0), 1);
    QCOMPARE(phone->Log(), logBefore);
    QCOMPARE(phone->boxes.shown.size(), boxesBefore);
    QCOMPARE(phone->frame->ActivePane(), 0);
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5115));
    QVERIFY(!phone->C().Engine().InCall());
    QVERIFY(phone->modem.Message("SM", index).has_value());
}

void PhoneSimTest::newMessageIndicatorUntilTheViewOpens_data() {
    QTest::addColumn<bool>("fromToday");
    QTest::newRow("the Today item's request (1224)") << true;
    QTest::newRow("the menu command \"&SMS\"") << false;
}

void PhoneSimTest::newMessageIndicatorUntilTheViewOpens() {
    QFETCH(bool, fromToday);
    auto phone = Started();
    QVERIFY(phone);
    QFile::remove(QString::fromStdString(sms::SmsStorePath()));
    QVERIFY(!phone->V()->IndicatorShown(StatusIcon::NewMessage));
    // "hellohello" (7-bit) stored by the simulator, which announces it with +CMTI.
    QVERIFY(phone->modem.InjectSms(
                "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37") >= 0);
    QVERIFY(phone->PollUntil([&] { return phone->V()->UnreadCount() == 1; }));
    QVERIFY(phone->V()->IndicatorShown(StatusIcon::NewMessage));
    QCOMPARE(phone->messenger.sent.back().message, std::uint32_t(0x0400 + 300));
    QCOMPARE(phone->messenger.sent.back().wParam, 1);
    QCOMPARE(phone->messenger.sent.back().lParam, 1);

    if (fromToday) {
        QCOMPARE(phone->C().OnWindowMessage(0x0400 + 200, 0, 0), 1);
    } else {
        phone->frame->CommandAction(kCmdSms)->trigger();
    }
    auto* view = qobject_cast<smsui::CQVLSMSNewView*>(phone->frame->MessageView());
    QVERIFY(view != nullptr);
    QCOMPARE(phone->frame->ActivePane(), 1);
    QVERIFY(view->isVisible());
    QVERIFY(!phone->V()->IndicatorShown(StatusIcon::NewMessage));
    QCOMPARE(phone->V()->UnreadCount(), 0);
    QCOMPARE(phone->messenger.sent.back().wParam, 0);
    QCOMPARE(phone->messenger.sent.back().lParam, 0);
    // The message was read from the phone into "In Unread", which the view shows.
    QVERIFY(view->ShowFolder(sms::kFolderInUnread));
    QCOMPARE(view->Model()->rowCount(), 1);
    QCOMPARE(QString::fromStdU16String(view->Model()->RowAt(0)->text),
             QStringLiteral("hellohello"));
    QVERIFY(CountPrefix(phone->Log(), "AT+CMGR=") >= 1);
    QFile::remove(QString::fromStdString(sms::SmsStorePath()));
}

void PhoneSimTest::rowSelectionEnablesMatchingOptions() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 1; }));
    emit phone->V()->Command(kCmdCallOptions);
    QTreeWidget* list = phone->V()->CallList();
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(1), Local(5113));
    emit phone->V()->CallListRowActivated(list->topLevelItem(0)->data(0, Qt::UserRole).toInt(),
                                          Local(5113));
    QVERIFY(phone->V()->OptionButton(kCmdHoldActive)->isEnabled());
    QVERIFY(!phone->V()->OptionButton(kCmdRetrieveHeld)->isEnabled());
    emit phone->V()->Command(kCmdHoldActive);
    QCOMPARE(list->topLevelItem(0)->text(1), Local(5109));
    emit phone->V()->CallListRowActivated(list->topLevelItem(0)->data(0, Qt::UserRole).toInt(),
                                          Local(5109));
    QVERIFY(!phone->V()->OptionButton(kCmdHoldActive)->isEnabled());
    QVERIFY(phone->V()->OptionButton(kCmdRetrieveHeld)->isEnabled());
    // The keypad toggle leaves the list.
    emit phone->V()->Command(kCmdKeypad);
    QVERIFY(!phone->V()->CallListShown());
}

void PhoneSimTest::outgoingCallTimedFromTheAnswer() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().DialNumber(u"0301");
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5096));
    QVERIFY(!phone->C().Timer(4).isActive());
    // Ringing at the far end: still "Calling...", no timer.
    phone->Poll();
    QCOMPARE(phone->V()->Text(kCallStateLine), Local(5096));
    QVERIFY(!phone->C().Timer(4).isActive());
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Timer(4).isActive(); }));
    QCOMPARE(phone->V()->Text(kCallStateLine), QString());
    QCOMPARE(phone->V()->Text(kTimerLine), QStringLiteral("00:00:00"));
    // Held, the call stays connected and timed.
    emit phone->V()->Command(kCmdHoldActive);
    QVERIFY(phone->C().Timer(4).isActive());
    QVERIFY(phone->V()->Text(kCallStateLine) != Local(5096));
}

void PhoneSimTest::answeredCallTimerNotRestarted() {
    auto phone = Started();
    QVERIFY(phone);
    phone->modem.InjectIncomingCall("+4930111222");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    phone->Click(kCallButton);
    QVERIFY(phone->C().Timer(4).isActive());
    // Three seconds into the call (however long a busy machine takes to show them) ...
    QTRY_VERIFY_WITH_TIMEOUT(phone->V()->Text(kTimerLine) >= QStringLiteral("00:00:03"), 20000);
    const QString shown = phone->V()->Text(kTimerLine);
    // ... the poll steps that follow notice that the RINGs stopped; the running timer must go
    // on from the answer, not start again at 00:00:00 (which the three steps, some 1.5 s,
    // could not bring back to what was shown).
    for (int i = 0; i < 3; ++i) {
        phone->Poll();
    }
    phone->C().Calls().OnCallTimerTick();
    QVERIFY2(phone->V()->Text(kTimerLine) >= shown, qPrintable(phone->V()->Text(kTimerLine)));
}

void PhoneSimTest::incomingCallBringsTheDialerForward() {
    auto phone = Started();
    QVERIFY(phone);
    phone->frame->ShowPane(1);
    QCOMPARE(phone->frame->ActivePane(), 1);
    // The test bus has no notification service: no bubble can be shown.
    phone->modem.InjectIncomingCall("+4930444");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    QCOMPARE(phone->frame->ActivePane(), 0);
    QVERIFY(phone->V()->isVisible());
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("->+4930444"));
}

void PhoneSimTest::waitingCallAnsweredFromCallOptions() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 1; }));
    QVERIFY(phone->modem.InjectCallWaiting("+4930555"));
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Waiting(); }));
    // The message names the button that is there.
    phone->Click(kCallButton);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5014));
    QVERIFY(phone->V()->CallOptionsButtonShown());
    auto* options =
        phone->V()->findChild<QToolButton*>(QStringLiteral("cmd%1").arg(kCmdCallOptions));
    QVERIFY(options != nullptr);
    QVERIFY(Local(5014).contains(options->text()));
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().CallCount() == 2; }));
    options->click();
    QVERIFY(phone->V()->CallListShown());
    QPushButton* answer = phone->V()->OptionButton(kCmdSwap);
    QCOMPARE(answer->text(), QString::fromStdU16String(LoadDialogText(100, "1071answer")));
    QVERIFY(answer->isEnabled());
    QVERIFY(!phone->V()->OptionButton(kCmdHoldActive)->isEnabled());
    QVERIFY(!phone->V()->OptionButton(kCmdRetrieveHeld)->isEnabled());
    answer->click();
    QVERIFY(Has(phone->Log(), "AT+CHLD=2"));
    QVERIFY(phone->PollUntil(
        [&] {
            phone->C().Calls().OnWaitingWatchTick();  // timer 3
            return !phone->C().Calls().Waiting();
        },
        6));
    int active = 0;
    for (const sim::Call& call : phone->modem.Calls()) {
        active += call.number == "+4930555" && call.state == sim::CallState::Active ? 1 : 0;
    }
    QCOMPARE(active, 1);
    // Two calls and no row chosen: Release says what it needs and sends nothing.
    phone->V()->CallList()->setCurrentItem(nullptr);
    const auto before = CountPrefix(phone->Log(), "AT+CHLD=1");
    emit phone->V()->Command(kCmdRelease);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()),
             QString::fromStdU16String(LoadDialogText(100, "selectcall")));
    QCOMPARE(CountPrefix(phone->Log(), "AT+CHLD=1"), before);
}

void PhoneSimTest::oneCallOffersOnlyWhatApplies() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().Calls().DialNumber(u"0301");
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] {
        return phone->C().Engine().CallCount() == 1 && phone->C().Engine().Calls()[0].state == 0;
    }));
    emit phone->V()->Command(kCmdCallOptions);
    const auto enabled = [&](int id) { return phone->V()->OptionButton(id)->isEnabled(); };
    QVERIFY(enabled(kCmdHoldActive));
    QVERIFY(!enabled(kCmdRetrieveHeld));
    QVERIFY(!enabled(kCmdSwap));
    QVERIFY(!enabled(kCmdPrivate));
    QVERIFY(enabled(kCmdRelease));
    QVERIFY(!enabled(kCmdConference));
    emit phone->V()->Command(kCmdHoldActive);
    QCOMPARE(phone->C().Engine().Calls()[0].state, 1);
    QVERIFY(!enabled(kCmdHoldActive));
    QVERIFY(enabled(kCmdRetrieveHeld));
    emit phone->V()->Command(kCmdRetrieveHeld);
    QCOMPARE(phone->C().Engine().Calls()[0].state, 0);
    // The only call is released without choosing a row.
    emit phone->V()->Command(kCmdRelease);
    QVERIFY(phone->modem.Calls().empty());
}

void PhoneSimTest::enterDialsAfterAClickedKey() {
    auto phone = Started();
    QVERIFY(phone);
    phone->frame->activateWindow();
    phone->V()->SetText(kNumberField, QString());
    phone->Click(kKey5);
    QCOMPARE(phone->V()->Text(kNumberField), QStringLiteral("5"));
    QVERIFY(!phone->V()->Button(kKey5)->hasFocus());
    QWidget* target =
        QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : phone->V();
    QTest::keyClick(target, Qt::Key_Return);
    QCOMPARE(phone->V()->Text(kNumberField), QStringLiteral("5"));
    QVERIFY(Has(phone->Log(), "ATD5;"));
}

void PhoneSimTest::closedDeviceIsALostModemAtOnce() {
    auto phone = Started();
    QVERIFY(phone);
    phone->boxes.answer = MsgAnswer::No;
    phone->V()->HandleStatusEvent({DialerEvent::Signal, 3, {}}, u"");
    phone->V()->HandleStatusEvent({DialerEvent::GprsAttach, 1, {}}, u"");
    phone->V()->HandleStatusEvent({DialerEvent::Roaming, 1, {}}, u"");
    QVERIFY(phone->V()->IndicatorShown(StatusIcon::Gprs));
    // The simulator closes its end of the line: reads see the hang-up (EIO).
    phone->modem.DropLine();
    QVERIFY(phone->PollUntil([&] { return phone->C().Engine().Stopped(); }, 2));
    QCOMPARE(phone->V()->Text(kStatusLine), Local(5084));
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown.back()), Local(5235));
    QVERIFY(!phone->V()->IndicatorShown(StatusIcon::Gprs));
    QVERIFY(!phone->V()->IndicatorShown(StatusIcon::Roaming));
    QVERIFY(!phone->V()->IndicatorShown(StatusIcon::MailboxFull));
    QCOMPARE(phone->V()->Text(kDivertLine), QString());
    QCOMPARE(phone->V()->SignalBars(), 0);
}

// The call and waiting-call screens as a user sees them, written into the build folder
// (scripts/screenshots.sh copies them into the docs).
void PhoneSimTest::callScreenshots() {
    auto phone = Started();
    QVERIFY(phone);
    QVERIFY(QTest::qWaitForWindowExposed(phone->frame.get()));
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    const QDir dir(QStringLiteral(QVL_SCREENSHOT_DIR));
    phone->V()->SetText(kNumberField, QStringLiteral("+4930123456"));
    phone->Click(kCallButton);
    phone->modem.RemoteAnswer();
    QVERIFY(phone->PollUntil([&] { return phone->C().Timer(4).isActive(); }));
    QTRY_VERIFY_WITH_TIMEOUT(phone->V()->Text(kTimerLine) >= QStringLiteral("00:00:02"), 5000);
    QVERIFY(phone->frame->grab().save(dir.filePath(QStringLiteral("call-en-portrait.png"))));

    QVERIFY(phone->modem.InjectCallWaiting("+491701234567"));
    QVERIFY(phone->PollUntil(
        [&] { return phone->C().Calls().Waiting() && phone->C().Engine().CallCount() == 2; }));
    emit phone->V()->Command(kCmdCallOptions);
    QVERIFY(phone->V()->CallListShown());
    QVERIFY(
        phone->frame->grab().save(dir.filePath(QStringLiteral("waiting-call-en-portrait.png"))));
}

void PhoneSimTest::speedDialFromTheMenuDials() {
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SpeedDial",
                                    RegOpen::Create);
    key.WriteString(u"Category0Button1Name", u"Anna");
    key.WriteString(u"Category0Button1Number", u"0301234567");
    auto phone = Started();
    QVERIFY(phone);
    QVERIFY(phone->frame->CommandAction(kCmdSpeedDial)->isEnabled());
    phone->frame->ShowPane(1);
    bool shown = false;
    m_runContacts = [&](QDialog& d) {
        auto* dialog = qobject_cast<contactsui::CQVLSpeedDialDlg*>(&d);
        shown = dialog != nullptr && dialog->SpeedButton(1)->text() == QStringLiteral("Anna");
        QTest::mouseClick(dialog->SpeedButton(1), Qt::LeftButton);
        return d.result();
    };
    phone->frame->RunCommand(kCmdSpeedDial);
    m_runContacts = nullptr;
    QVERIFY(shown);
    QCOMPARE(phone->frame->ActivePane(), 0);
    QVERIFY(Has(phone->Log(), "ATD0301234567;"));
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("<-0301234567"));
    RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SpeedDial");
}

void PhoneSimTest::incomingCallShowsTheContactsName() {
    const QString card = m_home.path() + QStringLiteral("/Contacts/bea.vcf");
    QDir().mkpath(m_home.path() + QStringLiteral("/Contacts"));
    {
        QFile file(card);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bea\r\nN:<b>Berg</b> & Co;Bea;;;\r\n"
            "TEL;TYPE=WORK:040 777 888\r\nEND:VCARD\r\n");
    }
    auto phone = Started();
    QVERIFY(phone);
    // With the message view in front, the call is announced by the bubble.
    phone->frame->ShowPane(1);
    phone->modem.InjectIncomingCall("+4940777888");
    QVERIFY(phone->PollUntil([&] { return phone->C().Calls().Ringing(); }));
    QCOMPARE(phone->V()->Text(kNameLine), QStringLiteral("->Bea <b>Berg</b> & Co"));
    QVERIFY(
        phone->C().BubbleHtml().contains(QStringLiteral("Bea &lt;b&gt;Berg&lt;/b&gt; &amp; Co ?")));
    QVERIFY(!phone->C().BubbleHtml().contains(QStringLiteral("<b>")));
    // The name came from what was read: no phonebook read while the call rang.
    QCOMPARE(CountPrefix(phone->Log(), "AT+CPBR"), 0);
    phone->Click(kHangUpButton);
    QFile::remove(card);
}

void PhoneSimTest::settingsPagesKeepTheSettingsDialogRule() {
    auto phone = Started();
    QVERIFY(phone);
    const std::pair<int, const char*> commands[] = {
        {kCmdNetworkSettings, "CQVLNetworkPage"},
        {kCmdCallSettings, "CQVLSettingsSheet"},
        {kCmdSecuritySettings, "CQVLSecurityPage"},
        {kCmdModemInfo, "CQVLModemInfoPage"},
    };
    for (const auto& [command, page] : commands) {
        QVERIFY(phone->frame->CommandAction(command)->isEnabled());
        QString opened;
        bool active = true;
        bool suspended = false;
        phone->onServiceDialog = [&](QDialog& dialog) {
            opened = dialog.objectName();
            active = phone->doc->DialerActive();
            suspended = phone->C().Engine().PollSuspended();
            return int(QDialog::Rejected);
        };
        phone->frame->RunCommand(command);
        QCOMPARE(opened, QString::fromLatin1(page));
        QVERIFY(!active);
        QVERIFY(suspended);
        QVERIFY(phone->doc->DialerActive());
        QVERIFY(!phone->C().Engine().PollSuspended());
    }
}

void PhoneSimTest::settingsPagesAsANewUserMeetsThem_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("English") << 1 << QStringLiteral("Enabled");
    QTest::newRow("German") << 2 << QStringLiteral("Aktiviert");
    QTest::newRow("Italian") << 3 << QStringLiteral("Attivato");
    QTest::newRow("Spanish") << 4 << QStringLiteral("Activado");
    QTest::newRow("French") << 5 << QStringLiteral("Activé");
}

void PhoneSimTest::settingsPagesAsANewUserMeetsThem() {
    QFETCH(int, language);
    QFETCH(QString, enabled);
    const auto setLanguage = [](std::uint32_t id) {
        RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
            .WriteDword(u"LanguageID", id);
    };
    setLanguage(static_cast<std::uint32_t>(language));
    // The other tests run in English, whatever happens here.
    const auto english = qScopeGuard([&] { setLanguage(1); });
    QCOMPARE(Local(5005), enabled);
    auto phone = Started();
    QVERIFY(phone);
    CPhoneEngine& engine = phone->C().Engine();
    engine.SetRestartPauseMs(20);

    // Network: list, register by hand, the choice stays; then back to automatic. The page
    // speaks the user's language.
    QString networkTitle;
    phone->onServiceDialog = [&](QDialog& dialog) {
        auto* page = qobject_cast<servicesui::CQVLNetworkPage*>(&dialog);
        networkTitle = page->windowTitle();
        page->Manual();
        page->List()->setCurrentRow(1);
        page->Register();
        return int(QDialog::Rejected);
    };
    phone->frame->RunCommand(kCmdNetworkSettings);
    QCOMPARE(phone->V()->Text(kStatusLine), QStringLiteral("Northnet"));
    QCOMPARE(networkTitle, Local(5061));
    const std::size_t registered = phone->Log().size();
    for (int i = 0; i < 2; ++i) {
        testing::EnginePeer::ForgetOperatorCheck(engine);
        phone->Poll();
    }
    QCOMPARE(QString::fromStdU16String(engine.OperatorName()), QStringLiteral("Northnet"));
    const std::vector<std::string> log = phone->Log();
    QCOMPARE(std::count(log.begin() + static_cast<std::ptrdiff_t>(registered), log.end(),
                        std::string("AT+COPS=0,0")),
             0);
    QCOMPARE(std::count(log.begin() + static_cast<std::ptrdiff_t>(registered), log.end(),
                        std::string("AT+COPS=3,0")),
             2);
    phone->onServiceDialog = [&](QDialog& dialog) {
        qobject_cast<servicesui::CQVLNetworkPage*>(&dialog)->Automatic();
        return int(QDialog::Rejected);
    };
    phone->frame->RunCommand(kCmdNetworkSettings);
    QCOMPARE(phone->V()->Text(kStatusLine), QStringLiteral("QVL Mobile"));

    // Call settings: forwarding for voice when busy, set, asked for per class and cleared; call
    // waiting switched on and off, each state asked for.
    phone->onServiceDialog = [&](QDialog& dialog) {
        auto* sheet = qobject_cast<servicesui::CQVLSettingsSheet*>(&dialog);
        servicesui::CQVLCallForwardPage* forward = sheet->ForwardPage();
        forward->Condition()->setCurrentIndex(1);
        forward->Number()->setText(QStringLiteral("+4930555"));
        forward->Register();
        forward->Enable();
        forward->QueryStatus();
        forward->ClassButton(services::ServiceClass::Data)->setChecked(true);
        forward->QueryStatus();
        forward->ClassButton(services::ServiceClass::Voice)->setChecked(true);
        forward->Disable();
        forward->Unregister();
        forward->QueryStatus();
        for (const char* button : {"enable", "query", "disable", "query"}) {
            sheet->WaitingPage()->Button(button)->click();
        }
        return int(QDialog::Rejected);
    };
    phone->boxes.shown.clear();
    phone->frame->RunCommand(kCmdCallSettings);
    const QStringList callSettings = {
        Local(5010),
        Local(5005),
        Local(5035).replace(QStringLiteral("%s"), QStringLiteral("+4930555")),
        Local(5007),
        Local(5007),
        Local(5011),
        Local(5007),
        Local(5005),
        Local(5005),
        Local(5007),
        Local(5007)};
    QStringList shown;
    for (const std::u16string& text : phone->boxes.shown) {
        shown << QString::fromStdU16String(text);
    }
    QCOMPARE(shown, callSettings);

    // Security: the SIM lock toggled (the PIN dialog asks for the PIN), a new PIN and a new
    // PIN2, and the lock off and on again with the new PIN.
    int pinDialogs = 0;
    bool dialerActiveInside = true;
    bool pollSuspendedInside = false;
    phone->onServiceDialog = [&](QDialog& dialog) {
        auto* page = qobject_cast<servicesui::CQVLSecurityPage*>(&dialog);
        {
            DialogDriver driver(QStringLiteral("1234"));
            page->ToggleLock(LockFacility::SimPin);
            pinDialogs += driver.pinDialogs;
        }
        page->CodeSelector()->setCurrentIndex(2);
        page->OldCode()->setText(QStringLiteral("1234"));
        page->NewCode()->setText(QStringLiteral("4826"));
        page->VerifyCode()->setText(QStringLiteral("4826"));
        page->ChangeCode();
        page->CodeSelector()->setCurrentIndex(3);
        page->OldCode()->setText(QStringLiteral("5678"));
        page->NewCode()->setText(QStringLiteral("9317"));
        page->VerifyCode()->setText(QStringLiteral("9317"));
        page->ChangeCode();
        DialogDriver driver(QStringLiteral("4826"));
        page->ToggleLock(LockFacility::SimPin);
        page->ToggleLock(LockFacility::SimPin);
        pinDialogs += driver.pinDialogs;
        // The PIN dialogs opened and closed inside the page: the page's own hold on the dialer
        // and the poll is still in place.
        dialerActiveInside = phone->doc->DialerActive();
        pollSuspendedInside = phone->C().Engine().PollSuspended();
        return int(QDialog::Rejected);
    };
    phone->boxes.shown.clear();
    phone->frame->RunCommand(kCmdSecuritySettings);
    QCOMPARE(pinDialogs, 3);
    QVERIFY(!dialerActiveInside);
    QVERIFY(pollSuspendedInside);
    QVERIFY(phone->doc->DialerActive());
    QVERIFY(!engine.PollSuspended());
    QCOMPARE(phone->boxes.shown.size(), 5u);
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown[1]), Local(5045));
    QCOMPARE(QString::fromStdU16String(phone->boxes.shown[2]), Local(5045));
    QCOMPARE(phone->modem.State().sim.pin, std::string("4826"));
    QCOMPARE(phone->modem.State().sim.pin2, std::string("9317"));
    QVERIFY(phone->modem.State().sim.pinEnabled);
    QCOMPARE(engine.SimPinLock(), 1);
    // Restart Phone still unlocks without asking.
    {
        DialogDriver driver(QStringLiteral("0000"));
        phone->frame->RunCommand(kCmdRestartPhone);
        QCOMPARE(driver.pinDialogs, 0);
    }
    QVERIFY(engine.SimReady());

    // Modem information.
    QStringList info;
    phone->onServiceDialog = [&](QDialog& dialog) {
        auto* page = qobject_cast<servicesui::CQVLModemInfoPage*>(&dialog);
        for (const char* field : {"version", "model", "manufacturer", "imei"}) {
            info << page->Field(field)->text();
        }
        return int(QDialog::Rejected);
    };
    phone->frame->RunCommand(kCmdModemInfo);
    QCOMPARE(info, (QStringList{QStringLiteral("R1.0.0"), QStringLiteral("GSM-SIM 1"),
                                QStringLiteral("QVL Labs"), QStringLiteral("490154203237518")}));
}

QTEST_MAIN(PhoneSimTest)
#include "phone_sim_test.moc"

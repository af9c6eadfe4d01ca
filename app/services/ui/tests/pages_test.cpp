// The network page, the call settings sheet, the security page and the modem information page
// as a user meets them, against the modem simulator on a pseudo-terminal (offscreen), and the
// screenshots of each page in both orientations, in English and German (written into the
// build folder).
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "app/engine/testing/simengine.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"
#include "app/services/ui/networkpage.h"
#include "app/services/ui/securitypage.h"
#include "app/services/ui/settingssheet.h"
#include "base/text.h"
#include "common/controls/qtuiports.h"
#include "common/controls/rkfloatctrl.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

using namespace qvl;
using namespace qvl::servicesui;

namespace {

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

// A running session on the simulator, and what the pages are given.
struct Phone {
    explicit Phone(sim::ModemSeed seed = sim::DefaultSeed()) : session(std::move(seed)) {}
    bool Start() {
        if (!session.Start(&pump)) {
            return false;
        }
        engine = session.engine.get();
        context = std::make_unique<services::ServiceContext>(
            services::ServiceContext{*engine, UiPorts{&boxes, &pump, &progress},
                                     [](int id) { return LoadLocalString(id); }, &session.pin});
        return true;
    }
    QString LastShown() const {
        return boxes.shown.empty() ? QString() : QString::fromStdU16String(boxes.shown.back());
    }
    void OperatorCheck() {
        testing::EnginePeer::ForgetOperatorCheck(*engine);
        engine->ProcessDialer();
    }

    QtMessagePump pump;
    testing::SimEngine session;
    sim::ModemSimulator& modem = session.modem;
    testing::FakePinDialog& pin = session.pin;
    testing::FakeMessageBox boxes;
    RKFloatCtrl progress;
    CPhoneEngine* engine = nullptr;
    std::unique_ptr<services::ServiceContext> context;
};

// Saves a picture of the widget shown at its page shape.
bool Shoot(QWidget& widget, const QString& file) {
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) {
        return false;
    }
    const QImage shot = widget.grab().toImage();
    widget.hide();
    const QDir dir(QStringLiteral(QVL_SCREENSHOT_DIR));
    return !shot.isNull() && QDir().mkpath(dir.path()) && shot.save(dir.filePath(file));
}

}  // namespace

class PagesTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void networkPage();
    void pageTakesNoSecondCommandWhileBusy();
    void forwardPage();
    void waitingPage();
    void lockRows_data();
    void lockRows();
    void securityPage();
    void modemInfoPage();
    void screenshots_data();
    void screenshots();

  private:
    QTemporaryDir m_home;
};

void PagesTest::initTestCase() {
    qputenv("QVL_HOME", m_home.path().toUtf8());
    qputenv("QVL_LOCK_DIR", "");
    SetLanguage(1);
}

void PagesTest::networkPage() {
    Phone phone;
    QVERIFY(phone.Start());
    CQVLNetworkPage page(*phone.context, Orientation::Portrait);
    QCOMPARE(page.CurrentNetwork()->text(), QStringLiteral("QVL Mobile"));
    QVERIFY(!page.RegisterButton()->isEnabled());
    QTest::mouseClick(page.ManualButton(), Qt::LeftButton);
    QCOMPARE(page.List()->count(), 3);
    QCOMPARE(page.List()->item(1)->text(), QStringLiteral("Northnet"));
    // The network the modem is on is the bold one; it moves with a registration and back with
    // Automatic.
    const auto bold = [&] {
        QList<int> rows;
        for (int row = 0; row < page.List()->count(); ++row) {
            if (page.List()->item(row)->font().bold()) {
                rows << row;
            }
        }
        return rows;
    };
    QCOMPARE(bold(), QList<int>{0});
    // The forbidden network cannot be chosen.
    page.List()->setCurrentRow(2);
    QVERIFY(!page.RegisterButton()->isEnabled());
    page.List()->setCurrentRow(1);
    QVERIFY(page.RegisterButton()->isEnabled());
    QTest::mouseClick(page.RegisterButton(), Qt::LeftButton);
    QCOMPARE(page.CurrentNetwork()->text(), QStringLiteral("Northnet"));
    QCOMPARE(bold(), QList<int>{1});
    QCOMPARE(phone.engine->DisplayText(), u"Northnet");
    // The choice stays through the status checks of the dialer.
    phone.OperatorCheck();
    phone.OperatorCheck();
    QCOMPARE(phone.engine->OperatorName(), u"Northnet");
    QTest::mouseClick(page.AutomaticButton(), Qt::LeftButton);
    QCOMPARE(page.CurrentNetwork()->text(), QStringLiteral("QVL Mobile"));
    QCOMPARE(bold(), QList<int>{0});
    QVERIFY(phone.boxes.shown.empty());
    QVERIFY(!phone.progress.Window());
}

void PagesTest::pageTakesNoSecondCommandWhileBusy() {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.behaviour.networkScanMs = 2500;
    Phone phone(seed);
    QVERIFY(phone.Start());
    CQVLNetworkPage page(*phone.context, Orientation::Portrait);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    bool automaticEnabled = true;
    // A tap on Automatic while the search waits for its answer (the wait pumps messages
    // between its reads of 500 ms).
    QTimer::singleShot(1200, &page, [&] {
        automaticEnabled = page.AutomaticButton()->isEnabled();
        QTest::mouseClick(page.AutomaticButton(), Qt::LeftButton);
    });
    const std::size_t before = phone.modem.CommandLog().size();
    page.Manual();
    QVERIFY(!automaticEnabled);
    QCOMPARE(page.List()->count(), 3);
    const auto log = phone.modem.CommandLog();
    QCOMPARE(std::count(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(),
                        std::string("AT+COPS=0,0")),
             0);
    QVERIFY(page.AutomaticButton()->isEnabled());
    QVERIFY(page.ManualButton()->isEnabled());
}

void PagesTest::forwardPage() {
    Phone phone;
    QVERIFY(phone.Start());
    CQVLSettingsSheet sheet(*phone.context, Orientation::Portrait);
    QCOMPARE(sheet.Tabs()->count(), 2);
    QCOMPARE(sheet.Tabs()->widget(0), static_cast<QWidget*>(sheet.WaitingPage()));
    CQVLCallForwardPage* page = sheet.ForwardPage();
    QVERIFY(page->ClassButton(services::ServiceClass::Voice)->isChecked());
    QCOMPARE(page->Timeout()->count(), 6);
    QCOMPARE(page->Timeout()->itemText(3), QStringLiteral("20 sec"));
    // Nothing is sent without a condition.
    QTest::mouseClick(page->Button("enable"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgSelectCondition));
    page->Condition()->setCurrentIndex(1);
    QVERIFY(!page->Timeout()->isEnabled());
    page->Condition()->setCurrentIndex(2);
    QVERIFY(page->Timeout()->isEnabled());
    page->Timeout()->setCurrentIndex(3);
    page->Number()->setText(QStringLiteral("+4930123456"));
    QTest::mouseClick(page->Button("register"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgRegistered));
    QVERIFY(phone.modem.WaitForCommand("AT+CCFC=2,3,\"+4930123456\",145,1,,,20", 1000));
    QTest::mouseClick(page->Button("enable"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgEnabled));
    QTest::mouseClick(page->Button("query"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgDivertedTo)
                                    .replace(QStringLiteral("%s"), QStringLiteral("+4930123456")));
    // Fax has nothing registered for this condition.
    page->ClassButton(services::ServiceClass::Fax)->setChecked(true);
    QTest::mouseClick(page->Button("query"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgDisabled));
    page->ClassButton(services::ServiceClass::Voice)->setChecked(true);
    QTest::mouseClick(page->Button("unregister"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgUnregistered));
    QTest::mouseClick(page->Button("query"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgDisabled));
    // A number with letters is refused before it is sent.
    page->Number()->setText(QStringLiteral("0301 ABC"));
    QTest::mouseClick(page->Button("register"), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgInvalidNumber));
}

void PagesTest::waitingPage() {
    Phone phone;
    QVERIFY(phone.Start());
    CQVLSettingsSheet sheet(*phone.context, Orientation::Landscape);
    CQVLCallWaitingPage* page = sheet.WaitingPage();
    const std::pair<const char*, int> steps[] = {
        {"enable", services::kMsgEnabled},
        {"query", services::kMsgEnabled},
        {"disable", services::kMsgDisabled},
        {"query", services::kMsgDisabled},
    };
    for (const auto& [button, message] : steps) {
        QVERIFY(page->Button(button) != nullptr);
        page->Button(button)->click();
        QCOMPARE(phone.LastShown(), Local(message));
    }
}

void PagesTest::lockRows_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("on") << 1 << services::kMsgEnabled << services::kTextDisable << true;
    QTest::newRow("off") << 0 << services::kMsgDisabled << services::kTextEnable << true;
    QTest::newRow("not known") << -1 << services::kTextError << services::kTextEnable << false;
}

void PagesTest::lockRows() {
    QFETCH(int, state);
    QFETCH(int, status);
    QFETCH(int, button);
    QFETCH(bool, enabled);
    Phone phone;
    QVERIFY(phone.Start());
    phone.engine->SetLockState(LockFacility::Phone, state);
    CQVLSecurityPage page(*phone.context, Orientation::Portrait);
    QCOMPARE(page.LockStatus(LockFacility::Phone)->text(), Local(status));
    QCOMPARE(page.LockButton(LockFacility::Phone)->text(), Local(button));
    QCOMPARE(page.LockButton(LockFacility::Phone)->isEnabled(), enabled);
}

void PagesTest::securityPage() {
    Phone phone;
    QVERIFY(phone.Start());
    CQVLSecurityPage page(*phone.context, Orientation::Portrait);
    QCOMPARE(page.CodeSelector()->currentIndex(), 0);
    // The fields take digits only.
    QTest::keyClicks(page.OldCode(), QStringLiteral("12a3x4"));
    QCOMPARE(page.OldCode()->text(), QStringLiteral("1234"));
    QCOMPARE(page.OldCode()->echoMode(), QLineEdit::Normal);
    page.CodeSelector()->setCurrentIndex(2);
    page.NewCode()->setText(QStringLiteral("48260"));
    page.VerifyCode()->setText(QStringLiteral("48260"));
    QTest::mouseClick(page.ChangeButton(), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgPinLength));
    page.NewCode()->setText(QStringLiteral("4826"));
    page.VerifyCode()->setText(QStringLiteral("4826"));
    QTest::mouseClick(page.ChangeButton(), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgCodeChanged));
    QVERIFY(page.OldCode()->text().isEmpty());
    QCOMPARE(phone.modem.State().sim.pin, std::string("4826"));
    // The SIM lock is on: the toggle switches it off with the new PIN.
    QCOMPARE(page.LockButton(LockFacility::SimPin)->text(), Local(services::kTextDisable));
    phone.pin.Answer(DialogResult::Ok, u"4826");
    QTest::mouseClick(page.LockButton(LockFacility::SimPin), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgCodeLockDone));
    QCOMPARE(page.LockStatus(LockFacility::SimPin)->text(), Local(services::kMsgDisabled));
    QVERIFY(!phone.modem.State().sim.pinEnabled);
    // A wrong code: refused, the row stays.
    phone.pin.Answer(DialogResult::Ok, u"1111");
    QTest::mouseClick(page.LockButton(LockFacility::SimPin), Qt::LeftButton);
    QCOMPARE(phone.LastShown(), Local(services::kMsgCodeLockFailed));
    QCOMPARE(page.LockStatus(LockFacility::SimPin)->text(), Local(services::kMsgDisabled));
    phone.pin.Answer(DialogResult::Ok, u"4826");
    QTest::mouseClick(page.LockButton(LockFacility::SimPin), Qt::LeftButton);
    QCOMPARE(page.LockStatus(LockFacility::SimPin)->text(), Local(services::kMsgEnabled));
    QCOMPARE(testing::EnginePeer::StoredPin(*phone.engine), u"4826");
}

void PagesTest::modemInfoPage() {
    Phone phone;
    QVERIFY(phone.Start());
    CQVLModemInfoPage page(*phone.context, Orientation::Portrait);
    page.Load();
    QCOMPARE(page.Field("version")->text(), QStringLiteral("R1.0.0"));
    QCOMPARE(page.Field("model")->text(), QStringLiteral("GSM-SIM 1"));
    QCOMPARE(page.Field("manufacturer")->text(), QStringLiteral("QVL Labs"));
    QCOMPARE(page.Field("imei")->text(), QStringLiteral("490154203237518"));
    QVERIFY(page.Field("imei")->isReadOnly());
}

void PagesTest::screenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("english portrait") << 1 << false << QStringLiteral("en-portrait");
    QTest::newRow("english landscape") << 1 << true << QStringLiteral("en-landscape");
    QTest::newRow("german portrait") << 2 << false << QStringLiteral("de-portrait");
    QTest::newRow("german landscape") << 2 << true << QStringLiteral("de-landscape");
}

void PagesTest::screenshots() {
    QFETCH(int, language);
    QFETCH(bool, landscape);
    QFETCH(QString, suffix);
    SetLanguage(static_cast<std::uint32_t>(language));
    const Orientation orientation = landscape ? Orientation::Landscape : Orientation::Portrait;
    Phone phone;
    QVERIFY(phone.Start());

    CQVLNetworkPage network(*phone.context, orientation);
    network.Manual();
    network.List()->setCurrentRow(1);
    QVERIFY(Shoot(network, QStringLiteral("network-%1.png").arg(suffix)));

    CQVLSettingsSheet sheet(*phone.context, orientation);
    QVERIFY(Shoot(sheet, QStringLiteral("callwaiting-%1.png").arg(suffix)));
    sheet.Tabs()->setCurrentIndex(1);
    sheet.ForwardPage()->Condition()->setCurrentIndex(2);
    sheet.ForwardPage()->Timeout()->setCurrentIndex(3);
    sheet.ForwardPage()->Number()->setText(QStringLiteral("+4930123456"));
    QVERIFY(Shoot(sheet, QStringLiteral("callforward-%1.png").arg(suffix)));

    CQVLSecurityPage security(*phone.context, orientation);
    security.CodeSelector()->setCurrentIndex(2);
    security.OldCode()->setText(QStringLiteral("1234"));
    QVERIFY(Shoot(security, QStringLiteral("security-%1.png").arg(suffix)));

    CQVLModemInfoPage info(*phone.context, orientation);
    info.Load();
    QVERIFY(Shoot(info, QStringLiteral("modeminfo-%1.png").arg(suffix)));
    SetLanguage(1);
}

QTEST_MAIN(PagesTest)
#include "pages_test.moc"

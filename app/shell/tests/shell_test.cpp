// The frame and the dialer view on real widgets: menu, panes, orientation by the window's
// shape, skins, status reactions; and the screenshots of the dialer written into docs/.
#include <QDir>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/shell/dialerdoc.h"
#if QVL_HAVE_ENGINE
#include "app/shell/dialogs.h"
#endif
#include "app/shell/mainframe.h"
#include "app/shell/skinart.h"
#include "common/lang/lang.h"
#include "platform/devicefs.h"
#include "platform/registry.h"

using namespace qvl;

namespace {

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void titleAndMenuBar();
    void laterCommandsAreDisabled();
    void panesShowOneAtATime();
    void orientationFollowsWindowShape_data();
    void orientationFollowsWindowShape();
    void missingOrBrokenSkinLeavesPlainForm();
    void statusEvents_data();
    void statusEvents();
    void batteryBlinksOnlyAtLevelFive();
    void statusReportTextIsFilledLiterally();
    void keypadButtonsReportTheirIds();
    void ringerPageListsAndStoresRings();
    void screenshots_data();
    void screenshots();

  private:
    QTemporaryDir m_home;
};

class RecordingMessages : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        shown.push_back(std::u16string(text));
        return MsgAnswer::Ok;
    }
    std::vector<std::u16string> shown;
};

void ShellTest::initTestCase() {
    qputenv("QVL_HOME", m_home.path().toUtf8());
    SetLanguage(1);
    QVERIFY(InstallSkinArtwork(DefaultSkinFolder()) > 0);
}

void ShellTest::titleAndMenuBar() {
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    QCOMPARE(frame.windowTitle(), QStringLiteral("QVL SMS/Phone"));
    QVERIFY(frame.CommandAction(kCmdRestartPhone) != nullptr);
    QCOMPARE(frame.CommandAction(kCmdExit)->text(), QStringLiteral("&Exit"));
    SetLanguage(2);
    frame.BuildMenuBar();
    QCOMPARE(frame.CommandAction(kCmdExit)->text(), QStringLiteral("&Beenden"));
    SetLanguage(1);
}

void ShellTest::laterCommandsAreDisabled() {
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    for (int command : {int(kCmdPhone), int(kCmdSms), int(kCmdExit), int(kCmdSkinImage)}) {
        QVERIFY2(frame.CommandAction(command)->isEnabled(), qPrintable(QString::number(command)));
    }
    for (int command : {int(kCmdCallSettings), int(kCmdSecuritySettings), int(kCmdManageFolders),
                        int(kCmdTemplates), int(kCmdMmsSettings), int(kCmdModemInfo)}) {
        QVERIFY2(!frame.CommandAction(command)->isEnabled(), qPrintable(QString::number(command)));
    }
}

void ShellTest::panesShowOneAtATime() {
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    frame.show();
    frame.RunCommand(kCmdSms);
    QVERIFY(!frame.DialerView()->isVisible());
    QVERIFY(frame.MessageView()->isVisible());
    QVERIFY(!doc.DialerActive());
    frame.RunCommand(kCmdPhone);
    QVERIFY(frame.DialerView()->isVisible());
    QVERIFY(!frame.MessageView()->isVisible());
    QVERIFY(doc.DialerActive());
}

void ShellTest::orientationFollowsWindowShape_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("scale");
    QTest::newRow("portrait 240x320") << QSize(240, 320) << int(Orientation::Portrait) << 1;
    QTest::newRow("landscape 320x240") << QSize(320, 240) << int(Orientation::Landscape) << 1;
    QTest::newRow("portrait 480x640") << QSize(480, 640) << int(Orientation::Portrait) << 2;
    QTest::newRow("landscape 640x480") << QSize(640, 480) << int(Orientation::Landscape) << 2;
    QTest::newRow("square counts as portrait")
        << QSize(300, 300) << int(Orientation::Portrait) << 1;
}

void ShellTest::orientationFollowsWindowShape() {
    QFETCH(QSize, size);
    QFETCH(int, orientation);
    QFETCH(int, scale);
    CQVLDialerView view;
    view.SetSkinPaths(DefaultSkinFolder() + QStringLiteral("/dialer.bmp"),
                      DefaultSkinFolder() + QStringLiteral("/dialer270.bmp"));
    view.resize(size);
    view.show();
    QCOMPARE(int(view.CurrentOrientation()), orientation);
    QCOMPARE(DisplayScale(), scale);
    QVERIFY(view.HasSkin());
    // Every keypad button lies inside the view.
    for (int b = 1; b <= kDialerButtonCount; ++b) {
        QVERIFY(view.rect().contains(view.Button(b)->geometry()));
    }
}

void ShellTest::missingOrBrokenSkinLeavesPlainForm() {
    QTemporaryDir dir;
    QFile broken(dir.filePath(QStringLiteral("broken.bmp")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("BM this is not a bitmap");
    broken.close();
    CQVLDialerView view;
    view.resize(240, 320);
    view.SetSkinPaths(dir.filePath(QStringLiteral("missing.bmp")), broken.fileName());
    QVERIFY(!view.HasSkin());
    view.resize(320, 240);
    view.CheckOrientation();
    QVERIFY(!view.HasSkin());
    QCOMPARE(view.grab().toImage().pixelColor(1, 30), QColor(Qt::white));
}

void ShellTest::statusEvents_data() {
    QTest::addColumn<int>("event");
    QTest::addColumn<qint64>("arg");
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<int>("messages");
    QTest::newRow("searching") << int(DialerEvent::Searching) << qint64(0)
                               << QStringLiteral("Searching (SOS Only)") << 0;
    QTest::newRow("operator") << int(DialerEvent::Operator) << qint64(0)
                              << QStringLiteral("Quorvel Net") << 0;
    QTest::newRow("no SIM") << int(DialerEvent::NoSim) << qint64(0)
                            << QStringLiteral("No SIM - SOS only") << 0;
    QTest::newRow("SIM blocked") << int(DialerEvent::SimBlocked) << qint64(0)
                                 << QStringLiteral("SIM Blocked - SOS calls only") << 1;
    QTest::newRow("PIN canceled") << int(DialerEvent::PinCanceled) << qint64(0)
                                  << QStringLiteral("PIN entry canceled - SOS calls only") << 1;
}

void ShellTest::statusEvents() {
    QFETCH(int, event);
    QFETCH(qint64, arg);
    QFETCH(QString, statusLine);
    QFETCH(int, messages);
    CQVLDialerView view;
    RecordingMessages boxes;
    view.SetMessagePort(&boxes);
    QVERIFY(view.HandleStatusEvent({static_cast<DialerEvent>(event), arg, {}}, u"Quorvel Net"));
    QCOMPARE(view.Text(kStatusLine), statusLine);
    QCOMPARE(int(boxes.shown.size()), messages);
}

void ShellTest::batteryBlinksOnlyAtLevelFive() {
    CQVLDialerView view;
    view.HandleStatusEvent({DialerEvent::Battery, 5, {}}, u"");
    QVERIFY(view.BatteryBlinking());
    const int before = view.BatteryImage();
    QTRY_VERIFY_WITH_TIMEOUT(view.BatteryImage() != before, 2000);
    view.HandleStatusEvent({DialerEvent::Battery, 3, {}}, u"");
    QVERIFY(!view.BatteryBlinking());
    QCOMPARE(view.BatteryImage(), 3);
    // The optional indicators follow 0/1.
    view.HandleStatusEvent({DialerEvent::Roaming, 1, {}}, u"");
    QVERIFY(view.IndicatorShown(StatusIcon::Roaming));
    view.HandleStatusEvent({DialerEvent::Roaming, 0, {}}, u"");
    QVERIFY(!view.IndicatorShown(StatusIcon::Roaming));
    view.HandleStatusEvent({DialerEvent::NewSms, 3, {}}, u"");
    view.HandleStatusEvent({DialerEvent::NewSms, 4, {}}, u"");
    QCOMPARE(view.UnreadCount(), 2);
    QVERIFY(view.IndicatorShown(StatusIcon::NewMessage));
}

void ShellTest::statusReportTextIsFilledLiterally() {
    CQVLDialerView view;
    RecordingMessages boxes;
    view.SetMessagePort(&boxes);
    StatusReportRecord record{u"+49%s%d", u"", u"24/01/02 10:00", 0};
    view.HandleStatusEvent({DialerEvent::StatusReport, 0, record}, u"");
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(QString::fromStdU16String(boxes.shown[0]),
             QStringLiteral("Message delivered to +49%s%d, at 24/01/02 10:00"));
    record.status = 7;
    view.HandleStatusEvent({DialerEvent::StatusReport, 0, record}, u"");
    QCOMPARE(QString::fromStdU16String(boxes.shown[1]),
             QStringLiteral("Error in message delivery"));
}

void ShellTest::keypadButtonsReportTheirIds() {
    CQVLDialerView view;
    view.resize(240, 320);
    view.show();
    QSignalSpy spy(&view, &CQVLDialerView::ButtonClicked);
    RKButton* five = view.Button(kKey5);
    QTest::mouseClick(five, Qt::LeftButton, {}, five->rect().center());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), int(kKey5));
}

void ShellTest::ringerPageListsAndStoresRings() {
#if QVL_HAVE_ENGINE
    const QString windows =
        QString::fromStdString(DevicePath(u"\\windows\\x")).section(QLatin1Char('/'), 0, -2);
    QDir().mkpath(windows);
    const RegKey ringer = RegKey::Open(
        RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Ringer", RegOpen::Create);
    // No tone at all: both lists are empty and "Change" stores an empty name.
    {
        CQVLRingerPage page(nullptr, false, {});
        QCOMPARE(page.VoiceSelector()->count(), 0);
        page.ChangeVoice();
        QCOMPARE(ringer.ReadString(u"VoiceRing").value_or(u"?"), std::u16string());
    }
    for (const char* name : {"beep.wav", "Alarm.WAV", "chime.wav", "notes.txt"}) {
        QFile f(windows + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    ringer.WriteString(u"VoiceRing", u"chime.wav");
    ringer.WriteString(u"SMSRing", u"CHIME.wav");  // no exact match: the first stays selected
    QStringList played;
    CQVLRingerPage page(nullptr, true, [&](const QString& n) { played << n; });
    QCOMPARE(page.VoiceSelector()->count(), 3);
    QCOMPARE(page.VoiceSelector()->currentText(), QStringLiteral("chime.wav"));
    QCOMPARE(page.SmsSelector()->currentIndex(), 0);
    QVERIFY(page.width() > page.height());
    page.SmsSelector()->setCurrentIndex(1);
    page.ChangeSms();
    const QString chosen = page.SmsSelector()->currentText();
    page.reject();
    // "Change" wrote at once; closing writes nothing more.
    QCOMPARE(QString::fromStdU16String(ringer.ReadString(u"SMSRing").value_or(u"")), chosen);
    QCOMPARE(ringer.ReadString(u"VoiceRing").value_or(u""), std::u16string(u"chime.wav"));
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::screenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("file");
    QTest::newRow("english portrait")
        << 1 << QSize(240, 320) << QStringLiteral("dialer-en-portrait.png");
    QTest::newRow("english landscape")
        << 1 << QSize(320, 240) << QStringLiteral("dialer-en-landscape.png");
    QTest::newRow("german portrait")
        << 2 << QSize(240, 320) << QStringLiteral("dialer-de-portrait.png");
    QTest::newRow("german landscape")
        << 2 << QSize(320, 240) << QStringLiteral("dialer-de-landscape.png");
    QTest::newRow("english portrait, scale 2")
        << 1 << QSize(480, 640) << QStringLiteral("dialer-en-portrait@2x.png");
}

void ShellTest::screenshots() {
    QFETCH(int, language);
    QFETCH(QSize, size);
    QFETCH(QString, file);
    SetLanguage(language);
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    frame.DialerView()->RetranslateControls();
    frame.resize(size.width(), size.height() + frame.menuBar()->sizeHint().height());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    CQVLDialerView* view = frame.DialerView();
    QCOMPARE(view->size(), size);
    view->HandleStatusEvent({DialerEvent::Operator, 0, {}}, u"Quorvel Net");
    view->HandleStatusEvent({DialerEvent::Signal, 3, {}}, u"");
    view->HandleStatusEvent({DialerEvent::Battery, 4, {}}, u"");
    view->HandleStatusEvent({DialerEvent::Volume, 3, {}}, u"");
    view->HandleStatusEvent({DialerEvent::GprsAttach, 1, {}}, u"");
    view->HandleStatusEvent({DialerEvent::NewSms, 1, {}}, u"");
    view->SetText(kNameLine, QStringLiteral("<-") + QStringLiteral("+49301234567"));
    view->SetText(kCallStateLine, QString::fromStdU16String(LoadLocalString(5096)));
    view->SetText(kTimerLine, QStringLiteral("00:01:42"));
    view->SetText(kNumberField, QStringLiteral("+49301234567"));
    view->ShowCallOptionsButton(true);
    const QImage shot = frame.grab().toImage();
    QVERIFY(!shot.isNull());
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    QVERIFY(shot.save(QDir(QStringLiteral(QVL_SCREENSHOT_DIR)).filePath(file)));
    SetLanguage(1);
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"

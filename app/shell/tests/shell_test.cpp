// The frame and the dialer view on real widgets: menu, panes, orientation by the window's
// shape, skins, status reactions, the message view in the frame and the commands that reach
// it; and the screenshots of the dialer and the message screens, written into the build folder
// (scripts/screenshots.sh copies them into docs/screenshots).
#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/shell/dialerdoc.h"
#if QVL_HAVE_ENGINE
#include "app/engine/testing/fakes.h"
#include "app/shell/dialercontroller.h"
#include "app/shell/dialogs.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/readdialog.h"
#include "app/sms/ui/smsnewview.h"
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
    void commandBarAndAboutBox();
    void panesShowOneAtATime();
    void orientationFollowsWindowShape_data();
    void orientationFollowsWindowShape();
    void missingOrBrokenSkinLeavesPlainForm();
    void statusEvents_data();
    void statusEvents();
    void batteryBlinksOnlyAtLevelFive();
    void noBatteryShowsSteadyMains();
    void modemTextsSpeakToAComputerUser_data();
    void modemTextsSpeakToAComputerUser();
    void statusReportTextIsFilledLiterally();
    void keypadButtonsReportTheirIds();
    void ringerPageListsAndStoresRings();
    void screenshots_data();
    void screenshots();
    void messageViewTakesTheMessageRow();
    void messageCommandsOpenTheirScreens_data();
    void messageCommandsOpenTheirScreens();
    void nestedSettingsDialogsKeepTheRuleUntilTheOuterCloses();
    void contactsSmsRequestOpensCompose_data();
    void contactsSmsRequestOpensCompose();
    void busMessagesAreAnsweredAtOnce();
    void messageScreenshots_data();
    void messageScreenshots();
    void unusableDataFolderIsNamedOnce();
    void dialogsFollowTheDialerScale();
    void landscapeKeepsTheKeysProportions_data();
    void landscapeKeepsTheKeysProportions();
    void newMessageFromTheMessagePane();
    void messageListAndReadDialogFitTheWindow_data();
    void messageListAndReadDialogFitTheWindow();
    void sessionStartListsSerialDevicesAgain_data();
    void sessionStartListsSerialDevicesAgain();

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
#if QVL_HAVE_ENGINE
    // The message screens' commands work once the message view is in the frame, and so do the
    // network, call, security and MMS settings and the modem information.
    for (int command : {int(kCmdSmsSettings), int(kCmdManageFolders), int(kCmdTemplates),
                        int(kCmdNetworkSettings), int(kCmdCallSettings), int(kCmdSecuritySettings),
                        int(kCmdModemInfo), int(kCmdMmsSettings)}) {
        QVERIFY2(frame.CommandAction(command)->isEnabled(), qPrintable(QString::number(command)));
    }
#endif
}

// The command bar's tool texts, each tied to what it opens; the companion product's chooser and
// the device's address book only when they are there; the about box names program and version.
void ShellTest::commandBarAndAboutBox() {
    QTemporaryDir companion;
    {
        CQVLDialerDoc doc;
        CMainFrame frame(&doc);
        QVERIFY(frame.CommandAction(kCmdAbout)->isEnabled());
        QVERIFY(CMainFrame::AboutText().startsWith(QStringLiteral("QVL SMS/Phone 0.")));
        QVERIFY(CMainFrame::AboutText().contains(QStringLiteral("GSM modem")));
        const std::vector<std::pair<int, int>> bar = {
            {kCmdPhone, 5085},     {kCmdSms, 5086},         {kCmdCallVoiceMail, 5091},
            {kCmdSpeedDial, 5090}, {kCmdAddressBook, 5089}, {kCmdAssistant, 5087}};
        for (const auto& [command, text] : bar) {
            QAction* a = frame.CommandBarAction(command);
            QVERIFY2(a != nullptr, qPrintable(QString::number(command)));
            QCOMPARE(a->toolTip(), QString::fromStdU16String(LoadLocalString(text)));
        }
        QVERIFY(frame.CommandBarAction(kCmdPhone)->isEnabled());
        // Neither the companion product nor an address book is installed here.
        QVERIFY(!frame.CommandBarAction(kCmdAssistant)->isEnabled());
        QVERIFY(!frame.CommandBarAction(kCmdAddressBook)->isEnabled());
        QVERIFY(CMainFrame::CommandBarProgram(kCmdAssistant).empty());
        frame.show();
        frame.RunCommand(kCmdSms);
        frame.CommandBarAction(kCmdPhone)->trigger();
        QCOMPARE(frame.ActivePane(), 0);
        frame.CommandBarAction(kCmdSms)->trigger();
        QCOMPARE(frame.ActivePane(), 1);
    }
    // The companion product's install folder holds its chooser: the button starts it.
    const QString marker = companion.path() + QStringLiteral("/ran");
    QFile chooser(companion.path() + QStringLiteral("/chooser"));
    QVERIFY(chooser.open(QIODevice::WriteOnly));
    chooser.write(QStringLiteral("#!/bin/sh\necho \"$#\" > '%1'\n").arg(marker).toUtf8());
    chooser.close();
    QVERIFY(chooser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Apps\\Quorvel Mobile Internet", RegOpen::Create)
        .WriteString(u"InstlDir", companion.path().toStdU16String());
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    QVERIFY(frame.CommandBarAction(kCmdAssistant)->isEnabled());
    frame.CommandBarAction(kCmdAssistant)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 60000);
    RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Apps\\Quorvel Mobile Internet");
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
    QTRY_VERIFY_WITH_TIMEOUT(view.BatteryImage() != before, 20000);  // generous for a busy machine
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

void ShellTest::noBatteryShowsSteadyMains() {
    CQVLDialerView view;
    view.SetBattery(5, false);
    QVERIFY(!view.BatteryBlinking());
    QCOMPARE(view.BatteryImage(), kMainsImage);  // and no timer is there to step it
    // A battery that charges still steps through its images.
    view.SetBattery(5, true);
    QVERIFY(view.BatteryBlinking());
}

void ShellTest::modemTextsSpeakToAComputerUser_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("check");  // a word of the Linux advice in that language
    QTest::newRow("English") << 1 << QStringLiteral("unplug");
    QTest::newRow("German") << 2 << QStringLiteral("Modem ab");
    QTest::newRow("Italian") << 3 << QStringLiteral("Scollegare");
    QTest::newRow("Spanish") << 4 << QStringLiteral("Desconecte");
    QTest::newRow("French") << 5 << QStringLiteral("Débranchez");
}

void ShellTest::modemTextsSpeakToAComputerUser() {
    QFETCH(int, language);
    QFETCH(QString, check);
    SetLanguage(language);
    for (int id : {5258, 5259}) {
        const QString text = QString::fromStdU16String(LoadLocalString(id));
        QVERIFY2(text.contains(check), qPrintable(text));
        // Nothing a computer does not have: a CF card or a device reset.
        QVERIFY2(!text.contains(QStringLiteral("CF")), qPrintable(text));
    }
    SetLanguage(1);
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

#if QVL_HAVE_ENGINE
namespace {

// A frame whose controller shows no message box and no modal dialog of its own: questions are
// answered from `answer`, the message screens' dialogs are recorded (class name, and the
// settings-dialog flags while open) and handed to `onDialog`.
struct MessageFrame {
    MessageFrame() {
        services.messages = &boxes;
        services.messenger = &messenger;
        services.publishWindow = false;
        services.runMessageDialog = [this](QDialog& dialog) {
            opened << QString::fromLatin1(dialog.metaObject()->className());
            dialerActiveWhileOpen = doc->DialerActive();
            pollSuspendedWhileOpen = doc->Controller()->Engine().PollSuspended();
            return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
        };
        doc = std::make_unique<CQVLDialerDoc>(&services);
        frame = std::make_unique<CMainFrame>(doc.get());
    }
    smsui::CQVLSMSNewView* View() const {
        return qobject_cast<smsui::CQVLSMSNewView*>(frame->MessageView());
    }

    testing::FakeMessageBox boxes;
    testing::FakeWindowMessenger messenger;
    DialerServices services;
    QStringList opened;
    bool dialerActiveWhileOpen = true;
    bool pollSuspendedWhileOpen = false;
    std::function<int(QDialog&)> onDialog;
    std::unique_ptr<CQVLDialerDoc> doc;
    std::unique_ptr<CMainFrame> frame;
};

void PutMessages(const std::vector<sms::SmsRecord>& records) {
    sms::CRecordStore store;
    store.Load(sms::SmsStorePath());
    for (const auto& r : records) {
        store.Append(r);
    }
    QVERIFY(store.Save(sms::SmsStorePath()));
}

sms::SmsRecord Sms(std::int32_t folder, std::u16string number, std::u16string text,
                   std::u16string time) {
    sms::SmsRecord r;
    r.folder = folder;
    r.number = std::move(number);
    r.text = std::move(text);
    r.time = std::move(time);
    return r;
}

void ClearMessages() {
    QFile::remove(QString::fromStdString(sms::SmsStorePath()));
}

}  // namespace
#endif

void ShellTest::messageViewTakesTheMessageRow() {
#if QVL_HAVE_ENGINE
    MessageFrame f;
    f.frame->show();
    QVERIFY(f.View() != nullptr);
    QVERIFY(f.frame->findChild<QLabel*>(QStringLiteral("MessagePlaceholder")) == nullptr);
    QCOMPARE(f.View()->parentWidget(), f.frame->centralWidget());
    QVERIFY(!f.View()->isVisible());
    f.frame->CommandAction(kCmdSms)->trigger();
    QCOMPARE(f.frame->ActivePane(), 1);
    QVERIFY(f.View()->isVisible());
    QVERIFY(!f.frame->DialerView()->isVisible());
    f.frame->CommandAction(kCmdPhone)->trigger();
    QCOMPARE(f.frame->ActivePane(), 0);
    QVERIFY(!f.View()->isVisible());
    QVERIFY(f.frame->DialerView()->isVisible());
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::messageCommandsOpenTheirScreens_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<bool>("settingsRule");
    QTest::newRow("SMS Settings") << int(kCmdSmsSettings) << int(MsgAnswer::Ok)
                                  << QStringLiteral("qvl::smsui::CQVLSmsSettingsPage") << true;
    QTest::newRow("MMS Settings") << int(kCmdMmsSettings) << int(MsgAnswer::Ok)
                                  << QStringLiteral("qvl::mmsui::CQVLMmsSettingsPage") << true;
    QTest::newRow("Manage Folders") << int(kCmdManageFolders) << int(MsgAnswer::Ok)
                                    << QStringLiteral("qvl::smsui::CQVLFoldersDialog") << false;
    QTest::newRow("Templates") << int(kCmdTemplates) << int(MsgAnswer::Ok)
                               << QStringLiteral("qvl::smsui::CQVLTemplatesDialog") << false;
    QTest::newRow("Call Voice Mail without a number, Yes")
        << int(kCmdCallVoiceMail) << int(MsgAnswer::Yes)
        << QStringLiteral("qvl::smsui::CQVLSmsSettingsPage") << true;
    QTest::newRow("Call Voice Mail without a number, No")
        << int(kCmdCallVoiceMail) << int(MsgAnswer::No) << QString() << false;
}

void ShellTest::messageCommandsOpenTheirScreens() {
#if QVL_HAVE_ENGINE
    QFETCH(int, command);
    QFETCH(int, answer);
    QFETCH(QString, dialog);
    QFETCH(bool, settingsRule);
    MessageFrame f;
    f.boxes.answer = MsgAnswer(answer);
    f.frame->show();
    f.doc->SetDialerActive(true);
    f.frame->RunCommand(command);
    QCOMPARE(f.opened, dialog.isEmpty() ? QStringList() : QStringList{dialog});
    if (settingsRule) {
        QVERIFY(!f.dialerActiveWhileOpen);
        QVERIFY(f.pollSuspendedWhileOpen);
    }
    // Afterwards the dialer is active again and the poll runs.
    QCOMPARE(f.frame->ActivePane(), 0);
    QVERIFY(f.doc->DialerActive());
    QCOMPARE(f.doc->Controller()->Engine().PollSuspended(), false);
#else
    QSKIP("built without the engine");
#endif
}

// A dialog opened from a settings dialog (a file chooser, a second page) closes first; the
// outer dialog is still open and still talks to the modem, so the poll stays suspended and the
// dialer inactive until it closes too.
void ShellTest::nestedSettingsDialogsKeepTheRuleUntilTheOuterCloses() {
#if QVL_HAVE_ENGINE
    MessageFrame f;
    f.frame->show();
    f.doc->SetDialerActive(true);
    CPhoneEngine& engine = f.doc->Controller()->Engine();
    bool suspendedAfterInner = false;
    bool activeAfterInner = true;
    f.frame->RunSettingsDialog([&] {
        f.frame->RunSettingsDialog([] { return 0; });
        suspendedAfterInner = engine.PollSuspended();
        activeAfterInner = f.doc->DialerActive();
        return 0;
    });
    QVERIFY(suspendedAfterInner);
    QVERIFY(!activeAfterInner);
    QVERIFY(!engine.PollSuspended());
    QVERIFY(f.doc->DialerActive());
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::contactsSmsRequestOpensCompose_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("asked");
    QTest::newRow("Yes: compose to the number without blanks and parentheses")
        << int(MsgAnswer::Yes) << QStringLiteral("(0170) 123 4567") << QString()
        << QStringLiteral("01701234567") << true;
    QTest::newRow("No: nothing opens")
        << int(MsgAnswer::No) << QStringLiteral("+4930123") << QString() << QString() << true;
    QTest::newRow("an sms: link's text is filled in, dashes go")
        << int(MsgAnswer::Yes) << QStringLiteral("+49-30-123") << QStringLiteral("Hi there")
        << QStringLiteral("+4930123") << true;
    QTest::newRow("a line break in the number: nothing is asked")
        << int(MsgAnswer::Yes) << QStringLiteral("0170\r\nAT+CMGD=1,4") << QStringLiteral("x")
        << QString() << false;
}

void ShellTest::contactsSmsRequestOpensCompose() {
#if QVL_HAVE_ENGINE
    QFETCH(int, answer);
    QFETCH(QString, stored);
    QFETCH(QString, body);
    QFETCH(QString, to);
    QFETCH(bool, asked);
    MessageFrame f;
    f.boxes.answer = MsgAnswer(answer);
    QString composedTo;
    QString composedText;
    f.onDialog = [&](QDialog& dialog) {
        if (auto* compose = qobject_cast<smsui::CQVLComposeView*>(&dialog)) {
            composedTo = compose->To()->text();
            composedText = compose->Text()->toPlainText();
        }
        return int(QDialog::Rejected);
    };
    f.frame->show();
    const RegKey dialer =
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create);
    dialer.WriteString(u"Number", stored.toStdU16String());
    if (!body.isEmpty()) {
        dialer.WriteString(u"Body", body.toStdU16String());
    }
    QCOMPARE(f.doc->Controller()->OnWindowMessage(0x0400 + 100, 2, 0), 1);
    // The text is taken once.
    QVERIFY(!dialer.ReadString(u"Body").has_value());
    if (!asked) {
        QVERIFY(f.boxes.shown.empty());
        QVERIFY(f.opened.isEmpty());
        return;
    }
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    const QString number = QString(stored).remove(QRegularExpression(QStringLiteral("[ ()\\-.]")));
    QCOMPARE(QString::fromStdU16String(f.boxes.shown.front()),
             QString::fromStdU16String(LoadLocalString(5102)) + number + QStringLiteral("> ?"));
    QCOMPARE(composedText, body);
    if (to.isEmpty()) {
        QVERIFY(f.opened.isEmpty());
        QCOMPARE(f.frame->ActivePane(), 0);
    } else {
        QCOMPARE(f.opened, QStringList{QStringLiteral("qvl::smsui::CQVLComposeView")});
        QCOMPARE(composedTo, to);
        QCOMPARE(f.frame->ActivePane(), 1);
    }
#else
    QSKIP("built without the engine");
#endif
}

// The Today item and the Contacts command post their requests; the phone answers the bus at once
// and asks, dials or reads the phone from its own queue afterwards.
void ShellTest::busMessagesAreAnsweredAtOnce() {
#if QVL_HAVE_ENGINE
    MessageFrame f;
    f.boxes.answer = MsgAnswer::No;
    f.frame->show();
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create)
        .WriteString(u"Number", u"030 123");
    QCOMPARE(f.doc->Controller()->QueueWindowMessage(0x0400 + 100, 1, 0), 1);
    QVERIFY(f.boxes.shown.empty());
    QTRY_COMPARE(f.boxes.shown.size(), std::size_t(1));
    QCOMPARE(QString::fromStdU16String(f.boxes.shown.front()),
             QString::fromStdU16String(LoadLocalString(5100)) + QStringLiteral("030123> ?"));
    QCOMPARE(f.frame->ActivePane(), 0);
    QCOMPARE(f.doc->Controller()->QueueWindowMessage(0x0400 + 200, 0, 0), 1);
    QCOMPARE(f.frame->ActivePane(), 0);
    QTRY_COMPARE(f.frame->ActivePane(), 1);
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::messageScreenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("listFile");
    QTest::addColumn<QString>("composeFile");
    QTest::newRow("english portrait") << 1 << QStringLiteral("messages-en-portrait.png")
                                      << QStringLiteral("compose-en-portrait.png");
    QTest::newRow("german portrait") << 2 << QStringLiteral("messages-de-portrait.png")
                                     << QStringLiteral("compose-de-portrait.png");
}

void ShellTest::messageScreenshots() {
#if QVL_HAVE_ENGINE
    QFETCH(int, language);
    QFETCH(QString, listFile);
    QFETCH(QString, composeFile);
    SetLanguage(language);
    ClearMessages();
    PutMessages({
        Sms(sms::kFolderInRead, u"+4930123456", u"See you at the station at 6?",
            u"05/11/26,17:42:00,GMT+1"),
        Sms(sms::kFolderInRead, u"+491701234567", u"Thanks, got it!", u"05/11/26,18:03:00,GMT+1"),
        Sms(sms::kFolderInRead, u"+4989765432", u"The meeting moved to Tuesday, 10:00.",
            u"06/11/26,09:15:00,GMT+1"),
        Sms(sms::kFolderInRead, u"+4940112233", u"Happy birthday!", u"07/11/26,08:00:00,GMT+1"),
    });
    MessageFrame f;
    const QSize size(240, 320);
    f.frame->resize(size.width(), size.height() + f.frame->menuBar()->sizeHint().height());
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    f.frame->RunCommand(kCmdSms);
    QVERIFY(f.View()->ShowFolder(sms::kFolderInRead));
    QCOMPARE(f.View()->Model()->rowCount(), 4);
    f.View()->SelectRow(1);
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    const QDir dir(QStringLiteral(QVL_SCREENSHOT_DIR));
    const QImage list = f.frame->grab().toImage();
    QVERIFY(!list.isNull());
    QVERIFY(list.save(dir.filePath(listFile)));

    QImage compose;
    f.onDialog = [&](QDialog& dialog) {
        auto* view = qobject_cast<smsui::CQVLComposeView*>(&dialog);
        if (view != nullptr) {
            view->SetText(QStringLiteral("On my way, see you in ten minutes."));
            dialog.resize(size);
            dialog.show();
            if (QTest::qWaitForWindowExposed(&dialog)) {
                compose = dialog.grab().toImage();
            }
            dialog.hide();
        }
        return int(QDialog::Rejected);
    };
    f.View()->NewMessage(QStringLiteral("+4930123456"));
    QVERIFY(!compose.isNull());
    QVERIFY(compose.save(dir.filePath(composeFile)));

    // The read screen, inside the window's width.
    QImage read;
    f.onDialog = [&](QDialog& dialog) {
        if (qobject_cast<smsui::CQVLReadDialog*>(&dialog) != nullptr) {
            dialog.resize(size.width(), size.height());
            dialog.show();
            if (QTest::qWaitForWindowExposed(&dialog)) {
                read = dialog.grab().toImage();
            }
            dialog.hide();
        }
        return int(QDialog::Rejected);
    };
    QVERIFY(f.View()->SelectRow(2));
    f.View()->OpenSelected();
    QVERIFY(!read.isNull());
    QVERIFY(read.save(dir.filePath(
        QString(composeFile).replace(QStringLiteral("compose"), QStringLiteral("read")))));
    ClearMessages();
    SetLanguage(1);
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::unusableDataFolderIsNamedOnce() {
#if QVL_HAVE_ENGINE
    MessageFrame f;
    f.doc->Controller()->ReportDeviceRootProblem();
    QVERIFY(f.boxes.shown.empty());  // a usable folder: nothing to say
    // A folder below a regular file cannot be made, not even by the superuser.
    QFile plain(m_home.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QByteArray good = qgetenv("QVL_HOME");
    const QString bad = plain.fileName() + QStringLiteral("/phone");
    qputenv("QVL_HOME", bad.toUtf8());
    f.doc->Controller()->ReportDeviceRootProblem();
    qputenv("QVL_HOME", good);
    QCOMPARE(f.boxes.shown.size(), std::size_t(1));
    const QString text = QString::fromStdU16String(f.boxes.shown[0]);
    QVERIFY2(text.contains(bad), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("QVL_HOME")), qPrintable(text));
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::dialogsFollowTheDialerScale() {
    CQVLDialerDoc doc;
    CMainFrame frame(&doc);
    frame.resize(240, 340);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(DisplayScale(), 1);
    const qreal base = QApplication::font().pointSizeF();
    const int menuAtOne = frame.menuBar()->sizeHint().height();
    frame.resize(480, 700);
    QTRY_COMPARE(DisplayScale(), 2);
    QCOMPARE(QApplication::font().pointSizeF(), 2 * base);
    QTRY_VERIFY(frame.menuBar()->sizeHint().height() > menuAtOne);
    // A message box made now takes the doubled font.
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("text"));
    QCOMPARE(box.font().pointSizeF(), 2 * base);
    frame.resize(240, 340);
    QTRY_COMPARE(DisplayScale(), 1);
    QCOMPARE(QApplication::font().pointSizeF(), base);
}

void ShellTest::landscapeKeepsTheKeysProportions_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("wide window") << QSize(900, 300);
    QTest::newRow("nearly square") << QSize(500, 460);
    QTest::newRow("skin's own shape") << QSize(320, 240);
}

void ShellTest::landscapeKeepsTheKeysProportions() {
    QFETCH(QSize, size);
    CQVLDialerView view;
    view.resize(size);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.CurrentOrientation(), Orientation::Landscape);
    const QRect design = LayoutFor(Orientation::Landscape).buttons[kKey5 - 1];
    const QRect shown = view.Button(kKey5)->geometry();
    const double designRatio = double(design.width()) / design.height();
    const double shownRatio = double(shown.width()) / shown.height();
    QVERIFY2(std::abs(shownRatio / designRatio - 1.0) < 0.05,
             qPrintable(QStringLiteral("%1 vs %2").arg(shownRatio).arg(designRatio)));
    QVERIFY(view.rect().contains(shown));
}

void ShellTest::newMessageFromTheMessagePane() {
#if QVL_HAVE_ENGINE
    MessageFrame f;
    f.frame->show();
    f.frame->RunCommand(kCmdSms);
    QToolButton* button = f.View()->NewButton();
    QVERIFY(button != nullptr && button->isVisible());
    QCOMPARE(button->text(), QString::fromStdU16String(LoadLocalString(65000)));
    f.opened.clear();
    button->click();
    QCOMPARE(f.opened, QStringList{QStringLiteral("qvl::smsui::CQVLComposeView")});
    // The pane's menu offers it too, first.
    QMenu menu;
    f.View()->BuildPaneMenu(menu);
    QVERIFY(!menu.actions().isEmpty());
    QCOMPARE(menu.actions().first()->data().toInt(), 65000);
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::messageListAndReadDialogFitTheWindow_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("portrait 240") << QSize(240, 320);
    QTest::newRow("portrait 480 at scale 1") << QSize(480, 560);
}

void ShellTest::messageListAndReadDialogFitTheWindow() {
#if QVL_HAVE_ENGINE
    QFETCH(QSize, size);
    ClearMessages();
    PutMessages({
        Sms(sms::kFolderInRead, u"+491701234567", u"Thanks, got it!", u"05/11/26,18:03:00,GMT+1"),
        Sms(sms::kFolderInRead, u"+4930123456", u"See you", u"01/12/26,09:12:00,GMT+1"),
        // Written here: no time.
        Sms(sms::kFolderOutSent, u"+491701234567", u"On my way", u""),
    });
    MessageFrame f;
    f.frame->resize(size.width(), size.height() + f.frame->menuBar()->sizeHint().height());
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    f.frame->RunCommand(kCmdSms);
    QTableView* list = f.View()->List();
    const auto total = [&] {
        return list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2);
    };
    QVERIFY(f.View()->ShowFolder(sms::kFolderInRead));
    QVERIFY(total() <= list->viewport()->width());
    if (size.width() >= 480) {
        // Room enough (a 480-pixel window at scale 1): the numbers are not cut.
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.font = list->font();
        const int icon = list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list);
        option.decorationSize = QSize(icon, icon);
        for (int r = 0; r < f.View()->Model()->rowCount(); ++r) {
            const int need = list->itemDelegateForColumn(0)
                                 ->sizeHint(option, f.View()->Model()->index(r, 0))
                                 .width();
            QVERIFY2(list->columnWidth(0) >= need,
                     qPrintable(QStringLiteral("%1 < %2").arg(list->columnWidth(0)).arg(need)));
        }
    }
    // Messages without a time: the "When" column still shows its whole title.
    QVERIFY(f.View()->ShowFolder(sms::kFolderOutSent));
    QVERIFY(list->columnWidth(2) >= list->horizontalHeader()->sectionSizeHint(2));
    QVERIFY(total() <= list->viewport()->width());

    // The read dialog fits the window and shows the time as the list does.
    QVERIFY(f.View()->ShowFolder(sms::kFolderInRead));
    QVERIFY(f.View()->SelectRow(1));
    int dialogWidth = 0;
    QString shownTime;
    f.onDialog = [&](QDialog& dialog) {
        if (auto* read = qobject_cast<smsui::CQVLReadDialog*>(&dialog)) {
            dialogWidth = read->minimumSizeHint().width();
            shownTime = read->findChild<QLabel*>(QStringLiteral("timeText"))->text();
        }
        return int(QDialog::Rejected);
    };
    f.View()->OpenSelected();
    QVERIFY2(dialogWidth > 0 && dialogWidth <= size.width(),
             qPrintable(QString::number(dialogWidth)));
    QCOMPARE(shownTime, QStringLiteral("01/12 09:12"));
    ClearMessages();
#else
    QSKIP("built without the engine");
#endif
}

void ShellTest::sessionStartListsSerialDevicesAgain_data() {
    QTest::addColumn<bool>("registryDirectory");
    QTest::addColumn<bool>("staleEntryLeft");
    QTest::newRow("modems listed from the registry: the overlay is made anew") << true << false;
    QTest::newRow("a replacement modem directory: the overlay is left alone") << false << true;
}

void ShellTest::sessionStartListsSerialDevicesAgain() {
#if QVL_HAVE_ENGINE
    QFETCH(bool, registryDirectory);
    QFETCH(bool, staleEntryLeft);
    // An entry of a device that is no longer plugged in.
    RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active\\99", RegOpen::CreateVolatile)
        .WriteString(u"Name", u"/dev/qvl-unplugged");
    testing::FakeModemDirectory directory;
    testing::FakeModemChooser chooser;  // answers Cancel
    testing::FakePinDialog pin;
    MessageFrame f;
    f.services.chooser = &chooser;
    f.services.pinDialog = &pin;
    f.services.modems = registryDirectory ? nullptr : &directory;
    f.frame.reset();
    f.doc = std::make_unique<CQVLDialerDoc>(&f.services);
    f.frame = std::make_unique<CMainFrame>(f.doc.get());
    f.frame->show();
    f.doc->OnFirstDisplay();
    const bool left =
        static_cast<bool>(RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active\\99"));
    QCOMPARE(left, staleEntryLeft);
    RegDeleteTree(RegRoot::LocalMachine, u"Drivers\\Active\\99");
#else
    QSKIP("built without the engine");
#endif
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"

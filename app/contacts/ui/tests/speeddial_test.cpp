// The speed-dial dialog as a user meets it: captions of a stored hive, choosing a button,
// Voice Mail, the slot menu's Import, Modify and Delete, OK and Cancel, and the screenshots
// of both layouts in English and German (written into the build folder).
#include <stdlib.h>

#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <deque>

#include "app/contacts/ui/speeddialdlg.h"
#include "app/settings/settingkeys.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

namespace qvl::contactsui {
namespace {

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

RegKey SpeedKey() {
    return RegKey::Open(RegRoot::LocalMachine, keys::kKeySpeedDial, RegOpen::Create);
}

class Messages : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons buttons,
                          MsgIcon) override {
        shown.emplace_back(text);
        if (buttons == MsgButtons::Ok) {
            return MsgAnswer::Ok;
        }
        const MsgAnswer a = answers.empty() ? MsgAnswer::No : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return a;
    }
    std::vector<std::u16string> shown;
    std::deque<MsgAnswer> answers;
};

}  // namespace

class SpeedDialTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void captionsOfAStoredHive();
    void choosingAButtonStoresAndHandsOverItsNumber();
    void emptyButtonDoesNothing();
    void voiceMail_data();
    void voiceMail();
    void slotMenu();
    void cancelDropsChanges();
    void screenshots_data();
    void screenshots();

  private:
    // Ports whose menu picks the command given, and whose pickers answer what is given.
    SpeedDialPorts Ports(int command = 0) {
        SpeedDialPorts ports;
        ports.messages = &m_messages;
        ports.voiceMailNumber = [this] { return m_voiceMail; };
        ports.openSmsSettings = [this] { ++m_settingsOpened; };
        ports.pickAddress = [this](QWidget*) { return m_pick; };
        ports.editEntry = [this](const NameAndNumber& slot, QWidget*) {
            m_edited = slot;
            return m_edit;
        };
        ports.holdPoll = [this](const std::function<void()>& run) {
            ++m_pollHeld;
            run();
        };
        ports.runMenu = [this, command](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* a : menu.actions()) {
                m_menuTexts << a->text();
            }
            for (QAction* a : menu.actions()) {
                if (a->data().toInt() == command) {
                    return a;
                }
            }
            return nullptr;
        };
        return ports;
    }

    std::unique_ptr<QTemporaryDir> m_home;
    Messages m_messages;
    QString m_voiceMail;
    int m_settingsOpened = 0;
    int m_pollHeld = 0;
    std::optional<NameAndNumber> m_pick;
    std::optional<NameAndNumber> m_edit;
    NameAndNumber m_edited;
    QStringList m_menuTexts;
};

void SpeedDialTest::init() {
    m_home = std::make_unique<QTemporaryDir>();
    setenv("QVL_HOME", m_home->path().toUtf8().constData(), 1);
    m_messages = Messages();
    m_voiceMail.clear();
    m_settingsOpened = 0;
    m_pollHeld = 0;
    m_pick.reset();
    m_edit.reset();
    m_menuTexts.clear();
    SetLanguage(1);
}

void SpeedDialTest::cleanup() {
    m_home.reset();
}

void SpeedDialTest::captionsOfAStoredHive() {
    const RegKey key = SpeedKey();
    key.WriteString(u"Category0Button1Name", u"Anna & Co");
    key.WriteString(u"Category0Button1Number", u"+49301");
    key.WriteString(u"Category0Button2Number", u"0302");  // no name: the number shows
    key.WriteString(u"Category2Button4Name", u"No number");
    CQVLSpeedDialDlg dlg(Ports(), false);
    QCOMPARE(dlg.Category(), 0);
    QVERIFY(dlg.CategoryButton(0)->isChecked());
    QCOMPARE(dlg.SpeedButton(0)->text(), QStringLiteral("Voice Mail"));
    QVERIFY(!dlg.MenuButton(0)->isEnabled());
    QCOMPARE(dlg.SpeedButton(1)->text(), QStringLiteral("Anna && Co"));
    QCOMPARE(dlg.SpeedButton(2)->text(), QStringLiteral("0302"));
    QCOMPARE(dlg.SpeedButton(3)->text(), QStringLiteral("<No Number>"));
    QTest::mouseClick(dlg.CategoryButton(2), Qt::LeftButton);
    QCOMPARE(dlg.Category(), 2);
    QVERIFY(dlg.MenuButton(0)->isEnabled());
    QCOMPARE(dlg.SpeedButton(4)->text(), QStringLiteral("<No Number>"));
    QVERIFY(m_messages.shown.empty());
}

void SpeedDialTest::choosingAButtonStoresAndHandsOverItsNumber() {
    const RegKey key = SpeedKey();
    key.WriteString(u"Category1Button2Name", u"Bob");
    key.WriteString(u"Category1Button2Number", u"555 12");
    key.WriteString(u"Category0Button3Name", u"Gone");
    key.WriteString(u"Category0Button3Number", u"9");
    CQVLSpeedDialDlg dlg(Ports(kCmdDeleteSlot), false);
    dlg.show();
    QTest::mouseClick(dlg.MenuButton(3), Qt::LeftButton);  // delete Gone
    QCOMPARE(dlg.SpeedButton(3)->text(), QStringLiteral("<No Number>"));
    QCOMPARE(m_pollHeld, 1);
    QTest::mouseClick(dlg.CategoryButton(1), Qt::LeftButton);
    QTest::mouseClick(dlg.SpeedButton(2), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.ChosenNumber(), QStringLiteral("555 12"));
    // The deleted slot's two values are gone; Bob's stay.
    QVERIFY(!key.ReadString(u"Category0Button3Name"));
    QVERIFY(!key.ReadString(u"Category0Button3Number"));
    QCOMPARE(key.ReadString(u"Category1Button2Number").value_or(u""), std::u16string(u"555 12"));
}

void SpeedDialTest::emptyButtonDoesNothing() {
    SpeedKey().WriteString(u"Stray", u"kept until something is stored");
    CQVLSpeedDialDlg dlg(Ports(), false);
    dlg.show();
    QTest::mouseClick(dlg.SpeedButton(4), Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QVERIFY(SpeedKey().ReadString(u"Stray"));
}

void SpeedDialTest::voiceMail_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("settingsOpened");
    QTest::newRow("set") << QStringLiteral("+49333") << int(MsgAnswer::No) << true << 0;
    QTest::newRow("not set, No") << QString() << int(MsgAnswer::No) << false << 0;
    QTest::newRow("not set, Yes") << QString() << int(MsgAnswer::Yes) << false << 1;
}

void SpeedDialTest::voiceMail() {
    QFETCH(QString, number);
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(int, settingsOpened);
    m_voiceMail = number;
    m_messages.answers.push_back(static_cast<MsgAnswer>(answer));
    SpeedKey().WriteString(u"Stray", u"x");
    CQVLSpeedDialDlg dlg(Ports(), false);
    dlg.show();
    QTest::mouseClick(dlg.SpeedButton(0), Qt::LeftButton);
    QCOMPARE(!dlg.isVisible(), closed);
    QCOMPARE(m_settingsOpened, settingsOpened);
    if (closed) {
        QCOMPARE(dlg.ChosenNumber(), number);
        QVERIFY(m_messages.shown.empty());
    } else {
        QCOMPARE(m_messages.shown.size(), std::size_t(1));
        QCOMPARE(m_messages.shown[0], LoadLocalString(5051));
        QVERIFY(SpeedKey().ReadString(u"Stray"));  // nothing stored
    }
}

void SpeedDialTest::slotMenu() {
    {
        m_pick = NameAndNumber{QStringLiteral("Anna Smith <Mobile>"), QStringLiteral("0171 1")};
        CQVLSpeedDialDlg dlg(Ports(kCmdImportFromSim), false);
        dlg.OpenSlotMenu(1);
        QCOMPARE(m_menuTexts, (QStringList{QStringLiteral("Import from SIM.."),
                                           QStringLiteral("Modify"), QStringLiteral("Delete")}));
        QCOMPARE(dlg.SpeedButton(1)->text(), QStringLiteral("Anna Smith <Mobile>"));
        dlg.OpenSlotMenu(0);  // the Voice Mail button has no menu
        QCOMPARE(m_menuTexts.size(), 3);
        // A pick without a number changes nothing.
        m_pick = NameAndNumber{QStringLiteral("Nobody"), QString()};
        dlg.OpenSlotMenu(2);
        QCOMPARE(dlg.SpeedButton(2)->text(), QStringLiteral("<No Number>"));
        dlg.accept();
    }
    {
        m_edit = NameAndNumber{QStringLiteral("Anna"), QStringLiteral("+49 171 1")};
        CQVLSpeedDialDlg dlg(Ports(kCmdModify), false);
        dlg.OpenSlotMenu(1);
        QCOMPARE(m_edited.name, QStringLiteral("Anna Smith <Mobile>"));
        QCOMPARE(m_edited.number, QStringLiteral("0171 1"));
        QCOMPARE(dlg.SpeedButton(1)->text(), QStringLiteral("Anna"));
        dlg.OpenSlotMenu(3);  // an unused slot is edited from empty fields
        QCOMPARE(m_edited.number, QString());
        dlg.accept();
    }
    QCOMPARE(SpeedKey().ReadString(u"Category0Button1Name").value_or(u""), std::u16string(u"Anna"));
    QCOMPARE(SpeedKey().ReadString(u"Category0Button3Number").value_or(u""),
             std::u16string(u"+49 171 1"));
    // Without an Address Book or an entry dialog, those commands are offered disabled.
    SpeedDialPorts ports = Ports(kCmdImportFromSim);
    ports.pickAddress = nullptr;
    ports.editEntry = nullptr;
    m_pick = NameAndNumber{QStringLiteral("X"), QStringLiteral("1")};
    CQVLSpeedDialDlg dlg(ports, true);
    dlg.OpenSlotMenu(4);
    QCOMPARE(dlg.SpeedButton(4)->text(), QStringLiteral("<No Number>"));
}

void SpeedDialTest::cancelDropsChanges() {
    m_pick = NameAndNumber{QStringLiteral("New"), QStringLiteral("1")};
    CQVLSpeedDialDlg dlg(Ports(kCmdImportFromSim), false);
    dlg.show();
    dlg.OpenSlotMenu(2);
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!SpeedKey().ReadString(u"Category0Button2Number"));
}

void SpeedDialTest::screenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("file");
    QTest::newRow("en portrait") << 1 << false << QStringLiteral("speeddial-en-portrait.png");
    QTest::newRow("en landscape") << 1 << true << QStringLiteral("speeddial-en-landscape.png");
    QTest::newRow("de portrait") << 2 << false << QStringLiteral("speeddial-de-portrait.png");
    QTest::newRow("de landscape") << 2 << true << QStringLiteral("speeddial-de-landscape.png");
}

void SpeedDialTest::screenshots() {
    QFETCH(int, language);
    QFETCH(bool, landscape);
    QFETCH(QString, file);
    SetLanguage(static_cast<std::uint32_t>(language));
    const RegKey key = SpeedKey();
    key.WriteString(u"Category0Button1Name", u"Anna Smith <Mobile>");
    key.WriteString(u"Category0Button1Number", u"+491711234567");
    key.WriteString(u"Category0Button2Name", u"Mailbox Office");
    key.WriteString(u"Category0Button2Number", u"0301234567");
    key.WriteString(u"Category0Button4Number", u"0899876");
    CQVLSpeedDialDlg dlg(Ports(), landscape);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QImage shot = dlg.grab().toImage();
    QVERIFY(!shot.isNull());
    QVERIFY(landscape ? shot.width() > shot.height() : shot.height() > shot.width());
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    QVERIFY(shot.save(QDir(QStringLiteral(QVL_SCREENSHOT_DIR)).filePath(file)));
}

}  // namespace qvl::contactsui

QTEST_MAIN(qvl::contactsui::SpeedDialTest)
#include "speeddial_test.moc"

// The MMS settings page: the profiles listed and chosen, New and Edit with their checks, the
// import into the page's own copy (kept only on OK), Cancel, and the registry values.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

#include <fstream>

#include "app/mms/ui/mmssettingspage.h"
#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/tests/testsupport.h"
#include "base/text.h"
#include "common/lang/lang.h"

using namespace qvl;
using namespace qvl::mmsui;
using qvl::mms::MmsProfile;
using qvl::smsui::testing::ScriptedMessages;
using qvl::smsui::testing::TempHome;

namespace {

MmsProfile Profile(std::int32_t id, std::u16string name, std::int32_t code = 0) {
    MmsProfile p;
    p.key = id;
    p.operatorCode = code;
    p.name = std::move(name);
    p.apn = u"mms.example";
    p.gateway = u"10.0.0.1";
    p.uri = u"http://mms.example/";
    return p;
}

void StoreProfiles(const std::vector<MmsProfile>& profiles) {
    sms::ChangeFile(sms::MmsProfileStorePath(), [&](sms::CRecordStore& store) {
        for (const auto& p : profiles) {
            store.Append(p);
        }
        return true;
    });
}

std::vector<MmsProfile> StoredProfiles() {
    sms::CRecordStore store;
    store.Load(sms::MmsProfileStorePath());
    std::vector<MmsProfile> out;
    for (const MmsProfile* p : mms::ProfilesOf(store)) {
        out.push_back(*p);
    }
    return out;
}

QStringList Names(const QComboBox* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        names << list->itemText(i);
    }
    return names;
}

}  // namespace

class MmsSettingsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempHome> m_home;
    ScriptedMessages m_boxes;
    smsui::SmsUiPorts m_ports;
    std::deque<std::function<int(QDialog&)>> m_dialogs;
    QString m_chosenFile;

    // Fills the open profile dialog's fields (an empty entry leaves a field as it is) and
    // presses its OK; the dialog's result is what OK did.
    std::function<int(QDialog&)> TypeProfile(std::vector<QString> fields) {
        return [fields](QDialog& d) {
            auto& dialog = static_cast<CQVLMmsProfileDlg&>(d);
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (!fields[i].isNull()) {
                    dialog.Field(static_cast<int>(i))->setText(fields[i]);
                }
            }
            return dialog.TryAccept() ? static_cast<int>(QDialog::Accepted)
                                      : static_cast<int>(QDialog::Rejected);
        };
    }

    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = m_home->Path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

  private slots:
    void init() {
        m_home = std::make_unique<TempHome>();
        m_boxes = ScriptedMessages();
        m_dialogs.clear();
        m_chosenFile.clear();
        m_ports = smsui::SmsUiPorts();
        m_ports.messages = &m_boxes;
        m_ports.runDialog = [this](QDialog& d) {
            if (m_dialogs.empty()) {
                return static_cast<int>(QDialog::Rejected);
            }
            auto script = std::move(m_dialogs.front());
            m_dialogs.pop_front();
            return script(d);
        };
        m_ports.chooseFile = [this](smsui::FileDialogKind, const QString&, const QString&) {
            return m_chosenFile;
        };
        m_ports.landscape = [] { return false; };
        sms::TakeStoreProblems();
    }

    void opensWithTheChosenProfileAndTheDetectSetting() {
        StoreProfiles({Profile(7, u"Alpha"), Profile(9, u"Beta"), Profile(12, u"Gamma")});
        {
            CQVLMmsSettingsPage page(m_ports);
            QCOMPARE(Names(page.ProfileList()), QStringList({"Alpha", "Beta", "Gamma"}));
            QCOMPARE(page.ProfileList()->currentIndex(), 0);  // nothing chosen yet
            QVERIFY(page.Detect()->isChecked());              // missing value: detect
        }
        mms::WriteProfileSettings(false, 9);
        CQVLMmsSettingsPage page(m_ports);
        QCOMPARE(page.ProfileList()->currentText(), "Beta");
        QVERIFY(!page.Detect()->isChecked());
        // OK writes the choice and the check box.
        page.ProfileList()->setCurrentIndex(2);
        page.Detect()->setChecked(true);
        QVERIFY(page.Apply());
        QCOMPARE(mms::SelectedProfileSetting(), 12);
        QVERIFY(mms::DetectProfileSetting());
    }

    void newProfileGetsTheNextIdAndIsKeptOnOk() {
        StoreProfiles({Profile(7, u"Alpha", 26201)});
        CQVLMmsSettingsPage page(m_ports);
        m_dialogs.push_back(TypeProfile({" Home ", "mms.home.example", "wap", "pw", "10.1.2.3",
                                         "10.1.2.4", "http://mmsc.home/"}));
        QVERIFY(page.NewProfile());
        QCOMPARE(page.ProfileList()->currentText(), "Home");
        QCOMPARE(page.Profiles().back().key, 5001);
        QCOMPARE(page.Profiles().back().operatorCode, 0);
        QVERIFY(StoredProfiles().size() == 1u);  // nothing written before OK
        QVERIFY(page.Apply());
        const auto stored = StoredProfiles();
        QCOMPARE(stored.size(), 2u);
        QCOMPARE(stored[1].name, u"Home");
        QCOMPARE(stored[1].uri, u"http://mmsc.home/");
        QCOMPARE(stored[0].operatorCode, 26201);
        QCOMPARE(mms::SelectedProfileSetting(), 5001);
        // The next new profile is above the highest id.
        m_dialogs.push_back(TypeProfile({"Second", "apn2"}));
        QVERIFY(page.NewProfile());
        QCOMPARE(page.Profiles().back().key, 5002);
    }

    void profileFieldsThatCannotBeUsedKeepTheDialogOpen_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("apn");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("dns");
        QTest::addColumn<int>("message");
        QTest::newRow("no name") << "  "
                                 << "mms.example"
                                 << ""
                                 << "" << 5453;
        QTest::newRow("no apn") << "A"
                                << ""
                                << ""
                                << "" << 5455;
        QTest::newRow("apn with a quote") << "A"
                                          << "mms\",\"x"
                                          << ""
                                          << "" << 5455;
        QTest::newRow("user with a blank") << "A"
                                           << "mms"
                                           << "my user"
                                           << "" << 5456;
        QTest::newRow("user with a quote") << "A"
                                           << "mms"
                                           << "u\""
                                           << "" << 5456;
        QTest::newRow("dns not an address") << "A"
                                            << "mms"
                                            << ""
                                            << "10.0.0" << 5457;
        QTest::newRow("dns out of range") << "A"
                                          << "mms"
                                          << ""
                                          << "10.0.0.256" << 5457;
    }
    void profileFieldsThatCannotBeUsedKeepTheDialogOpen() {
        QFETCH(QString, name);
        QFETCH(QString, apn);
        QFETCH(QString, user);
        QFETCH(QString, dns);
        QFETCH(int, message);
        CQVLMmsSettingsPage page(m_ports);
        m_dialogs.push_back(TypeProfile({name, apn, user, "", dns}));
        QVERIFY(!page.NewProfile());
        QVERIFY(page.Profiles().empty());
        QVERIFY(!page.Modified());
        QCOMPARE(m_boxes.shown.size(), 1u);
        QCOMPARE(m_boxes.shown[0].text, LoadLocalString(message));
    }

    void fieldsAreHeldToTheirWidths() {
        CQVLMmsSettingsPage page(m_ports);
        m_dialogs.push_back([](QDialog& d) {
            auto& dialog = static_cast<CQVLMmsProfileDlg&>(d);
            const int widths[] = {39, 39, 19, 19, 19, 19, 79};
            for (int i = 0; i < CQVLMmsProfileDlg::kFieldCount; ++i) {
                dialog.Field(i)->setText(QString(200, QChar('a')));
                if (dialog.Field(i)->text().size() != widths[i]) {
                    return static_cast<int>(QDialog::Rejected);
                }
            }
            return static_cast<int>(QDialog::Accepted);
        });
        QVERIFY(page.NewProfile());
    }

    void editWritesTheFieldsBackOnOk() {
        StoreProfiles({Profile(7, u"Alpha"), Profile(9, u"Beta")});
        mms::WriteProfileSettings(false, 9);
        CQVLMmsSettingsPage page(m_ports);
        m_dialogs.push_back(TypeProfile({"Beta 2", {}, {}, {}, {}, "10.9.9.9"}));
        QVERIFY(page.EditProfile());
        QCOMPARE(page.ProfileList()->currentText(), "Beta 2");
        QVERIFY(page.Apply());
        const auto stored = StoredProfiles();
        QCOMPARE(stored[1].name, u"Beta 2");
        QCOMPARE(stored[1].gateway, u"10.9.9.9");
        QCOMPARE(stored[1].key, 9);
        QCOMPARE(stored[0].name, u"Alpha");
    }

    void importReplacesOnlyTheCopyAndCancelDropsIt() {
        StoreProfiles({Profile(7, u"Mine")});
        const std::string good =
            WriteFile("op.mmp", mms::ScrambleMmpLine("11|26202|Operator A|mms.a|||||http://a/") +
                                    "\r\n" + std::string(10000, 'F') + "\r\n" +
                                    mms::ScrambleMmpLine("12|26203|Operator B|mms.b|||||u") + "\n");
        CQVLMmsSettingsPage page(m_ports);
        m_chosenFile = QString::fromStdString(good);
        QVERIFY(page.ImportProfiles());
        QCOMPARE(Names(page.ProfileList()), QStringList({"Operator A", "Operator B"}));
        QCOMPARE(m_boxes.shown.back().text,
                 mms::FillMessage(LoadLocalString(mms::kMsgProfilesImported), {u"2", u"1"}));
        // Cancel asks; No keeps the page open with the import.
        m_boxes.answers = {MsgAnswer::No, MsgAnswer::Yes};
        QVERIFY(!page.Cancel());
        QCOMPARE(m_boxes.shown.back().text, LoadLocalString(kMsgAskDropChanges));
        QVERIFY(page.Cancel());
        QCOMPARE(StoredProfiles().size(), 1u);
        QCOMPARE(StoredProfiles()[0].name, u"Mine");
    }

    void importThatGivesNothingKeepsTheProfiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("message");
        // Written with another key: every line unscrambles to something without nine fields.
        QTest::newRow("another key") << QByteArray("0A1B2C3D4E5F60718293A4B5C6D7E8F9") << 5450;
        QTest::newRow("not hex") << QByteArray("hello world\n") << 5450;
        QTest::newRow("empty file") << QByteArray() << 5450;
        QTest::newRow("missing file") << QByteArray("missing") << 5451;
    }
    void importThatGivesNothingKeepsTheProfiles() {
        QFETCH(QByteArray, content);
        QFETCH(int, message);
        StoreProfiles({Profile(7, u"Mine")});
        std::string path = m_home->Path().toStdString() + "/none.mmp";
        if (content != "missing") {
            path = WriteFile("bad.mmp", content.toStdString());
        }
        CQVLMmsSettingsPage page(m_ports);
        QVERIFY(!page.ImportFrom(QString::fromStdString(path)));
        QCOMPARE(Names(page.ProfileList()), QStringList({"Mine"}));
        QVERIFY(!page.Modified());
        QCOMPARE(m_boxes.shown.size(), 1u);
        const std::u16string text = m_boxes.shown[0].text;
        const std::u16string format = LoadLocalString(message);
        QVERIFY2(text.substr(0, 10) == format.substr(0, 10),
                 qPrintable(QString::fromStdU16String(text)));
        QVERIFY(text.find(Utf8ToWide(path)) != std::u16string::npos);
        // Cancel of an unchanged page asks nothing.
        QVERIFY(page.Cancel());
        QCOMPARE(m_boxes.shown.size(), 1u);
    }

    void okWithNothingSelectedWritesZero() {
        mms::WriteProfileSettings(false, 44);
        CQVLMmsSettingsPage page(m_ports);
        QCOMPARE(page.ProfileList()->currentIndex(), -1);
        QVERIFY(!page.EditProfile());
        QVERIFY(page.Apply());
        QCOMPARE(mms::SelectedProfileSetting(), 0);
    }

    void textsInEveryLanguage() {
        const QByteArray saved = qgetenv("LC_ALL");
        QStringList titles;
        for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8"}) {
            qputenv("LC_ALL", locale);
            CQVLMmsSettingsPage page(m_ports);
            titles << page.windowTitle() + " / " + page.Detect()->text();
        }
        qputenv("LC_ALL", saved);
        QCOMPARE(titles,
                 QStringList(
                     {"MMS-Einstellungen / Profil erkennen", "Paramètres MMS / Détecter le profil",
                      "Configuración MMS / Detectar perfil", "Impostazioni MMS / Rileva profilo"}));
    }

    // The settings page, the profile dialog and the compose screen in MMS mode as a user sees
    // them (written into the build folder; scripts/screenshots.sh copies them into the docs).
    void screenshots() {
        StoreProfiles({Profile(12, u"QVL Mobile MMS", 26201), Profile(13, u"Northnet MMS")});
        const QDir dir(QStringLiteral(QVL_SCREENSHOT_DIR));
        QVERIFY(QDir().mkpath(dir.path()));
        const auto shoot = [&](QWidget& w, const QString& file) {
            w.resize(240, 320);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const QImage shot = w.grab().toImage();
            QVERIFY(!shot.isNull());
            QVERIFY(shot.save(dir.filePath(file)));
        };
        CQVLMmsSettingsPage page(m_ports);
        shoot(page, QStringLiteral("mms-settings.png"));
        CQVLMmsProfileDlg dialog(m_ports, Profile(12, u"QVL Mobile MMS"), false);
        shoot(dialog, QStringLiteral("mms-profile.png"));
        const QString picture = m_home->Path() + "/beach.jpg";
        WriteFile("beach.jpg", std::string(48000, 'x'));
        smsui::CQVLComposeView compose(m_ports);
        compose.SetMode(smsui::CQVLComposeView::Mode::kMms);
        compose.SetTo(QStringLiteral("+491701234567"));
        compose.Subject()->setText(QStringLiteral("Holiday"));
        compose.SetText(QStringLiteral("Greetings from the beach"));
        compose.AddObject(picture);
        shoot(compose, QStringLiteral("compose-mms.png"));
    }
};

QTEST_MAIN(MmsSettingsTest)
#include "mmssettings_test.moc"

// The message screens against a fake modem: list, read, reply, compose and send, folders,
// templates, Move To, Save in, delete, export, the settings page, bad input, layouts and
// languages.
#include <sys/stat.h>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/store/messageops.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/folderdialogs.h"
#include "app/sms/ui/readdialog.h"
#include "app/sms/ui/smsnewview.h"
#include "app/sms/ui/smssettingspage.h"
#include "app/sms/ui/tests/testsupport.h"
#include "common/lang/lang.h"

using namespace qvl;
using namespace qvl::smsui;
using namespace qvl::smsui::testing;

class MessagesTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempHome> m_home;
    FakeSmsModem m_modem;
    ScriptedMessages m_boxes;
    SmsUiPorts m_ports;
    // What the scripted dialog runner does with each dialog, in order; a dialog without a
    // script is closed with reject.
    std::deque<std::function<int(QDialog&)>> m_dialogs;
    std::vector<long long> m_today;

    void Reset() {
        m_home = std::make_unique<TempHome>();
        m_modem = FakeSmsModem();
        m_boxes = ScriptedMessages();
        m_dialogs.clear();
        m_today.clear();
        m_ports = SmsUiPorts();
        m_ports.modem = &m_modem;
        m_ports.messages = &m_boxes;
        m_ports.runDialog = [this](QDialog& d) {
            if (m_dialogs.empty()) {
                return static_cast<int>(QDialog::Rejected);
            }
            auto script = std::move(m_dialogs.front());
            m_dialogs.pop_front();
            return script(d);
        };
        m_ports.notifyToday = [this](long long w, long long l) {
            m_today.push_back(w);
            m_today.push_back(l);
        };
        m_ports.landscape = [] { return false; };
        sms::TakeStoreProblems();  // nothing carried over from an earlier test
    }

  private slots:
    void init() { Reset(); }

    void folderComboListsFixedFoldersThenUserFolders() {
        sms::AddFolderFile(u"Work");
        sms::AddFolderFile(u"Family");
        CQVLSMSNewView view(m_ports);
        const QStringList expected = {"In Unread", "In Read", "Out Unsent", "Out Sent",
                                      "Drafts",    "Work",    "Family"};
        QCOMPARE(view.Folders()->count(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(view.Folders()->itemText(i), expected[i]);
        }
        QCOMPARE(view.Folders()->itemData(4).toInt(), sms::kFolderDrafts);
        QCOMPARE(view.Folders()->itemData(5).toInt(), 4);
    }

    void listShowsOnlyTheChosenFolderWithColumnsAndTellsToday() {
        PutMessages({Sms(0, u"+111", u"new one", u"01/02/26,10:00:00,GMT+1"),
                     Sms(1, u"+222", u"old one\r\nsecond line", u"01/01/26,09:00:00,GMT+1"),
                     Sms(0, u"+333", u"new two", u"01/02/26,11:00:00,GMT+1")});
        CQVLSMSNewView view(m_ports);
        QSignalSpy seen(&view, &CQVLSMSNewView::UnreadSeen);
        view.Refresh();
        auto* model = view.Model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Number");
        QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Message");
        QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "When");
        QCOMPARE(model->data(model->index(1, 0), Qt::DisplayRole).toString(), "+333");
        QVERIFY(model->data(model->index(1, 0), Qt::DecorationRole).isValid());
        QVERIFY(view.ShowFolder(sms::kFolderInRead));
        QCOMPARE(model->rowCount(), 1);
        // The list shows one line per message.
        QCOMPARE(model->data(model->index(0, 1), Qt::DisplayRole).toString(),
                 "old one second line");
        QCOMPARE(m_today.back(), 0);
        QVERIFY(seen.count() >= 1);
    }

    void contextMenuIsMenu103WithTheFoldersUnderMoveTo() {
        sms::AddFolderFile(u"Work");
        CQVLSMSNewView view(m_ports);
        QMenu menu;
        view.BuildContextMenu(menu);
        QStringList texts;
        for (QAction* a : menu.actions()) {
            texts << a->text();
        }
        QCOMPARE(texts, (QStringList{"&Read", "&Delete", "Move To..", "Export to SIM"}));
        QMenu* moveTo = menu.actions()[2]->menu();
        QVERIFY(moveTo != nullptr);
        QStringList folders;
        for (QAction* a : moveTo->actions()) {
            folders << a->text();
        }
        QCOMPARE(folders, (QStringList{"In Unread", "In Read", "Out Unsent", "Out Sent", "Drafts",
                                       "<New Folder>", "Work"}));
        QCOMPARE(moveTo->actions()[5]->data().toInt(), kNewFolderChoice);
        QCOMPARE(moveTo->actions()[6]->data().toInt(), 4);
    }

    void openingUnreadShowsItAndMovesItToInReadOnClose() {
        PutMessages({Sms(0, u"+4917012345", u"Hello there", u"05/03/26,12:30:00,GMT+1")});
        CQVLSMSNewView view(m_ports);
        view.Refresh();
        QVERIFY(view.SelectRow(0));
        QString number, text, time;
        m_dialogs.push_back([&](QDialog& d) {
            auto& read = dynamic_cast<CQVLReadDialog&>(d);
            number = read.ShownNumber();
            text = read.ShownText();
            time = read.ShownTime();
            read.Choose(ReadAction::kClose);
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(number, "+4917012345");
        QCOMPARE(text, "Hello there");
        QCOMPARE(time, "05/03/26,12:30:00,GMT+1");
        QCOMPARE(StoredIn(sms::kFolderInUnread).size(), 0u);
        QCOMPARE(StoredIn(sms::kFolderInRead).size(), 1u);
        QCOMPARE(view.Model()->rowCount(), 0);
    }

    void deletingAnUnreadMessageFromTheReadDialog() {
        PutMessages({Sms(0, u"+1", u"unwanted", u"t1"), Sms(0, u"+2", u"keep", u"t2")});
        CQVLSMSNewView view(m_ports);
        view.Refresh();
        view.SelectRow(0);
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kDelete);
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(StoredMessages().size(), 1u);
        QCOMPARE(StoredMessages()[0].text, u"keep");
        QCOMPARE(view.Model()->rowCount(), 1);
        QVERIFY(m_boxes.Showed("Message successfully deleted."));
    }

    void replyOpensComposeWithTheNumberAndSends() {
        PutMessages({Sms(1, u"+4917012345", u"Lunch?", u"05/03/26,12:30:00,GMT+1")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        view.SelectRow(0);
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kReply);
            return d.result();
        });
        QString to;
        m_dialogs.push_back([&](QDialog& d) {
            auto& compose = dynamic_cast<CQVLComposeView&>(d);
            to = compose.To()->text();
            compose.Text()->setPlainText("Yes, at noon");
            compose.Send();
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(to, "+4917012345");
        QCOMPARE(m_modem.sent.size(), 1u);
        QCOMPARE(m_modem.sent[0].text, u"Yes, at noon");
        QCOMPARE(StoredIn(sms::kFolderOutSent).size(), 1u);
        QVERIFY(m_boxes.Showed("Message has been sent successfully. <+4917012345>"));
    }

    void forwardCallAndDeleteFromTheReadDialog() {
        PutMessages({Sms(1, u"+111", u"forward me", u"05/03/26,12:30:00,GMT+1")});
        std::u16string dialled;
        m_ports.dial = [&](std::u16string_view n) { dialled = n; };
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);

        view.SelectRow(0);
        QString to = "unset", text;
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kForward);
            return d.result();
        });
        m_dialogs.push_back([&](QDialog& d) {
            auto& c = dynamic_cast<CQVLComposeView&>(d);
            to = c.To()->text();
            text = c.Text()->toPlainText();
            return static_cast<int>(QDialog::Rejected);
        });
        view.OpenSelected();
        QCOMPARE(to, QString());
        QCOMPARE(text, "forward me");

        view.SelectRow(0);
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kCall);
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(dialled, u"+111");

        view.SelectRow(0);
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLReadDialog&>(d).Choose(ReadAction::kDelete);
            return d.result();
        });
        view.OpenSelected();
        QVERIFY(StoredMessages().empty());
        QVERIFY(m_boxes.Showed("Message successfully deleted."));
    }

    void unsentAndDraftsReopenInComposeAndAreReplacedWhenSent() {
        PutMessages({Sms(sms::kFolderDrafts, u"+555", u"draft text"),
                     Sms(sms::kFolderOutUnsent, u"+666", u"retry me")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderDrafts);
        view.SelectRow(0);
        QString text;
        m_dialogs.push_back([&](QDialog& d) {
            auto& c = dynamic_cast<CQVLComposeView&>(d);
            text = c.Text()->toPlainText();
            c.Send();
            return d.result();
        });
        view.OpenSelected();
        QCOMPARE(text, "draft text");
        QCOMPARE(StoredIn(sms::kFolderDrafts).size(), 0u);
        QCOMPARE(StoredIn(sms::kFolderOutSent).size(), 1u);

        view.ShowFolder(sms::kFolderOutUnsent);
        view.SelectRow(0);
        m_modem.failFor.insert(u"+666");
        m_dialogs.push_back([](QDialog& d) {
            dynamic_cast<CQVLComposeView&>(d).Send();
            return d.result();
        });
        view.OpenSelected();
        // Failed again: one record in Out Unsent, not two.
        QCOMPARE(StoredIn(sms::kFolderOutUnsent).size(), 1u);
    }

    void sendToTwoRecipientsWithOneFailing() {
        m_modem.failFor.insert(u"+222");
        CQVLComposeView compose(m_ports);
        compose.SetTo("+111; +222");
        compose.SetText("meeting moved");
        const auto outcomes = compose.Send();
        QCOMPARE(outcomes.size(), 2u);
        QVERIFY(outcomes[0].sent);
        QVERIFY(!outcomes[1].sent);
        QVERIFY(m_boxes.Showed("Message has been sent successfully. <+111>"));
        QVERIFY(m_boxes.Showed("Message FAILED to send. <+222>"));
        QCOMPARE(StoredIn(sms::kFolderOutSent).size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutSent)[0].number, u"+111");
        QCOMPARE(StoredIn(sms::kFolderOutUnsent).size(), 1u);
        QCOMPARE(StoredIn(sms::kFolderOutUnsent)[0].number, u"+222");
        QVERIFY(StoredIn(sms::kFolderOutUnsent)[0].time.empty());
    }

    void recipients_data() {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("one") << "+4930123" << QStringList{"+4930123"};
        QTest::newRow("empty piece between") << "111;;222" << QStringList{"111", "222"};
        QTest::newRow("blanks around and inside")
            << " 0170 123 45 ; +49 30 1 " << QStringList{"017012345", "+49301"};
        QTest::newRow("only separators and blanks") << " ; ;\t; " << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void recipients() {
        QFETCH(QString, to);
        QFETCH(QStringList, numbers);
        QStringList got;
        for (const auto& n : SplitRecipients(to.toStdU16String())) {
            got << QString::fromStdU16String(n);
        }
        QCOMPARE(got, numbers);
    }

    void dialableNumbers_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("dialable");
        QTest::newRow("international") << "+491701234567" << true;
        QTest::newRow("national") << "01701234567" << true;
        QTest::newRow("service code") << "*100#" << true;
        QTest::newRow("letters") << "Anna" << false;
        QTest::newRow("plus inside") << "49+170" << false;
        QTest::newRow("plus only") << "+" << false;
        QTest::newRow("21 digits") << "123456789012345678901" << false;
    }
    void dialableNumbers() {
        QFETCH(QString, number);
        QFETCH(bool, dialable);
        QCOMPARE(IsDialableNumber(number.toStdU16String()), dialable);
    }

    void emptyRecipientsSendNothing() {
        CQVLComposeView compose(m_ports);
        compose.SetTo(" ; ");
        compose.SetText("hello");
        QVERIFY(compose.Send().empty());
        QVERIFY(m_modem.sent.empty());
        QVERIFY(m_boxes.Showed("Please enter at least one recipient number."));
        QVERIFY(StoredMessages().empty());
    }

    void unaddressableRecipientIsNotHandedToTheModem() {
        CQVLComposeView compose(m_ports);
        compose.SetTo("Anna;+111");
        compose.SetText("hi");
        const auto outcomes = compose.Send();
        QCOMPARE(outcomes.size(), 2u);
        QVERIFY(!outcomes[0].sent);
        QCOMPARE(m_modem.sent.size(), 1u);
        QCOMPARE(m_modem.sent[0].number, u"+111");
        QCOMPARE(StoredIn(sms::kFolderOutUnsent).size(), 1u);
    }

    void counter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "SMS = 1, Used = 0, Left = 160";
        QTest::newRow("160 septets") << QString(160, 'a') << "SMS = 1, Used = 160, Left = 0";
        QTest::newRow("161 septets") << QString(161, 'a') << "SMS = 2, Used = 9, Left = 143";
        QTest::newRow("304 septets fill two parts")
            << QString(304, 'a') << "SMS = 2, Used = 152, Left = 0";
        QTest::newRow("extension character counts twice") << QString(159, 'a') + "€"
                                                          << "SMS = 2, Used = 9, Left = 143";
        QTest::newRow("UCS2 single")
            << QString(70, QChar(0x0416)) << "SMS = 1, Used = 70, Left = 0";
        QTest::newRow("UCS2 two parts")
            << QString(71, QChar(0x0416)) << "SMS = 2, Used = 4, Left = 63";
    }
    void counter() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        CQVLComposeView compose(m_ports);
        compose.Text()->setPlainText(text);
        QCOMPARE(compose.Counter()->text(), shown);
    }

    void mmsModeShowsItsFieldsInPlaceOfTheCounter() {
        CQVLComposeView compose(m_ports);
        QCOMPARE(compose.ModeSwitch()->count(), 2);
        QCOMPARE(compose.CurrentMode(), CQVLComposeView::Mode::kSms);
        QVERIFY(!compose.MmsPanel()->isVisibleTo(&compose));
        compose.SetMode(CQVLComposeView::Mode::kMms);
        QVERIFY(compose.MmsPanel()->isVisibleTo(&compose));
        QVERIFY(compose.Size()->isVisibleTo(&compose));
        QVERIFY(!compose.Counter()->isVisibleTo(&compose));
        QCOMPARE(compose.ModeSwitch()->currentIndex(), 1);
        compose.SetMode(CQVLComposeView::Mode::kSms);
        QVERIFY(!compose.MmsPanel()->isVisibleTo(&compose));
        QVERIFY(compose.Counter()->isVisibleTo(&compose));
    }

    void ccTakesNumbersFromTheAddressBook() {
        std::deque<QString> picks = {"+4930111", "+4930222"};
        m_ports.pickNumber = [&](QWidget*) -> std::optional<QString> {
            if (picks.empty()) {
                return std::nullopt;
            }
            const QString n = picks.front();
            picks.pop_front();
            return n;
        };
        CQVLComposeView compose(m_ports);
        compose.SetMode(CQVLComposeView::Mode::kMms);
        QVERIFY(compose.CcAddressBook()->isVisibleTo(&compose));
        for (int i = 0; i < 3; ++i) {  // the third pick is canceled
            QTest::mouseClick(compose.CcAddressBook(), Qt::LeftButton);
        }
        QCOMPARE(compose.Cc()->text(), "+4930111;+4930222");
        QCOMPARE(compose.To()->text(), "");
        // Without an Address Book there is no button.
        m_ports.pickNumber = nullptr;
        CQVLComposeView plain(m_ports);
        plain.SetMode(CQVLComposeView::Mode::kMms);
        QVERIFY(!plain.CcAddressBook()->isVisibleTo(&plain));
    }

    void objectsByFileWithTheirMediaTypes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("added");
        QTest::addColumn<int>("code");
        QTest::newRow("jpeg, upper case") << "/pics/Beach.JPG" << true << 0x9E;
        QTest::newRow("png") << "/pics/a.png" << true << 0xA0;
        QTest::newRow("wav") << "/s/wave.wav" << true << 0xF0;
        QTest::newRow("last dot counts") << "/x/a.png.gif" << true << 0x9D;
        QTest::newRow("unknown extension keeps 0") << "/x/notes.txt" << true << 0;
        QTest::newRow("no extension") << "/x/README" << true << 0;
        QTest::newRow("line feed in the name") << "/x/a\nb.jpg" << false << 0;
        QTest::newRow("carriage return") << "/x/a\rb.jpg" << false << 0;
        QTest::newRow("tab") << "/x/a\tb.jpg" << false << 0;
        QTest::newRow("NUL") << QString("/x/a") + QChar(0) + "b.jpg" << false << 0;
    }
    void objectsByFileWithTheirMediaTypes() {
        QFETCH(QString, path);
        QFETCH(bool, added);
        QFETCH(int, code);
        CQVLComposeView compose(m_ports);
        compose.SetMode(CQVLComposeView::Mode::kMms);
        compose.AddObject("/first.gif");
        QCOMPARE(compose.AddObject(path), added);
        QCOMPARE(compose.Objects()->count(), added ? 2 : 1);
        if (added) {
            QCOMPARE(compose.Objects()->currentIndex(), 1);
            QCOMPARE(compose.Objects()->itemText(1), path);
            QCOMPARE(compose.Objects()->itemData(1).toInt(), code);
            QVERIFY(m_boxes.shown.empty());
        } else {
            QCOMPARE(m_boxes.shown.size(), 1u);
            QCOMPARE(m_boxes.shown[0].text, LoadLocalString(mms::kMsgBadObjectPath));
        }
    }

    void addObjectUsesTheChooser() {
        QString filter;
        m_ports.chooseFile = [&](FileDialogKind, const QString&, const QString& f) {
            filter = f;
            return QStringLiteral("/pics/sun.jpeg");
        };
        CQVLComposeView compose(m_ports);
        compose.SetMode(CQVLComposeView::Mode::kMms);
        QTest::mouseClick(compose.findChild<QPushButton*>("addobject"), Qt::LeftButton);
        QCOMPARE(compose.Objects()->itemText(0), "/pics/sun.jpeg");
        QCOMPARE(compose.Objects()->itemData(0).toInt(), 0x9E);
        QVERIFY(filter.startsWith("MMS Objects ("));
        QVERIFY(filter.contains("*.WBMP") && filter.contains("*.mp3"));
        QTest::mouseClick(compose.findChild<QPushButton*>("removeobject"), Qt::LeftButton);
        QCOMPARE(compose.Objects()->count(), 0);
    }

    void sizeGrowsWithTextSubjectAndObjects() {
        const QString picture = m_home->Path() + "/p.png";
        {
            QFile f(picture);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(3000, 'x'));
        }
        CQVLComposeView compose(m_ports);
        compose.SetMode(CQVLComposeView::Mode::kMms);
        QCOMPARE(compose.Size()->text(), "Size: 0 B");
        compose.Text()->setPlainText("Grüße");  // 7 octets in UTF-8
        QCOMPARE(compose.Size()->text(), "Size: 7 B");
        compose.Subject()->setText("Hi");
        QCOMPARE(compose.MessageSize(), 9);
        QVERIFY(compose.AddObject(picture));
        QCOMPARE(compose.MessageSize(), 3009);
        QCOMPARE(compose.Size()->text(), "Size: 2.9 KB");
        // An object whose file is gone counts nothing.
        QVERIFY(compose.AddObject(m_home->Path() + "/gone.jpg"));
        QCOMPARE(compose.MessageSize(), 3009);
        compose.RemoveObject();
        compose.Objects()->setCurrentIndex(0);
        compose.RemoveObject();
        QCOMPARE(compose.Size()->text(), "Size: 9 B");
    }

    void mmsSendHandsOverTheMessageAndClosesOnThePostSendNotification_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("closes");
        QTest::newRow("sent") << int(mms::MmsSendResult::kSent) << true;
        QTest::newRow("filed as not sent") << int(mms::MmsSendResult::kNotSent) << true;
        QTest::newRow("stopped before anything was filed")
            << int(mms::MmsSendResult::kStopped) << false;
    }
    void mmsSendHandsOverTheMessageAndClosesOnThePostSendNotification() {
        QFETCH(int, result);
        QFETCH(bool, closes);
        std::vector<mms::ComposedMms> handed;
        m_ports.sendMms = [&](const mms::ComposedMms& m, const std::function<void()>& done) {
            handed.push_back(m);
            const auto r = static_cast<mms::MmsSendResult>(result);
            if (r != mms::MmsSendResult::kStopped) {
                done();
            }
            return r;
        };
        CQVLComposeView compose(m_ports);
        compose.SetMode(CQVLComposeView::Mode::kMms);
        compose.SetTo("+4917011; +4917022");
        compose.Cc()->setText("+4917033");
        compose.Subject()->setText("Holiday");
        compose.SetText("Greetings");
        compose.AddObject("/pics/beach.jpg");
        compose.AddObject("/s/wave.wav");
        compose.setResult(-1);
        QTest::mouseClick(compose.findChild<QPushButton*>("send"), Qt::LeftButton);
        QCOMPARE(handed.size(), 1u);
        QVERIFY2(m_modem.sent.empty(), "no SMS");
        QCOMPARE(handed[0].to, u"+4917011; +4917022");
        QCOMPARE(handed[0].cc, u"+4917033");
        QCOMPARE(handed[0].subject, u"Holiday");
        QCOMPARE(handed[0].text, u"Greetings");
        QCOMPARE(handed[0].objects.size(), 2u);
        QCOMPARE(handed[0].objects[0].path, u"/pics/beach.jpg");
        QCOMPARE(handed[0].objects[0].mediaType, 0x9E);
        QCOMPARE(handed[0].objects[1].mediaType, 0xF0);
        // The screen closes on the notification, not before.
        QCOMPARE(compose.result(), -1);
        QCoreApplication::sendPostedEvents(&compose);
        QCOMPARE(compose.result(), closes ? int(QDialog::Accepted) : -1);
    }

    void saveInFilesTheMessageAsTyped() {
        CQVLComposeView compose(m_ports);
        compose.SetTo("+111; 222");
        compose.SetText("keep for later");
        QVERIFY(compose.SaveIn(sms::kFolderDrafts));
        const auto drafts = StoredIn(sms::kFolderDrafts);
        QCOMPARE(drafts.size(), 1u);
        QCOMPARE(drafts[0].number, u"+111; 222");
        QVERIFY(drafts[0].time.empty());
    }

    void damagedMessageFileIsToldOnceKeptAsideAndUsable() {
        PutMessages({Sms(1, u"+111", u"first", u"01/01/26,00:00:00,GMT+0"),
                     Sms(1, u"+222", u"second", u"01/01/26,00:00:01,GMT+0")});
        std::string bytes;
        {
            std::ifstream in(sms::SmsStorePath(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        bytes.resize(bytes.size() - 5);  // cut inside the second message
        std::ofstream(sms::SmsStorePath(), std::ios::binary | std::ios::trunc) << bytes;

        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(m_boxes.shown.size(), 1u);
        QVERIFY(m_boxes.Showed("The file \"" + QString::fromStdString(sms::SmsStorePath()) +
                               "\" is damaged: only the first 1 entries could be read."));
        view.Refresh();
        QCOMPARE(m_boxes.shown.size(), 1u);  // told once

        CQVLComposeView compose(m_ports);
        compose.SetTo("+333");
        compose.SetText("draft");
        QVERIFY(compose.SaveIn(sms::kFolderDrafts));
        QCOMPARE(StoredMessages().size(), 2u);
        int copies = 0;
        for (const auto& e : std::filesystem::directory_iterator(m_home->Path().toStdString())) {
            if (e.path().filename().string().find("QVLPhoneSMS.dat.corrupt-") == 0) {
                std::ifstream in(e.path(), std::ios::binary);
                QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
                ++copies;
            }
        }
        QCOMPARE(copies, 1);
    }

    void unreadableMessageFileRefusesChanges() {
        QCOMPARE(::mkfifo(sms::SmsStorePath().c_str(), 0600), 0);
        CQVLComposeView compose(m_ports);
        compose.SetTo("+333");
        compose.SetText("draft");
        QVERIFY(!compose.SaveIn(sms::kFolderDrafts));
        QVERIFY(m_boxes.Showed("The file \"" + QString::fromStdString(sms::SmsStorePath()) +
                               "\" cannot be read (not a regular file)."));
        QVERIFY(m_boxes.Showed("The change could not be saved to"));
        QVERIFY(!std::filesystem::is_regular_file(sms::SmsStorePath()));
    }

    void saveInNewFolderAsksForTheName() {
        m_ports.askText = [](const QString&, QString& name) {
            name = "  Trips ";
            return true;
        };
        CQVLComposeView compose(m_ports);
        compose.SetTo("+111");
        compose.SetText("tickets");
        QVERIFY(compose.SaveIn(kNewFolderChoice));
        sms::CRecordStore folders;
        folders.Load(sms::FolderStorePath());
        const auto list = sms::FolderList(folders);
        QCOMPARE(list.back().name, u"Trips");
        QCOMPARE(StoredIn(list.back().key).size(), 1u);
    }

    void newFolderOfBlanksIsRefused() {
        PutMessages({Sms(1, u"+111", u"stay", u"01/01/26,00:00:00,GMT+0")});
        m_ports.askText = [](const QString&, QString& name) {
            name = "   \t ";
            return true;
        };
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        view.SelectRow(0);
        QVERIFY(!view.MoveSelectedTo(kNewFolderChoice));
        QVERIFY(m_boxes.Showed("The folder name must not be empty."));
        QCOMPARE(StoredIn(sms::kFolderInRead).size(), 1u);
        sms::CRecordStore folders;
        folders.Load(sms::FolderStorePath());
        QCOMPARE(folders.Count(sms::RecordType::kFolder), 0);
    }

    void moveToUserFolder() {
        const auto key = sms::AddFolderFile(u"Work");
        PutMessages({Sms(1, u"+111", u"a", u"01/01/26,00:00:00,GMT+0"),
                     Sms(1, u"+222", u"b", u"01/01/26,00:00:01,GMT+0")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        view.SelectRow(1);
        QVERIFY(view.MoveSelectedTo(key));
        QCOMPARE(StoredIn(key).size(), 1u);
        QCOMPARE(StoredIn(key)[0].number, u"+222");
        QCOMPARE(view.Model()->rowCount(), 1);
    }

    void deleteAsksAndSelectsTheNextRow() {
        PutMessages(
            {Sms(1, u"+1", u"a", u"t1"), Sms(1, u"+2", u"b", u"t2"), Sms(1, u"+3", u"c", u"t3")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);

        view.List()->clearSelection();
        QVERIFY(!view.DeleteSelected());
        QVERIFY(m_boxes.Showed("Message could not be deleted."));

        view.SelectRow(1);
        m_boxes.answers = {MsgAnswer::No};
        QVERIFY(!view.DeleteSelected());
        QCOMPARE(StoredMessages().size(), 3u);

        m_boxes.answers = {MsgAnswer::Yes};
        QVERIFY(view.DeleteSelected());
        QCOMPARE(StoredMessages().size(), 2u);
        QCOMPARE(view.SelectedRow(), 1);
        QCOMPARE(view.Model()->RowAt(1)->number, u"+3");
        QVERIFY(m_boxes.Showed("Message successfully deleted."));
    }

    void deleteActsOnTheShownMessageWhenAnotherCopyChangedTheFile() {
        PutMessages({Sms(1, u"+1", u"a", u"t1"), Sms(1, u"+2", u"b", u"t2")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        view.SelectRow(1);  // "+2", record id 1
        // Another copy of the program removes the first message meanwhile: "+2" is now id 0.
        sms::CRecordStore other;
        other.Load(sms::SmsStorePath());
        other.Remove(sms::RecordType::kMessage, 0);
        other.Save(sms::SmsStorePath());
        QVERIFY(view.DeleteSelected());
        QVERIFY(StoredMessages().empty());
    }

    void foldersDialogAddRenameDeleteWithMessages() {
        CQVLFoldersDialog dialog(m_ports);
        QCOMPARE(dialog.List()->count(), 5);
        QVERIFY(!dialog.AddFolder("   "));
        QVERIFY(m_boxes.Showed("The folder name must not be empty."));
        QVERIFY(dialog.AddFolder(" Work "));
        QCOMPARE(dialog.SelectedKey(), 4);
        QVERIFY(dialog.RenameSelected("Office"));
        QCOMPARE(dialog.List()->currentItem()->text(), "Office");
        QVERIFY(!dialog.RenameSelected(" "));

        PutMessages({Sms(4, u"+1", u"filed", u"t1"), Sms(1, u"+2", u"kept", u"t2")});
        dialog.SelectFolder(4);
        m_boxes.answers = {MsgAnswer::No};
        QVERIFY(!dialog.DeleteSelected());
        QCOMPARE(StoredMessages().size(), 2u);
        m_boxes.answers = {MsgAnswer::Yes};
        QVERIFY(dialog.DeleteSelected());
        QVERIFY(m_boxes.Showed("Delete this folder and all the messages in it?"));
        QCOMPARE(StoredMessages().size(), 1u);
        QCOMPARE(StoredMessages()[0].text, u"kept");
        QCOMPARE(dialog.List()->count(), 5);

        // The fixed folders cannot be renamed or deleted.
        dialog.SelectFolder(sms::kFolderInRead);
        QVERIFY(!dialog.RenameSelected("Mine"));
        QVERIFY(!dialog.DeleteSelected());
    }

    void exportFolderAsText() {
        PutMessages({Sms(1, u"+1", u"first", u"t1"), Sms(0, u"+2", u"unread", u"t2")});
        m_modem.phone = {Sms(1, u"+3", u"from phone", u"t3")};
        const QString path = m_home->Path() + "/export.txt";
        m_ports.chooseFile = [&](FileDialogKind kind, const QString& title, const QString&) {
            return kind == FileDialogKind::Save && title == "Open File" ? path : QString();
        };
        CQVLFoldersDialog dialog(m_ports);
        dialog.SelectFolder(sms::kFolderInRead);
        QVERIFY(dialog.ExportSelected());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 "Number:\n+1\nTime:\nt1\nMessage:\nfirst\n\n"
                 "Number:\n+3\nTime:\nt3\nMessage:\nfrom phone\n\n");
        QCOMPARE(m_modem.copies, 1);
    }

    void exportToPhone() {
        PutMessages(
            {Sms(1, u"+1", u"received", u"01/01/26,00:00:00,GMT+0"), Sms(3, u"+2", u"sent by me")});
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderInRead);
        view.SelectRow(0);
        QVERIFY(view.ExportSelectedToPhone());
        view.ShowFolder(sms::kFolderOutSent);
        view.SelectRow(0);
        QVERIFY(view.ExportSelectedToPhone());
        QCOMPARE(m_modem.exported.size(), 2u);
        QCOMPARE(m_modem.exported[0].time, u"01/01/26,00:00:00,GMT+0");
        QVERIFY(m_modem.exported[1].time.empty());
    }

    void mmsCannotBeExportedToThePhone() {
        sms::CRecordStore mms;
        sms::MmsMessageRecord m;
        m.folder = sms::kFolderOutSent;
        m.to = u"+9";
        m.text = u"picture";
        mms.Append(m);
        mms.Save(sms::MmsStorePath());
        CQVLSMSNewView view(m_ports);
        view.ShowFolder(sms::kFolderOutSent);
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(view.Model()->RowAt(0)->kind, MessageKind::kMms);
        view.SelectRow(0);
        QVERIFY(!view.ExportSelectedToPhone());
        QVERIFY(m_boxes.Showed("Cannot export MMS to SIM"));
        QVERIFY(m_modem.exported.empty());
    }

    void templatesAddEditDeleteAndUse() {
        CQVLTemplatesDialog dialog(m_ports);
        m_dialogs.push_back([](QDialog& d) {
            auto& e = dynamic_cast<CQVLTemplateEditDialog&>(d);
            e.Title()->setText("Late");
            e.Text()->setPlainText("I will be late.");
            return static_cast<int>(QDialog::Accepted);
        });
        QVERIFY(dialog.AddTemplate());
        QCOMPARE(dialog.List()->count(), 1);
        QCOMPARE(dialog.List()->item(0)->text(), "Late");

        bool titleLocked = false;
        m_dialogs.push_back([&](QDialog& d) {
            auto& e = dynamic_cast<CQVLTemplateEditDialog&>(d);
            titleLocked = e.Title()->isReadOnly();
            e.Text()->setPlainText("I will be 10 minutes late.");
            return static_cast<int>(QDialog::Accepted);
        });
        QVERIFY(dialog.EditSelected());
        QVERIFY(titleLocked);

        CQVLComposeView compose(m_ports);
        compose.SetText("Sorry. ");
        compose.Text()->moveCursor(QTextCursor::End);
        QVERIFY(compose.UseTemplate(0));
        QCOMPARE(compose.Text()->toPlainText(), "Sorry. I will be 10 minutes late.");
        QVERIFY(!compose.UseTemplate(7));

        m_boxes.answers = {MsgAnswer::No};
        QVERIFY(!dialog.DeleteSelected());
        QCOMPARE(dialog.List()->count(), 1);
        m_boxes.answers = {MsgAnswer::Yes};
        QVERIFY(dialog.DeleteSelected());
        QVERIFY(m_boxes.Showed("Are you sure you want to delete this template?"));
        QCOMPARE(dialog.List()->count(), 0);
    }

    void importTextFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8") << QByteArray(
                                      "Gr\xc3\xbc\xc3\x9f"
                                      "e")
                               << QString("Grüße");
        QTest::newRow("utf-8 with mark") << QByteArray("\xef\xbb\xbfHi") << QString("Hi");
        QTest::newRow("windows-1252") << QByteArray(
                                             "Gr\xfc\xdf"
                                             "e \x80")
                                      << QString("Grüße €");
    }
    void importTextFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = m_home->Path() + "/in.txt";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        CQVLComposeView compose(m_ports);
        QVERIFY(compose.ImportFile(path));
        QCOMPARE(compose.Text()->toPlainText(), text);
        QVERIFY(!compose.ImportFile(m_home->Path() + "/missing.txt"));
    }

    void phoneReadCommandCopiesAndShows() {
        m_modem.phone = {Sms(0, u"+1", u"fresh", u"02/02/26,08:00:00,GMT+1")};
        CQVLSMSNewView view(m_ports);
        view.OpenView();
        QCOMPARE(m_modem.copies, 1);
        QCOMPARE(view.Model()->rowCount(), 1);
        QCOMPARE(StoredIn(sms::kFolderInUnread).size(), 1u);
        QCOMPARE(m_today.size() >= 2, true);
        QCOMPARE(m_today[m_today.size() - 2], 0);
    }

    void settingsPageDefaultsFromAnEmptyRegistry() {
        CQVLSmsSettingsPage page(m_ports);
        QCOMPARE(page.ServiceCentre()->text(), "+491720000000");
        QCOMPARE(page.SendAs()->currentText(), "Text");
        QCOMPARE(page.DeleteSms()->currentText(), "Dont delete");
        QCOMPARE(page.Unit()->currentText(), "Days");
        QCOMPARE(page.Value()->currentText(), "02");
        QVERIFY(!page.StatusReport()->isChecked());
        // "SendUsing" missing, the modem answering +CGSMS: 3: GSM.
        QCOMPARE(page.SendUsing()->currentText(), "GSM");
    }

    void settingsPageBearerFromTheModem_data() {
        QTest::addColumn<int>("bearer");
        QTest::addColumn<int>("index");
        QTest::addColumn<uint>("stored");
        QTest::newRow("0 GPRS") << 0 << 1 << 1u;
        QTest::newRow("1 GSM") << 1 << 0 << 0u;
        QTest::newRow("2 GPRS") << 2 << 1 << 1u;
        QTest::newRow("3 GSM") << 3 << 0 << 0u;
        QTest::newRow("no answer keeps not chosen") << -1 << -1 << 9999u;
    }
    void settingsPageBearerFromTheModem() {
        QFETCH(int, bearer);
        QFETCH(int, index);
        QFETCH(uint, stored);
        m_modem.bearer = bearer;
        CQVLSmsSettingsPage page(m_ports);
        QCOMPARE(page.SendUsing()->currentIndex(), index);
        page.Apply();
        QCOMPARE(
            ReadSettingNumber(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueSendUsing, 0),
            stored);
    }

    void settingsPageShowsAnOctetUnderAnHourAsOneHour() {
        WriteSettingNumber(kRootLocalMachine, keys::kKeySmsSettings, keys::kValueValidityPeriod, 5);
        CQVLSmsSettingsPage page(m_ports);
        QCOMPARE(page.Unit()->currentText(), "Hours");
        QCOMPARE(page.Value()->currentText(), "01");
        page.Apply();
        QCOMPARE(ReadSettingNumber(kRootLocalMachine, keys::kKeySmsSettings,
                                   keys::kValueValidityPeriod, 0),
                 11u);
    }

    void settingsPageTellsWhenTheServiceCentreIsNotTaken() {
        m_modem.refuseCentre = true;
        CQVLSmsSettingsPage page(m_ports);
        page.ServiceCentre()->setText("+49 172;99");
        page.Apply();
        QVERIFY(m_boxes.Showed("The service centre number could not be set."));
        m_boxes.shown.clear();
        page.ServiceCentre()->setText("  ");
        page.Apply();  // an empty field sets nothing and says nothing
        QVERIFY(m_boxes.shown.empty());
    }

    void settingsPageRoundTrip() {
        using namespace qvl::keys;
        WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueValidityPeriod, 100);
        {
            CQVLSmsSettingsPage page(m_ports);
            QCOMPARE(page.Unit()->currentText(), "Hours");
            QCOMPARE(page.Value()->currentText(), "08");
            page.Apply();
        }
        QCOMPARE(ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueValidityPeriod, 0),
                 95u);
        {
            CQVLSmsSettingsPage page(m_ports);
            page.ServiceCentre()->setText("+4917299");
            page.VoiceMail()->setText("3311");
            page.SendAs()->setCurrentIndex(3);
            page.SendUsing()->setCurrentIndex(1);
            page.DeleteSms()->setCurrentIndex(2);
            page.ChangeUnit(0);
            QCOMPARE(page.Value()->count(), 24);
            QCOMPARE(page.Value()->currentText(), "01");
            page.Value()->setCurrentIndex(12);  // 13 hours
            page.StatusReport()->setChecked(true);
            page.Apply();
        }
        QCOMPARE(m_modem.serviceCentre, u"+4917299");
        const auto stored = [](std::u16string_view name) {
            return ReadSettingNumber(kRootLocalMachine, kKeySmsSettings, name, 0);
        };
        QCOMPARE(ReadSettingString(kRootLocalMachine, kKeySmsSettings, kValueVoiceMailNo, u"",
                                   kVoiceMailNoChars),
                 u"3311");
        QCOMPARE(stored(kValueSendAs), 3u);
        QCOMPARE(stored(kValueSendUsing), 1u);
        QCOMPARE(stored(kValueDeleteSms), 2u);
        QCOMPARE(stored(kValueValidityPeriod), 145u);
        QCOMPARE(stored(kValueStatusReport), 1u);
        CQVLSmsSettingsPage again(m_ports);
        QCOMPARE(again.SendAs()->currentText(), "Email");
        QCOMPARE(again.SendUsing()->currentText(), "GPRS");
        QCOMPARE(again.DeleteSms()->currentText(), "Always delete");
        QCOMPARE(again.Value()->currentText(), "13");
        QVERIFY(again.StatusReport()->isChecked());
        again.ChangeUnit(2);
        QCOMPARE(again.Value()->count(), 59);
        QCOMPARE(again.Value()->currentText(), "05");
    }

    void layoutFollowsTheScreenShape() {
        PutMessages({Sms(1, u"+1", u"a", u"t")});
        MessageRow row{MessageKind::kSms, 0, u"+1", u"a", u"t"};
        for (bool landscape : {false, true}) {
            m_ports.landscape = [landscape] { return landscape; };
            CQVLComposeView compose(m_ports);
            auto* box = qobject_cast<QBoxLayout*>(compose.layout());
            QVERIFY(box != nullptr);
            QCOMPARE(box->direction(),
                     landscape ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
            CQVLReadDialog read(m_ports, row);
            QCOMPARE(qobject_cast<QHBoxLayout*>(read.layout()) != nullptr, landscape);
            CQVLFoldersDialog folders(m_ports);
            QCOMPARE(qobject_cast<QBoxLayout*>(folders.layout())->direction(),
                     landscape ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
        }
    }

    void textsFollowTheLanguage() {
        const QByteArray saved = qgetenv("LC_ALL");
        qputenv("LC_ALL", "de_DE.UTF-8");
        CQVLSMSNewView view(m_ports);
        CQVLComposeView compose(m_ports);
        compose.Text()->setPlainText("abc");
        const QString folder = view.Folders()->itemText(0);
        const QString caption = compose.windowTitle();
        const QString counter = compose.Counter()->text();
        qputenv("LC_ALL", saved);
        QCOMPARE(folder, "Eingang ungelesen");
        QCOMPARE(caption, "Neue Nachricht");
        QCOMPARE(counter, "SMS = 1, Belegt = 3, Frei = 157");
    }

    void messageColumnsFitTheWidthWithoutAHorizontalScrollBar() {
        std::vector<sms::SmsRecord> records;
        for (int i = 0; i < 40; ++i) {
            const std::u16string two = QStringLiteral("%1").arg(10 + i).toStdU16String();
            records.push_back(Sms(1, u"+4917012345" + two, u"The meeting moved to Tuesday, 10:00.",
                                  u"05/11/26,17:" + two + u":00,GMT+1"));
        }
        PutMessages(records);
        CQVLSMSNewView view(m_ports);
        for (const QSize size : {QSize(240, 320), QSize(320, 240)}) {
            view.resize(size);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.ShowFolder(sms::kFolderInRead);
            QCOMPARE(view.Model()->rowCount(), 40);
            QCoreApplication::processEvents();
            QTableView* list = view.List();
            const int total = list->columnWidth(CMessageListModel::kColNumber) +
                              list->columnWidth(CMessageListModel::kColMessage) +
                              list->columnWidth(CMessageListModel::kColWhen);
            QVERIFY2(
                total <= list->viewport()->width(),
                qPrintable(QStringLiteral("%1 > %2").arg(total).arg(list->viewport()->width())));
            QVERIFY(!list->horizontalScrollBar()->isVisible());
            // Each column keeps a visible share: the number with its image, the short time,
            // and the message text the widest.
            QVERIFY(list->columnWidth(CMessageListModel::kColNumber) <= size.width() * 2 / 5);
            QVERIFY(list->columnWidth(CMessageListModel::kColWhen) >=
                    list->fontMetrics().horizontalAdvance(QStringLiteral("05/11 17:42")));
            QVERIFY(list->columnWidth(CMessageListModel::kColMessage) >=
                    list->viewport()->width() / 4);
        }
    }

    void shortTimeKeepsDayMonthHourAndMinute() {
        QCOMPARE(ShortTime(u"05/11/26,17:42:00,GMT+1"), QStringLiteral("05/11 17:42"));
        QCOMPARE(ShortTime(u"t1"), QStringLiteral("t1"));
    }

    void germanComposeFitsAPortraitScreen() {
        const QByteArray saved = qgetenv("LC_ALL");
        qputenv("LC_ALL", "de_DE.UTF-8");
        m_ports.landscape = [] { return false; };
        CQVLComposeView compose(m_ports);
        const int minimum = compose.minimumSizeHint().width();
        const int layoutMinimum = compose.layout()->minimumSize().width();
        const QString caption = compose.windowTitle();
        qputenv("LC_ALL", saved);
        QCOMPARE(caption, "Neue Nachricht");
        QVERIFY2(minimum <= 240, qPrintable(QString::number(minimum)));
        QVERIFY2(layoutMinimum <= 240, qPrintable(QString::number(layoutMinimum)));
    }
};

QTEST_MAIN(MessagesTest)
#include "messages_test.moc"

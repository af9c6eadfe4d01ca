// The phonebook in Parlino as a user meets it, against the modem simulator on a pseudo-terminal:
// the SIM book read after the set-up commands of timer 6, the contact button that opens the
// Address Book and calls the chosen number, the command bar's "SIM Book", the Address Book
// button of the compose screen, and a German user adding an entry.
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "tools/modemsim/modem_simulator.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "app/contacts/ui/speeddialdlg.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/ui/addressbookdlg.h"
#include "app/phonebook/ui/addressentrydlg.h"
#include "app/shell/dialercontroller.h"
#include "app/shell/dialerdoc.h"
#include "app/shell/mainframe.h"
#include "app/shell/skinlayout.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/smsnewview.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

using namespace qvl;
using phonebookui::CQVLAddressBookDlg;
using phonebookui::CQVLAddressEntryDlg;

namespace {

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

int IndexOf(const std::vector<std::string>& log, const std::string& line) {
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == line) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

sim::ModemSeed Seed() {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    auto& sm = seed.phonebooks["SM"].entries;
    sm.clear();
    sm[1] = {"+491701234567", 145, "J\xc3\xb6rg M\xc3\xbcller"};
    sm[2] = {"0301112233", 129, "Bert Brown"};
    return seed;
}

struct Phone {
    explicit Phone(const sim::ModemSeed& seed) : modem(seed) {}
    sim::ModemSimulator modem;
    testing::FakeModemDirectory directory;
    testing::FakeMessageBox boxes;
    testing::FakeWindowMessenger messenger;
    DialerServices services;
    std::unique_ptr<CQVLDialerDoc> doc;
    std::unique_ptr<CMainFrame> frame;
    // Acts on the Address Book (and then its entry dialog) while it is open; returns the result.
    std::function<int(QDialog&)> onAddress;
    std::function<int(QDialog&)> onMessage;
    // Acts on the speed-dial dialog and its entry dialog while open (null: rejected).
    std::function<int(QDialog&)> onContacts;
    bool dialerActiveWhileOpen = true;

    DialerController& C() { return *doc->Controller(); }
    std::vector<std::string> Log() { return modem.CommandLog(); }
};

// The Address Book: waits for its rows, selects the row named name, presses OK.
int Choose(QDialog& d, const QString& name) {
    auto& dlg = dynamic_cast<CQVLAddressBookDlg&>(d);
    dlg.show();
    if (!QTest::qWaitFor([&] { return dlg.List()->topLevelItemCount() > 0; }, 20000)) {
        return QDialog::Rejected;
    }
    const auto items = dlg.List()->findItems(name, Qt::MatchExactly, 0);
    if (items.isEmpty()) {
        return QDialog::Rejected;
    }
    dlg.List()->setCurrentItem(items.front());
    dlg.accept();
    return dlg.result();
}

// Once a menu pops up, taps its entry text, as a user would.
void ChooseFromPopup(const QString& text) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, text] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        for (QAction* a : menu->actions()) {
            if (a->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return;
            }
        }
        menu->close();
    });
    timer->start();
}

}  // namespace

class PhonebookFlowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init() { SetLanguage(1); }
    // The suite's tests share one device root: none is left in another language.
    void cleanup() { SetLanguage(1); }
    void timerSixReadsTheSimAfterTheSetUp();
    void contactButtonCallsTheChosenNumber();
    void simBookOfTheCommandBar();
    void composeToAndCcButtonsAppendTheChosenNumber();
    void aGermanUserAddsAnEntry();
    void incomingCallTakesTheSimNameBeforeTheContacts();
    void contactButtonCallsAContact();
    void insertContactIntoAMessage();
    void speedDialModify();

  private:
    std::unique_ptr<Phone> Started(bool runTimerSix = false);
    QTemporaryDir m_home;
};

void PhonebookFlowTest::initTestCase() {
    qputenv("QVL_HOME", m_home.path().toUtf8());
    qputenv("QVL_LOCK_DIR", "");
    // The contacts folder: one contact shares Bert Brown's SIM number under another name.
    QVERIFY(QDir().mkpath(m_home.path() + QStringLiteral("/Contacts")));
    QFile card(m_home.path() + QStringLiteral("/Contacts/0c1d.vcf"));
    QVERIFY(card.open(QIODevice::WriteOnly));
    card.write(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:0c1d\r\nN:Card;Bert;;;\r\n"
        "TEL;TYPE=HOME:030 111 22 33\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:0c1e\r\nN:Card;Clara;;;\r\n"
        "TEL;TYPE=CELL:+49 40 123 456\r\nEND:VCARD\r\n");
}

std::unique_ptr<Phone> PhonebookFlowTest::Started(bool runTimerSix) {
    auto phone = std::make_unique<Phone>(Seed());
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
    Phone* p = phone.get();
    phone->services.runAddressDialog = [p](QDialog& d) {
        if (qobject_cast<CQVLAddressBookDlg*>(&d) != nullptr) {
            p->dialerActiveWhileOpen = p->doc->DialerActive();
        }
        return p->onAddress ? p->onAddress(d) : int(QDialog::Rejected);
    };
    phone->services.runMessageDialog = [p](QDialog& d) {
        return p->onMessage ? p->onMessage(d) : int(QDialog::Rejected);
    };
    phone->services.runContactsDialog = [p](QDialog& d) {
        return p->onContacts ? p->onContacts(d) : int(QDialog::Rejected);
    };
    // The chooser of the first start: the one modem, taken.
    struct Take final : IModemChooser {
        DialogResult ChooseModem(const std::vector<ModemEntry>& modems,
                                 ModemEntry& chosen) override {
            chosen = modems.front();
            return DialogResult::Ok;
        }
    };
    static Take take;
    phone->services.chooser = &take;
    phone->doc = std::make_unique<CQVLDialerDoc>(&phone->services);
    phone->frame = std::make_unique<CMainFrame>(phone->doc.get());
    phone->frame->resize(240, 340);
    phone->frame->show();
    phone->doc->OnFirstDisplay();
    if (!runTimerSix) {
        phone->C().Timer(6).stop();
        phone->C().Engine().InitModem();
    }
    return phone;
}

void PhonebookFlowTest::timerSixReadsTheSimAfterTheSetUp() {
    auto phone = Started(true);
    QVERIFY(phone);
    CPhonebook* book = phone->doc->Phonebook();
    QVERIFY(book != nullptr);
    QVERIFY(!book->CacheValid(PhonebookMemory::Sim));
    // Timer 6 after 1 s, the read after a further second.
    QTRY_VERIFY_WITH_TIMEOUT(book->CacheValid(PhonebookMemory::Sim), 30000);
    QCOMPARE(book->UsedCount(PhonebookMemory::Sim), 2);
    const auto log = phone->Log();
    const int setUpEnd = IndexOf(log, "AT+CCWA=1");
    const int select = IndexOf(log, "AT+CPBS=\"SM\"");
    QVERIFY(setUpEnd >= 0);
    QVERIFY(select > setUpEnd);
    QVERIFY(IndexOf(log, "AT+CPBR=2") > select);
    QCOMPARE(IndexOf(log, "AT+CPBR=3"), -1);
    // The first opening of the Address Book finds the book read.
    const std::size_t before = phone->Log().size();
    phone->onAddress = [](QDialog& d) { return Choose(d, QStringLiteral("Bert Brown")); };
    const auto chosen = phone->C().OpenAddressBook(CQVLAddressBookDlg::Mode::Dial);
    QVERIFY(chosen);
    QCOMPARE(chosen->number, QStringLiteral("0301112233"));
    for (std::size_t i = before; i < phone->Log().size(); ++i) {
        QVERIFY(phone->Log()[i].rfind("AT+CPBR", 0) != 0);
    }
}

void PhonebookFlowTest::contactButtonCallsTheChosenNumber() {
    auto phone = Started();
    QVERIFY(phone);
    phone->onAddress = [](QDialog& d) { return Choose(d, QStringLiteral("Bert Brown")); };
    RKButton* contact = phone->frame->DialerView()->Button(kContactButton);
    QTest::mouseClick(contact, Qt::LeftButton, {}, contact->rect().center());
    QVERIFY(phone->modem.WaitForCommand("ATD0301112233", 10000));
    QCOMPARE(phone->frame->DialerView()->Text(kNumberField), QStringLiteral("0301112233"));
    // The dialer counted as off screen while the Address Book was open, and is back after it.
    QVERIFY(!phone->dialerActiveWhileOpen);
    QVERIFY(phone->doc->DialerActive());

    // Canceled: nothing is dialled.
    phone->C().Calls().HangUpButton();
    const std::size_t before = phone->Log().size();
    phone->onAddress = [](QDialog&) { return int(QDialog::Rejected); };
    QTest::mouseClick(contact, Qt::LeftButton, {}, contact->rect().center());
    for (std::size_t i = before; i < phone->Log().size(); ++i) {
        QVERIFY(phone->Log()[i].rfind("ATD", 0) != 0);
    }
}

void PhonebookFlowTest::simBookOfTheCommandBar() {
    auto phone = Started();
    QVERIFY(phone);
    QAction* simBook = phone->frame->SimBookAction();
    QVERIFY(simBook != nullptr);
    QCOMPARE(simBook->text(), QStringLiteral("SIM Book"));
    QVERIFY(simBook->isEnabled());
    phone->frame->ShowPane(1);
    phone->onAddress = [](QDialog& d) {
        return Choose(d, QString::fromStdU16String(u"J\u00f6rg M\u00fcller"));
    };
    simBook->trigger();
    QVERIFY(phone->modem.WaitForCommand("ATD+491701234567", 10000));
    QCOMPARE(phone->frame->ActivePane(), 0);
}

void PhonebookFlowTest::composeToAndCcButtonsAppendTheChosenNumber() {
    auto phone = Started();
    QVERIFY(phone);
    QStringList to;
    QStringList cc;
    bool ccShownForSms = true;
    phone->onAddress = [](QDialog& d) { return Choose(d, QStringLiteral("Bert Brown")); };
    phone->onMessage = [&](QDialog& d) {
        auto* compose = qobject_cast<smsui::CQVLComposeView*>(&d);
        if (compose == nullptr) {
            return int(QDialog::Rejected);
        }
        if (!compose->ToAddressBook()->isVisibleTo(compose)) {
            return int(QDialog::Rejected);
        }
        compose->ToAddressBook()->click();
        to << compose->To()->text();
        compose->ToAddressBook()->click();
        to << compose->To()->text();
        // Cc belongs to the MMS fields: its button shows with them.
        ccShownForSms = compose->CcAddressBook()->isVisibleTo(compose);
        compose->SetMode(smsui::CQVLComposeView::Mode::kMms);
        if (compose->CcAddressBook()->isVisibleTo(compose)) {
            compose->CcAddressBook()->click();
            cc << compose->Cc()->text();
            compose->CcAddressBook()->click();
            cc << compose->Cc()->text();
        }
        to << compose->To()->text();
        return int(QDialog::Rejected);
    };
    phone->C().MessageView()->NewMessage(QStringLiteral("+4930555"));
    QCOMPARE(to, (QStringList{"+4930555;0301112233", "+4930555;0301112233;0301112233",
                              "+4930555;0301112233;0301112233"}));
    QVERIFY(!ccShownForSms);
    QCOMPARE(cc, (QStringList{"0301112233", "0301112233;0301112233"}));
    QCOMPARE(smsui::AppendRecipient(QString(), QStringLiteral("0301")), QStringLiteral("0301"));
    QCOMPARE(smsui::AppendRecipient(QStringLiteral("  "), QStringLiteral("0301")),
             QStringLiteral("0301"));
}

void PhonebookFlowTest::aGermanUserAddsAnEntry() {
    SetLanguage(2);
    auto phone = Started();
    QVERIFY(phone);
    QCOMPARE(phone->frame->SimBookAction()->text(), QStringLiteral("SIM-Buch"));
    QString title;
    QString source;
    phone->onAddress = [&](QDialog& d) {
        if (auto* entry = qobject_cast<CQVLAddressEntryDlg*>(&d)) {
            entry->NameField()->setText(QString::fromStdU16String(u"Gr\u00e4fin \u00d6zdemir"));
            entry->NumberField()->setText(QStringLiteral("0171 2345 678"));
            entry->accept();
            return entry->result();
        }
        auto& dlg = dynamic_cast<CQVLAddressBookDlg&>(d);
        title = dlg.windowTitle();
        dlg.ShowSource(phonebookui::AddressSource::SimBook);
        source = dlg.Sources()->currentText();
        dlg.Insert();
        return int(QDialog::Rejected);
    };
    phone->C().OpenAddressBook(CQVLAddressBookDlg::Mode::Dial);
    QCOMPARE(title, QStringLiteral("Adressbuch"));
    QCOMPARE(source, QStringLiteral("SIM-Buch"));
    const auto sm = phone->modem.State().phonebooks["SM"].entries;
    QVERIFY(sm.contains(3));
    QCOMPARE(QString::fromStdString(sm.at(3).name),
             QString::fromStdU16String(u"Gr\u00e4fin \u00d6zdemir"));
    QCOMPARE(QString::fromStdString(sm.at(3).number), QStringLiteral("01712345678"));
    QVERIFY(phone->boxes.shown.empty());
    SetLanguage(1);
}

void PhonebookFlowTest::incomingCallTakesTheSimNameBeforeTheContacts() {
    auto phone = Started();
    QVERIFY(phone);
    phone->C().StartupSimRead();
    QVERIFY(phone->doc->Phonebook()->CacheValid(PhonebookMemory::Sim));
    const std::size_t before = phone->Log().size();
    phone->modem.InjectIncomingCall("0301112233");
    for (int i = 0; i < 12 && !phone->C().Calls().Ringing(); ++i) {
        phone->C().PollStep();
    }
    QVERIFY(phone->C().Calls().Ringing());
    // Bert Card has the number too; the SIM book's name comes first.
    QCOMPARE(phone->frame->DialerView()->Text(kNameLine), QStringLiteral("->Bert Brown"));
    // From the cache: no phonebook read while the call rang.
    for (std::size_t i = before; i < phone->Log().size(); ++i) {
        QVERIFY(phone->Log()[i].rfind("AT+CPBR", 0) != 0);
    }
    phone->C().Calls().HangUpButton();
}

void PhonebookFlowTest::contactButtonCallsAContact() {
    auto phone = Started();
    QVERIFY(phone);
    phone->onAddress = [&](QDialog& d) {
        auto& dlg = dynamic_cast<CQVLAddressBookDlg&>(d);
        auto* model = qobject_cast<QStandardItemModel*>(dlg.Sources()->model());
        if (!model->item(static_cast<int>(phonebookui::AddressSource::Contacts))->isEnabled()) {
            return int(QDialog::Rejected);
        }
        dlg.ShowSource(phonebookui::AddressSource::Contacts);
        return Choose(d, QStringLiteral("Clara Card <Mobile>"));
    };
    RKButton* contact = phone->frame->DialerView()->Button(kContactButton);
    QTest::mouseClick(contact, Qt::LeftButton, {}, contact->rect().center());
    // The number without its blanks, from the dialer.
    QVERIFY(phone->modem.WaitForCommand("ATD+4940123456", 10000));
}

void PhonebookFlowTest::insertContactIntoAMessage() {
    auto phone = Started();
    QVERIFY(phone);
    // The Address Book picks without showing itself, so that no window closes under the
    // menu that follows.
    phone->onAddress = [](QDialog& d) {
        auto& dlg = dynamic_cast<CQVLAddressBookDlg&>(d);
        dlg.ShowSource(phonebookui::AddressSource::Contacts);
        const auto items =
            dlg.List()->findItems(QStringLiteral("Bert Card <Home>"), Qt::MatchExactly, 0);
        if (items.isEmpty()) {
            return int(QDialog::Rejected);
        }
        dlg.List()->setCurrentItem(items.front());
        dlg.accept();
        return dlg.result();
    };
    QStringList texts;
    phone->onMessage = [&](QDialog& d) {
        auto* compose = qobject_cast<smsui::CQVLComposeView*>(&d);
        if (compose == nullptr || compose->InsertContactButton() == nullptr) {
            return int(QDialog::Rejected);
        }
        texts << compose->InsertContactButton()->text();
        // The two forms are offered in a menu once a contact was picked: take each once.
        for (const QString& form : {QStringLiteral("As plain text"), QStringLiteral("As vCard")}) {
            compose->SetText(QString());
            ChooseFromPopup(form);
            compose->InsertContactButton()->click();
            texts << compose->Text()->toPlainText();
        }
        return int(QDialog::Rejected);
    };
    phone->C().MessageView()->NewMessage(QString());
    QCOMPARE(texts, (QStringList{QStringLiteral("Insert contact.."),
                                 QStringLiteral("Name: Bert Card <Home>\nNumber: 0301112233"),
                                 QStringLiteral("BEGIN:VCARD\nVERSION:2.1\nN:Bert Card <Home>;;;;;"
                                                "\nTEL;HOME:0301112233\nEND:VCARD")}));
}

void PhonebookFlowTest::speedDialModify() {
    auto phone = Started();
    QVERIFY(phone);
    bool opened = false;
    phone->onContacts = [&](QDialog& d) {
        if (auto* entry = qobject_cast<CQVLAddressEntryDlg*>(&d)) {
            entry->NameField()->setText(QStringLiteral("Home"));
            entry->NumberField()->setText(QStringLiteral("030 555 66"));
            entry->accept();
            return entry->result();
        }
        auto* dialog = qobject_cast<contactsui::CQVLSpeedDialDlg*>(&d);
        if (dialog == nullptr) {
            return int(QDialog::Rejected);
        }
        opened = true;
        ChooseFromPopup(QStringLiteral("Modify"));
        dialog->OpenSlotMenu(1);
        if (dialog->SpeedButton(1)->text() != QStringLiteral("Home")) {
            return int(QDialog::Rejected);
        }
        dialog->ChooseButton(1);
        return dialog->result();
    };
    phone->frame->RunCommand(kCmdSpeedDial);
    QVERIFY(opened);
    QVERIFY(phone->modem.WaitForCommand("ATD03055566", 10000));
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SpeedDial");
    QCOMPARE(key.ReadString(u"Category0Button1Name").value_or(u""), std::u16string(u"Home"));
    QCOMPARE(key.ReadString(u"Category0Button1Number").value_or(u""), std::u16string(u"03055566"));
}

QTEST_MAIN(PhonebookFlowTest)
#include "phonebook_flow_test.moc"

// The Address Book as a user meets it, over the phone engine against the modem simulator on a
// pseudo-terminal: the sources, the search, the hand-back of the chosen number, Insert, Edit
// and Delete through the entry dialog, refused input, a handset that stops answering, the CSV
// export, and the screenshots of both layouts in English and German (written into
// screenshots/ of the build folder).
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "tools/modemsim/modem_simulator.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/ui/addressbookdlg.h"
#include "app/phonebook/ui/addressentrydlg.h"
#include "app/phonebook/ui/phonebookui.h"
#include "base/text.h"
#include "common/controls/qtuiports.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

using namespace qvl;
using namespace qvl::phonebookui;

namespace {

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

// Records every message box; questions are answered from answer.
class Boxes final : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons buttons,
                          MsgIcon) override {
        shown << QString::fromStdU16String(std::u16string(text));
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : answer;
    }
    QStringList shown;
    MsgAnswer answer = MsgAnswer::Yes;
};

const char16_t* const kJoerg = u"J\u00f6rg M\u00fcller";

sim::ModemSeed DemoSeed() {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    auto& sm = seed.phonebooks["SM"].entries;
    sm.clear();
    sm[1] = {"+491701234567", 145, "J\xc3\xb6rg M\xc3\xbcller"};
    sm[2] = {"+49 (30) 123-45", 145, "Anna Schmidt"};
    sm[4] = {"0301112233", 129, "Bert Brown"};
    sm[7] = {"+4940998877", 145, "Carla Conti"};
    seed.phonebooks["ME"].entries[3] = {"+33123456789", 145, "Zo\xc3\xab Martin"};
    seed.phonebooks["DC"].entries[1] = {"+4930555", 145, "Dialled One"};
    seed.phonebooks["RC"].entries[1] = {"+4930666", 145, "Received One"};
    seed.phonebooks["MC"].entries[1] = {"+4930777", 145, ""};
    return seed;
}

// A phone over the simulator: engine with its session started and set up, and the phonebook.
struct Phone {
    explicit Phone(const sim::ModemSeed& seed) : modem(seed) {}
    bool Start() {
        const std::string path = modem.Start();
        if (path.empty()) {
            return false;
        }
        const ModemEntry entry{u"Simulator", u"QVL GSM simulator", Utf8ToWide(path)};
        directory.entries = {entry};
        chooser.choice = entry;
        EnginePorts ports;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.modems = &directory;
        ports.power = &power;
        ports.pump = &pump;
        ports.messages = &boxes;
        engine = std::make_unique<CPhoneEngine>(ports);
        if (engine->StartSession(AutoPin::AskUser) != 1 || engine->InitModem() != 1) {
            return false;
        }
        book = std::make_unique<CPhonebook>(*engine);
        return true;
    }
    AddressBookPorts Ports() {
        AddressBookPorts p;
        p.phonebook = book.get();
        p.messages = &boxes;
        p.runDialog = [this](QDialog& d) {
            if (onDialog) {
                onDialog(d);
            }
            return d.result();
        };
        p.chooseSaveFile = [this](const QString&, const QString&) { return savePath; };
        return p;
    }
    int CommandsStarting(const std::string& prefix) {
        int n = 0;
        for (const auto& line : modem.CommandLog()) {
            n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    sim::ModemSimulator modem;
    testing::FakePinDialog pin;
    testing::FakeModemChooser chooser;
    testing::FakeModemDirectory directory;
    testing::FakePowerSupply power;
    QtMessagePump pump;
    Boxes boxes;
    std::unique_ptr<CPhoneEngine> engine;
    std::unique_ptr<CPhonebook> book;
    // Acts on the entry dialog while it is "open" (done() or nothing: canceled).
    std::function<void(QDialog&)> onDialog;
    QString savePath;
};

QStringList Names(const CQVLAddressBookDlg& dlg) {
    QStringList names;
    for (const auto& row : dlg.ShownRows()) {
        names << row.name;
    }
    return names;
}

void Select(CQVLAddressBookDlg& dlg, const QString& name) {
    const auto items = dlg.List()->findItems(name, Qt::MatchExactly, 0);
    QVERIFY(!items.isEmpty());
    dlg.List()->setCurrentItem(items.front());
}

// Fills the entry dialog and presses OK (accept() checks the input).
std::function<void(QDialog&)> Enter(const QString& name, const QString& number) {
    return [name, number](QDialog& d) {
        auto& entry = dynamic_cast<CQVLAddressEntryDlg&>(d);
        entry.NameField()->setText(name);
        entry.NumberField()->setText(number);
        entry.accept();
    };
}

}  // namespace

class AddressBookTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init() { SetLanguage(1); }
    // The suite's tests share one device root: none is left in another language.
    void cleanup() { SetLanguage(1); }
    void opensOnTheSimBookAndHandsBackTheCleanedNumber();
    void search_data();
    void search();
    void everySourceShowsItsMemory();
    void insertEditDeleteReachTheSim();
    void insertIntoAFullSimSendsNothing();
    void entryDialogRefusesWhatTheModemMayNotGet_data();
    void entryDialogRefusesWhatTheModemMayNotGet();
    void aNameTheSimCannotKeepWholeIsShownBeforeItIsStored();
    void aFailedWriteLeavesTheListAsItWas();
    void aHandsetThatStopsAnsweringShowsWhatWasRead();
    void cancelOnTheBarWindowStopsTheRead();
    void selectorIsDisabledWhileReading();
    void contextMenus();
    void exportWritesTheShownRows();
    void screenshots_data();
    void screenshots();

  private:
    std::unique_ptr<Phone> Started(const sim::ModemSeed& seed = DemoSeed());
    QTemporaryDir m_home;
};

void AddressBookTest::initTestCase() {
    qputenv("QVL_HOME", m_home.path().toUtf8());
    qputenv("QVL_LOCK_DIR", "");
}

std::unique_ptr<Phone> AddressBookTest::Started(const sim::ModemSeed& seed) {
    auto phone = std::make_unique<Phone>(seed);
    if (!phone->Start()) {
        return nullptr;
    }
    return phone;
}

void AddressBookTest::opensOnTheSimBookAndHandsBackTheCleanedNumber() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.show();
    QTRY_COMPARE(dlg.List()->topLevelItemCount(), 4);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Address Book"));
    QCOMPARE(dlg.Sources()->currentText(), QStringLiteral("SIM Book"));
    QCOMPARE(dlg.List()->headerItem()->text(0), QStringLiteral("Name"));
    QCOMPARE(dlg.List()->headerItem()->text(1), QStringLiteral("Number"));
    QCOMPARE(Names(dlg), (QStringList{QString::fromStdU16String(kJoerg), "Anna Schmidt",
                                      "Bert Brown", "Carla Conti"}));
    // Name and Number take half the list each.
    QVERIFY(qAbs(dlg.List()->columnWidth(0) - dlg.List()->viewport()->width() / 2) <= 1);
    Select(dlg, QStringLiteral("Anna Schmidt"));
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.ChosenName(), QStringLiteral("Anna Schmidt"));
    QCOMPARE(dlg.ChosenNumber(), QStringLiteral("+4930123-45"));

    // No row: both empty.
    CQVLAddressBookDlg again(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    again.ShowSource(AddressSource::SimBook);
    again.List()->clearSelection();
    again.accept();
    QVERIFY(again.ChosenName().isEmpty() && again.ChosenNumber().isEmpty());
    // The second opening came from the cache.
    QCOMPARE(phone->CommandsStarting("AT+CPBR=1"), 1);
}

void AddressBookTest::search_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");
    const QString joerg = QString::fromStdU16String(kJoerg);
    QTest::newRow("empty shows all")
        << QString() << QStringList{joerg, "Anna Schmidt", "Bert Brown", "Carla Conti"};
    QTest::newRow("name prefix, any case") << "an" << QStringList{"Anna Schmidt"};
    QTest::newRow("umlaut upper-cased") << QStringLiteral("J\u00d6") << QStringList{joerg};
    QTest::newRow("number prefix") << "+49" << QStringList{joerg, "Anna Schmidt", "Carla Conti"};
    QTest::newRow("national number") << "030" << QStringList{"Bert Brown"};
    QTest::newRow("inside the name is no match") << "schmidt" << QStringList{};
    QTest::newRow("nothing") << "xyz" << QStringList{};
}

void AddressBookTest::search() {
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Message, false);
    dlg.ShowSource(AddressSource::SimBook);
    dlg.SearchField()->setText(text);
    QCOMPARE(Names(dlg), shown);
    // The SOS numbers are not filtered.
    dlg.ShowSource(AddressSource::SosCalls);
    QCOMPARE(dlg.ShownRows().size(), std::size_t(2));
}

void AddressBookTest::everySourceShowsItsMemory() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    const struct {
        AddressSource source;
        QStringList numbers;
    } rows[] = {
        {AddressSource::PhoneBook, {"+33123456789"}}, {AddressSource::DialledCalls, {"+4930555"}},
        {AddressSource::ReceivedCalls, {"+4930666"}}, {AddressSource::MissedCalls, {"+4930777"}},
        {AddressSource::SosCalls, {"112", "911"}},
    };
    for (const auto& row : rows) {
        dlg.ShowSource(row.source);
        QStringList numbers;
        for (const auto& r : dlg.ShownRows()) {
            numbers << r.number;
        }
        QCOMPARE(numbers, row.numbers);
        QCOMPARE(dlg.Sources()->currentIndex(), int(row.source));
    }
    QVERIFY(phone->boxes.shown.isEmpty());
    // Contacts come with the contacts part: the source cannot be chosen yet.
    auto* model = qobject_cast<QStandardItemModel*>(dlg.Sources()->model());
    QVERIFY(model != nullptr);
    QVERIFY(!model->item(int(AddressSource::Contacts))->isEnabled());
    QCOMPARE(dlg.Sources()->count(), 7);
    QCOMPARE(dlg.Sources()->itemText(6), QStringLiteral("SOS Calls"));
}

void AddressBookTest::insertEditDeleteReachTheSim() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);

    // Insert: the lowest free location, 3.
    phone->onDialog = Enter(QStringLiteral("Dora D\u00fcrr"), QStringLiteral("0170 555 (66)"));
    dlg.Insert();
    auto sm = phone->modem.State().phonebooks["SM"].entries;
    QVERIFY(sm.contains(3));
    QCOMPARE(QString::fromStdString(sm.at(3).name), QStringLiteral("Dora D\u00fcrr"));
    QCOMPARE(QString::fromStdString(sm.at(3).number), QStringLiteral("017055566"));
    QVERIFY(Names(dlg).contains(QStringLiteral("Dora D\u00fcrr")));
    QCOMPARE(dlg.List()->currentItem()->text(0), QStringLiteral("Dora D\u00fcrr"));

    // Edit Bert.
    Select(dlg, QStringLiteral("Bert Brown"));
    phone->onDialog = [](QDialog& d) {
        auto& entry = dynamic_cast<CQVLAddressEntryDlg&>(d);
        // Prefilled with the row; the location stays hidden.
        QCOMPARE(entry.NameField()->text(), QStringLiteral("Bert Brown"));
        QCOMPARE(entry.Position(), 4);
        QVERIFY(!entry.LocationBox()->isVisible());
        entry.NameField()->setText(QStringLiteral("Bert Braun"));
        entry.accept();
    };
    dlg.Edit();
    sm = phone->modem.State().phonebooks["SM"].entries;
    QCOMPARE(QString::fromStdString(sm.at(4).name), QStringLiteral("Bert Braun"));
    QVERIFY(Names(dlg).contains(QStringLiteral("Bert Braun")));

    // Delete Carla: asked first; No keeps her.
    Select(dlg, QStringLiteral("Carla Conti"));
    phone->boxes.answer = MsgAnswer::No;
    dlg.Delete();
    QVERIFY(phone->modem.State().phonebooks["SM"].entries.contains(7));
    phone->boxes.answer = MsgAnswer::Yes;
    dlg.Delete();
    QCOMPARE(phone->boxes.shown.back(), Local(kMsgAskDelete));
    QVERIFY(!phone->modem.State().phonebooks["SM"].entries.contains(7));
    QVERIFY(!Names(dlg).contains(QStringLiteral("Carla Conti")));

    // Edit and Delete without a row.
    dlg.List()->clearSelection();
    phone->boxes.shown.clear();
    dlg.Edit();
    dlg.Delete();
    QCOMPARE(phone->boxes.shown, (QStringList{Local(kMsgNoSelection), Local(kMsgNoSelection)}));

    // A new opening reads the SIM as it is now.
    dlg.ShowSource(AddressSource::SimBook, true);
    QCOMPARE(Names(dlg), (QStringList{QString::fromStdU16String(kJoerg), "Anna Schmidt",
                                      QStringLiteral("Dora D\u00fcrr"), "Bert Braun"}));
}

void AddressBookTest::insertIntoAFullSimSendsNothing() {
    sim::ModemSeed seed = DemoSeed();
    auto& sm = seed.phonebooks["SM"];
    sm.capacity = 5;
    sm.entries.erase(7);
    sm.entries[3] = {"0303", 129, "C"};
    sm.entries[5] = {"0305", 129, "E"};
    auto phone = Started(seed);
    QVERIFY(phone);
    SetLanguage(2);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    QCOMPARE(dlg.List()->topLevelItemCount(), 5);
    bool opened = false;
    phone->onDialog = [&](QDialog&) { opened = true; };
    dlg.Insert();
    QVERIFY(!opened);
    QCOMPARE(phone->boxes.shown, QStringList{Local(kMsgSimFull)});
    QCOMPARE(phone->boxes.shown.front(),
             QStringLiteral("Kein freier Speicherplatz mehr auf der SIM-Karte"));
    QCOMPARE(phone->CommandsStarting("AT+CPBW"), 0);
}

void AddressBookTest::entryDialogRefusesWhatTheModemMayNotGet_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("message");
    QTest::newRow("empty number") << "Anna"
                                  << "" << kMsgEnterNumber;
    QTest::newRow("letters") << "Anna"
                             << "0301abc" << kMsgNumberRefused;
    QTest::newRow("a command after the number") << "Anna"
                                                << "0301;ATD110" << kMsgNumberRefused;
    QTest::newRow("plus inside") << "Anna"
                                 << "030+1" << kMsgNumberRefused;
    QTest::newRow("quote in the name") << "An\"na"
                                       << "0301" << kMsgNameRefused;
    QTest::newRow("backslash in the name") << "An\\na"
                                           << "0301" << kMsgNameRefused;
}

void AddressBookTest::entryDialogRefusesWhatTheModemMayNotGet() {
    QFETCH(QString, name);
    QFETCH(QString, number);
    QFETCH(int, message);
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    bool stayedOpen = false;
    phone->onDialog = [&](QDialog& d) {
        Enter(name, number)(d);
        stayedOpen = d.result() != QDialog::Accepted;
    };
    dlg.Insert();
    QVERIFY(stayedOpen);
    QCOMPARE(phone->boxes.shown, QStringList{Local(message)});
    QCOMPARE(phone->CommandsStarting("AT+CPBW"), 0);
}

// The SIM counts a name outside the GSM alphabet at two octets a character: the field takes
// as many characters as the book's name length, but the SIM keeps fewer. The user is shown the
// name the SIM will keep before anything is written, and the stored name is the one shown.
void AddressBookTest::aNameTheSimCannotKeepWholeIsShownBeforeItIsStored() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    const QString typed =
        QString::fromStdU16String(u"Zo\u00eb Bront\u00eb");  // e-diaeresis is not GSM
    QString shown;
    bool firstOkStayed = false;
    int writesBeforeSecondOk = -1;
    phone->onDialog = [&](QDialog& d) {
        auto& entry = dynamic_cast<CQVLAddressEntryDlg&>(d);
        Enter(typed, QStringLiteral("0301234"))(d);
        firstOkStayed = d.result() != QDialog::Accepted;
        shown = entry.NameField()->text();
        writesBeforeSecondOk = phone->CommandsStarting("AT+CPBW");
        entry.accept();
    };
    dlg.Insert();
    QVERIFY(firstOkStayed);
    QCOMPARE(writesBeforeSecondOk, 0);
    QCOMPARE(phone->boxes.shown, QStringList{Local(kMsgNameShortened)});
    QVERIFY(shown.size() < typed.size());
    QVERIFY(typed.startsWith(shown));
    QVERIFY(Names(dlg).contains(shown));
    bool stored = false;
    auto state = phone->modem.State();  // a copy of the simulator's state
    for (const auto& [index, record] : state.phonebooks["SM"].entries) {
        stored = stored || QString::fromStdString(record.name) == shown;
    }
    QVERIFY(stored);
}

void AddressBookTest::aFailedWriteLeavesTheListAsItWas() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    const QStringList before = Names(dlg);
    // A number longer than the SIM's records: the handset answers with an error.
    phone->onDialog = Enter(QStringLiteral("Long"), QString(40, QChar(u'1')));
    dlg.Insert();
    QCOMPARE(phone->boxes.shown, QStringList{Local(kMsgFailed)});
    QCOMPARE(Names(dlg), before);
    QVERIFY(!phone->modem.State().phonebooks["SM"].entries.contains(3));
}

void AddressBookTest::aHandsetThatStopsAnsweringShowsWhatWasRead() {
    auto phone = Started();
    QVERIFY(phone);
    phone->book->SetLocationTimeouts(300, 200);
    // Locations 4 and 5 bring back the echo and nothing more.
    phone->modem.SetCannedAnswer("AT+CPBR=4", "", 1000);
    phone->modem.SetCannedAnswer("AT+CPBR=5", "", 1000);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    QCOMPARE(Names(dlg), (QStringList{QString::fromStdU16String(kJoerg), "Anna Schmidt"}));
    QCOMPARE(phone->boxes.shown, QStringList{Local(kMsgReadCutShort)});
    QCOMPARE(phone->CommandsStarting("AT+CPBR=6"), 0);
    QVERIFY(dlg.Sources()->isEnabled());
    // Insert reads again first and offers only a location that was read and found empty (3),
    // never the unanswered 4, which holds Bert.
    int offered = -1;
    phone->onDialog = [&](QDialog& d) {
        offered = dynamic_cast<CQVLAddressEntryDlg&>(d).Position();
        Enter(QStringLiteral("New"), QStringLiteral("0309"))(d);
    };
    dlg.Insert();
    QCOMPARE(offered, 3);
    const auto sm = phone->modem.State().phonebooks["SM"].entries;
    QCOMPARE(QString::fromStdString(sm.at(3).name), QStringLiteral("New"));
    QCOMPARE(QString::fromStdString(sm.at(4).name), QStringLiteral("Bert Brown"));
}

void AddressBookTest::cancelOnTheBarWindowStopsTheRead() {
    sim::ModemSeed seed = DemoSeed();
    for (int i = 20; i <= 60; ++i) {
        seed.phonebooks["SM"].entries[i] = {"030" + std::to_string(i), 129,
                                            "Name " + std::to_string(i)};
    }
    auto phone = Started(seed);
    QVERIFY(phone);
    phone->modem.SetAnswerDelay(2);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.show();
    // A tap on Cancel of the bar window while the read is at location 10 or later.
    QTimer tap;
    connect(&tap, &QTimer::timeout, [&] {
        RKFloatWindow* bar = dlg.BarWindow().Window();
        if (bar != nullptr && bar->Position() >= 10) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->CancelRect().center());
            tap.stop();
        }
    });
    tap.start(1);
    dlg.ShowSource(AddressSource::SimBook);
    const int shown = dlg.List()->topLevelItemCount();
    QVERIFY(shown >= 4);
    QVERIFY(shown < 45);
    QVERIFY(!phone->book->CacheComplete(PhonebookMemory::Sim));
    // A Cancel is the user's own: no message.
    QVERIFY(phone->boxes.shown.isEmpty());
    QVERIFY(dlg.StepWindow().Window() == nullptr && dlg.BarWindow().Window() == nullptr);
}

void AddressBookTest::selectorIsDisabledWhileReading() {
    auto phone = Started();
    QVERIFY(phone);
    // A slow handset, so that the read lasts many rounds of the event loop.
    phone->modem.SetAnswerDelay(5);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    bool sawDisabled = false;
    bool sawBothWindows = false;
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] {
        sawDisabled =
            sawDisabled || (!dlg.Sources()->isEnabled() && !dlg.RefreshButton()->isEnabled());
        RKFloatWindow* steps = dlg.StepWindow().Window();
        RKFloatWindow* bar = dlg.BarWindow().Window();
        sawBothWindows =
            sawBothWindows || (steps != nullptr && bar != nullptr && steps->isVisible() &&
                               bar->isVisible() && !steps->geometry().intersects(bar->geometry()));
    });
    probe.start(1);
    dlg.ShowSource(AddressSource::SimBook, true);
    probe.stop();
    QVERIFY(sawDisabled);
    QVERIFY(sawBothWindows);
    QVERIFY(dlg.Sources()->isEnabled() && dlg.RefreshButton()->isEnabled());
}

void AddressBookTest::contextMenus() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    auto menu = dlg.ContextMenu();
    QVERIFY(menu);
    QStringList texts;
    QList<bool> enabled;
    for (QAction* a : menu->actions()) {
        texts << a->text();
        enabled << a->isEnabled();
    }
    QCOMPARE(texts, (QStringList{"&Insert", "&Edit", "&Delete", "Import to Contacts"}));
    QCOMPARE(enabled, (QList<bool>{true, true, true, false}));
    for (const AddressSource s : {AddressSource::DialledCalls, AddressSource::SosCalls}) {
        dlg.ShowSource(s);
        QVERIFY(!dlg.ContextMenu());
    }
}

void AddressBookTest::exportWritesTheShownRows() {
    auto phone = Started();
    QVERIFY(phone);
    QTemporaryDir dir;
    phone->savePath = dir.filePath(QStringLiteral("book.csv"));
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    dlg.SearchField()->setText(QStringLiteral("+49"));
    dlg.ExportCsv();
    QFile file(phone->savePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("\"J\u00f6rg M\u00fcller\",\"+491701234567\"\n"
                            "\"Anna Schmidt\",\"+49 (30) 123-45\"\n"
                            "\"Carla Conti\",\"+4940998877\"\n"));
    // Quotes inside a text are doubled, so the file reads back as it was meant.
    QCOMPARE(CsvText({{QStringLiteral("A \"B\""), QStringLiteral("1"), -1}}),
             QByteArray("\"A \"\"B\"\"\",\"1\"\n"));
    // A line break inside a name would split its row in two: it becomes a blank.
    QCOMPARE(CsvText({{QStringLiteral("A\r\nB"), QStringLiteral("1"), -1}}),
             QByteArray("\"A B\",\"1\"\n"));
    // Nothing shown: no file is asked for.
    dlg.SearchField()->setText(QStringLiteral("xyz"));
    phone->savePath = dir.filePath(QStringLiteral("none.csv"));
    dlg.ExportCsv();
    QVERIFY(!QFile::exists(phone->savePath));
}

void AddressBookTest::screenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("file");
    QTest::newRow("english portrait") << 1 << false << "addressbook-en-portrait.png";
    QTest::newRow("english landscape") << 1 << true << "addressbook-en-landscape.png";
    QTest::newRow("german portrait") << 2 << false << "addressbook-de-portrait.png";
    QTest::newRow("german landscape") << 2 << true << "addressbook-de-landscape.png";
}

void AddressBookTest::screenshots() {
    QFETCH(int, language);
    QFETCH(bool, landscape);
    QFETCH(QString, file);
    SetLanguage(static_cast<std::uint32_t>(language));
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, landscape);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTRY_COMPARE(dlg.List()->topLevelItemCount(), 4);
    Select(dlg, QString::fromStdU16String(kJoerg));
    QCOMPARE(dlg.size(), landscape ? QSize(320, 240) : QSize(240, 320));
    QImage shot = dlg.grab().toImage();
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    QVERIFY(shot.save(QDir(QStringLiteral(QVL_SCREENSHOT_DIR)).filePath(file)));
    // The entry dialog of the same language and layout.
    CQVLAddressEntryDlg entry(landscape, 14, nullptr, &dlg);
    entry.SetEntry(QString::fromStdU16String(kJoerg), QStringLiteral("+491701234567"), 1);
    entry.resize(landscape ? QSize(320, 140) : QSize(240, 200));
    entry.show();
    QVERIFY(QTest::qWaitForWindowExposed(&entry));
    shot = entry.grab().toImage();
    QVERIFY(shot.save(QDir(QStringLiteral(QVL_SCREENSHOT_DIR))
                          .filePath(file.replace(QStringLiteral("addressbook"),
                                                 QStringLiteral("addressentry")))));
}

QTEST_MAIN(AddressBookTest)
#include "addressbook_test.moc"

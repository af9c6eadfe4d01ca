// The Address Book's Contacts source as a user meets it: a vCard folder laid out as vdirsyncer
// keeps it, the phone engine against the modem simulator on a pseudo-terminal. The rows and the
// search, the copies to the SIM and handset books and from the SIM book into the folder, and the
// screenshots of the source in both layouts in English and German (written into screenshots/ of
// the build folder).
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "tools/modemsim/modem_simulator.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/contacts/ui/contactssource.h"
#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/ui/phonebookui.h"
#include "base/text.h"
#include "common/controls/qtuiports.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

using namespace qvl;
using namespace qvl::phonebookui;
using qvl::contactsui::ContactsSource;

namespace {

void SetLanguage(std::uint32_t id) {
    RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
        .WriteDword(u"LanguageID", id);
}

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

// Cards as other address books write them: 3.0 with grouped labels, 4.0 with tel: URIs, 2.1
// with quoted-printable, one file per card named by its UID.
void WriteVdir(const QString& dir) {
    const auto write = [&](const char* name, const std::string& text) {
        std::ofstream(QDir(dir).filePath(QString::fromLatin1(name)).toStdString(), std::ios::binary)
            << text;
    };
    write("5b0e9c1e-7d1a-4f43-9a0a-1d6f3c0d2b11.vcf",
          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:5b0e9c1e\r\nFN:Anna Smith\r\nN:Smith;Anna;;;\r\n"
          "TEL;TYPE=WORK,VOICE:+49 30 1234567\r\nitem1.TEL:+49 171 5550102\r\n"
          "item1.X-ABLabel:mobile\r\nEND:VCARD\r\n");
    write("9e4f-bernd.vcf",
          "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:9e4f\r\nFN:Bernd Bauer\r\n"
          "N:Bauer;Bernd;;;\r\nTEL;VALUE=uri;TYPE=home:tel:+49-40-998877\r\nEND:VCARD\r\n");
    write(
        "c3-zoe.vcf",
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Martin;Zo=C3=\r\n"
        "=AB;;;\r\nTEL;CELL:ext. 12\r\nEND:VCARD\r\n");
}

sim::ModemSeed Seed(int simCapacity) {
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    auto& sm = seed.phonebooks["SM"];
    sm.capacity = simCapacity;
    sm.entries.clear();
    sm.entries[1] = {"+4989333444", 145, "Carla Conti"};
    sm.entries[2] = {"0301112233", 129, "Dora Xu"};
    seed.phonebooks["ME"].entries.clear();
    return seed;
}

// A phone over the simulator and a contacts folder.
struct Phone {
    explicit Phone(const sim::ModemSeed& seed) : modem(seed) {}
    bool Start() {
        const std::string path = modem.Start();
        if (path.empty() || !folder.isValid()) {
            return false;
        }
        WriteVdir(folder.path());
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
        contacts = std::make_unique<ContactBook>(folder.path().toStdString());
        source = std::make_unique<ContactsSource>(*contacts, book.get(), &boxes);
        return true;
    }
    AddressBookPorts Ports() {
        AddressBookPorts p;
        p.phonebook = book.get();
        p.messages = &boxes;
        p.contacts = source.get();
        return p;
    }
    int Commands(const std::string& prefix) {
        int n = 0;
        for (const auto& line : modem.CommandLog()) {
            n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    QStringList Shown() {
        QStringList shown;
        for (const auto& text : boxes.shown) {
            shown << QString::fromStdU16String(text);
        }
        boxes.shown.clear();
        return shown;
    }

    QTemporaryDir folder;
    sim::ModemSimulator modem;
    testing::FakePinDialog pin;
    testing::FakeModemChooser chooser;
    testing::FakeModemDirectory directory;
    testing::FakePowerSupply power;
    QtMessagePump pump;
    testing::FakeMessageBox boxes;
    std::unique_ptr<CPhoneEngine> engine;
    std::unique_ptr<CPhonebook> book;
    std::unique_ptr<ContactBook> contacts;
    std::unique_ptr<ContactsSource> source;
};

std::unique_ptr<Phone> Started(int simCapacity = 250) {
    auto phone = std::make_unique<Phone>(Seed(simCapacity));
    return phone->Start() ? std::move(phone) : nullptr;
}

QStringList Rows(const CQVLAddressBookDlg& dlg) {
    QStringList rows;
    for (const auto& row : dlg.ShownRows()) {
        rows << row.name + QStringLiteral(" | ") + row.number;
    }
    return rows;
}

AddressRow RowNamed(const CQVLAddressBookDlg& dlg, const QString& name) {
    for (const auto& row : dlg.ShownRows()) {
        if (row.name == name) {
            return row;
        }
    }
    return {};
}

}  // namespace

class ContactsSourceTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetLanguage(1); }
    // The suite's tests share one device root: none is left in another language.
    void cleanup() { SetLanguage(1); }
    void rowsAndSearchOfAVdirFolder();
    void exportToTheSimBook();
    void exportRefusals_data();
    void exportRefusals();
    void importFromTheSimBookAddsACard();
    void unreadableFolderIsToldOnce();
    void screenshots_data();
    void screenshots();
};

void ContactsSourceTest::rowsAndSearchOfAVdirFolder() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    auto* model = qobject_cast<QStandardItemModel*>(dlg.Sources()->model());
    QVERIFY(model->item(static_cast<int>(AddressSource::Contacts))->isEnabled());
    dlg.ShowSource(AddressSource::Contacts);
    const QStringList all = {
        QStringLiteral("Anna Smith <Work> | +49 30 1234567"),
        QStringLiteral("Anna Smith <Mobile> | +49 171 5550102"),
        QStringLiteral("Bernd Bauer <Home> | +49-40-998877"),
        QStringLiteral("Zo\u00eb Martin <Mobile> | ext. 12"),
    };
    QCOMPARE(Rows(dlg), all);
    // The search keeps every number of a matching contact; it matches the family name too.
    dlg.SearchField()->setText(QStringLiteral("smi"));
    QCOMPARE(Rows(dlg), all.mid(0, 2));
    dlg.SearchField()->setText(QStringLiteral("zo\u00cb"));
    QCOMPARE(Rows(dlg), all.mid(3, 1));
    dlg.SearchField()->setText(QStringLiteral("+49-"));
    QCOMPARE(Rows(dlg), all.mid(2, 1));
    // A card that another program renames into the folder is found by the next keystroke.
    {
        std::ofstream(phone->folder.filePath(QStringLiteral(".tmp")).toStdString())
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Adler;Ada;;;\r\nTEL;TYPE=CELL:0171 1\r\n"
               "END:VCARD\r\n";
    }
    std::filesystem::rename(phone->folder.filePath(QStringLiteral(".tmp")).toStdString(),
                            phone->folder.filePath(QStringLiteral("a.vcf")).toStdString());
    dlg.SearchField()->setText(QStringLiteral("Ad"));
    QCOMPARE(Rows(dlg), QStringList{QStringLiteral("Ada Adler <Mobile> | 0171 1")});
    // The contacts' own menu.
    dlg.List()->setCurrentItem(dlg.List()->topLevelItem(0));
    const auto menu = dlg.ContextMenu();
    QVERIFY(menu);
    QStringList actions;
    for (QAction* a : menu->actions()) {
        QVERIFY(a->isEnabled());
        actions << a->text();
    }
    QCOMPARE(actions, (QStringList{QStringLiteral("Export to SIM Book"),
                                   QStringLiteral("Export to Phone Book")}));
    QVERIFY(phone->Shown().isEmpty());
}

void ContactsSourceTest::exportToTheSimBook() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::Contacts);
    // The row's name loses its brackets and is cut to the book's length; the number its
    // separators. It goes to the lowest free location.
    phone->source->Export(true, RowNamed(dlg, QStringLiteral("Anna Smith <Mobile>")), &dlg);
    QVERIFY2(phone->Shown().isEmpty(), "no message after a good export");
    // The length the SIM told when the export read the book.
    const int nameLength = phone->book->NameLength(PhonebookMemory::Sim);
    QVERIFY(nameLength >= 15);
    const QString name = QStringLiteral("Anna Smith Mobile").left(nameLength);
    const auto entries = phone->book->Entries(PhonebookMemory::Sim);
    QCOMPARE(entries.size(), std::size_t(3));
    const auto added = std::find_if(entries.begin(), entries.end(),
                                    [](const PhonebookEntry& e) { return e.index == 3; });
    QVERIFY(added != entries.end());
    QCOMPARE(QString::fromStdU16String(added->number), QStringLiteral("+491715550102"));
    QCOMPARE(QString::fromStdU16String(added->name), name);
    const auto stored = phone->modem.State().phonebooks.at("SM").entries;
    QVERIFY(stored.count(3) == 1);
    QCOMPARE(QString::fromStdString(stored.at(3).name), name);
    QCOMPARE(QString::fromStdString(stored.at(3).number), QStringLiteral("+491715550102"));
    // The SIM book shows it at once.
    dlg.ShowSource(AddressSource::SimBook);
    QVERIFY(Rows(dlg).contains(name + QStringLiteral(" | +491715550102")));
    // Into the handset book the same way.
    dlg.ShowSource(AddressSource::Contacts);
    phone->source->Export(false, RowNamed(dlg, QStringLiteral("Bernd Bauer <Home>")), &dlg);
    QVERIFY(phone->Shown().isEmpty());
    const auto handset = phone->book->Entries(PhonebookMemory::Handset);
    QCOMPARE(handset.size(), std::size_t(1));
    QCOMPARE(QString::fromStdU16String(handset[0].number), QStringLiteral("+4940998877"));
}

void ContactsSourceTest::exportRefusals_data() {
    QTest::addColumn<int>("simCapacity");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("message");
    QTest::newRow("no row chosen") << 250 << QString() << kMsgNoSelection;
    QTest::newRow("SIM full") << 2 << QStringLiteral("Anna Smith <Work>") << kMsgSimFull;
    QTest::newRow("not a number") << 250 << QStringLiteral("Zo\u00eb Martin <Mobile>")
                                  << kMsgNumberRefused;
}

// Nothing reaches the SIM book when the row, the book or the number does not allow it.
void ContactsSourceTest::exportRefusals() {
    QFETCH(int, simCapacity);
    QFETCH(QString, row);
    QFETCH(int, message);
    auto phone = Started(simCapacity);
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::Contacts);
    phone->source->Export(true, row.isEmpty() ? AddressRow{} : RowNamed(dlg, row), &dlg);
    QCOMPARE(phone->Shown(), QStringList{Local(message)});
    QCOMPARE(phone->Commands("AT+CPBW"), 0);
    QCOMPARE(phone->modem.State().phonebooks.at("SM").entries.size(), std::size_t(2));
}

void ContactsSourceTest::importFromTheSimBookAddsACard() {
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::SimBook);
    const auto menu = dlg.ContextMenu();
    QVERIFY(menu);
    const QAction* import = menu->findChild<QAction*>(QStringLiteral("command33013"));
    QVERIFY(import != nullptr && import->isEnabled());
    phone->source->Import(RowNamed(dlg, QStringLiteral("Dora Xu")), &dlg);
    QVERIFY(phone->Shown().isEmpty());
    phone->source->Import(AddressRow{}, &dlg);
    QCOMPARE(phone->Shown(), QStringList{Local(kMsgNoSelection)});
    // A new card file beside the user's, named by its UID; the contact's home number is the
    // SIM number.
    const QStringList files = QDir(phone->folder.path()).entryList({QStringLiteral("*.vcf")});
    QCOMPARE(files.size(), 4);
    dlg.ShowSource(AddressSource::Contacts);
    dlg.SearchField()->setText(QStringLiteral("dora"));
    QCOMPARE(Rows(dlg), QStringList{QStringLiteral("Dora Xu <Home> | 0301112233")});
    // A folder gone meanwhile (an unmounted share): the user is told why.
    const QString away = phone->folder.path() + QStringLiteral(".away");
    QVERIFY(QDir().rename(phone->folder.path(), away));
    phone->source->Import(RowNamed(dlg, QStringLiteral("Dora Xu <Home>")), &dlg);
    QVERIFY(QDir().rename(away, phone->folder.path()));
    const QStringList shown = phone->Shown();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown[0].startsWith(Local(contactsui::kMsgContactNotSaved)));
    QVERIFY(shown[0].contains(phone->folder.path()));
}

void ContactsSourceTest::unreadableFolderIsToldOnce() {
    auto phone = Started();
    QVERIFY(phone);
    ContactBook missing(phone->folder.filePath(QStringLiteral("none")).toStdString());
    ContactsSource source(missing, phone->book.get(), &phone->boxes);
    AddressBookPorts ports = phone->Ports();
    ports.contacts = &source;
    CQVLAddressBookDlg dlg(ports, CQVLAddressBookDlg::Mode::Dial, false);
    dlg.ShowSource(AddressSource::Contacts);
    QCOMPARE(dlg.List()->topLevelItemCount(), 0);
    const QStringList shown = phone->Shown();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown[0].startsWith(Local(contactsui::kMsgContactsNotRead)));
    QVERIFY(shown[0].contains(QStringLiteral("none")));
    // Keystrokes do not repeat it.
    dlg.SearchField()->setText(QStringLiteral("a"));
    dlg.SearchField()->setText(QStringLiteral("ab"));
    QVERIFY(phone->Shown().isEmpty());
}

void ContactsSourceTest::screenshots_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("file");
    QTest::newRow("english portrait") << 1 << false << "addressbook-contacts-en-portrait.png";
    QTest::newRow("english landscape") << 1 << true << "addressbook-contacts-en-landscape.png";
    QTest::newRow("german portrait") << 2 << false << "addressbook-contacts-de-portrait.png";
    QTest::newRow("german landscape") << 2 << true << "addressbook-contacts-de-landscape.png";
}

void ContactsSourceTest::screenshots() {
    QFETCH(int, language);
    QFETCH(bool, landscape);
    QFETCH(QString, file);
    SetLanguage(static_cast<std::uint32_t>(language));
    auto phone = Started();
    QVERIFY(phone);
    CQVLAddressBookDlg dlg(phone->Ports(), CQVLAddressBookDlg::Mode::Message, landscape);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTRY_COMPARE(dlg.List()->topLevelItemCount(), 2);  // the SIM book first
    dlg.ShowSource(AddressSource::Contacts);
    QCOMPARE(dlg.List()->topLevelItemCount(), 4);
    dlg.List()->setCurrentItem(dlg.List()->topLevelItem(1));
    QImage shot = dlg.grab().toImage();
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    QVERIFY(shot.save(QDir(QStringLiteral(QVL_SCREENSHOT_DIR)).filePath(file)));
}

QTEST_MAIN(ContactsSourceTest)
#include "contactssource_test.moc"

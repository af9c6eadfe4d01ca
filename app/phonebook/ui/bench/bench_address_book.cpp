// Measures the Address Book over a SIM of 250 entries (read once from the simulator, then from
// the cache): showing the book (list filled and painted) and every keystroke of a search
// (filter applied and painted). Prints minimum, median and maximum; exits 1 when a median is
// 50 ms or more.
//
//   bench_address_book [runs]
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#include "tools/modemsim/modem_simulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/ui/addressbookdlg.h"
#include "base/text.h"
#include "common/controls/qtuiports.h"

using namespace qvl;
using namespace qvl::phonebookui;

namespace {

struct Stats {
    double min = 0;
    double median = 0;
    double max = 0;
};

Stats Summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

// Runs a step and paints the dialog at once, as the screen would show it.
double Time(QWidget& window, const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    step();
    window.repaint();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    std::string home = (std::filesystem::temp_directory_path() / "qvl-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        return 2;
    }
    setenv("QVL_HOME", home.c_str(), 1);
    setenv("QVL_LOCK_DIR", "", 1);

    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    const char* first[] = {"Anna",   "Bert",  "Carla", "Dora", "Emil",
                           "Frieda", "Georg", "Hanna", "Ingo", "Jana"};
    const char* last[] = {"Adler", "Braun", "Conti", "Dietz", "Engel",
                          "Fuchs", "Graf",  "Hahn",  "Ivers", "Jung"};
    for (int i = 1; i <= 250; ++i) {
        const std::string name =
            std::string(first[i % 10]) + " " + last[(i / 10) % 10] + " " + std::to_string(i);
        seed.phonebooks["SM"].entries[i] = {"+4917012" + std::to_string(100000 + i * 37), 145,
                                            name};
    }
    sim::ModemSimulator modem(seed);
    const std::string path = modem.Start();
    testing::FakePinDialog pin;
    testing::FakeModemChooser chooser;
    testing::FakeModemDirectory directory;
    testing::FakePowerSupply power;
    QtMessagePump pump;
    const ModemEntry entry{u"Simulator", u"QVL GSM simulator", Utf8ToWide(path)};
    directory.entries = {entry};
    chooser.choice = entry;
    EnginePorts ports;
    ports.pinDialog = &pin;
    ports.chooser = &chooser;
    ports.modems = &directory;
    ports.power = &power;
    ports.pump = &pump;
    ports.text = testing::EnglishEngineText;
    CPhoneEngine engine(ports);
    if (path.empty() || engine.StartSession(AutoPin::AskUser) != 1 || engine.InitModem() != 1) {
        std::fprintf(stderr, "no session with the simulator\n");
        return 2;
    }
    CPhonebook book(engine, [](int) { return std::u16string(u"%d of %d"); });
    if (book.ReadBook(PhonebookMemory::Sim, {}) != 250) {
        std::fprintf(stderr, "the SIM was not read whole\n");
        return 2;
    }

    AddressBookPorts abPorts;
    abPorts.phonebook = &book;
    CQVLAddressBookDlg dlg(abPorts, CQVLAddressBookDlg::Mode::Dial, false);
    dlg.show();
    QApplication::processEvents();

    std::vector<double> show;
    std::vector<double> keys;
    const QString typed = QStringLiteral("hanna hahn 1");
    for (int run = 0; run < runs; ++run) {
        dlg.SearchField()->clear();
        show.push_back(Time(dlg, [&] { dlg.ShowSource(AddressSource::SimBook); }));
        for (int k = 1; k <= typed.size(); ++k) {
            keys.push_back(Time(dlg, [&] { dlg.SearchField()->setText(typed.left(k)); }));
        }
        for (int k = typed.size() - 1; k >= 0; --k) {
            keys.push_back(Time(dlg, [&] { dlg.SearchField()->setText(typed.left(k)); }));
        }
    }
    const Stats s = Summary(show);
    const Stats k = Summary(keys);
    std::printf(
        "show 250 entries (fill, paint):  min %6.2f ms, median %6.2f ms, max %6.2f ms "
        "over %d runs; target < 50 ms\n",
        s.min, s.median, s.max, runs);
    std::printf(
        "search keystroke (filter, paint): min %6.2f ms, median %6.2f ms, max %6.2f ms "
        "over %zu keystrokes; target < 50 ms\n",
        k.min, k.median, k.max, keys.size());
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return s.median < 50 && k.median < 50 ? 0 : 1;
}

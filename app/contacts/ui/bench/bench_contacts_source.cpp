// Measures the Address Book's Contacts source over a folder of 10,000 cards (two numbers each,
// 20,000 rows), the whole way a user sees it: showing the source (folder looked at, rows built,
// list filled and painted) and every keystroke of a search (kept rows filtered, list filled and
// painted). Prints minimum, median and maximum; exits 1 when the show's median is 300 ms or
// more or a keystroke's median 50 ms or more.
//
//   bench_contacts_source [runs]
#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/contacts/ui/contactssource.h"

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

double Time(QWidget& window, const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    step();
    window.repaint();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The SIM book the dialog shows first is not ready (no modem): its message is taken silently.
class SilentBoxes final : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view, std::u16string_view, MsgButtons, MsgIcon) override {
        return MsgAnswer::Ok;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    char tmpl[] = "/tmp/qvl-bench-source.XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    for (int i = 0; i < 10000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s/%08x-card.vcf", dir.c_str(), i * 2654435761u);
        std::ofstream(name) << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" << i << "\r\nN:Family" << i
                            << ";Given" << i << ";;;\r\nTEL;TYPE=CELL:+49 171 " << 1000000 + i
                            << "\r\nTEL;TYPE=HOME:030 " << 2000000 + i << "\r\nEND:VCARD\r\n";
    }
    // Last changed an hour ago, as an address book mostly is.
    struct timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1].tv_sec -= 3600;
    times[0] = times[1];
    ::utimensat(AT_FDCWD, dir.c_str(), times, 0);

    ContactBook book(dir);
    book.Records();  // the first listing reads every file; the measures are of what follows
    contactsui::ContactsSource source(book, nullptr, nullptr);
    SilentBoxes boxes;
    AddressBookPorts ports;
    ports.contacts = &source;
    ports.messages = &boxes;
    CQVLAddressBookDlg dlg(ports, CQVLAddressBookDlg::Mode::Dial, false);
    dlg.show();
    QApplication::processEvents();

    std::vector<double> show;
    std::vector<double> keys;
    const QString typed = QStringLiteral("given12");
    for (int run = 0; run < runs; ++run) {
        dlg.SearchField()->blockSignals(true);
        dlg.SearchField()->clear();
        dlg.SearchField()->blockSignals(false);
        show.push_back(Time(dlg, [&] { dlg.ShowSource(AddressSource::Contacts); }));
        if (dlg.List()->topLevelItemCount() != 20000) {
            std::fprintf(stderr, "the source shows %d rows, not 20000\n",
                         dlg.List()->topLevelItemCount());
            return 2;
        }
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
        "show 20,000 contact rows (folder, rows, fill, paint): min %6.1f ms, median %6.1f ms, "
        "max %6.1f ms over %d runs; target < 300 ms\n",
        s.min, s.median, s.max, runs);
    std::printf(
        "search keystroke (filter, fill, paint): min %6.1f ms, median %6.1f ms, max %6.1f ms "
        "over %zu keystrokes; target < 50 ms\n",
        k.min, k.median, k.max, keys.size());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return s.median < 300 && k.median < 50 ? 0 : 1;
}

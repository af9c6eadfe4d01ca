// Measures Parlino against the modem simulator: the time from program start to the end of the
// session start and to the first poll step, and the CPU share of the UI thread and of the
// whole process (the simulator's I/O thread included) while idle.
//
//   parlino-measure [idle-seconds]      (default 30; run with QT_QPA_PLATFORM=offscreen)
#include "tools/modemsim/modem_simulator.h"

#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/engine/testing/fakes.h"
#include "app/shell/dialercontroller.h"
#include "app/shell/dialerdoc.h"
#include "app/shell/mainframe.h"

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ProcessCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    QTemporaryDir home;
    qputenv("QVL_HOME", home.path().toUtf8());

    qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    qvl::sim::ModemSimulator modem(seed);
    const std::string path = modem.Start();
    if (path.empty()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", modem.LastError().c_str());
        return 1;
    }
    qvl::testing::FakeModemDirectory directory;
    directory.entries = {
        {u"Cable", u"QVL GSM simulator", std::u16string(path.begin(), path.end())}};
    qvl::testing::FakeModemChooser chooser;
    chooser.choice = directory.entries[0];
    qvl::DialerServices services;
    services.modems = &directory;
    services.chooser = &chooser;

    qvl::CQVLDialerDoc doc(&services);
    qvl::CMainFrame frame(&doc);
    frame.resize(240, 340);
    frame.show();
    qint64 sessionMs = -1;
    qint64 firstPollMs = -1;
    QObject::connect(&doc.Controller()->Timer(1), &QTimer::timeout, &app, [&] {
        if (firstPollMs < 0) {
            firstPollMs = clock.elapsed();
        }
    });
    QTimer::singleShot(0, &doc, [&] {
        doc.OnFirstDisplay();
        sessionMs = clock.elapsed();
    });
    // Let start-up and the first status queries settle, then measure the idle phase.
    double threadStart = 0;
    double processStart = 0;
    qint64 idleStart = 0;
    QTimer::singleShot(15000, &app, [&] {
        threadStart = ThreadCpuSeconds();
        processStart = ProcessCpuSeconds();
        idleStart = clock.elapsed();
    });
    QTimer::singleShot(15000 + idleSeconds * 1000, &app, [&] {
        const double wall = (clock.elapsed() - idleStart) / 1000.0;
        std::printf("session started after      %6lld ms\n", static_cast<long long>(sessionMs));
        std::printf("first poll step after      %6lld ms (the poll timer runs every 3000 ms)\n",
                    static_cast<long long>(firstPollMs));
        std::printf("operator known             %s\n",
                    doc.Controller()->Engine().NetworkKnown() ? "yes" : "no");
        std::printf("idle for                   %6.1f s\n", wall);
        std::printf("UI thread CPU share        %6.3f %% of one core\n",
                    100.0 * (ThreadCpuSeconds() - threadStart) / wall);
        std::printf("process CPU share          %6.3f %% of one core (simulator included)\n",
                    100.0 * (ProcessCpuSeconds() - processStart) / wall);
        doc.Shutdown();
        QApplication::quit();
    });
    return QApplication::exec();
}

// Measures the CPU share of one core that a running engine uses while it polls an idle modem:
// a session against the in-process simulator on a pseudo-terminal, ProcessDialer every 3 s as
// the view's timer runs it, for 60 s (or --seconds N). Prints the share of the UI thread (the
// engine and the transport's reads) and of the whole process (with the simulator's thread and
// the transport's writer threads). Target: under 1 % of one core.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "base/text.h"
#include "tools/modemsim/modem_simulator.h"

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        }
    }
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench_engine_idle [--seconds N]\n");
        return 2;
    }
    // A throw-away device root and no lock files, so the measure touches nothing of the user.
    std::string pattern = (std::filesystem::temp_directory_path() / "qvl-bench-XXXXXX").string();
    const std::string home = mkdtemp(pattern.data());
    setenv("QVL_HOME", home.c_str(), 1);
    setenv("QVL_LOCK_DIR", "", 1);

    qvl::sim::ModemSimulator modem;
    const std::string path = modem.Start();
    if (path.empty()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", modem.LastError().c_str());
        return 1;
    }
    qvl::testing::RecordingEventSink sink;
    qvl::testing::FakePinDialog pin;
    pin.Answer(qvl::DialogResult::Ok, u"1234");
    qvl::testing::FakeModemChooser chooser;
    qvl::testing::FakeModemDirectory directory;
    chooser.choice = qvl::ModemEntry{u"Simulator", u"Simulator", qvl::Utf8ToWide(path)};
    directory.entries = {*chooser.choice};
    qvl::testing::FakePowerSupply power;
    qvl::EnginePorts ports;
    ports.sink = &sink;
    ports.pinDialog = &pin;
    ports.chooser = &chooser;
    ports.modems = &directory;
    ports.power = &power;
    ports.text = qvl::testing::EnglishEngineText;
    qvl::CPhoneEngine engine(ports);
    if (engine.StartSession(qvl::AutoPin::AskUser) != 1 || engine.InitModem() != 1) {
        std::fprintf(stderr, "the session did not start\n");
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    const double thread0 = ThreadCpuMs();
    const double process0 = ProcessCpuMs();
    int steps = 0;
    auto next = start;
    const auto end = start + std::chrono::seconds(seconds);
    while (next < end) {
        engine.ProcessDialer();
        ++steps;
        next += std::chrono::milliseconds(3000);
        std::this_thread::sleep_until(next < end ? next : end);
    }
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double threadMs = ThreadCpuMs() - thread0;
    const double processMs = ProcessCpuMs() - process0;
    std::printf("engine idle poll: %.1f s wall, %d poll steps, %zu events, operator %s\n",
                wallMs / 1000.0, steps, sink.events.size(),
                qvl::WideToUtf8(engine.OperatorName()).c_str());
    std::printf("UI thread CPU: %.1f ms = %.3f %% of one core\n", threadMs,
                100.0 * threadMs / wallMs);
    std::printf("process CPU (with simulator and writer threads): %.1f ms = %.3f %% of one core\n",
                processMs, 100.0 * processMs / wallMs);
    const bool met = 100.0 * processMs / wallMs < 1.0;
    std::printf("target < 1 %%: %s\n", met ? "met" : "NOT met");
    engine.StopSession();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return met ? 0 : 1;
}

// Wire-rate pacing of the simulator: the time to receive a 2,816-byte answer paced at
// 115200 baud (10 bits a byte) against its wire time of 244.4 ms. The "ratio" counter is
// measured / wire time and should stay within 1.0 +- 0.1.
// Idle cost: the CPU time the simulator uses while a line is open and nothing happens, and
// while an incoming call rings, as a share of one core ("cpu_share", target well under 1%).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "tools/modemsim/modem_simulator.h"
#include "tools/modemsim/tests/line.h"

namespace {

void BM_PacedAnswer(benchmark::State& state) {
    qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
    seed.behaviour.echo = false;
    qvl::sim::ModemSimulator modem(seed);
    const std::string path = modem.Start();
    qvl::sim::test::TestLine line(path);
    const std::string answer = "\r\n" + std::string(2808, 'x') + "\r\nOK\r\n";
    const int baud = static_cast<int>(state.range(0));
    modem.SetPacing(baud);
    const double wireMs = answer.size() * 10.0 * 1000.0 / baud;
    double totalMs = 0;
    for (auto _ : state) {
        modem.SetCannedAnswer("AT+BIG", answer);
        const auto start = std::chrono::steady_clock::now();
        line.Send("AT+BIG\r");
        const std::string got = line.ReadUntil("OK\r\n", 5000);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (got.size() != answer.size()) {
            state.SkipWithError("short answer");
            break;
        }
        totalMs += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["wire_ms"] = wireMs;
    state.counters["ratio"] =
        state.iterations() > 0 ? totalMs / static_cast<double>(state.iterations()) / wireMs : 0;
}
BENCHMARK(BM_PacedAnswer)
    ->Arg(115200)
    ->Arg(9600)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_IdleLine(benchmark::State& state) {
    qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    seed.behaviour.ringIntervalMs = 1000;
    qvl::sim::ModemSimulator modem(seed);
    qvl::sim::test::TestLine line(modem.Start());
    const bool ringing = state.range(0) == 1;
    line.Command("AT+CLIP=1");
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        if (ringing) {
            modem.InjectIncomingCall("+4912345");
        }
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        // The test's side sleeps; what the process uses meanwhile is the simulator's thread.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += ProcessCpuSeconds() - cpuStart;
        modem.RemoteHangup();
    }
    state.counters["cpu_share"] = wall > 0 ? cpu / wall : 0;
}
BENCHMARK(BM_IdleLine)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Measures of the transport over a pseudo-terminal, printed in one run:
//  (a) the CPU time that draining reads (500 ms each) on a silent line consume, as a share of
//      one core (target: under 1%);
//  (b) the time to read a 2,816-byte answer sent at the line rate of 115200 baud (10 bits per
//      byte), against its wire time (target: within 10%);
//  (c) how far a read of a silent line overshoots its 200 ms time-out (target: worst under
//      50 ms), and the cost of reads on a line that was hung up (target: each ends at once,
//      without spinning).
// Usage: bench_transport [--seconds N] (length of measure (a), default 60).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/text.h"
#include "common/transport/tests/pty.h"
#include "common/transport/transport.h"
#ifdef QVL_BENCH_WITH_SIM
#include "tools/modemsim/modem_simulator.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class CountingPump : public qvl::IMessagePump {
  public:
    void PumpMessages() override { ++count; }
    long count = 0;
};

// A phonebook listing of exactly `size` bytes ending in the final result code.
std::string LongAnswer(std::size_t size) {
    std::string text;
    for (int index = 1; text.size() < size; ++index) {
        text += "\r\n+CPBR: " + std::to_string(index) + ",\"+4930123456" +
                std::to_string(index % 10) + "\",145,\"Contact " + std::to_string(index) + "\"";
    }
    const std::string tail = "\r\n\r\nOK\r\n";
    text.resize(size - tail.size(), ' ');
    return text + tail;
}

// Writes bytes on the master at baud/10 bytes per second, keeping to the schedule of an
// ideal line (each millisecond sends what is due by then).
void SendAtLineRate(qvl::testing::FakeModemLine& line, const std::string& bytes, int baud,
                    Clock::time_point start) {
    const double bytesPerSecond = baud / 10.0;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::size_t due = static_cast<std::size_t>(elapsed * bytesPerSecond);
        if (due > bytes.size()) {
            due = bytes.size();
        }
        if (due > sent) {
            line.Send(bytes.substr(sent, due - sent));
            sent = due;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }
    ::setenv("QVL_LOCK_DIR", "", 1);  // a pseudo-terminal needs no lock file
    CountingPump pump;
    qvl::TransportPorts ports;
    ports.pump = &pump;
    qvl::SetTransportPorts(ports);

    qvl::testing::FakeModemLine line;
    qvl::PortHandle handle = qvl::kInvalidPortHandle;
    if (!line.Ok() || qvl::PortInitialize(qvl::Utf8ToWide(line.SlavePath()), handle) != 0) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }

    // (a) Draining reads on a silent line.
    const auto idleStart = Clock::now();
    const double cpuStart = ProcessCpuSeconds();
    int reads = 0;
    while (std::chrono::duration<double>(Clock::now() - idleStart).count() < seconds) {
        std::u16string response;
        qvl::PortRead(handle, response, qvl::kDrainTimeoutMs);
        ++reads;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - idleStart).count();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    std::printf(
        "idle draining reads: %d reads of 500 ms in %.1f s, CPU %.3f s = %.3f%% of one "
        "core (target < 1%%), %ld pumps\n",
        reads, wall, cpu, 100.0 * cpu / wall, pump.count);

    // (b) A 2,816-byte answer at 115200 baud.
    const std::size_t size = qvl::kReadChunks * qvl::kReadChunkBytes;
    const std::string answer = LongAnswer(size);
    const double wireMs = static_cast<double>(size) * 10.0 / 115200.0 * 1000.0;
    double worst = 0;
    double total = 0;
    const int runs = 5;
    for (int run = 0; run < runs; ++run) {
        std::u16string response;
        const auto start = Clock::now();
        std::thread sender(SendAtLineRate, std::ref(line), std::cref(answer), 115200, start);
        qvl::PortRead(handle, response, qvl::kCommandTimeoutMs);
        const double readMs =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        sender.join();
        std::u16string expected;
        qvl::AppendResponseText(expected, reinterpret_cast<const std::uint8_t*>(answer.data()),
                                answer.size());
        if (response != expected) {
            std::fprintf(stderr, "run %d: the answer arrived incomplete or altered (%zu chars)\n",
                         run, response.size());
            return 1;
        }
        worst = std::max(worst, readMs);
        total += readMs;
    }
    std::printf(
        "2816-byte answer at 115200 baud: wire time %.1f ms, read time mean %.1f ms, "
        "worst %.1f ms, ratio worst/wire %.3f (target <= 1.10)\n",
        wireMs, total / runs, worst, worst / wireMs);

    // (c) Time-out precision on a silent line, then reads on a hung-up line.
    double overshootTotal = 0;
    double overshootWorst = 0;
    const int silentReads = 20;
    for (int i = 0; i < silentReads; ++i) {
        std::u16string response;
        const auto start = Clock::now();
        qvl::PortRead(handle, response, 200);
        const double over =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 200.0;
        overshootTotal += over;
        overshootWorst = std::max(overshootWorst, over);
    }
    std::printf("silent reads of 200 ms: overshoot mean %.1f ms, worst %.1f ms (target < 50)\n",
                overshootTotal / silentReads, overshootWorst);
    line.HangUp();
    const int deadReads = 1000;
    const long pumpsBefore = pump.count;
    const double deadCpuStart = ProcessCpuSeconds();
    const auto deadStart = Clock::now();
    for (int i = 0; i < deadReads; ++i) {
        std::u16string response;
        qvl::PortRead(handle, response, 500);
    }
    const double deadMs =
        std::chrono::duration<double, std::milli>(Clock::now() - deadStart).count();
    std::printf(
        "reads on a hung-up line: %d reads of 500 ms in %.1f ms (%.3f ms each), CPU %.1f ms, "
        "%ld pumps\n",
        deadReads, deadMs, deadMs / deadReads, (ProcessCpuSeconds() - deadCpuStart) * 1e3,
        pump.count - pumpsBefore);
    qvl::PortClose(handle);

#ifdef QVL_BENCH_WITH_SIM
    // (b') The same answer from the modem simulator, paced by the simulator itself, asked for
    // with a command as the phonebook code would.
    qvl::sim::ModemSimulator modem;
    const std::string path = modem.Start();
    if (path.empty() || qvl::PortInitialize(qvl::Utf8ToWide(path), handle) != 0) {
        std::fprintf(stderr, "cannot start the modem simulator\n");
        return 1;
    }
    std::u16string ignored;
    qvl::Transact(handle, u"ATE0\r", qvl::kCommandTimeoutMs, ignored, nullptr);
    modem.SetPacing(115200);
    worst = 0;
    total = 0;
    for (int run = 0; run < runs; ++run) {
        modem.SetCannedAnswer("AT+CPBR", answer, 1);
        std::u16string response;
        if (qvl::PortWrite(handle, u"AT+CPBR=1,250\r") != 0) {
            std::fprintf(stderr, "write to the simulator failed\n");
            return 1;
        }
        // Timing starts when the command has been written: the answer's wire time follows.
        const auto start = Clock::now();
        qvl::PortRead(handle, response, qvl::kCommandTimeoutMs);
        const double readMs =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (response.size() < size) {
            std::fprintf(stderr, "simulator run %d: only %zu characters arrived\n", run,
                         response.size());
            return 1;
        }
        worst = std::max(worst, readMs);
        total += readMs;
    }
    std::printf(
        "2816-byte answer from the simulator at 115200 baud: wire time %.1f ms, read "
        "time mean %.1f ms, worst %.1f ms, ratio worst/wire %.3f (target <= 1.10)\n",
        wireMs, total / runs, worst, worst / wireMs);
    qvl::PortClose(handle);
#endif
    return 0;
}

// Measures a SIM book read against the modem simulator paced at 115200 baud (10 bits a byte),
// beside the floor the line sets: the same command lines sent by a bare exchange loop through
// the same transport in the same run, which costs the wire time of the same bytes plus the
// handset's turn-around. The wire time of the bytes the handset sent is printed too.
//
//   bench_phonebook_read [runs]
//
// Two books of 250 locations: full, and 20 entries at scattered indices (the read then stops
// at the last of them). Prints the figures and the ratio; exits 1 when a ratio is above 1.3.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/services.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/phonebook.h"
#include "base/text.h"
#include "tools/modemsim/modem_simulator.h"

using namespace qvl;

namespace {

constexpr int kBaud = 115200;

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The serial transport, counting the bytes the handset sent: every character of the response
// text is one byte, but a CR or LF is written as two ("\r", "\n").
class CountingIo final : public IModemIo {
  public:
    int Open(std::u16string_view port, PortHandle& handle) override {
        return m_io.Open(port, handle);
    }
    int Write(PortHandle handle, std::u16string_view command) override {
        return m_io.Write(handle, command);
    }
    void Read(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) override {
        const std::size_t before = response.size();
        m_io.Read(handle, response, timeoutMs);
        std::size_t escapes = 0;
        for (std::size_t i = before; i + 1 < response.size(); ++i) {
            if (response[i] == u'\\' && (response[i + 1] == u'r' || response[i + 1] == u'n')) {
                ++escapes;
                ++i;
            }
        }
        bytesIn += response.size() - before - escapes;
    }
    int Close(PortHandle& handle) override { return m_io.Close(handle); }
    std::size_t bytesIn = 0;

  private:
    SerialModemIo m_io;
};

struct Rig {
    std::unique_ptr<sim::ModemSimulator> sim;
    CountingIo io;
    testing::FakePinDialog pin;
    testing::FakeModemChooser chooser;
    testing::FakeModemDirectory directory;
    testing::FakePowerSupply power;
    std::unique_ptr<CPhoneEngine> engine;
    std::unique_ptr<CPhonebook> book;
};

std::unique_ptr<Rig> Boot(const std::vector<int>& indices) {
    auto rig = std::make_unique<Rig>();
    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pinEnabled = false;
    auto& sm = seed.phonebooks["SM"];
    sm.capacity = 250;
    sm.entries.clear();
    for (const int i : indices) {
        sm.entries[i] = sim::PhonebookEntry{"+4917012345" + std::to_string(100 + i), 145,
                                            "Contact " + std::to_string(i)};
    }
    rig->sim = std::make_unique<sim::ModemSimulator>(seed);
    const std::string path = rig->sim->Start();
    if (path.empty()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", rig->sim->LastError().c_str());
        return nullptr;
    }
    const ModemEntry entry{u"Simulator", u"QVL GSM simulator", Utf8ToWide(path)};
    rig->directory.entries = {entry};
    rig->chooser.choice = entry;
    EnginePorts ports;
    ports.pinDialog = &rig->pin;
    ports.chooser = &rig->chooser;
    ports.modems = &rig->directory;
    ports.power = &rig->power;
    ports.io = &rig->io;
    ports.text = testing::EnglishEngineText;
    rig->engine = std::make_unique<CPhoneEngine>(ports);
    if (rig->engine->StartSession(AutoPin::AskUser) != 1 || rig->engine->InitModem() != 1) {
        std::fprintf(stderr, "session did not start\n");
        return nullptr;
    }
    rig->book =
        std::make_unique<CPhonebook>(*rig->engine, [](int) { return std::u16string(u"%d of %d"); });
    rig->sim->SetPacing(kBaud);
    return rig;
}

double WireMs(std::size_t bytes) {
    return static_cast<double>(bytes) * 10.0 * 1000.0 / kBaud;
}

struct Figures {
    double readMs = 0;
    double bareMs = 0;
    std::size_t bytes = 0;
    int commands = 0;
    int entries = 0;
};

// The whole read as the user waits for it (selection, count, range and the locations), then
// the same command lines sent again by a bare exchange loop through the same transport: that
// loop's time is the wire time of the same bytes plus the handset's turn-around.
Figures Measure(Rig& rig) {
    Figures f;
    rig.book->InvalidateBook(PhonebookMemory::Sim);
    const std::size_t logBefore = rig.sim->CommandLog().size();
    const std::size_t bytesBefore = rig.io.bytesIn;
    const double start = NowMs();
    BookProgress none;
    f.entries = rig.book->ReadBook(PhonebookMemory::Sim, none);
    f.readMs = NowMs() - start;
    const auto log = rig.sim->CommandLog();
    const std::vector<std::string> sent(log.begin() + static_cast<long>(logBefore), log.end());
    f.commands = static_cast<int>(sent.size());
    f.bytes = rig.io.bytesIn - bytesBefore;

    CPhoneEngine& engine = *rig.engine;
    CPhoneEngine::BusyScope busy(engine);
    engine.AcquirePort();
    std::u16string response;
    const double bareStart = NowMs();
    for (const std::string& line : sent) {
        engine.Exchange(Utf8ToWide(line) + u"\r", 15000, response, Dispatch::No);
    }
    f.bareMs = NowMs() - bareStart;
    engine.ReleasePort();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    std::string home = (std::filesystem::temp_directory_path() / "qvl-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        return 2;
    }
    setenv("QVL_HOME", home.c_str(), 1);
    setenv("QVL_LOCK_DIR", "", 1);

    std::vector<int> full;
    for (int i = 1; i <= 250; ++i) {
        full.push_back(i);
    }
    // 20 entries spread over the book, the last at 241.
    std::vector<int> scattered;
    for (int i = 0; i < 20; ++i) {
        scattered.push_back(1 + i * 12 + (i % 3));
    }
    struct Book {
        const char* name;
        std::vector<int> indices;
    } books[] = {{"full (250 of 250)", full}, {"20 scattered (last at 241)", scattered}};

    int status = 0;
    std::printf("SIM book read at %d baud, best of %d runs\n", kBaud, runs);
    for (const Book& b : books) {
        auto rig = Boot(b.indices);
        if (!rig) {
            return 2;
        }
        Figures best;
        best.readMs = 1e12;
        best.bareMs = 1e12;
        for (int run = 0; run < runs; ++run) {
            const Figures f = Measure(*rig);
            best.entries = f.entries;
            best.commands = f.commands;
            best.bytes = f.bytes;
            best.readMs = std::min(best.readMs, f.readMs);
            best.bareMs = std::min(best.bareMs, f.bareMs);
        }
        const double ratio = best.readMs / best.bareMs;
        std::printf(
            "%-27s %3d entries, %3d commands, %5zu bytes (wire %6.1f ms): read %7.1f ms, same "
            "commands bare %7.1f ms, ratio %.2f (target <= 1.30)\n",
            b.name, best.entries, best.commands, best.bytes, WireMs(best.bytes), best.readMs,
            best.bareMs, ratio);
        if (ratio > 1.3) {
            status = 1;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}

// Cost of the registry calls the programs make most: a read of a setting (a stat of the hive
// file, then a look-up), a read after another program's write (a reload of the whole file),
// and a write (lock, serialize, fsync, rename).
#include "platform/registry.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using qvl::RegKey;
using qvl::RegOpen;
using qvl::RegRoot;

// A hive of the size a configured suite has: a few hundred values over some dozens of keys.
std::string MakeHome() {
    char tmpl[] = "/tmp/qvl-bench-registry.XXXXXX";
    const std::string home = ::mkdtemp(tmpl);
    ::setenv("QVL_HOME", home.c_str(), 1);
    for (int k = 0; k < 40; ++k) {
        RegKey key = RegKey::Open(RegRoot::LocalMachine,
                                  u"SOFTWARE\\Quorvel\\Bench\\Key" + std::u16string(1, u'A' + k % 26) +
                                      std::u16string(1, u'a' + k / 26),
                                  RegOpen::Create);
        for (int v = 0; v < 10; ++v) {
            key.WriteString(u"Value" + std::u16string(1, u'0' + v), u"some setting text");
        }
    }
    return home;
}

void BM_ReadSetting(benchmark::State& state) {
    const std::string home = MakeHome();
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Bench\\KeyZa");
    for (auto _ : state) {
        benchmark::DoNotOptimize(key.ReadString(u"Value5"));
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_ReadSetting);

void BM_ReadAfterOtherWrite(benchmark::State& state) {
    const std::string home = MakeHome();
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Bench\\KeyZa");
    const std::string file = home + "/registry/HKEY_LOCAL_MACHINE.reg";
    const std::string copy = file + ".copy";
    std::filesystem::copy_file(file, copy);
    for (auto _ : state) {
        state.PauseTiming();
        // What another program's write leaves: a new file renamed into place.
        std::filesystem::copy_file(copy, file + ".new", std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(file + ".new", file);
        state.ResumeTiming();
        benchmark::DoNotOptimize(key.ReadString(u"Value5"));
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_ReadAfterOtherWrite);

void BM_WriteSetting(benchmark::State& state) {
    const std::string home = MakeHome();
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Bench\\KeyZa");
    std::uint32_t n = 0;
    for (auto _ : state) {
        key.WriteDword(u"Counter", ++n);
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_WriteSetting);

}  // namespace

BENCHMARK_MAIN();

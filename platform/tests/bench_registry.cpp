// Cost of the registry calls the programs make most: a read of a setting (a stat of the hive
// file, then a look-up), a read after another program's write (a reload of the whole file),
// and a write (lock, serialize, fsync, rename). The last two also over one key holding 1,000 to
// 100,000 values, with the fitted complexity: the cost must grow linearly with the key.
#include "platform/registry.h"

#include "base/text.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        RegKey key =
            RegKey::Open(RegRoot::LocalMachine,
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
        std::filesystem::copy_file(copy, file + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
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

// A device root whose hive holds one key with `count` values, written as a file directly (a
// hundred thousand writes through the registry would each rewrite the file).
std::string MakeBigKeyHome(int count) {
    char tmpl[] = "/tmp/qvl-bench-registry.XXXXXX";
    const std::string home = ::mkdtemp(tmpl);
    ::setenv("QVL_HOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/registry");
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\n";
    for (int i = 0; i < count; ++i) {
        text += "\"Value" + std::to_string(i) + "\"=\"some setting text\"\n";
    }
    std::ofstream(home + "/registry/HKEY_LOCAL_MACHINE.reg", std::ios::binary) << text;
    return home;
}

// A read after another program replaced the file: parse and index the whole key.
void BM_ReloadKeyWithManyValues(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string home = MakeBigKeyHome(count);
    const std::string file = home + "/registry/HKEY_LOCAL_MACHINE.reg";
    std::filesystem::copy_file(file, file + ".copy");
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Big");
    const std::u16string last = u"Value" + qvl::Utf8ToWide(std::to_string(count - 1));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(file + ".copy", file + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(file + ".new", file);
        state.ResumeTiming();
        benchmark::DoNotOptimize(key.ReadString(last));
    }
    state.SetComplexityN(count);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_ReloadKeyWithManyValues)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// A write of one value into such a key: look-up, serialize, fsync, rename.
void BM_WriteIntoKeyWithManyValues(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string home = MakeBigKeyHome(count);
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Big");
    std::uint32_t n = 0;
    for (auto _ : state) {
        key.WriteDword(u"Value7", ++n);
    }
    state.SetComplexityN(count);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_WriteIntoKeyWithManyValues)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();

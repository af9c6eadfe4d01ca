// Cost of turning what CopyFromPhone read into store records: long messages of three parts,
// read in an order that interleaves the messages, joined by reference, sender and part number.
// The fitted complexity must be linear in the number of parts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>

#include "app/sms/ops/shortmessage.h"

namespace {

using qvl::sms::CRecordStore;
using qvl::sms::SmsPduInfo;

std::vector<SmsPduInfo> Table(int parts) {
    std::vector<SmsPduInfo> table;
    for (int i = 0; i < parts; ++i) {
        const int message = i / 3;
        SmsPduInfo p;
        p.number = u"+49170" + std::u16string(1, static_cast<char16_t>(u'0' + message % 10)) +
                   std::u16string(1, static_cast<char16_t>(u'0' + message / 10 % 10)) +
                   std::u16string(1, static_cast<char16_t>(u'0' + message / 100 % 10));
        p.concatenated = 1;
        p.reference = message / 1000 % 256;
        p.total = 3;
        p.sequence = i % 3 + 1;
        p.text = std::u16string(152, static_cast<char16_t>(u'a' + i % 26));
        table.push_back(std::move(p));
    }
    std::shuffle(table.begin(), table.end(), std::mt19937(7));
    return table;
}

void BM_JoinReadMessages(benchmark::State& state) {
    const auto table = Table(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CRecordStore store;
        qvl::sms::AppendReadMessages(store, table);
        benchmark::DoNotOptimize(store.Count(qvl::sms::RecordType::kMessage));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_JoinReadMessages)
    ->RangeMultiplier(4)
    ->Range(300, 19200)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

// For comparison, the search the index replaced: for every part of every message, a scan of
// the whole table.
void BM_JoinByScanning(benchmark::State& state) {
    const auto table = Table(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<bool> used(table.size(), false);
        std::size_t joinedUnits = 0;
        for (std::size_t i = 0; i < table.size(); ++i) {
            const auto& m = table[i];
            if (used[i]) {
                continue;
            }
            std::u16string joined;
            for (int seq = 1; seq <= m.total; ++seq) {
                for (std::size_t j = 0; j < table.size(); ++j) {
                    const auto& p = table[j];
                    if (!used[j] && p.reference == m.reference && p.number == m.number &&
                        p.sequence == seq) {
                        joined += p.text;
                        used[j] = true;
                        break;
                    }
                }
            }
            used[i] = true;
            joinedUnits += joined.size();
        }
        benchmark::DoNotOptimize(joinedUnits);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_JoinByScanning)
    ->RangeMultiplier(4)
    ->Range(300, 4800)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

// The baseline: the same records appended to the store already joined, with no search at all.
void BM_AppendJoinedOnly(benchmark::State& state) {
    auto table = Table(static_cast<int>(state.range(0)));
    std::vector<SmsPduInfo> joined;
    for (const auto& p : table) {
        if (p.sequence == 1) {
            SmsPduInfo m = p;
            m.concatenated = 0;
            m.text = p.text + p.text + p.text;
            joined.push_back(std::move(m));
        }
    }
    for (auto _ : state) {
        CRecordStore store;
        qvl::sms::AppendReadMessages(store, joined);
        benchmark::DoNotOptimize(store.Count(qvl::sms::RecordType::kMessage));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AppendJoinedOnly)
    ->RangeMultiplier(4)
    ->Range(300, 19200)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();

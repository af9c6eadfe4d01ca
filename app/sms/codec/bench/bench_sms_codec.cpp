// PDUs per second for encoding and decoding a 160-septet message and a 3-part message.
#include <benchmark/benchmark.h>

#include "app/sms/codec/smscodec.h"

namespace {

using namespace qvl::sms;

std::u16string Text(int septets) {
    const std::u16string base = u"The quick brown fox jumps over the lazy dog 0123456789. ";
    std::u16string s;
    while (static_cast<int>(s.size()) < septets) {
        s += base;
    }
    s.resize(static_cast<std::size_t>(septets));
    return s;
}

void Encode(benchmark::State& state, int septets) {
    const auto text = Text(septets);
    std::size_t pdus = 0;
    for (auto _ : state) {
        auto out = BuildSubmitPdus(u"+491701234567", text, 5, SendAs::kText,
                                   StatusReport::kNotWanted);
        pdus += out.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["PDUs/s"] = benchmark::Counter(static_cast<double>(pdus), benchmark::Counter::kIsRate);
}

void Decode(benchmark::State& state, int septets) {
    auto pdus = BuildDeliverPdus(u"+491701234567", u"24/12/04,18:30:05,GMT+1", Text(septets), 5);
    for (auto& p : pdus) {
        p = p.substr(2);
    }
    std::size_t count = 0;
    for (auto _ : state) {
        for (const auto& p : pdus) {
            auto info = DecodeDeliverPdu(p);
            benchmark::DoNotOptimize(info);
            ++count;
        }
    }
    state.counters["PDUs/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(Encode, single_160_septets, 160);
BENCHMARK_CAPTURE(Encode, three_parts_456_septets, 456);
BENCHMARK_CAPTURE(Decode, single_160_septets, 160);
BENCHMARK_CAPTURE(Decode, three_parts_456_septets, 456);

}  // namespace

BENCHMARK_MAIN();

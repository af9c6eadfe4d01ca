// Encoding time of a 300 KB MMS, and the time to deliver it through Kannel on loopback next to
// the number of WTP packets sent. 300 KB (307200 octets of object data) is under the 256-packet
// bound of about 357000 octets, so the message goes out as it is.
#include "base/text.h"
#include "kannel_harness.h"
#include "mms_test_support.h"
#include "mmsclient/wspsession.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace qvl::mms {
namespace {

constexpr std::size_t kObjectOctets = 300 * 1024;

struct Fixture {
    test::TempHome home;
    SendRequest request;
    Fixture() {
        std::mt19937 gen(42);
        test::Bytes data(kObjectOctets);
        for (auto& b : data) b = static_cast<std::uint8_t>(gen());
        request.to = u"555";
        request.text = u"A large picture";
        request.uri = u"http://127.0.0.1/mms";
        request.objects = {{Widen(home.WriteFile("large.jpg", data)), 0x9E}};
    }
};

Fixture& SharedFixture() {
    static Fixture fixture;
    return fixture;
}

void BM_Encode300KB(benchmark::State& state) {
    Fixture& f = SharedFixture();
    std::size_t packets = 0;
    for (auto _ : state) {
        TidCounter tids;
        BuiltRequest built = BuildSendRequest(tids, f.request);
        packets = built.packets;
        benchmark::DoNotOptimize(built.octets.data());
    }
    state.counters["packets"] = static_cast<double>(packets);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kObjectOctets));
}
BENCHMARK(BM_Encode300KB)->Unit(benchmark::kMillisecond);

void BM_Deliver300KBThroughKannel(benchmark::State& state) {
    if (!test::KannelGateway::Installed()) {
        state.SkipWithError("Kannel is not installed");
        return;
    }
    test::KannelGateway gateway;
    std::string why;
    if (!gateway.Start(why)) {
        state.SkipWithError(("the WAP gateway did not start: " + why).c_str());
        return;
    }
    Fixture& f = SharedFixture();
    test::HttpRelay relay(test::HttpRelay::Mode::ConfirmOk);
    SendRequest request = f.request;
    request.uri = Widen(relay.Uri());
    SessionOptions options;
    SessionReport report;
    for (auto _ : state) {
        report = RunMmsSession(u"127.0.0.1", request, options);
        if (!report.confirmed) {
            state.SkipWithError("the relay did not confirm");
            break;
        }
    }
    state.counters["packets"] = static_cast<double>(report.packets);
    state.counters["datagrams_sent"] = static_cast<double>(report.datagramsSent);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kObjectOctets));
}
// Each delivery includes the session's fixed one-second waits after the two Acks and the
// Disconnect, which a gateway leaves unanswered.
BENCHMARK(BM_Deliver300KBThroughKannel)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace qvl::mms

BENCHMARK_MAIN();

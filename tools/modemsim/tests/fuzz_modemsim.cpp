// Fuzz harness: arbitrary bytes from the program side into the AT interpreter (first byte
// even), or arbitrary text into the seed parser (first byte odd). Either must end without a
// crash, a hang or an out-of-bounds access.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/modemsim/modem_core.h"
#include "tools/modemsim/seed.h"

namespace {

class NullSink : public qvl::sim::CoreSink {
  public:
    void Emit(std::string bytes, qvl::sim::OutputKind) override { m_bytes += bytes.size(); }
    void Schedule(int, std::function<void()>) override {}
    std::int64_t NowMs() override { return m_now += 7; }

  private:
    std::size_t m_bytes = 0;
    std::int64_t m_now = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) == 0) {
        qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
        seed.sim.pinEnabled = (data[0] & 2) != 0;
        NullSink sink;
        qvl::sim::ModemCore core(seed, sink);
        core.OnInput(input);
        core.InjectSms(std::string(input.substr(0, 64)), "SM");
        core.InjectIncomingCall("+4912");
        core.OnInput(input);
    } else {
        qvl::sim::ModemSeed seed = qvl::sim::DefaultSeed();
        std::string error;
        qvl::sim::ParseSeed(input, seed, &error);
    }
    return 0;
}

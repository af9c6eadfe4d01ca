#include "platform/sync.h"

#include <chrono>
#include <map>
#include <string>
#include <thread>

namespace qvl {

NamedMutex CreateNamedMutex(std::u16string_view name) {
    // The table holds weak references: the mutex lives as long as some handle to it does.
    static std::mutex tableLock;
    static std::map<std::u16string, std::weak_ptr<std::recursive_timed_mutex>> table;
    std::lock_guard<std::mutex> guard(tableLock);
    auto& slot = table[std::u16string(name)];
    if (auto existing = slot.lock()) {
        return existing;
    }
    auto created = std::make_shared<std::recursive_timed_mutex>();
    slot = created;
    return created;
}

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {
class SteadyClock final : public IClock {
public:
    std::uint64_t NowMs() override {
        using namespace std::chrono;
        return static_cast<std::uint64_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void SleepMs(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};
}  // namespace

IClock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace qvl

// Named mutexes and tick counts.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

namespace qvl {

// A named mutex of this process ("MutexToProtectPort"): every caller that creates the same name
// gets the same mutex while any handle to it is alive. Acquisition by its owner nests.
using NamedMutex = std::shared_ptr<std::recursive_timed_mutex>;
NamedMutex CreateNamedMutex(std::u16string_view name);

// Milliseconds of a steady clock, as the handheld's tick count.
std::uint32_t TickCount();

// A clock that tests can replace.
class IClock {
public:
    virtual ~IClock() = default;
    virtual std::uint64_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};
IClock& SystemClock();

}  // namespace qvl

// Any bytes as a ring tone: a sound whose samples are whole frames, or no sound; never a crash.
#include "platform/wavfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto sound = qvl::ParseWav(std::span(data, size));
    if (sound && (sound->samples.empty() || sound->samples.size() % sound->BytesPerFrame() != 0)) {
        std::abort();
    }
    return 0;
}

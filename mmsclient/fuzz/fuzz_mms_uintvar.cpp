// A WSP uintvar from the network: at most 5 octets, never past the data.
#include "mmsclient/mmsencode.h"
#include "mmsclient/mmsparse.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto v = qvl::mms::DecodeUintvar(std::span<const std::uint8_t>(data, size));
    if (v) {
        if (v->length == 0 || v->length > 5 || v->length > size) std::abort();
        // A decoded value re-encodes to the same octets when they had no leading zero group.
        if (data[0] != 0x80 && qvl::mms::EncodeUintvar(v->value) != std::vector<std::uint8_t>(data, data + v->length)) {
            std::abort();
        }
    }
    return 0;
}

// libFuzzer target: DecodeDeliverPdu on arbitrary text, both as raw characters and as the hex form of
// the input octets. A value, never a crash, hang or out-of-bounds read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/sms/codec/smscodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        hex.push_back(kDigits[data[i] >> 4]);
        hex.push_back(kDigits[data[i] & 0x0F]);
    }
    const auto a = qvl::sms::DecodeDeliverPdu(raw);
    const auto b = qvl::sms::DecodeDeliverPdu(hex);
    // Touch the results so nothing is optimised away.
    return static_cast<int>((a.number.size() + b.number.size()) & 0);
}

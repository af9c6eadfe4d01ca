// Every reader of modem answers on arbitrary response text: a value or nothing, never a crash
// or a read outside the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/engine/answers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bytes become wide characters one by one, so the escapes "\r" and "\n" and quotes come
    // up as often as anything else.
    std::u16string text(data, data + size);
    const std::u16string_view answer = text;
    volatile std::int64_t sink = 0;
    sink = sink + qvl::ParseSignalBars(answer) + qvl::ParseGprsAttached(answer) +
           qvl::ParseMailboxFull(answer) + qvl::ParseRoaming(answer) +
           qvl::ParseVolumeLevel(answer) + qvl::ParseClckState(answer) +
           qvl::ParseCopsNumeric(answer) + qvl::ParseCmtiIndex(answer) +
           qvl::ParseCssuCode(answer) + static_cast<std::int64_t>(qvl::ContainsRing(answer)) +
           static_cast<std::int64_t>(qvl::ParseCpinState(answer));
    if (const auto counters = qvl::ParseCpinc(answer)) {
        sink = sink + counters->pin;
    }
    if (const auto name = qvl::ParseCopsName(answer)) {
        sink = sink + static_cast<std::int64_t>(qvl::IsNumericOperatorName(*name));
    }
    if (const auto calls = qvl::ParseClcc(answer)) {
        for (const auto& call : *calls) {
            sink = sink + call.index + static_cast<std::int64_t>(call.number.size());
        }
    }
    sink = sink + static_cast<std::int64_t>(qvl::ParseCcfc(answer).number.size() +
                                            qvl::ParseClipNumber(answer).size() +
                                            qvl::ExtractCdsPdu(answer).size());
    if (const auto waiting = qvl::ParseCcwaNumber(answer)) {
        sink = sink + static_cast<std::int64_t>(waiting->size());
    }
    return 0;
}

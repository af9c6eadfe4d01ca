// libFuzzer target: a record file of any content loads what is whole, never crashes or
// allocates without bound, and what loaded saves and reloads to the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/sms/store/recordstore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvl::sms::CRecordStore store;
    store.Deserialize(std::vector<std::uint8_t>(data, data + size));
    const auto bytes = store.Serialize();
    qvl::sms::CRecordStore again;
    if (!again.Deserialize(bytes) || again.Records().size() != store.Records().size()) {
        std::abort();
    }
    return 0;
}

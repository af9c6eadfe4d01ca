// The .mmp reader on any bytes: profiles or skipped lines, never a crash, and every profile
// it gives is within the limits the store and a later send rely on.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/mms/mmsprofiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qvl::mms;
    const MmpContent content = ParseMmpFile(std::span<const std::uint8_t>(data, size));
    for (const MmsProfile& p : content.profiles) {
        if (p.key < 0 || p.key > kMaxProfileId || p.operatorCode < 0 ||
            p.operatorCode > kMaxOperatorCode || p.name.size() >= kProfileNameChars ||
            p.uri.size() >= kProfileUriChars) {
            std::abort();
        }
        // What was read can be written again and reads back the same.
        if (CheckWritableProfile(p) == MmpWriteProblem::kNone) {
            const std::string again = FormatMmpFile({p});
            const MmpContent back = ParseMmpFile(std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(again.data()), again.size()));
            if (back.profiles.size() != 1 || !(back.profiles[0] == p)) {
                std::abort();
            }
        }
    }
    return 0;
}

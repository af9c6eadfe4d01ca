// A reply to Connect from an untrusted gateway: a value or a status, never a read out of bounds.
#include "mmsclient/mmsparse.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reply = qvl::mms::ParseConnectReply(std::span<const std::uint8_t>(data, size));
    if (reply.serverSessionId.size() > 5 || reply.serverSessionId.size() > size) std::abort();
    if (reply.status == qvl::mms::kConnectRedirect && reply.redirectAddress.size() > 15) std::abort();
    return 0;
}

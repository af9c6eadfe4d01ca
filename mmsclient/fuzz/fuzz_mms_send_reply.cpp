// A reply to the Post from an untrusted gateway, with its trace notes.
#include "mmsclient/mmsparse.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int status = 0;
    std::size_t notes = 0;
    qvl::mms::ParseSendReply(std::span<const std::uint8_t>(data, size), status,
                             [&notes](std::string_view) { ++notes; });
    if (status < 0 || status > qvl::mms::kSendFailed || notes > 7) std::abort();
    return 0;
}

// The network list reader on arbitrary text: a list of at most kMaxNetworks records or an
// empty one, never a crash, a hang or a read outside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/services/networklist.h"
#include "app/services/serviceanswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(static_cast<char16_t>(data[i]));
    }
    const auto networks = qvl::services::ParseNetworkList(text);
    if (networks.size() > qvl::services::kMaxNetworks) {
        std::abort();
    }
    for (const auto& entry : networks) {
        (void)qvl::services::ShownName(entry);
        (void)qvl::services::CanRegister(entry);
    }
    (void)qvl::services::ParseForwardQuery(text, 1);
    (void)qvl::services::ParseWaitingQuery(text, 1);
    (void)qvl::services::ParseIdentityLine(text, u"AT+CGSN");
    return 0;
}

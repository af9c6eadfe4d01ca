#include "platform/ipc/ipc.h"

namespace qvl {

std::string WindowBusName(std::u16string_view name) {
    std::string bus = "org.quorvel.phone.";
    if (name.empty()) {
        bus += '_';
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        // An element of a bus name may not start with a digit.
        if (letter || (digit && i > 0)) {
            bus += static_cast<char>(c);
        } else {
            bus += '_';
        }
    }
    return bus;
}

}  // namespace qvl

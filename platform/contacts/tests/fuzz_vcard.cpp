// Any bytes as a contact file: cards with clean values, or none; never a crash or a hang. What
// the phone writes from a card read back gives the same card.
#include <cstdlib>

#include "platform/contacts/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto cards =
        qvl::ParseVCards(std::string_view(reinterpret_cast<const char*>(data), size));
    if (cards.size() > qvl::kMaxCardsPerFile) {
        std::abort();
    }
    for (const qvl::VCard& card : cards) {
        for (const char16_t c : card.formattedName + card.givenName + card.familyName) {
            if (c < 0x20) {
                std::abort();  // a control character survived
            }
        }
        const auto back = qvl::ParseVCards(qvl::WriteVCard(card));
        if (back.size() != 1 || back[0].givenName != card.givenName ||
            back[0].familyName != card.familyName || back[0].tels.size() > card.tels.size()) {
            std::abort();
        }
    }
    return 0;
}

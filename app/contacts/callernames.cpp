#include "app/contacts/callernames.h"

#include "app/engine/phoneengine.h"

namespace qvl {

int ReadSimCountryCode(CPhoneEngine& engine) {
    CPhoneEngine::BusyScope busy(engine);
    if (!engine.AcquirePort()) {
        return -1;
    }
    std::u16string response;
    const bool written = engine.Exchange(u"AT+CIMI\r", kCommandTimeoutMs, response, Dispatch::Yes);
    engine.ReleasePort();
    return written ? ParseImsiMcc(response) : -1;
}

CallerNames::CallerNames(std::string contactsFolder)
    : m_book(std::move(contactsFolder)), m_matcher(RegionFromLocale()) {}

void CallerNames::SetSimCountryCode(int mcc) {
    const std::string region = RegionForMcc(mcc);
    m_matcher.SetRegion(region.empty() ? RegionFromLocale() : region);
}

std::u16string CallerNames::Lookup(std::u16string_view number) {
    const std::vector<NamedNumber> sim = m_sim ? m_sim() : std::vector<NamedNumber>();
    const auto contacts = m_book.Records();
    return m_matcher.LookupCallerName(
        number, sim,
        contacts ? std::span<const ContactRecord>(*contacts) : std::span<const ContactRecord>());
}

}  // namespace qvl

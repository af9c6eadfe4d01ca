// The name of the caller: the SIM book's entries first, then the contacts, compared as phone
// numbers.
//
// Two numbers are one number when they are written alike (digits compared, so short service
// numbers match themselves), or when libphonenumber finds them to be the same number
// (IsNumberMatch: an exact or a national-significant-number match), read in the home region:
// the country of the SIM's network code (the MCC of its IMSI), else of the locale. So the
// national form "030 1234567" and the international form "+49 30 1234567" of one number
// match, while an entry "0", an empty entry or a short number that is only a part of the
// caller's number does not.
//
// The lookup works on copies of what is already read (the SIM book's cache, the contacts
// folder): it never asks the modem, so it can run while a call rings.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/contacts/contactbook.h"

namespace qvl {

struct NamedNumber {
    std::u16string name;
    std::u16string number;
};

// The region (ISO 3166 code, "DE") of a mobile country code, or empty.
std::string RegionForMcc(int mcc);
// The mobile country code of the SIM from the answer text of AT+CIMI (escaped response text):
// the first three digits of the IMSI, or -1.
int ParseImsiMcc(std::u16string_view response);
// The region of the locale (LC_ALL, LC_TELEPHONE, LANG: "de_DE.UTF-8" gives "DE"), or empty.
std::string RegionFromLocale();

class CallerNameMatcher {
  public:
    // region: ISO 3166 code of the home country; empty or unknown: numbers are compared
    // without one (an international number still matches its national form).
    explicit CallerNameMatcher(std::string region = {});
    ~CallerNameMatcher();
    CallerNameMatcher(const CallerNameMatcher&) = delete;
    CallerNameMatcher& operator=(const CallerNameMatcher&) = delete;

    void SetRegion(std::string region);
    const std::string& Region() const { return m_region; }

    bool SameNumber(std::u16string_view a, std::u16string_view b) const;

    // The first SIM entry whose number is the caller's, else the first contact (its work,
    // mobile, then home number); empty when none is.
    std::u16string LookupCallerName(std::u16string_view caller,
                                    std::span<const NamedNumber> simBook,
                                    std::span<const ContactRecord> contacts) const;

  private:
    struct Prepared;
    Prepared Prepare(std::u16string_view number) const;
    bool Matches(const Prepared& caller, std::u16string_view stored) const;

    std::string m_region;
};

}  // namespace qvl

// The caller-name lookup of the ringing call: the SIM book's cached entries, then the contacts
// folder, compared in the home region (the SIM's country once the modem told it, else the
// locale's). Nothing here talks to the modem while a call rings: the SIM's country is asked
// once per session, after the modem's set-up.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/contacts/callername.h"

namespace qvl {

class CPhoneEngine;

// Asks the SIM for its IMSI (AT+CIMI) under the engine's busy scope; its mobile country code,
// or -1.
int ReadSimCountryCode(CPhoneEngine& engine);

class CallerNames {
  public:
    using SimEntries = std::function<std::vector<NamedNumber>()>;

    explicit CallerNames(std::string contactsFolder = ContactsFolderPath());

    // The SIM book's entries as cached (never read from the modem by this call).
    void SetSimBook(SimEntries entries) { m_sim = std::move(entries); }
    // The SIM's mobile country code (-1 or an unknown code: the locale's region).
    void SetSimCountryCode(int mcc);
    const std::string& Region() const { return m_matcher.Region(); }

    std::u16string Lookup(std::u16string_view number);
    ContactBook& Contacts() { return m_book; }

  private:
    ContactBook m_book;
    CallerNameMatcher m_matcher;
    SimEntries m_sim;
};

}  // namespace qvl

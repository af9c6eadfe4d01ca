// The seed file: a readable text that sets the simulated handset's starting state. Lines are
// "key = value" under "[section]" headers; "#" starts a comment. README.md describes every key.
#pragma once

#include <string>
#include <string_view>

#include "tools/modemsim/modem_state.h"

namespace qvl::sim {

// Parses seed text on top of seed (normally DefaultSeed()). Returns false and names the first bad
// line in error; the seed then holds what was read before it.
bool ParseSeed(std::string_view text, ModemSeed& seed, std::string* error);
bool LoadSeedFile(const std::string& path, ModemSeed& seed, std::string* error);

// A GSM 03.40 SMS-DELIVER PDU (upper-case hex, service-centre address first) for a text from
// a sender at a time "YYYY-MM-DD hh:mm:ss". Texts that the GSM default alphabet holds are
// packed in 7 bits, others sent as UCS2. Empty when the text does not fit one message or an
// address or the time is malformed.
std::string EncodeDeliverPdu(const std::string& serviceCentre, const std::string& sender,
                             const std::string& time, const std::string& utf8Text);

// The local time as "YYYY-MM-DD hh:mm:ss+hh:mm", the form the encoders take.
std::string LocalTimeStamp();

// A GSM 03.40 SMS-STATUS-REPORT PDU for message reference mr to a recipient, with TP-Status
// status (0 delivered), both time stamps set to time.
std::string EncodeStatusReportPdu(const std::string& serviceCentre, int mr,
                                  const std::string& recipient, const std::string& time,
                                  int status);

}  // namespace qvl::sim

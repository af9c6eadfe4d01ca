// The modem queries of an MMS send: the numeric code of the network the phone is on (which
// picks the profile), and the PDP context the data call uses (GSM 07.07 AT+CGDCONT).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {
class CPhoneEngine;
}

namespace qvl::mms {

// A context the modem has defined (a "+CGDCONT:" line of the read answer).
struct DefinedContext {
    int cid = 0;
    std::u16string apn;  // empty when the line carries none
};

// The contexts of an AT+CGDCONT? answer (escaped response text), each line read on its own:
// a line without an APN gives an empty one, never the next line's text. Lines whose context
// number is no number from 1 to 255 are skipped.
std::vector<DefinedContext> ParseDefinedContexts(std::u16string_view answer);
// The highest context number of an AT+CGDCONT=? answer ("+CGDCONT: (1-n),..."), 10 when the
// answer gives none, and never above 99 (the highest a data call's init command can name).
int ParseMaxContextId(std::u16string_view answer);
// The context of a defined context whose APN equals apn ignoring case, or 0.
int MatchingContextId(const std::vector<DefinedContext>& defined, std::u16string_view apn);
// The smallest number from 1 to maxId that no defined context uses; maxId when all are used;
// 1 when none is defined.
int FreeContextId(const std::vector<DefinedContext>& defined, int maxId);

// The operator's numeric code (MCC and MNC as one number) through the engine, holding the
// engine's session lock and busy flag; -1 when the port is closed or the answer holds none.
std::int64_t DetectOperatorCode(CPhoneEngine& engine);
// The context for the profile's APN: a context already defined with it, else a free one (1
// when the port is closed). Holds the engine's session lock and busy flag.
int SelectContextId(CPhoneEngine& engine, std::u16string_view apn);

}  // namespace qvl::mms

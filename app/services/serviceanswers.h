// Pure readers of the answers of the call settings and the modem information: GSM 07.07
// AT+CCFC and AT+CCWA status queries, and the identity queries AT+CGMR, AT+CGMM, AT+CGMI,
// AT+CGSN. Each reads the escaped response text through the AT answer cursor.
#pragma once

#include <string>
#include <string_view>

namespace qvl::services {

// What a status query of forwarding or waiting says about one class.
enum class ServiceState { Failed, Active, Inactive };

struct ForwardState {
    ServiceState state = ServiceState::Failed;
    std::u16string number;  // the forward-to number while active (may be empty)
};

// AT+CCFC=<reason>,2,,,<class>: the line of the asked class decides ("+CCFC: 1,1,"+123",145"
// diverts voice to +123; "+CCFC: 0,7" is off for every class). Lines of other classes do not
// count; an active line for other classes only means this class is off. Failed without a
// final OK or without any readable "+CCFC:" line.
ForwardState ParseForwardQuery(std::u16string_view answer, int classValue);

// AT+CCWA=1,2,<class>: as the forwarding query, from "+CCWA: <status>,<class>" lines.
ServiceState ParseWaitingQuery(std::u16string_view answer, int classValue);

// The identity line of an AT+CGMR, AT+CGMM, AT+CGMI or AT+CGSN answer: the line after the
// command's echo (the first line when the modem does not echo), without a "+CGMR: " style
// prefix. Empty unless the answer ends with OK.
std::u16string ParseIdentityLine(std::u16string_view answer, std::u16string_view command);

}  // namespace qvl::services

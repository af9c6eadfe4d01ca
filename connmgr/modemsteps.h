// What the dial-up library says to the modem itself, on the data port, before pppd dials: the
// SIM PIN when the SIM asks for it, and an init command too long for the dial script. Both
// open the port with the library's copy of the serial transport and close it on every path,
// so that pppd finds it free.
#pragma once

#include <string>
#include <string_view>

#include "common/ports/uiports.h"

namespace qvl::connmgr {

enum class SimStep {
    Ready,       // the SIM is unlocked (or the port does not tell: the dial goes on)
    PinEntered,  // it asked for its PIN and took the one we had
    NoPin,       // it asks for its PIN and none is known
    PinRefused,  // it refused the PIN
    Blocked,     // it asks for the PUK
    PortFailed,  // the port could not be opened (detail: why)
};

struct SimResult {
    SimStep step = SimStep::Ready;
    std::u16string detail;
};

// Asks the SIM's state with AT+CPIN? and sends the PIN only when it answers "SIM PIN" (a PIN
// sent to an unlocked SIM is an error). pin is used only when it passes IsValidCode (4 to 8
// digits).
SimResult UnlockSim(std::u16string_view port, std::u16string_view pin);

// Sends an init command (prefixed with "AT" when it does not start with it) and waits up to
// 3000 ms for the answer, showing 5014 "Initializing..." in the progress window. 0 when the
// modem answered OK; the port's error code when it could not be opened or written; EPROTO when
// the answer was anything else. The command must have passed IsSafeInitCommand.
int SendLongInit(std::u16string_view port, std::u16string_view text, const UiPorts& ports);

}  // namespace qvl::connmgr

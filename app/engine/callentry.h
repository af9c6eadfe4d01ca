// One row of the engine's call table, as AT+CLCC (GSM 07.07) reports it.
#pragma once

#include <cstdint>
#include <string>

namespace qvl {

enum class CallState : std::int32_t {
    Active = 0,
    Held = 1,
    Dialing = 2,
    Alerting = 3,
    Incoming = 4,
    Waiting = 5,
};

struct CallEntry {
    std::int32_t index = 0;       // call id, used in AT+CHLD=1x / 2x
    std::int32_t direction = 0;   // 0 mobile-originated, 1 mobile-terminated
    std::int32_t state = 0;       // CallState value as the modem sent it
    std::int32_t multiparty = 0;  // 1 when the call is part of a conference
    std::u16string number;

    bool operator==(const CallEntry&) const = default;
};

}  // namespace qvl

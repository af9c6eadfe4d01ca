// Modem port discovery: the candidates a user may choose from, read from the registry.
//
// External modems are registered under HKLM\ExtModems (by the user or the modem simulator);
// the serial devices of the machine appear under HKLM\Drivers\Active, a volatile overlay that
// RefreshSerialDevices() (platform/serial/devices.h) fills from /sys/class/tty.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvl {

struct ModemEntry {
    std::u16string label;        // shown in the modem chooser list
    std::u16string displayName;  // the driver's friendly name or plug-and-play id
    std::u16string portName;     // the device to open, e.g. /dev/ttyUSB2
};

// The size of the callers' arrays.
inline constexpr std::size_t kMaxModemEntries = 20;

// Fills at most capacity entries: external modems first, then active drivers. Returns the
// number filled.
std::size_t EnumerateModems(ModemEntry* entries, std::size_t capacity);

// Looks up a multiplexer channel ("MPLCMD" or "MPLDATA") among the external modems with
// "DeviceType" 1. True when found, with its display name and port.
bool FindExtModem(std::u16string_view channel, std::u16string& displayName,
                  std::u16string& portName);

}  // namespace qvl

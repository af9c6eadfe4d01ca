// The serial-device overlay of the registry: HKLM\Drivers\Active filled from the machine's tty
// devices, as the handheld's device manager keeps it for the drivers it loaded.
//
// Each device becomes a volatile subkey of "Drivers\Active" ("00", "01", ...) with
//   "Name": the device to open (its /dev/serial/by-id link when there is one, which survives
//           re-plugging; else /dev/<tty>),
//   "Key":  the driver key, itself volatile, which holds "FriendlyName".
// USB serial and ACM devices get driver keys under "Drivers\USB" with the USB product string as
// friendly name; Bluetooth rfcomm devices under "Drivers\Bluetooth" with a friendly name ending
// in "[DUN]"; built-in UARTs (ttyS*, ttyAMA*, ...) under "Drivers\BuiltIn", so that they are not
// offered as modems. Virtual terminals (no device behind them) are left out.
#pragma once

#include <string>

namespace qvl {

struct SerialDeviceRoots {
    std::string sys = "/sys";  // holds class/tty
    std::string dev = "/dev";  // holds serial/by-id and the device nodes
};

// Replaces the overlay with the devices present now. Returns the number of devices listed.
int RefreshSerialDevices(const SerialDeviceRoots& roots = {});

}  // namespace qvl

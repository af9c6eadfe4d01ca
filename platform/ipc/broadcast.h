// A change announced to every program of the suite (the handheld's WM_SETTINGCHANGE sent to
// all top-level windows): a D-Bus signal on the session bus, sent without waiting for any
// receiver. Plain C++ over libdbus, so that the setup library and the install step carry no Qt;
// the receivers (Qt programs) subscribe with QtDBus.
#pragma once

#include <cstdint>
#include <string>

namespace qvl {

inline constexpr const char* kSettingChangePath = "/org/quorvel/phone/Broadcast";
inline constexpr const char* kSettingChangeInterface = "org.quorvel.phone.Broadcast";
inline constexpr const char* kSettingChangeMember = "SettingChange";
// The wParam of a setting change that asks the Today screen to read its items again.
inline constexpr std::uint32_t kTodayRefreshRequest = 0xF2;
// The longest time the bus is given to take the signal (it normally takes well under a
// millisecond); a bus that does not answer costs no more than this.
inline constexpr int kBroadcastLimitMs = 1000;

// The session bus: $DBUS_SESSION_BUS_ADDRESS, else the user bus socket $XDG_RUNTIME_DIR/bus
// when it exists; empty when there is neither. An address that would start a bus of its own
// ("autolaunch:") counts as none: a broadcast never starts anything.
std::string SessionBusAddress();

// Sends SettingChange(u wParam) to everyone on the session bus. False at once when there is no
// bus; false when the bus did not take the signal within kBroadcastLimitMs.
bool BroadcastSettingChange(std::uint32_t wParam);

}  // namespace qvl

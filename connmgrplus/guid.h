// GUIDs of the connection manager's registry entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qvl {

// A new GUID from the system's random source (RFC 4122 version 4) in the registry's text form:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::u16string MakeGuidString();

// The text form of 16 octets (version and variant bits as given).
std::u16string GuidText(const std::array<std::uint8_t, 16>& octets);

}  // namespace qvl

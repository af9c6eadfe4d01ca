// Internal helpers of the SMS codec: hex text <-> octets, and the octet-level forms of the
// septet and UCS2 conversions that the PDU decoders share.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::sms {

// Two digits per octet; 0-9, A-F, a-f are digits, any other character counts as 0; an odd
// final digit is dropped.
std::vector<std::uint8_t> FromHex(std::string_view hex);
// Upper-case hex, two digits per octet.
std::string ToHex(std::span<const std::uint8_t> octets);
void AppendHexOctet(std::string& out, unsigned octet);

// The first min(maxSeptets, octets * 8 / 7) septets of packed data.
std::vector<std::uint8_t> UnpackSeptetBytes(std::span<const std::uint8_t> octets,
                                            std::size_t maxSeptets);
// UTF-16 big-endian code units from the first min(maxOctets, size) octets.
std::u16string Ucs2FromOctets(std::span<const std::uint8_t> octets, std::size_t maxOctets);

}  // namespace qvl::sms

// The networks a search found: the answer of GSM 07.07 AT+COPS=? read into records.
//
// Each parenthesised entry is read on its own, "(stat,"long","short","numeric"[,AcT])": the
// access technology of the current form is passed over, empty names are kept (the entry
// still names its network by its numeric code), and an entry that cannot be read is skipped
// without moving the others. The trailing lists of supported modes and formats hold no quoted
// names and are never taken for networks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::services {

// GSM 07.07 availability of a network.
enum class NetworkStatus { Unknown = 0, Available = 1, Current = 2, Forbidden = 3 };

struct NetworkEntry {
    std::u16string longName;
    std::u16string shortName;
    std::u16string numeric;  // MCC and MNC, used for the registration
    NetworkStatus status = NetworkStatus::Unknown;
};

// The list holds at most this many networks; further entries of an answer are ignored.
inline constexpr std::size_t kMaxNetworks = 20;

// The networks of an AT+COPS=? answer, in the order of the answer; empty when the answer
// carries no "+COPS:" list.
std::vector<NetworkEntry> ParseNetworkList(std::u16string_view answer);

// The name the list shows: the long name, else the short one, else the numeric code.
std::u16string ShownName(const NetworkEntry& entry);

// A network may be registered on when it is not forbidden and its numeric code is one
// (5 or 6 digits) that can be sent.
bool CanRegister(const NetworkEntry& entry);

}  // namespace qvl::services

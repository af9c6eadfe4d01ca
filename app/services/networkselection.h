// Network selection with GSM 07.07 AT+COPS: return to automatic selection, search the networks
// the modem can see, register by hand on one of them. A registration made by hand stays: the
// engine keeps the choice, so that its status checks do not return the modem to automatic
// selection, until Automatic is chosen again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/services/networklist.h"
#include "app/services/servicecontext.h"

namespace qvl::services {

enum class SearchOutcome { Listed, NoNetworks, Canceled, PortClosed };
enum class RegisterOutcome { Registered, Denied, NothingSelected, PortClosed };

class NetworkSelection {
  public:
    // A search may take minutes on a real network; the user can cancel it.
    static constexpr std::uint32_t kSearchTimeoutMs = 180000;
    static constexpr std::uint32_t kRegisterTimeoutMs = 20000;

    explicit NetworkSelection(ServiceContext context) : m_context(std::move(context)) {}

    // Automatic selection, then the operator's name. True when a name was obtained; false also
    // when the port is not open (nothing changes then).
    bool Automatic();
    // Lists the networks (Networks()). A search that gets no list leaves it empty and says so;
    // a canceled one keeps the previous list.
    SearchOutcome Search();
    // Registers on the network at index of Networks(); -1: none selected. A registration marks
    // that network as the list's current one; so does Automatic for the network whose name it
    // finds (when exactly one of the list bears it).
    RegisterOutcome Register(int index);

    const std::vector<NetworkEntry>& Networks() const { return m_networks; }
    // The result of the last Automatic or Register.
    const std::u16string& CurrentNetwork() const { return m_current; }

    void SetSearchTimeoutMs(std::uint32_t ms) { m_searchTimeoutMs = ms; }

  private:
    // The network at index becomes the list's current one (the one before it stays available).
    void MarkCurrent(std::size_t index);

    ServiceContext m_context;
    std::vector<NetworkEntry> m_networks;
    std::u16string m_current;
    std::uint32_t m_searchTimeoutMs = kSearchTimeoutMs;
};

}  // namespace qvl::services

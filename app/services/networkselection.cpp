#include "app/services/networkselection.h"

#include "base/finalresult.h"

namespace qvl::services {

bool NetworkSelection::Automatic() {
    CPhoneEngine& engine = m_context.engine;
    ProgressScope progress(m_context, kTextGettingNetwork);
    CPhoneEngine::BusyScope busy(engine);
    PortScope port(engine);
    if (!port.Held()) {
        return false;
    }
    engine.SetNetworkMode(NetworkMode::Automatic);
    std::u16string response;
    // The answer is not judged: the operator check that follows tells where the modem is.
    engine.Exchange(u"AT+COPS=0,0\r", kCommandTimeoutMs, response, Dispatch::Yes);
    std::u16string name;
    int status = 0;
    if (engine.CheckNetwork(name, status)) {
        engine.OperatorFound(name);
        m_current = name;
        std::size_t found = m_networks.size();
        std::size_t matches = 0;
        for (std::size_t i = 0; i < m_networks.size(); ++i) {
            if (ShownName(m_networks[i]) == name) {
                found = i;
                ++matches;
            }
        }
        if (matches == 1) {
            MarkCurrent(found);
        }
        return true;
    }
    engine.OperatorLost();
    m_current.clear();
    return false;
}

SearchOutcome NetworkSelection::Search() {
    CPhoneEngine& engine = m_context.engine;
    ProgressScope progress(m_context, kTextGettingNetworks, true);
    LongAnswer outcome = LongAnswer::WriteFailed;
    std::u16string response;
    {
        CPhoneEngine::BusyScope busy(engine);
        PortScope port(engine);
        if (!port.Held()) {
            return SearchOutcome::PortClosed;
        }
        outcome = engine.ExchangeLong(u"AT+COPS=?\r", m_searchTimeoutMs, response,
                                      [&progress] { return progress.Canceled(); });
    }
    progress.Close();
    switch (outcome) {
        case LongAnswer::Canceled:
            return SearchOutcome::Canceled;
        case LongAnswer::WriteFailed:
            if (!engine.IsPortOpen()) {
                return SearchOutcome::PortClosed;
            }
            break;
        case LongAnswer::Answered:
        case LongAnswer::TimedOut:
            break;
    }
    m_networks = AnsweredOk(response) ? ParseNetworkList(response) : std::vector<NetworkEntry>{};
    if (m_networks.empty()) {
        m_context.Show(kMsgNoNetworks);
        return SearchOutcome::NoNetworks;
    }
    return SearchOutcome::Listed;
}

RegisterOutcome NetworkSelection::Register(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_networks.size()) {
        m_context.Show(kMsgSelectNetwork);
        return RegisterOutcome::NothingSelected;
    }
    const NetworkEntry entry = m_networks[static_cast<std::size_t>(index)];
    if (!CanRegister(entry)) {
        // A forbidden network, or a code that cannot be sent: nothing goes to the modem.
        m_context.Show(kMsgRegistrationDenied);
        return RegisterOutcome::Denied;
    }
    CPhoneEngine& engine = m_context.engine;
    ProgressScope progress(m_context, kTextRegisteringNetwork);
    bool registered = false;
    {
        CPhoneEngine::BusyScope busy(engine);
        PortScope port(engine);
        if (!port.Held()) {
            return RegisterOutcome::PortClosed;
        }
        std::u16string response;
        // Manual selection in numeric format.
        engine.Exchange(u"AT+COPS=1,2,\"" + entry.numeric + u"\"\r", kRegisterTimeoutMs, response,
                        Dispatch::Yes);
        // Only OK registers: ERROR, +CME ERROR and silence are refusals.
        registered = AnsweredOk(response);
        if (registered) {
            engine.SetNetworkMode(NetworkMode::Manual);
            engine.OperatorFound(ShownName(entry));
            m_current = ShownName(entry);
            MarkCurrent(static_cast<std::size_t>(index));
        } else {
            // The next status check returns the modem to automatic selection, so that the
            // phone finds a network again.
            engine.SetNetworkMode(NetworkMode::Automatic);
        }
    }
    progress.Close();
    if (!registered) {
        m_context.Show(kMsgRegistrationDenied);
        engine.OperatorLost();
        m_current.clear();
        return RegisterOutcome::Denied;
    }
    return RegisterOutcome::Registered;
}

void NetworkSelection::MarkCurrent(std::size_t index) {
    for (NetworkEntry& entry : m_networks) {
        if (entry.status == NetworkStatus::Current) {
            entry.status = NetworkStatus::Available;
        }
    }
    m_networks[index].status = NetworkStatus::Current;
}

}  // namespace qvl::services

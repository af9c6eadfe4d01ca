// Call forwarding and call waiting, the GSM 07.07 supplementary services AT+CCFC and AT+CCWA:
// each command is one exchange with the network through the modem, and its outcome is told
// in a message box. Every command returns the id of the message it showed (0: none).
#pragma once

#include <cstdint>
#include <string>

#include "app/services/servicecontext.h"

namespace qvl::services {

// Forwarding conditions; the value is the GSM 07.07 reason.
enum class ForwardCondition { Always = 0, MobileBusy = 1, NoReply = 2, NotReachable = 3 };
inline constexpr int kForwardConditions = 4;
// Service classes of the page; the value is the GSM 07.07 class.
enum class ServiceClass { Voice = 1, Data = 2, Fax = 4 };

// The no-reply times offered: 5 to 30 seconds in steps of 5; index 0 is 5 s.
inline constexpr int kNoReplyTimes = 6;
inline constexpr int NoReplySeconds(int index) {
    return (index + 1) * 5;
}

class CallForwarding {
  public:
    static constexpr std::uint32_t kTimeoutMs = 25000;

    explicit CallForwarding(ServiceContext context) : m_context(std::move(context)) {}

    // condition: a ForwardCondition value, -1 when none is selected (message 5012).
    int Enable(int condition, ServiceClass serviceClass);
    int Disable(int condition, ServiceClass serviceClass);
    // Registers number as the forward-to number. For "No reply" the time of timeIndex goes
    // with it; a network that refuses the time is asked once more without it.
    int Register(int condition, ServiceClass serviceClass, const std::u16string& number,
                 int timeIndex);
    int Unregister(int condition, ServiceClass serviceClass);
    // Whether forwarding is on for the condition and class, and where to.
    int QueryStatus(int condition, ServiceClass serviceClass);

  private:
    // A change (mode 0 disable, 1 enable, 4 erase) of the condition and class.
    int Change(int condition, ServiceClass serviceClass, int mode, int progressText,
               int successMessage, int failureMessage);
    // A change succeeded: the modem echoed the command and answered OK.
    static bool Changed(const std::u16string& response);

    ServiceContext m_context;
};

class CallWaiting {
  public:
    static constexpr std::uint32_t kTimeoutMs = 25000;

    explicit CallWaiting(ServiceContext context) : m_context(std::move(context)) {}

    int Enable() { return Switch(true); }
    int Disable() { return Switch(false); }
    int QueryStatus();

  private:
    int Switch(bool on);

    ServiceContext m_context;
};

}  // namespace qvl::services

// Security codes (GSM 07.07 AT+CPWD: network code, phone code, PIN, PIN2), the SIM PIN lock and
// the phone-code lock (AT+CLCK), and the modem information (AT+CGMR, AT+CGMM, AT+CGMI,
// AT+CGSN). Commands that carry a code go through the engine's untraced path; a change counts
// only when the modem answered OK. Every command returns the id of the message it showed
// (0: none).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/services/servicecontext.h"

namespace qvl::services {

// The codes of the selector, in its order.
enum class CodeKind { Network = 0, Phone = 1, Pin = 2, Pin2 = 3 };
inline constexpr int kCodeKinds = 4;

// Facility, required length of old and new code, progress text and length message of a code.
struct CodeRule {
    std::u16string_view facility;
    std::size_t length;
    int progressText;
    int lengthMessage;
};
const CodeRule& RuleOf(CodeKind kind);

// A code typed into the lock toggle's PIN dialog: a PIN or phone code of 4 to 8 digits.
inline constexpr std::size_t kMinLockCode = 4;
inline constexpr std::size_t kMaxLockCode = 8;

class SecurityCodes {
  public:
    static constexpr std::uint32_t kTimeoutMs = 20000;

    explicit SecurityCodes(ServiceContext context) : m_context(std::move(context)) {}

    // kind: a CodeKind value, -1 when none is selected. After a PIN change the engine's stored
    // PIN is the new one, so that a session restart unlocks the SIM with it.
    int ChangeCode(int kind, const std::u16string& oldCode, const std::u16string& newCode,
                   const std::u16string& verifyCode);
    // Asks for the code in the PIN dialog and switches the lock; the engine keeps the new lock
    // state, and a code the SIM accepted for its PIN lock becomes the stored PIN.
    int ToggleLock(LockFacility facility);

  private:
    // Sends a command that carries codes under the session lock, the busy flag and the
    // progress window. False when the port is not open.
    bool RunSecret(std::u16string& command, int progressText, std::u16string& response);

    ServiceContext m_context;
};

struct ModemInfo {
    std::u16string version;
    std::u16string model;
    std::u16string manufacturer;
    std::u16string imei;
};

// Asks the four items, each up to four times while its text is empty, under a progress
// window of four steps. All empty when the port is not open.
ModemInfo ReadModemInfo(const ServiceContext& context);

}  // namespace qvl::services

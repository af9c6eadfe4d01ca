// The outside services the phone engine calls: the user-interface ports (PIN dialog, modem
// chooser, message boxes, event sink, message pump) and the system services it reads (modem
// I/O, modem discovery, clock, power supply, operator profiles, inter-program messages).
// Everything is a pure interface; the Qt shell and the platform implement them, tests use the
// scripted fakes in app/engine/testing/.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/answers.h"
#include "app/engine/events.h"
#include "common/ports/uiports.h"
#include "common/transport/discovery.h"
#include "common/transport/transport.h"
#include "platform/sync.h"

namespace qvl {

class IWindowMessenger;

enum class DialogResult { Ok, Cancel };

// The PIN dialog (template 103): a prompt, an attempts line (may be empty) and a code field.
// On Ok, code holds what the user typed.
class IPinDialog {
  public:
    virtual ~IPinDialog() = default;
    virtual DialogResult AskCode(std::u16string_view prompt, std::u16string_view attempts,
                                 std::u16string& code) = 0;
};

// The modem chooser (template 110): the labels of the found modems; on Ok, chosen is the
// selected entry (its port and display name are used).
class IModemChooser {
  public:
    virtual ~IModemChooser() = default;
    virtual DialogResult ChooseModem(const std::vector<ModemEntry>& modems, ModemEntry& chosen) = 0;
};

// Where the modem candidates come from. The default reads the registry (EnumerateModems,
// FindExtModem).
class IModemDirectory {
  public:
    virtual ~IModemDirectory() = default;
    virtual std::vector<ModemEntry> EnumerateModems(std::size_t capacity) = 0;
    virtual bool FindExtModem(std::u16string_view channel, std::u16string& displayName,
                              std::u16string& portName) = 0;
};

// The engine's access to the serial port. The default is the transport (PortInitialize,
// PortWrite, PortRead, PortClose) over a real tty; tests may script it.
class IModemIo {
  public:
    virtual ~IModemIo() = default;
    virtual int Open(std::u16string_view portName, PortHandle& handle) = 0;
    virtual int Write(PortHandle handle, std::u16string_view command) = 0;
    // A command that carries a PIN, PUK or phone code, and the answer that echoes it: written
    // and read like Write and Read, but never traced.
    virtual int WriteSecret(PortHandle handle, std::u16string_view command) {
        return Write(handle, command);
    }
    virtual void ReadSecret(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) {
        Read(handle, response, timeoutMs);
    }
    virtual void Read(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) = 0;
    virtual int Close(PortHandle& handle) = 0;
    // True when the device behind the open port has gone (closed, unplugged).
    virtual bool DeviceLost(PortHandle) { return false; }
};

// The machine's power supply as the battery icon needs it.
class IPowerSupply {
  public:
    virtual ~IPowerSupply() = default;
    virtual PowerStatus Read() = 0;
};

// Operator names of the MMS profiles, by numeric network code (MCC and MNC as one number).
class IOperatorProfiles {
  public:
    virtual ~IOperatorProfiles() = default;
    virtual std::optional<std::u16string> OperatorNameForCode(std::int64_t networkCode) = 0;
};

struct EnginePorts {
    IDialerEventSink* sink = nullptr;       // null: events are dropped
    IPinDialog* pinDialog = nullptr;        // null: every PIN entry counts as canceled
    IModemChooser* chooser = nullptr;       // null: the chooser counts as canceled
    IMessageBoxPort* messages = nullptr;    // null: message boxes are not shown
    IMessagePump* pump = nullptr;           // null: the transport's installed pump
    IModemIo* io = nullptr;                 // null: the serial transport
    IModemDirectory* modems = nullptr;      // null: the registry
    IClock* clock = nullptr;                // null: the system clock
    IPowerSupply* power = nullptr;          // null: /sys/class/power_supply
    IOperatorProfiles* profiles = nullptr;  // null: "QVLMMSProfiles.dat" in the device root
    IWindowMessenger* messenger = nullptr;  // null: NotifyTodayItem does nothing
    // The current language's text of a message id. Null: LoadLocalString.
    std::function<std::u16string(int)> text;
};

}  // namespace qvl

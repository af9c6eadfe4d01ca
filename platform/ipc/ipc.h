// Messages between the programs of the suite: the Linux form of "find a window by its class
// name and send it a message".
//
// A program publishes a window under a name (its window class, e.g. "QVLDialerToday"); others
// find it by that name and send it (message, wParam, lParam), synchronously, getting the
// handler's result back. The D-Bus implementation (ipc_dbus.h) maps a published window to an
// object on the session bus; NullWindowMessenger finds nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvl {

class IWindowMessenger {
  public:
    virtual ~IWindowMessenger() = default;
    // True when a window is published under this name right now.
    virtual bool FindWindow(std::u16string_view name) = 0;
    // Sends the message and waits for the handler. False when no such window exists or the
    // call failed; then result is left as it was.
    virtual bool SendWindowMessage(std::u16string_view name, std::uint32_t message,
                                   std::int64_t wParam, std::int64_t lParam,
                                   std::int64_t* result = nullptr) = 0;
    // Hands the message to the window without waiting for its handler (the handheld's
    // PostMessage): a program that must not freeze while another one is busy uses this. True
    // when the message was given to the transport; whether the window handled it is not known.
    virtual bool PostWindowMessage(std::u16string_view name, std::uint32_t message,
                                   std::int64_t wParam, std::int64_t lParam) = 0;
};

// For machines without a session bus: no window is ever found, nothing is sent.
class NullWindowMessenger final : public IWindowMessenger {
  public:
    bool FindWindow(std::u16string_view) override { return false; }
    bool SendWindowMessage(std::u16string_view, std::uint32_t, std::int64_t, std::int64_t,
                           std::int64_t*) override {
        return false;
    }
    bool PostWindowMessage(std::u16string_view, std::uint32_t, std::int64_t,
                           std::int64_t) override {
        return false;
    }
};

// The bus name under which a window of this name is published: "org.quorvel.phone.<name>",
// with every character outside [A-Za-z0-9_] replaced by '_' (bus names allow no others).
std::string WindowBusName(std::u16string_view name);
inline constexpr const char* kWindowObjectPath = "/org/quorvel/phone/Window";
inline constexpr const char* kWindowInterface = "org.quorvel.phone.Window";
inline constexpr const char* kWindowMethod = "SendMessage";

}  // namespace qvl

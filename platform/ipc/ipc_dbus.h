// Inter-program messages on the D-Bus session bus (QtDBus).
//
// A published window is the object kWindowObjectPath on the bus name WindowBusName(name),
// with one method kWindowInterface.SendMessage(u message, x wParam, x lParam) -> x result.
// "Find" is a check that the bus name has an owner; "send" is a blocking method call, "post" a
// method call sent with no reply expected.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ipc/ipc.h"

namespace qvl {

class DbusWindowMessenger final : public IWindowMessenger {
  public:
    // connectionName: a QtDBus connection name; empty uses the application's session bus
    // connection. Without a session bus the messenger finds nothing and sends nothing.
    explicit DbusWindowMessenger(std::string connectionName = {});
    ~DbusWindowMessenger() override;
    bool Connected() const;
    bool FindWindow(std::u16string_view name) override;
    bool SendWindowMessage(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                           std::int64_t lParam, std::int64_t* result = nullptr) override;
    bool PostWindowMessage(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                           std::int64_t lParam) override;
    void SetCallTimeoutMs(int ms) { m_timeoutMs = ms; }

  private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_timeoutMs = 5000;
};

// The receiving side: publishes a window under a name and hands every message to the handler
// on the thread that owns the publisher (it needs a running Qt event loop there).
class DbusWindowPublisher final {
  public:
    using Handler = std::function<std::int64_t(std::uint32_t message, std::int64_t wParam,
                                               std::int64_t lParam)>;
    DbusWindowPublisher(std::u16string name, Handler handler, std::string connectionName = {});
    ~DbusWindowPublisher();
    DbusWindowPublisher(const DbusWindowPublisher&) = delete;
    DbusWindowPublisher& operator=(const DbusWindowPublisher&) = delete;
    // False when there is no bus or the name is taken by another program; Problem() tells.
    bool Publish();
    const std::string& Problem() const { return m_problem; }

  private:
    struct State;
    std::unique_ptr<State> m_state;
    std::string m_problem;
};

}  // namespace qvl

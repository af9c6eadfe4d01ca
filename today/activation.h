// The Today item's tap: bring the running main program up on its unread messages, or start it.
//
// The request to a running program is posted (the item never waits for the program's
// handler), and a program the item started is not started again while it is still coming up:
// a double tap starts one copy.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/ipc/ipc.h"
#include "platform/ipc/programs.h"

namespace qvl::today {

// The main program's request "open the message view on In Unread".
inline constexpr std::uint32_t kWmOpenMessages = 0x0400 + 200;

enum class Activation {
    Posted,           // the running program was asked to show its messages
    Started,          // the program was started, without arguments
    AlreadyStarting,  // the program started by an earlier tap is still coming up
    NotInstalled,     // no main program was found
    Failed,           // the request could not be posted, or the start failed
};

class MainProgramActivator {
  public:
    // windowTitle: the main program's window (text 5003). findMainProgram: the installed main
    // program's path (FindMainProgram).
    MainProgramActivator(IWindowMessenger& messenger, IProgramStarter& starter,
                         std::u16string windowTitle,
                         std::function<bool(std::u16string&)> findMainProgram);

    Activation Activate();

  private:
    IWindowMessenger& m_messenger;
    IProgramStarter& m_starter;
    std::u16string m_title;
    std::function<bool(std::u16string&)> m_find;
    std::optional<pid_t> m_started;
};

}  // namespace qvl::today

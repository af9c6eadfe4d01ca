// Starting another program of the suite (the handheld's CreateProcess of the main program by
// its path): by path and argv, never through a shell, in a session of its own so that it
// outlives the program that started it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qvl {

class IProgramStarter {
  public:
    virtual ~IProgramStarter() = default;
    // Starts path with these arguments (argv[0] is the path); the process id, or nothing when
    // it could not be started.
    virtual std::optional<pid_t> Start(const std::string& path,
                                       const std::vector<std::string>& args) = 0;
    // Whether a process started here is still running.
    virtual bool Running(pid_t pid) = 0;
};

class PosixProgramStarter final : public IProgramStarter {
  public:
    std::optional<pid_t> Start(const std::string& path,
                               const std::vector<std::string>& args) override;
    bool Running(pid_t pid) override;
};

// posix_spawn of path in a new session, with the default signal handling and an empty signal
// mask; the child's exit is collected by ProgramRunning.
std::optional<pid_t> StartProgram(const std::string& path, const std::vector<std::string>& args);

// True while the process runs. An exited child of this process is collected (so none is left
// as a zombie); a process that is not our child counts as running while it exists and is not
// a zombie.
bool ProgramRunning(pid_t pid);

}  // namespace qvl

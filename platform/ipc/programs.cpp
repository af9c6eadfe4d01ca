#include "platform/ipc/programs.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

extern char** environ;

namespace qvl {

std::optional<pid_t> PosixProgramStarter::Start(const std::string& path,
                                                const std::vector<std::string>& args) {
    return StartProgram(path, args);
}

bool PosixProgramStarter::Running(pid_t pid) {
    return ProgramRunning(pid);
}

std::optional<pid_t> StartProgram(const std::string& path, const std::vector<std::string>& args) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) {
        return std::nullopt;
    }
    // The started program handles its signals itself, whatever its starter ignored or blocked,
    // and a Ctrl-C meant for the starter's terminal does not reach it.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return std::nullopt;
    }
    return pid;
}

bool ProgramRunning(pid_t pid) {
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
        return false;  // our child, exited now
    }
    if (reaped == 0) {
        return true;  // our child, still running
    }
    // Not our child: it runs while it exists and is not a zombie ("Z" after the name in
    // /proc/<pid>/stat; the name itself may hold blanks and parentheses).
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' &&
           line[close + 2] != 'X';
}

}  // namespace qvl

// Serial devices on POSIX termios, with UUCP lock files.
#include "platform/serial/serial.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace qvl {
namespace {

struct LockRecord {
    std::string dir;
    std::string name;
};

// Descriptor -> lock file, so that SerialClose removes the right lock.
std::mutex g_locksMutex;
std::map<int, LockRecord> g_locks;

bool IsWritableDir(const char* dir) {
    struct stat st {};
    return ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK | X_OK) == 0;
}

// The PID in a lock file, or -1 when the file is missing, unreadable or holds no PID.
long ReadLockPid(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return -1;
    }
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) {
        return -1;
    }
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || pid <= 0 || pid > INT_MAX) {
        return -1;
    }
    return pid;
}

bool ProcessIsAlive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int CloseKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return saved;
}

// Raw 115200 8N1 without flow control; reads return at once with what is buffered.
int ConfigureLine(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return errno;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0) {
        return errno;
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        return errno;
    }
    // DTR and RTS up. A pseudo-terminal has no modem lines; its refusal is of no consequence.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &lines);
    return 0;
}

}  // namespace

std::string SerialLockDirectory() {
    if (const char* dir = std::getenv("QVL_LOCK_DIR"); dir != nullptr) {
        return dir;
    }
    for (const char* dir : {"/run/lock", "/var/lock"}) {
        if (IsWritableDir(dir)) {
            return dir;
        }
    }
    return {};
}

std::string UucpLockName(const std::string& devicePath) {
    std::string path = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr); real != nullptr) {
        path = real;
        std::free(real);
    }
    if (path.rfind("/dev/", 0) == 0) {
        path.erase(0, 5);
    } else if (const auto slash = path.rfind('/'); slash != std::string::npos) {
        path.erase(0, slash + 1);
    }
    for (char& c : path) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + path;
}

int AcquireUucpLock(const std::string& lockDir, const std::string& name) {
    const std::string lockPath = lockDir + "/" + name;
    // The lock appears complete or not at all: the PID is written to a private file first and
    // linked into place, so no other program ever reads a half-written lock.
    const std::string tempPath = lockDir + "/.tmp" + name + "." + std::to_string(::getpid());
    const int fd =
        ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return errno;
    }
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    const bool written = ::write(fd, text, static_cast<size_t>(len)) == len;
    const int writeError = written ? 0 : (errno != 0 ? errno : EIO);
    ::close(fd);
    if (!written) {
        ::unlink(tempPath.c_str());
        return writeError;
    }
    int result = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::link(tempPath.c_str(), lockPath.c_str()) == 0) {
            result = 0;
            break;
        }
        if (errno != EEXIST) {
            result = errno;
            break;
        }
        const long owner = ReadLockPid(lockPath);
        if (owner > 0 && ProcessIsAlive(owner)) {
            result = EBUSY;
            break;
        }
        // A stale lock of a dead process, or a file that holds no PID: take it over.
        ::unlink(lockPath.c_str());
        result = EBUSY;
    }
    ::unlink(tempPath.c_str());
    return result;
}

void ReleaseUucpLock(const std::string& lockDir, const std::string& name) {
    const std::string lockPath = lockDir + "/" + name;
    if (ReadLockPid(lockPath) == static_cast<long>(::getpid())) {
        ::unlink(lockPath.c_str());
    }
}

int SerialOpen(const std::string& path, int& fd) {
    fd = -1;
    const std::string lockDir = SerialLockDirectory();
    const std::string lockName = UucpLockName(path);
    if (!lockDir.empty()) {
        if (const int err = AcquireUucpLock(lockDir, lockName); err == EBUSY) {
            return EBUSY;
        }
        // Any other failure to lock (a read-only folder, a full disk) leaves TIOCEXCL alone to
        // keep other programs away.
    }
    auto releaseLock = [&] {
        if (!lockDir.empty()) {
            ReleaseUucpLock(lockDir, lockName);
        }
    };

    int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        const int err = errno;
        releaseLock();
        return err;
    }
    // The engine stores 0 for "no port"; a descriptor below 3 is moved up.
    if (handle < 3) {
        const int moved = ::fcntl(handle, F_DUPFD_CLOEXEC, 3);
        const int err = CloseKeepingErrno(handle);
        if (moved < 0) {
            releaseLock();
            return err;
        }
        handle = moved;
    }
    if (!::isatty(handle)) {
        const int err = errno == 0 ? ENOTTY : errno;
        ::close(handle);
        releaseLock();
        return err == EINVAL ? ENOTTY : err;
    }
    if (::ioctl(handle, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        const int err = CloseKeepingErrno(handle);
        releaseLock();
        return err;
    }
    if (const int err = ConfigureLine(handle); err != 0) {
        ::close(handle);
        releaseLock();
        return err;
    }
    if (!lockDir.empty()) {
        std::lock_guard<std::mutex> guard(g_locksMutex);
        g_locks[handle] = LockRecord{lockDir, lockName};
    }
    fd = handle;
    return 0;
}

int SerialClose(int fd) {
    LockRecord lock;
    bool locked = false;
    {
        std::lock_guard<std::mutex> guard(g_locksMutex);
        if (auto it = g_locks.find(fd); it != g_locks.end()) {
            lock = it->second;
            locked = true;
            g_locks.erase(it);
        }
    }
    (void)::ioctl(fd, TIOCNXCL);
    const int result = ::close(fd) == 0 ? 0 : errno;
    if (locked) {
        ReleaseUucpLock(lock.dir, lock.name);
    }
    return result;
}

}  // namespace qvl

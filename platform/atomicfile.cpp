// Atomic file replacement, the clean-up of interrupted replacements, and the copy kept of a
// damaged file.
#include "platform/atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "base/text.h"

namespace qvl {
namespace {

constexpr std::string_view kTempMark = ".tmp-";
constexpr std::size_t kRandomChars = 6;  // mkstemp's XXXXXX
constexpr std::size_t kCopySlice = 1 << 20;

// Creating a temporary file and locking it is one step for the clean-up of this process.
std::mutex& TempLock() {
    static std::mutex lock;
    return lock;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A new temporary file for target, created 0600 and locked; -1 on failure (errno set).
int CreateLockedTemp(const std::string& target, std::string& name) {
    std::string pattern = target + std::string(kTempMark) + std::to_string(::getpid()) + "-XXXXXX";
    std::lock_guard<std::mutex> guard(TempLock());
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        errno = e;
        return -1;
    }
    name = pattern;
    return fd;
}

// Copies everything `from` holds, from offset 0, to `to`, in slices.
bool CopyDescriptor(int from, int to) {
    std::vector<std::uint8_t> buffer(kCopySlice);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) {
            return false;
        }
        offset += n;
    }
}

// Keeps the current target as "<target>.bak". The target is only ever replaced by rename,
// never written in place, so a hard link preserves its bytes; a copy is made where links
// fail (file systems without them).
void KeepPrevious(const std::string& target) {
    const std::string bak = target + ".bak";
    std::string temp;
    const int probe = CreateLockedTemp(bak, temp);  // reserves a unique name
    if (probe < 0) {
        return;
    }
    ::unlink(temp.c_str());
    ::close(probe);
    bool made = ::link(target.c_str(), temp.c_str()) == 0;
    if (!made && errno != ENOENT) {  // ENOENT: no previous file, nothing to keep
        const int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        const int out =
            in < 0 ? -1 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        made = out >= 0 && CopyDescriptor(in, out) && ::fsync(out) == 0;
        if (out >= 0) {
            ::close(out);
        }
        if (in >= 0) {
            ::close(in);
        }
        if (!made) {
            ::unlink(temp.c_str());
        }
    }
    if (made) {
        ::rename(temp.c_str(), bak.c_str());
        // A rename between two links to one file does nothing: after a save interrupted right
        // after its backup step, the backup already is the current file, and the new link
        // would stay behind.
        ::unlink(temp.c_str());
    }
}

// The writer's process id in a temporary file's name "<name>.tmp-<pid>-XXXXXX", or -1 when
// the entry is not a temporary file of name.
pid_t TempOwner(std::string_view entry, std::string_view name) {
    if (entry.size() <= name.size() + kTempMark.size() + kRandomChars + 1 ||
        entry.substr(0, name.size()) != name ||
        entry.substr(name.size(), kTempMark.size()) != kTempMark) {
        return -1;
    }
    std::string_view rest = entry.substr(name.size() + kTempMark.size());
    const std::size_t dash = rest.size() - kRandomChars - 1;
    if (rest[dash] != '-') {
        return -1;
    }
    const auto pid = ParseDecimal(rest.substr(0, dash), 1, 0x7fffffff);
    return pid ? static_cast<pid_t>(*pid) : -1;
}

bool WriterGone(pid_t pid) {
    return pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
}

int RemoveStaleOf(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int removed = 0;
    std::lock_guard<std::mutex> guard(TempLock());
    while (const dirent* e = ::readdir(dir)) {
        const std::string entry = e->d_name;
        const pid_t pid = TempOwner(entry, name);
        if (pid < 0) {
            continue;
        }
        const std::string path = folder + "/" + entry;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        // A writer holds the lock until it has renamed or removed its file; a free lock and a
        // writer that no longer runs (or is this process, which holds all its own locks) mean
        // the file was left behind.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            WriterGone(pid) && ::unlink(path.c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

}  // namespace

AtomicFile::AtomicFile(std::string target, mode_t mode)
    : m_target(std::move(target)), m_mode(mode) {}

AtomicFile::~AtomicFile() {
    if (!m_committed) {
        Discard();
    } else if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool AtomicFile::Fail(const char* step, int error) {
    if (m_error.empty()) {
        m_error = std::string(step) + ": " + std::strerror(error);
    }
    return false;
}

void AtomicFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool AtomicFile::Open() {
    Discard();
    m_error.clear();
    m_committed = false;
    m_writeFailed = false;
    RemoveStaleTemporaries(m_target);
    m_fd = CreateLockedTemp(m_target, m_temp);
    if (m_fd < 0) {
        return Fail("creating a temporary file", errno);
    }
    if (m_mode != 0600 && ::fchmod(m_fd, m_mode) != 0) {
        const int e = errno;
        Discard();
        return Fail("setting the file mode", e);
    }
    return true;
}

bool AtomicFile::Write(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0 || m_writeFailed) {
        return false;
    }
    if (!WriteAll(m_fd, bytes.data(), bytes.size())) {
        m_writeFailed = true;
        return Fail("writing", errno);
    }
    return true;
}

bool AtomicFile::Write(std::string_view bytes) {
    return Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               bytes.size()));
}

bool AtomicFile::Commit(KeepBackup backup) {
    if (m_fd < 0 || m_committed) {
        return false;
    }
    if (m_writeFailed) {
        Discard();
        return false;
    }
    if (::fsync(m_fd) != 0) {
        const int e = errno;
        Discard();
        return Fail("syncing", e);
    }
    if (backup == KeepBackup::Yes) {
        KeepPrevious(m_target);
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        const int e = errno;
        Discard();
        return Fail("renaming into place", e);
    }
    m_temp.clear();
    m_committed = true;
    ::flock(m_fd, LOCK_UN);
    SyncFolder(FolderOf(m_target));
    return true;
}

int AtomicFile::ReleaseDescriptor() {
    if (!m_committed) {
        return -1;
    }
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool ReplaceFileAtomically(const std::string& target, std::string_view bytes, KeepBackup backup,
                           mode_t mode, std::string* error) {
    AtomicFile file(target, mode);
    const bool ok = file.Open() && file.Write(bytes) && file.Commit(backup);
    if (error != nullptr) {
        *error = file.Error();
    }
    return ok;
}

int RemoveStaleTemporaries(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target);
    return RemoveStaleOf(folder, name) + RemoveStaleOf(folder, name + ".bak");
}

bool KeepDamagedCopy(const std::string& file, int fd, const struct stat& st,
                     std::string& copyPath) {
    char stamp[32];
    struct tm tmv {};
    const time_t t = st.st_mtim.tv_sec;
    gmtime_r(&t, &tmv);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
    copyPath = file + ".corrupt-" + stamp;
    const int out =
        ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        // Set aside before, by us or another program, when a file of that size stands there.
        struct stat existing {};
        return errno == EEXIST && ::lstat(copyPath.c_str(), &existing) == 0 &&
               S_ISREG(existing.st_mode) && existing.st_size == st.st_size;
    }
    const bool ok = CopyDescriptor(fd, out) && ::fsync(out) == 0;
    ::close(out);
    if (!ok) {
        ::unlink(copyPath.c_str());
    }
    return ok;
}

bool ReadFileBytes(int fd, std::size_t size, std::string& out) {
    out.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out.data() + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            out.resize(done);
            return n == 0;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace qvl

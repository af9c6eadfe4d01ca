// Replacing a file so that a crash at any instant leaves either the old or the new content:
// the new bytes go to a temporary file beside the target, which is synced, then renamed over
// the target; the folder is synced last. Optionally the previous file is kept as
// "<target>.bak". Used by the record stores, the registry, the exports and the install step.
//
// Temporary files are named "<target>.tmp-<pid>-XXXXXX" and locked while they are written. A
// save that was interrupted (the process killed, the machine stopped) leaves one behind; the
// next replacement of the same target removes it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qvl {

// Files holding messages, contacts, PINs or settings are readable by their owner only.
inline constexpr mode_t kPrivateFileMode = 0600;

enum class KeepBackup { No, Yes };

// One replacement in progress. Nothing is visible under the target's name until Commit; a
// writer destroyed without Commit removes its temporary file.
class AtomicFile {
  public:
    explicit AtomicFile(std::string target, mode_t mode = kPrivateFileMode);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Removes what interrupted replacements of the target left behind, then creates the
    // temporary file. False (see Error) when it cannot be created.
    bool Open();
    bool Write(std::span<const std::uint8_t> bytes);
    bool Write(std::string_view bytes);
    // Syncs the new file, keeps the previous one as "<target>.bak" when asked (a failed backup
    // does not stop the replacement), renames the new file over the target and syncs the
    // folder. False when the new file could not be made durable or renamed: the target is then
    // untouched and the temporary file removed.
    bool Commit(KeepBackup backup = KeepBackup::No);
    // After a successful Commit: the open descriptor of the new file, now owned by the caller
    // (the registry keeps it to recognise its own file). -1 before.
    int ReleaseDescriptor();

    const std::string& Target() const { return m_target; }
    // What failed, as "<step>: <system error>"; empty when nothing did.
    const std::string& Error() const { return m_error; }

  private:
    bool Fail(const char* step, int error);
    void Discard();

    std::string m_target;
    std::string m_temp;
    mode_t m_mode;
    int m_fd = -1;
    bool m_committed = false;
    bool m_writeFailed = false;
    std::string m_error;
};

// The whole replacement in one call. error (may be null) receives AtomicFile::Error().
bool ReplaceFileAtomically(const std::string& target, std::string_view bytes,
                           KeepBackup backup = KeepBackup::No, mode_t mode = kPrivateFileMode,
                           std::string* error = nullptr);

// Removes the temporary files of interrupted replacements of target (and of its ".bak"): those
// whose writer no longer runs. Returns how many were removed. Open calls it; exposed for tests.
int RemoveStaleTemporaries(const std::string& target);

// Keeps a copy of a file that could not be read as "<file>.corrupt-<its modification time>",
// copied from the open descriptor fd (whose status is st) in slices, so that a file of any size
// is set aside without being held in memory. The name follows the file's own time, so every
// program meeting the same damaged file makes one copy; a copy of the same size already there
// counts as made. copyPath receives the copy's name. False when no copy could be made.
bool KeepDamagedCopy(const std::string& file, int fd, const struct stat& st, std::string& copyPath);

// Reads up to size octets from fd at offset 0 with pread (never a mapping, so a file cut short
// meanwhile by another program gives a short result, never a fault). out holds what was read;
// false on a read error.
bool ReadFileBytes(int fd, std::size_t size, std::string& out);

}  // namespace qvl

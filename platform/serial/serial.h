// Serial devices on POSIX termios: the layer under the modem transport.
//
// A modem port is opened for exclusive use: a UUCP lock file (LCK..ttyUSB0 holding the owner's
// PID as ten ASCII characters and a newline) in the lock folder when that folder is writable,
// then TIOCEXCL on the descriptor. The line is set to 115200 baud, 8 data bits, no parity, one
// stop bit, raw, no hardware or software flow control, with DTR and RTS raised.
#pragma once

#include <string>

namespace qvl {

// Opens and configures path. Returns 0 and sets fd (never below 3, non-blocking, close-on-exec),
// or returns the system error code: ENOENT (no such device), EACCES (not permitted), EBUSY (in
// use by another program: lock file of a live process, or TIOCEXCL), ENOTTY (not a terminal).
// On failure nothing stays open and no lock is left behind.
int SerialOpen(const std::string& path, int& fd);

// Closes a descriptor opened by SerialOpen and removes its lock file. 0 or the error of close().
int SerialClose(int fd);

// The folder for UUCP lock files: $QVL_LOCK_DIR when set (empty: no lock files), else the first
// writable of /run/lock and /var/lock, else empty.
std::string SerialLockDirectory();

// The lock file name for a device: "LCK.." and the path below /dev with '/' as '_'
// ("/dev/ttyUSB0" -> "LCK..ttyUSB0", "/dev/pts/3" -> "LCK..pts_3"). Symbolic links such as
// /dev/serial/by-id/... are resolved first so that every name of a device shares one lock.
std::string UucpLockName(const std::string& devicePath);

// Creates the lock file lockDir/name for this process. A lock of a dead process (or one that
// does not hold a PID) is taken over. 0, EBUSY when a live process holds it, or the error of
// creating the file.
int AcquireUucpLock(const std::string& lockDir, const std::string& name);
// Removes the lock file when it belongs to this process.
void ReleaseUucpLock(const std::string& lockDir, const std::string& name);

}  // namespace qvl

// The device file system: the folders the handheld program names ("\My Documents\mms.mmp",
// "\windows\ring.wav", bare record file names) mapped under the device root $QVL_HOME
// (default $XDG_DATA_HOME/quorvel-phone, else ~/.local/share/quorvel-phone).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvl {

// The device root as a UTF-8 path, created (mode 0700) when missing. Empty when it cannot be
// created or opened; DeviceRootProblem() then tells why. A root that exists but is not writable
// is returned for reading, and DeviceRootProblem() says that it is not writable.
std::string DeviceRoot();
std::string DeviceRootProblem();

// Maps a device path to a real UTF-8 path. "\X\y" is <root>/X/y, a bare name is <root>/name.
// The parent folder is created (0700) on first use.
std::string DevicePath(std::u16string_view devicePath);

// File names (without folder) matching a device pattern such as "\windows\*.wav", in a stable
// order (sorted by name). '*' and '?' wildcards, compared without case as the handheld does.
std::vector<std::u16string> DeviceFindFiles(std::u16string_view pattern);

}  // namespace qvl

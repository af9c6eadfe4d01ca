// The install step of the suite: writes the install keys that let the programs and plug-ins
// find the main program, optionally the language choice, and puts the ring tones into the
// device's "\windows" folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvl::install {

struct Options {
    std::string binDir;                     // the folder holding the main program
    std::optional<std::uint32_t> language;  // LanguageID 1-5, written only when given
    bool uninstall = false;                 // --uninstall: remove what the install wrote
    bool desktop = true;                    // --no-desktop: no autostart or link entries
};

// Parses the command line ("--prefix-bin DIR", "--language N", "--uninstall", "--no-desktop", "--help"). selfDir is
// the default folder. nullopt with a message in error (or "help" for --help).
std::optional<Options> ParseArgs(const std::vector<std::string>& args, const std::string& selfDir,
                                 std::string& error);

struct Result {
    bool ok = false;
    std::vector<std::string> notes;  // what was done, one line each
    std::string error;               // why it failed, when !ok
};

// Writes the install keys, the ring tones, the Today item's key, the desktop entries, and calls
// the setup library's install entries.
Result RunInstall(const Options& options);

// Calls the setup library's removal entries and removes what RunInstall wrote: the Today
// item's key, the desktop entries and our link handlers, the ring tones it wrote, the install
// key. The user's messages, contacts and settings stay. Succeeds also when nothing is left.
Result RunUninstall(const Options& options);

// The registry value (under the install key) that lists the ring tones the install wrote.
inline constexpr const char16_t* kValueInstalledTones = u"InstalledTones";

// The folder of the running executable.
std::string SelfDir();

}  // namespace qvl::install

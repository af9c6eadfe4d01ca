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
};

// Parses the command line ("--prefix-bin DIR", "--language N", "--help"). selfDir is the
// default folder. nullopt with a message in error (or "help" for --help).
std::optional<Options> ParseArgs(const std::vector<std::string>& args, const std::string& selfDir,
                                 std::string& error);

struct Result {
    bool ok = false;
    std::vector<std::string> notes;  // what was done, one line each
    std::string error;               // why it failed, when !ok
};

Result RunInstall(const Options& options);

// The folder of the running executable.
std::string SelfDir();

}  // namespace qvl::install

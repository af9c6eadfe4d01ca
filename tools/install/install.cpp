#include "tools/install/install.h"

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"
#include "platform/registry.h"
#include "tools/install/tones.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace qvl::install {

namespace {

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) {
        return path;
    }
    return path.empty() ? std::string(cwd) : std::string(cwd) + "/" + path;
}

}  // namespace

std::optional<Options> ParseArgs(const std::vector<std::string>& args, const std::string& selfDir,
                                 std::string& error) {
    Options options;
    options.binDir = selfDir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            error = "help";
            return std::nullopt;
        }
        if (a == "--prefix-bin" || a == "--language") {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            const std::string& v = args[++i];
            if (a == "--prefix-bin") {
                if (v.empty()) {
                    error = "--prefix-bin needs a folder";
                    return std::nullopt;
                }
                options.binDir = Absolute(v);
            } else {
                const auto n = ParseDecimal(std::string_view(v), 1, 5);
                if (!n) {
                    error = "--language takes 1 (English), 2 (German), 3 (Italian), 4 (Spanish) "
                            "or 5 (French), not \"" + v + "\"";
                    return std::nullopt;
                }
                options.language = static_cast<std::uint32_t>(*n);
            }
            continue;
        }
        error = "unknown argument \"" + a + "\"";
        return std::nullopt;
    }
    while (options.binDir.size() > 1 && options.binDir.back() == '/') {
        options.binDir.pop_back();
    }
    return options;
}

Result RunInstall(const Options& options) {
    Result result;
    if (DeviceRoot().empty()) {
        result.error = DeviceRootProblem();
        return result;
    }
    result.notes.push_back("device folder: " + DeviceRoot());

    const std::u16string binDir = Utf8ToWide(options.binDir);
    if (binDir.size() >= kSettingTextChars) {
        result.error = "the install folder \"" + options.binDir +
                       "\" is longer than the 259 characters the programs can read";
        return result;
    }
    if (!WriteSettingString(kRootLocalMachine, keys::kKeyAppsSmsPhone, keys::kValueInstallDir,
                            binDir)) {
        result.error = "the install key could not be written";
        if (const std::string p = RegTakeLoadProblem(); !p.empty()) {
            result.error += ": " + p;
        }
        return result;
    }
    result.notes.push_back("install folder: " + options.binDir);
    struct stat st {};
    const std::string program = options.binDir + "/" + WideToUtf8(keys::kProgramSmsPhone);
    if (::stat(program.c_str(), &st) != 0) {
        result.notes.push_back("note: " + program + " does not exist (yet)");
    }

    if (options.language) {
        if (!WriteSettingNumber(kRootCurrentUser, keys::kKeyInstaller, keys::kValueLanguageId,
                                *options.language)) {
            result.error = "the language choice could not be written";
            return result;
        }
        result.notes.push_back("language: " + std::to_string(*options.language));
    }

    int written = 0;
    int kept = 0;
    const auto tones = MakeTones();
    for (const auto& tone : tones) {
        const std::string path = DevicePath(std::u16string(u"\\windows\\") + tone.fileName);
        if (::stat(path.c_str(), &st) == 0) {
            ++kept;
            continue;
        }
        // Replaced atomically, so that a tone is either absent or complete.
        std::string why;
        if (!ReplaceFileAtomically(path, EncodeWav(tone.pcm, kToneSampleRate), KeepBackup::No,
                                   kPrivateFileMode, &why)) {
            result.error = "the ring tone \"" + path + "\" could not be written: " + why;
            return result;
        }
        ++written;
    }
    result.notes.push_back("ring tones: " + std::to_string(written) + " written, " +
                           std::to_string(kept) + " already present");

    // Ring choices are set only when none was made, so that a reinstall keeps the user's.
    const RegKey ringer = OpenSettingsKey(kRootLocalMachine, keys::kKeyRinger);
    if (!ringer.ReadString(keys::kValueVoiceRing)) {
        WriteStringToKey(ringer, keys::kValueVoiceRing, tones[0].fileName);
    }
    if (!ringer.ReadString(keys::kValueSmsRing)) {
        WriteStringToKey(ringer, keys::kValueSmsRing, tones[2].fileName);
    }
    if (const std::string p = RegTakeLoadProblem(); !p.empty()) {
        result.notes.push_back("warning: " + p);
    }
    result.ok = true;
    return result;
}

std::string SelfDir() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return Absolute("");
    }
    std::string path(buf, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace qvl::install

#include "tools/install/install.h"

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"
#include "platform/registry.h"
#include "setup/todaysupport.h"
#include "today/todayapi.h"
#include "tools/install/desktop.h"
#include "tools/install/tones.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// The setup library beside the programs, loaded for one step and closed after it.
class SetupLibrary {
  public:
    explicit SetupLibrary(const std::string& binDir) {
        m_handle = ::dlopen((binDir + "/" + setup::kLibraryFile).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~SetupLibrary() {
        if (m_handle != nullptr) {
            ::dlclose(m_handle);
        }
    }
    SetupLibrary(const SetupLibrary&) = delete;
    SetupLibrary& operator=(const SetupLibrary&) = delete;
    template <typename Fn>
    Fn Entry(const char* name) const {
        return m_handle ? reinterpret_cast<Fn>(::dlsym(m_handle, name)) : nullptr;
    }
    bool Loaded() const { return m_handle != nullptr; }

  private:
    void* m_handle = nullptr;
};

std::u16string TodayItemKey() {
    return std::u16string(today::kItemsKey) + u"\\" + today::kPhoneItemName;
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
        if (a == "--uninstall") {
            options.uninstall = true;
            continue;
        }
        if (a == "--no-desktop") {
            options.desktop = false;
            continue;
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
                    error =
                        "--language takes 1 (English), 2 (German), 3 (Italian), 4 (Spanish) "
                        "or 5 (French), not \"" +
                        v + "\"";
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
    const RegKey installKey = RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone);
    std::vector<std::u16string> ours =
        installKey.ReadMultiString(kValueInstalledTones).value_or(std::vector<std::u16string>{});
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
        if (std::find(ours.begin(), ours.end(), tone.fileName) == ours.end()) {
            ours.push_back(tone.fileName);
        }
    }
    // Only the tones written here are removed again: a file that was there before stays.
    installKey.WriteMultiString(kValueInstalledTones, ours);
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

    // The Today screen's item: the panel shows it, and the setup library tells a running panel.
    const RegKey item = RegKey::Open(RegRoot::LocalMachine, TodayItemKey(), RegOpen::Create);
    const bool itemWritten =
        item &&
        item.WriteString(today::kValueDll, binDir + u"/" + Utf8ToWide(today::kPhoneItemLibrary)) &&
        item.WriteDword(today::kValueType, today::kTodayItemCustom) &&
        item.WriteDword(today::kValueEnabled, 1) && item.WriteDword(today::kValueOptions, 0) &&
        item.WriteDword(today::kValueOrder, 0);
    if (!itemWritten) {
        result.error = "the Today item's key could not be written";
        return result;
    }
    result.notes.push_back("Today item: " + WideToUtf8(TodayItemKey()));
    std::string desktopError;
    if (options.desktop && !WriteDesktopFiles(options.binDir, result.notes, desktopError)) {
        // The phone works without them; links and the autostart are what is missing.
        result.notes.push_back("warning: desktop entries not written: " + desktopError);
    }
    const SetupLibrary setup(options.binDir);
    const auto init = setup.Entry<setup::InstallInitFn>(setup::kInstallInit);
    const auto exit = setup.Entry<setup::InstallExitFn>(setup::kInstallExit);
    if (init != nullptr && exit != nullptr) {
        init(nullptr, 1, 0, binDir.c_str());
        exit(nullptr, binDir.c_str(), 0, 0, 0, 0, 0);
        result.notes.push_back("Today screen asked to read its items again");
    } else {
        result.notes.push_back("note: " + std::string(setup::kLibraryFile) + " not found in " +
                               options.binDir +
                               ": a running Today panel shows the item after "
                               "its next start");
    }

    if (const std::string p = RegTakeLoadProblem(); !p.empty()) {
        result.notes.push_back("warning: " + p);
    }
    result.ok = true;
    return result;
}

Result RunUninstall(const Options& options) {
    Result result;
    if (DeviceRoot().empty()) {
        result.error = DeviceRootProblem();
        return result;
    }
    const std::u16string binDir = Utf8ToWide(options.binDir);
    const SetupLibrary setup(options.binDir);
    if (const auto init = setup.Entry<setup::UninstallInitFn>(setup::kUninstallInit)) {
        init(nullptr, binDir.c_str());
    }
    // Also without the library (or when it did not): the item's key goes.
    if (RegDeleteTree(RegRoot::LocalMachine, TodayItemKey())) {
        result.notes.push_back("removed: the Today item's key");
    }
    RemoveDesktopFiles(result.notes);

    const RegKey installKey = RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone);
    for (const std::u16string& name :
         installKey.ReadMultiString(kValueInstalledTones).value_or(std::vector<std::u16string>{})) {
        // A name is a bare file name the install wrote; anything else is not ours to remove.
        if (name.empty() || name.find_first_of(u"\\/") != std::u16string::npos || name == u".." ||
            name == u".") {
            continue;
        }
        const std::string path = DevicePath(u"\\windows\\" + name);
        if (::unlink(path.c_str()) == 0) {
            result.notes.push_back("removed: " + path);
        }
        // A ring choice that names a removed tone would name nothing.
        const RegKey ringer = RegKey::Open(RegRoot::LocalMachine, keys::kKeyRinger);
        for (const char16_t* value : {keys::kValueVoiceRing, keys::kValueSmsRing}) {
            if (ringer && ringer.ReadString(value) == name) {
                ringer.DeleteValue(value);
            }
        }
    }
    if (const auto exit = setup.Entry<setup::UninstallExitFn>(setup::kUninstallExit)) {
        exit(nullptr);
    }
    if (RegDeleteTree(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone)) {
        result.notes.push_back("removed: the install key");
    }
    if (result.notes.empty()) {
        result.notes.push_back("nothing to remove");
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

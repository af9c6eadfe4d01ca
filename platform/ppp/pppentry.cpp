#include "platform/ppp/pppentry.h"

#include "base/checks.h"
#include "base/text.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qvl::ppp {

namespace {

constexpr std::string_view kOptionsHeader = "# Data connection entry of Quorvel SMS Phone";
constexpr std::string_view kPasswordMarker = "# password: ";

bool IsAtPrefix(std::u16string_view text) {
    return text.size() >= 2 && (text[0] == 'a' || text[0] == 'A') &&
           (text[1] == 't' || text[1] == 'T');
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Narrow(std::u16string_view checked) {
    return WideToUtf8(checked);
}

}  // namespace

std::string EntryFolder() {
    if (DeviceRoot().empty()) {
        return {};
    }
    // DevicePath creates the parent folder of a file (0700); the folder itself is asked for
    // through a name inside it.
    const std::string probe = DevicePath(u"\\ppp\\entry");
    const std::size_t slash = probe.rfind('/');
    std::string folder = probe.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return {};
    }
    return folder;
}

EntryPaths PathsOf(const std::string& folder, std::u16string_view name) {
    const std::string base = folder + "/" + Narrow(name);
    return EntryPaths{base + ".options", base + ".chat", base + ".secrets", base + ".log"};
}

EntryProblem CheckEntry(const EntrySettings& entry) {
    if (!IsSafeEntryName(entry.name)) {
        return EntryProblem::Name;
    }
    if (!IsSafeDevicePath(entry.device)) {
        return EntryProblem::Device;
    }
    if (!IsDialableNumber(entry.dialString)) {
        return EntryProblem::DialString;
    }
    if (!entry.initCommand.empty() && !IsSafeInitCommand(entry.initCommand)) {
        return EntryProblem::InitCommand;
    }
    if (!IsSafeCredential(entry.userName, kMaxCredentialLength)) {
        return EntryProblem::UserName;
    }
    if (!IsSafeCredential(entry.password, kMaxCredentialLength)) {
        return EntryProblem::Password;
    }
    return EntryProblem::None;
}

bool IsShellSafePath(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    for (const char c : path) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                        c == '+' || c == ':';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string DottedIp(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string OptionsText(const EntrySettings& entry, const EntryPaths& paths) {
    std::string text;
    text += std::string(kOptionsHeader) + " \"" + Narrow(entry.name) + "\".\n";
    text += "# Written by the program for each connection; privileged options come from\n";
    text += "# /etc/ppp/peers (see the program's documentation).\n";
    text += Narrow(entry.device) + "\n";
    if (entry.baudRate != 0) {
        text += std::to_string(entry.baudRate) + "\n";
    }
    // The same UUCP lock files as the program's own serial port code.
    text += "lock\n";
    // pppd runs this through /bin/sh: it holds only our fixed program and the script's path,
    // which WriteEntry has checked with IsShellSafePath.
    text += "connect \"" + std::string(kChatProgram) + " -v -s -f " + paths.chat + "\"\n";
    text += "noipdefault\n";
    // The link carries only what is routed to it; the desktop's default route stays.
    text += "nodefaultroute\n";
    // The negotiation steps in the log tell the user where a connection stands.
    text += "debug\n";
    if (!entry.userName.empty()) {
        text += "user \"" + Narrow(entry.userName) + "\"\n";
    }
    if (!entry.password.empty()) {
        const std::size_t slash = paths.secrets.rfind('/');
        text += std::string(kPasswordMarker) + paths.secrets.substr(slash + 1) + "\n";
    }
    if (entry.gateway) {
        text += "ipparam " + std::string(kGatewayParamPrefix) + DottedIp(*entry.gateway) + "\n";
    }
    return text;
}

std::string ChatScript(const EntrySettings& entry) {
    std::string text;
    text += "# Dial script of the data connection \"" + Narrow(entry.name) + "\".\n";
    for (const char* abort : {"BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR"}) {
        text += std::string("ABORT \"") + abort + "\"\n";
    }
    text += "TIMEOUT " + std::to_string(kChatCommandTimeoutS) + "\n";
    text += "\"\" \"AT\"\n";
    if (!entry.initCommand.empty()) {
        // In apostrophes: the command holds double quotes and IsSafeInitCommand keeps out
        // apostrophes, backslashes and "^", the only characters chat would interpret here.
        const std::string command =
            (IsAtPrefix(entry.initCommand) ? "" : "AT") + Narrow(entry.initCommand);
        text += "OK '" + command + "'\n";
    }
    text += "OK \"ATD" + Narrow(entry.dialString) + "\"\n";
    text += "TIMEOUT " + std::to_string(kChatConnectTimeoutS) + "\n";
    text += "CONNECT \"\"\n";
    return text;
}

std::string SecretsText(const EntrySettings& entry) {
    return "# Password of the data connection \"" + Narrow(entry.name) +
           "\"; removed when the call ends.\npassword \"" + Narrow(entry.password) + "\"\n";
}

WriteResult WriteEntry(const std::string& folder, const EntrySettings& entry) {
    WriteResult result;
    if (IsSafeEntryName(entry.name)) {
        RemoveEntry(folder, entry.name);
    }
    result.problem = CheckEntry(entry);
    if (result.problem != EntryProblem::None) {
        return result;
    }
    const EntryPaths paths = PathsOf(folder, entry.name);
    if (folder.empty() || !IsShellSafePath(paths.chat)) {
        result.problem = EntryProblem::Folder;
        result.detail = folder.empty() ? std::string("no folder for the entry files")
                                       : "the folder \"" + folder +
                                             "\" holds characters that cannot be handed to pppd";
        return result;
    }
    struct File {
        const std::string& path;
        std::string text;
    };
    const File files[] = {
        {paths.chat, ChatScript(entry)},
        {paths.secrets, entry.password.empty() ? std::string() : SecretsText(entry)},
        {paths.options, OptionsText(entry, paths)},
    };
    for (const File& file : files) {
        if (file.text.empty()) {
            continue;
        }
        if (std::string error; !ReplaceFileAtomically(file.path, file.text, KeepBackup::No,
                                                      kPrivateFileMode, &error)) {
            result.problem = EntryProblem::Write;
            result.detail = file.path + ": " + error;
            RemoveEntry(folder, entry.name);
            return result;
        }
    }
    return result;
}

void RemoveEntry(const std::string& folder, std::u16string_view name) {
    const EntryPaths paths = PathsOf(folder, name);
    for (const std::string* path : {&paths.options, &paths.chat, &paths.secrets, &paths.log}) {
        ::unlink(path->c_str());
        RemoveStaleTemporaries(*path);
    }
}

bool RemoveSecrets(const std::string& folder, std::u16string_view name) {
    const std::string path = PathsOf(folder, name).secrets;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::optional<EntryInfo> ReadEntryInfo(const std::string& folder, std::u16string_view name) {
    if (folder.empty() || !IsSafeEntryName(name)) {
        return std::nullopt;
    }
    const EntryPaths paths = PathsOf(folder, name);
    std::ifstream in(paths.options);
    std::string line;
    if (!in || !std::getline(in, line) || line.rfind(kOptionsHeader, 0) != 0) {
        return std::nullopt;
    }
    EntryInfo info;
    const std::string gatewayOption = "ipparam " + std::string(kGatewayParamPrefix);
    while (std::getline(in, line)) {
        if (info.device.empty() && line.rfind("/dev/", 0) == 0) {
            info.device = line;
        } else if (line.rfind(kPasswordMarker, 0) == 0) {
            info.wantsPassword = true;
        } else if (line.rfind(gatewayOption, 0) == 0) {
            info.gateway = ParseDottedIp(Utf8ToWide(line.substr(gatewayOption.size())));
        }
    }
    if (info.device.empty()) {
        return std::nullopt;
    }
    info.hasSecrets = Exists(paths.secrets);
    return info;
}

}  // namespace qvl::ppp

// A data connection entry: the files pppd dials with.
//
// An entry named N lives in the entry folder (<device root>/ppp, mode 0700) as
//   N.options  pppd options (device, speed, lock, the dial script, user name, the gateway
//              parameter of the route hook), mode 0600;
//   N.chat     the dial script for chat: the init command (PDP context) and the dial string,
//              mode 0600;
//   N.secrets  the password, mode 0600, present from the entry's creation to the end of the
//              next call (pppd reads it with "file"; it never appears on a command line);
//   N.log      what pppd and chat said during the last call.
// The SIM PIN is never part of an entry: the program sends it on the data port itself.
//
// Privileged options (noauth) are not in the entry: an ordinary user may give them to the
// set-uid pppd only from a root-owned file under /etc/ppp/peers, which the install step writes
// (pppsystem.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvl::ppp {

// What an entry holds. Every text is checked (base/checks.h) before anything is written.
struct EntrySettings {
    std::u16string name;         // IsSafeEntryName
    std::u16string device;       // IsSafeDevicePath, symbolic links already resolved
    std::u16string dialString;   // IsDialableNumber, e.g. *99***1#
    std::u16string initCommand;  // IsSafeInitCommand; empty: none is sent by the dial script
    std::u16string userName;     // IsSafeCredential; empty: no authentication
    std::u16string password;     // IsSafeCredential; empty: none
    std::uint32_t baudRate = 0;  // 0 leaves the port's speed alone
    // The WAP gateway: the route hook sends traffic to it over the link.
    std::optional<std::uint32_t> gateway;
};

enum class EntryProblem {
    None,
    Name,         // entry name fails IsSafeEntryName
    Device,       // device path fails IsSafeDevicePath
    DialString,   // fails IsDialableNumber
    InitCommand,  // fails IsSafeInitCommand
    UserName,     // fails IsSafeCredential
    Password,     // fails IsSafeCredential
    Folder,       // the entry folder cannot be made, or its path cannot be handed to pppd
    Write,        // a file could not be written
};

// Longest user name and password of an entry.
inline constexpr std::size_t kMaxCredentialLength = 63;

// The dial script's time for the modem's answer to each command, and for CONNECT after the
// dial (a GPRS attach may take a while).
inline constexpr int kChatCommandTimeoutS = 10;
inline constexpr int kChatConnectTimeoutS = 60;

// The dial script runner pppd starts through its connect option.
inline constexpr std::string_view kChatProgram = "/usr/sbin/chat";

// Prefix of pppd's ipparam that asks the route hook for a host route to the gateway.
inline constexpr std::string_view kGatewayParamPrefix = "quorvel-gateway=";

struct EntryPaths {
    std::string options;
    std::string chat;
    std::string secrets;
    std::string log;
};

// The entry folder: <device root>/ppp, created (0700) when missing. Empty when the device root
// is missing or the folder cannot be made.
std::string EntryFolder();

// The files of entry name in folder (name must pass IsSafeEntryName).
EntryPaths PathsOf(const std::string& folder, std::u16string_view name);

// The first check that fails, or None.
EntryProblem CheckEntry(const EntrySettings& entry);

// A path that may stand in pppd's connect option, which pppd runs through /bin/sh: only
// ASCII letters, digits and "/", ".", "_", "-", "+", ":" (nothing the shell would expand).
bool IsShellSafePath(std::string_view path);

// The file texts (for a checked entry).
std::string OptionsText(const EntrySettings& entry, const EntryPaths& paths);
std::string ChatScript(const EntrySettings& entry);
std::string SecretsText(const EntrySettings& entry);

// The dotted form of an address (for ipparam and messages).
std::string DottedIp(std::uint32_t address);

struct WriteResult {
    EntryProblem problem = EntryProblem::None;
    std::string detail;  // the file and the system's reason, for Folder and Write
};

// Replaces the entry: the old files go first (so that an old entry is never dialled after a
// failed write), then the dial script, the password and, last, the options file, each written
// under a temporary name and renamed into place. On any failure nothing of the entry is left.
WriteResult WriteEntry(const std::string& folder, const EntrySettings& entry);

// Removes every file of the entry (options, script, password, log).
void RemoveEntry(const std::string& folder, std::u16string_view name);

// Removes the password file; true when it is gone.
bool RemoveSecrets(const std::string& folder, std::u16string_view name);

// What a dial needs to know of a written entry.
struct EntryInfo {
    std::string device;
    bool wantsPassword = false;  // a password was given when the entry was written
    bool hasSecrets = false;     // its file is still there
    std::optional<std::uint32_t> gateway;
};

// Reads the entry back; nullopt when its options file is missing or not one of ours.
std::optional<EntryInfo> ReadEntryInfo(const std::string& folder, std::u16string_view name);

}  // namespace qvl::ppp

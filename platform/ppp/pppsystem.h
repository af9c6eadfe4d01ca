// What pppd needs from the system, and how it is started.
//
// On Debian pppd is set-uid root and may be run by the members of the group "dip". Such a user
// may give it privileged options only from root-owned files: we need one, noauth (the network
// never authenticates itself to us, and pppd would otherwise insist because the desktop has a
// default route). The install step, run as root, writes it as /etc/ppp/peers/quorvel-gprs,
// together with the route hooks in /etc/ppp/ip-up.d and ip-down.d. The entry's own files
// (pppentry.h) hold everything else and are named with "file".
//
// root needs no peer file: when it is missing, root gets the privileged options on the
// command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ppp/pppentry.h"

namespace qvl::ppp {

inline constexpr std::string_view kPppdProgram = "/usr/sbin/pppd";
// The group whose members may run the set-uid pppd (Debian), and the one that owns the serial
// devices.
inline constexpr std::string_view kPppGroup = "dip";
inline constexpr std::string_view kSerialGroup = "dialout";

// Names below the system root (normally "/").
inline constexpr std::string_view kPeerName = "quorvel-gprs";
inline constexpr std::string_view kPeersDir = "etc/ppp/peers";
inline constexpr std::string_view kIpUpDir = "etc/ppp/ip-up.d";
inline constexpr std::string_view kIpDownDir = "etc/ppp/ip-down.d";
inline constexpr std::string_view kHookName = "quorvel-gateway";

// The privileged options the peer file holds.
std::vector<std::string> PeerOptions();

// The texts the install step writes: the peer file (0644) and the two hooks (0755). The hooks
// act only on links whose ipparam is kGatewayParamPrefix + a dotted address and whose interface
// is pppN: they add (ip-up) or remove (ip-down) a host route to that address over the link.
std::string PeerFileText();
std::string GatewayHookText(bool up);

struct SystemFile {
    std::string path;  // below the system root, e.g. "etc/ppp/peers/quorvel-gprs"
    std::string text;
    unsigned mode;
};
std::vector<SystemFile> SystemFiles();

// Whether the peer file is in place below systemRoot ("/" normally).
bool PeerFileInstalled(const std::string& systemRoot = "/");

// Where privileged options come from on pppd's command line.
enum class PrivilegedOptions { FromPeerFile, OnCommandLine };

// pppd's argument vector (argv[0] is program): the privileged options, the entry's options
// file and, when withSecrets, its password file, then nodetach (pppd stays our child, so that
// we see its exit status and stop it by its pid) and the log file.
std::vector<std::string> PppdArguments(const std::string& program, const EntryPaths& paths,
                                       bool withSecrets, PrivilegedOptions privileged);

// The pppd to start: $QVL_PPPD when set (tests put their stand-in there), else kPppdProgram.
std::string PppdProgram();

}  // namespace qvl::ppp

#include "platform/ppp/pppsystem.h"

#include <sys/stat.h>

#include <cstdlib>

namespace qvl::ppp {

namespace {

std::string Join(const std::string& root, std::string_view relative) {
    std::string path = root.empty() ? std::string("/") : root;
    if (path.back() != '/') {
        path += '/';
    }
    return path + std::string(relative);
}

// The part the up and down hooks share: it validates what pppd hands over and leaves
// addr and iface set, or ends the script without touching anything.
constexpr std::string_view kHookCheck = R"(iface="$1"
param="$6"
case "$param" in
    quorvel-gateway=*) ;;
    *) exit 0 ;;
esac
case "$iface" in
    ppp[0-9] | ppp[0-9][0-9] | ppp[0-9][0-9][0-9]) ;;
    *) exit 0 ;;
esac
addr="${param#quorvel-gateway=}"
# Exactly four decimal parts of 0 to 255 without leading zeros; not 0.x, 127.x, multicast or
# above.
case "$addr" in
    *[!0-9.]* | .* | *. | *..*) exit 0 ;;
esac
IFS=.
set -- $addr
IFS='
'
[ "$#" -eq 4 ] || exit 0
for part in "$@"; do
    case "$part" in
        ????* | 0?*) exit 0 ;;
    esac
    [ "$part" -le 255 ] || exit 0
done
[ "$1" -ge 1 ] && [ "$1" -le 223 ] && [ "$1" -ne 127 ] || exit 0
)";

}  // namespace

std::vector<std::string> PeerOptions() {
    return {"noauth"};
}

std::string PeerFileText() {
    std::string text =
        "# Privileged options of the data calls of Quorvel SMS Phone, written by\n"
        "# \"qvl-install --system\". pppd accepts them from a member of the group \"dip\" only\n"
        "# in a root-owned file like this one; the program names everything else (device,\n"
        "# dial script, user name) in a file of the user's own.\n";
    for (const std::string& option : PeerOptions()) {
        text += option + "\n";
    }
    return text;
}

std::string GatewayHookText(bool up) {
    std::string text = "#!/bin/sh\n";
    text += up ? "# Adds a host route to the WAP gateway of a Quorvel SMS Phone data call over "
                 "its link.\n"
               : "# Removes the host route to the WAP gateway of a Quorvel SMS Phone data "
                 "call.\n";
    text +=
        "# Written by \"qvl-install --system\". pppd runs it as root with the interface as $1 "
        "and\n# the ipparam as $6; only the parameter quorvel-gateway=a.b.c.d on an "
        "interface pppN is\n# acted on. The desktop's default route stays as it is.\n";
    text += kHookCheck;
    text += up ? "exec ip route replace \"$addr/32\" dev \"$iface\"\n"
               : "ip route del \"$addr/32\" dev \"$iface\" 2>/dev/null || true\n";
    return text;
}

std::vector<SystemFile> SystemFiles() {
    const std::string hook(kHookName);
    return {
        {std::string(kPeersDir) + "/" + std::string(kPeerName), PeerFileText(), 0644},
        {std::string(kIpUpDir) + "/" + hook, GatewayHookText(true), 0755},
        {std::string(kIpDownDir) + "/" + hook, GatewayHookText(false), 0755},
    };
}

bool PeerFileInstalled(const std::string& systemRoot) {
    struct stat st {};
    const std::string path =
        Join(systemRoot, std::string(kPeersDir) + "/" + std::string(kPeerName));
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> PppdArguments(const std::string& program, const EntryPaths& paths,
                                       bool withSecrets, PrivilegedOptions privileged) {
    std::vector<std::string> args{program};
    switch (privileged) {
        case PrivilegedOptions::FromPeerFile:
            args.push_back("call");
            args.emplace_back(kPeerName);
            break;
        case PrivilegedOptions::OnCommandLine:
            for (const std::string& option : PeerOptions()) {
                args.push_back(option);
            }
            break;
    }
    args.push_back("file");
    args.push_back(paths.options);
    if (withSecrets) {
        args.push_back("file");
        args.push_back(paths.secrets);
    }
    args.push_back("nodetach");
    args.push_back("logfile");
    args.push_back(paths.log);
    return args;
}

std::string PppdProgram() {
    if (const char* path = std::getenv("QVL_PPPD"); path != nullptr && *path != '\0') {
        return path;
    }
    return std::string(kPppdProgram);
}

}  // namespace qvl::ppp

// The root-owned part of the install step ("qvl-install --system"): the files pppd needs for
// the data calls of ordinary users (the peer file with the privileged options, and the route
// hooks for the WAP gateway), written below a system root ("/" normally).
#pragma once

#include <string>
#include <vector>

namespace qvl::install {

struct SystemResult {
    bool ok = false;
    std::vector<std::string> notes;  // what was written, and what users need
    std::string error;
};

// Writes every file of ppp::SystemFiles() below root, each replaced atomically with its mode,
// owned by root when run as root. Refused when not run as root and root is "/".
SystemResult InstallSystemFiles(const std::string& root);

}  // namespace qvl::install

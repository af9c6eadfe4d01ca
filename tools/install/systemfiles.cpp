#include "tools/install/systemfiles.h"

#include "platform/atomicfile.h"
#include "platform/ppp/pppsystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qvl::install {

namespace {

// Creates dir and its missing parents (0755, as /etc's folders are).
int MakeDirs(const std::string& dir) {
    for (std::size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
        const std::string part = dir.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return errno;
        }
        if (at == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace

SystemResult InstallSystemFiles(const std::string& root) {
    SystemResult result;
    std::string base = root.empty() ? std::string("/") : root;
    if (base.back() != '/') {
        base += '/';
    }
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot && base == "/") {
        result.error = "the system files belong to root: run \"sudo qvl-install --system\"";
        return result;
    }
    for (const ppp::SystemFile& file : ppp::SystemFiles()) {
        const std::string path = base + file.path;
        const std::string dir = path.substr(0, path.rfind('/'));
        if (const int error = MakeDirs(dir); error != 0) {
            result.error = dir + ": " + std::strerror(error);
            return result;
        }
        if (std::string error; !ReplaceFileAtomically(path, file.text, KeepBackup::No,
                                                      static_cast<mode_t>(file.mode), &error)) {
            result.error = path + ": " + error;
            return result;
        }
        // pppd takes privileged options only from files an ordinary user cannot change.
        if (asRoot && ::chown(path.c_str(), 0, 0) != 0) {
            result.error = path + ": " + std::strerror(errno);
            return result;
        }
        result.notes.push_back("wrote " + path);
    }
    result.notes.push_back(
        std::string("users who make data calls need the groups \"") + std::string(ppp::kPppGroup) +
        "\" and \"" + std::string(ppp::kSerialGroup) + "\" (sudo adduser USER " +
        std::string(ppp::kPppGroup) + " " + std::string(ppp::kSerialGroup) + ")");
    result.ok = true;
    return result;
}

}  // namespace qvl::install

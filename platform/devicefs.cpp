#include "platform/devicefs.h"

#include "base/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qvl {

namespace {

std::mutex g_problemLock;
std::string g_problem;

void SetProblem(std::string text) {
    std::lock_guard<std::mutex> guard(g_problemLock);
    g_problem = std::move(text);
}

// Creates dir and any missing parents with mode 0700. Returns 0 or the errno of the failure.
int MakeDirs(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        const std::string part = dir.substr(0, pos);
        if (part.empty()) {
            continue;
        }
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (::stat(dir.c_str(), &st) != 0) {
        return errno;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string ChooseRoot(std::string& why) {
    if (const char* home = std::getenv("QVL_HOME"); home && *home) {
        std::string root = home;
        if (root.front() != '/') {
            char cwd[4096];
            if (::getcwd(cwd, sizeof cwd)) {
                root = std::string(cwd) + "/" + root;
            }
        }
        return root;
    }
    // The XDG base directory rules ignore a relative XDG_DATA_HOME.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        return std::string(xdg) + "/quorvel-phone";
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
        home = pw->pw_dir;
    }
    if (home.empty()) {
        why = "neither QVL_HOME, XDG_DATA_HOME nor HOME names a folder for the device files";
        return {};
    }
    return home + "/.local/share/quorvel-phone";
}

std::vector<std::string> SplitDevicePath(std::u16string_view devicePath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= devicePath.size()) {
        std::size_t end = devicePath.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) {
            end = devicePath.size();
        }
        const std::u16string_view part = devicePath.substr(start, end - start);
        // "." and ".." never leave the device root.
        if (!part.empty() && part != u"." && part != u"..") {
            std::string name = WideToUtf8(part);
            name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
            if (!name.empty()) {
                parts.push_back(std::move(name));
            }
        }
        start = end + 1;
    }
    return parts;
}

// The handheld's names ignore case: use an existing entry that differs only in case.
std::string MatchEntry(const std::string& dir, const std::string& name) {
    struct stat st {};
    if (::lstat((dir + "/" + name).c_str(), &st) == 0) {
        return name;
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return name;
    }
    std::string found = name;
    const std::u16string wide = Utf8ToWide(name);
    while (const dirent* e = ::readdir(d)) {
        if (EqualsNoCase(Utf8ToWide(e->d_name), wide)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool MatchWildcard(std::u16string_view pattern, std::u16string_view text) {
    // Iterative matching with one back-tracking point: linear in practice, never exponential.
    std::size_t p = 0, t = 0, star = std::u16string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = t;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

std::string DeviceRoot() {
    std::string why;
    std::string root = ChooseRoot(why);
    if (root.empty()) {
        SetProblem(why);
        return {};
    }
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    if (const int err = MakeDirs(root); err != 0) {
        SetProblem("The device folder \"" + root + "\" cannot be created: " + std::strerror(err));
        return {};
    }
    if (::access(root.c_str(), X_OK) != 0) {
        SetProblem("The device folder \"" + root + "\" cannot be opened: " + std::strerror(errno));
        return {};
    }
    if (::access(root.c_str(), W_OK) != 0) {
        // What is there can still be read (the registry's modem entries, the skins); every
        // write fails and says so.
        SetProblem("The device folder \"" + root + "\" is not writable: " + std::strerror(errno));
        return root;
    }
    SetProblem({});
    return root;
}

std::string DeviceRootProblem() {
    std::lock_guard<std::mutex> guard(g_problemLock);
    return g_problem;
}

std::string DevicePath(std::u16string_view devicePath) {
    std::string path = DeviceRoot();
    if (path.empty()) {
        return {};
    }
    const auto parts = SplitDevicePath(devicePath);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string entry = MatchEntry(path, parts[i]);
        path.push_back('/');
        path += entry;
        if (i + 1 < parts.size()) {
            // A folder that cannot be made shows up as the caller's failing open.
            (void)::mkdir(path.c_str(), 0700);
        }
    }
    return path;
}

std::vector<std::u16string> DeviceFindFiles(std::u16string_view pattern) {
    std::vector<std::u16string> names;
    const std::size_t cut = pattern.find_last_of(u"\\/");
    const std::u16string_view folder =
        cut == std::u16string_view::npos ? std::u16string_view() : pattern.substr(0, cut);
    std::u16string_view filePattern =
        cut == std::u16string_view::npos ? pattern : pattern.substr(cut + 1);
    if (filePattern.empty()) {
        filePattern = u"*";
    }
    const std::string dir = DevicePath(folder);
    if (dir.empty()) {
        return names;
    }
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return names;
    }
    DIR* d = ::fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return names;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n == "." || n == "..") {
            continue;
        }
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        std::u16string wide = Utf8ToWide(n);
        if (MatchWildcard(filePattern, wide)) {
            names.push_back(std::move(wide));
        }
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const char16_t fa = FoldCase(a[i]);
            const char16_t fb = FoldCase(b[i]);
            if (fa != fb) {
                return fa < fb;
            }
        }
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
        return a < b;
    });
    return names;
}

}  // namespace qvl

// The registry store: hive files under <device root>/registry, shared by the programs of the
// suite.
//
// Writers serialise on an advisory lock (flock on "<hive>.reg.lock"), reload the file when it
// changed, apply their change and replace the file atomically (platform/atomicfile.h). Readers take
// no lock: a rename makes the new file appear whole, and each read compares the file's identity
// (device, inode, modification time, size) with what was loaded. The loaded file is kept open so
// that its inode number cannot be reused by a later file while we still compare against it.
//
// Volatile keys live in a per-process overlay: a list of volatile subtrees, each rooted at the
// first name that did not exist in the file when it was created volatile.

#include "platform/registry.h"

#include "base/text.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"
#include "platform/registry_format.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>

namespace qvl {

namespace {

using regfile::KeyPath;
using regfile::Node;

// A hive file larger than this is not a registry this suite wrote; it is kept aside unread.
constexpr off_t kMaxHiveFileBytes = 32 * 1024 * 1024;

struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    long long mtimeNs = 0;
    off_t size = 0;
    bool operator==(const FileId&) const = default;
};

FileId IdOf(const struct stat& st) {
    FileId id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    id.size = st.st_size;
    return id;
}

struct VolatileTree {
    KeyPath at;  // where the subtree is rooted
    std::unique_ptr<Node> node;
};

struct Hive {
    std::string file;
    Node tree;
    FileId id;
    bool loaded = false;
    int heldFd = -1;           // the loaded file, kept open (see above)
    bool blockWrites = false;  // an unreadable file that could not be set aside
    std::vector<VolatileTree> overlay;
};

struct State {
    std::recursive_mutex lock;
    std::string dir;  // the registry folder the hives below belong to
    Hive hives[2];
    // Volatile keys by registry folder, so that a test switching device roots starts clean.
    std::map<std::string, std::vector<VolatileTree>> overlays[2];
    std::string problem;
    std::set<std::string> reported;
};

State& S() {
    static State state;
    return state;
}

int Index(RegRoot root) {
    return root == RegRoot::CurrentUser ? 0 : 1;
}

std::u16string JoinPath(const KeyPath& path) {
    std::u16string out;
    for (const auto& name : path) {
        if (!out.empty()) {
            out.push_back(u'\\');
        }
        out += name;
    }
    return out;
}

bool IsPrefix(const KeyPath& prefix, const KeyPath& path) {
    if (prefix.size() > path.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!EqualsNoCase(prefix[i], path[i])) {
            return false;
        }
    }
    return true;
}

void Report(const std::string& message) {
    State& s = S();
    if (s.reported.insert(message).second) {
        s.problem += s.problem.empty() ? message : "\n" + message;
    }
}

void CloseHeld(Hive& hive) {
    if (hive.heldFd >= 0) {
        ::close(hive.heldFd);
        hive.heldFd = -1;
    }
}

void Load(RegRoot root, Hive& hive) {
    CloseHeld(hive);
    hive.tree = Node{};
    hive.id = FileId{};
    hive.loaded = true;
    hive.blockWrites = false;
    const int fd = ::open(hive.file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno != ENOENT) {
            hive.blockWrites = true;
            Report("The registry file \"" + hive.file + "\" cannot be opened (" +
                   std::strerror(errno) + "); settings are not saved until this is fixed.");
        }
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        hive.blockWrites = true;
        return;
    }
    hive.heldFd = fd;
    hive.id = IdOf(st);

    std::string content;
    std::size_t badLines = 0;
    std::string firstBad;
    // The size is judged before anything is read: an oversized file is set aside by copying
    // it in slices, never held in memory.
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxHiveFileBytes) {
        badLines = 1;
        firstBad = "the file is not a registry file of a sensible size";
    } else if (!ReadFileBytes(fd, static_cast<std::size_t>(st.st_size), content)) {
        badLines = 1;
        firstBad = "the file cannot be read";
    } else {
        const auto parsed = regfile::ParseRegText(regfile::DecodeRegBytes(content));
        regfile::ApplyOps(hive.tree, parsed.ops, root);
        for (const auto& op : parsed.ops) {
            if (op.root != root) {
                ++badLines;
                if (firstBad.empty()) {
                    firstBad = std::string("a key of ") + regfile::HiveName(op.root);
                }
            }
        }
        badLines += parsed.issues.size();
        if (!parsed.issues.empty()) {
            firstBad = "line " + std::to_string(parsed.issues.front().line) + ": " +
                       parsed.issues.front().what;
        }
    }
    if (badLines == 0) {
        return;
    }
    std::string copyPath;
    if (!S_ISREG(st.st_mode) || !KeepDamagedCopy(hive.file, fd, st, copyPath)) {
        hive.blockWrites = true;
        Report("The registry file \"" + hive.file + "\" is damaged (" + firstBad +
               ") and no copy of it could be made; settings are read from it but not saved.");
        return;
    }
    Report("The registry file \"" + hive.file + "\" is damaged: " + std::to_string(badLines) +
           " line(s) could not be read (" + firstBad + "). A copy was kept as \"" + copyPath +
           "\"; the values that could be read are used.");
}

// Points the state at the current device root and reloads a hive whose file changed.
Hive* Current(RegRoot root) {
    State& s = S();
    const std::string deviceRoot = DeviceRoot();
    const std::string dir = deviceRoot.empty() ? std::string() : deviceRoot + "/registry";
    if (dir != s.dir) {
        for (int i = 0; i < 2; ++i) {
            CloseHeld(s.hives[i]);
            s.overlays[i][s.dir] = std::move(s.hives[i].overlay);
            s.hives[i] = Hive{};
            s.hives[i].overlay = std::move(s.overlays[i][dir]);
            if (!dir.empty()) {
                s.hives[i].file =
                    dir + "/" +
                    regfile::HiveName(i == 0 ? RegRoot::CurrentUser : RegRoot::LocalMachine) +
                    ".reg";
            }
        }
        s.dir = dir;
    }
    Hive& hive = s.hives[Index(root)];
    if (dir.empty()) {
        Report("The registry cannot be used: " + DeviceRootProblem());
        hive.loaded = true;
        return &hive;
    }
    struct stat st {};
    FileId now;
    if (::stat(hive.file.c_str(), &st) == 0) {
        now = IdOf(st);
    }
    if (!hive.loaded || !(now == hive.id)) {
        Load(root, hive);
    }
    return &hive;
}

// Where a key lives: in a volatile subtree, in the file's tree, or nowhere yet.
struct Where {
    Node* node = nullptr;
    bool isVolatile = false;
    VolatileTree* tree = nullptr;  // the volatile subtree the path falls in
};

Where Locate(Hive& hive, const KeyPath& path) {
    Where w;
    for (auto& vt : hive.overlay) {
        if (IsPrefix(vt.at, path)) {
            w.isVolatile = true;
            w.tree = &vt;
            w.node = regfile::FindKey(*vt.node, KeyPath(path.begin() + vt.at.size(), path.end()));
            return w;
        }
    }
    w.node = regfile::FindKey(hive.tree, path);
    return w;
}

enum class Change { Failed, None, Changed };

// Runs one change of the file's tree under the hive's lock and writes the result.
bool Mutate(RegRoot root, const std::function<Change(Node&)>& apply) {
    State& s = S();
    if (s.dir.empty()) {
        return false;
    }
    Hive& hive = s.hives[Index(root)];
    if (::mkdir(s.dir.c_str(), 0700) != 0 && errno != EEXIST) {
        Report("The registry folder \"" + s.dir + "\" cannot be created (" + std::strerror(errno) +
               ").");
        return false;
    }
    const std::string lockPath = hive.file + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        return false;
    }
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(lockFd);
            return false;
        }
    }
    bool ok = false;
    Current(root);  // reload when another program wrote since our last look
    if (!hive.blockWrites) {
        const Change change = apply(hive.tree);
        if (change == Change::None) {
            ok = true;
        } else if (change == Change::Changed) {
            AtomicFile file(hive.file);
            struct stat st {};
            if (file.Open() && file.Write(regfile::SerializeHive(root, hive.tree)) &&
                file.Commit()) {
                const int fd = file.ReleaseDescriptor();
                CloseHeld(hive);
                hive.heldFd = fd;
                if (::fstat(fd, &st) == 0) {
                    hive.id = IdOf(st);
                } else {
                    hive.loaded = false;
                }
                ok = true;
            } else {
                hive.loaded = false;  // the tree no longer matches the file: reload next time
            }
        } else {
            hive.loaded = false;
        }
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

bool SameValue(const RegValue& a, const RegValue& b) {
    if (a.type != b.type) {
        return false;
    }
    switch (a.type) {
        case RegType::String:
            return a.text == b.text;
        case RegType::Dword:
            return a.number == b.number;
        case RegType::MultiString:
            return a.strings == b.strings;
        case RegType::Binary:
            return a.bytes == b.bytes;
    }
    return false;
}

bool KeyExists(Hive& hive, const KeyPath& path) {
    if (Locate(hive, path).node) {
        return true;
    }
    return false;
}

std::optional<RegValue> ReadValue(RegRoot root, const std::u16string& keyPath,
                                  std::u16string_view name) {
    auto path = regfile::SplitKeyPath(keyPath);
    if (!path) {
        return std::nullopt;
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(root);
    const Where w = Locate(*hive, *path);
    if (!w.node) {
        return std::nullopt;
    }
    const RegValue* v = w.node->Value(name);
    if (!v) {
        return std::nullopt;
    }
    return *v;
}

}  // namespace

RegKey RegKey::Open(RegRoot root, std::u16string_view pathText, RegOpen mode) {
    auto path = regfile::SplitKeyPath(pathText);
    if (!path || (root != RegRoot::CurrentUser && root != RegRoot::LocalMachine)) {
        return RegKey();
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(root);
    const RegKey handle(root, JoinPath(*path));
    if (KeyExists(*hive, *path)) {
        return handle;
    }
    switch (mode) {
        case RegOpen::Existing:
            return RegKey();
        case RegOpen::CreateVolatile:
        case RegOpen::Create: {
            Where w = Locate(*hive, *path);
            if (w.isVolatile) {
                regfile::CreateKey(*w.tree->node,
                                   KeyPath(path->begin() + w.tree->at.size(), path->end()));
                return handle;
            }
            if (mode == RegOpen::CreateVolatile) {
                // The first name missing from the file roots a new volatile subtree.
                std::size_t have = 0;
                Node* node = &hive->tree;
                while (have < path->size()) {
                    Node* next = node->Child((*path)[have]);
                    if (!next) {
                        break;
                    }
                    node = next;
                    ++have;
                }
                VolatileTree vt;
                vt.at = KeyPath(path->begin(), path->begin() + have + 1);
                vt.node = std::make_unique<Node>();
                vt.node->name = vt.at.back();
                regfile::CreateKey(*vt.node, KeyPath(path->begin() + have + 1, path->end()));
                hive->overlay.push_back(std::move(vt));
                return handle;
            }
            const KeyPath p = *path;
            if (Mutate(root, [&](Node& tree) {
                    if (regfile::FindKey(tree, p)) {
                        return Change::None;
                    }
                    regfile::CreateKey(tree, p);
                    return Change::Changed;
                })) {
                return handle;
            }
            return RegKey();
        }
    }
    return RegKey();
}

RegKey RegKey::OpenSub(std::u16string_view subPath, RegOpen mode) const {
    if (!m_valid) {
        return RegKey();
    }
    std::u16string full = m_path;
    full.push_back(u'\\');
    full += subPath;
    return Open(m_root, full, mode);
}

std::optional<RegValue> RegKey::Read(std::u16string_view name) const {
    if (!m_valid) {
        return std::nullopt;
    }
    return ReadValue(m_root, m_path, name);
}

std::optional<std::u16string> RegKey::ReadString(std::u16string_view name) const {
    auto v = Read(name);
    if (!v || v->type != RegType::String) {
        return std::nullopt;
    }
    return std::move(v->text);
}

std::optional<std::uint32_t> RegKey::ReadDword(std::u16string_view name) const {
    auto v = Read(name);
    if (!v || v->type != RegType::Dword) {
        return std::nullopt;
    }
    return v->number;
}

std::optional<std::vector<std::u16string>> RegKey::ReadMultiString(std::u16string_view name) const {
    auto v = Read(name);
    if (!v || v->type != RegType::MultiString) {
        return std::nullopt;
    }
    return std::move(v->strings);
}

std::optional<std::vector<std::uint8_t>> RegKey::ReadBinary(std::u16string_view name) const {
    auto v = Read(name);
    if (!v || v->type != RegType::Binary) {
        return std::nullopt;
    }
    return std::move(v->bytes);
}

bool RegKey::Write(std::u16string_view name, const RegValue& value) const {
    if (!m_valid || !regfile::IsStorableValueName(name) || !regfile::IsStorableValue(value)) {
        return false;
    }
    auto path = regfile::SplitKeyPath(m_path);
    if (!path) {
        return false;
    }
    // Keep only the member that matters for the type, so that what is read back is what the
    // file holds.
    RegValue clean;
    clean.type = value.type;
    switch (value.type) {
        case RegType::String:
            clean.text = value.text;
            break;
        case RegType::Dword:
            clean.number = value.number;
            break;
        case RegType::MultiString:
            clean.strings = value.strings;
            break;
        case RegType::Binary:
            clean.bytes = value.bytes;
            break;
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(m_root);
    Where w = Locate(*hive, *path);
    if (w.isVolatile) {
        if (!w.node) {
            return false;
        }
        w.node->SetValue(name, clean);
        return true;
    }
    return Mutate(m_root, [&](Node& tree) {
        Node* key = regfile::FindKey(tree, *path);
        if (!key) {
            return Change::Failed;  // the key was deleted since it was opened
        }
        const RegValue* old = key->Value(name);
        if (old && SameValue(*old, clean)) {
            return Change::None;
        }
        key->SetValue(name, clean);
        return Change::Changed;
    });
}

bool RegKey::WriteString(std::u16string_view name, std::u16string_view text) const {
    RegValue v;
    v.type = RegType::String;
    v.text = std::u16string(text);
    return Write(name, v);
}

bool RegKey::WriteDword(std::u16string_view name, std::uint32_t number) const {
    RegValue v;
    v.type = RegType::Dword;
    v.number = number;
    return Write(name, v);
}

bool RegKey::WriteMultiString(std::u16string_view name,
                              const std::vector<std::u16string>& strings) const {
    RegValue v;
    v.type = RegType::MultiString;
    v.strings = strings;
    return Write(name, v);
}

bool RegKey::WriteBinary(std::u16string_view name, const std::vector<std::uint8_t>& bytes) const {
    RegValue v;
    v.type = RegType::Binary;
    v.bytes = bytes;
    return Write(name, v);
}

bool RegKey::DeleteValue(std::u16string_view name) const {
    if (!m_valid) {
        return false;
    }
    auto path = regfile::SplitKeyPath(m_path);
    if (!path) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(m_root);
    Where w = Locate(*hive, *path);
    if (w.isVolatile) {
        return w.node && w.node->RemoveValue(name);
    }
    if (!w.node || !w.node->Value(name)) {
        return false;
    }
    bool removed = false;
    const bool written = Mutate(m_root, [&](Node& tree) {
        Node* key = regfile::FindKey(tree, *path);
        if (!key || !key->RemoveValue(name)) {
            return Change::None;
        }
        removed = true;
        return Change::Changed;
    });
    return written && removed;
}

bool RegKey::DeleteSubKey(std::u16string_view name) const {
    if (!m_valid || name.empty()) {
        return false;
    }
    std::u16string full = m_path;
    full.push_back(u'\\');
    full += name;
    return RegDeleteTree(m_root, full);
}

std::vector<std::u16string> RegKey::SubKeyNames() const {
    std::vector<std::u16string> names;
    if (!m_valid) {
        return names;
    }
    auto path = regfile::SplitKeyPath(m_path);
    if (!path) {
        return names;
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(m_root);
    const Where w = Locate(*hive, *path);
    if (w.node) {
        for (const auto& c : w.node->Children()) {
            names.push_back(c->name);
        }
    }
    if (!w.isVolatile) {
        // Volatile subtrees rooted right below this key.
        for (const auto& vt : hive->overlay) {
            if (vt.at.size() == path->size() + 1 && IsPrefix(*path, vt.at)) {
                const bool shadowed = std::any_of(names.begin(), names.end(), [&](const auto& n) {
                    return EqualsNoCase(n, vt.at.back());
                });
                if (!shadowed) {
                    names.push_back(vt.at.back());
                }
            }
        }
    }
    return names;
}

std::vector<std::u16string> RegKey::ValueNames() const {
    std::vector<std::u16string> names;
    if (!m_valid) {
        return names;
    }
    auto path = regfile::SplitKeyPath(m_path);
    if (!path) {
        return names;
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(m_root);
    const Where w = Locate(*hive, *path);
    if (w.node) {
        for (const auto& [name, value] : w.node->Values()) {
            names.push_back(name);
        }
    }
    return names;
}

bool RegDeleteTree(RegRoot root, std::u16string_view pathText) {
    auto path = regfile::SplitKeyPath(pathText);
    if (!path || path->empty()) {
        return false;  // the hive itself is never deleted
    }
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    Hive* hive = Current(root);
    bool removed = false;
    // Volatile subtrees at or below the path go entirely; a path inside one loses its branch.
    auto& overlay = hive->overlay;
    for (auto it = overlay.begin(); it != overlay.end();) {
        if (IsPrefix(*path, it->at)) {
            it = overlay.erase(it);
            removed = true;
        } else {
            if (IsPrefix(it->at, *path)) {
                removed = regfile::DeleteKey(*it->node,
                                             KeyPath(path->begin() + it->at.size(), path->end())) ||
                          removed;
            }
            ++it;
        }
    }
    if (!regfile::FindKey(hive->tree, *path)) {
        return removed;
    }
    bool fileRemoved = false;
    const bool written = Mutate(root, [&](Node& tree) {
        if (!regfile::DeleteKey(tree, *path)) {
            return Change::None;
        }
        fileRemoved = true;
        return Change::Changed;
    });
    return removed || (written && fileRemoved);
}

bool RegImportFile(const std::string& path, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) {
            *error = std::move(why);
        }
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail("\"" + path + "\" cannot be opened: " + std::strerror(errno));
    }
    struct stat st {};
    std::string bytes;
    const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                      st.st_size <= kMaxHiveFileBytes &&
                      ReadFileBytes(fd, static_cast<std::size_t>(st.st_size), bytes);
    ::close(fd);
    if (!read) {
        return fail("\"" + path + "\" is not a readable registry file of a sensible size");
    }
    const auto parsed = regfile::ParseRegText(regfile::DecodeRegBytes(bytes));
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    bool applied = true;
    for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
        const bool any = std::any_of(parsed.ops.begin(), parsed.ops.end(),
                                     [&](const auto& op) { return op.root == root; });
        if (!any) {
            continue;
        }
        Current(root);
        applied = Mutate(root,
                         [&](Node& tree) {
                             regfile::ApplyOps(tree, parsed.ops, root);
                             return Change::Changed;
                         }) &&
                  applied;
    }
    if (!applied) {
        return fail("the registry could not be written");
    }
    if (!parsed.issues.empty()) {
        const auto& first = parsed.issues.front();
        return fail(std::to_string(parsed.issues.size()) + " line(s) of \"" + path +
                    "\" could not be read (line " + std::to_string(first.line) + ": " + first.what +
                    "); the other values were imported");
    }
    return true;
}

std::string RegTakeLoadProblem() {
    std::lock_guard<std::recursive_mutex> guard(S().lock);
    std::string out;
    out.swap(S().problem);
    return out;
}

}  // namespace qvl

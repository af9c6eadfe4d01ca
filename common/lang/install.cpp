// Where the suite is installed: the install keys that each edition's installer writes under
// HKEY_LOCAL_MACHINE "SOFTWARE\Apps". On Linux the directory values are folder paths and the
// programs carry no ".exe".
#include <sys/stat.h>

#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/registry.h"

namespace qvl {
namespace {

// The installers' string buffers hold 260 characters. A longer value cannot be the path that
// was installed (the handheld's read of it fails), so it counts as missing rather than being
// cut to a path that names something else.
constexpr std::size_t kMaxInstallPath = 260;

struct EditionRow {
    const char16_t* keys[2];  // second key tried when the first is missing
    const char* program;
};

constexpr EditionRow kSmsPhone = {{u"SOFTWARE\\Apps\\Quorvel SMS Phone", nullptr}, "Parlino"};
constexpr EditionRow kTavix = {
    {u"SOFTWARE\\Apps\\ZRB Tavix Phone", u"SOFTWARE\\Apps\\Halmer Tavix Phone"}, "TavixPhone"};
constexpr EditionRow kQvlPhone = {{u"SOFTWARE\\Apps\\Quorvel QVL Phone", nullptr}, "QVLPhone"};

std::u16string ReadBounded(const RegKey& key, std::u16string_view name) {
    auto v = key.ReadString(name);
    if (!v || v->size() > kMaxInstallPath) {
        return {};
    }
    return *v;
}

std::u16string WithProgram(std::u16string dir, const char* program) {
    if (dir.empty() || dir.back() != u'/') {
        dir += u'/';
    }
    return dir + Widen(program);
}

bool IsFile(const std::u16string& path) {
    struct stat st {};
    return stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FindIn(const EditionRow& row, std::u16string& path) {
    RegKey key;
    for (const char16_t* name : row.keys) {
        if (name && !key) {
            key = RegKey::Open(RegRoot::LocalMachine, name);
        }
    }
    if (!key) {
        return false;
    }
    // An empty directory value names no folder: it would resolve against the current folder.
    for (const char16_t* value : {u"InstallDir", u"InstlDir"}) {
        std::u16string dir = ReadBounded(key, value);
        if (dir.empty()) {
            continue;
        }
        std::u16string candidate = WithProgram(dir, row.program);
        if (IsFile(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

std::u16string GetInstallDir() {
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Apps\\Quorvel Mobile Internet");
    return key ? ReadBounded(key, u"InstlDir") : std::u16string();
}

bool FindMainProgram(std::u16string& path) {
    switch (LinkedEdition()) {
        case Edition::SmsPhone:
            return FindIn(kSmsPhone, path);
        case Edition::Tavix:
            return FindIn(kTavix, path);
        case Edition::ContactsPlugin:
            return FindIn(kSmsPhone, path) || FindIn(kQvlPhone, path);
    }
    return false;
}

}  // namespace qvl

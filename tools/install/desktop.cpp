#include "tools/install/desktop.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atomicfile.h"

namespace qvl::install {

namespace {

constexpr const char* kDefaultSection = "[Default Applications]";
constexpr const char* kAddedSection = "[Added Associations]";
constexpr const char* kSchemes[] = {"x-scheme-handler/tel", "x-scheme-handler/sms"};
constexpr const char* kVCardTypes[] = {"text/vcard", "text/x-vcard", "text/directory"};

std::string Home() {
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
        return h;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        return pw->pw_dir;
    }
    return {};
}

std::string XdgFolder(const char* variable, const char* underHome) {
    // The XDG rules ignore a relative value.
    if (const char* v = std::getenv(variable); v != nullptr && v[0] == '/') {
        return v;
    }
    const std::string home = Home();
    return home.empty() ? std::string() : home + "/" + underHome;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += '\n';
    }
    return out;
}

// The lines [begin, end) of a section's entries; begin == end == lines.size() when missing.
std::pair<std::size_t, std::size_t> Section(const std::vector<std::string>& lines,
                                            const std::string& header) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == header) {
            std::size_t end = i + 1;
            while (end < lines.size() && (lines[end].empty() || lines[end][0] != '[')) {
                ++end;
            }
            return {i + 1, end};
        }
    }
    return {lines.size(), lines.size()};
}

// The index of the line "key=..." inside [begin, end), or end.
std::size_t FindKey(const std::vector<std::string>& lines, std::size_t begin, std::size_t end,
                    const std::string& key) {
    for (std::size_t i = begin; i < end; ++i) {
        if (lines[i].size() > key.size() && lines[i].compare(0, key.size(), key) == 0 &&
            lines[i][key.size()] == '=') {
            return i;
        }
    }
    return end;
}

std::vector<std::string> Names(const std::string& value) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t semi = std::min(value.find(';', at), value.size());
        if (semi > at) {
            names.push_back(value.substr(at, semi - at));
        }
        at = semi + 1;
    }
    return names;
}

// Adds key=name to a section (made when missing): a default only where none is set, an
// association appended to the names already there.
void Add(std::vector<std::string>& lines, const std::string& header, const std::string& key,
         const std::string& name, bool onlyWhereUnset) {
    auto [begin, end] = Section(lines, header);
    if (begin == lines.size() && (lines.empty() || lines.back() != header)) {
        if (!lines.empty() && !lines.back().empty()) {
            lines.emplace_back();
        }
        lines.push_back(header);
        begin = end = lines.size();
    }
    const std::size_t at = FindKey(lines, begin, end, key);
    if (at == end) {
        // After the section's last entry, before the blank lines that end it.
        std::size_t insert = end;
        while (insert > begin && lines[insert - 1].empty()) {
            --insert;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), key + "=" + name + ";");
        return;
    }
    const std::vector<std::string> names = Names(lines[at].substr(key.size() + 1));
    if (onlyWhereUnset && !names.empty()) {
        return;
    }
    for (const std::string& n : names) {
        if (n == name) {
            return;
        }
    }
    std::string value;
    for (const std::string& n : names) {
        value += n + ";";
    }
    lines[at] = key + "=" + value + name + ";";
}

bool IsOurs(const std::string& name) {
    return name == kLinksEntry || name == kVCardEntry;
}

bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string why;
    if (!ReplaceFileAtomically(path, text, KeepBackup::No, 0644, &why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

std::string XdgConfigHome() {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string XdgDataHome() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string ExecProgram(const std::string& path) {
    // Quoted only when it holds a reserved character: simple launchers (xdg-open without a
    // desktop) take the first word of the line as it stands.
    if (path.find_first_of(" \t\n\"'\\><~|&;$*?#()`%=") == std::string::npos) {
        return path;
    }
    // Inside the quotes of an Exec line '"', '`', '$' and '\' take a backslash; the entry's own
    // string escaping then doubles every backslash, and "%" is written "%%".
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '\\') {
            quoted += "\\\\\\\\";  // "\\" in the Exec line, each doubled by the string escaping
            continue;
        }
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\\\";
        }
        if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::vector<DesktopFile> DesktopFiles(const std::string& binDir, std::string& error) {
    if (binDir.find_first_of("\r\n") != std::string::npos) {
        error = "the install folder holds a line break, which a desktop entry cannot name";
        return {};
    }
    const std::string config = XdgConfigHome();
    const std::string data = XdgDataHome();
    if (config.empty() || data.empty()) {
        error = "no home folder for the desktop entries (HOME is not set)";
        return {};
    }
    const std::string today = ExecProgram(binDir + "/" + kTodayHostProgram);
    const std::string contact = ExecProgram(binDir + "/" + kContactCommandProgram);
    const std::string head = "[Desktop Entry]\nType=Application\nVersion=1.5\n";
    const std::string tail = std::string("Terminal=false\n") + kMarkerLine + "\n";
    return {
        {config + "/autostart/" + kTodayEntry,
         head +
             "Name=Quorvel SMS Phone Today\n"
             "Comment=New SMS messages of the phone, in a panel and the tray\n"
             "Exec=" +
             today + "\nNoDisplay=true\n" + tail},
        {data + "/applications/" + kLinksEntry,
         head +
             "Name=Quorvel SMS Phone\n"
             "Comment=Call a phone number or send it an SMS\n"
             "Exec=" +
             contact +
             " %u\n"
             "MimeType=x-scheme-handler/tel;x-scheme-handler/sms;\n"
             "NoDisplay=true\n" +
             tail},
        {data + "/applications/" + kVCardEntry,
         head +
             "Name=Call or message with Quorvel SMS Phone\n"
             "Comment=Call a number of the contact or send it an SMS\n"
             "Exec=" +
             contact +
             " %f\n"
             "MimeType=text/vcard;text/x-vcard;text/directory;\n"
             "NoDisplay=true\n" +
             tail},
    };
}

std::string WithOurHandlers(const std::string& mimeapps) {
    std::vector<std::string> lines = Lines(mimeapps);
    for (const char* scheme : kSchemes) {
        Add(lines, kDefaultSection, scheme, kLinksEntry, true);
    }
    for (const char* type : kVCardTypes) {
        Add(lines, kAddedSection, type, kVCardEntry, false);
    }
    return Joined(lines);
}

std::string WithoutOurHandlers(const std::string& mimeapps) {
    std::vector<std::string> lines = Lines(mimeapps);
    std::vector<std::string> out;
    bool inSection = false;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '[') {
            inSection = line == kDefaultSection || line == kAddedSection;
            out.push_back(line);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos) {
            out.push_back(line);
            continue;
        }
        const std::vector<std::string> names = Names(line.substr(eq + 1));
        std::string value;
        bool removed = false;
        for (const std::string& n : names) {
            if (IsOurs(n)) {
                removed = true;
            } else {
                value += n + ";";
            }
        }
        if (!removed) {
            out.push_back(line);
        } else if (!value.empty()) {
            out.push_back(line.substr(0, eq + 1) + value);
        }
    }
    // A section of ours left without entries goes, and so do the blank lines left at the end.
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == kDefaultSection || out[i] == kAddedSection) {
            std::size_t next = i + 1;
            while (next < out.size() && out[next].empty()) {
                ++next;
            }
            if (next == out.size() || out[next][0] == '[') {
                while (!kept.empty() && kept.back().empty()) {
                    kept.pop_back();
                }
                i = next - 1;
                continue;
            }
        }
        kept.push_back(out[i]);
    }
    while (!kept.empty() && kept.back().empty()) {
        kept.pop_back();
    }
    return Joined(kept);
}

bool WriteDesktopFiles(const std::string& binDir, std::vector<std::string>& notes,
                       std::string& error) {
    const std::vector<DesktopFile> files = DesktopFiles(binDir, error);
    if (files.empty()) {
        return false;
    }
    for (const DesktopFile& f : files) {
        if (!WriteFile(f.path, f.text, error)) {
            return false;
        }
        notes.push_back("desktop entry: " + f.path);
    }
    const std::string mimeapps = XdgConfigHome() + "/mimeapps.list";
    const std::string before = ReadFile(mimeapps);
    const std::string after = WithOurHandlers(before);
    if (after != before) {
        if (!WriteFile(mimeapps, after, error)) {
            return false;
        }
        notes.push_back("link handlers: " + mimeapps);
    }
    return true;
}

void RemoveDesktopFiles(std::vector<std::string>& notes) {
    std::string error;
    for (const DesktopFile& f : DesktopFiles("/", error)) {
        // Only a file this step wrote: a user's own entry of that name stays.
        if (ReadFile(f.path).find(kMarkerLine) != std::string::npos &&
            ::unlink(f.path.c_str()) == 0) {
            notes.push_back("removed: " + f.path);
        }
    }
    const std::string config = XdgConfigHome();
    if (config.empty()) {
        return;
    }
    const std::string mimeapps = config + "/mimeapps.list";
    struct stat st {};
    if (::stat(mimeapps.c_str(), &st) != 0) {
        return;
    }
    const std::string before = ReadFile(mimeapps);
    const std::string after = WithoutOurHandlers(before);
    if (after == before) {
        return;
    }
    // A list left empty held only what the install put there.
    if (after.empty() ? ::unlink(mimeapps.c_str()) == 0 : WriteFile(mimeapps, after, error)) {
        notes.push_back("link handlers removed from " + mimeapps);
    }
}

}  // namespace qvl::install

// The desktop's side of the install step: the autostart entry of the Today panel, the entries
// that make the phone the handler of tel: and sms: links and offer it for vCard files, and the
// default handlers in mimeapps.list. Uninstalling removes exactly what was written: our files
// (recognised by their marker line) and our names in mimeapps.list, never a user's choice.
#pragma once

#include <string>
#include <vector>

namespace qvl::install {

// $XDG_CONFIG_HOME and $XDG_DATA_HOME when absolute, else ~/.config and ~/.local/share; empty
// when there is no home folder either.
std::string XdgConfigHome();
std::string XdgDataHome();

inline constexpr const char* kTodayHostProgram = "qvl-today";
inline constexpr const char* kContactCommandProgram = "qvl-contact";
inline constexpr const char* kLinksEntry = "quorvel-phone-links.desktop";
inline constexpr const char* kVCardEntry = "quorvel-phone-vcard.desktop";
inline constexpr const char* kTodayEntry = "quorvel-phone-today.desktop";
// The line that marks a desktop entry as written by this step.
inline constexpr const char* kMarkerLine = "X-Quorvel-Phone-Installed=true";

struct DesktopFile {
    std::string path;
    std::string text;
};

// The entries for the programs in binDir. Empty with a reason when binDir cannot be written
// into an entry's Exec line (a line break) or there is no home folder.
std::vector<DesktopFile> DesktopFiles(const std::string& binDir, std::string& error);

// binDir's program as the first word of an Exec line: quoted, with the characters that are
// special inside quotes escaped, and "%" doubled.
std::string ExecProgram(const std::string& path);

// mimeapps.list text with our handlers added: a default for x-scheme-handler/tel and /sms where
// none is set, and the vCard entry among the added associations of the vCard types.
std::string WithOurHandlers(const std::string& mimeapps);
// mimeapps.list text without our entries' names (other names on a line stay; a line left
// empty goes).
std::string WithoutOurHandlers(const std::string& mimeapps);

// Writes the entries and updates mimeapps.list; false with a reason.
bool WriteDesktopFiles(const std::string& binDir, std::vector<std::string>& notes,
                       std::string& error);
// Removes our entries (only files that carry the marker) and our names from mimeapps.list.
void RemoveDesktopFiles(std::vector<std::string>& notes);

}  // namespace qvl::install

// Language and install-directory routines compiled into every deliverable of the suite.
//
// Every text, menu and dialog is named by its English id; these routines map it to the copy of
// the current language (German +1000/+100, French +3000/+200, Spanish +2000/+300, Italian
// +4000/+400 for strings/menus and dialogs; see the block rules in the implementation). Each
// binary links its own text table (qvl_add_texts in CMake).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {

enum class ResourceType { String, Menu, Other };

int LocalResourceId(ResourceType type, int englishId);
int LocalDialogId(int englishId);
// The text of the current language's copy of message englishId; the English text when that
// copy is missing; empty when the id has no text at all.
std::u16string LoadLocalString(int englishId);

// The "InstlDir" of the companion product, or empty.
std::u16string GetInstallDir();

// The installed main program of this binary's edition; false when none exists.
bool FindMainProgram(std::u16string& path);

// ---- Menus and dialog texts -------------------------------------------------------------

// One menu item. A popup has command 0 and its items in `items`; a separator has no text.
struct MenuItem {
    std::u16string text;
    int command = 0;
    bool separator = false;
    bool popup = false;
    std::vector<MenuItem> items;
};

// The items of English menu englishMenuId in the current language (the copy chosen by
// LocalResourceId for a menu); empty when the menu does not exist.
std::vector<MenuItem> LoadLocalMenu(int englishMenuId);

// The text of one control of English dialog template englishDialogId, from the copy chosen by
// LocalDialogId; the English text when that copy lacks the control; empty when neither has it.
// Controls are named as in texts/*-dialogs.tsv ("caption" is the dialog's title).
std::u16string LoadDialogText(int englishDialogId, std::string_view control);

struct DialogText {
    std::string control;
    std::u16string text;
};
// Every control text of the dialog copy chosen by LocalDialogId (English texts fill in for
// controls that copy lacks), sorted by control name.
std::vector<DialogText> LoadDialogTexts(int englishDialogId);

// Whether this binary's table holds a string, a menu or a dialog under exactly this id.
bool HasStringResource(int id);
bool HasMenuResource(int id);
bool HasDialogResource(int id);

// ---- Editions and locale ----------------------------------------------------------------

// The row of the install-key table this binary looks for (chosen by qvl_add_texts EDITION).
// The Contacts plug-in tries the SMS Phone row, then the QVL Phone row.
enum class Edition { SmsPhone, Tavix, ContactsPlugin };
Edition LinkedEdition();

// Windows language identifier (LCID low word) for a POSIX locale name such as "de_CH.UTF-8",
// "fr_CA", "it@euro", "C" or "POSIX" (1033). A known language with an unknown or missing
// territory gives that language's default identifier; an unknown language gives 0.
int LanguageIdFromLocaleName(std::string_view name);

// The system default locale: LC_ALL, else LANG; unset or empty gives 1033.
int SystemDefaultLangId();
// The user default language: LC_ALL, else LC_MESSAGES, else the first entry of LANGUAGE,
// else LANG; unset or empty gives 1033.
int UserDefaultLangId();

// The stored language choice (HKEY_CURRENT_USER "Software\Quorvel\Installer" "LanguageID"),
// or nothing when the key or a 4-byte value is missing.
std::optional<std::uint32_t> StoredLanguageChoice();

}  // namespace qvl

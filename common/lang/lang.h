// Language and install-directory routines compiled into every deliverable of the suite.
//
// Every text, menu and dialog is named by its English id; these routines map it to the copy of
// the current language (German +1000/+100, French +3000/+200, Spanish +2000/+300, Italian
// +4000/+400 for strings/menus and dialogs; see the block rules in the implementation). Each
// binary links its own text table (qvl_add_texts in CMake).
#pragma once

#include <string>

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

}  // namespace qvl

// The compiled form of a binary's text table. qvl_add_texts generates one source that defines
// LinkedTextTable(); the lookups of qvl_lang read the table through it. The function has hidden
// visibility, so inside a shared library it binds to that library's own table and never to the
// copy of the program that loaded it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/lang/lang.h"

namespace qvl::lang {

// One message text under the id of its language copy (5075 English, 6075 German, ...).
struct StringEntry {
    int id;
    const char16_t* text;
};

// Menu items of one language copy, in display order (depth-first). An item of depth d that
// follows a popup of depth d-1 belongs to that popup.
inline constexpr int kMenuPopup = 0;
inline constexpr int kMenuSeparator = -1;
struct MenuEntry {
    int menuId;
    int depth;
    int command;  // kMenuPopup, kMenuSeparator or the command id
    const char16_t* text;
};

// Control texts of one language copy of a dialog template.
struct DialogEntry {
    int dialogId;
    const char* control;
    const char16_t* text;
};

struct TextTable {
    const StringEntry* strings;  // sorted by id
    std::size_t stringCount;
    const MenuEntry* menus;  // grouped by menuId, ascending
    std::size_t menuCount;
    const DialogEntry* dialogs;  // sorted by dialogId, then control
    std::size_t dialogCount;
    Edition edition;
};

__attribute__((visibility("hidden"))) const TextTable& LinkedTextTable();

}  // namespace qvl::lang

#include "common/lang/lang.h"

#include <algorithm>
#include <cstring>

#include "common/lang/texttable.h"
#include "platform/registry.h"

namespace qvl {
namespace {

using lang::LinkedTextTable;

// Primary language numbers of the Windows language identifiers (low 10 bits).
constexpr int kLangEnglish = 9;
constexpr int kLangGerman = 7;
constexpr int kLangItalian = 16;
constexpr int kLangSpanish = 10;
constexpr int kLangFrench = 12;

// Full identifiers a stored choice stands for in the dialog mapping.
constexpr int kIdEnglishUS = 1033;
constexpr int kIdGerman = 1031;
constexpr int kIdItalian = 1040;
constexpr int kIdSpanish = 1034;
constexpr int kIdFrench = 1036;

// Only ids of the English blocks have language copies; anything else (the framework's own
// strings 65000 and up, or an id that already names a copy) is used as it stands, so that no
// id can wrap into an unrelated text of another block.
bool IsEnglishStringId(int id) {
    return id >= 5000 && id <= 5999;
}
bool IsMenuOrDialogBlockId(int id) {
    return id >= 100 && id <= 599;
}

const lang::StringEntry* FindString(int id) {
    const auto& t = LinkedTextTable();
    const auto* end = t.strings + t.stringCount;
    const auto* it = std::lower_bound(t.strings, end, id,
                                      [](const lang::StringEntry& e, int v) { return e.id < v; });
    return it != end && it->id == id ? it : nullptr;
}

std::pair<const lang::MenuEntry*, const lang::MenuEntry*> FindMenu(int id) {
    const auto& t = LinkedTextTable();
    const auto* end = t.menus + t.menuCount;
    const auto* first = std::lower_bound(
        t.menus, end, id, [](const lang::MenuEntry& e, int v) { return e.menuId < v; });
    const auto* last = first;
    while (last != end && last->menuId == id) {
        ++last;
    }
    return {first, last};
}

std::pair<const lang::DialogEntry*, const lang::DialogEntry*> FindDialog(int id) {
    const auto& t = LinkedTextTable();
    const auto* end = t.dialogs + t.dialogCount;
    const auto* first = std::lower_bound(
        t.dialogs, end, id, [](const lang::DialogEntry& e, int v) { return e.dialogId < v; });
    const auto* last = first;
    while (last != end && last->dialogId == id) {
        ++last;
    }
    return {first, last};
}

// Builds the items of one nesting level starting at `it`; stops at an item of lower depth.
std::vector<MenuItem> BuildMenuLevel(const lang::MenuEntry*& it, const lang::MenuEntry* end,
                                     int depth) {
    std::vector<MenuItem> level;
    while (it != end && it->depth >= depth) {
        if (it->depth > depth) {
            // Deeper item without a popup in front of it: the generator rejects this, but a
            // hand-made table must not make us loop.
            ++it;
            continue;
        }
        MenuItem item;
        item.text = it->text;
        item.command = it->command > 0 ? it->command : 0;
        item.separator = it->command == lang::kMenuSeparator;
        item.popup = it->command == lang::kMenuPopup;
        ++it;
        if (item.popup) {
            item.items = BuildMenuLevel(it, end, depth + 1);
        }
        level.push_back(std::move(item));
    }
    return level;
}

}  // namespace

std::optional<std::uint32_t> StoredLanguageChoice() {
    RegKey key = RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer");
    if (!key) {
        return std::nullopt;
    }
    return key.ReadDword(u"LanguageID");
}

int LocalResourceId(ResourceType type, int englishId) {
    int primary = SystemDefaultLangId() & 0x3FF;
    if (auto choice = StoredLanguageChoice()) {
        switch (*choice) {
            case 1:
                primary = kLangEnglish;
                break;
            case 2:
                primary = kLangGerman;
                break;
            case 3:
                primary = kLangItalian;
                break;
            case 4:
                primary = kLangSpanish;
                break;
            case 5:
                primary = kLangFrench;
                break;
            default:
                break;  // other stored values keep the system language
        }
    }
    switch (type) {
        case ResourceType::Menu: {
            if (!IsMenuOrDialogBlockId(englishId)) {
                return englishId;
            }
            int block = primary == kLangEnglish   ? 100
                        : primary == kLangGerman  ? 200
                        : primary == kLangFrench  ? 300
                        : primary == kLangSpanish ? 400
                        : primary == kLangItalian ? 500
                                                  : 0;
            if (block == 0) {
                return englishId;
            }
            int candidate = englishId % 100 + block;
            return HasMenuResource(candidate) ? candidate : englishId;
        }
        case ResourceType::String: {
            if (!IsEnglishStringId(englishId)) {
                return englishId;
            }
            int block = primary == kLangEnglish   ? 5000
                        : primary == kLangGerman  ? 6000
                        : primary == kLangSpanish ? 7000
                        : primary == kLangFrench  ? 8000
                        : primary == kLangItalian ? 9000
                                                  : 0;
            if (block == 0) {
                return englishId;
            }
            int candidate = englishId % 5000 + block;
            return HasStringResource(candidate) ? candidate : englishId;
        }
        case ResourceType::Other:
            return englishId;
    }
    return englishId;
}

int LocalDialogId(int englishId) {
    if (!IsMenuOrDialogBlockId(englishId)) {
        return englishId;
    }
    int language = UserDefaultLangId();
    if (auto choice = StoredLanguageChoice()) {
        switch (*choice) {
            case 1:
                language = kIdEnglishUS;
                break;
            case 2:
                language = kIdGerman;
                break;
            case 3:
                language = kIdItalian;
                break;
            case 4:
                language = kIdSpanish;
                break;
            case 5:
                language = kIdFrench;
                break;
            default:
                break;
        }
    }
    int block = language == kIdEnglishUS ? 100
                : language == kIdGerman  ? 200
                : language == kIdFrench  ? 300
                : language == kIdSpanish ? 400
                : language == kIdItalian ? 500
                                         : 0;
    if (block == 0) {
        return englishId;
    }
    int candidate = englishId % 100 + block;
    return HasDialogResource(candidate) ? candidate : englishId;
}

std::u16string LoadLocalString(int englishId) {
    const auto* e = FindString(LocalResourceId(ResourceType::String, englishId));
    return e ? std::u16string(e->text) : std::u16string();
}

bool HasStringResource(int id) {
    // The handheld's test load into a two-character buffer fails for an empty text too.
    const auto* e = FindString(id);
    return e && e->text[0] != u'\0';
}

bool HasMenuResource(int id) {
    auto [first, last] = FindMenu(id);
    return first != last;
}

bool HasDialogResource(int id) {
    auto [first, last] = FindDialog(id);
    return first != last;
}

std::vector<MenuItem> LoadLocalMenu(int englishMenuId) {
    auto [first, last] = FindMenu(LocalResourceId(ResourceType::Menu, englishMenuId));
    return BuildMenuLevel(first, last, 0);
}

std::u16string LoadDialogText(int englishDialogId, std::string_view control) {
    for (int id : {LocalDialogId(englishDialogId), englishDialogId}) {
        auto [first, last] = FindDialog(id);
        for (const auto* e = first; e != last; ++e) {
            if (control == e->control) {
                return e->text;
            }
        }
    }
    return {};
}

std::vector<DialogText> LoadDialogTexts(int englishDialogId) {
    std::vector<DialogText> texts;
    auto add = [&texts](int id) {
        auto [first, last] = FindDialog(id);
        for (const auto* e = first; e != last; ++e) {
            bool known = std::any_of(texts.begin(), texts.end(),
                                     [e](const DialogText& d) { return d.control == e->control; });
            if (!known) {
                texts.push_back({e->control, e->text});
            }
        }
    };
    add(LocalDialogId(englishDialogId));
    add(englishDialogId);
    std::sort(texts.begin(), texts.end(),
              [](const DialogText& a, const DialogText& b) { return a.control < b.control; });
    return texts;
}

Edition LinkedEdition() {
    return LinkedTextTable().edition;
}

}  // namespace qvl

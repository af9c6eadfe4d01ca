// Reader of the reviewable text tables in texts/*.tsv, shared by the build-time generator and
// the completeness check. Pure: it parses text handed to it and does no I/O of its own.
//
// Three kinds of table, told apart by their header row:
//   id      en de fr es it          message texts keyed by English id
//   menu    item command en de fr es it   menu items; item is a dotted position ("1.0")
//   dialog  control en de fr es it  dialog control texts keyed by template id and control name
// Lines starting with '#' and blank lines are ignored. Cells use the escapes \n \r \t \\ ; an
// empty cell means that the language's copy is missing.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::textsrc {

// Column order of the language cells in every table.
enum Lang { kEn = 0, kDe = 1, kFr = 2, kEs = 3, kIt = 4 };
inline constexpr int kLangCount = 5;
inline constexpr std::array<const char*, kLangCount> kLangCodes = {"en", "de", "fr", "es", "it"};
// Block offsets: the English id plus the block offset of a language gives its copy.
inline constexpr std::array<int, kLangCount> kStringBlock = {5000, 6000, 8000, 7000, 9000};
inline constexpr std::array<int, kLangCount> kMenuDialogBlock = {100, 200, 300, 400, 500};

enum class Kind { Strings, Menus, Dialogs };

struct Row {
    int line = 0;
    int id = 0;           // message id, menu id or dialog id (English)
    std::string key;      // menu item position or dialog control name; empty for strings
    std::string command;  // menu rows: command id, "-" for a separator, empty for a popup
    std::array<std::string, kLangCount> text;  // unescaped UTF-8
};

struct Table {
    std::string file;
    Kind kind = Kind::Strings;
    std::vector<Row> rows;
};

// Parses one table. On failure returns false and appends "file:line: message" lines to errors.
bool ParseTable(std::string_view content, const std::string& fileName, Table& out,
                std::vector<std::string>& errors);

// Checks a set of tables meant for one binary: no id (or menu item, or dialog control) given
// twice across the files, menu positions well nested, ids in their blocks, and single-language
// rows (ids outside 5000..5999) carrying English only.
bool CheckTableSet(const std::vector<Table>& tables, std::vector<std::string>& errors);

// Unescapes \n \r \t \\ ; false for any other backslash sequence.
bool Unescape(std::string_view cell, std::string& out);

// True when a message id has copies in the other languages (the English block 5000..5999).
inline bool IsBlockStringId(int id) {
    return id >= 5000 && id <= 5999;
}

// Parsed menu position "1.0.2" as its components; empty on a malformed position.
std::vector<int> ParsePosition(std::string_view key);

}  // namespace qvl::textsrc

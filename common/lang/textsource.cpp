#include "common/lang/textsource.h"

#include <map>
#include <set>
#include <tuple>

#include "base/text.h"

namespace qvl::textsrc {
namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            cells.push_back(line.substr(start));
            return cells;
        }
        cells.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

std::string Where(const std::string& file, int line) {
    return file + ":" + std::to_string(line) + ": ";
}

bool ValidUtf8(std::string_view s) {
    // Round trip through the suite's converter: malformed input comes back changed (U+FFFD).
    return WideToUtf8(Utf8ToWide(s)) == s;
}

bool ValidControlName(std::string_view s) {
    if (s.empty() || s.size() > 64) {
        return false;
    }
    for (char c : s) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Unescape(std::string_view cell, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < cell.size(); ++i) {
        char c = cell[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= cell.size()) {
            return false;
        }
        switch (cell[++i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::vector<int> ParsePosition(std::string_view key) {
    std::vector<int> parts;
    std::size_t start = 0;
    while (start <= key.size()) {
        std::size_t dot = key.find('.', start);
        std::string_view part =
            key.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        auto n = ParseDecimal(part, 0, 255);
        if (!n || part.empty() || part[0] == '+' || part[0] == '-') {
            return {};
        }
        parts.push_back(static_cast<int>(*n));
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    if (parts.size() > 8) {
        return {};
    }
    return parts;
}

bool ParseTable(std::string_view content, const std::string& fileName, Table& out,
                std::vector<std::string>& errors) {
    out = Table{};
    out.file = fileName;
    std::size_t errorsBefore = errors.size();
    bool haveHeader = false;
    std::size_t keyColumns = 1;  // columns before the language cells
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        std::string_view line =
            content.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? content.size() : end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (!ValidUtf8(line)) {
            errors.push_back(Where(fileName, lineNo) + "not valid UTF-8");
            continue;
        }
        auto cells = SplitTabs(line);
        if (!haveHeader) {
            haveHeader = true;
            std::vector<std::string> want;
            if (cells.size() > 0 && cells[0] == "id") {
                out.kind = Kind::Strings;
                keyColumns = 1;
            } else if (cells.size() > 0 && cells[0] == "menu") {
                out.kind = Kind::Menus;
                keyColumns = 3;
                want = {"menu", "item", "command"};
            } else if (cells.size() > 0 && cells[0] == "dialog") {
                out.kind = Kind::Dialogs;
                keyColumns = 2;
                want = {"dialog", "control"};
            } else {
                errors.push_back(Where(fileName, lineNo) +
                                 "header must start with id, menu or dialog");
                return false;
            }
            bool ok = cells.size() == keyColumns + kLangCount;
            for (std::size_t i = 0; ok && i < want.size(); ++i) {
                ok = cells[i] == want[i];
            }
            for (int l = 0; ok && l < kLangCount; ++l) {
                ok = cells[keyColumns + l] == kLangCodes[l];
            }
            if (!ok) {
                errors.push_back(Where(fileName, lineNo) +
                                 "header columns must be the keys then en de fr es it");
                return false;
            }
            continue;
        }
        if (cells.size() != keyColumns + kLangCount) {
            errors.push_back(Where(fileName, lineNo) + "expected " +
                             std::to_string(keyColumns + kLangCount) +
                             " tab-separated cells, found " + std::to_string(cells.size()));
            continue;
        }
        Row row;
        row.line = lineNo;
        auto id = ParseDecimal(cells[0], 1, 65535);
        if (!id || cells[0][0] == '+' || cells[0][0] == '-') {
            errors.push_back(Where(fileName, lineNo) + "bad id '" + std::string(cells[0]) + "'");
            continue;
        }
        row.id = static_cast<int>(*id);
        if (out.kind == Kind::Menus) {
            row.key = std::string(cells[1]);
            row.command = std::string(cells[2]);
            if (ParsePosition(row.key).empty()) {
                errors.push_back(Where(fileName, lineNo) + "bad item position '" + row.key + "'");
                continue;
            }
            if (!row.command.empty() && row.command != "-" &&
                (!ParseDecimal(row.command, 1, 65535) || row.command[0] == '+')) {
                errors.push_back(Where(fileName, lineNo) + "bad command '" + row.command + "'");
                continue;
            }
        } else if (out.kind == Kind::Dialogs) {
            row.key = std::string(cells[1]);
            if (!ValidControlName(row.key)) {
                errors.push_back(Where(fileName, lineNo) + "bad control name '" + row.key + "'");
                continue;
            }
        }
        bool cellsOk = true;
        for (int l = 0; l < kLangCount; ++l) {
            if (!Unescape(cells[keyColumns + l], row.text[l])) {
                errors.push_back(Where(fileName, lineNo) + "bad escape in the " + kLangCodes[l] +
                                 " cell (only \\n \\r \\t \\\\)");
                cellsOk = false;
            }
        }
        if (cellsOk) {
            out.rows.push_back(std::move(row));
        }
    }
    if (!haveHeader) {
        errors.push_back(Where(fileName, 1) + "empty table (no header row)");
    }
    return errors.size() == errorsBefore;
}

bool CheckTableSet(const std::vector<Table>& tables, std::vector<std::string>& errors) {
    std::size_t errorsBefore = errors.size();
    std::map<int, std::string> strings;
    std::map<std::pair<int, std::string>, std::string> items;
    // Menu item positions per menu, to check that every nested item has its popup parent.
    std::map<int, std::set<std::vector<int>>> positions;
    std::map<int, std::map<std::vector<int>, std::string>> commands;
    for (const Table& t : tables) {
        for (const Row& r : t.rows) {
            std::string where = Where(t.file, r.line);
            if (t.kind == Kind::Strings) {
                auto [it, fresh] = strings.emplace(r.id, where);
                if (!fresh) {
                    errors.push_back(where + "message id " + std::to_string(r.id) +
                                     " already given at " + it->second);
                }
                if (r.text[kEn].empty()) {
                    errors.push_back(where + "message id " + std::to_string(r.id) +
                                     " has no English text");
                }
                if (!IsBlockStringId(r.id)) {
                    for (int l = 1; l < kLangCount; ++l) {
                        if (!r.text[l].empty()) {
                            errors.push_back(where + "id " + std::to_string(r.id) +
                                             " lies outside 5000..5999 and has no language "
                                             "copies: only the en cell may be filled");
                            break;
                        }
                    }
                }
                continue;
            }
            if (r.id < 100 || r.id > 199) {
                errors.push_back(where + std::string(t.kind == Kind::Menus ? "menu" : "dialog") +
                                 " id " + std::to_string(r.id) +
                                 " must be an English id (100..199)");
            }
            std::string tag = t.kind == Kind::Menus ? "m" : "d";
            auto [it, fresh] = items.emplace(std::make_pair(r.id, tag + r.key), where);
            if (!fresh) {
                errors.push_back(where + "item " + std::to_string(r.id) + "/" + r.key +
                                 " already given at " + it->second);
            }
            if (t.kind == Kind::Dialogs) {
                if (r.text[kEn].empty()) {
                    errors.push_back(where + "dialog text without English text");
                }
                continue;
            }
            auto p = ParsePosition(r.key);
            positions[r.id].insert(p);
            commands[r.id][p] = r.command;
            bool separator = r.command == "-";
            if (separator) {
                for (const auto& cell : r.text) {
                    if (!cell.empty()) {
                        errors.push_back(where + "a separator carries no text");
                        break;
                    }
                }
            } else if (r.text[kEn].empty()) {
                errors.push_back(where + "menu item without English text");
            }
        }
    }
    for (const auto& [menu, set] : positions) {
        for (const auto& p : set) {
            // Every position's predecessor among its siblings and its parent must exist, so the
            // items form a gap-free tree.
            std::vector<int> parent(p.begin(), p.end() - 1);
            if (!parent.empty()) {
                if (!set.count(parent)) {
                    errors.push_back("menu " + std::to_string(menu) + ": item " +
                                     std::to_string(p.back()) + " has no parent popup");
                } else if (!commands[menu][parent].empty()) {
                    errors.push_back("menu " + std::to_string(menu) +
                                     ": an item with a command cannot hold sub-items");
                }
            }
            if (p.back() > 0) {
                std::vector<int> prev = p;
                --prev.back();
                if (!set.count(prev)) {
                    errors.push_back("menu " + std::to_string(menu) + ": gap before item " +
                                     std::to_string(p.back()));
                }
            }
        }
    }
    return errors.size() == errorsBefore;
}

}  // namespace qvl::textsrc

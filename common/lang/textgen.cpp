// Build-time generator: turns the text tables (texts/*.tsv) of one binary into a C++ source
// that defines qvl::lang::LinkedTextTable(). Run by qvl_add_texts:
//   qvl_textgen <output.cpp> <edition> <table.tsv>...
// Any error in a table (bad escape, duplicate id, missing English text, ...) fails the build.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/lang/textsource.h"

namespace {

using namespace qvl::textsrc;

// Decodes UTF-8 (already validated by the parser) to code points.
std::vector<char32_t> CodePoints(const std::string& s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0   ? c
                      : extra == 1 ? (c & 0x1F)
                      : extra == 2 ? (c & 0x0F)
                                   : (c & 0x07);
        for (int k = 1; k <= extra && i + k < s.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += 1 + extra;
    }
    return out;
}

// A u"" literal; everything outside printable ASCII is written as a universal character name.
std::string Literal(const std::string& utf8) {
    std::string out = "u\"";
    char buf[16];
    for (char32_t cp : CodePoints(utf8)) {
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp >= 0x20 && cp < 0x7F && cp != '?') {
            out += static_cast<char>(cp);
        } else if (cp < 0xA0) {
            // C1 controls and '?' (no trigraph surprises) as octal escapes of the unit.
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(cp));
            out += buf;
        } else if (cp <= 0xFFFF) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(cp));
            out += buf;
        }
    }
    out += '"';
    return out;
}

struct MenuOut {
    int menuId;
    std::vector<int> position;
    int command;
    std::string text;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr
            << "usage: qvl_textgen <output.cpp> <SmsPhone|Tavix|ContactsPlugin> <table.tsv>...\n";
        return 2;
    }
    std::string outPath = argv[1];
    std::string edition = argv[2];
    if (edition != "SmsPhone" && edition != "Tavix" && edition != "ContactsPlugin") {
        std::cerr << "qvl_textgen: unknown edition '" << edition << "'\n";
        return 2;
    }
    std::vector<Table> tables;
    std::vector<std::string> errors;
    for (int i = 3; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            errors.push_back(std::string(argv[i]) + ": cannot be read");
            continue;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        Table t;
        ParseTable(ss.str(), argv[i], t, errors);
        tables.push_back(std::move(t));
    }
    CheckTableSet(tables, errors);
    if (!errors.empty()) {
        for (const auto& e : errors) {
            std::cerr << e << "\n";
        }
        return 1;
    }

    std::map<int, std::string> strings;
    std::vector<MenuOut> menus;
    std::map<std::pair<int, std::string>, std::string> dialogs;
    for (const Table& t : tables) {
        if (t.kind == Kind::Strings) {
            for (const Row& r : t.rows) {
                if (!IsBlockStringId(r.id)) {
                    strings[r.id] = r.text[kEn];
                    continue;
                }
                for (int l = 0; l < kLangCount; ++l) {
                    if (!r.text[l].empty()) {
                        strings[r.id - 5000 + kStringBlock[l]] = r.text[l];
                    }
                }
            }
        } else if (t.kind == Kind::Dialogs) {
            for (const Row& r : t.rows) {
                for (int l = 0; l < kLangCount; ++l) {
                    if (!r.text[l].empty()) {
                        dialogs[{r.id - 100 + kMenuDialogBlock[l], r.key}] = r.text[l];
                    }
                }
            }
        }
    }
    // Menus: a language copy exists when any of its items is translated; an untranslated item
    // of an existing copy shows the English text (the completeness check reports it).
    std::map<int, std::vector<const Row*>> menuRows;
    for (const Table& t : tables) {
        if (t.kind == Kind::Menus) {
            for (const Row& r : t.rows) {
                menuRows[r.id].push_back(&r);
            }
        }
    }
    for (auto& [menu, rows] : menuRows) {
        std::sort(rows.begin(), rows.end(), [](const Row* a, const Row* b) {
            return ParsePosition(a->key) < ParsePosition(b->key);
        });
        for (int l = 0; l < kLangCount; ++l) {
            bool exists = l == kEn;
            for (const Row* r : rows) {
                exists = exists || !r->text[l].empty();
            }
            if (!exists) {
                continue;
            }
            for (const Row* r : rows) {
                int command = r->command.empty()  ? 0
                              : r->command == "-" ? -1
                                                  : std::stoi(r->command);
                menus.push_back({menu - 100 + kMenuDialogBlock[l], ParsePosition(r->key), command,
                                 r->text[l].empty() ? r->text[kEn] : r->text[l]});
            }
        }
    }
    std::stable_sort(menus.begin(), menus.end(),
                     [](const MenuOut& a, const MenuOut& b) { return a.menuId < b.menuId; });

    std::ostringstream os;
    os << "// Generated by qvl_textgen from the text tables; do not edit.\n"
          "#include \"common/lang/texttable.h\"\n\n"
          "namespace qvl::lang {\nnamespace {\n\n";
    os << "const StringEntry kStrings[] = {\n";
    for (const auto& [id, text] : strings) {
        os << "    {" << id << ", " << Literal(text) << "},\n";
    }
    if (strings.empty()) {
        os << "    {0, u\"\"},\n";
    }
    os << "};\n\nconst MenuEntry kMenus[] = {\n";
    for (const auto& m : menus) {
        os << "    {" << m.menuId << ", " << (m.position.size() - 1) << ", " << m.command << ", "
           << Literal(m.text) << "},\n";
    }
    if (menus.empty()) {
        os << "    {0, 0, 0, u\"\"},\n";
    }
    os << "};\n\nconst DialogEntry kDialogs[] = {\n";
    for (const auto& [key, text] : dialogs) {
        os << "    {" << key.first << ", \"" << key.second << "\", " << Literal(text) << "},\n";
    }
    if (dialogs.empty()) {
        os << "    {0, \"\", u\"\"},\n";
    }
    os << "};\n\n}  // namespace\n\n"
          "const TextTable& LinkedTextTable() {\n"
          "    static const TextTable table = {kStrings, "
       << strings.size() << ", kMenus, " << menus.size() << ", kDialogs, " << dialogs.size()
       << ", Edition::" << edition << "};\n    return table;\n}\n\n}  // namespace qvl::lang\n";

    std::string text = os.str();
    std::string tmp = outPath + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::cerr << "qvl_textgen: cannot write " << tmp << "\n";
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), outPath.c_str()) != 0) {
        std::cerr << "qvl_textgen: cannot replace " << outPath << "\n";
        return 1;
    }
    return 0;
}

// Completeness of the shipped text tables (texts/*.tsv) against the code that uses them:
//  - every table parses, and each binary's set of tables is consistent;
//  - every message, menu item and dialog text has all four translations, except the gaps
//    listed in texts/gaps.tsv;
//  - every literal id the source tree loads (LoadLocalString(5075), LocalDialogId(103), id
//    constants named kMsg.../kText... = 5xxx) has an English text in the table of the binary
//    that compiles that source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/lang/textsource.h"

namespace qvl::textsrc {
namespace {

namespace fs = std::filesystem;

// The source tree to check; QVL_TEXTS_CHECK_ROOT points the check at another checkout.
const fs::path kRoot =
    std::getenv("QVL_TEXTS_CHECK_ROOT") ? std::getenv("QVL_TEXTS_CHECK_ROOT") : QVL_SOURCE_DIR;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

Table Load(const std::string& relPath) {
    Table t;
    std::vector<std::string> errors;
    fs::path p = kRoot / relPath;
    EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(ParseTable(ReadAll(p), relPath, t, errors)) << (errors.empty() ? "" : errors[0]);
    return t;
}

// The tables of each binary: texts/<name>.tsv and texts/<name>-*.tsv, plus the tables its own
// folder keeps beside its sources (a piece's qvl_add_texts may name either).
const std::map<std::string, std::string> kBinaries = {
    {"main", "app"},        {"mmsclient", "mmsclient"},
    {"connmgr", "connmgr"}, {"connmgrplus", "connmgrplus"},
    {"today", "today"},     {"pimplugin", "pimplugin"},
};

// Tables several binaries compile in: texts/<name>.tsv and texts/<name>-*.tsv for each of them.
const std::map<std::string, std::vector<std::string>> kSharedTables = {
    {"dataconn", {"connmgr", "connmgrplus"}},
};

std::vector<std::string> TableFiles(const std::string& binary) {
    std::vector<std::string> files;
    auto collect = [&files](const fs::path& dir, bool recursive, const std::string& prefix) {
        if (!fs::is_directory(dir)) {
            return;
        }
        auto take = [&](const fs::directory_entry& e) {
            std::string name = e.path().filename().string();
            bool named =
                prefix.empty() || name == prefix + ".tsv" || name.rfind(prefix + "-", 0) == 0;
            if (e.is_regular_file() && e.path().extension() == ".tsv" && named) {
                files.push_back(fs::relative(e.path(), kRoot).generic_string());
            }
        };
        if (recursive) {
            for (const auto& e : fs::recursive_directory_iterator(dir)) {
                take(e);
            }
        } else {
            for (const auto& e : fs::directory_iterator(dir)) {
                take(e);
            }
        }
    };
    collect(kRoot / "texts", false, binary);
    for (const auto& [shared, users] : kSharedTables) {
        if (std::find(users.begin(), users.end(), binary) != users.end()) {
            collect(kRoot / "texts", false, shared);
        }
    }
    collect(kRoot / kBinaries.at(binary), true, "");
    std::sort(files.begin(), files.end());
    return files;
}

// Which binaries compile the sources of a folder (first matching prefix wins).
const std::vector<std::pair<std::string, std::vector<std::string>>> kFolders = {
    {"app", {"main"}},
    {"common/transport", {"main", "connmgr"}},
    {"common/dataconn", {"connmgr", "connmgrplus"}},
    {"common", {"main"}},
    {"platform", {"main"}},
    {"mmsclient", {"mmsclient"}},
    {"connmgrplus", {"connmgrplus"}},
    {"connmgr", {"connmgr"}},
    {"today", {"today"}},
    {"pimplugin", {"pimplugin"}},
};

struct Ids {
    std::set<int> strings, menus, dialogs;
};

Ids IdsOf(const std::string& binary) {
    Ids ids;
    for (const auto& file : TableFiles(binary)) {
        Table t = Load(file);
        for (const Row& r : t.rows) {
            if (r.text[kEn].empty() && r.command != "-") {
                continue;
            }
            (t.kind == Kind::Strings ? ids.strings
             : t.kind == Kind::Menus ? ids.menus
                                     : ids.dialogs)
                .insert(r.id);
        }
    }
    return ids;
}

TEST(TextsCheck, EveryBinaryTableSetIsConsistent) {
    for (const auto& [binary, folder] : kBinaries) {
        SCOPED_TRACE(binary);
        std::vector<Table> tables;
        for (const auto& f : TableFiles(binary)) {
            tables.push_back(Load(f));
        }
        std::vector<std::string> errors;
        CheckTableSet(tables, errors);
        for (const auto& e : errors) {
            ADD_FAILURE() << e;
        }
    }
}

TEST(TextsCheck, EveryTranslationIsPresentOutsideTheDocumentedGaps) {
    // texts/gaps.tsv: table (path from the source root), id (or id/key), language code, reason.
    std::set<std::string> gaps;
    std::istringstream in(ReadAll(kRoot / "texts" / "gaps.tsv"));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream cells(line);
        std::string table, id, lang;
        std::getline(cells, table, '\t');
        std::getline(cells, id, '\t');
        std::getline(cells, lang, '\t');
        gaps.insert(table + " " + id + " " + lang);
    }
    std::set<std::string> used;
    std::set<std::string> seen;
    for (const auto& [binary, folder] : kBinaries) {
        for (const auto& file : TableFiles(binary)) {
            if (!seen.insert(file).second) {
                continue;
            }
            Table t = Load(file);
            for (const Row& r : t.rows) {
                if (t.kind == Kind::Strings && !IsBlockStringId(r.id)) {
                    continue;  // single-language framework strings
                }
                if (t.kind == Kind::Menus && r.command == "-") {
                    continue;
                }
                std::string id = std::to_string(r.id) + (r.key.empty() ? "" : "/" + r.key);
                for (int l = 0; l < kLangCount; ++l) {
                    std::string gap = file + " " + id + " " + kLangCodes[l];
                    if (r.text[l].empty()) {
                        EXPECT_TRUE(gaps.count(gap))
                            << file << ":" << r.line << ": " << id << " has no " << kLangCodes[l]
                            << " text and is not listed in texts/gaps.tsv";
                        used.insert(gap);
                    }
                }
            }
        }
    }
    for (const auto& g : gaps) {
        EXPECT_TRUE(used.count(g)) << "texts/gaps.tsv lists " << g << ", which is not a gap";
    }
}

struct Use {
    std::string where;
    enum { String, Menu, Dialog } kind;
    int id;
};

// Literal ids loaded in one source text.
std::vector<Use> ScanSource(const std::string& text, const std::string& file) {
    static const std::regex kString(
        R"((?:LoadLocalString\s*\(|ResourceType::String\s*,)\s*(\d+)\s*\))");
    static const std::regex kMenu(R"((?:LoadLocalMenu\s*\(|ResourceType::Menu\s*,)\s*(\d+)\s*\))");
    static const std::regex kDialog(
        R"((?:LocalDialogId\s*\(|LoadDialogTexts?\s*\()\s*(\d+)\s*[,)])");
    // Id constants by naming convention: kMsgPinPrompt = 5075, kTextHeld{5109}.
    static const std::regex kConstant(R"(\bk(?:Msg|Text)\w*\s*(?:=|\{)\s*(\d{4,5})\b)");
    std::vector<Use> uses;
    auto collect = [&](const std::regex& re, decltype(Use::kind) kind) {
        for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
            std::size_t line = 1 + std::count(text.begin(), text.begin() + it->position(), '\n');
            uses.push_back({file + ":" + std::to_string(line), kind, std::stoi((*it)[1].str())});
        }
    };
    collect(kString, Use::String);
    collect(kConstant, Use::String);
    collect(kMenu, Use::Menu);
    collect(kDialog, Use::Dialog);
    return uses;
}

TEST(TextsCheck, ScannerFindsLiteralIds) {
    auto uses = ScanSource(
        "x = LoadLocalString(5075);\nLocalResourceId(ResourceType::String, 5259)\n"
        "LocalDialogId( 103 ); LoadDialogText(110, \"ok\");\nLoadLocalMenu(105)\n"
        "constexpr int kMsgHeld = 5109;\nLoadLocalString(id); LocalDialogId(kDlg)\n",
        "f.cpp");
    std::vector<std::pair<int, int>> got;
    for (const auto& u : uses) {
        got.emplace_back(static_cast<int>(u.kind), u.id);
    }
    std::sort(got.begin(), got.end());
    std::vector<std::pair<int, int>> want = {{Use::String, 5075}, {Use::String, 5109},
                                             {Use::String, 5259}, {Use::Menu, 105},
                                             {Use::Dialog, 103},  {Use::Dialog, 110}};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(uses[0].where, "f.cpp:1");
}

TEST(TextsCheck, EveryLoadedIdHasAnEnglishText) {
    std::map<std::string, Ids> ids;
    for (const auto& b : kBinaries) {
        ids[b.first] = IdsOf(b.first);
    }
    int scanned = 0;
    for (auto it = fs::recursive_directory_iterator(kRoot);
         it != fs::recursive_directory_iterator(); ++it) {
        fs::path rel = fs::relative(it->path(), kRoot);
        std::string relText = rel.generic_string();
        std::string name = rel.filename().string();
        if (it->is_directory()) {
            // Build trees, the repository and this folder's own test tables (with their
            // deliberate gaps) are not part of any binary.
            if (name.rfind("build", 0) == 0 || name[0] == '.' || relText == "common/lang/tests") {
                it.disable_recursion_pending();
            }
            continue;
        }
        std::string ext = rel.extension().string();
        if (ext != ".cpp" && ext != ".h" && ext != ".cc" && ext != ".hpp") {
            continue;
        }
        const std::vector<std::string>* binaries = nullptr;
        for (const auto& [prefix, list] : kFolders) {
            if (relText.rfind(prefix + "/", 0) == 0) {
                binaries = &list;
                break;
            }
        }
        if (!binaries) {
            continue;
        }
        ++scanned;
        for (const Use& u : ScanSource(ReadAll(it->path()), relText)) {
            for (const auto& b : *binaries) {
                const Ids& have = ids[b];
                bool ok = u.kind == Use::String ? have.strings.count(u.id) > 0
                          : u.kind == Use::Menu ? have.menus.count(u.id) > 0
                                                : have.dialogs.count(u.id) > 0;
                const char* what = u.kind == Use::String ? "message"
                                   : u.kind == Use::Menu ? "menu"
                                                         : "dialog";
                EXPECT_TRUE(ok) << u.where << ": " << what << " " << u.id
                                << " has no English text in the tables of " << b;
            }
        }
    }
    EXPECT_GT(scanned, 0);
}

}  // namespace
}  // namespace qvl::textsrc

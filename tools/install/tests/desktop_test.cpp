// The desktop entries' Exec lines and our handlers in mimeapps.list: added without replacing a
// user's choice, removed without touching anything else.
#include "tools/install/desktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvl::install {
namespace {

TEST(DesktopEntryTest, ExecProgramQuoting) {
    struct Row {
        const char* name;
        std::string path;
        std::string exec;
    };
    const std::vector<Row> rows = {
        {"plain_unquoted", "/usr/bin/qvl-today", "/usr/bin/qvl-today"},
        {"equals_quoted", "/opt/a=b/x", "\"/opt/a=b/x\""},
        {"blank", "/opt/my apps/qvl-today", "\"/opt/my apps/qvl-today\""},
        {"quote_dollar_backtick", "/o/a\"$`b", "\"/o/a\\\\\"\\\\$\\\\`b\""},
        {"backslash", "/o/a\\b", "\"/o/a\\\\\\\\b\""},
        {"percent", "/o/100%/x", "\"/o/100%%/x\""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ExecProgram(r.path), r.exec);
    }
    std::string error;
    EXPECT_TRUE(DesktopFiles("/opt/a\nExec=/bin/evil", error).empty());
    EXPECT_NE(error.find("line break"), std::string::npos);
}

TEST(DesktopEntryTest, HandlersAddedAndRemoved) {
    struct Row {
        const char* name;
        std::string before;
        std::string added;
    };
    const std::string ours =
        "[Default Applications]\n"
        "x-scheme-handler/tel=quorvel-phone-links.desktop;\n"
        "x-scheme-handler/sms=quorvel-phone-links.desktop;\n"
        "\n"
        "[Added Associations]\n"
        "text/vcard=quorvel-phone-vcard.desktop;\n"
        "text/x-vcard=quorvel-phone-vcard.desktop;\n"
        "text/directory=quorvel-phone-vcard.desktop;\n";
    const std::vector<Row> rows = {
        {"no_file", "", ours},
        {"user_default_kept",
         "[Default Applications]\nx-scheme-handler/tel=softphone.desktop\n\n"
         "[Added Associations]\ntext/vcard=khard.desktop;\n",
         "[Default Applications]\nx-scheme-handler/tel=softphone.desktop\n"
         "x-scheme-handler/sms=quorvel-phone-links.desktop;\n\n"
         "[Added Associations]\ntext/vcard=khard.desktop;quorvel-phone-vcard.desktop;\n"
         "text/x-vcard=quorvel-phone-vcard.desktop;\n"
         "text/directory=quorvel-phone-vcard.desktop;\n"},
        {"empty_default_is_set", "[Default Applications]\nx-scheme-handler/tel=\n",
         "[Default Applications]\nx-scheme-handler/tel=quorvel-phone-links.desktop;\n"
         "x-scheme-handler/sms=quorvel-phone-links.desktop;\n\n"
         "[Added Associations]\ntext/vcard=quorvel-phone-vcard.desktop;\n"
         "text/x-vcard=quorvel-phone-vcard.desktop;\n"
         "text/directory=quorvel-phone-vcard.desktop;\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string added = WithOurHandlers(r.before);
        EXPECT_EQ(added, r.added);
        // A second install adds nothing more.
        EXPECT_EQ(WithOurHandlers(added), added);
    }
    // Removal keeps every name that is not ours, also on a line shared with ours, and the
    // sections of other programs.
    EXPECT_EQ(WithoutOurHandlers(ours), "");
    EXPECT_EQ(WithoutOurHandlers("[Added Associations]\n"
                                 "text/vcard=khard.desktop;quorvel-phone-vcard.desktop;\n"
                                 "[Removed Associations]\n"
                                 "text/vcard=quorvel-phone-vcard.desktop;\n"),
              "[Added Associations]\ntext/vcard=khard.desktop;\n[Removed Associations]\n"
              "text/vcard=quorvel-phone-vcard.desktop;\n");
}

}  // namespace
}  // namespace qvl::install

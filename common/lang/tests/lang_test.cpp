// Language mapping of strings, menus and dialogs against the test table of this folder.
#include <gtest/gtest.h>

#include "common/lang/lang.h"
#include "common/lang/tests/lang_env.h"
#include "platform/registry.h"

namespace qvl {
namespace {

using testing::LangEnvTest;

struct MappingRow {
    const char* name;
    std::optional<std::uint32_t> languageId;  // stored choice, none when absent
    const char* lang;                         // LANG (system locale)
    const char* lcMessages;                   // LC_MESSAGES (user language)
    int string5075;
    int menu105;
    int dialog103;
};

const MappingRow kMappingRows[] = {
    {"StoredGermanOnEnglishSystem", 2, "en_US.UTF-8", "en_US.UTF-8", 6075, 205, 203},
    {"SwissGermanSystemNoChoice", std::nullopt, "de_CH.UTF-8", "de_CH.UTF-8", 6075, 205, 103},
    {"GermanSystemAndUser", std::nullopt, "de_DE.UTF-8", "de_DE.UTF-8", 6075, 205, 203},
    {"StoredEnglishOnGermanSystem", 1, "de_DE.UTF-8", "de_DE.UTF-8", 5075, 105, 103},
    {"StoredItalian", 3, "de_DE.UTF-8", "de_DE.UTF-8", 9075, 505, 503},
    {"StoredSpanish", 4, "en_GB", "en_GB", 7075, 405, 403},
    {"StoredFrench", 5, "en_GB", "en_GB", 8075, 305, 303},
    {"StoredZeroKeepsSystem", 0, "fr_FR.UTF-8", "fr_FR.UTF-8", 8075, 305, 303},
    {"StoredSixKeepsSystem", 6, "it_IT.UTF-8", "it_IT.UTF-8", 9075, 505, 503},
    {"StoredHugeKeepsSystem", 0xFFFFFFFFu, "de_AT", "en_GB", 6075, 205, 103},
    {"CanadianFrenchDialogsStayEnglish", std::nullopt, "fr_CA.UTF-8", "fr_CA.UTF-8", 8075, 305,
     103},
    {"SpainSpanishUser", std::nullopt, "es_ES.UTF-8", "es_ES.UTF-8", 7075, 405, 403},
    {"MexicanSpanishUser", std::nullopt, "es_MX.UTF-8", "es_MX.UTF-8", 7075, 405, 103},
    {"BritishEnglishUser", std::nullopt, "en_GB.UTF-8", "en_GB.UTF-8", 5075, 105, 103},
    {"CLocale", std::nullopt, "C", "C", 5075, 105, 103},
    {"NothingSet", std::nullopt, nullptr, nullptr, 5075, 105, 103},
    {"LanguageOutsideTheFive", std::nullopt, "nl_NL.UTF-8", "nl_NL.UTF-8", 5075, 105, 103},
    {"UserDiffersFromSystem", std::nullopt, "en_US.UTF-8", "it_IT.UTF-8", 5075, 105, 503},
};

void PrintTo(const MappingRow& row, std::ostream* os) {
    *os << row.name;
}

class MappingTest : public LangEnvTest, public ::testing::WithParamInterface<MappingRow> {};

TEST_P(MappingTest, PicksTheLanguageBlocks) {
    const MappingRow& row = GetParam();
    StoreLanguageChoice(row.languageId);
    SetEnv("LANG", row.lang);
    SetEnv("LC_MESSAGES", row.lcMessages);
    EXPECT_EQ(LocalResourceId(ResourceType::String, 5075), row.string5075);
    EXPECT_EQ(LocalResourceId(ResourceType::Menu, 105), row.menu105);
    EXPECT_EQ(LocalDialogId(103), row.dialog103);
    EXPECT_EQ(LocalResourceId(ResourceType::Other, 105), 105);
}

INSTANTIATE_TEST_SUITE_P(Rows, MappingTest, ::testing::ValuesIn(kMappingRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(LangEnvTest, StoredValueOfWrongTypeIsNoChoice) {
    RegKey key =
        RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create);
    ASSERT_TRUE(key.WriteString(u"LanguageID", u"2"));
    SetEnv("LANG", "fr_FR.UTF-8");
    SetEnv("LC_MESSAGES", "fr_FR.UTF-8");
    EXPECT_FALSE(StoredLanguageChoice().has_value());
    EXPECT_EQ(LocalResourceId(ResourceType::String, 5075), 8075);
}

TEST_F(LangEnvTest, MissingCopiesFallBackToEnglish) {
    StoreLanguageChoice(2);
    // German gap in the string table.
    EXPECT_EQ(LocalResourceId(ResourceType::String, 5010), 5010);
    EXPECT_EQ(LoadLocalString(5010), u"Only partly translated");
    // A menu and a dialog that exist in English only.
    EXPECT_EQ(LocalResourceId(ResourceType::Menu, 102), 102);
    EXPECT_EQ(LocalDialogId(104), 104);
    EXPECT_EQ(LoadDialogText(104, "caption"), u"English dialog");
    // An id without any text.
    EXPECT_EQ(LoadLocalString(5011), u"");
}

TEST_F(LangEnvTest, IdsOutsideTheBlocksAreNeverMapped) {
    StoreLanguageChoice(2);
    for (int id : {0, -1, 99, 600, 601, 1000, 65535}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(LocalDialogId(id), id);
        EXPECT_EQ(LocalResourceId(ResourceType::Menu, id), id);
    }
    // Menu and dialog 100 have German copies (200): ids outside 100..599 that would wrap onto
    // them must still stay as they are.
    EXPECT_EQ(LocalDialogId(100), 200);
    EXPECT_EQ(LocalResourceId(ResourceType::Menu, 100), 200);
    // 65000 mod 5000 would name message 5000/6000: the framework string keeps its own id.
    EXPECT_EQ(LocalResourceId(ResourceType::String, 65000), 65000);
    EXPECT_EQ(LoadLocalString(65000), u"New");
    // An id that already names a copy is not shifted into another language's block.
    EXPECT_EQ(LocalResourceId(ResourceType::String, 6075), 6075);
    EXPECT_EQ(LocalResourceId(ResourceType::String, 4999), 4999);
}

TEST_F(LangEnvTest, LoadsTheTextOfEachLanguage) {
    const std::pair<std::uint32_t, const char16_t*> rows[] = {
        {1, u"Call ended."},         {2, u"Anruf beendet."}, {3, u"Chiamata terminata."},
        {4, u"Llamada finalizada."}, {5, u"Appel terminé."},
    };
    for (const auto& [choice, text] : rows) {
        SCOPED_TRACE(choice);
        StoreLanguageChoice(choice);
        EXPECT_EQ(LoadLocalString(5075), text);
    }
    StoreLanguageChoice(5);
    EXPECT_EQ(LoadLocalString(5099), u"Ligne un\r\nLigne deux");
}

TEST_F(LangEnvTest, MenuKeepsNestingCommandsAndSeparators) {
    StoreLanguageChoice(2);
    auto menu = LoadLocalMenu(105);
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_TRUE(menu[0].popup);
    EXPECT_EQ(menu[0].text, u"Extras");
    ASSERT_EQ(menu[0].items.size(), 3u);
    EXPECT_EQ(menu[0].items[0].text, u"Optionen");
    EXPECT_EQ(menu[0].items[0].command, 32771);
    EXPECT_TRUE(menu[0].items[1].separator);
    EXPECT_EQ(menu[0].items[1].command, 0);
    const MenuItem& more = menu[0].items[2];
    EXPECT_TRUE(more.popup);
    ASSERT_EQ(more.items.size(), 2u);
    EXPECT_EQ(more.items[0].text, u"Info");
    // An item the German copy lacks shows the English text.
    EXPECT_EQ(more.items[1].text, u"Untranslated");
    EXPECT_EQ(more.items[1].command, 32773);
    EXPECT_FALSE(menu[1].popup);
    EXPECT_EQ(menu[1].text, u"Beenden");
    EXPECT_EQ(menu[1].command, 32774);

    EXPECT_TRUE(LoadLocalMenu(199).empty());
}

TEST_F(LangEnvTest, DialogTextsFollowTheDialogLanguage) {
    // Swiss German user: strings would be German, dialogs stay English.
    SetEnv("LANG", "de_CH.UTF-8");
    SetEnv("LC_MESSAGES", "de_CH.UTF-8");
    EXPECT_EQ(LoadDialogText(103, "caption"), u"Call forwarding");
    SetEnv("LC_MESSAGES", "de_DE.UTF-8");
    EXPECT_EQ(LoadDialogText(103, "caption"), u"Rufumleitung");
    // The German copy lacks "ok": the English control text fills in.
    EXPECT_EQ(LoadDialogText(103, "ok"), u"OK");
    EXPECT_EQ(LoadDialogText(103, "nosuchcontrol"), u"");
    auto all = LoadDialogTexts(103);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].control, "caption");
    EXPECT_EQ(all[0].text, u"Rufumleitung");
    EXPECT_EQ(all[1].control, "ok");
    EXPECT_EQ(all[1].text, u"OK");
}

struct LocaleRow {
    const char* name;
    int id;
};

TEST(LocaleNames, MapToLanguageIdentifiers) {
    const LocaleRow rows[] = {
        {"en_US.UTF-8", 1033}, {"en_GB", 2057},
        {"de_DE.UTF-8", 1031}, {"de_CH.UTF-8", 2055},
        {"de_AT", 3079},       {"fr_FR", 1036},
        {"fr_CA.UTF-8", 3084}, {"fr_CH", 4108},
        {"es_ES.UTF-8", 1034}, {"es_MX", 2058},
        {"it_IT", 1040},       {"it_CH", 2064},
        {"C", 1033},           {"POSIX", 1033},
        {"C.UTF-8", 1033},     {"", 1033},
        {"de", 1031},          {"de_BE.UTF-8", 1031},
        {"de_ch", 2055},       {"DE_CH", 2055},
        {"fr_FR@euro", 1036},  {"it_IT.ISO-8859-15@euro", 1040},
        {"xx_YY", 0},          {"_DE", 0},
        {"nl_BE", 2067},       {"zh_TW.Big5", 1028},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(LanguageIdFromLocaleName(r.name), r.id) << r.name;
    }
}

TEST_F(LangEnvTest, UserLanguageSources) {
    struct Row {
        const char* name;
        const char* lcAll;
        const char* lcMessages;
        const char* language;
        const char* lang;
        int user;
        int system;
    };
    const Row rows[] = {
        {"MessagesFirst", nullptr, "de_DE", "fr_FR:en", "it_IT", 1031, 1040},
        {"LanguageFirstEntry", nullptr, nullptr, "fr_CA:de_DE", "it_IT", 3084, 1040},
        {"EmptyLanguageFallsToLang", nullptr, "", "", "it_CH", 2064, 2064},
        {"LcAllWins", "es_ES", "de_DE", nullptr, "it_IT", 1034, 1034},
        {"NothingSet", nullptr, nullptr, nullptr, nullptr, 1033, 1033},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        SetEnv("LC_ALL", r.lcAll);
        SetEnv("LC_MESSAGES", r.lcMessages);
        SetEnv("LANGUAGE", r.language);
        SetEnv("LANG", r.lang);
        EXPECT_EQ(UserDefaultLangId(), r.user);
        EXPECT_EQ(SystemDefaultLangId(), r.system);
    }
}

}  // namespace
}  // namespace qvl

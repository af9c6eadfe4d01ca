// The .mmp file (scrambling, lines, hostile files), the import into the profile store, new
// profile ids and the first import at program start.
#include "app/mms/mmsprofiles.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"

namespace qvl::mms {
namespace {

namespace fs = std::filesystem;

MmsProfile Profile(std::int32_t id, std::int32_t code, std::u16string name,
                   std::u16string apn = u"mms.example", std::u16string uri = u"http://mms/") {
    MmsProfile p;
    p.key = id;
    p.operatorCode = code;
    p.name = std::move(name);
    p.apn = std::move(apn);
    p.user = u"wap";
    p.password = u"secret";
    p.dns = u"10.0.0.53";
    p.gateway = u"10.0.0.1";
    p.uri = std::move(uri);
    return p;
}

std::string Line(std::string_view plain) {
    return ScrambleMmpLine(plain);
}

// The same line scrambled with another key, as a file of another program's build would be.
std::string ForeignLine(std::string_view plain) {
    std::string other;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        other.push_back(static_cast<char>(plain[i] ^ "K3y!x9"[i % 6] ^ kMmpKey[i % 6]));
    }
    return ScrambleMmpLine(other);
}

MmpContent Parse(const std::string& text) {
    return ParseMmpFile(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

class MmsHome : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvl-mms-profiles.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_home = tmpl;
        ::setenv("QVL_HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_home, ec);
    }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = m_home + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string m_home;
};

TEST(MmpLineTest, ScramblingIsTheKeyByExclusiveOrInHexPairs) {
    // 'A' ^ 'Q' = 0x10, 'B' ^ 'v' = 0x34; the key repeats after six characters.
    EXPECT_EQ(ScrambleMmpLine("AB"), "1034");
    EXPECT_EQ(ScrambleMmpLine(std::string(7, '\0')), "517637236D5051") << "the key itself";
    MmpLineProblem problem = MmpLineProblem::kNone;
    EXPECT_EQ(UnscrambleMmpLine("1034", problem), "AB");
    EXPECT_EQ(UnscrambleMmpLine("1a3B", problem), std::string("\x4B\x4D", 2)) << "either case";
}

TEST(MmpLineTest, FileRoundTripKeepsEveryField) {
    std::vector<MmsProfile> profiles = {Profile(1, 26201, u"T-Mobile D", u"mms.t-d1.de"),
                                        Profile(2, 26202, u"Vodafone caf\u00e9 \u20ac")};
    profiles[1].user.clear();
    profiles[1].password.clear();
    profiles[1].uri = u"http://mms.example/relay?a=1|b=2";  // a "|" in the last field stays
    const MmpContent back = Parse(FormatMmpFile(profiles));
    ASSERT_EQ(back.profiles.size(), 2u);
    EXPECT_TRUE(back.skipped.empty());
    EXPECT_EQ(back.profiles[0], profiles[0]);
    EXPECT_EQ(back.profiles[1], profiles[1]);
}

TEST(MmpLineTest, LinesThatGiveNoProfile) {
    struct Row {
        const char* name;
        std::string line;
        MmpLineProblem problem;
    };
    const std::string good = "7|26201|Name|apn|u|p|1.2.3.4|5.6.7.8|http://x/";
    const std::string hex = Line(good);
    const std::vector<Row> rows = {
        {"another key", ForeignLine(good), MmpLineProblem::kControlCharacter},
        {"odd length", hex.substr(0, hex.size() - 1), MmpLineProblem::kNotHex},
        {"not hex", "ZZ" + hex.substr(2), MmpLineProblem::kNotHex},
        {"raw NUL byte", hex.substr(0, 10) + std::string(2, '\0') + hex.substr(12),
         MmpLineProblem::kNotHex},
        {"10,000 digits", std::string(10000, 'A'), MmpLineProblem::kTooLong},
        {"1002 digits", Line(good + std::string(501 - good.size(), 'x')), MmpLineProblem::kTooLong},
        {"three fields", Line("7|26201|Name"), MmpLineProblem::kTooFewFields},
        {"eight fields", Line("7|26201|Name|apn|u|p|1.2.3.4|5.6.7.8"),
         MmpLineProblem::kTooFewFields},
        {"NUL inside", Line(std::string("7|26201|Na\0me|apn|u|p|d|g|uri", 29)),
         MmpLineProblem::kControlCharacter},
        {"CR inside", Line("7|26201|Na\rme|apn|u|p|d|g|uri"), MmpLineProblem::kControlCharacter},
        {"id not a number", Line("x7|26201|N|apn|u|p|d|g|uri"), MmpLineProblem::kBadId},
        {"empty id", Line("|26201|N|apn|u|p|d|g|uri"), MmpLineProblem::kBadId},
        {"negative id", Line("-7|26201|N|apn|u|p|d|g|uri"), MmpLineProblem::kBadId},
        {"id with a blank", Line(" 7|26201|N|apn|u|p|d|g|uri"), MmpLineProblem::kBadId},
        {"id near the integer limit", Line("2147483647|26201|N|apn|u|p|d|g|uri"),
         MmpLineProblem::kBadId},
        {"id one above the limit", Line("1000000000|26201|N|apn|u|p|d|g|uri"),
         MmpLineProblem::kBadId},
        {"operator code not a number", Line("7|262O1|N|apn|u|p|d|g|uri"),
         MmpLineProblem::kBadOperatorCode},
        {"operator code of seven digits", Line("7|2620100|N|apn|u|p|d|g|uri"),
         MmpLineProblem::kBadOperatorCode},
    };
    for (const Row& row : rows) {
        const MmpContent content = Parse(row.line + "\n");
        EXPECT_TRUE(content.profiles.empty()) << row.name;
        ASSERT_EQ(content.skipped.size(), 1u) << row.name;
        EXPECT_EQ(content.skipped[0].problem, row.problem) << row.name;
        EXPECT_EQ(content.skipped[0].line, 1) << row.name;
    }
}

TEST(MmpLineTest, LinesAtTheirLimitsAndFieldsCutToTheirWidths) {
    // 500 characters (1000 digits) is the longest line read.
    const std::string head = "9|0|";
    const std::string longest = head + std::string(40, 'N') + "|apn|u|p|d|g|" +
                                std::string(500 - head.size() - 40 - 13, 'U');
    ASSERT_EQ(longest.size(), 500u);
    const MmpContent content = Parse(Line(longest) + "\r\n");
    ASSERT_EQ(content.profiles.size(), 1u);
    EXPECT_EQ(content.profiles[0].name, std::u16string(39, u'N')) << "40 characters with NUL";
    EXPECT_EQ(content.profiles[0].uri.size(), 79u);
    EXPECT_EQ(content.profiles[0].key, 9);
    EXPECT_EQ(content.profiles[0].operatorCode, 0);

    const MmpContent limits = Parse(Line("999999999|999999|A|apn||||g|uri"));
    ASSERT_EQ(limits.profiles.size(), 1u);
    EXPECT_EQ(limits.profiles[0].key, kMaxProfileId);
    EXPECT_EQ(limits.profiles[0].operatorCode, kMaxOperatorCode);
}

TEST(MmpLineTest, FourAdjacentSeparatorsGiveEmptyFields) {
    const MmpContent content = Parse(Line("12|23415|Orange|orangemms||||10.0.0.1|http://mms/"));
    ASSERT_EQ(content.profiles.size(), 1u);
    const MmsProfile& p = content.profiles[0];
    EXPECT_EQ(p.apn, u"orangemms");
    EXPECT_EQ(p.user, u"");
    EXPECT_EQ(p.password, u"");
    EXPECT_EQ(p.dns, u"");
    EXPECT_EQ(p.gateway, u"10.0.0.1");
    EXPECT_EQ(p.uri, u"http://mms/");
}

TEST(MmpLineTest, HostileFileKeepsItsGoodLinesInOrder) {
    const std::string text = Line("1|26201|First|a|||||u") + "\r\n" +  // CR LF
                             ForeignLine("2|26202|Foreign|a|||||u") + "\n" +
                             Line("3|26203|Odd|a|||||u").substr(1) + "\n" +
                             std::string(10000, '7') + "\n" +            // very long line
                             Line("4|26204|Three") + "\n" +              // three fields
                             std::string("00\0\0FF", 6) + "\n" +         // NUL bytes
                             "this is no hex text at all\n" +            // non-hex
                             "\n   \n" +                                 // empty lines
                             Line("1|26299|Duplicate|a|||||u") + "\n" +  // same id again
                             Line("5|26205|Last|a|||||u");               // no final LF
    const MmpContent content = Parse(text);
    ASSERT_EQ(content.profiles.size(), 2u);
    EXPECT_EQ(content.profiles[0].name, u"First");
    EXPECT_EQ(content.profiles[1].name, u"Last");
    std::vector<std::pair<int, MmpLineProblem>> skipped;
    for (const auto& s : content.skipped) {
        skipped.emplace_back(s.line, s.problem);
    }
    const std::vector<std::pair<int, MmpLineProblem>> expected = {
        {2, MmpLineProblem::kControlCharacter}, {3, MmpLineProblem::kNotHex},
        {4, MmpLineProblem::kTooLong},          {5, MmpLineProblem::kTooFewFields},
        {6, MmpLineProblem::kNotHex},           {7, MmpLineProblem::kNotHex},
        {10, MmpLineProblem::kDuplicateId}};
    EXPECT_EQ(skipped, expected);
}

TEST(MmpLineTest, ProfilesThatCannotBeWritten) {
    struct Row {
        const char* name;
        MmsProfile profile;
        MmpWriteProblem problem;
    };
    MmsProfile bar = Profile(1, 1, u"a|b");
    MmsProfile barInUri = Profile(1, 1, u"ok", u"apn", u"http://x/?a|b");
    MmsProfile control = Profile(1, 1, u"line\nbreak");
    MmsProfile foreign = Profile(1, 1, u"\u65e5\u672c");
    MmsProfile euro = Profile(1, 1, u"\u20ac-Tarif");
    MmsProfile bigId = Profile(kMaxProfileId + 1, 1, u"big");
    const std::vector<Row> rows = {
        {"separator in a field", bar, MmpWriteProblem::kSeparatorInField},
        {"separator in the URI", barInUri, MmpWriteProblem::kNone},
        {"line break", control, MmpWriteProblem::kControlCharacter},
        {"not in Windows-1252", foreign, MmpWriteProblem::kNotWindows1252},
        {"euro sign", euro, MmpWriteProblem::kNone},
        {"id beyond the limit", bigId, MmpWriteProblem::kBadId}};
    for (const Row& row : rows) {
        EXPECT_EQ(CheckWritableProfile(row.profile), row.problem) << row.name;
    }
}

TEST(MmpLineTest, NewProfileIds) {
    sms::CRecordStore store;
    EXPECT_EQ(NewProfileId(store), 5001);
    store.Append(Profile(12, 0, u"low"));
    store.Append(Profile(4999, 0, u"below the base"));
    EXPECT_EQ(NewProfileId(store), 5001) << "ids below 5000 start new ones at 5001";
    store.Append(Profile(7000, 0, u"high"));
    EXPECT_EQ(NewProfileId(store), 7001);
    store.Append(Profile(kMaxProfileId, 0, u"last"));
    EXPECT_EQ(NewProfileId(store), std::nullopt) << "no id past the limit";
}

TEST_F(MmsHome, ImportReplacesProfilesOnlyWhenTheFileGaveOne) {
    sms::CRecordStore store;
    store.Append(Profile(100, 26201, u"Mine"));

    const std::string foreign = Write("foreign.mmp", ForeignLine("1|1|X|a|||||u") + "\n");
    const std::string good =
        Write("good.mmp", Line("1|26202|A|a|||||u") + "\n" + std::string(10000, 'F') + "\n" +
                              Line("2|26203|B|a|||||u") + "\n");
    fs::create_directory(m_home + "/folder.mmp");
    const std::string large = Write("large.mmp", std::string(kMaxMmpFileBytes + 1, '0'));

    struct Row {
        const char* name;
        std::string path;
        ImportStatus status;
    };
    const std::vector<Row> keeps = {
        {"missing", m_home + "/none.mmp", ImportStatus::kMissing},
        {"another key", foreign, ImportStatus::kNothingValid},
        {"not a file", m_home + "/folder.mmp", ImportStatus::kCannotRead},
        {"too large", large, ImportStatus::kTooLarge}};
    for (const Row& row : keeps) {
        const ImportReport report = ImportMmsProfiles(row.path, store);
        EXPECT_EQ(report.status, row.status) << row.name;
        EXPECT_EQ(report.imported, 0) << row.name;
        ASSERT_EQ(ProfilesOf(store).size(), 1u) << row.name;
        EXPECT_EQ(ProfilesOf(store)[0]->name, u"Mine") << row.name;
    }

    const ImportReport report = ImportMmsProfiles(good, store);
    EXPECT_EQ(report.status, ImportStatus::kImported);
    EXPECT_EQ(report.imported, 2);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].line, 2);
    const auto profiles = ProfilesOf(store);
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0]->name, u"A");
    EXPECT_EQ(profiles[1]->name, u"B");
    EXPECT_EQ(FindProfileByOperator(store, 26203), profiles[1]);
    EXPECT_EQ(FindProfileByOperator(store, -1), nullptr);
    EXPECT_EQ(FindProfileById(store, 2), profiles[1]);
}

TEST_F(MmsHome, FirstImportAtStart) {
    const UiPorts noUi;
    // No file: the store stays empty and the flag is set, so it is not tried again.
    EXPECT_EQ(RunFirstMmsImport(noUi, u"Importing"), FirstImportResult::kDone);
    EXPECT_TRUE(MmsImportedSetting());
    EXPECT_FALSE(fs::exists(sms::MmsProfileStorePath()));
    EXPECT_EQ(RunFirstMmsImport(noUi, u"Importing"), FirstImportResult::kAlreadyDone);

    // A file that is there but cannot be read is tried again at the next start.
    WriteSettingNumber(kRootLocalMachine, keys::kKeyDialer, keys::kValueMmsImported, 0);
    fs::create_directories(DefaultMmpPath());
    EXPECT_EQ(RunFirstMmsImport(noUi, u"Importing"), FirstImportResult::kTryAgainLater);
    EXPECT_FALSE(MmsImportedSetting());
    fs::remove(DefaultMmpPath());

    std::ofstream(DefaultMmpPath(), std::ios::binary) << Line("3|26201|Start|a|||||u") << "\r\n";
    EXPECT_EQ(RunFirstMmsImport(noUi, u"Importing"), FirstImportResult::kDone);
    EXPECT_TRUE(MmsImportedSetting());
    sms::CRecordStore saved;
    ASSERT_TRUE(saved.Load(sms::MmsProfileStorePath()));
    ASSERT_EQ(ProfilesOf(saved).size(), 1u);
    EXPECT_EQ(ProfilesOf(saved)[0]->name, u"Start");
}

TEST_F(MmsHome, ProfileSettingsDefaults) {
    EXPECT_TRUE(DetectProfileSetting());
    EXPECT_EQ(SelectedProfileSetting(), 0);
    WriteProfileSettings(false, 5003);
    EXPECT_FALSE(DetectProfileSetting());
    EXPECT_EQ(SelectedProfileSetting(), 5003);
}

// qvl-mmp as a user runs it: a file written from typed lines reads back as the same lines,
// and a line that cannot be stored exactly refuses the whole file.
struct ToolRun {
    int status = -1;
    std::string out;
};
ToolRun RunMmpTool(const std::string& args, const std::string& input, const std::string& home) {
    const std::string inputFile = home + "/tool-input.txt";
    std::ofstream(inputFile, std::ios::binary) << input;
    const std::string command =
        std::string(QVL_MMP_TOOL) + " " + args + " < " + inputFile + " 2>" + home + "/tool-err.txt";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[512];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(MmsHome, MmpToolWritesAndReadsProfileFiles) {
    const std::string lines =
        "12|26202|Operator MMS|mms.example|wap|wap|10.0.0.53|10.0.0.1|http://mms.example/mms\r\n"
        "13|0|Zürich|mms.ch||||10.0.0.2|http://m/a|b\n";
    const std::string file = m_home + "/op.mmp";
    ASSERT_EQ(RunMmpTool("write " + file, lines, m_home).status, 0);
    const MmpFileRead read = ReadMmpFile(file);
    ASSERT_EQ(read.content.profiles.size(), 2u);
    EXPECT_EQ(read.content.profiles[1].name, u"Zürich") << "Windows-1252 in the file";
    EXPECT_EQ(read.content.profiles[1].uri, u"http://m/a|b");
    const ToolRun back = RunMmpTool("read " + file, "", m_home);
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(
        back.out,
        "12|26202|Operator MMS|mms.example|wap|wap|10.0.0.53|10.0.0.1|http://mms.example/mms\n"
        "13|0|Zürich|mms.ch||||10.0.0.2|http://m/a|b\n");

    struct Case {
        const char* name;
        std::string line;
    };
    const Case refused[] = {
        {"three fields", "1|2|three"},
        {"name over its width", "1|0|" + std::string(40, 'n') + "|apn|||||u"},
        {"uri over its width", "1|0|n|apn|||||" + std::string(80, 'u')},
        {"not a number", "x|0|n|apn|||||u"},
        {"a character outside the code page", "1|0|\xe2\x82\xac\xe2\x98\x83|apn|||||u"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const std::string target = m_home + "/refused.mmp";
        EXPECT_EQ(
            RunMmpTool("write " + target, "5|0|good|apn|||||u\n" + c.line + "\n", m_home).status,
            1);
        EXPECT_FALSE(fs::exists(target)) << "nothing written";
    }
    EXPECT_EQ(RunMmpTool("read " + m_home + "/none.mmp", "", m_home).status, 1);
    EXPECT_EQ(RunMmpTool("", "", m_home).status, 2) << "usage";
}

}  // namespace
}  // namespace qvl::mms

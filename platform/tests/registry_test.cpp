#include "platform/registry.h"

#include "platform/registry_format.h"
#include "platform/tests/test_home.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace qvl {
namespace {

using testing::TestHome;

RegValue Str(std::u16string text) {
    RegValue v;
    v.type = RegType::String;
    v.text = std::move(text);
    return v;
}
RegValue Num(std::uint32_t n) {
    RegValue v;
    v.type = RegType::Dword;
    v.number = n;
    return v;
}
RegValue Bin(std::vector<std::uint8_t> bytes) {
    RegValue v;
    v.type = RegType::Binary;
    v.bytes = std::move(bytes);
    return v;
}
RegValue Multi(std::vector<std::u16string> strings) {
    RegValue v;
    v.type = RegType::MultiString;
    v.strings = std::move(strings);
    return v;
}

void ExpectSame(const RegValue& want, const std::optional<RegValue>& got) {
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->type, want.type);
    EXPECT_EQ(got->text, want.text);
    EXPECT_EQ(got->number, want.number);
    EXPECT_EQ(got->strings, want.strings);
    EXPECT_EQ(got->bytes, want.bytes);
}

std::vector<std::uint8_t> Bytes(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return out;
}

class RegistryTest : public TestHome {};

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFileWithOddNames) {
    struct Row {
        const char* label;
        std::u16string name;
        RegValue value;
    };
    const std::vector<Row> rows = {
        {"quotes_and_backslashes", u"na\"me\\x", Str(u"say \"hi\" to C:\\dir\\")},
        {"text_ending_in_backslash", u"Trail", Str(u"C:\\")},
        {"non_ascii", u"Gr\u00FC\u00DFe", Str(u"\u20AC 5 \u00E9t\u00E9 \xD83D\xDE00")},
        {"default_value", u"", Str(u"the default")},
        {"empty_text", u"Empty", Str(u"")},
        {"long_text", u"Long", Str(std::u16string(1000, u'x') + u"end")},
        {"control_characters", u"Lines", Str(u"one\r\ntwo\tthree")},
        {"lone_surrogate", u"Broken", Str(std::u16string(u"a") + char16_t(0xD800) + u"b")},
        {"equals_and_brackets", u"[a]=b", Str(u"=\"[x]\"=")},
        {"dword_zero", u"Zero", Num(0)},
        {"dword_max", u"Max", Num(0xFFFFFFFFu)},
        {"binary_empty", u"NoBytes", Bin({})},
        {"binary_wrapped", u"ManyBytes", Bin(Bytes(200))},
        {"multi_none", u"MultiNone", Multi({})},
        {"multi_one_empty", u"MultiEmpty", Multi({u""})},
        {"multi_empty_inside", u"MultiGap", Multi({u"a", u"", u"b\u00E9"})},
        {"leading_space_name", u" spaced ", Str(u" x ")},
    };
    RegKey key =
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Odd \"Key\"\\[sub]", RegOpen::Create);
    ASSERT_TRUE(key);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_TRUE(key.Write(row.name, row.value));
        ExpectSame(row.value, key.Read(row.name));
    }
    ReloadFromDisk();
    EXPECT_EQ(RegTakeLoadProblem(), "");
    key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Odd \"Key\"\\[sub]");
    ASSERT_TRUE(key);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ExpectSame(row.value, key.Read(row.name));
    }
    ASSERT_EQ(key.ValueNames().size(), rows.size());
    // The file is REGEDIT5 text that a user can read.
    const std::string text = ReadText(HiveFile());
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("\"Max\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"the default\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"na\\\"me\\\\x\"="), std::string::npos);
}

TEST_F(RegistryTest, ValuesAndKeysCanBeRejected) {
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\T", RegOpen::Create);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key.WriteString(u"bad\nname", u"x"));
    EXPECT_FALSE(key.WriteMultiString(u"NulInside", {std::u16string(u"a\0b", 3)}));
    EXPECT_FALSE(key.WriteBinary(u"Huge", std::vector<std::uint8_t>((1u << 20) + 1)));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\line\nbreak", RegOpen::Create));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\" + std::u16string(256, u'k'),
                              RegOpen::Create));
    EXPECT_FALSE(RegKey::Open(static_cast<RegRoot>(7), u"SOFTWARE", RegOpen::Create));
    EXPECT_FALSE(RegKey().WriteDword(u"x", 1));
    EXPECT_FALSE(RegKey().ReadDword(u"x"));
    EXPECT_EQ(key.ValueNames().size(), 0u);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirCase) {
    RegKey skin = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Skin",
                               RegOpen::Create);
    ASSERT_TRUE(skin.WriteString(u"SkinImage", u"\\a.bmp"));
    RegKey other =
        RegKey::Open(RegRoot::LocalMachine, u"\\software\\QUORVEL\\dialer\\settings\\skin");
    ASSERT_TRUE(other);
    EXPECT_EQ(other.ReadString(u"SKINIMAGE"), u"\\a.bmp");
    ASSERT_TRUE(other.WriteString(u"skinimage", u"\\b.bmp"));
    EXPECT_EQ(skin.ValueNames(), std::vector<std::u16string>{u"SkinImage"});
    EXPECT_EQ(skin.ReadString(u"SkinImage"), u"\\b.bmp");
    // Latin-1 letters fold too, as on the handheld.
    ASSERT_TRUE(skin.WriteDword(u"\u00C4nderung", 1));
    EXPECT_EQ(skin.ReadDword(u"\u00E4NDERUNG"), 1u);
    ReloadFromDisk();
    RegKey software = RegKey::Open(RegRoot::LocalMachine, u"software");
    EXPECT_EQ(software.SubKeyNames(), std::vector<std::u16string>{u"Quorvel"});
    // The two hives are separate files.
    EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, u"SOFTWARE\\Quorvel"));
}

TEST_F(RegistryTest, EnumerationKeepsCreationOrder) {
    RegKey root = RegKey::Open(RegRoot::CurrentUser, u"Software\\Order", RegOpen::Create);
    for (const char16_t* name : {u"zeta", u"Alpha", u"mid"}) {
        ASSERT_TRUE(root.OpenSub(name, RegOpen::Create));
        ASSERT_TRUE(root.WriteDword(name, 1));
    }
    ASSERT_TRUE(root.WriteDword(u"ALPHA", 2));  // rewriting keeps the place
    const std::vector<std::u16string> want = {u"zeta", u"Alpha", u"mid"};
    EXPECT_EQ(root.SubKeyNames(), want);
    EXPECT_EQ(root.ValueNames(), want);
    ReloadFromDisk();
    EXPECT_EQ(root.SubKeyNames(), want);
    EXPECT_EQ(root.ValueNames(), want);
    EXPECT_EQ(root.ReadDword(u"alpha"), 2u);
}

TEST_F(RegistryTest, DeletingValuesAndTrees) {
    RegKey dial =
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create);
    RegKey speed = dial.OpenSub(u"SpeedDial", RegOpen::Create);
    RegKey deep = speed.OpenSub(u"Deep\\Deeper", RegOpen::Create);
    ASSERT_TRUE(speed.WriteString(u"Category0Button0Name", u"Ann"));
    ASSERT_TRUE(deep.WriteDword(u"x", 1));
    ASSERT_TRUE(dial.WriteString(u"Number", u"123"));

    EXPECT_TRUE(dial.DeleteValue(u"NUMBER"));
    EXPECT_FALSE(dial.DeleteValue(u"Number"));
    EXPECT_FALSE(dial.ReadString(u"Number"));

    EXPECT_TRUE(dial.DeleteSubKey(u"speeddial"));
    EXPECT_FALSE(dial.DeleteSubKey(u"SpeedDial"));
    EXPECT_FALSE(
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SpeedDial\\Deep"));
    // A handle to a deleted key reads nothing and cannot write.
    EXPECT_FALSE(speed.ReadString(u"Category0Button0Name"));
    EXPECT_FALSE(deep.WriteDword(u"x", 2));
    EXPECT_TRUE(dial.SubKeyNames().empty());
    // Re-created as a whole, as the speed-dial dialog does.
    ASSERT_TRUE(dial.OpenSub(u"SpeedDial", RegOpen::Create));
    EXPECT_TRUE(speed.ValueNames().empty());

    EXPECT_FALSE(RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Missing"));
    EXPECT_FALSE(RegDeleteTree(RegRoot::LocalMachine, u""));  // never the hive itself
    EXPECT_TRUE(RegDeleteTree(RegRoot::LocalMachine, u"software\\quorvel"));
    ReloadFromDisk();
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel"));
    EXPECT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE"));
}

TEST_F(RegistryTest, ReadsOfAnotherTypeGiveNothing) {
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Types", RegOpen::Create);
    ASSERT_TRUE(key.WriteDword(u"N", 5));
    ASSERT_TRUE(key.WriteString(u"S", u"5"));
    ASSERT_TRUE(key.WriteBinary(u"B", {5}));
    ASSERT_TRUE(key.WriteMultiString(u"M", {u"5"}));
    EXPECT_FALSE(key.ReadString(u"N"));
    EXPECT_FALSE(key.ReadDword(u"S"));
    EXPECT_FALSE(key.ReadMultiString(u"B"));
    EXPECT_FALSE(key.ReadBinary(u"M"));
    EXPECT_FALSE(key.ReadString(u"Missing"));
    // A value rewritten with another type changes type.
    ASSERT_TRUE(key.WriteString(u"N", u"now text"));
    EXPECT_FALSE(key.ReadDword(u"N"));
    EXPECT_EQ(key.ReadString(u"N"), u"now text");
}

TEST_F(RegistryTest, FilesAndFolderArePrivate) {
    ASSERT_TRUE(RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer", RegOpen::Create)
                    .WriteDword(u"LanguageID", 2));
    struct stat st {};
    ASSERT_EQ(::stat((Home() + "/registry").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(HiveFile("HKEY_CURRENT_USER").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(HiveFile("HKEY_CURRENT_USER") + ".tmp"));
}

TEST_F(RegistryTest, AnotherProgramsEditIsSeenAtTheNextRead) {
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create);
    ASSERT_TRUE(key.WriteString(u"Number", u"111"));
    // A user edits the file by hand (same size, in place).
    std::string text = ReadText(HiveFile());
    const std::size_t at = text.find("\"111\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 5, "\"222\"");
    WriteText(HiveFile(), text);
    struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    times[1].tv_sec = 1;  // a clearly different modification time
    times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, HiveFile().c_str(), times, 0), 0);
    EXPECT_EQ(key.ReadString(u"Number"), u"222");
    // And a whole new file, as another program's write leaves it.
    WriteText(HiveFile() + ".new",
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvel\\"
              "Dialer]\n\"Number\"=\"333\"\n");
    std::filesystem::rename(HiveFile() + ".new", HiveFile());
    EXPECT_EQ(key.ReadString(u"Number"), u"333");
}

TEST_F(RegistryTest, VolatileKeysStayInMemory) {
    ASSERT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"Drivers\\BuiltIn", RegOpen::Create)
                    .WriteString(u"Prefix", u"COM"));
    RegKey active =
        RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active", RegOpen::CreateVolatile);
    ASSERT_TRUE(active);
    RegKey port = active.OpenSub(u"01", RegOpen::Create);  // below a volatile key: volatile too
    ASSERT_TRUE(port.WriteString(u"Name", u"COM3:"));
    ASSERT_TRUE(port.WriteString(u"Key", u"Drivers\\USB\\ttyUSB0"));
    // A key volatile from its first missing name.
    ASSERT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\sim", RegOpen::CreateVolatile)
                    .WriteDword(u"Baud", 115200));

    RegKey drivers = RegKey::Open(RegRoot::LocalMachine, u"DRIVERS");
    EXPECT_EQ(drivers.SubKeyNames(), (std::vector<std::u16string>{u"BuiltIn", u"Active"}));
    EXPECT_EQ(RegKey::Open(RegRoot::LocalMachine, u"drivers\\active\\01").ReadString(u"name"),
              u"COM3:");
    const std::string text = ReadText(HiveFile());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn]"), std::string::npos);
    EXPECT_EQ(text.find("Active"), std::string::npos);
    EXPECT_EQ(text.find("COM3"), std::string::npos);
    EXPECT_EQ(text.find("ExtModems"), std::string::npos);

    // A later persistent write elsewhere does not pull the volatile keys into the file.
    ASSERT_TRUE(drivers.WriteDword(u"Touched", 1));
    EXPECT_EQ(ReadText(HiveFile()).find("Active"), std::string::npos);
    EXPECT_EQ(port.ReadString(u"Name"), u"COM3:");

    EXPECT_TRUE(active.DeleteSubKey(u"01"));
    EXPECT_TRUE(active.SubKeyNames().empty());
    EXPECT_TRUE(RegDeleteTree(RegRoot::LocalMachine, u"Drivers"));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active"));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"Drivers\\BuiltIn"));
}

struct DamagedCase {
    const char* label;
    std::string text;
    std::vector<std::pair<std::u16string, std::u16string>> kept;  // value name, text
};

TEST_F(RegistryTest, DamagedFilesAreKeptAsideAndWhatParsedIsUsed) {
    const std::string head =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvel\\Dialer]\n"
        "\"A\"=\"one\"\n";
    const std::vector<DamagedCase> cases = {
        {"truncated_text", head + "\"B\"=\"tw", {{u"A", u"one"}}},
        {"truncated_name", head + "\"B", {{u"A", u"one"}}},
        {"truncated_hex", head + "\"C\"=hex:01,0", {{u"A", u"one"}}},
        {"truncated_key_line", head + "[HKEY_LOCAL_MACHINE\\SOFTW", {{u"A", u"one"}}},
        {"garbage_in_middle",
         head + "%%%% nonsense\n\"B\"=\"two\"\n",
         {{u"A", u"one"}, {u"B", u"two"}}},
        {"bad_dword",
         head + "\"N\"=dword:12345678901\n\"B\"=\"two\"\n",
         {{u"A", u"one"}, {u"B", u"two"}}},
        {"no_header",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvel\\Dialer]\n\"A\"=\"one\"\n",
         {{u"A", u"one"}}},
        {"other_hive_section",
         head + "[HKEY_CURRENT_USER\\Software\\X]\n\"Z\"=\"z\"\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvel\\Dialer]\n\"B\"=\"two\"\n",
         {{u"A", u"one"}, {u"B", u"two"}}},
        {"binary_junk", std::string("\x00\xFF\x13garbage\x00", 12), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string regDir = Home() + "/registry";
        std::filesystem::remove_all(regDir);
        RegTakeLoadProblem();
        WriteText(HiveFile(), c.text);
        ReloadFromDisk();

        RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer");
        for (const auto& [name, text] : c.kept) {
            EXPECT_EQ(key.ReadString(name), text);
        }
        const std::string problem = RegTakeLoadProblem();
        EXPECT_NE(problem.find("HKEY_LOCAL_MACHINE.reg"), std::string::npos) << problem;
        EXPECT_NE(problem.find(".corrupt-"), std::string::npos) << problem;
        EXPECT_EQ(RegTakeLoadProblem(), "");  // told once

        std::vector<std::string> copies;
        for (const auto& e : std::filesystem::directory_iterator(regDir)) {
            if (e.path().filename().string().find(".corrupt-") != std::string::npos) {
                copies.push_back(e.path().string());
            }
        }
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(ReadText(copies[0]), c.text);

        // The next write stores what was read plus the change; the file is clean again.
        ASSERT_TRUE(
            RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create)
                .WriteString(u"After", u"yes"));
        const auto reparsed = regfile::ParseRegText(ReadText(HiveFile()));
        EXPECT_TRUE(reparsed.issues.empty());
        ReloadFromDisk();
        key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer");
        EXPECT_EQ(key.ReadString(u"After"), u"yes");
        for (const auto& [name, text] : c.kept) {
            EXPECT_EQ(key.ReadString(name), text);
        }
        EXPECT_EQ(RegTakeLoadProblem(), "");
    }
}

TEST_F(RegistryTest, DamagedFileIsNotReplacedWhenNoCopyCanBeMade) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\n\"A\"=\"1\"\n"
        "\"B\"=\"tw";
    WriteText(HiveFile(), text);
    struct stat st {};
    ASSERT_EQ(::stat(HiveFile().c_str(), &st), 0);
    char stamp[32];
    struct tm tmv {};
    const time_t t = st.st_mtim.tv_sec;
    gmtime_r(&t, &tmv);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
    // A folder where the copy would go: the copy cannot be made.
    std::filesystem::create_directories(HiveFile() + ".corrupt-" + stamp);
    ReloadFromDisk();
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Q");
    EXPECT_EQ(key.ReadString(u"A"), u"1");
    EXPECT_FALSE(key.WriteString(u"C", u"3"));
    EXPECT_EQ(ReadText(HiveFile()), text);
    EXPECT_NE(RegTakeLoadProblem().find("no copy"), std::string::npos);
}

// A hive file of one key holding `count` string values V0 .. V<count-1>.
std::string ManyValues(int count) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\n";
    for (int i = 0; i < count; ++i) {
        text += "\"V" + std::to_string(i) + "\"=\"value " + std::to_string(i) + "\"\n";
    }
    return text;
}

TEST_F(RegistryTest, AKeyWithAHundredThousandValuesLoadsAndChanges) {
    constexpr int kCount = 100000;
    WriteText(HiveFile(), ManyValues(kCount));
    ReloadFromDisk();
    RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Big");
    ASSERT_TRUE(key);
    EXPECT_EQ(key.ReadString(u"v0"), u"value 0");
    EXPECT_EQ(key.ReadString(u"V99999"), u"value 99999");
    EXPECT_TRUE(key.WriteString(u"V50000", u"changed"));
    EXPECT_TRUE(key.DeleteValue(u"V1"));
    ReloadFromDisk();
    const auto names = key.ValueNames();
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kCount - 1));
    EXPECT_EQ(names[1], u"V2");
    EXPECT_EQ(names.back(), u"V99999");
    EXPECT_EQ(key.ReadString(u"V50000"), u"changed");
    EXPECT_EQ(key.ReadString(u"V1"), std::nullopt);
    EXPECT_EQ(RegTakeLoadProblem(), "");
}

TEST_F(RegistryTest, KeysDeeperThan512LevelsAreRefused) {
    std::u16string path = u"SOFTWARE";
    for (int i = 1; i < 512; ++i) {
        path += u"\\k";
    }
    EXPECT_TRUE(RegKey::Open(RegRoot::LocalMachine, path, RegOpen::Create));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, path + u"\\k", RegOpen::Create));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, path).OpenSub(u"k", RegOpen::Create));

    // A file holding a key 100,000 levels deep: the line is set aside as damage, the rest is
    // used, and writing the hive again does not recurse through such a key.
    std::string deep = "[HKEY_LOCAL_MACHINE\\SOFTWARE";
    for (int i = 0; i < 100000; ++i) {
        deep += "\\d";
    }
    WriteText(HiveFile(), "Windows Registry Editor Version 5.00\n\n" + deep +
                              "]\n\"X\"=\"1\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\n\"A\"=\"a\"\n");
    ReloadFromDisk();
    RegKey q = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Q");
    EXPECT_EQ(q.ReadString(u"A"), u"a");
    EXPECT_NE(RegTakeLoadProblem().find(".corrupt-"), std::string::npos);
    EXPECT_TRUE(q.WriteString(u"B", u"b"));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\d"));
}

std::string Utf16LeWithBom(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

TEST_F(RegistryTest, ImportsTheHandheldEditorsUtf16Export) {
    ASSERT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Old", RegOpen::Create)
                    .WriteDword(u"Gone", 1));
    ASSERT_TRUE(
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SMS", RegOpen::Create)
            .WriteDword(u"DeleteSMS", 1));
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvel\\Dialer\\SMS]\r\n"
        u"\"VoiceMailNo\"=\"+49 171 \u00FC\"\r\n"
        u"\"ValidityPeriod\"=dword:000000a7\r\n"
        u"\"DeleteSMS\"=-\r\n"
        u"\"Parts\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        u"\"Raw\"=hex:de,ad,\\\r\n  be,ef\r\n"
        u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Quorvel\\Installer]\r\n"
        u"\"LanguageID\"=dword:00000005\r\n";
    const std::string path = Home() + "/export.reg";
    WriteText(path, Utf16LeWithBom(text));
    std::string error;
    ASSERT_TRUE(RegImportFile(path, &error)) << error;

    RegKey sms = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SMS");
    EXPECT_EQ(sms.ReadString(u"VoiceMailNo"), u"+49 171 \u00FC");
    EXPECT_EQ(sms.ReadDword(u"ValidityPeriod"), 167u);
    EXPECT_FALSE(sms.ReadDword(u"DeleteSMS"));
    EXPECT_EQ(sms.ReadMultiString(u"Parts"), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(sms.ReadBinary(u"Raw"), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Old"));
    EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer")
                  .ReadDword(u"LanguageID"),
              5u);
}

TEST_F(RegistryTest, ImportReportsBadLinesAndKeepsTheGoodOnes) {
    const std::string path = Home() + "/partly.reg";
    WriteText(path,
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Imp]\n\"Good\"=\"yes\"\n\"Bad\"=dword:xyz\n"
              "[HKEY_CLASSES_ROOT\\.txt]\n\"Other\"=\"no\"\n");
    std::string error;
    EXPECT_FALSE(RegImportFile(path, &error));
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
    EXPECT_EQ(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Imp").ReadString(u"Good"), u"yes");
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Imp").ReadString(u"Other"));

    EXPECT_FALSE(RegImportFile(Home() + "/missing.reg", &error));
    EXPECT_NE(error.find("missing.reg"), std::string::npos);
    EXPECT_FALSE(RegImportFile(Home(), nullptr));  // a folder
}

}  // namespace
}  // namespace qvl

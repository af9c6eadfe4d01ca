#include "platform/registry_format.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace qvl::regfile {
namespace {

TEST(RegistryFormatTest, WriterOutputParsesBackToTheSameText) {
    Node root;
    Node& key = CreateKey(root, {u"SOFTWARE", u"A \"b\"", u"\u00C9t\u00E9"});
    RegValue multi;
    multi.type = RegType::MultiString;
    multi.strings = {u"x", u"", std::u16string(300, u'y')};
    key.SetValue(u"M", multi);
    RegValue bin;
    bin.type = RegType::Binary;
    bin.bytes.assign(100, 0xAB);
    key.SetValue(u"", bin);
    CreateKey(root, {u"Empty"});
    const std::string text = SerializeHive(RegRoot::LocalMachine, root);
    // Long hex data is wrapped as the registry editor wraps it.
    EXPECT_NE(text.find(",\\\n  "), std::string::npos);

    const ParseResult parsed = ParseRegText(text);
    ASSERT_TRUE(parsed.issues.empty());
    Node again;
    ApplyOps(again, parsed.ops, RegRoot::LocalMachine);
    EXPECT_EQ(SerializeHive(RegRoot::LocalMachine, again), text);
    EXPECT_NE(FindKey(again, {u"empty"}), nullptr);
}

TEST(RegistryFormatTest, ForeignForms) {
    struct Row {
        const char* label;
        std::string line;
        RegType type;
        std::u16string text;
        std::uint32_t number;
        std::vector<std::u16string> strings;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Row> rows = {
        {"short_dword", "\"v\"=dword:2a", RegType::Dword, u"", 42, {}, {}},
        {"upper_hex_dword", "\"v\"=DWORD:0000FFFF", RegType::Dword, u"", 0xFFFF, {}, {}},
        {"hex4_dword", "\"v\"=hex(4):2a,00,00,00", RegType::Dword, u"", 42, {}, {}},
        {"expand_string_as_text", "\"v\"=hex(2):41,00,00,00", RegType::String, u"A", 0, {}, {}},
        {"multi_without_final_nul",
         "\"v\"=hex(7):61,00,00,00,62,00",
         RegType::MultiString,
         u"",
         0,
         {u"a", u"b"},
         {}},
        {"multi_single_nul", "\"v\"=hex(7):00,00", RegType::MultiString, u"", 0, {}, {}},
        {"qword_kept_as_bytes",
         "\"v\"=hex(b):01,02,03,04,05,06,07,08",
         RegType::Binary,
         u"",
         0,
         {},
         {1, 2, 3, 4, 5, 6, 7, 8}},
        {"trailing_comma", "\"v\"=hex:01,02,", RegType::Binary, u"", 0, {}, {1, 2}},
        {"spaces_around", "\"v\" = \"t\"  ", RegType::String, u"t", 0, {}, {}},
        {"unknown_escape_kept", "\"v\"=\"a\\nb\"", RegType::String, u"a\\nb", 0, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const ParseResult parsed = ParseRegText("REGEDIT4\n[HKLM\\K]\n" + row.line + "\n");
        ASSERT_TRUE(parsed.issues.empty()) << parsed.issues.front().what;
        ASSERT_EQ(parsed.ops.size(), 2u);
        const RegValue& v = parsed.ops[1].value;
        EXPECT_EQ(v.type, row.type);
        EXPECT_EQ(v.text, row.text);
        EXPECT_EQ(v.number, row.number);
        EXPECT_EQ(v.strings, row.strings);
        EXPECT_EQ(v.bytes, row.bytes);
    }
}

TEST(RegistryFormatTest, BrokenLinesBecomeIssuesWithTheirLineNumbers) {
    struct Row {
        const char* label;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"dword_too_long", "\"v\"=dword:123456789"},
        {"dword_not_hex", "\"v\"=dword:12g4"},
        {"hex_odd_digit", "\"v\"=hex:1"},
        {"hex4_wrong_size", "\"v\"=hex(4):01,02"},
        {"text_odd_bytes", "\"v\"=hex(1):41"},
        {"hex_broken_type", "\"v\"=hex(zz):01"},
        {"no_equals", "\"v\" \"t\""},
        {"bare_word", "value"},
        {"text_with_junk_after", "\"v\"=\"t\" junk"},
        {"unknown_form", "\"v\"=qword:1"},
        {"empty_key_name", "[HKLM\\A\\\\B]"},
        {"foreign_hive", "[HKEY_USERS\\X]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const ParseResult parsed =
            ParseRegText("REGEDIT4\n[HKLM\\K]\n\"ok\"=\"1\"\n" + row.line + "\n");
        ASSERT_EQ(parsed.issues.size(), 1u);
        EXPECT_EQ(parsed.issues[0].line, 4u);
    }
    // Values after a key line that failed belong to no key.
    const ParseResult orphan = ParseRegText("REGEDIT4\n[HKEY_USERS\\X]\n\"v\"=\"1\"\n");
    EXPECT_EQ(orphan.issues.size(), 2u);
    EXPECT_TRUE(orphan.ops.empty());
}

TEST(RegistryFormatTest, KeyPathsSkipEmptyNamesAndRefuseControls) {
    EXPECT_EQ(SplitKeyPath(u"\\A\\\\B\\"), (KeyPath{u"A", u"B"}));
    EXPECT_EQ(SplitKeyPath(u""), KeyPath{});
    EXPECT_FALSE(SplitKeyPath(u"A\tB"));
    EXPECT_TRUE(SplitKeyPath(std::u16string(255, u'k')));
    EXPECT_FALSE(SplitKeyPath(std::u16string(256, u'k')));
}

std::u16string DeepPath(std::size_t levels) {
    std::u16string path;
    for (std::size_t i = 0; i < levels; ++i) {
        path += u"k\\";
    }
    return path;
}

TEST(RegistryFormatTest, KeysAreAtMost512Deep) {
    EXPECT_EQ(SplitKeyPath(DeepPath(512))->size(), 512u);
    EXPECT_FALSE(SplitKeyPath(DeepPath(513)));
    // Empty names do not count as levels.
    EXPECT_EQ(SplitKeyPath(DeepPath(512) + u"\\\\")->size(), 512u);
    const ParseResult parsed =
        ParseRegText("REGEDIT4\n[HKLM\\" + WideToUtf8(DeepPath(100000)) + "x]\n\"v\"=\"1\"\n");
    ASSERT_EQ(parsed.issues.size(), 2u);  // the key line, and its value that belongs to no key
    EXPECT_EQ(parsed.issues[0].line, 2u);
    EXPECT_TRUE(parsed.ops.empty());
}

// Names are found through an index by folded name; removals in the middle move the later
// entries, which the index must follow.
TEST(RegistryFormatTest, LookupsFollowRemovalsAndKeepCreationOrder) {
    Node key;
    RegValue v;
    v.type = RegType::Dword;
    for (std::uint32_t i = 0; i < 6; ++i) {
        v.number = i;
        key.SetValue(u"Name" + std::u16string(1, static_cast<char16_t>(u'A' + i)), v);
        key.ChildOrCreate(u"Sub" + std::u16string(1, static_cast<char16_t>(u'A' + i)));
    }
    v.number = 99;
    key.SetValue(u"NAMEb", v);  // replaces, keeps the first spelling and the place
    EXPECT_TRUE(key.RemoveValue(u"namea"));
    EXPECT_TRUE(key.RemoveValue(u"NameD"));
    EXPECT_FALSE(key.RemoveValue(u"NameD"));
    EXPECT_TRUE(key.RemoveChild(u"subc"));
    std::vector<std::u16string> names;
    for (const auto& [name, value] : key.Values()) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"NameB", u"NameC", u"NameE", u"NameF"}));
    EXPECT_EQ(key.Value(u"nameb")->number, 99u);
    EXPECT_EQ(key.Value(u"NAMEF")->number, 5u);
    EXPECT_EQ(key.Value(u"NameA"), nullptr);
    ASSERT_NE(key.Child(u"SUBF"), nullptr);
    EXPECT_EQ(key.Child(u"SUBF")->name, u"SubF");
    EXPECT_EQ(key.Child(u"SubC"), nullptr);
    EXPECT_EQ(key.Children().size(), 5u);
    const auto copy = key.Clone();
    EXPECT_EQ(copy->Value(u"namee")->number, 4u);
    EXPECT_EQ(copy->Child(u"sube")->name, u"SubE");
}

}  // namespace
}  // namespace qvl::regfile

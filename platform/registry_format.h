// The .reg text format of the registry hives: a pure parser and writer with no I/O.
//
// The text is REGEDIT5 ("Windows Registry Editor Version 5.00"): one "[HIVE\Key\Sub]" section
// per key, then one line per value: "name"="text" (\\ and \" escaped), "name"=dword:0000002a,
// "name"=hex:01,02 (binary), "name"=hex(7):... (multi-string, UTF-16LE), "name"=hex(1):...
// (a string holding control characters, which the quoted form cannot carry), @ for the default
// value. "[-HIVE\Key]" and "name"=- delete, as in an import file.
#pragma once

#include "platform/registry.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qvl::regfile {

// One key of a hive in memory: values and subkeys in creation order, names compared without
// case and kept as created. Look-ups go through an index by folded name, so a key with a
// hundred thousand values or subkeys loads and answers in time proportional to its size.
class Node {
  public:
    using ValueList = std::vector<std::pair<std::u16string, RegValue>>;
    using ChildList = std::vector<std::unique_ptr<Node>>;

    std::u16string name;

    const ValueList& Values() const { return m_values; }
    const ChildList& Children() const { return m_children; }

    Node* Child(std::u16string_view childName) const;
    Node& ChildOrCreate(std::u16string_view childName);
    bool RemoveChild(std::u16string_view childName);
    const RegValue* Value(std::u16string_view valueName) const;
    void SetValue(std::u16string_view valueName, const RegValue& value);
    bool RemoveValue(std::u16string_view valueName);
    // Deep copy.
    std::unique_ptr<Node> Clone() const;

  private:
    ValueList m_values;
    ChildList m_children;
    // Folded name -> position in the list above.
    std::unordered_map<std::u16string, std::size_t> m_valueIndex;
    std::unordered_map<std::u16string, std::size_t> m_childIndex;
};

using KeyPath = std::vector<std::u16string>;

// Splits "SOFTWARE\Quorvel\Dialer" into its names; empty components (leading, doubled or
// trailing backslashes) are skipped. Fails (nullopt) on a name that the file cannot carry
// (control characters or more than kMaxKeyNameLength units) and on a path deeper than
// kMaxKeyDepth names, which no program of the suite makes and which would only make every
// walk of the tree deep.
std::optional<KeyPath> SplitKeyPath(std::u16string_view path);
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxValueNameLength = 16383;
// Largest value data in bytes, as UTF-16 for texts.
inline constexpr std::size_t kMaxValueBytes = 1u << 20;

// True when a value name can be stored (no line breaks or NULs, bounded length).
bool IsStorableValueName(std::u16string_view name);
// True when a value's data can be stored: bounded size, and multi-string members without NULs.
bool IsStorableValue(const RegValue& value);

Node* FindKey(Node& root, const KeyPath& path);
Node& CreateKey(Node& root, const KeyPath& path);
// Removes the key at path with its subtree; false when missing (the hive root is never
// removed).
bool DeleteKey(Node& root, const KeyPath& path);

struct Op {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    RegRoot root = RegRoot::LocalMachine;
    KeyPath path;
    std::u16string name;
    RegValue value;
};

struct Issue {
    std::size_t line = 0;  // 1-based line of the text
    std::string what;
};

struct ParseResult {
    std::vector<Op> ops;
    std::vector<Issue> issues;
};

// Strips a UTF-8 byte-order mark, or converts UTF-16LE with its byte-order mark to UTF-8.
std::string DecodeRegBytes(std::string_view bytes);

// Parses REGEDIT5 (or REGEDIT4) text. Lines that cannot be read become issues; everything
// else becomes operations in file order.
ParseResult ParseRegText(std::string_view utf8);

// Applies the operations of one hive to a tree.
void ApplyOps(Node& root, const std::vector<Op>& ops, RegRoot hive);

const char* HiveName(RegRoot root);

// Writes a whole hive as REGEDIT5 text: every key gets a section (so empty keys survive), in
// creation order, parents before children.
std::string SerializeHive(RegRoot root, const Node& tree);

}  // namespace qvl::regfile

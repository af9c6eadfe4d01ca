#include "platform/registry_format.h"

#include "base/text.h"

#include <algorithm>
#include <cstdio>

namespace qvl::regfile {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

bool HasUnpairedSurrogate(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view s) {
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

std::u16string FromUtf16Le(const std::vector<std::uint8_t>& bytes) {
    std::u16string s;
    s.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        s.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return s;
}

// Multi-string data: each member followed by a NUL, then one more NUL. The parser inverts this
// exactly, so an empty member in the middle survives; data from other writers that lacks the
// final NUL is read as well.
std::vector<std::uint8_t> EncodeMulti(const std::vector<std::u16string>& strings) {
    std::vector<std::uint8_t> out;
    for (const auto& s : strings) {
        AppendUtf16Le(out, s);
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<std::u16string> DecodeMulti(const std::vector<std::uint8_t>& bytes) {
    std::u16string all = FromUtf16Le(bytes);
    if (all.size() == 1 && all[0] == 0) {
        return {};
    }
    if (all.size() >= 2 && all[all.size() - 1] == 0 && all[all.size() - 2] == 0) {
        all.pop_back();
    }
    std::vector<std::u16string> out;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t nul = all.find(u'\0', start);
        if (nul == std::u16string::npos) {
            out.push_back(all.substr(start));
            break;
        }
        out.push_back(all.substr(start, nul - start));
        start = nul + 1;
    }
    return out;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (char c : WideToUtf8(text)) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHex(std::string& out, std::string_view prefix, const std::vector<std::uint8_t>& bytes,
               std::size_t nameColumns) {
    out += prefix;
    char buf[4];
    std::size_t column = nameColumns + prefix.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        column += 2;
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            ++column;
            if (column > 76) {  // wrap as the registry editor does, within 80 columns
                out += "\\\n  ";
                column = 2;
            }
        }
    }
}

void AppendValue(std::string& out, std::u16string_view name, const RegValue& value) {
    const std::size_t start = out.size();
    if (name.empty()) {
        out.push_back('@');
    } else {
        AppendQuoted(out, name);
    }
    out.push_back('=');
    const std::size_t nameColumns = out.size() - start;
    switch (value.type) {
        case RegType::String: {
            const bool plain = std::none_of(value.text.begin(), value.text.end(), IsControl) &&
                               !HasUnpairedSurrogate(value.text);
            if (plain) {
                AppendQuoted(out, value.text);
            } else {
                std::vector<std::uint8_t> bytes;
                AppendUtf16Le(bytes, value.text);
                bytes.push_back(0);
                bytes.push_back(0);
                AppendHex(out, "hex(1):", bytes, nameColumns);
            }
            break;
        }
        case RegType::Dword: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(value.number));
            out += buf;
            break;
        }
        case RegType::Binary:
            AppendHex(out, "hex:", value.bytes, nameColumns);
            break;
        case RegType::MultiString:
            AppendHex(out, "hex(7):", EncodeMulti(value.strings), nameColumns);
            break;
    }
    out.push_back('\n');
}

void AppendKey(std::string& out, std::string& path, const Node& node, bool isRoot) {
    if (!isRoot || !node.Values().empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& [name, value] : node.Values()) {
            AppendValue(out, name, value);
        }
        out.push_back('\n');
    }
    for (const auto& child : node.Children()) {
        const std::size_t mark = path.size();
        path.push_back('\\');
        path += WideToUtf8(child->name);
        AppendKey(out, path, *child, false);
        path.resize(mark);
    }
}

// Reads a quoted string starting at s[0] == '"'; on success consumes it from s.
std::optional<std::string> ReadQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"') {
        return std::nullopt;
    }
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[i + 1]);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return std::nullopt;  // no closing quote: a truncated or broken line
}

std::optional<std::vector<std::uint8_t>> ReadHexList(std::string_view s) {
    std::vector<std::uint8_t> bytes;
    s = TrimLeft(TrimRight(s));
    while (!s.empty()) {
        s = TrimLeft(s);
        if (s.size() < 2) {
            return std::nullopt;
        }
        const int hi = HexDigit(s[0]);
        const int lo = HexDigit(s[1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        s.remove_prefix(2);
        s = TrimLeft(s);
        if (s.empty()) {
            break;
        }
        if (s.front() != ',') {
            return std::nullopt;
        }
        s.remove_prefix(1);
        if (TrimLeft(s).empty()) {
            break;  // a trailing comma, as some writers leave
        }
    }
    return bytes;
}

// The data after '=': fills value, or sets deleteValue for "-".
bool ReadData(std::string_view data, RegValue& value, bool& deleteValue, std::string& why) {
    data = TrimLeft(TrimRight(data));
    deleteValue = false;
    if (data == "-") {
        deleteValue = true;
        return true;
    }
    if (!data.empty() && data.front() == '"') {
        auto text = ReadQuoted(data);
        if (!text || !TrimLeft(data).empty()) {
            why = "a text value without its closing quote";
            return false;
        }
        value = RegValue{};
        value.type = RegType::String;
        value.text = Utf8ToWide(*text);
        return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) {
            why = "a dword value that is not 1 to 8 hex digits";
            return false;
        }
        std::uint32_t n = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                why = "a dword value that is not 1 to 8 hex digits";
                return false;
            }
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        value = RegValue{};
        value.type = RegType::Dword;
        value.number = n;
        return true;
    }
    if (StartsWithNoCase(data, "hex")) {
        std::string_view rest = data.substr(3);
        unsigned kind = 3;  // plain "hex:" is binary
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos || close == 1 || close > 9) {
                why = "a hex value with a broken type";
                return false;
            }
            kind = 0;
            for (char c : rest.substr(1, close - 1)) {
                const int d = HexDigit(c);
                if (d < 0) {
                    why = "a hex value with a broken type";
                    return false;
                }
                kind = kind * 16 + static_cast<unsigned>(d);
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            why = "a hex value without ':'";
            return false;
        }
        auto bytes = ReadHexList(rest.substr(1));
        if (!bytes) {
            why = "a hex value with a broken byte list";
            return false;
        }
        value = RegValue{};
        switch (kind) {
            case 1:  // REG_SZ
            case 2:  // REG_EXPAND_SZ, kept as a plain string
                if (bytes->size() % 2 != 0) {
                    why = "a text value of an odd number of bytes";
                    return false;
                }
                value.type = RegType::String;
                value.text = FromUtf16Le(*bytes);
                if (!value.text.empty() && value.text.back() == 0) {
                    value.text.pop_back();
                }
                return true;
            case 4:  // REG_DWORD, little-endian
                if (bytes->size() != 4) {
                    why = "a hex(4) value that is not 4 bytes";
                    return false;
                }
                value.type = RegType::Dword;
                value.number = static_cast<std::uint32_t>((*bytes)[0]) |
                               (static_cast<std::uint32_t>((*bytes)[1]) << 8) |
                               (static_cast<std::uint32_t>((*bytes)[2]) << 16) |
                               (static_cast<std::uint32_t>((*bytes)[3]) << 24);
                return true;
            case 7:  // REG_MULTI_SZ
                if (bytes->size() % 2 != 0) {
                    why = "a multi-string value of an odd number of bytes";
                    return false;
                }
                value.type = RegType::MultiString;
                value.strings = DecodeMulti(*bytes);
                return true;
            default:  // binary and the types this registry has no own kind for keep their bytes
                value.type = RegType::Binary;
                value.bytes = std::move(*bytes);
                return true;
        }
    }
    why = "a value of unknown form";
    return false;
}

std::optional<RegRoot> HiveFromName(std::string_view name) {
    if (EqualsNoCase(Utf8ToWide(name), u"HKEY_LOCAL_MACHINE") ||
        EqualsNoCase(Utf8ToWide(name), u"HKLM")) {
        return RegRoot::LocalMachine;
    }
    if (EqualsNoCase(Utf8ToWide(name), u"HKEY_CURRENT_USER") ||
        EqualsNoCase(Utf8ToWide(name), u"HKCU")) {
        return RegRoot::CurrentUser;
    }
    return std::nullopt;
}

}  // namespace

namespace {

std::u16string Folded(std::u16string_view name) {
    std::u16string out(name.size(), u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) {
        out[i] = FoldCase(name[i]);
    }
    return out;
}

// After an erase at `at`, every later entry moved one place forward.
template <typename List>
void Reindex(std::unordered_map<std::u16string, std::size_t>& index, const List& list,
             std::size_t at, std::u16string_view (*nameOf)(const typename List::value_type&)) {
    for (std::size_t i = at; i < list.size(); ++i) {
        index[Folded(nameOf(list[i]))] = i;
    }
}

std::u16string_view ValueNameOf(const Node::ValueList::value_type& v) {
    return v.first;
}
std::u16string_view ChildNameOf(const Node::ChildList::value_type& c) {
    return c->name;
}

}  // namespace

Node* Node::Child(std::u16string_view childName) const {
    const auto it = m_childIndex.find(Folded(childName));
    return it == m_childIndex.end() ? nullptr : m_children[it->second].get();
}

Node& Node::ChildOrCreate(std::u16string_view childName) {
    auto [it, added] = m_childIndex.try_emplace(Folded(childName), m_children.size());
    if (added) {
        m_children.push_back(std::make_unique<Node>());
        m_children.back()->name = std::u16string(childName);
    }
    return *m_children[it->second];
}

bool Node::RemoveChild(std::u16string_view childName) {
    const auto it = m_childIndex.find(Folded(childName));
    if (it == m_childIndex.end()) {
        return false;
    }
    const std::size_t at = it->second;
    m_childIndex.erase(it);
    m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(at));
    Reindex(m_childIndex, m_children, at, ChildNameOf);
    return true;
}

const RegValue* Node::Value(std::u16string_view valueName) const {
    const auto it = m_valueIndex.find(Folded(valueName));
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second].second;
}

void Node::SetValue(std::u16string_view valueName, const RegValue& value) {
    auto [it, added] = m_valueIndex.try_emplace(Folded(valueName), m_values.size());
    if (added) {
        m_values.emplace_back(std::u16string(valueName), value);
    } else {
        m_values[it->second].second = value;  // the name keeps the case it was created with
    }
}

bool Node::RemoveValue(std::u16string_view valueName) {
    const auto it = m_valueIndex.find(Folded(valueName));
    if (it == m_valueIndex.end()) {
        return false;
    }
    const std::size_t at = it->second;
    m_valueIndex.erase(it);
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(at));
    Reindex(m_valueIndex, m_values, at, ValueNameOf);
    return true;
}

std::unique_ptr<Node> Node::Clone() const {
    auto copy = std::make_unique<Node>();
    copy->name = name;
    copy->m_values = m_values;
    copy->m_valueIndex = m_valueIndex;
    copy->m_childIndex = m_childIndex;
    for (const auto& c : m_children) {
        copy->m_children.push_back(c->Clone());
    }
    return copy;
}

std::optional<KeyPath> SplitKeyPath(std::u16string_view path) {
    KeyPath out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        const std::u16string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (part.size() > kMaxKeyNameLength ||
                std::any_of(part.begin(), part.end(), IsControl)) {
                return std::nullopt;
            }
            if (out.size() == kMaxKeyDepth) {
                return std::nullopt;
            }
            out.emplace_back(part);
        }
        start = end + 1;
    }
    return out;
}

bool IsStorableValueName(std::u16string_view name) {
    return name.size() <= kMaxValueNameLength &&
           std::none_of(name.begin(), name.end(), [](char16_t c) { return IsControl(c); });
}

bool IsStorableValue(const RegValue& value) {
    switch (value.type) {
        case RegType::String:
            return value.text.size() * 2 <= kMaxValueBytes;
        case RegType::Dword:
            return true;
        case RegType::Binary:
            return value.bytes.size() <= kMaxValueBytes;
        case RegType::MultiString: {
            std::size_t total = 0;
            for (const auto& s : value.strings) {
                if (s.find(u'\0') != std::u16string::npos) {
                    return false;
                }
                total += (s.size() + 1) * 2;
            }
            return total <= kMaxValueBytes;
        }
    }
    return false;
}

Node* FindKey(Node& root, const KeyPath& path) {
    Node* node = &root;
    for (const auto& name : path) {
        node = node->Child(name);
        if (!node) {
            return nullptr;
        }
    }
    return node;
}

Node& CreateKey(Node& root, const KeyPath& path) {
    Node* node = &root;
    for (const auto& name : path) {
        node = &node->ChildOrCreate(name);
    }
    return *node;
}

bool DeleteKey(Node& root, const KeyPath& path) {
    if (path.empty()) {
        return false;
    }
    KeyPath parentPath(path.begin(), path.end() - 1);
    Node* parent = FindKey(root, parentPath);
    return parent && parent->RemoveChild(path.back());
}

std::string DecodeRegBytes(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        wide.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return WideToUtf8(wide);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    return std::string(bytes);
}

ParseResult ParseRegText(std::string_view text) {
    ParseResult result;
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }

    bool sawContent = false;
    bool inSection = false;  // a section whose values apply
    RegRoot sectionRoot = RegRoot::LocalMachine;
    KeyPath sectionPath;
    auto issue = [&](std::size_t line, std::string what) {
        result.issues.push_back({line + 1, std::move(what)});
    };

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = TrimLeft(TrimRight(lines[i]));
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!sawContent) {
            sawContent = true;
            if (line == kHeader5 || line == kHeader4) {
                continue;
            }
            issue(i, "the first line is not \"Windows Registry Editor Version 5.00\"");
        }
        if (line.front() == '[') {
            inSection = false;
            if (line.back() != ']' || line.size() < 3) {
                issue(i, "a key line without its closing ']'");
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            const bool remove = !inner.empty() && inner.front() == '-';
            if (remove) {
                inner.remove_prefix(1);
            }
            const std::size_t slash = inner.find('\\');
            const auto hive = HiveFromName(inner.substr(0, slash));
            if (!hive) {
                issue(i, "a key outside HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER");
                continue;
            }
            std::u16string rest;
            if (slash != std::string_view::npos) {
                rest = Utf8ToWide(inner.substr(slash + 1));
                if (rest.empty() || rest.find(u"\\\\") != std::u16string::npos ||
                    rest.back() == u'\\') {
                    issue(i, "a key path with an empty name");
                    continue;
                }
            }
            auto path = SplitKeyPath(rest);
            if (!path) {
                issue(i,
                      "a key name that is too long or holds control characters, or a key "
                      "more than 512 levels deep");
                continue;
            }
            Op op;
            op.kind = remove ? Op::Kind::DeleteKey : Op::Kind::CreateKey;
            op.root = *hive;
            op.path = *path;
            result.ops.push_back(op);
            if (!remove) {
                inSection = true;
                sectionRoot = *hive;
                sectionPath = std::move(*path);
            }
            continue;
        }

        // A value line: "name"=data or @=data.
        std::string_view rest = line;
        std::u16string name;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else if (rest.front() == '"') {
            auto quoted = ReadQuoted(rest);
            if (!quoted) {
                issue(i, "a value name without its closing quote");
                continue;
            }
            name = Utf8ToWide(*quoted);
        } else {
            issue(i, "a line that is neither a key nor a value");
            continue;
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') {
            issue(i, "a value without '='");
            continue;
        }
        rest.remove_prefix(1);
        std::string data(TrimLeft(rest));
        // Hex data may continue over lines that end with a backslash.
        const std::size_t first = i;
        if (StartsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
                data.pop_back();
                ++i;
                data += TrimLeft(TrimRight(lines[i]));
            }
        }
        RegValue value;
        bool deleteValue = false;
        std::string why;
        if (!ReadData(data, value, deleteValue, why)) {
            issue(first, why);
            continue;
        }
        if (!inSection) {
            issue(first, "a value outside a key");
            continue;
        }
        if (!IsStorableValueName(name)) {
            issue(first, "a value name that is too long or holds control characters");
            continue;
        }
        Op op;
        op.kind = deleteValue ? Op::Kind::DeleteValue : Op::Kind::SetValue;
        op.root = sectionRoot;
        op.path = sectionPath;
        op.name = std::move(name);
        op.value = std::move(value);
        result.ops.push_back(std::move(op));
    }
    return result;
}

void ApplyOps(Node& root, const std::vector<Op>& ops, RegRoot hive) {
    for (const auto& op : ops) {
        if (op.root != hive) {
            continue;
        }
        switch (op.kind) {
            case Op::Kind::CreateKey:
                CreateKey(root, op.path);
                break;
            case Op::Kind::DeleteKey:
                DeleteKey(root, op.path);
                break;
            case Op::Kind::SetValue:
                CreateKey(root, op.path).SetValue(op.name, op.value);
                break;
            case Op::Kind::DeleteValue:
                if (Node* key = FindKey(root, op.path)) {
                    key->RemoveValue(op.name);
                }
                break;
        }
    }
}

const char* HiveName(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            return "HKEY_CURRENT_USER";
        case RegRoot::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_LOCAL_MACHINE";
}

std::string SerializeHive(RegRoot root, const Node& tree) {
    std::string out(kHeader5);
    out += "\n\n";
    std::string path = HiveName(root);
    AppendKey(out, path, tree, true);
    return out;
}

}  // namespace qvl::regfile

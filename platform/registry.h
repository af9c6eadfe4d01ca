// The device registry: two hives (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE) of keys and typed
// values, persisted as REGEDIT5 text (UTF-8) in $QVL_HOME/registry/<hive>.reg.
//
// Names of keys and values compare case-insensitively and keep the case they were created
// with. Several programs of the suite share the files: every write reloads the file under an
// advisory lock, applies the change and replaces the file atomically; every read sees the
// newest file. Keys created volatile (the serial-device overlay "Drivers\Active") live in
// memory only and are never written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {

enum class RegRoot { CurrentUser = 0, LocalMachine = 1 };

// Value types with their handheld numbers (REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ).
enum class RegType : std::uint32_t { String = 1, Binary = 3, Dword = 4, MultiString = 7 };

struct RegValue {
    RegType type = RegType::String;
    std::u16string text;                  // String
    std::uint32_t number = 0;             // Dword
    std::vector<std::u16string> strings;  // MultiString
    std::vector<std::uint8_t> bytes;      // Binary
};

enum class RegOpen {
    Existing,        // fail when the key is missing
    Create,          // create the key and its parents when missing
    CreateVolatile,  // create in memory only; the key and its subtree are never persisted
};

// A handle to a key by path. It is cheap to copy and holds no lock; every call goes to the
// current content of the hive.
class RegKey {
public:
    RegKey() = default;
    // Opens root\path ("SOFTWARE\Quorvel\Dialer"; a leading backslash is ignored).
    static RegKey Open(RegRoot root, std::u16string_view path, RegOpen mode = RegOpen::Existing);
    RegKey OpenSub(std::u16string_view subPath, RegOpen mode = RegOpen::Existing) const;

    bool IsValid() const { return m_valid; }
    explicit operator bool() const { return m_valid; }
    RegRoot Root() const { return m_root; }
    const std::u16string& Path() const { return m_path; }

    // Typed reads: nullopt when the value is missing or of another type.
    std::optional<RegValue> Read(std::u16string_view name) const;
    std::optional<std::u16string> ReadString(std::u16string_view name) const;
    std::optional<std::uint32_t> ReadDword(std::u16string_view name) const;
    std::optional<std::vector<std::u16string>> ReadMultiString(std::u16string_view name) const;
    std::optional<std::vector<std::uint8_t>> ReadBinary(std::u16string_view name) const;

    bool Write(std::u16string_view name, const RegValue& value) const;
    bool WriteString(std::u16string_view name, std::u16string_view text) const;
    bool WriteDword(std::u16string_view name, std::uint32_t number) const;
    bool WriteMultiString(std::u16string_view name, const std::vector<std::u16string>& v) const;
    bool WriteBinary(std::u16string_view name, const std::vector<std::uint8_t>& bytes) const;

    bool DeleteValue(std::u16string_view name) const;
    // Deletes the named subkey with its whole subtree.
    bool DeleteSubKey(std::u16string_view name) const;

    // Names in a stable order (the order of creation, as in the file).
    std::vector<std::u16string> SubKeyNames() const;
    std::vector<std::u16string> ValueNames() const;

private:
    RegKey(RegRoot root, std::u16string path) : m_root(root), m_path(std::move(path)), m_valid(true) {}
    RegRoot m_root = RegRoot::LocalMachine;
    std::u16string m_path;
    bool m_valid = false;
};

// Deletes root\path with its subtree; false when it did not exist.
bool RegDeleteTree(RegRoot root, std::u16string_view path);

// Imports a .reg file (REGEDIT5 text in UTF-8, or UTF-16LE with a byte-order mark as the
// handheld's registry editor exports it). Returns false and fills error when it cannot be read;
// values that parse are imported even when some lines do not.
bool RegImportFile(const std::string& path, std::string* error = nullptr);

// The last problem met while loading a hive file (for example a file that could not be parsed
// and was kept as a copy beside it), or empty. Shown once to the user by the program.
std::string RegTakeLoadProblem();

}  // namespace qvl

// Helpers shared by the MMS library's tests: a private device root, hex literals, files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::mms::test {

using Bytes = std::vector<std::uint8_t>;

// "0A 00 01 12" (blanks ignored) as octets.
Bytes Hex(std::string_view hex);
Bytes Ascii(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);
std::string ToHex(const std::vector<std::uint8_t>& octets);

// A fresh temporary folder that becomes $QVL_HOME for this process; removed at the end.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& Path() const { return m_path; }
    // Writes a file under the folder and returns its full path.
    std::string WriteFile(const std::string& name, const Bytes& contents) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::string m_path;
};

}  // namespace qvl::mms::test

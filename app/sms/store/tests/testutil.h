// Helpers of the store tests: a private device root per test and hand-built file bytes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qvl::sms::testing {

// A fresh 0700 folder used as QVL_HOME for the test; removed afterwards.
class TempHome {
public:
    TempHome() {
        char pattern[] = "/tmp/qvl-sms-store-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        ::setenv("QVL_HOME", m_dir.c_str(), 1);
    }
    ~TempHome() { std::filesystem::remove_all(m_dir); }
    const std::string& Dir() const { return m_dir; }
    std::string File(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
};

// Little-endian builder for expected file contents, independent of the store's writer.
class Bytes {
public:
    Bytes& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& Text(std::u16string_view s, std::size_t fieldChars) {
        std::size_t i = 0;
        for (; i < s.size(); ++i) {
            m_b.push_back(static_cast<std::uint8_t>(s[i] & 0xFF));
            m_b.push_back(static_cast<std::uint8_t>(s[i] >> 8));
        }
        for (; i < fieldChars; ++i) {
            m_b.push_back(0);
            m_b.push_back(0);
        }
        return *this;
    }
    Bytes& Raw(std::initializer_list<std::uint8_t> v) {
        m_b.insert(m_b.end(), v);
        return *this;
    }
    const std::vector<std::uint8_t>& Get() const { return m_b; }
    std::size_t Size() const { return m_b.size(); }

private:
    std::vector<std::uint8_t> m_b;
};

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qvl::sms::testing

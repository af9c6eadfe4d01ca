// A private device root per test: QVL_HOME points at a fresh temporary folder that is removed
// afterwards, so tests run in parallel without meeting each other's registry.
#pragma once

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qvl::testing {

class TestHome : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvl-platform-test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_home = tmpl;
        ::setenv("QVL_HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        ::setenv("QVL_HOME", m_home.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }

    const std::string& Home() const { return m_home; }
    std::string HiveFile(const char* hive = "HKEY_LOCAL_MACHINE") const {
        return m_home + "/registry/" + hive + ".reg";
    }

    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static void WriteText(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }

    // Makes the registry forget what it holds in memory and read the files again, by pointing
    // it at another device root for one call and back.
    void ReloadFromDisk() {
        const std::string other = m_home + "/elsewhere";
        ::setenv("QVL_HOME", other.c_str(), 1);
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE");
        ::setenv("QVL_HOME", m_home.c_str(), 1);
    }

private:
    std::string m_home;
};

}  // namespace qvl::testing

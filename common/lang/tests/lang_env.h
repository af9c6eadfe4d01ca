// Test environment of the language routines: a private device root (and so a private
// registry) per test and a clean set of locale variables.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace qvl::testing {

class LangEnvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvl-lang-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        setenv("QVL_HOME", m_home.c_str(), 1);
        for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "LANG"}) {
            unsetenv(v);
        }
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }

    static void SetEnv(const char* name, const char* value) {
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

    static void StoreLanguageChoice(std::optional<std::uint32_t> id) {
        RegDeleteTree(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer");
        if (id) {
            RegKey key = RegKey::Open(RegRoot::CurrentUser, u"Software\\Quorvel\\Installer",
                                      RegOpen::Create);
            ASSERT_TRUE(key.WriteDword(u"LanguageID", *id));
        }
    }

    std::string m_home;
};

}  // namespace qvl::testing

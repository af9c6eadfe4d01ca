#include "tools/install/install.h"

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "base/text.h"
#include "platform/devicefs.h"
#include "platform/tests/test_home.h"
#include "tools/install/tones.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qvl::install {
namespace {

using qvl::testing::TestHome;

// The desktop entries go below the test's own folder, never into the user's.
class InstallTest : public TestHome {
  protected:
    void SetUp() override {
        TestHome::SetUp();
        ::setenv("XDG_CONFIG_HOME", (Home() + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (Home() + "/data").c_str(), 1);
    }
};

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

TEST(TonesTest, WavFilesAreCanonicalPcmThatPlayersAccept) {
    const auto tones = MakeTones();
    ASSERT_EQ(tones.size(), 3u);
    for (const auto& tone : tones) {
        SCOPED_TRACE(WideToUtf8(tone.fileName));
        const std::string wav = EncodeWav(tone.pcm, kToneSampleRate);
        ASSERT_EQ(wav.size(), 44 + tone.pcm.size() * 2);
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(Le(wav, 4, 4), wav.size() - 8);
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(Le(wav, 20, 2), 1u);  // PCM
        EXPECT_EQ(Le(wav, 22, 2), 1u);  // mono
        EXPECT_EQ(Le(wav, 24, 4), 8000u);
        EXPECT_EQ(Le(wav, 28, 4), 16000u);
        EXPECT_EQ(Le(wav, 34, 2), 16u);
        EXPECT_EQ(wav.substr(36, 4), "data");
        EXPECT_EQ(Le(wav, 40, 4), tone.pcm.size() * 2);
        // Between a tenth of a second and two seconds, audible, never clipped, no click at
        // either end.
        const double seconds = static_cast<double>(tone.pcm.size()) / kToneSampleRate;
        EXPECT_GT(seconds, 0.1);
        EXPECT_LE(seconds, 2.0);
        int peak = 0;
        for (std::int16_t s : tone.pcm) {
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        }
        EXPECT_GT(peak, 8000);
        EXPECT_LT(peak, 32767);
        EXPECT_LT(std::abs(tone.pcm.front()), 200);
        EXPECT_LT(std::abs(tone.pcm.back()), 200);
        // The sample bytes are little-endian.
        const std::size_t mid = tone.pcm.size() / 2;
        EXPECT_EQ(static_cast<std::int16_t>(Le(wav, 44 + mid * 2, 2)), tone.pcm[mid]);
    }
}

TEST(InstallArgsTest, CommandLines) {
    struct Row {
        const char* label;
        std::vector<std::string> args;
        bool ok;
        std::string binDir;
        std::optional<std::uint32_t> language;
    };
    const std::vector<Row> rows = {
        {"defaults", {}, true, "/opt/self", std::nullopt},
        {"prefix", {"--prefix-bin", "/usr/local/bin/"}, true, "/usr/local/bin", std::nullopt},
        {"language", {"--language", "2"}, true, "/opt/self", 2u},
        {"language_zero", {"--language", "0"}, false, "", std::nullopt},
        {"language_six", {"--language", "6"}, false, "", std::nullopt},
        {"language_word", {"--language", "de"}, false, "", std::nullopt},
        {"missing_value", {"--prefix-bin"}, false, "", std::nullopt},
        {"empty_prefix", {"--prefix-bin", ""}, false, "", std::nullopt},
        {"unknown", {"--force"}, false, "", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        std::string error;
        const auto options = ParseArgs(row.args, "/opt/self", error);
        ASSERT_EQ(options.has_value(), row.ok) << error;
        if (options) {
            EXPECT_EQ(options->binDir, row.binDir);
            EXPECT_EQ(options->language, row.language);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    std::string error;
    EXPECT_FALSE(ParseArgs({"--help"}, "/x", error));
    EXPECT_EQ(error, "help");
    const auto relative = ParseArgs({"--prefix-bin", "bin"}, "/x", error);
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->binDir.front(), '/');
}

TEST_F(InstallTest, WritesInstallKeyAndTonesAndKeepsWhatIsThere) {
    // A tone the user already has (in another case) and a ring choice already made stay.
    WriteText(Home() + "/windows/quorvel chirp.WAV", "mine");
    ASSERT_TRUE(WriteSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueSmsRing,
                                   u"custom.wav"));

    const Result result = RunInstall({"/opt/quorvel/bin", std::nullopt});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(
        ReadSettingString(kRootLocalMachine, keys::kKeyAppsSmsPhone, keys::kValueInstallDir, u""),
        u"/opt/quorvel/bin");
    EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, keys::kKeyInstaller));  // not asked
    EXPECT_EQ(DeviceFindFiles(keys::kRingFilePattern),
              (std::vector<std::u16string>{u"quorvel chirp.WAV", u"Quorvel Message.wav",
                                           u"Quorvel Ring.wav"}));
    EXPECT_EQ(ReadText(Home() + "/windows/quorvel chirp.WAV"), "mine");
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueVoiceRing, u""),
              u"Quorvel Ring.wav");
    EXPECT_EQ(ReadSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueSmsRing, u""),
              u"custom.wav");

    // A second run with a language changes only what it is asked to.
    const std::string before = ReadText(Home() + "/windows/Quorvel Ring.wav");
    const Result again = RunInstall({"/usr/bin", 5u});
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(ReadSettingNumber(kRootCurrentUser, keys::kKeyInstaller, keys::kValueLanguageId, 0),
              5u);
    EXPECT_EQ(
        ReadSettingString(kRootLocalMachine, keys::kKeyAppsSmsPhone, keys::kValueInstallDir, u""),
        u"/usr/bin");
    EXPECT_EQ(ReadText(Home() + "/windows/Quorvel Ring.wav"), before);
}

TEST_F(InstallTest, FailuresAreReported) {
    const Result tooLong = RunInstall({"/" + std::string(300, 'd'), std::nullopt});
    EXPECT_FALSE(tooLong.ok);
    EXPECT_NE(tooLong.error.find("259"), std::string::npos);
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone));

    WriteText(Home() + "/file", "x");
    ::setenv("QVL_HOME", (Home() + "/file/device").c_str(), 1);
    const Result noRoot = RunInstall({"/usr/bin", std::nullopt});
    EXPECT_FALSE(noRoot.ok);
    EXPECT_NE(noRoot.error.find("/file/device"), std::string::npos) << noRoot.error;
}

// Install, then uninstall twice with the setup library beside the programs: everything the
// install wrote goes, the user's own things stay, and both removals succeed.
TEST_F(InstallTest, UninstallRemovesWhatTheInstallWroteAndOnlyThat) {
    WriteText(Home() + "/windows/quorvel chirp.WAV", "mine");
    WriteText(Home() + "/config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/sms=their-sms.desktop;\n"
              "text/html=browser.desktop\n");
    WriteText(Home() + "/data/applications/other.desktop", "[Desktop Entry]\n");
    const std::string bin = QVL_SETUP_LIBRARY_DIR;
    const Result installed = RunInstall({bin, std::nullopt});
    ASSERT_TRUE(installed.ok) << installed.error;
    const RegKey item = RegKey::Open(RegRoot::LocalMachine,
                                     u"SOFTWARE\\Microsoft\\Today\\Items\\Quorvel SMS Phone");
    ASSERT_TRUE(item);
    EXPECT_EQ(item.ReadString(u"DLL"), Utf8ToWide(bin + "/libQVLDialerToday.so"));
    EXPECT_EQ(item.ReadDword(u"Type"), 4u);
    EXPECT_EQ(item.ReadDword(u"Enabled"), 1u);
    const std::string autostart =
        ReadText(Home() + "/config/autostart/quorvel-phone-today.desktop");
    EXPECT_NE(autostart.find("Exec=" + bin + "/qvl-today\n"), std::string::npos) << autostart;
    const std::string links = ReadText(Home() + "/data/applications/quorvel-phone-links.desktop");
    EXPECT_NE(links.find("MimeType=x-scheme-handler/tel;x-scheme-handler/sms;"), std::string::npos);
    EXPECT_NE(links.find("/qvl-contact %u"), std::string::npos) << links;
    const std::string mime = ReadText(Home() + "/config/mimeapps.list");
    EXPECT_NE(mime.find("x-scheme-handler/tel=quorvel-phone-links.desktop;"), std::string::npos);
    EXPECT_NE(mime.find("x-scheme-handler/sms=their-sms.desktop;\n"), std::string::npos) << mime;
    EXPECT_NE(mime.find("text/vcard=quorvel-phone-vcard.desktop;"), std::string::npos);
    EXPECT_NE(installed.notes.back().find("read its items again"), std::string::npos);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const Result removed = RunUninstall({bin, std::nullopt, true});
        ASSERT_TRUE(removed.ok) << removed.error;
        EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine,
                                  u"SOFTWARE\\Microsoft\\Today\\Items\\Quorvel SMS Phone"));
        EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone));
        EXPECT_FALSE(
            std::filesystem::exists(Home() + "/config/autostart/quorvel-phone-today.desktop"));
        EXPECT_FALSE(
            std::filesystem::exists(Home() + "/data/applications/quorvel-phone-links.desktop"));
        EXPECT_FALSE(
            std::filesystem::exists(Home() + "/data/applications/quorvel-phone-vcard.desktop"));
        EXPECT_FALSE(std::filesystem::exists(Home() + "/windows/Quorvel Ring.wav"));
        EXPECT_FALSE(std::filesystem::exists(Home() + "/windows/Quorvel Message.wav"));
        EXPECT_EQ(ReadText(Home() + "/windows/quorvel chirp.WAV"), "mine");
        EXPECT_EQ(
            ReadSettingString(kRootLocalMachine, keys::kKeyRinger, keys::kValueVoiceRing, u"none"),
            u"none");
        EXPECT_TRUE(std::filesystem::exists(Home() + "/data/applications/other.desktop"));
        EXPECT_EQ(ReadText(Home() + "/config/mimeapps.list"),
                  "[Default Applications]\nx-scheme-handler/sms=their-sms.desktop;\n"
                  "text/html=browser.desktop\n");
    }
    std::string error;
    const auto parsed = ParseArgs({"--uninstall"}, "/x", error);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->uninstall);
    // The run script's install from the build tree leaves the desktop alone.
    Options quiet{bin, std::nullopt};
    quiet.desktop = false;
    ASSERT_TRUE(RunInstall(quiet).ok);
    EXPECT_FALSE(std::filesystem::exists(Home() + "/config/autostart/quorvel-phone-today.desktop"));
    EXPECT_FALSE(
        std::filesystem::exists(Home() + "/data/applications/quorvel-phone-links.desktop"));
    EXPECT_TRUE(ParseArgs({"--no-desktop"}, "/x", error).has_value());
}

}  // namespace
}  // namespace qvl::install

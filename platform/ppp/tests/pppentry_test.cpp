#include "platform/ppp/pppentry.h"

#include "platform/ppp/tests/pppwords.h"
#include "platform/tests/test_home.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace qvl::ppp {
namespace {

namespace fs = std::filesystem;
using test::Words;

EntrySettings Sample() {
    EntrySettings e;
    e.name = u"QuorvelMMS";
    e.device = u"/dev/ttyUSB0";
    e.dialString = u"*99***1#";
    e.initCommand = u"+cgdcont=1,\"IP\",\"internet\"";
    e.userName = u"guest";
    e.password = u"s3cr#t";
    e.baudRate = 57600;
    e.gateway = 0x0A0B0C0Du;
    return e;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFF;
}

bool Contains(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

class PppEntryTest : public testing::TestHome {
  protected:
    std::string Folder() { return EntryFolder(); }
};

TEST_F(PppEntryTest, WrittenEntryReadsAsPppdWouldAndKeepsThePasswordInItsOwnFile) {
    const std::string folder = Folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(ModeOf(folder), 0700u);
    const WriteResult result = WriteEntry(folder, Sample());
    ASSERT_EQ(result.problem, EntryProblem::None) << result.detail;

    const EntryPaths paths = PathsOf(folder, u"QuorvelMMS");
    for (const std::string* path : {&paths.options, &paths.chat, &paths.secrets}) {
        EXPECT_EQ(ModeOf(*path), 0600u) << *path;
    }
    const std::vector<std::string> options = Words(ReadText(paths.options));
    for (const char* word : {"/dev/ttyUSB0", "57600", "lock", "noipdefault", "nodefaultroute"}) {
        EXPECT_TRUE(Contains(options, word)) << word;
    }
    const auto after = [&](const std::string& key) {
        const auto it = std::find(options.begin(), options.end(), key);
        return it != options.end() && it + 1 != options.end() ? *(it + 1) : std::string();
    };
    EXPECT_EQ(after("connect"), "/usr/sbin/chat -v -s -f " + paths.chat);
    EXPECT_EQ(after("user"), "guest");
    EXPECT_EQ(after("ipparam"), "quorvel-gateway=10.11.12.13");
    EXPECT_FALSE(Contains(options, "noauth")) << "privileged options belong to the peer file";
    EXPECT_EQ(ReadText(paths.options).find("s3cr#t"), std::string::npos);

    const std::vector<std::string> secrets = Words(ReadText(paths.secrets));
    ASSERT_EQ(secrets.size(), 2u);
    EXPECT_EQ(secrets[0], "password");
    EXPECT_EQ(secrets[1], "s3cr#t") << "a '#' inside the quotes is no comment";

    const std::string chat = ReadText(paths.chat);
    EXPECT_NE(chat.find("OK 'AT+cgdcont=1,\"IP\",\"internet\"'\n"), std::string::npos) << chat;
    EXPECT_NE(chat.find("OK \"ATD*99***1#\"\n"), std::string::npos) << chat;
    EXPECT_NE(chat.find("CONNECT \"\"\n"), std::string::npos) << chat;
    EXPECT_LT(chat.find("ABORT \"NO CARRIER\""), chat.find("ATD"));

    const auto info = ReadEntryInfo(folder, u"QuorvelMMS");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->device, "/dev/ttyUSB0");
    EXPECT_TRUE(info->wantsPassword);
    EXPECT_TRUE(info->hasSecrets);
    EXPECT_EQ(info->gateway, 0x0A0B0C0Du);

    EXPECT_TRUE(RemoveSecrets(folder, u"QuorvelMMS"));
    EXPECT_FALSE(fs::exists(paths.secrets));
    EXPECT_FALSE(ReadEntryInfo(folder, u"QuorvelMMS")->hasSecrets);
}

TEST_F(PppEntryTest, InitCommandWithAtAndNoOptionalParts) {
    EntrySettings e = Sample();
    e.initCommand = u"AT+CGDCONT=2,\"IP\",\"mms\"";
    e.userName.clear();
    e.password.clear();
    e.baudRate = 0;
    e.gateway.reset();
    const std::string folder = Folder();
    ASSERT_EQ(WriteEntry(folder, e).problem, EntryProblem::None);
    const EntryPaths paths = PathsOf(folder, e.name);
    EXPECT_NE(ReadText(paths.chat).find("OK 'AT+CGDCONT=2,\"IP\",\"mms\"'\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(paths.secrets));
    const std::vector<std::string> options = Words(ReadText(paths.options));
    EXPECT_FALSE(Contains(options, "user"));
    EXPECT_FALSE(Contains(options, "ipparam"));
    EXPECT_FALSE(ReadEntryInfo(folder, e.name)->wantsPassword);
}

TEST_F(PppEntryTest, RefusedEntryLeavesNoOldEntryBehind) {
    struct Case {
        const char* name;
        void (*change)(EntrySettings&);
        EntryProblem problem;
    };
    const Case cases[] = {
        {"bad_apn", [](EntrySettings& e) { e.initCommand = u"+cgdcont=1,\"IP\",\"a b\""; },
         EntryProblem::InitCommand},
        {"init_with_line_break", [](EntrySettings& e) { e.initCommand = u"E0\rATH"; },
         EntryProblem::InitCommand},
        {"dial_injection", [](EntrySettings& e) { e.dialString = u"*99#\"\nTIMEOUT 1"; },
         EntryProblem::DialString},
        {"device_outside_dev", [](EntrySettings& e) { e.device = u"/etc/shadow"; },
         EntryProblem::Device},
        {"user_with_quote", [](EntrySettings& e) { e.userName = u"a\"b"; }, EntryProblem::UserName},
        {"password_with_blank", [](EntrySettings& e) { e.password = u"a b"; },
         EntryProblem::Password},
        {"password_too_long",
         [](EntrySettings& e) { e.password = std::u16string(kMaxCredentialLength + 1, u'x'); },
         EntryProblem::Password},
    };
    const std::string folder = Folder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(WriteEntry(folder, Sample()).problem, EntryProblem::None);
        EntrySettings e = Sample();
        c.change(e);
        EXPECT_EQ(WriteEntry(folder, e).problem, c.problem);
        EXPECT_FALSE(ReadEntryInfo(folder, e.name)) << "the old entry would be dialled";
        EXPECT_TRUE(fs::is_empty(folder));
    }
    EntrySettings e = Sample();
    e.name = u"../outside";
    EXPECT_EQ(WriteEntry(folder, e).problem, EntryProblem::Name);
}

TEST_F(PppEntryTest, FailedWriteRemovesWhatWasWritten) {
    const std::string folder = Folder();
    const EntryPaths paths = PathsOf(folder, u"QuorvelMMS");
    // A folder in the options file's place: the last write fails (as it would on a full
    // disk), even for root.
    fs::create_directories(paths.options + "/x");
    const WriteResult result = WriteEntry(folder, Sample());
    EXPECT_EQ(result.problem, EntryProblem::Write);
    EXPECT_NE(result.detail.find(paths.options), std::string::npos) << result.detail;
    EXPECT_FALSE(fs::exists(paths.chat));
    EXPECT_FALSE(fs::exists(paths.secrets));
    EXPECT_FALSE(ReadEntryInfo(folder, u"QuorvelMMS"));
    fs::remove_all(paths.options);
}

TEST_F(PppEntryTest, FolderThatTheShellWouldInterpretIsRefused) {
    const std::string folder = Home() + "/my data$(x)";
    fs::create_directories(folder);
    const WriteResult result = WriteEntry(folder, Sample());
    EXPECT_EQ(result.problem, EntryProblem::Folder);
    EXPECT_TRUE(fs::is_empty(folder));
    for (const char* path : {"/home/anna/.local/share/quorvel-phone/ppp/QuorvelMMS.chat",
                             "/tmp/qvl-x.AbC_1/a+b:c.chat"}) {
        EXPECT_TRUE(IsShellSafePath(path)) << path;
    }
    for (const char* path : {"relative.chat", "/a b", "/a;b", "/a*", "/$HOME", "/a'b", "/a`b`"}) {
        EXPECT_FALSE(IsShellSafePath(path)) << path;
    }
}

TEST_F(PppEntryTest, ForeignOptionsFileIsNoEntry) {
    const std::string folder = Folder();
    WriteText(PathsOf(folder, u"QuorvelMMS").options, "/dev/ttyUSB0\nnoauth\n");
    EXPECT_FALSE(ReadEntryInfo(folder, u"QuorvelMMS"));
    EXPECT_FALSE(ReadEntryInfo(folder, u"Missing"));
}

}  // namespace
}  // namespace qvl::ppp

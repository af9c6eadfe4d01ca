// Script commands and the standalone program: device path on the first line, link, control
// socket, registry entry, clean end on SIGTERM, and the shipped seed file.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/text.h"
#include "platform/registry.h"
#include "tools/modemsim/control.h"
#include "tools/modemsim/seed.h"
#include "tools/modemsim/tests/fixture.h"

extern char** environ;

namespace qvl::sim::test {
namespace {

using namespace std::chrono_literals;

TEST_F(SimTest, ControlCommandsDriveTheSimulator) {
    Open(SlowRingSeed());
    Ask("ATE0;+CLIP=1;+CNMI=1,1,0,1;+CSSN=1,1");
    struct Row {
        const char* name;
        const char* command;
        const char* reply;
        std::string line;  // what the program then reads, empty for nothing
    };
    const Row rows[] = {
        {"incoming call", "call +4912345", "OK 1", "\r\nRING\r\n\r\n+CLIP: \"+4912345\",145\r\n"},
        {"caller hangs up", "hangup", "OK", ""},
        {"message", "sms SM 0001000D91941511325476F8000002E834", "OK 1", "\r\n+CMTI: \"SM\",1\r\n"},
        {"text message", "deliver ME +4930111 Hello there", "OK 1", "\r\n+CMTI: \"ME\",1\r\n"},
        {"notice", "cssu 2", "OK", "\r\n+CSSU: 2\r\n"},
        {"garbage", "garbage \\x00AB\\r\\n", "OK", std::string("\0AB\r\n", 5)},
        {"signal", "signal 5", "OK", ""},
        {"bad signal", "signal 40", "ERROR signal RSSI (0..31, 99)", ""},
        {"unknown", "fly", "ERROR unknown command fly (try help)", ""},
        {"comment", "# nothing", "OK", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RunControlCommand(*m_sim, row.command), row.reply) << row.name;
        if (row.line.empty()) {
            EXPECT_EQ(m_line->ReadFor(60), "") << row.name;
        } else {
            EXPECT_EQ(m_line->ReadAtLeast(row.line.size()), row.line) << row.name;
        }
    }
    EXPECT_EQ(Ask("AT+CSQ"), "\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "cme 10 1"), "OK");
    EXPECT_EQ(Ask("AT+CSQ"), "\r\n+CME ERROR: 10\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "log 2"), "OK AT+CSQ | AT+CSQ");

    EXPECT_EQ(RunControlCommand(*m_sim, "canned ATD \\r\\nNO DIALTONE\\r\\n"), "OK");
    m_line->Send("ATD123;\r");  // the canned answer is no final result the line knows
    EXPECT_EQ(m_line->ReadUntil("NO DIALTONE\r\n"), "\r\nNO DIALTONE\r\n");
    EXPECT_EQ(Ask("ATD123;"), "\r\nOK\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "busy"), "OK");
    EXPECT_EQ(m_line->ReadUntil("BUSY\r\n"), "\r\nBUSY\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "busy"), "ERROR no such call");
}

TEST(ControlBytes, Unescapes) {
    EXPECT_EQ(UnescapeBytes("a\\r\\n\\x41\\e\\\\"), "a\r\nA\x1b\\");
    EXPECT_EQ(UnescapeBytes("\\xZZ\\q\\"), "\\xZZ\\q\\");
}

TEST(DefaultSeed, ShippedFileLoads) {
    ModemSeed seed = DefaultSeed();
    std::string error;
    ASSERT_TRUE(LoadSeedFile(QVL_MODEMSIM_DEFAULT_SEED, seed, &error)) << error;
    EXPECT_EQ(seed.simSms.slots.size(), 2u);
    EXPECT_EQ(seed.phonebooks["SM"].entries.size(), 3u);
    EXPECT_EQ(seed.behaviour.autoAnswerMs, 4000);
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qvl-modemsim-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        setenv("QVL_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        std::filesystem::remove_all(m_dir);
    }

    // Starts the program with argv (no shell) and returns its first output line.
    std::string Launch(std::vector<std::string> args) {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), QVL_MODEMSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, kArrivalLimitMs) > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        return line;
    }

    std::string Control(const std::string& socketPath, const std::string& command) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
        // The socket appears once the program has started; retry until it does.
        const auto limit =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kArrivalLimitMs);
        while (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(20ms);
        }
        const std::string line = command + "\n";
        EXPECT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        std::string reply;
        char c;
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, kArrivalLimitMs) > 0 && read(fd, &c, 1) == 1 && c != '\n') {
            reply += c;
        }
        close(fd);
        return reply;
    }

    int Stop() {
        kill(m_pid, SIGTERM);
        int status = -1;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

    std::string m_dir;
    pid_t m_pid = -1;
};

TEST_F(ProgramTest, RunsLinksRegistersTakesCommandsAndCleansUp) {
    const std::string link = m_dir + "/modem";
    const std::string control = m_dir + "/control";
    const std::string device = Launch(
        {"--seed", QVL_MODEMSIM_DEFAULT_SEED, "--link", link, "--control", control, "--register"});
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    TestLine line(link);
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Command("AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n")
        << "the seed asks for the PIN";
    EXPECT_EQ(Control(control, "signal 7"), "OK");
    line.Command("AT+CPIN=\"1234\"");
    EXPECT_EQ(line.Command("AT+CSQ"), "AT+CSQ\r\r\n+CSQ: 7,99\r\n\r\nOK\r\n");

    struct stat st {};
    ASSERT_EQ(stat(control.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the control socket is private";

    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\HayesCompat");
    ASSERT_TRUE(key);
    EXPECT_EQ(key.ReadString(u"Port"), Utf8ToWide(link));
    EXPECT_TRUE(key.ReadString(u"FriendlyName").has_value());

    const int status = Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(control));
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\HayesCompat"));
}

TEST_F(ProgramTest, RegistersAsTheMultiplexerModemWhenAsked) {
    const std::string link = m_dir + "/modem";
    const std::string device = Launch({"--link", link, "--register-gprs"});
    ASSERT_FALSE(device.empty());
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\GPRS_Modem");
    ASSERT_TRUE(key);
    EXPECT_EQ(key.ReadString(u"Port"), Utf8ToWide(link));
    // The phone chooses a modem without asking when its label holds this name.
    const auto name = key.ReadString(u"FriendlyName");
    ASSERT_TRUE(name.has_value());
    EXPECT_NE(name->find(u"GPRS_Modem"), std::u16string::npos);
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\HayesCompat"));

    const int status = Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\GPRS_Modem"));
}

TEST_F(ProgramTest, DropThenRestartMovesTheLink) {
    const std::string link = m_dir + "/modem";
    const std::string control = m_dir + "/control";
    const std::string device = Launch({"--link", link, "--control", control});
    ASSERT_FALSE(device.empty());
    {
        TestLine line(link);
        EXPECT_EQ(Control(control, "drop"), "OK");
        EXPECT_EQ(line.ReadAnswer(), "");  // ends at the hang-up
        EXPECT_NE(line.LastError(), 0);
    }
    const std::string reply = Control(control, "restart");
    ASSERT_EQ(reply.rfind("OK /dev/pts/", 0), 0u) << reply;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), reply.substr(3));
    TestLine line(link);
    EXPECT_EQ(line.Command("ATE0"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(Control(control, "quit"), "OK");
    int status = -1;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// The run command started twice: the second simulator must neither take over nor, when it
// ends, remove the link, socket and registry entry that the first one's phone uses.
TEST_F(ProgramTest, ASecondSimulatorOnTheSameSocketLeavesTheFirstAlone) {
    const std::string link = m_dir + "/modem";
    const std::string control = m_dir + "/control";
    const std::vector<std::string> args = {"--link", link, "--control", control, "--register-gprs"};
    const std::string first = Launch(args);
    ASSERT_FALSE(first.empty());
    const pid_t firstPid = m_pid;
    m_pid = -1;

    EXPECT_EQ(Launch(args), "") << "the second one does not start";
    int status = -1;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;

    EXPECT_EQ(std::filesystem::read_symlink(link).string(), first);
    EXPECT_EQ(Control(control, "signal 9"), "OK") << "the first one still answers";
    EXPECT_TRUE(RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\GPRS_Modem"));

    m_pid = firstPid;
    status = Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(control));
}

TEST_F(ProgramTest, ProbeAndAStaleSocket) {
    const std::string control = m_dir + "/control";
    // A socket file left by a simulator that crashed: nobody answers, it is replaced.
    const int stale = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", control.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(stale);
    const auto probe = [&] {
        std::string program = QVL_MODEMSIM_PROGRAM;
        std::string flag = "--probe";
        std::string path = control;
        char* argv[] = {program.data(), flag.data(), path.data(), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
            return -1;
        }
        int rc = -1;
        waitpid(pid, &rc, 0);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(probe(), 1);
    ASSERT_FALSE(Launch({"--control", control}).empty());
    EXPECT_EQ(probe(), 0);
    // Our socket was replaced by someone else's file meanwhile: the clean-up leaves it.
    std::filesystem::remove(control);
    FILE* f = std::fopen(control.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const int status = Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(std::filesystem::exists(control));
}

TEST_F(ProgramTest, RefusesABadSeed) {
    const std::string seed = m_dir + "/bad.txt";
    FILE* f = std::fopen(seed.c_str(), "w");
    std::fputs("[sim]\npin_attempts = 9\n", f);
    std::fclose(f);
    EXPECT_EQ(Launch({"--seed", seed}), "");
    int status = -1;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

}  // namespace
}  // namespace qvl::sim::test

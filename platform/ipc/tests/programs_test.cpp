// Starting programs of the suite: argv exactly as given (no shell), a session of their own, the
// exit collected, and refusals of what is not an absolute path.
#include "platform/ipc/programs.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qvl {
namespace {

// Waits with a generous limit until the process has ended.
bool WaitUntilEnded(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ProgramRunning(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ProgramsTest, ArgumentsArriveAsGivenWithoutAShell) {
    char dir[] = "/tmp/qvl-programs-test.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/out";
    // The shell here is the started program itself: "$(...)" and ";" in an argument are text.
    const auto pid = StartProgram(
        "/bin/sh", {"-c", "printf '%s|' \"$@\" \"$(ps -o sid= -p $$ | tr -d ' ')\" > \"$0\"", out,
                    "a b", "$(rm -rf /)", "x;y"});
    ASSERT_TRUE(pid.has_value());
    ASSERT_TRUE(WaitUntilEnded(*pid));
    const std::string text = ReadAll(out);
    EXPECT_EQ(text.rfind("a b|$(rm -rf /)|x;y|", 0), 0u) << text;
    // Its own session: the session id is its own process id.
    EXPECT_EQ(text.substr(text.rfind('|', text.size() - 2) + 1), std::to_string(*pid) + "|");
    std::filesystem::remove_all(dir);
}

TEST(ProgramsTest, RefusedStarts) {
    struct Row {
        const char* name;
        const char* path;
    };
    const std::vector<Row> rows = {
        {"empty", ""},
        {"relative", "bin/true"},
        {"missing", "/nonexistent-qvl/Parlino"},
        {"a_folder", "/tmp"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(StartProgram(r.path, {}).has_value());
    }
}

TEST(ProgramsTest, RunningUntilItEndsAndNoZombieIsLeft) {
    PosixProgramStarter starter;
    const auto pid = starter.Start("/bin/sleep", {"30"});
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(starter.Running(*pid));
    ::kill(*pid, SIGTERM);
    ASSERT_TRUE(WaitUntilEnded(*pid));
    EXPECT_FALSE(starter.Running(*pid));
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(*pid)));
    // Not our child: this test's own parent runs; no process has id 0 or below.
    EXPECT_TRUE(ProgramRunning(::getppid()));
    EXPECT_FALSE(ProgramRunning(0));
    EXPECT_FALSE(ProgramRunning(-1));
}

}  // namespace
}  // namespace qvl

// qvl-pdu commands: output lines, field names and the bad-input contract (one line on stderr,
// exit status 2).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tools/pdu/pdutool.h"

extern char** environ;

namespace qvl::pdutool {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunArgs(std::vector<std::string> args) {
    Result r;
    r.status = Run(args, r.out, r.err);
    return r;
}

TEST(PduTool, Submit) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    } rows[] = {
        {"hello", {"submit", "0170123", "hello"}, "0011000781100721F30000A805E8329BFD06\n"},
        {"international",
         {"submit", "+46708251358", "hellohello", "--validity", "0xAA"},
         "0011000B916407281553F80000AA0AE8329BFD4697D9EC37\n"},
        {"options",
         {"submit", "--status-report", "--send-as", "email", "--validity", "255", "0170123", "hello"},
         "0031000781100721F33200FF05E8329BFD06\n"},
        {"ucs2", {"submit", "0170123", "est\xC3\xA1"}, "0011000781100721F30008A808006500730074" "00E1\n"},
        {"dash_text_after_double_dash", {"submit", "0170123", "--", "--x"},
         "0011000781100721F30000A803AD161E\n"},
    };
    for (const auto& r : rows) {
        const auto res = RunArgs(r.args);
        EXPECT_EQ(res.status, kExitOk) << r.name << ": " << res.err;
        EXPECT_EQ(res.out, r.out) << r.name;
        EXPECT_EQ(res.err, "") << r.name;
    }
}

TEST(PduTool, LongSubmitPrintsOnePduPerPart) {
    const auto res = RunArgs({"submit", "--ref", "9", "0170123", std::string(161, 'a')});
    ASSERT_EQ(res.status, kExitOk);
    const auto nl = res.out.find('\n');
    ASSERT_NE(nl, std::string::npos);
    EXPECT_EQ(res.out.substr(0, 38), "0051000781100721F30000A89F050003090201");
    EXPECT_EQ(res.out.substr(nl + 1, 38), "0051000781100721F30000A810050003090202");
    EXPECT_EQ(std::count(res.out.begin(), res.out.end(), '\n'), 2);
}

TEST(PduTool, Deliver) {
    const auto res =
        RunArgs({"deliver", "+31641600986", "26/08/02,19:37:41,GMT-1", "How are you?"});
    EXPECT_EQ(res.status, kExitOk) << res.err;
    // S-DEL-4 (rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d unit/test-sms.c
    // test_simple_deliver), with an empty service-centre field.
    EXPECT_EQ(res.out, "00040B911346610089F60000208062917314480CC8F71D14969741F977FD07\n");
}

TEST(PduTool, DecodeDeliverPrintsEveryField) {
    // S-DEL-3, faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5 test_decode.
    const auto res =
        RunArgs({"decode", "06917228195339040B917228214365F70000313062315352800A800D8A5E98D337A910"});
    EXPECT_EQ(res.status, kExitOk) << res.err;
    EXPECT_EQ(res.out,
              "index=0\nnumber=+27821234567\ntext=@{t\xC3\xA9st}!\ntime=26/03/13,13:35:25,GMT+2\n"
              "status=0\nconcatenated=0\nreference=0\ntotal=0\nsequence=0\nstorage=0\ngraphic=0\n");
}

TEST(PduTool, DecodeEscapesLineBreaks) {
    const auto res = RunArgs({"decode", "--submit", "00" "01000B915310101010100000151BC58602DAA036A9CD6BC3DBF436BE0D705306"});
    EXPECT_EQ(res.status, kExitOk) << res.err;
    EXPECT_NE(res.out.find("text=\\n^ {}\\\\[~]|\xE2\x82\xAC\n"), std::string::npos) << res.out;
}

TEST(PduTool, DecodeStatus) {
    const auto res = RunArgs({"decode", "--status", "0006D60B911326880736F4111011719551401110117195714000"});
    EXPECT_EQ(res.status, kExitOk) << res.err;
    EXPECT_EQ(res.out,
              "number=+31628870634\ntime=11/01/11,17:59:15,GMT+1\n"
              "discharge=11/01/11,17:59:17,GMT+1\nstatus=0\n");
}

TEST(PduTool, BadInputIsOneLineAndStatusTwo) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
    } rows[] = {
        {"no_command", {}},
        {"unknown_command", {"encode", "1", "x"}},
        {"submit_missing_text", {"submit", "0170123"}},
        {"submit_extra", {"submit", "0170123", "a", "b"}},
        {"letters_in_number", {"submit", "0170abc", "hi"}},
        {"plus_inside_number", {"submit", "01+70", "hi"}},
        {"empty_number", {"submit", "", "hi"}},
        {"number_too_long", {"submit", "123456789012345678901", "hi"}},
        {"ref_too_big", {"submit", "--ref", "256", "0170123", "hi"}},
        {"ref_not_number", {"submit", "--ref", "x", "0170123", "hi"}},
        {"ref_missing_value", {"submit", "0170123", "hi", "--ref"}},
        {"validity_bad_hex", {"submit", "--validity", "0x1G", "0170123", "hi"}},
        {"send_as_four", {"submit", "--send-as", "4", "0170123", "hi"}},
        {"status_option_on_deliver", {"deliver", "--status-report", "1", "01/01/01,00:00:00,GMT+0", "x"}},
        {"invalid_utf8", {"submit", "0170123", "a\xFF"}},
        {"bad_time", {"deliver", "0170123", "yesterday", "hi"}},
        {"time_without_zone", {"deliver", "0170123", "24/12/04,18:30:05", "hi"}},
        {"odd_hex", {"decode", "0011000"}},
        {"non_hex", {"decode", "00G1"}},
        {"empty_hex", {"decode", ""}},
        {"sca_past_end", {"decode", "0791"}},
        {"two_hex", {"decode", "00", "00"}},
        {"too_many_parts", {"submit", "0170123", std::string(152 * 255 + 1, 'a')}},
    };
    for (const auto& r : rows) {
        const auto res = RunArgs(r.args);
        EXPECT_EQ(res.status, kExitBadInput) << r.name;
        EXPECT_EQ(res.out, "") << r.name;
        ASSERT_FALSE(res.err.empty()) << r.name;
        EXPECT_EQ(res.err.find('\n'), res.err.size() - 1) << r.name << ": " << res.err;
        EXPECT_EQ(res.err.rfind("qvl-pdu: ", 0), 0u) << r.name;
    }
}

TEST(PduTool, TruncatedPduDecodesToShortFields) {
    const auto res = RunArgs({"decode", "00040B9172"});
    EXPECT_EQ(res.status, kExitOk);
    EXPECT_NE(res.out.find("number=+27\n"), std::string::npos) << res.out;
    EXPECT_NE(res.out.find("text=\n"), std::string::npos);
}

// The built program itself, started with argv (no shell).
Result Spawn(const std::vector<std::string>& args) {
    int outPipe[2];
    int errPipe[2];
    EXPECT_EQ(pipe(outPipe), 0);
    EXPECT_EQ(pipe(errPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<std::string> storage{QVL_PDU_BIN};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, QVL_PDU_BIN, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    Result r{-1, {}, {}};
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return r;
    }
    auto drain = [](int fd, std::string& into) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) {
            into.append(buf, static_cast<std::size_t>(n));
        }
        close(fd);
    };
    drain(outPipe[0], r.out);
    drain(errPipe[0], r.err);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(PduToolProgram, ExitStatusAndStreams) {
    const auto ok = Spawn({"submit", "0170123", "hello"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "0011000781100721F30000A805E8329BFD06\n");
    const auto bad = Spawn({"decode", "ABC"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
}

}  // namespace
}  // namespace qvl::pdutool

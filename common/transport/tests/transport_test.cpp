// The transport over real pseudo-terminals: response text, terminators, time-outs, writes,
// the writer watchdog, hang-ups, exclusive use and the port mutex.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"
#include "common/lang/lang.h"
#include "common/transport/tests/pty.h"
#include "common/transport/transport.h"

namespace qvl {
namespace {

using testing::FakeModemLine;
using Piece = FakeModemLine::Piece;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A read that should end by a rule, not by its time-out, is given this time-out; ending well
// within kGenerousMs proves the rule without a window that a loaded machine could miss.
constexpr std::uint32_t kVeryLongTimeoutMs = 60000;
constexpr long long kGenerousMs = 30000;

class CountingPump : public IMessagePump {
  public:
    void PumpMessages() override {
        ++count;
        if (each) {
            each(count);
        }
        if (action) {
            auto once = std::move(action);
            action = nullptr;
            once();
        }
    }
    int count = 0;
    std::function<void()> action;   // run once, at the next pump
    std::function<void(int)> each;  // run at every pump with the count so far
};

class RecordingMessageBox : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        shown.emplace_back(text);
        return MsgAnswer::Ok;
    }
    std::vector<std::u16string> shown;
};

std::string MakeTempDir(const char* tag) {
    std::string pattern = std::string("/tmp/qvl-transport-") + tag + ".XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? std::string(made) : std::string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = MakeTempDir("home");
        m_locks = MakeTempDir("lock");
        ASSERT_FALSE(m_home.empty());
        ASSERT_FALSE(m_locks.empty());
        ::setenv("QVL_HOME", m_home.c_str(), 1);
        ::setenv("QVL_LOCK_DIR", m_locks.c_str(), 1);
        TransportPorts ports;
        ports.pump = &m_pump;
        ports.messages = &m_box;
        ports.endProgram = [this] { ++m_endRequests; };
        ports.writeWatchdogMs = 10000;
        SetTransportPorts(ports);
        ASSERT_TRUE(m_line.Ok());
        ASSERT_EQ(PortInitialize(Utf8ToWide(m_line.SlavePath()), m_handle), 0);
    }
    void TearDown() override {
        PortClose(m_handle);
        m_line.HangUp();
        SetTransportPorts({});
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
        std::filesystem::remove_all(m_locks, ec);
    }

    std::string LockPath() const {
        const std::string slave = m_line.SlavePath();  // /dev/pts/N
        return m_locks + "/LCK.." + slave.substr(5, 3) + "_" + slave.substr(9);
    }

    FakeModemLine m_line;
    CountingPump m_pump;
    RecordingMessageBox m_box;
    int m_endRequests = 0;
    PortHandle m_handle = kInvalidPortHandle;
    std::string m_home;
    std::string m_locks;
};

// ---------------------------------------------------------------------------------------------
// Reads: one row per behaviour of the read rules.

// Early ends are shown by what the read returns: the pieces after the end arrive well within
// the time-out, so a read that went on would have taken them in. Time-out rules are shown by
// pieces spaced well within the time-out and by a lower bound on the read's length (a loaded
// machine only makes reads longer).
struct ReadCase {
    const char* name;
    std::vector<Piece> pieces;
    std::uint32_t timeoutMs;
    std::u16string expected;
    long long minMs;  // the read lasts at least this long (time-out rules)
};

class PortReadTest : public TransportTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PortReadTest, DeliversEscapedTextAndEndsByTheRules) {
    const ReadCase& row = GetParam();
    m_line.Play(row.pieces);
    std::u16string response;
    const auto start = Clock::now();
    EXPECT_EQ(PortRead(m_handle, response, row.timeoutMs), 0);
    const long long took = MsSince(start);
    EXPECT_EQ(WideToUtf8(response), WideToUtf8(row.expected));
    EXPECT_GE(took, row.minMs);
}

const std::string kLong(3000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Rules, PortReadTest,
    ::testing::Values(
        ReadCase{"FinalOkEndsEarly",
                 {{0, "\r\n+CSQ: 20,99\r\n\r\nOK\r\n"}, {300, "late"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\n+CSQ: 20,99\\r\\n\\r\\nOK\\r\\n",
                 0},
        ReadCase{"FinalErrorEndsEarly",
                 {{0, "\r\nERROR\r\n"}, {300, "late"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\nERROR\\r\\n",
                 0},
        ReadCase{"LoneOkIsDroppedAndReadingGoesOn",
                 {{0, "\r\nOK\r\n"}, {100, "\r\n+CREG: 0,1\r\n\r\nOK\r\n"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\n+CREG: 0,1\\r\\n\\r\\nOK\\r\\n",
                 0},
        ReadCase{"LoneOkThenSilenceGivesEmptyText", {{0, "\r\nOK\r\n"}}, 200, u"", 200},
        ReadCase{"RingWithClipEndsAtEndOfClipLine",
                 {{0, "\r\nRING\r\n\r\n+CLIP: \"+4912345\",145\r\n"}, {300, "\r\nRING\r\n"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\nRING\\r\\n\\r\\n+CLIP: \"+4912345\",145\\r\\n",
                 0},
        ReadCase{"CmsErrorEndsAtItsLineEnd",
                 {{0, "+CMS ERROR: 500\r\n"}, {300, "late"}},
                 kVeryLongTimeoutMs,
                 u"+CMS ERROR: 500\\r\\n",
                 0},
        ReadCase{"NewMessageIndicationEndsAtLineEnd",
                 {{0, "\r\n+CMTI: \"SM\",3\r\n"}, {300, "late"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\n+CMTI: \"SM\",3\\r\\n",
                 0},
        ReadCase{"SilenceReturnsEmptyAfterTimeout", {}, 200, u"", 200},
        // Spread over 2.1 s with a time-out of 2 s: a time-out counted from the start of the
        // read would lose the last pieces.
        ReadCase{"IdleTimeIsCountedFromTheLastByte",
                 {{0, "a"}, {700, "b"}, {700, "c"}, {700, "d"}},
                 2000,
                 u"abcd",
                 2100},
        ReadCase{"BellAndDeleteAreTwoHexDigits",
                 {{0,
                   "A\x07"
                   "B\x7f\r\n\r\nOK\r\n"}},
                 kVeryLongTimeoutMs,
                 u"A07B7f\\r\\n\\r\\nOK\\r\\n",
                 0},
        ReadCase{"NulEscapeAndHighBytes",
                 {{0, std::string("\x00\x1b\x80\xe9\xff", 5) + "\r\nOK\r\n"}},
                 kVeryLongTimeoutMs,
                 u"001b\u20ac\u00e9\u00ff\\r\\nOK\\r\\n",
                 0},
        ReadCase{"AnswerSplitAcrossWrites",
                 {{0, "\r\n+CGMI: Ma"}, {60, "ker\r\n\r\nO"}, {60, "K\r\n"}},
                 kVeryLongTimeoutMs,
                 u"\\r\\n+CGMI: Maker\\r\\n\\r\\nOK\\r\\n",
                 0},
        ReadCase{"AnswerThatNeverEndsIsBoundedTo11Chunks",
                 {{0, kLong}},
                 kVeryLongTimeoutMs,
                 std::u16string(2816, u'x'),
                 0}),
    [](const ::testing::TestParamInfo<ReadCase>& row) { return std::string(row.param.name); });

// Every final result code ends the raw read at its line end, as "\r\nERROR\r\n" does: the
// extended errors a modem sends after AT+CMEE=1 or 2 (+CME ERROR, with a number or a text, and
// +CMS ERROR) and the dial results. The line that follows stays queued for the next read; a read
// that did not see the end would take it too and wait out its idle time-out.
TEST_F(TransportTest, ExtendedErrorsAndDialResultsEndTheRead) {
    const std::pair<const char*, std::string> rows[] = {
        {"cme numeric", "\r\n+CME ERROR: 16\r\n"},
        {"cme verbose", "\r\n+CME ERROR: incorrect password\r\n"},
        {"cme after the echo", "AT+CPIN=\"1\"\r\r\n+CME ERROR: 16\r\n"},
        {"cms", "\r\n+CMS ERROR: 321\r\n"},
        {"busy", "ATD123;\r\r\nBUSY\r\n"},
        {"no answer", "\r\nNO ANSWER\r\n"},
        {"no dialtone", "\r\nNO DIALTONE\r\n"},
    };
    for (const auto& [name, answer] : rows) {
        SCOPED_TRACE(name);
        m_line.Send(answer + "next\r\n");
        std::uint8_t buffer[257];
        std::size_t count = 256;
        EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 5000), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), answer);
        count = 256;
        PortReadRaw(m_handle, buffer, count, 50);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "next\r\n");
    }
}

TEST_F(TransportTest, BytesAfterATerminatorStayForTheNextRead) {
    m_line.Send("\r\nOK\r\n\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
    std::uint8_t buffer[257];
    std::size_t count = 256;
    EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 1000), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "\r\nOK\r\n");
    count = 256;
    EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 1000), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
}

TEST_F(TransportTest, RawReadReportsMoreWhenFullOrIdleAfterBytes) {
    m_line.Send("0123456789");
    std::uint8_t buffer[8];
    std::size_t count = 4;
    EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 1000), 1);
    EXPECT_EQ(count, 4u);
    count = 8;
    EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 100), 1);  // idle after six bytes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "456789");
    count = 8;
    EXPECT_EQ(PortReadRaw(m_handle, buffer, count, 100), 0);  // nothing at all
    EXPECT_EQ(count, 0u);
}

TEST_F(TransportTest, ReadPumpsMessagesWhileWaiting) {
    // The answer comes only after the twentieth pump: a read that did not pump while it waits
    // would see nothing until its time-out.
    m_pump.each = [this](int count) {
        if (count == 20) {
            m_line.Send("\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
        }
    };
    std::u16string response;
    const auto start = Clock::now();
    PortRead(m_handle, response, kVeryLongTimeoutMs);
    EXPECT_LT(MsSince(start), kGenerousMs);
    EXPECT_EQ(WideToUtf8(response), "\\r\\n+CSQ: 5,99\\r\\n\\r\\nOK\\r\\n");
    EXPECT_GE(m_pump.count, 20);
}

TEST_F(TransportTest, HangUpMidReadReturnsWhatArrivedWithoutSpinning) {
    m_line.Play({{0, "\r\n+CSQ: 1"}});
    m_line.Join();
    std::thread hangUp([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_line.HangUp();
    });
    std::u16string response;
    const auto start = Clock::now();
    PortRead(m_handle, response, kVeryLongTimeoutMs);
    hangUp.join();
    const long long took = MsSince(start);
    EXPECT_EQ(WideToUtf8(response), "\\r\\n+CSQ: 1");
    EXPECT_LT(took, kGenerousMs) << "the read should end at the hang-up, not at its time-out";
    // Waiting blocks for a slice of at least a few milliseconds between pumps; a read that
    // spun would pump thousands of times in the same while.
    EXPECT_LE(m_pump.count, took / 5 + 20) << "pumps while waiting " << took << " ms";

    // Later reads on the dead line end at once, each after a few pumps at most. (Their cost
    // in CPU time is measured by bench_transport.)
    const int pumpsBefore = m_pump.count;
    const auto again = Clock::now();
    for (int i = 0; i < 50; ++i) {
        std::u16string more;
        PortRead(m_handle, more, kVeryLongTimeoutMs);
        EXPECT_TRUE(more.empty());
    }
    EXPECT_LT(MsSince(again), kGenerousMs);
    EXPECT_LE(m_pump.count - pumpsBefore, 50 * 4);
}

TEST_F(TransportTest, HandlerThatStopsTheSessionMidReadEndsTheRead) {
    // A window message handled while the read pumps may stop the session and close the port.
    PortHandle engineHandle = m_handle;
    m_pump.action = [&] { PortClose(engineHandle); };
    std::u16string response;
    const auto start = Clock::now();
    PortRead(m_handle, response, kVeryLongTimeoutMs);
    EXPECT_LT(MsSince(start), kGenerousMs);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(engineHandle, kInvalidPortHandle);
    m_handle = kInvalidPortHandle;
}

TEST_F(TransportTest, AcquireGivesUpWhenAHandlerStopsTheSession) {
    CModemPort port{m_handle, CreateNamedMutex(kPortMutexName)};
    // Another thread holds the port; while we wait, a handler closes it.
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        port.mutex->lock();
        held.set_value();
        release.get_future().wait();
        port.mutex->unlock();
    });
    held.get_future().wait();
    int passes = 0;
    m_pump.action = [&] {
        ++passes;
        PortClose(port.handle);
    };
    // Each pass pumps before it looks at the handle, so the closed port is seen at once and
    // no wait for the held mutex (5 s a pass) begins.
    const auto start = Clock::now();
    const bool acquired = AcquirePort(port);
    EXPECT_LT(MsSince(start), 4000);
    release.set_value();
    holder.join();
    EXPECT_FALSE(acquired);
    EXPECT_EQ(passes, 1);
    m_handle = kInvalidPortHandle;
}

// ---------------------------------------------------------------------------------------------
// Writes.

TEST_F(TransportTest, WriteSendsWindows1252BytesAsGiven) {
    EXPECT_EQ(PortWrite(m_handle, u"AT+CPBW=1,\"0\",129,\"J\u00e9r\u00f4me \u20ac\"\r"), 0);
    EXPECT_EQ(m_line.Receive(29, kGenerousMs), "AT+CPBW=1,\"0\",129,\"J\xe9r\xf4me \x80\"\r");
}

// Entries of a /proc/self folder: the threads (task) or the open descriptors (fd).
int ProcEntries(const char* folder) {
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++n;
    }
    return n;
}

// When the write returns, its thread has ended and its copy of the port is closed: nothing of
// the transport runs on after the caller (a library carrying it may be unloaded right away).
TEST_F(TransportTest, FinishedWriteLeavesNoThreadAndNoCopyOfThePort) {
    const int threads = ProcEntries("/proc/self/task");
    const int descriptors = ProcEntries("/proc/self/fd");
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(PortWrite(m_handle, u"AT\r"), 0);
        // The writer closes its copy of the port before the write returns.
        EXPECT_EQ(ProcEntries("/proc/self/fd"), descriptors);
        // A joined thread can stay listed for a moment while the kernel finishes its exit (seen
        // on a loaded machine), so the count is awaited; a writer still running would keep it.
        const auto start = Clock::now();
        while (ProcEntries("/proc/self/task") != threads && MsSince(start) < kGenerousMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(ProcEntries("/proc/self/task"), threads);
        EXPECT_EQ(m_line.Receive(3, kGenerousMs), "AT\r");
    }
}

TEST_F(TransportTest, ZeroLengthCommandWritesNothingAndSucceeds) {
    EXPECT_EQ(PortWrite(m_handle, u""), 0);
    EXPECT_EQ(m_line.Receive(1, 100), "");
}

TEST_F(TransportTest, WriteToAClosedPortFails) {
    EXPECT_NE(PortWrite(kInvalidPortHandle, u"AT\r"), 0);
    EXPECT_NE(PortWrite(0, u"AT\r"), 0);
}

TEST_F(TransportTest, HungWriteShowsMessage5259AndAsksTheProgramToEnd) {
    TransportPorts ports = GetTransportPorts();
    ports.writeWatchdogMs = 1000;
    SetTransportPorts(ports);
    // Nobody reads the modem side, so a large write fills the line and stays blocked.
    const std::string big(1 << 20, 'A');
    const auto start = Clock::now();
    const int result =
        PortWriteRaw(m_handle, reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    const long long took = MsSince(start);
    EXPECT_EQ(result, ETIMEDOUT);
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, kGenerousMs);
    ASSERT_EQ(m_box.shown.size(), 1u);
    EXPECT_FALSE(m_box.shown[0].empty());
    EXPECT_EQ(m_box.shown[0], LoadLocalString(kMsgWriteHung));
    EXPECT_EQ(m_endRequests, 1);
    EXPECT_GT(m_pump.count, 5) << "the wait for the writer pumps messages";
}

// The untraced write of a code pumps messages while the line is full. A handler may then stop
// the session and another device may be opened under the same descriptor number: the rest of
// the code must not go to that device.
TEST_F(TransportTest, SecretWriteEndsWhenThePortIsReplacedWhileItPumps) {
    FakeModemLine other;
    ASSERT_TRUE(other.Ok());
    const PortHandle original = m_handle;
    bool replaced = false;
    m_pump.action = [&] {
        PortClose(m_handle);
        PortHandle reopened = kInvalidPortHandle;
        ASSERT_EQ(PortInitialize(Utf8ToWide(other.SlavePath()), reopened), 0);
        if (reopened != original) {
            ASSERT_EQ(::dup2(reopened, original), original);
            ::close(reopened);
        }
        replaced = true;
    };
    // Nobody reads the modem side, so the line fills and the write has to wait and pump.
    const std::u16string code = u"AT+CPIN=\"" + std::u16string(1 << 20, u'7') + u"\"\r";
    EXPECT_NE(PortWriteSecret(original, code), 0);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(other.Receive(1, 200), "");
    ::close(original);
}

// A write abandoned by the watchdog stops: once the line drains, not one more byte of it goes
// out (the device may be a different one by then).
TEST_F(TransportTest, AbandonedWriterStopsWriting) {
    TransportPorts ports = GetTransportPorts();
    ports.writeWatchdogMs = 200;
    SetTransportPorts(ports);
    const std::string big(1 << 20, 'A');
    ASSERT_EQ(PortWriteRaw(m_handle, reinterpret_cast<const std::uint8_t*>(big.data()), big.size()),
              ETIMEDOUT);
    // Drain what the line holds until it stays quiet; a writer that went on would deliver the
    // whole megabyte.
    std::size_t received = 0;
    for (std::string got = m_line.Receive(1 << 16, 1000); !got.empty();
         got = m_line.Receive(1 << 16, 1000)) {
        received += got.size();
    }
    EXPECT_LT(received, big.size() / 2);
}

TEST_F(TransportTest, TraceShowsTheExchangeButNoCodes) {
    std::vector<std::u16string> trace;
    SetTraceHook([&](std::u16string_view text) { trace.emplace_back(text); });
    m_line.Play({{20, "AT+CPIN=\"1234\"\r\r\nOK\r\n"}});
    std::u16string response;
    EXPECT_TRUE(Transact(m_handle, u"AT+CPIN=\"1234\"\r", kVeryLongTimeoutMs, response, nullptr));
    EXPECT_TRUE(Transact(m_handle, u"at+cpwd=\"SC\",\"1234\",\"9876\"\r", 100, response, nullptr));
    SetTraceHook(nullptr);
    std::u16string all;
    for (const auto& line : trace) {
        all += line + u"|";
    }
    EXPECT_NE(all.find(u"Write: AT+CPIN=***\\r"), std::u16string::npos) << WideToUtf8(all);
    EXPECT_NE(all.find(u"Read: AT+CPIN=***\\r\\r\\nOK"), std::u16string::npos);
    EXPECT_NE(all.find(u"Before Write"), std::u16string::npos);
    EXPECT_EQ(all.find(u"1234"), std::u16string::npos) << WideToUtf8(all);
    EXPECT_EQ(all.find(u"9876"), std::u16string::npos);
}

// ---------------------------------------------------------------------------------------------
// Open and close.

TEST_F(TransportTest, CloseTwiceReturnsZeroTheSecondTime) {
    const std::string lock = LockPath();
    EXPECT_TRUE(std::filesystem::exists(lock));
    EXPECT_EQ(PortClose(m_handle), 1);
    EXPECT_EQ(m_handle, kInvalidPortHandle);
    EXPECT_FALSE(std::filesystem::exists(lock));
    EXPECT_EQ(PortClose(m_handle), 0);
    PortHandle zero = 0;
    EXPECT_EQ(PortClose(zero), 0);
}

// A close that reports an error still leaves the handle invalid: the descriptor is gone
// either way, and a handle left "open" would later reach whatever the number is reused for.
TEST_F(TransportTest, CloseThatFailsStillInvalidatesTheHandle) {
    ASSERT_EQ(::close(m_handle), 0);  // closed behind the transport's back: close() gives EBADF
    EXPECT_EQ(PortClose(m_handle), 0);
    EXPECT_EQ(m_handle, kInvalidPortHandle);
    EXPECT_FALSE(std::filesystem::exists(LockPath()));
}

// Output the modem has not taken is thrown away at close: a tty's close otherwise waits for it
// to drain (up to 30 s with a hung USB modem, on the UI thread).
TEST_F(TransportTest, CloseDiscardsOutputTheModemDidNotTake) {
    const std::string chunk(4096, 'A');
    std::size_t queued = 0;
    for (ssize_t n = 0; (n = ::write(m_handle, chunk.data(), chunk.size())) > 0;) {
        queued += static_cast<std::size_t>(n);
    }
    ASSERT_GT(queued, 0u);
    EXPECT_EQ(PortClose(m_handle), 1);
    std::size_t received = 0;
    for (std::string got = m_line.Receive(1 << 16, 200); !got.empty();
         got = m_line.Receive(1 << 16, 200)) {
        received += got.size();
    }
    EXPECT_LT(received, queued);
}

TEST_F(TransportTest, LockFileHoldsOurPidInTenCharacters) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(ReadFile(LockPath()), expected);
}

TEST_F(TransportTest, SecondOpenOfALockedPortIsBusy) {
    PortHandle second = kInvalidPortHandle;
    EXPECT_EQ(PortInitialize(Utf8ToWide(m_line.SlavePath()), second), EBUSY);
    EXPECT_EQ(second, kInvalidPortHandle);
    EXPECT_NE(PortErrorText(EBUSY, u"/dev/ttyUSB0").find(u"in use"), std::u16string::npos);
}

TEST_F(TransportTest, StaleLockOfADeadProcessIsTakenOver) {
    PortClose(m_handle);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    {
        std::ofstream stale(LockPath());
        stale << std::string(10 - std::to_string(child).size(), ' ') << child << "\n";
    }
    ASSERT_EQ(PortInitialize(Utf8ToWide(m_line.SlavePath()), m_handle), 0);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(ReadFile(LockPath()), expected);
}

TEST_F(TransportTest, LiveLockOfAnotherProcessRefuses) {
    PortClose(m_handle);
    {
        std::ofstream live(LockPath());
        live << "         1\n";  // init is always alive
    }
    EXPECT_EQ(PortInitialize(Utf8ToWide(m_line.SlavePath()), m_handle), EBUSY);
    EXPECT_EQ(m_handle, kInvalidPortHandle);
    EXPECT_EQ(ReadFile(LockPath()), "         1\n") << "another program's lock is left alone";
}

struct OpenErrorCase {
    const char* name;
    std::string path;
    int error;
    const char16_t* hint;
};

class PortOpenErrorTest : public TransportTest,
                          public ::testing::WithParamInterface<OpenErrorCase> {};

TEST_P(PortOpenErrorTest, ReturnsTheSystemErrorAndAnExplanation) {
    const OpenErrorCase& row = GetParam();
    const std::string path = row.path.empty() ? m_home : row.path;
    PortHandle handle = kInvalidPortHandle;
    EXPECT_EQ(PortInitialize(Utf8ToWide(path), handle), row.error);
    EXPECT_EQ(handle, kInvalidPortHandle);
    EXPECT_NE(PortErrorText(row.error, Utf8ToWide(path)).find(row.hint), std::u16string::npos);
    // A failed open leaves no lock behind.
    EXPECT_FALSE(std::filesystem::exists(m_locks + "/LCK..ttyQVLmissing0"));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, PortOpenErrorTest,
    ::testing::Values(OpenErrorCase{"MissingDevice", "/dev/ttyQVLmissing0", ENOENT, u"plugged"},
                      OpenErrorCase{"NotATerminal", "/dev/null", ENOTTY, u"not a serial"},
                      OpenErrorCase{"Folder", "", EISDIR, u"could not be opened"}),
    [](const ::testing::TestParamInfo<OpenErrorCase>& row) { return std::string(row.param.name); });

TEST(PortErrorTextTest, PermissionProblemNamesTheDialoutGroup) {
    EXPECT_NE(PortErrorText(EACCES, u"/dev/ttyACM0").find(u"\"dialout\""), std::u16string::npos);
}

TEST_F(TransportTest, PortIsNeverHandedOutAsDescriptorZero) {
    PortClose(m_handle);
    const int savedStdin = ::dup(0);
    ASSERT_GE(savedStdin, 0);
    ::close(0);
    const int result = PortInitialize(Utf8ToWide(m_line.SlavePath()), m_handle);
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
    ASSERT_EQ(result, 0);
    EXPECT_GE(m_handle, 3);
}

// ---------------------------------------------------------------------------------------------
// Exchanges and the port mutex.

class ConsumesNewMessageIndications : public IUnsolicitedHandler {
  public:
    bool HandleUnsolicited(const std::u16string& response) override {
        seen.push_back(response);
        return response.find(u"+CMTI:") != std::u16string::npos;
    }
    std::vector<std::u16string> seen;
};

TEST_F(TransportTest, TransactHandsUnsolicitedLinesToTheEngineAndReadsAgain) {
    std::thread modem([this] {
        if (m_line.Receive(7, kGenerousMs) == "AT+CSQ\r") {
            m_line.Send("\r\n+CMTI: \"SM\",4\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            m_line.Send("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
        }
    });
    ConsumesNewMessageIndications engine;
    std::u16string response = u"left over";
    EXPECT_TRUE(Transact(m_handle, u"AT+CSQ\r", kVeryLongTimeoutMs, response, &engine));
    modem.join();
    EXPECT_EQ(WideToUtf8(response), "\\r\\n+CSQ: 17,99\\r\\n\\r\\nOK\\r\\n");
    ASSERT_EQ(engine.seen.size(), 2u);
    EXPECT_EQ(WideToUtf8(engine.seen[0]), "\\r\\n+CMTI: \"SM\",4\\r\\n");
}

TEST_F(TransportTest, TransactWithoutHandlerLeavesUnsolicitedTextToTheCaller) {
    m_line.Play({{30, "\r\n+CMTI: \"SM\",4\r\n"}});
    std::u16string response;
    EXPECT_TRUE(Transact(m_handle, u"AT\r", kVeryLongTimeoutMs, response, nullptr));
    EXPECT_EQ(WideToUtf8(response), "\\r\\n+CMTI: \"SM\",4\\r\\n");
}

TEST_F(TransportTest, TransactFailsWhenTheWriteFails) {
    ConsumesNewMessageIndications engine;
    std::u16string response = u"old";
    EXPECT_FALSE(Transact(kInvalidPortHandle, u"AT\r", 100, response, &engine));
    EXPECT_TRUE(response.empty());
    EXPECT_TRUE(engine.seen.empty());
}

// Unsolicited lines that never stop (a flood of +CMTI, a line echoing back) end the exchange
// after a bounded number of reads instead of holding the UI thread for ever.
TEST_F(TransportTest, TransactReadsUnsolicitedLinesABoundedNumberOfTimes) {
    std::string flood;
    for (int i = 0; i < 200; ++i) {
        flood += "\r\n+CMTI: \"SM\"," + std::to_string(i) + "\r\n";
    }
    m_line.Send(flood);
    ConsumesNewMessageIndications engine;
    std::u16string response;
    EXPECT_TRUE(Transact(m_handle, u"AT\r", 3000, response, &engine));
    // Every line read was handed to the engine, the last one included.
    EXPECT_EQ(engine.seen.size(), static_cast<std::size_t>(kMaxUnsolicitedPasses) + 1);
}

TEST_F(TransportTest, PortMutexNestsOnItsOwnerAndKeepsOtherThreadsOut) {
    CModemPort port{m_handle, CreateNamedMutex(kPortMutexName)};
    ASSERT_TRUE(AcquirePort(port));
    ASSERT_TRUE(AcquirePort(port));  // a nested exchange on the same thread
    auto other = std::async(std::launch::async, [&] {
        const bool got = port.mutex->try_lock_for(std::chrono::milliseconds(50));
        if (got) {
            port.mutex->unlock();
        }
        return got;
    });
    EXPECT_FALSE(other.get());
    EXPECT_TRUE(ReleasePort(port.mutex));
    EXPECT_TRUE(ReleasePort(port.mutex));
    EXPECT_FALSE(ReleasePort(port.mutex)) << "no acquisition left to release";
    auto after = std::async(std::launch::async, [&] {
        const bool got = port.mutex->try_lock_for(std::chrono::milliseconds(50));
        if (got) {
            port.mutex->unlock();
        }
        return got;
    });
    EXPECT_TRUE(after.get());
}

TEST_F(TransportTest, AcquireFailsOnAClosedPort) {
    const NamedMutex mutex = CreateNamedMutex(kPortMutexName);
    EXPECT_FALSE(AcquirePort(CModemPort{0, mutex}));
    EXPECT_FALSE(AcquirePort(CModemPort{kInvalidPortHandle, mutex}));
    EXPECT_FALSE(ReleasePort(nullptr));
    EXPECT_TRUE(AcquirePort(CModemPort{m_handle, nullptr})) << "no mutex: never wait forever";
}

// ---------------------------------------------------------------------------------------------
// The response text conversion of every byte value.

struct ByteCase {
    std::uint8_t byte;
    std::u16string text;
};

TEST(ResponseTextTest, ControlBytesAreEscapedAndTheRestIsWindows1252) {
    const ByteCase rows[] = {
        {0x00, u"00"},     {0x07, u"07"},     {0x09, u"09"},     {0x0a, u"\\n"},
        {0x0d, u"\\r"},    {0x1a, u"1a"},     {0x1f, u"1f"},     {0x20, u" "},
        {0x5c, u"\\"},     {0x7e, u"~"},      {0x7f, u"7f"},     {0x80, u"\u20ac"},
        {0x81, u"\u0081"}, {0x9f, u"\u0178"}, {0xa0, u"\u00a0"}, {0xe9, u"\u00e9"},
        {0xff, u"\u00ff"},
    };
    for (const ByteCase& row : rows) {
        std::u16string text;
        AppendResponseText(text, &row.byte, 1);
        EXPECT_EQ(text, row.text) << "byte " << static_cast<int>(row.byte);
    }
}

}  // namespace
}  // namespace qvl

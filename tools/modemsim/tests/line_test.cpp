// Faults and line behaviour that tests of the transport and the engine script: error
// answers, silence, garbage, split and slow answers, a dropped line and the wire rate.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST_F(SimTest, FaultModeAnswersTheNextCommandsThenRecovers) {
    Open();
    Ask("ATE0");
    struct Row {
        const char* name;
        FaultKind kind;
        int code;
        const char* answer;
    };
    const Row rows[] = {
        {"plain", FaultKind::Error, 0, "\r\nERROR\r\n"},
        {"equipment", FaultKind::CmeError, 13, "\r\n+CME ERROR: 13\r\n"},
        {"message", FaultKind::CmsError, 500, "\r\n+CMS ERROR: 500\r\n"},
    };
    for (const Row& row : rows) {
        m_sim->SetFault(row.kind, 2, row.code);
        EXPECT_EQ(Ask("AT+CSQ"), row.answer) << row.name;
        EXPECT_EQ(Ask("AT+CLVL=50"), row.answer) << row.name;
        EXPECT_EQ(Ask("AT+CLVL?"), "\r\n+CLVL: 125\r\n\r\nOK\r\n")
            << row.name << ": faulted commands do not run";
    }
}

TEST_F(SimTest, NoAnswerFaultEchoesOnly) {
    Open();
    m_sim->SetFault(FaultKind::NoAnswer, 1, 0);
    m_line->Send("AT+CSQ\r");
    EXPECT_EQ(m_line->ReadUntil("AT+CSQ\r"), "AT+CSQ\r");
    EXPECT_EQ(m_line->ReadFor(200), "") << "no answer after the echo";
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
}

TEST_F(SimTest, SilentModemSendsNothingButLogsCommands) {
    Open();
    m_sim->SetSilent(true);
    EXPECT_EQ(m_line->Command("AT+CPIN?", 200), "");
    ASSERT_TRUE(m_sim->WaitForCommand("AT+CPIN?", kArrivalLimitMs)) << "taken while silent";
    m_sim->InjectIncomingCall("+4912");
    EXPECT_EQ(m_line->ReadFor(150), "");
    m_sim->RemoteHangup();  // no RING of the call may follow once the modem speaks again
    m_sim->SetSilent(false);
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
    const auto log = m_sim->CommandLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "AT+CPIN?");
    EXPECT_TRUE(m_sim->WaitForCommand("at+cpin", 0));
    EXPECT_FALSE(m_sim->WaitForCommand("AT+CPIN", 0, 1));
}

TEST_F(SimTest, GarbageAndCannedAnswersArriveVerbatim) {
    Open();
    const std::string garbage("\x00\xff\r\nRI\x01NG", 9);
    m_sim->SendGarbage(garbage);
    EXPECT_EQ(m_line->ReadAtLeast(garbage.size()), garbage);
    m_sim->SetCannedAnswer("AT+CGMM", "\r\nFISIO 9\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CGMM"), "\r\nFISIO 9\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CGMM"), "\r\nGSM-SIM 1\r\n\r\nOK\r\n") << "a canned answer is used once";
}

// The pauses are long next to the wake-up of a reader, so that even a loaded machine reads
// the first piece alone.
TEST_F(SimTest, SplitAnswerArrivesInTwoPiecesWithAPause) {
    Open();
    Ask("ATE0");
    m_sim->SplitNextAnswer(1000);
    m_line->Send("AT+CGMI\r");
    const std::string first = m_line->ReadAtLeast(1);
    EXPECT_FALSE(first.empty());
    EXPECT_FALSE(HasFinalResult(first)) << first;
    EXPECT_EQ(first + m_line->ReadAnswer(), "\r\nQVL Labs\r\n\r\nOK\r\n");

    // Cut where a reader is most easily fooled: between "OK" and its line end.
    m_sim->SplitNextAnswer(1000, 4);
    m_line->Send("AT\r");
    EXPECT_EQ(m_line->ReadAtLeast(4), "\r\nOK");
    EXPECT_EQ(m_line->ReadUntil("\r\n"), "\r\n");
}

TEST_F(SimTest, SlowHandsetDelaysEveryAnswerButNotTheEcho) {
    Open();
    m_sim->SetAnswerDelay(1000);
    const auto start = Clock::now();
    m_line->Send("AT\r");
    EXPECT_EQ(m_line->ReadAtLeast(3), "AT\r");
    EXPECT_EQ(m_line->ReadAnswer(), "\r\nOK\r\n");
    EXPECT_GE(Clock::now() - start, 990ms);
}

TEST_F(SimTest, DroppedLineFailsReadsAndWrites) {
    Open();
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
    m_sim->DropLine();
    std::string text = m_line->ReadAnswer();
    EXPECT_EQ(text, "");
    EXPECT_NE(m_line->LastError(), 0) << "the read sees the hang-up";
    char byte = 'A';
    EXPECT_EQ(write(m_line->Fd(), &byte, 1), -1);

    const std::string path = m_sim->Start();
    ASSERT_FALSE(path.empty());
    TestLine again(path);
    EXPECT_EQ(again.Command("ATE0"), "ATE0\r\r\nOK\r\n")
        << "a restarted simulator answers on a new device";
}

TEST_F(SimTest, ProgramMayCloseAndReopenTheDevice) {
    Open();
    const std::string path = m_sim->DevicePath();
    m_line.reset();
    m_line = std::make_unique<TestLine>(path);
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
}

TEST_F(SimTest, ExclusiveUseEndsWhenTheProgramClosesTheDevice) {
    Open();
    const std::string path = m_sim->DevicePath();
    ASSERT_EQ(ioctl(m_line->Fd(), TIOCEXCL), 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(m_line->Fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    m_line.reset();
    // The close reaches the simulator through a file watch, a moment later.
    const auto limit = Clock::now() + std::chrono::milliseconds(kArrivalLimitMs);
    while (exclusive != 0 && Clock::now() < limit) {
        std::this_thread::sleep_for(5ms);
        TestLine probe(path);  // root may open an exclusive line; others could not
        ASSERT_TRUE(probe.IsOpen());
        ASSERT_EQ(ioctl(probe.Fd(), TIOCGEXCL, &exclusive), 0);
    }
    EXPECT_EQ(exclusive, 0) << "a non-root program could not reopen its modem";
}

TEST_F(SimTest, PacedAnswerTakesItsWireTime) {
    Open();
    Ask("ATE0");
    // 2,816 bytes at 115200 baud, 10 bits a byte: 244.4 ms on the wire.
    const std::string answer = "\r\n" + std::string(2808, 'x') + "\r\nOK\r\n";
    ASSERT_EQ(answer.size(), 2816u);
    m_sim->SetCannedAnswer("AT+BIG", answer);
    m_sim->SetPacing(115200);
    m_line->Send("AT+BIG\r");
    const std::string first = m_line->ReadUntil("\r\n");
    const auto start = Clock::now();
    const std::string rest = m_line->ReadUntil("OK\r\n");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_EQ(first + rest, answer);
    // From the first byte to the last: 2,815 byte times (244.3 ms). Pacing can only be made
    // slower by load, so the lower bound holds anywhere; how close the pace comes to the wire
    // rate is measured by modemsim_bench.
    EXPECT_GT(ms, 200.0);
}

}  // namespace
}  // namespace qvl::sim::test

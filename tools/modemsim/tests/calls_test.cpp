// Conformance of voice calls, the call list, call hold and data calls.
#include <thread>

#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

using namespace std::chrono_literals;

TEST_F(SimTest, OutgoingCallGoesDialingAlertingActiveThenNoCarrier) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.dialToAlertMs = 1000;  // the first list is read well before the change
    Open(seed);
    Ask("ATE0");
    EXPECT_EQ(Ask("ATD+4930123456;"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CLCC"), "\r\n+CLCC: 1,0,2,0,0,\"+4930123456\",145\r\n\r\nOK\r\n");
    const std::string alerting = "\r\n+CLCC: 1,0,3,0,0,\"+4930123456\",145\r\n\r\nOK\r\n";
    const auto limit =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kArrivalLimitMs);
    std::string calls;
    while ((calls = Ask("AT+CLCC")) != alerting && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(calls, alerting);
    EXPECT_EQ(Ask("AT+VTS=1"), "\r\nERROR\r\n") << "no tones before the far end answers";
    EXPECT_TRUE(m_sim->RemoteAnswer());
    EXPECT_EQ(Ask("AT+CLCC"), "\r\n+CLCC: 1,0,0,0,0,\"+4930123456\",145\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+VTS=5;+VTS=#"), "\r\nOK\r\n");
    EXPECT_EQ(m_sim->Dtmf(), "5#");
    EXPECT_TRUE(m_sim->RemoteHangup());
    EXPECT_EQ(m_line->ReadUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Ask("AT+CLCC"), "\r\nOK\r\n");
}

TEST_F(SimTest, IncomingCallRingsWithClipUntilAnswered) {
    Open(SlowRingSeed());
    Ask("ATE0;+CLIP=1");
    EXPECT_EQ(m_sim->InjectIncomingCall("+4917012345"), 1);
    const std::string ring = "\r\nRING\r\n\r\n+CLIP: \"+4917012345\",145\r\n";
    EXPECT_EQ(m_line->ReadUntil(ring), ring);
    EXPECT_EQ(m_line->ReadUntil(ring), ring) << "RING repeats while the call waits";
    EXPECT_EQ(Ask("AT+CLCC"), "\r\n+CLCC: 1,1,4,0,0,\"+4917012345\",145\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATA"), "\r\nOK\r\n");
    EXPECT_EQ(m_line->ReadFor(300), "") << "no RING once answered";
    EXPECT_EQ(Ask("AT+CLCC"), "\r\n+CLCC: 1,1,0,0,0,\"+4917012345\",145\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATH"), "\r\nOK\r\n");
    EXPECT_TRUE(m_sim->Calls().empty());
}

TEST_F(SimTest, CallerGivingUpStopsRingingAndIsMissed) {
    ModemSeed seed = SlowRingSeed();
    seed.behaviour.cringVoice = true;
    Open(seed);
    Ask("ATE0");
    m_sim->InjectIncomingCall("0301234");
    EXPECT_EQ(m_line->ReadUntil("VOICE\r\n"), "\r\n+CRING: VOICE\r\n")
        << "no +CLIP without AT+CLIP=1";
    m_sim->RemoteHangup();
    EXPECT_EQ(m_line->ReadFor(300), "");
    EXPECT_EQ(Ask("AT+CPBS=\"MC\";+CPBR=1,10"), "\r\n+CPBR: 1,\"0301234\",129,\"\"\r\n\r\nOK\r\n");
}

TEST_F(SimTest, HoldSwapConferenceAndRelease) {
    Open();
    Ask("ATE0;+CCWA=1");
    Ask("ATD111;");
    m_sim->RemoteAnswer();
    EXPECT_TRUE(m_sim->InjectCallWaiting("+49222"));
    EXPECT_EQ(m_line->ReadUntil(",1\r\n"), "\r\n+CCWA: \"+49222\",145,1\r\n");
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
        const char* calls;
    };
    const Row rows[] = {
        {"accept waiting", "AT+CHLD=2", "\r\nOK\r\n",
         "\r\n+CLCC: 1,0,1,0,0,\"111\",129\r\n+CLCC: 2,1,0,0,0,\"+49222\",145\r\n\r\nOK\r\n"},
        {"swap", "AT+CHLD=2", "\r\nOK\r\n",
         "\r\n+CLCC: 1,0,0,0,0,\"111\",129\r\n+CLCC: 2,1,1,0,0,\"+49222\",145\r\n\r\nOK\r\n"},
        {"conference", "AT+CHLD=3", "\r\nOK\r\n",
         "\r\n+CLCC: 1,0,0,0,1,\"111\",129\r\n+CLCC: 2,1,0,0,1,\"+49222\",145\r\n\r\nOK\r\n"},
        {"private with 2", "AT+CHLD=22", "\r\nOK\r\n",
         "\r\n+CLCC: 1,0,1,0,0,\"111\",129\r\n+CLCC: 2,1,0,0,0,\"+49222\",145\r\n\r\nOK\r\n"},
        {"no call 5", "AT+CHLD=15", "\r\nERROR\r\n",
         "\r\n+CLCC: 1,0,1,0,0,\"111\",129\r\n+CLCC: 2,1,0,0,0,\"+49222\",145\r\n\r\nOK\r\n"},
        {"release 2", "AT+CHLD=12", "\r\nOK\r\n", "\r\n+CLCC: 1,0,1,0,0,\"111\",129\r\n\r\nOK\r\n"},
        {"retrieve held", "AT+CHLD=1", "\r\nOK\r\n",
         "\r\n+CLCC: 1,0,0,0,0,\"111\",129\r\n\r\nOK\r\n"},
        {"release active", "AT+CHLD=1", "\r\nOK\r\n", "\r\nOK\r\n"},
        {"nothing to release", "AT+CHLD=0", "\r\nERROR\r\n", "\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
        EXPECT_EQ(Ask("AT+CLCC"), row.calls) << row.name;
    }
}

TEST_F(SimTest, SupplementaryNoticeOnlyWhenEnabled) {
    Open();
    Ask("ATE0");
    EXPECT_FALSE(m_sim->InjectSupplementary(2));
    Ask("AT+CSSN=1,1");
    EXPECT_TRUE(m_sim->InjectSupplementary(2));
    EXPECT_EQ(m_line->ReadUntil("2\r\n"), "\r\n+CSSU: 2\r\n");
}

TEST_F(SimTest, DialledAndReceivedNumbersFillCallLists) {
    Open();
    Ask("ATE0;+CLIP=1");
    Ask("ATD0301;");
    Ask("ATH");
    Ask("ATD0302;");
    Ask("ATH");
    m_sim->InjectIncomingCall("+4917");
    m_line->ReadUntil("RING");
    Ask("ATA");
    Ask("ATH");
    EXPECT_EQ(Ask("AT+CPBS=\"DC\";+CPBR=1,10"),
              "\r\n+CPBR: 1,\"0302\",129,\"\"\r\n+CPBR: 2,\"0301\",129,\"\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPBS=\"RC\";+CPBR=1,10"), "\r\n+CPBR: 1,\"+4917\",145,\"\"\r\n\r\nOK\r\n");
}

TEST_F(SimTest, DataCallConnectsAndEscapesBack) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.escapeGuardMs = 100;
    Open(seed);
    Ask("ATE0");
    EXPECT_EQ(Ask("ATD*99***3#"), "\r\nNO CARRIER\r\n") << "context 3 is not defined";
    EXPECT_EQ(Ask("AT+CGDCONT=1,\"IP\",\"mms.example\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CGDCONT?"),
              "\r\n+CGDCONT: 1,\"IP\",\"mms.example\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CGDCONT=?"), "\r\n+CGDCONT: (1-10),\"IP\",,,(0-2),(0-4)\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATD*99***1#"), "\r\nCONNECT\r\n");
    m_line->Send("~\x7d\x23 AT\r");
    EXPECT_EQ(m_line->ReadFor(150), "") << "data mode does not interpret commands";
    m_line->Send("+++");
    EXPECT_EQ(m_line->ReadAnswer(), "\r\nOK\r\n");
    EXPECT_EQ(Ask("ATH"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("ATD*99***1#"), "\r\nCONNECT\r\n");
    m_sim->RemoteHangup();
    EXPECT_EQ(m_line->ReadUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
}

TEST_F(SimTest, DataCallEndsWhenTheLineIsReleased) {
    Open();
    Ask("ATE0");
    ASSERT_EQ(Ask("AT+CGDCONT=1,\"IP\",\"mms.example\""), "\r\nOK\r\n");
    ASSERT_EQ(Ask("ATD*99***1#"), "\r\nCONNECT\r\n");
    const std::string path = m_sim->DevicePath();
    // pppd's hang-up: it closes the line, which drops DTR. The close reaches the simulator
    // through a file watch, a moment later.
    m_line.reset();
    const auto limit =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kArrivalLimitMs);
    while (m_sim->Mode() != LineMode::Command && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(m_sim->Mode(), LineMode::Command);
    m_line = std::make_unique<TestLine>(path);
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n") << "back in command state, no stale NO CARRIER first";
}

}  // namespace
}  // namespace qvl::sim::test

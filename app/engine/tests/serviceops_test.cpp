// The engine operations of the network, call and security settings over a scripted modem:
// the network mode kept by the status checks, the operator found or lost, lock states, the
// divert cache, the secret path, and the long exchange with the drain of its late answer.
#include <gtest/gtest.h>

#include "app/engine/testing/scriptedengine.h"

namespace qvl {
namespace {

using testing::Esc;
using testing::ScriptedEngine;

class ServiceOpsTest : public ::testing::Test, protected ScriptedEngine {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartReady());
        ASSERT_TRUE(KnowOperator());
    }
    // The command the status check sends before AT+COPS?.
    std::u16string FirstCopsCommand() {
        PollOperatorNow();
        for (const auto& w : io.written) {
            if (w.rfind(u"AT+COPS=", 0) == 0) {
                return w;
            }
        }
        return {};
    }
    void PollOperatorNow() {
        io.written.clear();
        clock.Advance(20001);
        engine->ProcessDialer();
    }
};

TEST_F(ServiceOpsTest, StatusCheckKeepsAManualNetworkUntilAutomatic) {
    struct Row {
        const char* name;
        NetworkMode mode;
        std::u16string command;
    };
    const Row rows[] = {
        {"automatic", NetworkMode::Automatic, u"AT+COPS=0,0\r"},
        {"manual: the name format only", NetworkMode::Manual, u"AT+COPS=3,0\r"},
        {"automatic again", NetworkMode::Automatic, u"AT+COPS=0,0\r"},
    };
    for (const Row& row : rows) {
        engine->SetNetworkMode(row.mode);
        EXPECT_EQ(FirstCopsCommand(), row.command) << row.name;
        EXPECT_EQ(io.CountWritten(u"AT+COPS?"), 1) << row.name;
    }
    // CheckNetwork itself, as Automatic and the poll call it.
    engine->SetNetworkMode(NetworkMode::Manual);
    io.written.clear();
    std::u16string name;
    int status = 0;
    ASSERT_TRUE(engine->AcquirePort());
    EXPECT_EQ(engine->CheckNetwork(name, status), 1);
    engine->ReleasePort();
    EXPECT_EQ(io.CountWritten(u"AT+COPS=0,0"), 0);
}

TEST_F(ServiceOpsTest, OperatorFoundAndLost) {
    engine->OperatorFound(u"Op B");
    EXPECT_EQ(engine->OperatorName(), u"Op B");
    EXPECT_EQ(engine->DisplayText(), u"Op B");
    EXPECT_TRUE(engine->NetworkKnown());
    engine->OperatorLost();
    EXPECT_EQ(engine->OperatorName(), u"");
    EXPECT_EQ(engine->DisplayText(), u"");
    EXPECT_FALSE(engine->NetworkKnown());
    EXPECT_EQ(sink.Codes(),
              (std::vector<DialerEvent>{DialerEvent::Operator, DialerEvent::Searching}));
}

TEST_F(ServiceOpsTest, LockStatesTakeOnlyKnownValues) {
    const int rows[][2] = {{1, 1}, {0, 0}, {-1, -1}, {7, -1}};
    for (const auto& row : rows) {
        engine->SetLockState(LockFacility::SimPin, row[0]);
        engine->SetLockState(LockFacility::Phone, row[0] == 1 ? 0 : 1);
        EXPECT_EQ(engine->SimPinLock(), row[1]);
        EXPECT_EQ(engine->PhoneLock(), row[0] == 1 ? 0 : 1);
    }
}

TEST_F(ServiceOpsTest, ForgottenDivertStatusIsAskedAgain) {
    std::u16string number;
    ASSERT_TRUE(engine->AcquirePort());
    engine->GetDivertStatus(number);
    engine->GetDivertStatus(number);
    EXPECT_EQ(io.CountWritten(u"AT+CCFC=0,2"), 1);
    engine->ForgetDivertStatus();
    EXPECT_FALSE(engine->DivertKnown());
    engine->GetDivertStatus(number);
    engine->ReleasePort();
    EXPECT_EQ(io.CountWritten(u"AT+CCFC=0,2"), 2);
}

TEST_F(ServiceOpsTest, SecretExchangeIsWrittenUntracedAndWiped) {
    std::u16string command = u"AT+CPWD=\"SC\",\"1234\",\"4321\"\r";
    std::u16string response;
    ASSERT_TRUE(engine->AcquirePort());
    EXPECT_TRUE(engine->ExchangeSecret(command, response, 20000));
    engine->ReleasePort();
    EXPECT_EQ(io.secretWrites, 1);
    EXPECT_TRUE(command.empty());
    EXPECT_EQ(io.reads.back(), 20000u);
}

TEST_F(ServiceOpsTest, LongExchangeEnds) {
    struct Row {
        const char* name;
        bool silent;
        int cancelAfter;  // pump rounds; -1 never
        LongAnswer outcome;
    };
    const Row rows[] = {
        {"answered", false, -1, LongAnswer::Answered},
        {"silent modem: the time-out", true, -1, LongAnswer::TimedOut},
        {"canceled", true, 3, LongAnswer::Canceled},
    };
    for (const Row& row : rows) {
        io.silent = row.silent;
        io.On(u"AT+COPS=?", {Esc("\r\n+COPS: (2,\"A\",\"A\",\"26201\")\r\n\r\nOK\r\n")});
        io.written.clear();
        pump.rounds = 0;
        pump.hook = [this] { clock.Advance(500); };
        std::u16string response;
        ASSERT_TRUE(engine->AcquirePort());
        const LongAnswer outcome = engine->ExchangeLong(u"AT+COPS=?\r", 180000, response, [&] {
            return row.cancelAfter >= 0 && pump.rounds >= row.cancelAfter;
        });
        engine->ReleasePort();
        pump.hook = nullptr;
        EXPECT_EQ(outcome, row.outcome) << row.name;
        // An answer that did not end is asked to abort.
        EXPECT_EQ(io.CountWritten(u"\r"), row.outcome == LongAnswer::Answered ? 0 : 1) << row.name;
        if (row.outcome == LongAnswer::TimedOut) {
            EXPECT_GE(pump.rounds, 300) << row.name;  // 180 s in reads of 500 ms
        }
    }
    io.silent = false;
}

TEST_F(ServiceOpsTest, LongExchangeEndsOnAFrozenClockToo) {
    io.silent = true;
    std::u16string response;
    ASSERT_TRUE(engine->AcquirePort());
    EXPECT_EQ(engine->ExchangeLong(u"AT+COPS=?\r", 3000, response, nullptr), LongAnswer::TimedOut);
    engine->ReleasePort();
    io.silent = false;
}

TEST_F(ServiceOpsTest, LateAnswerIsDrainedBeforeTheNextCommand) {
    io.silent = true;
    std::u16string response;
    ASSERT_TRUE(engine->AcquirePort());
    ASSERT_EQ(engine->ExchangeLong(u"AT+COPS=?\r", 1000, response, nullptr), LongAnswer::TimedOut);
    io.silent = false;
    // The search's answer arrives after all; the next command must not read it as its own.
    io.Push(
        Esc("\r\n+COPS: (2,\"Op A\",\"A\",\"26201\"),(1,\"Op B\",\"B\",\"26202\")\r\n\r\nOK\r\n"));
    io.On(u"AT+COPS?", {Esc("AT+COPS?\r\r\n+COPS: 0,0,\"Op B\"\r\n\r\nOK\r\n")});
    engine->Exchange(u"AT+COPS?\r", 3000, response, Dispatch::Yes);
    EXPECT_EQ(response, Esc("AT+COPS?\r\r\n+COPS: 0,0,\"Op B\"\r\n\r\nOK\r\n"));
    // Once the late answer was seen, commands are no longer preceded by a drain.
    const std::size_t reads = io.reads.size();
    engine->Exchange(u"AT+CSQ\r", 1000, response, Dispatch::Yes);
    EXPECT_EQ(io.reads.size(), reads + 1);
    engine->ReleasePort();
}

}  // namespace
}  // namespace qvl

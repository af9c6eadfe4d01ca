// The transport against the modem simulator, through the simulator's real device path.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/text.h"
#include "common/transport/transport.h"
#include "tools/modemsim/modem_simulator.h"

namespace qvl {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Reads that must end by a rule get a time-out far beyond kGenerousMs, so that ending within it
// shows the rule and a loaded machine cannot make the test fail.
constexpr std::uint32_t kVeryLongTimeoutMs = 60000;
constexpr long long kGenerousMs = 30000;

class TransportSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("QVL_LOCK_DIR", "", 1);
        SetTransportPorts({});
        sim::ModemSeed seed = sim::DefaultSeed();
        seed.sim.pinEnabled = false;
        m_modem = std::make_unique<sim::ModemSimulator>(seed);
        const std::string path = m_modem->Start();
        ASSERT_FALSE(path.empty()) << m_modem->LastError();
        ASSERT_EQ(PortInitialize(Utf8ToWide(path), m_handle), 0);
    }
    void TearDown() override {
        PortClose(m_handle);
        m_modem.reset();
    }

    std::unique_ptr<sim::ModemSimulator> m_modem;
    PortHandle m_handle = kInvalidPortHandle;
};

TEST_F(TransportSimTest, ExchangeWithEchoOnEndsAtTheFinalResult) {
    std::u16string response;
    const auto start = Clock::now();
    ASSERT_TRUE(Transact(m_handle, u"AT+CGMR\r", kVeryLongTimeoutMs, response, nullptr));
    EXPECT_LT(MsSince(start), kGenerousMs);
    EXPECT_EQ(WideToUtf8(response), "AT+CGMR\\r\\r\\nR1.0.0\\r\\n\\r\\nOK\\r\\n");
}

TEST_F(TransportSimTest, IncomingCallReadEndsAtTheEndOfTheClipLine) {
    std::u16string response;
    ASSERT_TRUE(Transact(m_handle, u"AT+CLIP=1\r", kCommandTimeoutMs, response, nullptr));
    EXPECT_EQ(WideToUtf8(response), "AT+CLIP=1\\r\\r\\nOK\\r\\n");
    ASSERT_GT(m_modem->InjectIncomingCall("+4930123456"), 0);
    response.clear();
    const auto start = Clock::now();
    PortRead(m_handle, response, kVeryLongTimeoutMs);
    EXPECT_LT(MsSince(start), kGenerousMs) << "ends at the +CLIP line, not by time-out";
    const std::string text = WideToUtf8(response);
    EXPECT_EQ(text.rfind("\\r\\nRING\\r\\n\\r\\n+CLIP: \"+4930123456\"", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\\r\\n");
}

// The session relies on the modem's echo: with echo off, a bare OK answer is taken for a
// left-over OK of an earlier command, dropped, and the read ends by its time-out.
TEST_F(TransportSimTest, WithEchoOffABareOkAnswerIsDropped) {
    std::u16string response;
    ASSERT_TRUE(Transact(m_handle, u"ATE0\r", kCommandTimeoutMs, response, nullptr));
    EXPECT_EQ(WideToUtf8(response), "ATE0\\r\\r\\nOK\\r\\n");
    const auto start = Clock::now();
    ASSERT_TRUE(Transact(m_handle, u"AT\r", 300, response, nullptr));
    EXPECT_GE(MsSince(start), 300);
    EXPECT_TRUE(response.empty());
    ASSERT_TRUE(Transact(m_handle, u"AT+CGMR\r", kCommandTimeoutMs, response, nullptr));
    EXPECT_EQ(WideToUtf8(response), "\\r\\nR1.0.0\\r\\n\\r\\nOK\\r\\n");
}

TEST_F(TransportSimTest, DroppedLineEndsTheReadAtOnce) {
    std::thread drop([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_modem->DropLine();
    });
    std::u16string response;
    const auto start = Clock::now();
    PortRead(m_handle, response, kVeryLongTimeoutMs);
    drop.join();
    EXPECT_LT(MsSince(start), kGenerousMs);
    EXPECT_NE(PortWrite(m_handle, u"AT\r"), 0) << "a write on a dead line reports failure";
    EXPECT_TRUE(PortDeviceLost(m_handle)) << "the hang-up is remembered for the engine";
}

TEST_F(TransportSimTest, ALiveLineIsNotLost) {
    std::u16string response;
    PortWrite(m_handle, u"AT\r");
    PortRead(m_handle, response, 3000);
    EXPECT_FALSE(PortDeviceLost(m_handle));
}

}  // namespace
}  // namespace qvl

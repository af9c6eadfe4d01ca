// A simulator on a pseudo-terminal with the test's end of the line opened.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "tools/modemsim/modem_simulator.h"
#include "tools/modemsim/tests/line.h"

namespace qvl::sim::test {

class SimTest : public ::testing::Test {
  protected:
    // A seed with the PIN lock off, so tests start with a ready SIM unless they ask otherwise.
    static ModemSeed ReadySeed() {
        ModemSeed seed = DefaultSeed();
        seed.sim.pinEnabled = false;
        seed.behaviour.dialToAlertMs = 50;
        seed.behaviour.ringIntervalMs = 200;
        return seed;
    }

    // Rings a second apart: long next to a command's round trip, so that no RING slips into
    // the answers a test reads between two of them, even on a loaded machine.
    static ModemSeed SlowRingSeed() {
        ModemSeed seed = ReadySeed();
        seed.behaviour.ringIntervalMs = 1000;
        return seed;
    }

    void Open(ModemSeed seed = ReadySeed()) {
        m_sim = std::make_unique<ModemSimulator>(std::move(seed));
        const std::string path = m_sim->Start();
        ASSERT_FALSE(path.empty()) << m_sim->LastError();
        m_line = std::make_unique<TestLine>(path);
        ASSERT_TRUE(m_line->IsOpen());
    }

    // Sends a command and returns the answer without the echo of the command line.
    std::string Ask(const std::string& command, int timeoutMs = kArrivalLimitMs) {
        const std::string text = m_line->Command(command, timeoutMs);
        const std::string echo = command + "\r";
        if (text.rfind(echo, 0) == 0) {
            return text.substr(echo.size());
        }
        return text;
    }

    // A command and the answer it must get (echo off), checked in order.
    struct AnswerRow {
        const char* name;
        const char* command;
        std::string answer;
    };
    void ExpectAnswers(std::initializer_list<AnswerRow> rows) {
        for (const AnswerRow& row : rows) {
            EXPECT_EQ(Ask(row.command), row.answer) << row.name;
        }
    }

    void TearDown() override {
        m_line.reset();
        if (m_sim) {
            m_sim->Stop();
        }
    }

    std::unique_ptr<ModemSimulator> m_sim;
    std::unique_ptr<TestLine> m_line;
};

}  // namespace qvl::sim::test

// Test access to the engine's private state: puts the engine into a state that would take a
// long script to reach, and reads what no caller of the program needs to see. Tests only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/engine/phoneengine.h"

namespace qvl::testing {

class EnginePeer {
  public:
    static void SetDisplayText(CPhoneEngine& engine, std::u16string text) {
        engine.m_displayText = std::move(text);
    }
    static void SetStopped(CPhoneEngine& engine, bool stopped) {
        engine.m_stopped = stopped ? 1 : 0;
    }
    static void SetSimReady(CPhoneEngine& engine, bool ready) { engine.m_simReady = ready ? 1 : 0; }
    static void SetCalls(CPhoneEngine& engine, std::vector<CallEntry> calls) {
        engine.SetCallTable(std::move(calls));
    }
    static const std::u16string& StoredPin(const CPhoneEngine& engine) {
        return engine.m_storedPin;
    }
    static bool Ringing(const CPhoneEngine& engine) { return engine.m_ring.ringing; }
    static void ForgetRing(CPhoneEngine& engine) { engine.m_ring = {}; }
    // The next poll step checks the operator again, whatever the clock says.
    static void ForgetOperatorCheck(CPhoneEngine& engine) { engine.m_poll.lastOperatorCheckMs = 0; }
};

}  // namespace qvl::testing

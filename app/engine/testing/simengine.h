// An engine on the modem simulator over a real pseudo-terminal and the serial transport, with
// the engine's dialogs and system services faked, for tests of the code built on the engine.
// Start() brings it to a running session with the set-up done and the operator known.
// The simulator comes first: its headers use a member named like a Qt keyword macro.
#pragma once

#include "tools/modemsim/modem_simulator.h"

#include <memory>
#include <string>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "base/text.h"

namespace qvl::testing {

struct SimEngine {
    explicit SimEngine(sim::ModemSeed seed = sim::DefaultSeed()) : modem(std::move(seed)) {}

    // The simulator, a session (the PIN dialog answers 1234 if the SIM asks), the set-up and the
    // first poll step. pump: the engine's message pump (null: the transport's).
    bool Start(IMessagePump* pump = nullptr) {
        const std::string path = modem.Start();
        if (path.empty()) {
            return false;
        }
        const ModemEntry entry{u"Simulator", u"QVL Labs GSM-SIM 1", Utf8ToWide(path)};
        directory.entries = {entry};
        chooser.choice = entry;
        EnginePorts ports;
        ports.sink = &sink;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.modems = &directory;
        ports.power = &power;
        ports.pump = pump;
        engine = std::make_unique<CPhoneEngine>(ports);
        engine->SetRestartPauseMs(20);
        pin.Answer(DialogResult::Ok, u"1234");
        const bool started =
            engine->StartSession(AutoPin::AskUser) == 1 && engine->InitModem() == 1;
        if (started) {
            engine->ProcessDialer();
        }
        pin.script.clear();
        pin.shown.clear();
        sink.Clear();
        return started && engine->NetworkKnown();
    }

    sim::ModemSimulator modem;
    RecordingEventSink sink;
    FakePinDialog pin;
    FakeModemChooser chooser;
    FakeModemDirectory directory;
    FakePowerSupply power;
    std::unique_ptr<CPhoneEngine> engine;
};

}  // namespace qvl::testing

// An engine over a scripted modem with every port faked, for tests of the engine's operations
// and of the code built on it (call commands, services). The session starts with a SIM that
// is ready; StartReady and KnowOperator bring it to a running session with a known operator.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"

namespace qvl::testing {

// Real modem bytes (CR LF) in the transport's escaped response form.
inline std::u16string Esc(std::string_view raw) {
    std::u16string text;
    AppendResponseText(text, reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    return text;
}

struct ScriptedEngine {
    ScriptedEngine() {
        directory.entries = {{u"Cable", u"Simulated handset", u"/dev/ttySIM0"}};
        chooser.choice = directory.entries[0];
        io.On(u"AT+CPIN?", {Esc("\r\n+CPIN: READY\r\n\r\nOK\r\n")});
        EnginePorts ports;
        ports.sink = &sink;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.messages = &boxes;
        ports.pump = &pump;
        ports.io = &io;
        ports.modems = &directory;
        ports.clock = &clock;
        ports.power = &power;
        ports.text = EnglishEngineText;
        engine = std::make_unique<CPhoneEngine>(ports);
    }

    // A running session; the events and commands of the start are forgotten.
    bool StartReady() {
        const bool started = engine->StartSession(AutoPin::AskUser) == 1;
        sink.Clear();
        io.written.clear();
        return started;
    }
    // The first poll step after the start learns the operator.
    bool KnowOperator(std::string_view name = "Testnet") {
        io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"" + std::string(name) + "\"\r\n\r\nOK\r\n")});
        engine->ProcessDialer();
        sink.Clear();
        io.written.clear();
        return engine->NetworkKnown();
    }

    RecordingEventSink sink;
    FakePinDialog pin;
    FakeModemChooser chooser;
    FakeMessageBox boxes;
    CountingPump pump;
    ScriptedModemIo io;
    FakeModemDirectory directory;
    FakeClock clock;
    FakePowerSupply power;
    std::unique_ptr<CPhoneEngine> engine;
};

}  // namespace qvl::testing

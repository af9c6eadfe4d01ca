// Scripted fakes of the engine's ports, for the engine's tests and for the view's tests: each
// records what it was shown or asked and answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/ports.h"
#include "platform/ipc/ipc.h"

namespace qvl::testing {

// Records every event; an optional hook runs inside the call (as the view's handler would).
class RecordingEventSink final : public IDialerEventSink {
  public:
    void OnDialerEvent(const DialerEventMessage& message) override {
        events.push_back(message);
        if (hook) {
            hook(message);
        }
    }
    std::vector<DialerEvent> Codes() const {
        std::vector<DialerEvent> codes;
        for (const auto& e : events) {
            codes.push_back(e.event);
        }
        return codes;
    }
    int CountOf(DialerEvent event) const {
        int n = 0;
        for (const auto& e : events) {
            n += e.event == event ? 1 : 0;
        }
        return n;
    }
    void Clear() { events.clear(); }

    std::vector<DialerEventMessage> events;
    std::function<void(const DialerEventMessage&)> hook;
};

// Answers from a queue of (result, code). An exhausted script answers Cancel and counts it.
class FakePinDialog final : public IPinDialog {
  public:
    struct Shown {
        std::u16string prompt;
        std::u16string attempts;
    };
    void Answer(DialogResult result, std::u16string code = {}) {
        script.emplace_back(result, std::move(code));
    }
    DialogResult AskCode(std::u16string_view prompt, std::u16string_view attempts,
                         std::u16string& code) override {
        shown.push_back({std::u16string(prompt), std::u16string(attempts)});
        if (script.empty()) {
            ++exhausted;
            return DialogResult::Cancel;
        }
        auto [result, answer] = std::move(script.front());
        script.pop_front();
        code = std::move(answer);
        return result;
    }

    std::deque<std::pair<DialogResult, std::u16string>> script;
    std::vector<Shown> shown;
    int exhausted = 0;
};

class FakeModemChooser final : public IModemChooser {
  public:
    DialogResult ChooseModem(const std::vector<ModemEntry>& modems, ModemEntry& chosen) override {
        offered.push_back(modems);
        if (!choice) {
            return DialogResult::Cancel;
        }
        chosen = *choice;
        return DialogResult::Ok;
    }
    std::optional<ModemEntry> choice;
    std::vector<std::vector<ModemEntry>> offered;
};

class FakeMessageBox final : public IMessageBoxPort {
  public:
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        shown.emplace_back(text);
        return answer;
    }
    MsgAnswer answer = MsgAnswer::Ok;
    std::vector<std::u16string> shown;
};

class CountingPump final : public IMessagePump {
  public:
    void PumpMessages() override {
        ++rounds;
        if (hook) {
            hook();
        }
    }
    int rounds = 0;
    std::function<void()> hook;
};

// A clock that only moves when told to, or when the code sleeps.
class FakeClock final : public IClock {
  public:
    explicit FakeClock(std::uint64_t start = 1'000'000) : now(start) {}
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override {
        now += ms;
        slept += ms;
    }
    void Advance(std::uint64_t ms) { now += ms; }
    std::uint64_t now;
    std::uint64_t slept = 0;
};

class FakeModemDirectory final : public IModemDirectory {
  public:
    std::vector<ModemEntry> EnumerateModems(std::size_t capacity) override {
        std::vector<ModemEntry> list = entries;
        if (list.size() > capacity) {
            list.resize(capacity);
        }
        return list;
    }
    bool FindExtModem(std::u16string_view channel, std::u16string& displayName,
                      std::u16string& portName) override {
        const auto it = channels.find(std::u16string(channel));
        if (it == channels.end()) {
            return false;
        }
        displayName = it->second.displayName;
        portName = it->second.portName;
        return true;
    }
    std::vector<ModemEntry> entries;
    std::map<std::u16string, ModemEntry> channels;
};

class FakePowerSupply final : public IPowerSupply {
  public:
    PowerStatus Read() override { return status; }
    PowerStatus status{false, false, 80};
};

// Windows published by name; records what was sent to them.
class FakeWindowMessenger final : public IWindowMessenger {
  public:
    struct Sent {
        std::u16string name;
        std::uint32_t message;
        std::int64_t wParam;
        std::int64_t lParam;
        bool posted = false;  // PostWindowMessage: the sender did not wait
    };
    bool FindWindow(std::u16string_view name) override {
        for (const auto& w : published) {
            if (w == name) {
                return true;
            }
        }
        return false;
    }
    bool SendWindowMessage(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                           std::int64_t lParam, std::int64_t*) override {
        if (!FindWindow(name)) {
            return false;
        }
        sent.push_back({std::u16string(name), message, wParam, lParam});
        return true;
    }
    bool PostWindowMessage(std::u16string_view name, std::uint32_t message, std::int64_t wParam,
                           std::int64_t lParam) override {
        if (!FindWindow(name)) {
            return false;
        }
        sent.push_back({std::u16string(name), message, wParam, lParam, true});
        return true;
    }
    std::vector<std::u16string> published;
    std::vector<Sent> sent;
};

// A modem on a script, for engine logic that needs no serial line: each written command is
// answered with the text set for it (the longest matching command prefix; "\r\nOK\r\n" when
// none matches), already in escaped response form. Unsolicited text queued with Push is
// delivered by the next read, before the answer. Silence makes every read empty.
class ScriptedModemIo final : public IModemIo {
  public:
    int Open(std::u16string_view portName, PortHandle& handle) override {
        opened.emplace_back(portName);
        if (openError != 0) {
            handle = kInvalidPortHandle;
            return openError;
        }
        handle = 100 + static_cast<int>(opened.size());
        isOpen = true;
        return 0;
    }
    int Write(PortHandle, std::u16string_view command) override {
        if (writeError != 0) {
            return writeError;
        }
        written.emplace_back(command);
        pendingAnswer = AnswerFor(std::u16string(command));
        return 0;
    }
    int WriteSecret(PortHandle handle, std::u16string_view command) override {
        ++secretWrites;
        return Write(handle, command);
    }
    bool DeviceLost(PortHandle) override { return deviceLost; }
    void Read(PortHandle, std::u16string& response, std::uint32_t timeoutMs) override {
        reads.push_back(timeoutMs);
        if (silent) {
            pendingAnswer.clear();
            return;
        }
        if (!unsolicited.empty()) {
            response += unsolicited.front();
            unsolicited.pop_front();
            return;
        }
        response += pendingAnswer;
        pendingAnswer.clear();
    }
    int Close(PortHandle& handle) override {
        ++closes;
        isOpen = false;
        handle = kInvalidPortHandle;
        return 1;
    }

    // Sets the answer to a command prefix; a list is used up in order, its last entry stays.
    void On(std::u16string prefix, std::vector<std::u16string> answers) {
        script[std::move(prefix)] = std::deque<std::u16string>(answers.begin(), answers.end());
    }
    void Push(std::u16string text) { unsolicited.push_back(std::move(text)); }
    int CountWritten(std::u16string_view prefix) const {
        int n = 0;
        for (const auto& w : written) {
            n += w.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    std::vector<std::u16string> opened;
    std::vector<std::u16string> written;
    std::vector<std::uint32_t> reads;
    std::deque<std::u16string> unsolicited;
    std::map<std::u16string, std::deque<std::u16string>> script;
    std::u16string pendingAnswer;
    int openError = 0;
    int writeError = 0;
    int closes = 0;
    int secretWrites = 0;
    bool silent = false;
    bool deviceLost = false;  // DeviceLost answers this
    bool isOpen = false;

  private:
    std::u16string AnswerFor(const std::u16string& command) {
        std::deque<std::u16string>* best = nullptr;
        std::size_t bestLength = 0;
        for (auto& [prefix, answers] : script) {
            if (command.rfind(prefix, 0) == 0 && prefix.size() >= bestLength) {
                best = &answers;
                bestLength = prefix.size();
            }
        }
        if (best == nullptr || best->empty()) {
            return u"\\r\\nOK\\r\\n";
        }
        std::u16string answer = best->front();
        if (best->size() > 1) {
            best->pop_front();
        }
        return answer;
    }
};

// English texts of the message ids the engine loads, for tests without a text table.
inline std::u16string EnglishEngineText(int id) {
    switch (id) {
        case 5075:
            return u"Please enter your PIN.";
        case 5077:
            return u"Enter your New PIN";
        case 5078:
            return u"Please enter Phone Code";
        case 5101:
            return u"Please Provide PUK";
        case 5216:
            return u"Attempts = %d";
        default:
            return u"#" + std::u16string(1, u'0' + static_cast<char16_t>(id % 10));
    }
}

}  // namespace qvl::testing

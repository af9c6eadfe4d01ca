// Voice and data calls: dialling (ATD), answering (ATA), hanging up (ATH, AT+CHUP), the call
// hold and multiparty commands of GSM 07.07 AT+CHLD, the call list (AT+CLCC), DTMF (AT+VTS),
// incoming and waiting calls from the network, and the GPRS data call ATD*99***n#.
#include <algorithm>

#include "tools/modemsim/modem_core.h"

namespace qvl::sim {

namespace {

constexpr int kMaxCalls = 7;

bool IsEmergency(const std::string& number) {
    return number == "112" || number == "911" || number == "08" || number == "000" ||
           number == "999" || number == "110" || number == "118" || number == "119";
}

}  // namespace

Call* ModemCore::FindCall(int id) {
    for (Call& c : m_calls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

int ModemCore::FreeCallId() const {
    for (int id = 1; id <= kMaxCalls; ++id) {
        const bool used =
            std::any_of(m_calls.begin(), m_calls.end(), [id](const Call& c) { return c.id == id; });
        if (!used) {
            return id;
        }
    }
    return 0;
}

void ModemCore::RemoveCall(int id) {
    std::erase_if(m_calls, [id](const Call& c) { return c.id == id; });
    // A conference of one is no conference.
    const auto inConference =
        std::count_if(m_calls.begin(), m_calls.end(), [](const Call& c) { return c.multiparty; });
    if (inConference < 2) {
        for (Call& c : m_calls) {
            c.multiparty = false;
        }
    }
}

std::string ModemCore::NameOf(const std::string& number) const {
    // The handset names a listed call after the SIM book's entry, or the handset book's.
    for (const char* book : {"SM", "ME"}) {
        const auto it = m_state.phonebooks.find(book);
        if (it == m_state.phonebooks.end()) {
            continue;
        }
        for (const auto& [index, entry] : it->second.entries) {
            if (!entry.name.empty() && entry.number == number) {
                return entry.name;
            }
        }
    }
    return {};
}

void ModemCore::LogCall(const std::string& book, const std::string& number) {
    std::vector<std::string> books = {book};
    if (book == "DC") {
        books.push_back("LD");
    }
    for (const std::string& name : books) {
        const auto it = m_state.phonebooks.find(name);
        if (it == m_state.phonebooks.end() || number.empty()) {
            continue;
        }
        Phonebook& pb = it->second;
        std::map<int, PhonebookEntry> shifted;
        shifted[1] = PhonebookEntry{number, NumberType(number), NameOf(number)};
        for (const auto& [index, entry] : pb.entries) {
            if (index + 1 <= pb.capacity) {
                shifted[index + 1] = entry;
            }
        }
        pb.entries = std::move(shifted);
    }
}

ModemCore::Final ModemCore::CmdDial(std::string_view dial) {
    std::string text;
    for (const char c : dial) {
        if (c != ' ') {
            text += c;
        }
    }
    const bool voice = !text.empty() && text.back() == ';';
    if (voice) {
        text.pop_back();
    }
    // GPRS: *99#, *99***<cid>#.
    if (!voice && text.rfind("*99", 0) == 0 && !text.empty() && text.back() == '#') {
        if (!SimReady()) {
            return SimError(false);
        }
        int cid = 1;
        const std::string middle = text.substr(3, text.size() - 4);
        if (!middle.empty()) {
            if (middle.rfind("***", 0) != 0) {
                return Final::Text("NO CARRIER");
            }
            const auto v = AtArgs(middle.substr(3)).Int(0, 1, 10);
            if (!v) {
                return Final::Text("NO CARRIER");
            }
            cid = *v;
        }
        const bool defined = m_state.contexts.contains(cid) || middle.empty();
        if (!m_state.gprsAttached || !Registered() || !defined) {
            return Final::Text("NO CARRIER");
        }
        m_dataCall = true;
        m_dataBytes = 0;
        m_plusCount = 0;
        m_lastDataMs = m_sink.NowMs();
        m_mode = LineMode::Data;
        return Final::Text("CONNECT");
    }
    std::string number;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+') {
            number += c;
        } else if (c == 'I' || c == 'i' || c == 'G' || c == 'g' || c == 'T' || c == 't' ||
                   c == 'P' || c == 'p' || c == 'W' || c == 'w' || c == ',') {
            continue;  // dial modifiers
        } else {
            return Final::Err();
        }
    }
    if (number.empty() || number.size() > 20) {
        return Final::Err();
    }
    if (!voice) {
        // Circuit-switched data calls are not modelled: the far end never answers.
        return Final::Text("NO CARRIER");
    }
    if (number[0] == '*' || number[0] == '#') {
        return Final::Err();
    }
    if (m_fun != 1) {
        return Final::Text("NO CARRIER");  // the radio is off: not even an emergency call
    }
    const bool emergency = IsEmergency(number);
    if (!emergency && !SimReady()) {
        return SimError(false);
    }
    if (!emergency && !Registered()) {
        return Final::Text("NO CARRIER");
    }
    if (!emergency && (m_barring["AO"] & 1) != 0) {
        return Final::Cme(3);
    }
    // Dialling while a call is active puts that call on hold, as handsets do; with a held
    // call as well there is no room for a third.
    const bool hasHeld = std::any_of(m_calls.begin(), m_calls.end(),
                                     [](const Call& c) { return c.state == CallState::Held; });
    const bool hasActive = std::any_of(m_calls.begin(), m_calls.end(),
                                       [](const Call& c) { return c.state == CallState::Active; });
    const bool hasPending = std::any_of(m_calls.begin(), m_calls.end(), [](const Call& c) {
        return c.state == CallState::Dialing || c.state == CallState::Alerting ||
               c.state == CallState::Incoming;
    });
    if ((hasHeld && hasActive) || hasPending) {
        return Final::Cme(3);
    }
    const int id = FreeCallId();
    if (id == 0) {
        return Final::Cme(3);
    }
    for (Call& c : m_calls) {
        if (c.state == CallState::Active) {
            c.state = CallState::Held;
        }
    }
    Call call;
    call.id = id;
    call.direction = CallDirection::Outgoing;
    call.state = CallState::Dialing;
    call.number = number;
    call.type = NumberType(number);
    call.serial = ++m_callSerial;
    m_calls.push_back(call);
    LogCall("DC", number);
    const std::uint64_t serial = call.serial;
    m_sink.Schedule(m_state.behaviour.dialToAlertMs, [this, serial] {
        for (Call& c : m_calls) {
            if (c.serial == serial && c.state == CallState::Dialing) {
                c.state = CallState::Alerting;
            }
        }
    });
    if (m_state.behaviour.autoAnswerMs >= 0) {
        m_sink.Schedule(
            m_state.behaviour.dialToAlertMs + m_state.behaviour.autoAnswerMs, [this, serial] {
                for (Call& c : m_calls) {
                    if (c.serial == serial &&
                        (c.state == CallState::Dialing || c.state == CallState::Alerting)) {
                        c.state = CallState::Active;
                    }
                }
            });
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdAnswer() {
    Call* target = nullptr;
    for (Call& c : m_calls) {
        if (c.state == CallState::Incoming) {
            target = &c;
        }
    }
    if (target == nullptr) {
        for (Call& c : m_calls) {
            if (c.state == CallState::Waiting) {
                target = &c;
            }
        }
    }
    if (target == nullptr) {
        return Final::Text("NO CARRIER");
    }
    for (Call& c : m_calls) {
        if (c.state == CallState::Active) {
            c.state = CallState::Held;
        }
    }
    target->state = CallState::Active;
    LogCall("RC", target->number);
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdHangup() {
    if (m_dataCall) {
        m_dataCall = false;
        return Final::Ok();
    }
    for (const Call& c : m_calls) {
        if (c.state == CallState::Incoming || c.state == CallState::Waiting) {
            LogCall("MC", c.number);
        }
    }
    m_calls.clear();
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdChld(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        reply.Line("+CHLD: (0,1,1x,2,2x,3)");
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const std::string arg = args.Text(0);
    if (arg.empty() || arg.size() > 2 || arg[0] < '0' || arg[0] > '4' ||
        (arg.size() == 2 && (arg[1] < '1' || arg[1] > '7'))) {
        return Final::Err();
    }
    const int op = arg[0] - '0';
    const int x = arg.size() == 2 ? arg[1] - '0' : 0;
    auto any = [this](CallState s) {
        return std::any_of(m_calls.begin(), m_calls.end(),
                           [s](const Call& c) { return c.state == s; });
    };
    auto removeState = [this](CallState s) {
        std::vector<int> ids;
        for (const Call& c : m_calls) {
            if (c.state == s) {
                ids.push_back(c.id);
            }
        }
        for (const int id : ids) {
            RemoveCall(id);
        }
    };
    auto setState = [this](CallState from, CallState to) {
        for (Call& c : m_calls) {
            if (c.state == from) {
                c.state = to;
            }
        }
    };
    switch (op) {
        case 0:
            // Release the held calls, or reject the waiting call (user determined user busy).
            if (any(CallState::Waiting)) {
                for (const Call& c : m_calls) {
                    if (c.state == CallState::Waiting) {
                        LogCall("MC", c.number);
                    }
                }
                removeState(CallState::Waiting);
            } else if (any(CallState::Held)) {
                removeState(CallState::Held);
            } else {
                return Final::Cme(3);
            }
            return Final::Ok();
        case 1:
            if (x != 0) {
                if (FindCall(x) == nullptr) {
                    return Final::Cme(3);
                }
                RemoveCall(x);
                return Final::Ok();
            }
            if (m_calls.empty()) {
                return Final::Cme(3);
            }
            removeState(CallState::Active);
            if (any(CallState::Waiting)) {
                for (Call& c : m_calls) {
                    if (c.state == CallState::Waiting) {
                        LogCall("RC", c.number);
                    }
                }
                setState(CallState::Waiting, CallState::Active);
            } else {
                setState(CallState::Held, CallState::Active);
            }
            return Final::Ok();
        case 2:
            if (x != 0) {
                Call* call = FindCall(x);
                if (call == nullptr ||
                    (call->state != CallState::Active && call->state != CallState::Held)) {
                    return Final::Cme(3);
                }
                for (Call& c : m_calls) {
                    if (c.id != x && c.state == CallState::Active) {
                        c.state = CallState::Held;
                    }
                }
                call->state = CallState::Active;
                call->multiparty = false;
                RemoveCall(0);  // refreshes the conference flags
                return Final::Ok();
            }
            if (any(CallState::Waiting)) {
                setState(CallState::Active, CallState::Held);
                for (Call& c : m_calls) {
                    if (c.state == CallState::Waiting) {
                        LogCall("RC", c.number);
                        c.state = CallState::Active;
                    }
                }
                return Final::Ok();
            }
            if (!any(CallState::Active) && !any(CallState::Held)) {
                return Final::Cme(3);
            }
            for (Call& c : m_calls) {
                if (c.state == CallState::Active) {
                    c.state = CallState::Held;
                } else if (c.state == CallState::Held) {
                    c.state = CallState::Active;
                }
            }
            return Final::Ok();
        case 3:
            if (!any(CallState::Active) || !any(CallState::Held)) {
                return Final::Cme(3);
            }
            for (Call& c : m_calls) {
                if (c.state == CallState::Active || c.state == CallState::Held) {
                    c.state = CallState::Active;
                    c.multiparty = true;
                }
            }
            return Final::Ok();
        default:
            return Final::Cme(4);
    }
}

ModemCore::Final ModemCore::CmdClcc(Form form, Reply& reply) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Exec) {
        return Final::Err();
    }
    std::vector<Call> sorted = m_calls;
    std::sort(sorted.begin(), sorted.end(),
              [](const Call& a, const Call& b) { return a.id < b.id; });
    for (const Call& c : sorted) {
        std::string line =
            "+CLCC: " + std::to_string(c.id) + "," + std::to_string(static_cast<int>(c.direction)) +
            "," + std::to_string(static_cast<int>(c.state)) + ",0," + (c.multiparty ? "1" : "0");
        if (!c.number.empty()) {
            line += ",\"" + c.number + "\"," + std::to_string(c.type);
        }
        reply.Line(line);
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdVts(Form form, const AtArgs& args) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    std::string tones;
    for (std::size_t i = 0; i < args.Count(); ++i) {
        for (const char c : args.Text(i)) {
            const char u = static_cast<char>(c >= 'a' && c <= 'd' ? c - 32 : c);
            if ((u >= '0' && u <= '9') || u == '*' || u == '#' || (u >= 'A' && u <= 'D')) {
                tones += u;
            } else {
                return Final::Err();
            }
        }
    }
    if (tones.empty()) {
        return Final::Err();
    }
    const bool active = std::any_of(m_calls.begin(), m_calls.end(),
                                    [](const Call& c) { return c.state == CallState::Active; });
    if (!active) {
        return Final::Cme(3);
    }
    m_dtmf += tones;
    return Final::Ok();
}

void ModemCore::SendRing(const Call& call) {
    std::string text =
        m_crc || m_state.behaviour.cringVoice ? "\r\n+CRING: VOICE\r\n" : "\r\nRING\r\n";
    if (m_clip) {
        if (call.number.empty()) {
            text += "\r\n+CLIP: \"\",128,,,,1\r\n";  // withheld by the caller
        } else {
            text += "\r\n+CLIP: \"" + call.number + "\"," + std::to_string(call.type) + "\r\n";
        }
    }
    EmitUnsolicited(text);
}

void ModemCore::RingTick(std::uint64_t serial) {
    for (const Call& c : m_calls) {
        if (c.serial == serial && c.state == CallState::Incoming) {
            SendRing(c);
            m_sink.Schedule(m_state.behaviour.ringIntervalMs, [this, serial] { RingTick(serial); });
            return;
        }
    }
}

int ModemCore::InjectIncomingCall(const std::string& number) {
    if (!SimReady() || !Registered() || (m_barring["AI"] & 1) != 0) {
        return 0;
    }
    if (!m_calls.empty()) {
        return InjectCallWaiting(number) ? m_calls.back().id : 0;
    }
    Call call;
    call.id = FreeCallId();
    call.direction = CallDirection::Incoming;
    call.state = CallState::Incoming;
    call.number = number;
    call.type = NumberType(number);
    call.serial = ++m_callSerial;
    m_calls.push_back(call);
    RingTick(call.serial);
    return call.id;
}

bool ModemCore::InjectCallWaiting(const std::string& number) {
    const bool busy = std::any_of(m_calls.begin(), m_calls.end(), [](const Call& c) {
        return c.state == CallState::Active || c.state == CallState::Held;
    });
    const bool waitingAlready = std::any_of(m_calls.begin(), m_calls.end(), [](const Call& c) {
        return c.state == CallState::Waiting || c.state == CallState::Incoming;
    });
    if (!busy || waitingAlready || (m_waitingClasses & 1) == 0 || !SimReady()) {
        return false;
    }
    const int id = FreeCallId();
    if (id == 0) {
        return false;
    }
    Call call;
    call.id = id;
    call.direction = CallDirection::Incoming;
    call.state = CallState::Waiting;
    call.number = number;
    call.type = NumberType(number);
    call.serial = ++m_callSerial;
    m_calls.push_back(call);
    if (m_ccwaPresentation == 1) {
        if (number.empty()) {
            EmitUnsolicited("\r\n+CCWA: \"\",128,1\r\n");
        } else {
            EmitUnsolicited("\r\n+CCWA: \"" + number + "\"," + std::to_string(call.type) +
                            ",1\r\n");
        }
    }
    return true;
}

bool ModemCore::InjectSupplementary(int code) {
    if (m_cssnU != 1) {
        return false;
    }
    EmitUnsolicited("\r\n+CSSU: " + std::to_string(code) + "\r\n");
    return true;
}

bool ModemCore::RemoteAnswer(int callId) {
    for (Call& c : m_calls) {
        const bool ringing = c.state == CallState::Dialing || c.state == CallState::Alerting;
        if (ringing && (callId == 0 || c.id == callId)) {
            c.state = CallState::Active;
            return true;
        }
    }
    return false;
}

bool ModemCore::RemoteBusy(int callId) {
    for (const Call& c : m_calls) {
        const bool ringing = c.state == CallState::Dialing || c.state == CallState::Alerting;
        if (ringing && (callId == 0 || c.id == callId)) {
            RemoveCall(c.id);
            EmitUnsolicited("\r\nBUSY\r\n");
            return true;
        }
    }
    return false;
}

void ModemCore::EndDataCall(bool noCarrier) {
    m_dataCall = false;
    m_mode = LineMode::Command;
    if (noCarrier) {
        EmitUnsolicited("\r\nNO CARRIER\r\n");
    }
}

void ModemCore::LineReleased() {
    if (m_dataCall) {
        EndDataCall(false);
    }
}

bool ModemCore::RemoteHangup(int callId) {
    if (callId == 0 && m_dataCall) {
        EndDataCall(true);
        return true;
    }
    bool ended = false;
    bool connected = false;
    std::vector<Call> gone;
    for (const Call& c : m_calls) {
        if (callId == 0 || c.id == callId) {
            gone.push_back(c);
        }
    }
    for (const Call& c : gone) {
        ended = true;
        if (c.state == CallState::Incoming || c.state == CallState::Waiting) {
            // The caller gave up before the call was taken: the ringing simply stops.
            LogCall("MC", c.number);
        } else {
            connected = true;
        }
        RemoveCall(c.id);
    }
    if (connected) {
        EmitUnsolicited("\r\nNO CARRIER\r\n");
    }
    return ended;
}

}  // namespace qvl::sim

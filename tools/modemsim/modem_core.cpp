#include "tools/modemsim/modem_core.h"

#include <algorithm>
#include <ctime>

namespace qvl::sim {

namespace {

constexpr std::size_t kMaxLine = 1024;
constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;

// GSM 07.07 verbose texts of the error numbers (AT+CMEE=2).
const char* CmeText(int code) {
    switch (code) {
        case 0:
            return "phone failure";
        case 1:
            return "no connection to phone";
        case 2:
            return "phone-adaptor link reserved";
        case 3:
            return "operation not allowed";
        case 4:
            return "operation not supported";
        case 5:
            return "PH-SIM PIN required";
        case 10:
            return "SIM not inserted";
        case 11:
            return "SIM PIN required";
        case 12:
            return "SIM PUK required";
        case 13:
            return "SIM failure";
        case 14:
            return "SIM busy";
        case 15:
            return "SIM wrong";
        case 16:
            return "incorrect password";
        case 17:
            return "SIM PIN2 required";
        case 18:
            return "SIM PUK2 required";
        case 20:
            return "memory full";
        case 21:
            return "invalid index";
        case 22:
            return "not found";
        case 23:
            return "memory failure";
        case 24:
            return "text string too long";
        case 25:
            return "invalid characters in text string";
        case 26:
            return "dial string too long";
        case 27:
            return "invalid characters in dial string";
        case 30:
            return "no network service";
        case 31:
            return "network timeout";
        case 32:
            return "network not allowed - emergency calls only";
        case 40:
            return "network personalisation PIN required";
        case 41:
            return "network personalisation PUK required";
        case 111:
            return "PLMN not allowed";
        case 112:
            return "location area not allowed";
        case 113:
            return "roaming not allowed in this location area";
        default:
            return "unknown";
    }
}

}  // namespace

int NumberType(const std::string& number) {
    return !number.empty() && number[0] == '+' ? 145 : 129;
}

std::string NumberForType(const std::string& number, int type) {
    if (type == 145 && !number.empty() && number[0] != '+') {
        return "+" + number;
    }
    return number;
}

int SmsMemory::FirstFree() const {
    for (int i = 1; i <= static_cast<int>(capacity); ++i) {
        if (!slots.contains(i)) {
            return i;
        }
    }
    return -1;
}

void ModemCore::Reply::Line(std::string_view text) {
    if (m_body.empty()) {
        m_body += "\r\n";
    }
    m_body.append(text);
    m_body += "\r\n";
}

void ModemCore::Reply::SeparateLine(std::string_view text) {
    m_body += "\r\n";
    m_body.append(text);
    m_body += "\r\n";
}

ModemCore::ModemCore(ModemSeed seed, CoreSink& sink) : m_sink(sink), m_state(std::move(seed)) {
    if (m_state.operators.empty()) {
        m_state.operators = DefaultSeed().operators;
    }
    m_currentOperator = 0;
    m_waitingClasses = 1;
    // The clock starts at the local time of the machine, in its zone.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    m_clockOffset = local.tm_gmtoff;
    m_clockQuarters = static_cast<int>(local.tm_gmtoff / 900);
    ResetSettings();
    // What the registration is at start raises nothing.
    m_sentCreg = RegistrationStatus();
    m_sentCgreg = GprsStatus();
    m_sentCregCell = Registered() ? Location() : "";
    m_sentCgregCell = m_sentCgreg == 1 || m_sentCgreg == 5 ? Location() : "";
}

void ModemCore::ResetSettings() {
    m_echo = m_state.behaviour.echo;
    m_cmee = m_state.behaviour.cmeeDefault;
    m_clip = false;
    m_crc = false;
    m_cssnI = m_cssnU = 0;
    m_ccwaPresentation = 0;
    m_cregMode = 0;
    m_cgregMode = 0;
    m_copsFormat = 0;
    m_cscs = CharsetByName(m_state.behaviour.charset).value_or(Charset::Gsm);
    std::fill(std::begin(m_cnmi), std::end(m_cnmi), 0);
    m_cmgf = 0;
    m_muted = false;
}

std::string ModemCore::FormatFinal(const Final& f) const {
    switch (f.kind) {
        case Final::Kind::Ok:
            return "\r\nOK\r\n";
        case Final::Kind::Error:
            return "\r\nERROR\r\n";
        case Final::Kind::Cme:
            if (m_cmee == 0) {
                return "\r\nERROR\r\n";
            }
            if (m_cmee == 2) {
                return std::string("\r\n+CME ERROR: ") + CmeText(f.code) + "\r\n";
            }
            return "\r\n+CME ERROR: " + std::to_string(f.code) + "\r\n";
        case Final::Kind::Cms:
            // GSM 07.05 reports message errors with +CMS ERROR whatever AT+CMEE says.
            return "\r\n+CMS ERROR: " + std::to_string(f.code) + "\r\n";
        case Final::Kind::Text:
            return "\r\n" + f.text + "\r\n";
        case Final::Kind::None:
            return {};
    }
    return {};
}

void ModemCore::EmitUnsolicited(const std::string& text) {
    if (m_silent) {
        return;
    }
    // A handset holds result codes back while the program types a message, a data call
    // owns the line or a command is in progress (one raised by the command itself, such as
    // NO CARRIER of a call that AT+CFUN=4 ends, included), and sends them once the command
    // state returns.
    if (m_mode != LineMode::Command || m_busy || m_running) {
        m_heldUnsolicited.push_back(text);
        return;
    }
    m_sink.Emit(text, OutputKind::Unsolicited);
}

void ModemCore::FlushHeldUnsolicited() {
    auto held = std::move(m_heldUnsolicited);
    m_heldUnsolicited.clear();
    for (auto& text : held) {
        EmitUnsolicited(text);
    }
}

void ModemCore::OnInput(std::string_view bytes) {
    for (const char c : bytes) {
        if (m_busy) {
            // Typed while a command runs: read (and echoed) once it has answered.
            if (m_heldInput.size() < 2 * kMaxLine) {
                m_heldInput += c;
            }
            continue;
        }
        switch (m_mode) {
            case LineMode::Command:
                OnCommandByte(c);
                break;
            case LineMode::SmsPrompt:
                OnPromptByte(c);
                break;
            case LineMode::Data:
                OnDataByte(c);
                break;
        }
    }
}

void ModemCore::OnCommandByte(char c) {
    if (m_echo && !m_silent) {
        m_sink.Emit(std::string(1, c), OutputKind::Echo);
    }
    if (c == '\r') {
        std::string line = std::move(m_line);
        const bool overflow = m_lineOverflow;
        m_line.clear();
        m_lineOverflow = false;
        if (overflow) {
            m_log.push_back(line);
            if (!m_silent) {
                m_sink.Emit(FormatFinal(Final::Err()), OutputKind::Answer);
            }
            return;
        }
        RunLine(line);
        return;
    }
    if (c == '\n' && m_line.empty()) {
        return;
    }
    if (c == kBackspace) {
        if (!m_line.empty()) {
            m_line.pop_back();
        }
        return;
    }
    if (m_line.size() >= kMaxLine) {
        m_lineOverflow = true;
        return;
    }
    m_line += c;
}

void ModemCore::OnPromptByte(char c) {
    if (c == kCtrlZ) {
        FinishPrompt(false);
        return;
    }
    if (c == kEsc) {
        FinishPrompt(true);
        return;
    }
    if (m_echo && !m_silent) {
        m_sink.Emit(std::string(1, c), OutputKind::Echo);
    }
    if (c == '\r' || c == '\n') {
        return;
    }
    if (m_promptPdu.size() < 2 * kMaxLine) {
        m_promptPdu += c;
    } else {
        m_lineOverflow = true;
    }
}

void ModemCore::OnDataByte(char c) {
    // The simulator is no PPP peer: data bytes are counted and dropped. "+++" framed by the
    // guard time returns to command state (Hayes escape).
    ++m_dataBytes;
    const std::int64_t now = m_sink.NowMs();
    const std::int64_t gap = now - m_lastDataMs;
    m_lastDataMs = now;
    ++m_escapeSerial;
    if (c != '+') {
        m_plusCount = 0;
        return;
    }
    if (m_plusCount == 0 && gap < m_state.behaviour.escapeGuardMs) {
        return;
    }
    if (++m_plusCount != 3) {
        return;
    }
    const std::uint64_t serial = m_escapeSerial;
    m_sink.Schedule(m_state.behaviour.escapeGuardMs, [this, serial] {
        if (m_mode == LineMode::Data && m_escapeSerial == serial && m_plusCount == 3) {
            m_plusCount = 0;
            m_mode = LineMode::Command;
            m_sink.Emit(FormatFinal(Final::Ok()), OutputKind::Answer);
            FlushHeldUnsolicited();
        }
    });
}

void ModemCore::RunLine(const std::string& rawLine) {
    m_log.push_back(rawLine);
    if (m_silent) {
        return;
    }
    // Leading blanks and stray line feeds before "AT" are ignored, as is a line without "AT".
    std::size_t start = 0;
    while (start < rawLine.size() &&
           (rawLine[start] == ' ' || rawLine[start] == '\n' || rawLine[start] == '\0')) {
        ++start;
    }
    const std::string line = rawLine.substr(start);
    if (line.size() < 2 || UpperAscii(line.substr(0, 2)) != "AT") {
        return;
    }
    for (auto it = m_canned.begin(); it != m_canned.end(); ++it) {
        if (UpperAscii(line).rfind(UpperAscii(it->prefix), 0) == 0) {
            m_sink.Emit(it->answer, OutputKind::Answer);
            if (--it->count <= 0) {
                m_canned.erase(it);
            }
            return;
        }
    }
    if (m_faultCount > 0) {
        --m_faultCount;
        switch (m_fault) {
            case FaultKind::None:
                break;
            case FaultKind::Error:
                m_sink.Emit(FormatFinal(Final::Err()), OutputKind::Answer);
                return;
            case FaultKind::CmeError:
                m_sink.Emit("\r\n+CME ERROR: " + std::to_string(m_faultCode) + "\r\n",
                            OutputKind::Answer);
                return;
            case FaultKind::CmsError:
                m_sink.Emit("\r\n+CMS ERROR: " + std::to_string(m_faultCode) + "\r\n",
                            OutputKind::Answer);
                return;
            case FaultKind::NoAnswer:
                return;
        }
    }

    Reply reply;
    Final final = Final::Ok();
    std::string_view rest(line);
    rest.remove_prefix(2);
    m_running = true;
    while (!rest.empty()) {
        const char c = rest.front();
        if (c == ' ' || c == ';') {
            rest.remove_prefix(1);
            continue;
        }
        if (c == '+' || c == '*' || c == '^' || c == '$' || c == '%') {
            // Extended command: name up to '=', '?', ';' or the end; parameters up to an
            // unquoted ';'.
            std::size_t i = 1;
            while (i < rest.size() && rest[i] != '=' && rest[i] != '?' && rest[i] != ';') {
                ++i;
            }
            const std::string name = UpperAscii(rest.substr(0, i));
            Form form = Form::Exec;
            std::string params;
            if (i < rest.size() && rest[i] == '?') {
                form = Form::Read;
                ++i;
            } else if (i < rest.size() && rest[i] == '=') {
                ++i;
                if (i < rest.size() && rest[i] == '?') {
                    form = Form::Test;
                    ++i;
                } else {
                    form = Form::Set;
                    bool quote = false;
                    while (i < rest.size() && (quote || rest[i] != ';')) {
                        if (rest[i] == '"') {
                            quote = !quote;
                        }
                        params += rest[i];
                        ++i;
                    }
                }
            }
            rest.remove_prefix(i);
            const AtArgs args(params);
            if (args.Malformed()) {
                final = Final::Err();
            } else {
                final = RunExtended(name, form, args, reply);
            }
        } else {
            final = RunBasic(rest, reply);
        }
        if (final.kind != Final::Kind::Ok) {
            break;
        }
    }
    if (final.kind == Final::Kind::Error || final.kind == Final::Kind::Cme ||
        final.kind == Final::Kind::Cms) {
        // An error ends the line; information of the commands before it is not sent.
        reply.Clear();
    }
    std::string out = reply.Body() + FormatFinal(final);
    if (!out.empty()) {
        m_sink.Emit(std::move(out), OutputKind::Answer);
    }
    m_running = false;
    NotifyRegistration();
    if (m_mode == LineMode::Command) {
        FlushHeldUnsolicited();
    }
}

ModemCore::Final ModemCore::Defer(int ms, std::function<Final(Reply&)> finish) {
    m_busy = true;
    const std::uint64_t serial = ++m_deferSerial;
    m_sink.Schedule(ms, [this, serial, finish = std::move(finish)] {
        if (!m_busy || serial != m_deferSerial) {
            return;
        }
        Reply reply;
        const Final final = finish(reply);
        if (final.kind == Final::Kind::Error || final.kind == Final::Kind::Cme ||
            final.kind == Final::Kind::Cms) {
            reply.Clear();
        }
        m_busy = false;
        if (!m_silent) {
            m_sink.Emit(reply.Body() + FormatFinal(final), OutputKind::Answer);
        }
        NotifyRegistration();
        FlushHeldUnsolicited();
        const std::string held = std::move(m_heldInput);
        m_heldInput.clear();
        OnInput(held);
    });
    return Final::None();
}

void ModemCore::CancelPending() {
    m_busy = false;
    ++m_deferSerial;
    m_heldInput.clear();
}

std::string ModemCore::OutNumber(const std::string& number) const {
    return m_cscs == Charset::Ucs2 && m_state.behaviour.ucs2Numbers ? OutText(number) : number;
}

std::optional<std::string> ModemCore::InNumber(const std::string& line) const {
    return m_cscs == Charset::Ucs2 && m_state.behaviour.ucs2Numbers ? InText(line)
                                                                    : std::optional(line);
}

ModemCore::Final ModemCore::RunBasic(std::string_view& rest, Reply& reply) {
    const char c = static_cast<char>(rest.front() >= 'a' && rest.front() <= 'z' ? rest.front() - 32
                                                                                : rest.front());
    rest.remove_prefix(1);
    auto number = [&rest]() {
        int v = 0;
        bool any = false;
        while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9' && v < 1000) {
            v = v * 10 + (rest.front() - '0');
            rest.remove_prefix(1);
            any = true;
        }
        return any ? v : 0;
    };
    switch (c) {
        case 'D': {
            const std::string_view dial = rest;
            rest = {};
            return CmdDial(dial);
        }
        case 'E': {
            const int v = number();
            if (v > 1) {
                return Final::Err();
            }
            m_echo = v == 1;
            return Final::Ok();
        }
        case 'Z':
            number();
            ResetSettings();
            return Final::Ok();
        case 'I': {
            number();
            reply.Line(m_state.identity.manufacturer);
            reply.Line(m_state.identity.model);
            reply.Line("Revision: " + m_state.identity.revision);
            return Final::Ok();
        }
        case 'A':
            return CmdAnswer();
        case 'H':
            number();
            return CmdHangup();
        case 'O':
            number();
            if (!m_dataCall) {
                return Final::Text("NO CARRIER");
            }
            m_mode = LineMode::Data;
            return Final::Text("CONNECT");
        case 'V': {
            // Only verbose result codes are modelled.
            return number() == 1 ? Final::Ok() : Final::Err();
        }
        case 'Q':
        case 'X':
        case 'L':
        case 'M':
            number();
            return Final::Ok();
        case 'S': {
            const int reg = number();
            if (!rest.empty() && rest.front() == '?') {
                rest.remove_prefix(1);
                char buf[8];
                std::snprintf(buf, sizeof buf, "%03d", reg == 3 ? 13 : reg == 4 ? 10 : 0);
                reply.Line(buf);
                return Final::Ok();
            }
            if (!rest.empty() && rest.front() == '=') {
                rest.remove_prefix(1);
                number();
                return Final::Ok();
            }
            return Final::Err();
        }
        case '&': {
            if (rest.empty()) {
                return Final::Err();
            }
            const char sub = static_cast<char>(rest.front() & ~0x20);
            rest.remove_prefix(1);
            number();
            if (sub == 'F') {
                ResetSettings();
            }
            return sub == 'F' || sub == 'C' || sub == 'D' || sub == 'K' || sub == 'W' || sub == 'V'
                       ? Final::Ok()
                       : Final::Err();
        }
        default:
            return Final::Err();
    }
}

ModemCore::Final ModemCore::RunExtended(const std::string& name, Form form, const AtArgs& args,
                                        Reply& reply) {
    if (name == "+CPIN")
        return CmdCpin(form, args, reply);
    if (name == "+CPINC")
        return CmdCpinc(form, reply);
    if (name == "+CPINR")
        return CmdCpinr(form, reply);
    if (name == "+CLCK")
        return CmdClck(form, args, reply);
    if (name == "+CPWD")
        return CmdCpwd(form, args, reply);
    if (name == "+COPS")
        return CmdCops(form, args, reply);
    if (name == "+CREG")
        return RegistrationCommand("+CREG", m_cregMode, RegistrationStatus(), form, args, reply);
    if (name == "+CCFC")
        return CmdCcfc(form, args, reply);
    if (name == "+CCWA")
        return CmdCcwa(form, args, reply);
    if (name == "+CGDCONT")
        return CmdCgdcont(form, args, reply);
    if (name == "+CPMS")
        return CmdCpms(form, args, reply);
    if (name == "+CMGR")
        return CmdCmgr(form, args, reply);
    if (name == "+CMGL")
        return CmdCmgl(form, args, reply);
    if (name == "+CMGD")
        return CmdCmgd(form, args);
    if (name == "+CMGS")
        return CmdCmgsw(false, form, args);
    if (name == "+CMGW")
        return CmdCmgsw(true, form, args);
    if (name == "+CNMI")
        return CmdCnmi(form, args, reply);
    if (name == "+CSCA")
        return CmdCsca(form, args, reply);
    if (name == "+CHLD")
        return CmdChld(form, args, reply);
    if (name == "+CLCC")
        return CmdClcc(form, reply);
    if (name == "+VTS")
        return CmdVts(form, args);
    if (name == "+CHUP")
        return form == Form::Exec ? CmdHangup() : form == Form::Test ? Final::Ok() : Final::Err();
    if (name == "+CGREG")
        return RegistrationCommand("+CGREG", m_cgregMode, GprsStatus(), form, args, reply);
    if (name == "+CFUN")
        return CmdCfun(form, args, reply);
    if (name == "+CCLK")
        return CmdCclk(form, args, reply);
    if (name == "+CSCS")
        return CmdCscs(form, args, reply);
    if (name == "+CPBS")
        return CmdCpbs(form, args, reply);
    if (name == "+CPBR")
        return CmdCpbr(form, args, reply);
    if (name == "+CPBW")
        return CmdCpbw(form, args);
    bool handled = false;
    Final f = CmdSimple(name, form, args, reply, &handled);
    return handled ? f : Final::Err();
}

std::optional<StoredSms> ModemCore::Message(const std::string& storage, int index) const {
    const SmsMemory* mem = Memory(storage);
    if (mem == nullptr) {
        return std::nullopt;
    }
    const auto it = mem->slots.find(index);
    if (it == mem->slots.end()) {
        return std::nullopt;
    }
    return it->second;
}

void ModemCore::SetFault(FaultKind kind, int count, int code) {
    m_fault = kind;
    m_faultCount = kind == FaultKind::None ? 0 : count;
    m_faultCode = code;
}

void ModemCore::SetCannedAnswer(const std::string& commandPrefix, const std::string& rawAnswer,
                                int count) {
    m_canned.push_back({commandPrefix, rawAnswer, count});
}

void ModemCore::SetSimPresent(bool present) {
    m_state.sim.present = present;
    if (!present) {
        m_pinVerified = false;
        m_phoneCodeVerified = false;
    }
    NotifyRegistration();
}

}  // namespace qvl::sim

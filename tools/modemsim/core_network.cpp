// Network and status commands (GSM 07.07 AT+COPS, AT+CREG, AT+CSQ, AT+CBC, AT+CGATT, ...),
// supplementary services (AT+CCFC forwarding, AT+CCWA waiting), PDP contexts and the
// one-line settings and identity queries.
#include "tools/modemsim/modem_core.h"

namespace qvl::sim {

namespace {

constexpr int kMaxContexts = 10;

bool ValidDialNumber(const std::string& number) {
    if (number.empty() || number.size() > 20) {
        return false;
    }
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        const bool ok = (c >= '0' && c <= '9') || c == '*' || c == '#' || (c == '+' && i == 0);
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

}  // namespace

std::string ModemCore::OperatorText(const Operator& op, int format) const {
    switch (format) {
        case 1:
            return op.shortName;
        case 2:
            return op.numeric;
        default:
            return op.longName;
    }
}

int ModemCore::RegistrationStatus() const {
    if (!SimReady() || !m_state.registered || m_currentOperator < 0) {
        return 0;
    }
    return m_state.roaming || m_currentOperator != 0 ? 5 : 1;
}

void ModemCore::NotifyRegistration() {
    if (m_cregMode >= 1) {
        EmitUnsolicited("\r\n+CREG: " + std::to_string(RegistrationStatus()) + "\r\n");
    }
}

void ModemCore::SetRegistered(bool registered) {
    m_state.registered = registered;
    if (registered && m_currentOperator < 0) {
        m_currentOperator = 0;
    }
    NotifyRegistration();
}

void ModemCore::SetRoaming(bool roaming) {
    m_state.roaming = roaming;
    NotifyRegistration();
}

void ModemCore::SetBattery(int percent, bool charging) {
    m_state.battery = percent;
    m_state.charging = charging;
}

ModemCore::Final ModemCore::CmdCops(Form form, const AtArgs& args, Reply& reply) {
    const auto& ops = m_state.operators;
    if (form == Form::Read) {
        if (RegistrationStatus() == 0) {
            reply.Line("+COPS: " + std::to_string(m_copsMode));
        } else {
            reply.Line("+COPS: " + std::to_string(m_copsMode) + "," + std::to_string(m_copsFormat) +
                       "," +
                       Quote(OperatorText(ops[static_cast<std::size_t>(m_currentOperator)],
                                          m_copsFormat)));
        }
        return Final::Ok();
    }
    if (form == Form::Test) {
        if (!SimReady()) {
            return SimError(false);
        }
        std::string line = "+COPS: ";
        for (std::size_t i = 0; i < ops.size(); ++i) {
            const int stat = static_cast<int>(i) == m_currentOperator && RegistrationStatus() != 0
                                 ? 2
                             : ops[i].forbidden ? 3
                                                : 1;
            line += "(" + std::to_string(stat) + "," + Quote(ops[i].longName) + "," +
                    Quote(ops[i].shortName) + "," + Quote(ops[i].numeric) + "),";
        }
        line += ",(0,1,2,3,4),(0,1,2)";
        if (m_state.behaviour.networkScanMs <= 0) {
            reply.Line(line);
            return Final::Ok();
        }
        // A network search takes a while; the answer comes when it is over.
        const std::string answer = "\r\n" + line + "\r\n\r\nOK\r\n";
        m_sink.Schedule(m_state.behaviour.networkScanMs,
                        [this, answer] { m_sink.Emit(answer, OutputKind::Answer); });
        return Final::None();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const auto mode = args.Int(0, 0, 4);
    if (!mode) {
        return Final::Err();
    }
    // The format given in any set form also becomes the format of the read form.
    if (args.Present(1)) {
        const auto format = args.Int(1, 0, 2);
        if (!format) {
            return Final::Err();
        }
        m_copsFormat = *format;
    }
    switch (*mode) {
        case 0:
            if (!SimReady()) {
                return SimError(false);
            }
            m_copsMode = 0;
            m_currentOperator = 0;
            m_state.registered = true;
            NotifyRegistration();
            return Final::Ok();
        case 1:
        case 4: {
            if (!SimReady()) {
                return SimError(false);
            }
            if (!args.Present(2)) {
                return Final::Err();
            }
            const int format = m_copsFormat;
            const std::string wanted = args.Text(2);
            for (std::size_t i = 0; i < ops.size(); ++i) {
                if (OperatorText(ops[i], format) == wanted) {
                    if (ops[i].forbidden) {
                        if (*mode == 4) {
                            break;
                        }
                        return Final::Cme(32);
                    }
                    m_copsMode = 1;
                    m_currentOperator = static_cast<int>(i);
                    m_state.registered = true;
                    NotifyRegistration();
                    return Final::Ok();
                }
            }
            if (*mode == 4) {
                m_copsMode = 0;
                m_currentOperator = 0;
                m_state.registered = true;
                NotifyRegistration();
                return Final::Ok();
            }
            return Final::Cme(30);
        }
        case 2:
            m_copsMode = 2;
            m_currentOperator = -1;
            NotifyRegistration();
            return Final::Ok();
        case 3:
            if (!args.Present(1)) {
                return Final::Err();
            }
            return Final::Ok();
        default:
            return Final::Err();
    }
}

ModemCore::Final ModemCore::CmdCreg(Form form, const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read: {
            std::string line =
                "+CREG: " + std::to_string(m_cregMode) + "," + std::to_string(RegistrationStatus());
            if (m_cregMode == 2 && RegistrationStatus() != 0) {
                line += ",\"1A2B\",\"00C3D4\"";
            }
            reply.Line(line);
            return Final::Ok();
        }
        case Form::Test:
            reply.Line("+CREG: (0-2)");
            return Final::Ok();
        case Form::Set: {
            const auto n = args.Int(0, 0, 2);
            if (!n) {
                return Final::Err();
            }
            m_cregMode = *n;
            return Final::Ok();
        }
        case Form::Exec:
            return Final::Err();
    }
    return Final::Err();
}

ModemCore::Final ModemCore::CmdCcfc(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        reply.Line("+CCFC: (0-5)");
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const auto reason = args.Int(0, 0, 5);
    const auto mode = args.Int(1, 0, 4);
    if (!reason || !mode) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(false);
    }
    if (RegistrationStatus() == 0) {
        return Final::Cme(30);
    }
    const int classes = args.Present(4) ? args.Int(4, 1, 255).value_or(-1) : 7;
    if (classes < 0) {
        return Final::Err();
    }
    if (*mode == 2) {
        if (*reason > 3) {
            return Final::Cme(3);
        }
        bool any = false;
        for (int c = 1; c <= 128; c <<= 1) {
            if ((classes & c) == 0) {
                continue;
            }
            const auto& rules = m_forwarding[*reason];
            const auto it = rules.find(c);
            if (it == rules.end() || !it->second.active) {
                continue;
            }
            std::string line = "+CCFC: 1," + std::to_string(c) + "," + Quote(it->second.number) +
                               "," + std::to_string(it->second.type);
            if (*reason == 2) {
                line += ",,," + std::to_string(it->second.time);
            }
            reply.Line(line);
            any = true;
        }
        if (!any) {
            reply.Line("+CCFC: 0," + std::to_string(classes));
        }
        return Final::Ok();
    }
    std::vector<int> reasons;
    if (*reason == 4) {
        reasons = {0, 1, 2, 3};
    } else if (*reason == 5) {
        reasons = {1, 2, 3};
    } else {
        reasons = {*reason};
    }
    if (*mode == 3) {
        const std::string number = args.Text(2);
        if (!ValidDialNumber(number)) {
            return Final::Cme(3);
        }
        const int type = args.Present(3) ? args.Int(3, 128, 255).value_or(-1) : NumberType(number);
        const int time = args.Present(7) ? args.Int(7, 5, 30).value_or(-1) : 20;
        if (type < 0 || time < 0) {
            return Final::Err();
        }
        for (const int r : reasons) {
            for (int c = 1; c <= 128; c <<= 1) {
                if ((classes & c) != 0) {
                    m_forwarding[r][c] = ForwardRule{true, number, type, time};
                }
            }
        }
        return Final::Ok();
    }
    if (*mode == 1) {
        // Enabling needs a number registered for every class asked for.
        for (const int r : reasons) {
            for (int c = 1; c <= 4; c <<= 1) {
                if ((classes & c) != 0 && m_forwarding[r][c].number.empty()) {
                    return Final::Cme(3);
                }
            }
        }
    }
    for (const int r : reasons) {
        for (int c = 1; c <= 128; c <<= 1) {
            if ((classes & c) == 0) {
                continue;
            }
            auto& rule = m_forwarding[r][c];
            rule.active = *mode == 1;
            if (*mode == 4) {
                rule.number.clear();
            }
        }
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCcwa(Form form, const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read:
            reply.Line("+CCWA: " + std::to_string(m_ccwaPresentation));
            return Final::Ok();
        case Form::Test:
            reply.Line("+CCWA: (0,1)");
            return Final::Ok();
        case Form::Exec:
            return Final::Ok();
        case Form::Set:
            break;
    }
    if (args.Present(0)) {
        const auto n = args.Int(0, 0, 1);
        if (!n) {
            return Final::Err();
        }
        m_ccwaPresentation = *n;
    }
    if (!args.Present(1)) {
        return Final::Ok();
    }
    const auto mode = args.Int(1, 0, 2);
    const int classes = args.Present(2) ? args.Int(2, 1, 255).value_or(-1) : 7;
    if (!mode || classes < 0) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(false);
    }
    if (RegistrationStatus() == 0) {
        return Final::Cme(30);
    }
    if (*mode == 2) {
        bool any = false;
        for (int c = 1; c <= 128; c <<= 1) {
            if ((classes & c) != 0 && (m_waitingClasses & c) != 0) {
                reply.Line("+CCWA: 1," + std::to_string(c));
                any = true;
            }
        }
        if (!any) {
            reply.Line("+CCWA: 0," + std::to_string(classes));
        }
        return Final::Ok();
    }
    if (*mode == 1) {
        m_waitingClasses |= classes;
    } else {
        m_waitingClasses &= ~classes;
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCgdcont(Form form, const AtArgs& args, Reply& reply) {
    auto& contexts = m_state.contexts;
    switch (form) {
        case Form::Read:
            for (const auto& [cid, ctx] : contexts) {
                reply.Line("+CGDCONT: " + std::to_string(cid) + "," + Quote(ctx.type) + "," +
                           Quote(ctx.apn) + ",\"0.0.0.0\",0,0");
            }
            return Final::Ok();
        case Form::Test:
            reply.Line("+CGDCONT: (1-" + std::to_string(kMaxContexts) + "),\"IP\",,,(0-2),(0-4)");
            return Final::Ok();
        case Form::Exec:
            return Final::Ok();
        case Form::Set:
            break;
    }
    const auto cid = args.Int(0, 1, kMaxContexts);
    if (!cid) {
        return Final::Err();
    }
    if (!args.Present(1)) {
        contexts.erase(*cid);
        return Final::Ok();
    }
    const std::string type = UpperAscii(args.Text(1));
    if (type != "IP" && type != "PPP" && type != "IPV6" && type != "IPV4V6") {
        return Final::Err();
    }
    contexts[*cid] = PdpContext{type, args.Text(2)};
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdSimple(const std::string& name, Form form, const AtArgs& args,
                                      Reply& reply, bool* handled) {
    *handled = true;
    const Identity& id = m_state.identity;
    // A setting with a read form "+NAME: v", a test form and a range.
    auto setting = [&](int& value, int lo, int hi, const std::string& range) -> Final {
        switch (form) {
            case Form::Read:
                reply.Line(name + ": " + std::to_string(value));
                return Final::Ok();
            case Form::Test:
                reply.Line(name + ": " + range);
                return Final::Ok();
            case Form::Set: {
                const auto v = args.Int(0, lo, hi);
                if (!v) {
                    return Final::Err();
                }
                value = *v;
                return Final::Ok();
            }
            case Form::Exec:
                return Final::Err();
        }
        return Final::Err();
    };
    auto identity = [&](const std::string& text) -> Final {
        if (form == Form::Test) {
            return Final::Ok();
        }
        if (form != Form::Exec) {
            return Final::Err();
        }
        reply.Line(text);
        return Final::Ok();
    };

    if (name == "+CMEE")
        return setting(m_cmee, 0, 2, "(0-2)");
    if (name == "+CGMI" || name == "+GMI")
        return identity(id.manufacturer);
    if (name == "+CGMM" || name == "+GMM")
        return identity(id.model);
    if (name == "+CGMR" || name == "+GMR")
        return identity(id.revision);
    if (name == "+CGSN" || name == "+GSN")
        return identity(id.imei);
    if (name == "+CIMI") {
        if (form == Form::Exec && !SimReady()) {
            return SimError(false);
        }
        return identity(id.imsi);
    }
    if (name == "+CSQ") {
        if (form == Form::Test) {
            reply.Line("+CSQ: (0-31,99),(0-7,99)");
            return Final::Ok();
        }
        if (form != Form::Exec) {
            return Final::Err();
        }
        const int rssi = RegistrationStatus() == 0 && !m_state.registered ? 99 : m_state.signal;
        reply.Line("+CSQ: " + std::to_string(rssi) + ",99");
        return Final::Ok();
    }
    if (name == "+CBC") {
        if (form == Form::Test) {
            reply.Line("+CBC: (0-3),(0-100)");
            return Final::Ok();
        }
        if (form != Form::Exec) {
            return Final::Err();
        }
        reply.Line("+CBC: " + std::string(m_state.charging ? "1" : "0") + "," +
                   std::to_string(m_state.battery));
        return Final::Ok();
    }
    if (name == "+CGATT") {
        int attached = m_state.gprsAttached ? 1 : 0;
        const Final f = setting(attached, 0, 1, "(0,1)");
        m_state.gprsAttached = attached == 1;
        return f;
    }
    if (name == "+CGREG") {
        if (form == Form::Read) {
            const int stat = m_state.gprsAttached ? RegistrationStatus() : 0;
            reply.Line("+CGREG: 0," + std::to_string(stat));
            return Final::Ok();
        }
        int n = 0;
        return setting(n, 0, 2, "(0-2)");
    }
    if (name == "+CLVL")
        return setting(m_state.volume, 0, 255, "(0-255)");
    if (name == "+CMUT") {
        int muted = m_muted ? 1 : 0;
        const Final f = setting(muted, 0, 1, "(0,1)");
        m_muted = muted == 1;
        return f;
    }
    if (name == "+CLIP") {
        if (form == Form::Read) {
            reply.Line(std::string("+CLIP: ") + (m_clip ? "1" : "0") + ",1");
            return Final::Ok();
        }
        int clip = m_clip ? 1 : 0;
        const Final f = setting(clip, 0, 1, "(0,1)");
        m_clip = clip == 1;
        return f;
    }
    if (name == "+CLIR") {
        if (form == Form::Read) {
            reply.Line("+CLIR: 0,2");
            return Final::Ok();
        }
        int n = 0;
        return setting(n, 0, 2, "(0-2)");
    }
    if (name == "+CRC") {
        int crc = m_crc ? 1 : 0;
        const Final f = setting(crc, 0, 1, "(0,1)");
        m_crc = crc == 1;
        return f;
    }
    if (name == "+CSSN") {
        switch (form) {
            case Form::Read:
                reply.Line("+CSSN: " + std::to_string(m_cssnI) + "," + std::to_string(m_cssnU));
                return Final::Ok();
            case Form::Test:
                reply.Line("+CSSN: (0,1),(0,1)");
                return Final::Ok();
            case Form::Set: {
                const auto n = args.Int(0, 0, 1);
                const auto m = args.Present(1) ? args.Int(1, 0, 1) : std::optional<int>(m_cssnU);
                if (!n || !m) {
                    return Final::Err();
                }
                m_cssnI = *n;
                m_cssnU = *m;
                return Final::Ok();
            }
            case Form::Exec:
                return Final::Err();
        }
    }
    if (name == "+CMGF") {
        // Only PDU mode is modelled.
        return setting(m_cmgf, 0, 0, "(0)");
    }
    if (name == "+CGSMS")
        return setting(m_cgsms, 0, 3, "(0-3)");
    if (name == "+CSMS") {
        switch (form) {
            case Form::Read:
                reply.Line("+CSMS: 0,1,1,1");
                return Final::Ok();
            case Form::Test:
                reply.Line("+CSMS: (0,1)");
                return Final::Ok();
            case Form::Set:
                if (!args.Int(0, 0, 1)) {
                    return Final::Err();
                }
                reply.Line("+CSMS: 1,1,1");
                return Final::Ok();
            case Form::Exec:
                return Final::Err();
        }
    }
    if (name == "+CSAS" || name == "+CRES") {
        return form == Form::Exec || form == Form::Set ? Final::Ok() : Final::Err();
    }
    if (name == "+CNUM") {
        if (form != Form::Exec) {
            return form == Form::Test ? Final::Ok() : Final::Err();
        }
        if (!SimReady()) {
            return SimError(false);
        }
        if (!id.ownNumber.empty()) {
            reply.Line("+CNUM: \"Own number\"," + Quote(id.ownNumber) + "," +
                       std::to_string(NumberType(id.ownNumber)));
        }
        return Final::Ok();
    }
    if (name == "+CSVM") {
        switch (form) {
            case Form::Read:
                if (m_state.identity.voiceMail.empty()) {
                    reply.Line("+CSVM: 0,\"\",129");
                } else {
                    reply.Line("+CSVM: 1," + Quote(id.voiceMail) + "," +
                               std::to_string(NumberType(id.voiceMail)));
                }
                return Final::Ok();
            case Form::Test:
                reply.Line("+CSVM: (0,1),(129,145)");
                return Final::Ok();
            case Form::Set: {
                const auto mode = args.Int(0, 0, 1);
                if (!mode) {
                    return Final::Err();
                }
                m_state.identity.voiceMail = *mode == 1 ? args.Text(1) : std::string();
                return Final::Ok();
            }
            case Form::Exec:
                return Final::Err();
        }
    }
    if (name == "+CFUN") {
        int fun = 1;
        return setting(fun, 0, 4, "(0,1,4),(0,1)");
    }
    if (name == "+CSCS") {
        switch (form) {
            case Form::Read:
                reply.Line("+CSCS: " + Quote(m_cscs));
                return Final::Ok();
            case Form::Test:
                reply.Line("+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")");
                return Final::Ok();
            case Form::Set: {
                const std::string cs = UpperAscii(args.Text(0));
                if (cs != "GSM" && cs != "IRA" && cs != "8859-1" && cs != "UCS2") {
                    return Final::Err();
                }
                m_cscs = cs;
                return Final::Ok();
            }
            case Form::Exec:
                return Final::Err();
        }
    }
    if (name == "+GCAP")
        return identity("+GCAP: +CGSM,+FCLASS,+DS");
    if (name == "+FCLASS") {
        int fclass = 0;
        return setting(fclass, 0, 0, "(0)");
    }
    if (name == "+CPAS") {
        int pas = 0;
        for (const Call& c : m_calls) {
            pas = c.state == CallState::Incoming ? 3 : 4;
        }
        return identity("+CPAS: " + std::to_string(pas));
    }
    *handled = false;
    return Final::Err();
}

}  // namespace qvl::sim

// SIM codes (GSM 07.07 AT+CPIN, AT+CPINC?/AT+CPINR, AT+CLCK, AT+CPWD): the PIN -> PUK ->
// blocked state machine with its attempt counters, the phone code, the network code and the
// call barring facilities with their password.
#include <array>

#include "tools/modemsim/modem_core.h"

namespace qvl::sim {

namespace {

constexpr int kPinTries = 3;
constexpr int kPukTries = 10;

bool ValidCode(const std::string& code) {
    if (code.size() < 4 || code.size() > 8) {
        return false;
    }
    for (const char c : code) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool IsBarring(const std::string& fac) {
    static const std::array<const char*, 8> kBarring = {"AO", "OI", "OX", "AI",
                                                        "IR", "AB", "AG", "AC"};
    for (const char* b : kBarring) {
        if (fac == b) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool ModemCore::SimReady() const {
    const SimCodes& sim = m_state.sim;
    if (!sim.present || sim.pinAttempts == 0) {
        return false;
    }
    if (sim.pinEnabled && !m_pinVerified) {
        return false;
    }
    return !sim.phoneLockEnabled || m_phoneCodeVerified;
}

ModemCore::Final ModemCore::SimError(bool sms) const {
    const SimCodes& sim = m_state.sim;
    if (!sim.present) {
        return sms ? Final::Cms(310) : Final::Cme(10);
    }
    if (sim.pinAttempts == 0) {
        if (sim.pukAttempts == 0) {
            return sms ? Final::Cms(313) : Final::Cme(13);
        }
        return sms ? Final::Cms(316) : Final::Cme(12);
    }
    if (sim.pinEnabled && !m_pinVerified) {
        return sms ? Final::Cms(311) : Final::Cme(11);
    }
    return sms ? Final::Cms(312) : Final::Cme(5);
}

bool ModemCore::CheckPin(const std::string& code) {
    SimCodes& sim = m_state.sim;
    if (code == sim.pin) {
        sim.pinAttempts = kPinTries;
        return true;
    }
    if (sim.pinAttempts > 0) {
        --sim.pinAttempts;
    }
    if (sim.pinAttempts == 0) {
        m_pinVerified = false;
    }
    return false;
}

bool ModemCore::CheckPin2(const std::string& code) {
    SimCodes& sim = m_state.sim;
    if (code == sim.pin2) {
        sim.pin2Attempts = kPinTries;
        return true;
    }
    if (sim.pin2Attempts > 0) {
        --sim.pin2Attempts;
    }
    return false;
}

ModemCore::Final ModemCore::CmdCpin(Form form, const AtArgs& args, Reply& reply) {
    SimCodes& sim = m_state.sim;
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (!sim.present) {
        return Final::Cme(10);
    }
    if (form == Form::Read) {
        if (sim.pinAttempts == 0) {
            // With the PUK used up the SIM is dead; the answer names it.
            reply.Line(sim.pukAttempts > 0 ? "+CPIN: SIM PUK" : "+CPIN: BLOCKED");
        } else if (sim.pinEnabled && !m_pinVerified) {
            reply.Line("+CPIN: SIM PIN");
        } else if (sim.phoneLockEnabled && !m_phoneCodeVerified) {
            reply.Line("+CPIN: PH-SIM PIN");
        } else {
            reply.Line("+CPIN: READY");
        }
        return Final::Ok();
    }
    if (form != Form::Set || !args.Present(0)) {
        return Final::Err();
    }
    const std::string code = args.Text(0);
    if (sim.pinAttempts == 0) {
        if (sim.pukAttempts == 0) {
            return Final::Cme(13);
        }
        if (!args.Present(1)) {
            return Final::Cme(12);
        }
        if (code != sim.puk) {
            --sim.pukAttempts;
            return Final::Cme(16);
        }
        if (!ValidCode(args.Text(1))) {
            return Final::Cme(3);
        }
        sim.pin = args.Text(1);
        sim.pinAttempts = kPinTries;
        sim.pukAttempts = kPukTries;
        m_pinVerified = true;
        return Final::Ok();
    }
    if (sim.pinEnabled && !m_pinVerified) {
        if (!CheckPin(code)) {
            return Final::Cme(16);
        }
        m_pinVerified = true;
        return Final::Ok();
    }
    if (sim.phoneLockEnabled && !m_phoneCodeVerified) {
        if (code != sim.phoneCode) {
            return Final::Cme(16);
        }
        m_phoneCodeVerified = true;
        return Final::Ok();
    }
    return Final::Cme(3);
}

ModemCore::Final ModemCore::CmdCpinc(Form form, Reply& reply) {
    if (m_state.behaviour.pinCountersCpinr) {
        return Final::Err();
    }
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (!m_state.sim.present) {
        return Final::Cme(10);
    }
    const SimCodes& sim = m_state.sim;
    reply.Line("+CPINC: " + std::to_string(sim.pinAttempts) + "," +
               std::to_string(sim.pin2Attempts) + "," + std::to_string(sim.pukAttempts) + "," +
               std::to_string(sim.puk2Attempts));
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCpinr(Form form, Reply& reply) {
    if (!m_state.behaviour.pinCountersCpinr) {
        return Final::Err();
    }
    if (form == Form::Test || form == Form::Read) {
        return form == Form::Test ? Final::Ok() : Final::Err();
    }
    if (!m_state.sim.present) {
        return Final::Cme(10);
    }
    const SimCodes& sim = m_state.sim;
    auto row = [&reply](const char* code, int left) {
        reply.Line(std::string("+CPINR: ") + code + "," + std::to_string(left) + "," +
                   std::to_string(std::string_view(code).find("PUK") != std::string_view::npos
                                      ? kPukTries
                                      : kPinTries));
    };
    row("SIM PIN", sim.pinAttempts);
    row("SIM PUK", sim.pukAttempts);
    row("SIM PIN2", sim.pin2Attempts);
    row("SIM PUK2", sim.puk2Attempts);
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdClck(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        reply.Line(
            "+CLCK: "
            "(\"SC\",\"PS\",\"FD\",\"PN\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\","
            "\"AC\")");
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const std::string fac = UpperAscii(args.Text(0));
    const auto mode = args.Int(1, 0, 2);
    if (!mode) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(false);
    }
    SimCodes& sim = m_state.sim;
    const std::string password = args.Text(2);
    if (fac == "SC" || fac == "PS" || fac == "ME" || fac == "FD" || fac == "PN") {
        const bool phoneLock = fac == "PS" || fac == "ME";
        if (*mode == 2) {
            // Fixed dialling and network personalisation are never active here.
            const bool on = fac == "SC" ? sim.pinEnabled : phoneLock && sim.phoneLockEnabled;
            reply.Line(std::string("+CLCK: ") + (on ? "1" : "0"));
            return Final::Ok();
        }
        if (fac == "SC") {
            if (!CheckPin(password)) {
                return Final::Cme(16);
            }
            sim.pinEnabled = *mode == 1;
            m_pinVerified = true;
            return Final::Ok();
        }
        if (phoneLock) {
            if (password != sim.phoneCode) {
                return Final::Cme(16);
            }
            sim.phoneLockEnabled = *mode == 1;
            m_phoneCodeVerified = true;
            return Final::Ok();
        }
        if (fac == "FD") {
            return CheckPin2(password) ? Final::Ok() : Final::Cme(16);
        }
        return password == sim.networkCode ? Final::Ok() : Final::Cme(16);
    }
    if (!IsBarring(fac)) {
        return Final::Cme(4);
    }
    const int classes = args.Present(3) ? args.Int(3, 1, 255).value_or(-1) : 7;
    if (classes < 0) {
        return Final::Err();
    }
    if (*mode == 2) {
        const int active = m_barring[fac];
        bool any = false;
        for (int c = 1; c <= 128; c <<= 1) {
            if ((classes & c) != 0 && (active & c) != 0) {
                reply.Line("+CLCK: 1," + std::to_string(c));
                any = true;
            }
        }
        if (!any) {
            reply.Line("+CLCK: 0," + std::to_string(classes));
        }
        return Final::Ok();
    }
    if (password != sim.barringPassword) {
        return Final::Cme(16);
    }
    if (fac == "AB" || fac == "AG" || fac == "AC") {
        if (*mode == 1) {
            return Final::Cme(3);
        }
        const char* group[5] = {"AO", "OI", "OX", "AI", "IR"};
        for (int i = 0; i < 5; ++i) {
            const bool outgoing = i < 3;
            if (fac == "AB" || (fac == "AG" && outgoing) || (fac == "AC" && !outgoing)) {
                m_barring[group[i]] &= ~classes;
            }
        }
        return Final::Ok();
    }
    if (*mode == 1) {
        m_barring[fac] |= classes;
    } else {
        m_barring[fac] &= ~classes;
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCpwd(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        reply.Line("+CPWD: (\"SC\",8),(\"P2\",8),(\"PS\",8),(\"PN\",8),(\"AB\",4)");
        return Final::Ok();
    }
    if (form != Form::Set || !args.Present(1) || !args.Present(2)) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(false);
    }
    SimCodes& sim = m_state.sim;
    const std::string fac = UpperAscii(args.Text(0));
    const std::string oldCode = args.Text(1);
    const std::string newCode = args.Text(2);
    std::string* target = nullptr;
    if (fac == "SC") {
        if (!sim.pinEnabled) {
            return Final::Cme(3);
        }
        if (!CheckPin(oldCode)) {
            return Final::Cme(16);
        }
        target = &sim.pin;
    } else if (fac == "P2") {
        if (sim.pin2Attempts == 0) {
            return Final::Cme(18);
        }
        if (!CheckPin2(oldCode)) {
            return Final::Cme(16);
        }
        target = &sim.pin2;
    } else if (fac == "PS" || fac == "ME") {
        target = &sim.phoneCode;
    } else if (fac == "PN") {
        target = &sim.networkCode;
    } else if (IsBarring(fac)) {
        target = &sim.barringPassword;
    } else {
        return Final::Cme(4);
    }
    if (fac != "SC" && fac != "P2" && oldCode != *target) {
        return Final::Cme(16);
    }
    if (!ValidCode(newCode)) {
        return Final::Cme(3);
    }
    *target = newCode;
    return Final::Ok();
}

}  // namespace qvl::sim

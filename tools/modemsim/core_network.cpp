// Network and status commands (GSM 07.07 AT+COPS, AT+CREG, AT+CSQ, AT+CBC, AT+CGATT, ...),
// supplementary services (AT+CCFC forwarding, AT+CCWA waiting), PDP contexts and the
// one-line settings and identity queries.
#include <cstdio>
#include <ctime>

#include "base/text.h"
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
            return OutText(op.shortName);
        case 2:
            return op.numeric;
        default:
            return OutText(op.longName);
    }
}

std::string ModemCore::SelectedOperator() const {
    if (!Registered()) {
        return {};
    }
    return m_state.operators[static_cast<std::size_t>(m_currentOperator)].numeric;
}

int ModemCore::RegistrationStatus() const {
    if (m_fun != 1 || !SimReady() || m_copsMode == 2 || m_currentOperator < 0) {
        return 0;
    }
    if (!m_state.registered) {
        return 2;  // no network in reach: still searching
    }
    return m_state.roaming || m_currentOperator != 0 ? 5 : 1;
}

bool ModemCore::Registered() const {
    const int stat = RegistrationStatus();
    return stat == 1 || stat == 5;
}

int ModemCore::GprsStatus() const {
    return m_state.gprsAttached ? RegistrationStatus() : 0;
}

std::string ModemCore::Location() const {
    if (m_currentOperator < 0) {
        return {};
    }
    const auto index = static_cast<std::size_t>(m_currentOperator);
    const Operator& op = m_state.operators[index];
    char lac[16];
    char cell[16];
    std::snprintf(lac, sizeof lac, "%04X", 0x1A2B + 0x111 * static_cast<unsigned>(index));
    std::snprintf(cell, sizeof cell, "%06X", 0x00C3D4 + 0x1011 * static_cast<unsigned>(index));
    return ",\"" + (op.lac.empty() ? std::string(lac) : op.lac) + "\",\"" +
           (op.cell.empty() ? std::string(cell) : op.cell) + "\"";
}

void ModemCore::NotifyRegistration() {
    const int creg = RegistrationStatus();
    const std::string cregCell = Registered() ? Location() : "";
    if (creg != m_sentCreg || cregCell != m_sentCregCell) {
        if (m_cregMode == 2 || (m_cregMode == 1 && creg != m_sentCreg)) {
            EmitUnsolicited("\r\n+CREG: " + std::to_string(creg) +
                            (m_cregMode == 2 ? cregCell : "") + "\r\n");
        }
        m_sentCreg = creg;
        m_sentCregCell = cregCell;
    }
    const int cgreg = GprsStatus();
    const std::string cgregCell = cgreg == 1 || cgreg == 5 ? Location() : "";
    if (cgreg != m_sentCgreg || cgregCell != m_sentCgregCell) {
        if (m_cgregMode == 2 || (m_cgregMode == 1 && cgreg != m_sentCgreg)) {
            EmitUnsolicited("\r\n+CGREG: " + std::to_string(cgreg) +
                            (m_cgregMode == 2 ? cgregCell : "") + "\r\n");
        }
        m_sentCgreg = cgreg;
        m_sentCgregCell = cgregCell;
    }
}

void ModemCore::SetRegistered(bool registered) {
    m_state.registered = registered;
    NotifyRegistration();
}

void ModemCore::SetRoaming(bool roaming) {
    m_state.roaming = roaming;
    NotifyRegistration();
}

void ModemCore::SetGprsAttached(bool attached) {
    m_state.gprsAttached = attached;
    NotifyRegistration();
}

bool ModemCore::SetCell(const std::string& lac, const std::string& cell) {
    auto hex = [](const std::string& s) {
        return !s.empty() && s.size() <= 8 &&
               s.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    };
    if (!hex(lac) || !hex(cell) || m_currentOperator < 0) {
        return false;
    }
    Operator& op = m_state.operators[static_cast<std::size_t>(m_currentOperator)];
    op.lac = UpperAscii(lac);
    op.cell = UpperAscii(cell);
    NotifyRegistration();
    return true;
}

bool ModemCore::SetOperatorRefusal(const std::string& numeric, int code) {
    for (Operator& op : m_state.operators) {
        if (op.numeric == numeric) {
            op.refuseCode = code;
            return true;
        }
    }
    return false;
}

bool ModemCore::SetOperatorForbidden(const std::string& numeric, bool forbidden) {
    for (Operator& op : m_state.operators) {
        if (op.numeric == numeric) {
            op.forbidden = forbidden;
            return true;
        }
    }
    return false;
}

void ModemCore::SetBattery(int percent, bool charging) {
    m_state.battery = percent;
    m_state.charging = charging;
}

void ModemCore::SetFunctionality(int fun) {
    if (fun != 1 && m_fun == 1) {
        // The radio goes off: the network, and every call with it (a data call first), is
        // lost.
        while (RemoteHangup(0)) {
        }
    }
    m_fun = fun;
}

void ModemCore::PowerCycle() {
    // A restart loses the calls without a word, every setting and the SIM's unlocked state;
    // the clock keeps running.
    m_calls.clear();
    m_dataCall = false;
    m_heldUnsolicited.clear();
    ResetSettings();
    m_pinVerified = false;
    m_phoneCodeVerified = false;
    m_copsMode = 0;
    m_currentOperator = 0;
    m_book = "SM";
    for (std::string& mem : m_mem) {
        mem = "SM";
    }
}

std::string ModemCore::NetworkList() const {
    const auto& ops = m_state.operators;
    std::string line = "+COPS: ";
    // Out of reach of every network the search finds none.
    for (std::size_t i = 0; m_state.registered && i < ops.size(); ++i) {
        const int stat = static_cast<int>(i) == m_currentOperator && Registered() ? 2
                         : ops[i].forbidden                                       ? 3
                                                                                  : 1;
        line += "(" + std::to_string(stat) + "," + Quote(OutText(ops[i].longName)) + "," +
                Quote(OutText(ops[i].shortName)) + "," + Quote(ops[i].numeric);
        if (m_state.behaviour.copsAccessTechnology) {
            line += "," + std::to_string(ops[i].act);
        }
        line += "),";
    }
    // The entries end with a comma; without any, the list is empty but its comma stays.
    return line + (line.size() == 7 ? ",," : ",") + "(0,1,2,3,4),(0,1,2)";
}

ModemCore::Final ModemCore::CmdCops(Form form, const AtArgs& args, Reply& reply) {
    const auto& ops = m_state.operators;
    if (form == Form::Read) {
        if (!Registered()) {
            reply.Line("+COPS: " + std::to_string(m_copsMode));
        } else {
            const Operator& op = ops[static_cast<std::size_t>(m_currentOperator)];
            std::string line = "+COPS: " + std::to_string(m_copsMode) + "," +
                               std::to_string(m_copsFormat) + "," +
                               Quote(OperatorText(op, m_copsFormat));
            if (m_state.behaviour.copsAccessTechnology) {
                line += "," + std::to_string(op.act);
            }
            reply.Line(line);
        }
        return Final::Ok();
    }
    if (form == Form::Test) {
        if (!SimReady()) {
            return SimError(false);
        }
        if (m_fun != 1) {
            return Final::Cme(30);
        }
        if (m_state.behaviour.networkScanMs <= 0) {
            reply.Line(NetworkList());
            return Final::Ok();
        }
        // A network search takes a while; the list is the one found when it ends.
        return Defer(m_state.behaviour.networkScanMs, [this](Reply& r) {
            r.Line(NetworkList());
            return Final::Ok();
        });
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
            const auto wanted = format == 2 ? std::optional(args.Text(2)) : InText(args.Text(2));
            const bool manualOnly = *mode == 1;
            auto outcome = [this, format, wanted, manualOnly](Reply&) -> Final {
                const auto& list = m_state.operators;
                int found = -1;
                for (std::size_t i = 0; wanted && i < list.size(); ++i) {
                    const std::string& text = format == 2   ? list[i].numeric
                                              : format == 1 ? list[i].shortName
                                                            : list[i].longName;
                    if (!text.empty() && text == *wanted) {
                        found = static_cast<int>(i);
                        break;
                    }
                }
                Final refused = Final::Cme(30);
                if (found >= 0 && (m_fun != 1 || !m_state.registered)) {
                    found = -1;
                } else if (found >= 0 && list[static_cast<std::size_t>(found)].forbidden) {
                    refused = Final::Cme(32);
                    found = -1;
                } else if (found >= 0 && list[static_cast<std::size_t>(found)].refuseCode > 0) {
                    refused = Final::Cme(list[static_cast<std::size_t>(found)].refuseCode);
                    found = -1;
                }
                if (found >= 0) {
                    m_copsMode = 1;
                    m_currentOperator = found;
                    return Final::Ok();
                }
                if (manualOnly) {
                    // The registration stays as it was.
                    return refused;
                }
                // Manual/automatic: the manual choice failed, automatic selection takes over.
                m_copsMode = 0;
                m_currentOperator = 0;
                return Final::Ok();
            };
            if (m_state.behaviour.registerMs > 0) {
                return Defer(m_state.behaviour.registerMs, outcome);
            }
            return outcome(reply);
        }
        case 2:
            m_copsMode = 2;
            m_currentOperator = -1;
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

ModemCore::Final ModemCore::RegistrationCommand(const char* name, int& mode, int stat, Form form,
                                                const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read: {
            std::string line =
                std::string(name) + ": " + std::to_string(mode) + "," + std::to_string(stat);
            if (mode == 2 && (stat == 1 || stat == 5)) {
                line += Location();
            }
            reply.Line(line);
            return Final::Ok();
        }
        case Form::Test:
            reply.Line(std::string(name) + ": (0-2)");
            return Final::Ok();
        case Form::Set: {
            const auto n = args.Int(0, 0, 2);
            if (!n) {
                return Final::Err();
            }
            mode = *n;
            return Final::Ok();
        }
        case Form::Exec:
            return Final::Err();
    }
    return Final::Err();
}

ModemCore::Final ModemCore::CmdCfun(Form form, const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read:
            reply.Line("+CFUN: " + std::to_string(m_fun));
            return Final::Ok();
        case Form::Test:
            reply.Line("+CFUN: (0,1,4),(0,1)");
            return Final::Ok();
        case Form::Exec:
            return Final::Err();
        case Form::Set:
            break;
    }
    const auto fun = args.Int(0, 0, 4);
    const auto reset = args.Present(1) ? args.Int(1, 0, 1) : std::optional<int>(0);
    if (!fun || *fun == 2 || *fun == 3 || !reset) {
        return Final::Err();
    }
    if (*reset == 1) {
        PowerCycle();
    }
    SetFunctionality(*fun);
    return Final::Ok();
}

namespace {

bool LeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// "yy/MM/dd,hh:mm:ss" with an optional zone "+zz" / "-zz" in quarter hours (-48..+48): the
// seconds since 1970 of that wall-clock time, and the zone.
std::optional<std::pair<long long, int>> ParseClock(const std::string& text) {
    if (text.size() < 17 || text[2] != '/' || text[5] != '/' || text[8] != ',' || text[11] != ':' ||
        text[14] != ':') {
        return std::nullopt;
    }
    int f[6] = {};
    const int starts[6] = {0, 3, 6, 9, 12, 15};
    for (int i = 0; i < 6; ++i) {
        const auto v = ParseDecimal(
            std::string_view(text).substr(static_cast<std::size_t>(starts[i]), 2), 0, 99);
        if (!v) {
            return std::nullopt;
        }
        f[i] = static_cast<int>(*v);
    }
    int quarters = 0;
    if (text.size() > 17) {
        if ((text[17] != '+' && text[17] != '-') || text.size() > 20) {
            return std::nullopt;
        }
        const auto q = ParseDecimal(std::string_view(text).substr(18), 0, 48);
        if (!q) {
            return std::nullopt;
        }
        quarters = static_cast<int>(text[17] == '-' ? -*q : *q);
    }
    const int year = 2000 + f[0];
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[3] > 23 || f[4] > 59 || f[5] > 59) {
        return std::nullopt;
    }
    const int days = kDays[f[1] - 1] + (f[1] == 2 && LeapYear(year) ? 1 : 0);
    if (f[2] > days) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = f[1] - 1;
    tm.tm_mday = f[2];
    tm.tm_hour = f[3];
    tm.tm_min = f[4];
    tm.tm_sec = f[5];
    return std::pair<long long, int>(static_cast<long long>(timegm(&tm)), quarters);
}

}  // namespace

ModemCore::Final ModemCore::CmdCclk(Form form, const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read: {
            const std::time_t t = static_cast<std::time_t>(std::time(nullptr) + m_clockOffset);
            std::tm tm{};
            gmtime_r(&t, &tm);
            const int q = m_clockQuarters < 0 ? -m_clockQuarters : m_clockQuarters;
            char text[48];
            std::snprintf(text, sizeof text, "+CCLK: \"%02d/%02d/%02d,%02d:%02d:%02d%c%02d\"",
                          tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec, m_clockQuarters < 0 ? '-' : '+', q);
            reply.Line(text);
            return Final::Ok();
        }
        case Form::Test:
            return Final::Ok();
        case Form::Exec:
            return Final::Err();
        case Form::Set:
            break;
    }
    if (args.Count() != 1 || !args.Quoted(0)) {
        return Final::Err();
    }
    const auto clock = ParseClock(args.Text(0));
    if (!clock) {
        return Final::Err();
    }
    m_clockOffset = clock->first - static_cast<long long>(std::time(nullptr));
    m_clockQuarters = clock->second;
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCscs(Form form, const AtArgs& args, Reply& reply) {
    const auto& offered = m_state.behaviour.charsets;
    switch (form) {
        case Form::Read:
            reply.Line("+CSCS: " + Quote(CharsetName(m_cscs)));
            return Final::Ok();
        case Form::Test: {
            std::string line = "+CSCS: (";
            for (std::size_t i = 0; i < offered.size(); ++i) {
                line += (i > 0 ? "," : "") + Quote(offered[i]);
            }
            reply.Line(line + ")");
            return Final::Ok();
        }
        case Form::Exec:
            return Final::Err();
        case Form::Set:
            break;
    }
    // In UCS2 the name may itself come in UCS2 hex, as some programs send it.
    std::string name = args.Text(0);
    if (m_cscs == Charset::Ucs2 && !CharsetByName(name)) {
        name = InText(name).value_or(name);
    }
    const auto set = CharsetByName(name);
    bool isOffered = false;
    for (const std::string& o : offered) {
        isOffered = isOffered || (set && CharsetByName(o) == set);
    }
    if (!set || !isOffered) {
        return Final::Err();
    }
    m_cscs = *set;
    return Final::Ok();
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
    if (!Registered()) {
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
        const auto& rules = m_state.forwarding[*reason];
        auto line = [&](int c) {
            const auto it = rules.find(c);
            if (it == rules.end() || !it->second.active) {
                return "+CCFC: 0," + std::to_string(c);
            }
            std::string text = "+CCFC: 1," + std::to_string(c) + "," + Quote(it->second.number) +
                               "," + std::to_string(it->second.type);
            if (*reason == 2) {
                text += ",,," + std::to_string(it->second.time);
            }
            return text;
        };
        if (m_state.behaviour.forwardingEveryClass) {
            // One line per class the network knows, whatever class was asked for.
            for (int c = 1; c <= 128; c <<= 1) {
                const auto it = rules.find(c);
                if (c <= 4 || (it != rules.end() && it->second.active)) {
                    reply.Line(line(c));
                }
            }
            return Final::Ok();
        }
        bool any = false;
        for (int c = 1; c <= 128; c <<= 1) {
            const auto it = rules.find(c);
            if ((classes & c) != 0 && it != rules.end() && it->second.active) {
                reply.Line(line(c));
                any = true;
            }
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
        if (args.Present(7) && m_state.behaviour.forwardingTimeRefused) {
            return Final::Cme(4);
        }
        for (const int r : reasons) {
            for (int c = 1; c <= 128; c <<= 1) {
                if ((classes & c) != 0) {
                    m_state.forwarding[r][c] = ForwardRule{true, number, type, time};
                }
            }
        }
        return Final::Ok();
    }
    if (*mode == 1) {
        // Enabling needs a number registered for every class asked for.
        for (const int r : reasons) {
            for (int c = 1; c <= 4; c <<= 1) {
                if ((classes & c) != 0 && m_state.forwarding[r][c].number.empty()) {
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
            auto& rule = m_state.forwarding[r][c];
            rule.active = *mode == 1;
            if (*mode == 4) {
                rule.number.clear();
            }
        }
    }
    return Final::Ok();
}

bool ModemCore::SetForwarding(int reason, int classes, const std::string& number, bool active) {
    if (reason < 0 || reason > 3 || classes < 1 || classes > 255 ||
        (!number.empty() && !ValidDialNumber(number))) {
        return false;
    }
    for (int c = 1; c <= 128; c <<= 1) {
        if ((classes & c) == 0) {
            continue;
        }
        auto& rules = m_state.forwarding[reason];
        if (number.empty()) {
            rules.erase(c);
        } else {
            rules[c] = ForwardRule{active, number, NumberType(number), rules[c].time};
        }
    }
    return true;
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
    if (!Registered()) {
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
        const int rssi = m_fun != 1 || !m_state.registered ? 99 : m_state.signal;
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
            reply.Line("+CNUM: " + Quote(OutText("Own number")) + "," + Quote(id.ownNumber) + "," +
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

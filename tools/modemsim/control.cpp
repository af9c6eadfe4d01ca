#include "tools/modemsim/control.h"

#include <ctime>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "tools/modemsim/at_args.h"
#include "tools/modemsim/seed.h"

namespace qvl::sim {

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w) {
        words.push_back(w);
    }
    return words;
}

// The text after the first n words of the line.
std::string RestAfter(const std::string& line, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos)
            return {};
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string::npos)
            return {};
    }
    pos = line.find_first_not_of(" \t", pos);
    return pos == std::string::npos ? std::string() : line.substr(pos);
}

std::optional<int> Number(const std::string& text, int lo, int hi) {
    const auto v = ParseDecimal(std::string_view(text), lo, hi);
    if (!v)
        return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<bool> OnOff(const std::vector<std::string>& w, std::size_t i, bool dflt) {
    if (w.size() <= i)
        return dflt;
    const std::string u = UpperAscii(w[i]);
    if (u == "ON" || u == "YES" || u == "1" || u == "IN")
        return true;
    if (u == "OFF" || u == "NO" || u == "0" || u == "OUT")
        return false;
    return std::nullopt;
}

const char* kHelp =
    "OK commands: call NUMBER | ccwa NUMBER | answer [ID] | hangup [ID] | busy [ID] | sms [SM|ME] "
    "PDU | "
    "deliver [SM|ME] SENDER TEXT | status-report PDU | cssu CODE | signal RSSI | battery PERCENT "
    "[charging] | "
    "network on|off | roaming on|off | gprs on|off | sim in|out | error [N] | cme CODE [N] | cms "
    "CODE [N] | "
    "noanswer [N] | fault off | canned PREFIX ANSWER | silent [on|off] | garbage BYTES | split MS "
    "[BYTES] | delay MS | pace BAUD | drop | "
    "cell LAC CI | refuse NUMERIC [CODE|off] | forbid NUMERIC [on|off] | scan MS | cops-act on|off "
    "| "
    "cmee 0|1|2 | forward REASON CLASS NUMBER|off [inactive] | registration | "
    "calls | log [N] | dtmf";

}  // namespace

std::string UnescapeBytes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'e')
            out += '\x1b';
        else if (c == '\\')
            out += '\\';
        else if (c == 'x' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                 HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += '\\';
            out += c;
        }
    }
    return out;
}

std::string RunControlCommand(ModemSimulator& modem, const std::string& line) {
    const auto w = Words(line);
    if (w.empty() || w[0][0] == '#') {
        return "OK";
    }
    const std::string cmd = UpperAscii(w[0]);
    auto count = [&](std::size_t i) {
        return w.size() > i ? Number(w[i], 1, 1000000) : std::optional<int>(1);
    };

    if (cmd == "HELP") {
        return kHelp;
    }
    if (cmd == "CALL") {
        const int id = modem.InjectIncomingCall(w.size() > 1 ? w[1] : "");
        return id > 0 ? "OK " + std::to_string(id)
                      : "ERROR the network refused the call (SIM not ready, no network or barred)";
    }
    if (cmd == "CCWA" || cmd == "WAITING") {
        return modem.InjectCallWaiting(w.size() > 1 ? w[1] : "")
                   ? "OK"
                   : "ERROR no call in progress or waiting disabled";
    }
    if (cmd == "ANSWER" || cmd == "HANGUP" || cmd == "BUSY") {
        const auto id = w.size() > 1 ? Number(w[1], 1, 7) : std::optional<int>(0);
        if (!id)
            return "ERROR call id 1..7";
        const bool ok = cmd == "ANSWER" ? modem.RemoteAnswer(*id)
                        : cmd == "BUSY" ? modem.RemoteBusy(*id)
                                        : modem.RemoteHangup(*id);
        return ok ? "OK" : "ERROR no such call";
    }
    if (cmd == "SMS") {
        if (w.size() == 2) {
            const int index = modem.InjectSms(w[1]);
            return index >= 0 ? "OK " + std::to_string(index) : "ERROR bad PDU or memory full";
        }
        if (w.size() != 3)
            return "ERROR sms [SM|ME] PDU";
        const int index = modem.InjectSms(w[2], w[1]);
        return index >= 0 ? "OK " + std::to_string(index) : "ERROR bad PDU, memory or memory full";
    }
    if (cmd == "DELIVER") {
        std::string storage;
        std::size_t at = 1;
        if (w.size() > 1 && (UpperAscii(w[1]) == "SM" || UpperAscii(w[1]) == "ME")) {
            storage = w[1];
            at = 2;
        }
        if (w.size() <= at + 1)
            return "ERROR deliver [SM|ME] SENDER TEXT";
        const std::string pdu = EncodeDeliverPdu(modem.State().serviceCentre, w[at],
                                                 LocalTimeStamp(), RestAfter(line, at + 1));
        if (pdu.empty())
            return "ERROR sender or text does not fit one message";
        const int index = modem.InjectSms(pdu, storage);
        return index >= 0 ? "OK " + std::to_string(index) : "ERROR memory full";
    }
    if (cmd == "STATUS-REPORT") {
        if (w.size() != 2)
            return "ERROR status-report PDU";
        return modem.InjectStatusReport(w[1]) ? "OK"
                                              : "ERROR bad PDU or reports not enabled by AT+CNMI";
    }
    if (cmd == "CSSU") {
        const auto code = w.size() > 1 ? Number(w[1], 0, 10) : std::nullopt;
        if (!code)
            return "ERROR cssu CODE (0..10)";
        return modem.InjectSupplementary(*code) ? "OK" : "ERROR notices not enabled by AT+CSSN";
    }
    if (cmd == "SIGNAL") {
        const auto v = w.size() > 1 ? Number(w[1], 0, 99) : std::nullopt;
        if (!v || (*v > 31 && *v != 99))
            return "ERROR signal RSSI (0..31, 99)";
        modem.SetSignal(*v);
        return "OK";
    }
    if (cmd == "BATTERY") {
        const auto v = w.size() > 1 ? Number(w[1], 0, 100) : std::nullopt;
        if (!v)
            return "ERROR battery PERCENT [charging]";
        modem.SetBattery(*v, w.size() > 2 && UpperAscii(w[2]) == "CHARGING");
        return "OK";
    }
    if (cmd == "NETWORK" || cmd == "ROAMING" || cmd == "GPRS" || cmd == "SIM" || cmd == "SILENT") {
        const auto on = OnOff(w, 1, cmd == "SILENT");
        if (!on)
            return "ERROR expected on or off";
        if (cmd == "NETWORK")
            modem.SetRegistered(*on);
        else if (cmd == "ROAMING")
            modem.SetRoaming(*on);
        else if (cmd == "GPRS")
            modem.SetGprsAttached(*on);
        else if (cmd == "SIM")
            modem.SetSimPresent(*on);
        else
            modem.SetSilent(*on);
        return "OK";
    }
    if (cmd == "ERROR" || cmd == "NOANSWER") {
        const auto n = count(1);
        if (!n)
            return "ERROR count";
        modem.SetFault(cmd == "ERROR" ? FaultKind::Error : FaultKind::NoAnswer, *n, 0);
        return "OK";
    }
    if (cmd == "CME" || cmd == "CMS") {
        const auto code = w.size() > 1 ? Number(w[1], 0, 1000) : std::nullopt;
        const auto n = count(2);
        if (!code || !n)
            return "ERROR " + w[0] + " CODE [COUNT]";
        modem.SetFault(cmd == "CME" ? FaultKind::CmeError : FaultKind::CmsError, *n, *code);
        return "OK";
    }
    if (cmd == "CANNED") {
        if (w.size() < 3)
            return "ERROR canned PREFIX ANSWER";
        modem.SetCannedAnswer(w[1], UnescapeBytes(RestAfter(line, 2)));
        return "OK";
    }
    if (cmd == "FAULT") {
        modem.SetFault(FaultKind::None, 0, 0);
        return "OK";
    }
    if (cmd == "GARBAGE") {
        const std::string bytes = UnescapeBytes(RestAfter(line, 1));
        if (bytes.empty())
            return "ERROR garbage BYTES";
        modem.SendGarbage(bytes);
        return "OK";
    }
    if (cmd == "SPLIT" || cmd == "DELAY" || cmd == "PACE") {
        const auto v =
            w.size() > 1 ? Number(w[1], 0, cmd == "PACE" ? 4000000 : 600000) : std::nullopt;
        if (!v)
            return "ERROR expected a number";
        if (cmd == "SPLIT") {
            const auto at = w.size() > 2 ? Number(w[2], 1, 100000) : std::optional<int>(0);
            if (!at)
                return "ERROR split MS [BYTES]";
            modem.SplitNextAnswer(*v, static_cast<std::size_t>(*at));
        } else if (cmd == "DELAY") {
            modem.SetAnswerDelay(*v);
        } else {
            modem.SetPacing(*v);
        }
        return "OK";
    }
    if (cmd == "CELL") {
        if (w.size() != 3 || !modem.SetCell(w[1], w[2]))
            return "ERROR cell LAC CI (hex, 1-8 digits each; needs a network)";
        return "OK";
    }
    if (cmd == "REFUSE" || cmd == "FORBID") {
        if (w.size() < 2 || w.size() > 3)
            return "ERROR " + w[0] + " NUMERIC [" + (cmd == "REFUSE" ? "CODE|off]" : "on|off]");
        bool ok = false;
        if (cmd == "REFUSE") {
            const bool off = w.size() == 3 && UpperAscii(w[2]) == "OFF";
            const auto code = off             ? std::optional<int>(0)
                              : w.size() == 3 ? Number(w[2], 1, 1000)
                                              : std::optional<int>(30);
            if (!code)
                return "ERROR refuse NUMERIC [CODE 1..1000|off]";
            ok = modem.SetOperatorRefusal(w[1], *code);
        } else {
            const auto on = OnOff(w, 2, true);
            if (!on)
                return "ERROR expected on or off";
            ok = modem.SetOperatorForbidden(w[1], *on);
        }
        return ok ? "OK" : "ERROR no network " + w[1] + " in the list";
    }
    if (cmd == "SCAN") {
        const auto v = w.size() > 1 ? Number(w[1], 0, 600000) : std::nullopt;
        if (!v)
            return "ERROR scan MS (0..600000)";
        modem.SetNetworkScanMs(*v);
        return "OK";
    }
    if (cmd == "COPS-ACT") {
        const auto on = OnOff(w, 1, true);
        if (!on)
            return "ERROR expected on or off";
        modem.SetListAccessTechnology(*on);
        return "OK";
    }
    if (cmd == "CMEE") {
        const auto v = w.size() > 1 ? Number(w[1], 0, 2) : std::nullopt;
        if (!v)
            return "ERROR cmee 0|1|2";
        modem.SetCmee(*v);
        return "OK";
    }
    if (cmd == "FORWARD") {
        const auto reason = w.size() > 3 ? Number(w[1], 0, 3) : std::nullopt;
        const auto classes = w.size() > 3 ? Number(w[2], 1, 255) : std::nullopt;
        const bool erase = w.size() > 3 && UpperAscii(w[3]) == "OFF";
        const bool inactive = w.size() == 5 && UpperAscii(w[4]) == "INACTIVE";
        if (!reason || !classes || w.size() > 5 || (w.size() == 5 && (!inactive || erase)))
            return "ERROR forward REASON(0..3) CLASS(1..255) NUMBER|off [inactive]";
        if (!modem.SetForwarding(*reason, *classes, erase ? std::string() : w[3], !inactive))
            return "ERROR not a dialling number";
        return "OK";
    }
    if (cmd == "REGISTRATION") {
        const std::string op = modem.SelectedOperator();
        return "OK " + std::to_string(modem.SelectionMode()) + " " + (op.empty() ? "-" : op);
    }
    if (cmd == "DROP") {
        modem.DropLine();
        return "OK";
    }
    if (cmd == "CALLS") {
        std::string out = "OK";
        for (const Call& c : modem.Calls()) {
            out += " " + std::to_string(c.id) + ":" + std::to_string(static_cast<int>(c.state)) +
                   ":" + c.number;
        }
        return out;
    }
    if (cmd == "DTMF") {
        return "OK " + modem.Dtmf();
    }
    if (cmd == "LOG") {
        const auto n = w.size() > 1 ? Number(w[1], 1, 1000) : std::optional<int>(10);
        if (!n)
            return "ERROR log [N]";
        const auto log = modem.CommandLog();
        std::string out = "OK";
        const std::size_t from = log.size() > static_cast<std::size_t>(*n)
                                     ? log.size() - static_cast<std::size_t>(*n)
                                     : 0;
        for (std::size_t i = from; i < log.size(); ++i) {
            out += (i == from ? " " : " | ") + log[i];
        }
        return out;
    }
    return "ERROR unknown command " + w[0] + " (try help)";
}

}  // namespace qvl::sim

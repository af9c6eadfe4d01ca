// The commands of qvl-pdu: submit, deliver and decode.
#include "tools/pdu/pdutool.h"

#include <optional>
#include <string_view>

#include "app/sms/codec/smscodec.h"
#include "base/text.h"

namespace qvl::pdutool {
namespace {

using namespace qvl::sms;

constexpr std::string_view kUsage =
    "usage: qvl-pdu submit [--ref N] [--status-report] [--validity OCTET] [--send-as CODE] "
    "NUMBER TEXT\n"
    "       qvl-pdu deliver [--ref N] NUMBER TIME TEXT\n"
    "       qvl-pdu decode [--submit|--status] HEX\n"
    "NUMBER is digits with an optional leading '+'; TIME is dd/mm/yy,hh:mm:ss,GMT+z;\n"
    "OCTET is 0-255 (decimal or 0x..); CODE is 0 text, 1 fax3, 2 fax4, 3 email;\n"
    "HEX is a PDU as +CMGR shows it, service-centre field included.\n";

struct Failure {
    std::string message;
};

struct Options {
    std::vector<std::string> positional;
    int reference = 0;
    bool statusReport = false;
    int validity = kDefaultValidity;
    int sendAs = 0;
    enum class DecodeAs { kDeliver, kSubmit, kStatus } decodeAs = DecodeAs::kDeliver;
};

int ParseOctet(std::string_view name, std::string_view value, int hi) {
    std::optional<long long> v;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        long long n = 0;
        bool ok = value.size() <= 4;
        for (char c : value.substr(2)) {
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) {
                ok = false;
                break;
            }
            n = n * 16 + d;
        }
        if (ok && n <= hi) {
            v = n;
        }
    } else {
        v = ParseDecimal(value, 0, hi);
    }
    if (!v) {
        throw Failure{std::string(name) + " wants a number from 0 to " + std::to_string(hi) +
                      ", not \"" + std::string(value) + "\""};
    }
    return static_cast<int>(*v);
}

int ParseSendAs(std::string_view value) {
    if (value == "text") return 0;
    if (value == "fax3") return 1;
    if (value == "fax4") return 2;
    if (value == "email") return 3;
    return ParseOctet("--send-as", value, 3);
}

Options ParseOptions(const std::vector<std::string>& args, std::string_view command) {
    Options o;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= args.size()) {
                throw Failure{a + " needs a value"};
            }
            return args[++i];
        };
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            o.positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--ref" && command != "decode") {
            o.reference = ParseOctet(a, value(), 255);
        } else if (a == "--status-report" && command == "submit") {
            o.statusReport = true;
        } else if (a == "--validity" && command == "submit") {
            o.validity = ParseOctet(a, value(), 255);
        } else if (a == "--send-as" && command == "submit") {
            o.sendAs = ParseSendAs(value());
        } else if (a == "--submit" && command == "decode") {
            o.decodeAs = Options::DecodeAs::kSubmit;
        } else if (a == "--status" && command == "decode") {
            o.decodeAs = Options::DecodeAs::kStatus;
        } else {
            throw Failure{"unknown option " + a + " for " + std::string(command)};
        }
    }
    return o;
}

std::u16string Utf8Argument(std::string_view what, const std::string& s) {
    std::u16string wide = Utf8ToWide(s);
    if (WideToUtf8(wide) != s) {
        throw Failure{std::string(what) + " is not valid UTF-8"};
    }
    return wide;
}

std::u16string NumberArgument(const std::string& s) {
    std::size_t digits = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            ++digits;
        } else if (!(s[i] == '+' && i == 0)) {
            throw Failure{"the number \"" + s + "\" may hold only digits and a leading '+'"};
        }
    }
    if (digits == 0 || digits > 20) {
        throw Failure{"the number \"" + s + "\" must have 1 to 20 digits"};
    }
    return Utf8ToWide(s);
}

void PrintPdus(const std::vector<std::string>& pdus, std::string& out) {
    if (pdus.empty()) {
        throw Failure{"the text needs more than 255 parts"};
    }
    for (const auto& p : pdus) {
        out += p;
        out += '\n';
    }
}

int Submit(const std::vector<std::string>& args, std::string& out) {
    const Options o = ParseOptions(args, "submit");
    if (o.positional.size() != 2) {
        throw Failure{"submit wants NUMBER and TEXT"};
    }
    const auto number = NumberArgument(o.positional[0]);
    const auto text = Utf8Argument("TEXT", o.positional[1]);
    PrintPdus(BuildSubmitPdus(number, text, o.reference, static_cast<SendAs>(o.sendAs),
                              o.statusReport ? StatusReport::kWanted : StatusReport::kNotWanted,
                              o.validity),
              out);
    return kExitOk;
}

int Deliver(const std::vector<std::string>& args, std::string& out) {
    const Options o = ParseOptions(args, "deliver");
    if (o.positional.size() != 3) {
        throw Failure{"deliver wants NUMBER, TIME and TEXT"};
    }
    const auto number = NumberArgument(o.positional[0]);
    const auto time = Utf8Argument("TIME", o.positional[1]);
    if (!IsCompleteTimeText(time)) {
        throw Failure{"TIME must look like 24/12/04,18:30:05,GMT+1"};
    }
    const auto text = Utf8Argument("TEXT", o.positional[2]);
    PrintPdus(BuildDeliverPdus(number, time, text, o.reference), out);
    return kExitOk;
}

// One field per line: backslash, CR, LF and other control characters are escaped so that a
// value never spans lines.
std::string FieldValue(std::u16string_view value) {
    std::string out;
    const std::string utf8 = WideToUtf8(value);
    for (unsigned char c : utf8) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            out += "\\x";
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

void Field(std::string& out, std::string_view name, std::u16string_view value) {
    out += name;
    out += '=';
    out += FieldValue(value);
    out += '\n';
}

void Field(std::string& out, std::string_view name, int value) {
    out += name;
    out += '=';
    out += std::to_string(value);
    out += '\n';
}

int Decode(const std::vector<std::string>& args, std::string& out) {
    const Options o = ParseOptions(args, "decode");
    if (o.positional.size() != 1) {
        throw Failure{"decode wants one HEX argument"};
    }
    const std::string& hex = o.positional[0];
    if (hex.empty() || hex.size() % 2 != 0) {
        throw Failure{"HEX must have an even, non-zero number of digits"};
    }
    for (char c : hex) {
        const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!digit) {
            throw Failure{"HEX holds a character that is not a hex digit"};
        }
    }
    if (o.decodeAs == Options::DecodeAs::kStatus) {
        const auto sr = DecodeStatusReportPdu(hex);
        Field(out, "number", sr.number);
        Field(out, "time", sr.time);
        Field(out, "discharge", sr.discharge);
        Field(out, "status", sr.status);
        return kExitOk;
    }
    const std::string tpdu = StripServiceCentre(hex);
    if (tpdu.empty()) {
        throw Failure{"the service-centre field is longer than the PDU"};
    }
    const auto info = o.decodeAs == Options::DecodeAs::kSubmit ? DecodeSubmitPdu(tpdu)
                                                               : DecodeDeliverPdu(tpdu);
    Field(out, "index", info.index);
    Field(out, "number", info.number);
    Field(out, "text", info.text);
    Field(out, "time", info.time);
    Field(out, "status", info.status);
    Field(out, "concatenated", info.concatenated);
    Field(out, "reference", info.reference);
    Field(out, "total", info.total);
    Field(out, "sequence", info.sequence);
    Field(out, "storage", info.storage);
    Field(out, "graphic", info.graphic);
    return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    try {
        if (args.empty()) {
            throw Failure{"no command (try qvl-pdu --help)"};
        }
        const std::string& command = args[0];
        if (command == "--help" || command == "-h" || command == "help") {
            out += kUsage;
            return kExitOk;
        }
        if (command == "submit") {
            return Submit(args, out);
        }
        if (command == "deliver") {
            return Deliver(args, out);
        }
        if (command == "decode") {
            return Decode(args, out);
        }
        throw Failure{"unknown command \"" + command + "\" (try qvl-pdu --help)"};
    } catch (const Failure& f) {
        out.clear();
        err += "qvl-pdu: " + f.message + "\n";
        return kExitBadInput;
    }
}

}  // namespace qvl::pdutool

#include "tools/modemsim/seed.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "tools/modemsim/at_args.h"
#include "tools/modemsim/charset.h"
#include "tools/modemsim/modem_core.h"

namespace qvl::sim {

namespace {

std::string Trim(std::string_view s) {
    std::size_t a = 0;
    std::size_t b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return std::string(s.substr(a, b - a));
}

// Splits at commas into at most n fields; the last field keeps the rest of the text.
std::vector<std::string> Fields(const std::string& value, std::size_t n) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (out.size() + 1 < n) {
        const std::size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            break;
        }
        out.push_back(Trim(std::string_view(value).substr(start, comma - start)));
        start = comma + 1;
    }
    out.push_back(Trim(std::string_view(value).substr(start)));
    return out;
}

std::optional<bool> ParseBool(const std::string& v) {
    const std::string u = UpperAscii(v);
    if (u == "1" || u == "YES" || u == "ON" || u == "TRUE")
        return true;
    if (u == "0" || u == "NO" || u == "OFF" || u == "FALSE")
        return false;
    return std::nullopt;
}

std::optional<int> ParseInt(const std::string& v, int lo, int hi) {
    const auto n = ParseDecimal(std::string_view(v), lo, hi);
    if (!n)
        return std::nullopt;
    return static_cast<int>(*n);
}

std::optional<SmsStatus> ParseStatus(const std::string& v) {
    const std::string u = UpperAscii(v);
    if (u == "0" || u == "UNREAD")
        return SmsStatus::Unread;
    if (u == "1" || u == "READ")
        return SmsStatus::Read;
    if (u == "2" || u == "UNSENT")
        return SmsStatus::Unsent;
    if (u == "3" || u == "SENT")
        return SmsStatus::Sent;
    return std::nullopt;
}

const char kHex[] = "0123456789ABCDEF";

void PutOctet(std::string& out, int v) {
    out += kHex[(v >> 4) & 0xF];
    out += kHex[v & 0xF];
}

// An address as GSM 03.40 writes it: digit count (or octet count for the service centre),
// type of address, semi-octets with F filler. Empty when it holds other characters.
std::string EncodeAddress(const std::string& number, bool serviceCentre) {
    const bool international = !number.empty() && number[0] == '+';
    const std::string digits = international ? number.substr(1) : number;
    if (digits.empty() || digits.size() > 20) {
        return {};
    }
    std::string semi;
    for (const char c : digits) {
        if (c >= '0' && c <= '9')
            semi += c;
        else if (c == '*')
            semi += 'A';
        else if (c == '#')
            semi += 'B';
        else
            return {};
    }
    if (semi.size() % 2 != 0)
        semi += 'F';
    std::string out;
    const int count =
        serviceCentre ? static_cast<int>(semi.size() / 2) + 1 : static_cast<int>(digits.size());
    PutOctet(out, count);
    PutOctet(out, international ? 0x91 : 0x81);
    for (std::size_t i = 0; i < semi.size(); i += 2) {
        out += semi[i + 1];
        out += semi[i];
    }
    return out;
}

// "YYYY-MM-DD hh:mm:ss[+hh:mm]" as the seven swapped semi-octets of a time stamp.
std::string EncodeTime(const std::string& time) {
    int f[6] = {};
    const int starts[6] = {2, 5, 8, 11, 14, 17};
    if (time.size() < 19) {
        return {};
    }
    for (int i = 0; i < 6; ++i) {
        const auto v = ParseDecimal(
            std::string_view(time).substr(static_cast<std::size_t>(starts[i]), 2), 0, 99);
        if (!v)
            return {};
        f[i] = static_cast<int>(*v);
    }
    int quarters = 0;
    bool negative = false;
    if (time.size() >= 25 && (time[19] == '+' || time[19] == '-')) {
        const auto h = ParseDecimal(std::string_view(time).substr(20, 2), 0, 15);
        const auto m = ParseDecimal(std::string_view(time).substr(23, 2), 0, 59);
        if (!h || !m)
            return {};
        quarters = static_cast<int>(*h * 4 + *m / 15);
        negative = time[19] == '-';
    }
    std::string out;
    for (const int v : f) {
        out += kHex[v % 10];
        out += kHex[v / 10];
    }
    out += kHex[quarters % 10];
    out += kHex[(quarters / 10) | (negative ? 8 : 0)];
    return out;
}

// The GSM 03.38 default alphabet code of an ASCII character, -1 when it has none there.
int GsmCode(char32_t c) {
    if (c == '@')
        return 0;
    if (c == '$')
        return 2;
    if (c == '_')
        return 0x11;
    if (c == '\n' || c == '\r' || c == ' ' || c == '!' || c == '"' || c == '#' || c == '%' ||
        c == '&' || c == '\'' || (c >= '(' && c <= '?') || (c >= 'A' && c <= 'Z') ||
        (c >= 'a' && c <= 'z')) {
        return static_cast<int>(c);
    }
    return -1;
}

}  // namespace

std::string EncodeDeliverPdu(const std::string& serviceCentre, const std::string& sender,
                             const std::string& time, const std::string& utf8Text) {
    const std::string sca =
        serviceCentre.empty() ? std::string("00") : EncodeAddress(serviceCentre, true);
    const std::string oa = EncodeAddress(sender, false);
    const std::string scts = EncodeTime(time);
    if (sca.empty() || oa.empty() || scts.empty()) {
        return {};
    }
    const std::u16string wide = Utf8ToWide(utf8Text);
    std::vector<int> septets;
    bool gsm = true;
    for (const char16_t c : wide) {
        const int code = GsmCode(c);
        if (code < 0) {
            gsm = false;
            break;
        }
        septets.push_back(code);
    }
    std::string ud;
    int udl = 0;
    if (gsm) {
        if (septets.size() > 160)
            return {};
        udl = static_cast<int>(septets.size());
        int acc = 0;
        int bits = 0;
        for (const int s : septets) {
            acc |= s << bits;
            bits += 7;
            while (bits >= 8) {
                PutOctet(ud, acc & 0xFF);
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits > 0)
            PutOctet(ud, acc & 0xFF);
    } else {
        if (wide.size() > 70)
            return {};
        udl = static_cast<int>(wide.size() * 2);
        for (const char16_t c : wide) {
            PutOctet(ud, c >> 8);
            PutOctet(ud, c & 0xFF);
        }
    }
    std::string pdu = sca + "04" + oa + "00" + (gsm ? "00" : "08") + scts;
    PutOctet(pdu, udl);
    return pdu + ud;
}

std::string EncodeStatusReportPdu(const std::string& serviceCentre, int mr,
                                  const std::string& recipient, const std::string& time,
                                  int status) {
    const std::string sca =
        serviceCentre.empty() ? std::string("00") : EncodeAddress(serviceCentre, true);
    const std::string ra = EncodeAddress(recipient, false);
    const std::string ts = EncodeTime(time);
    if (sca.empty() || ra.empty() || ts.empty() || mr < 0 || mr > 255 || status < 0 ||
        status > 255) {
        return {};
    }
    std::string pdu = sca + "06";
    PutOctet(pdu, mr);
    pdu += ra + ts + ts;
    PutOctet(pdu, status);
    return pdu;
}

std::string LocalTimeStamp() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    // Time zones lie within a day of UTC; the clamp keeps the text to its six characters.
    const int offset = static_cast<int>(std::clamp(local.tm_gmtoff / 60, -1439L, 1439L));
    const int magnitude = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return std::string(buf) + zone;
}

ModemSeed DefaultSeed() {
    ModemSeed seed;
    auto op = [](const char* numeric, const char* longName, const char* shortName, bool forbidden) {
        Operator o;
        o.numeric = numeric;
        o.longName = longName;
        o.shortName = shortName;
        o.forbidden = forbidden;
        return o;
    };
    seed.operators = {
        op("26201", "QVL Mobile", "QVL", false),
        op("26202", "Northnet", "NNET", false),
        op("26203", "Southcell", "SCELL", true),
    };
    auto book = [](int capacity, bool writable) {
        Phonebook pb;
        pb.capacity = capacity;
        pb.writable = writable;
        return pb;
    };
    seed.phonebooks["SM"] = book(250, true);
    seed.phonebooks["ME"] = book(500, true);
    seed.phonebooks["DC"] = book(10, true);
    seed.phonebooks["LD"] = book(10, true);
    seed.phonebooks["RC"] = book(10, true);
    seed.phonebooks["MC"] = book(10, true);
    seed.phonebooks["EN"] = book(5, false);
    seed.phonebooks["EN"].entries[1] = PhonebookEntry{"112", 129, ""};
    seed.phonebooks["EN"].entries[2] = PhonebookEntry{"911", 129, ""};
    return seed;
}

bool ParseSeed(std::string_view text, ModemSeed& seed, std::string* error) {
    std::istringstream in{std::string(text)};
    std::string rawLine;
    std::string section;
    int lineNo = 0;
    bool operatorsReset = false;
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = "line " + std::to_string(lineNo) + ": " + why;
        }
        return false;
    };
    while (std::getline(in, rawLine)) {
        ++lineNo;
        const std::string line = Trim(rawLine);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return fail("unterminated section header");
            }
            section = Trim(std::string_view(line).substr(1, line.size() - 2));
            const std::string u = UpperAscii(section);
            if (u != "IDENTITY" && u != "SIM" && u != "STATUS" && u != "BEHAVIOUR" &&
                u != "OPERATORS" && u != "MESSAGES" && u != "CONTEXTS" && u != "FORWARDING" &&
                u.rfind("PHONEBOOK ", 0) != 0) {
                return fail("unknown section [" + section + "]");
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            return fail("expected key = value");
        }
        const std::string key = UpperAscii(Trim(std::string_view(line).substr(0, eq)));
        const std::string value = Trim(std::string_view(line).substr(eq + 1));
        const std::string sec = UpperAscii(section);
        auto setBool = [&](bool& target) {
            const auto b = ParseBool(value);
            if (!b)
                return fail("expected yes or no");
            target = *b;
            return true;
        };
        auto setInt = [&](int& target, int lo, int hi) {
            const auto v = ParseInt(value, lo, hi);
            if (!v)
                return fail("number out of range");
            target = *v;
            return true;
        };
        bool ok = true;
        bool known = true;
        if (sec == "IDENTITY") {
            Identity& id = seed.identity;
            if (key == "MANUFACTURER")
                id.manufacturer = value;
            else if (key == "MODEL")
                id.model = value;
            else if (key == "REVISION")
                id.revision = value;
            else if (key == "IMEI")
                id.imei = value;
            else if (key == "IMSI")
                id.imsi = value;
            else if (key == "OWN_NUMBER")
                id.ownNumber = value;
            else if (key == "VOICE_MAIL")
                id.voiceMail = value;
            else
                known = false;
        } else if (sec == "SIM") {
            SimCodes& sim = seed.sim;
            if (key == "PRESENT")
                ok = setBool(sim.present);
            else if (key == "PIN_ENABLED")
                ok = setBool(sim.pinEnabled);
            else if (key == "PIN")
                sim.pin = value;
            else if (key == "PUK")
                sim.puk = value;
            else if (key == "PIN2")
                sim.pin2 = value;
            else if (key == "PUK2")
                sim.puk2 = value;
            else if (key == "PIN_ATTEMPTS")
                ok = setInt(sim.pinAttempts, 0, 3);
            else if (key == "PUK_ATTEMPTS")
                ok = setInt(sim.pukAttempts, 0, 10);
            else if (key == "PIN2_ATTEMPTS")
                ok = setInt(sim.pin2Attempts, 0, 3);
            else if (key == "PUK2_ATTEMPTS")
                ok = setInt(sim.puk2Attempts, 0, 10);
            else if (key == "PHONE_LOCK")
                ok = setBool(sim.phoneLockEnabled);
            else if (key == "PHONE_CODE")
                sim.phoneCode = value;
            else if (key == "NETWORK_CODE")
                sim.networkCode = value;
            else if (key == "BARRING_PASSWORD")
                sim.barringPassword = value;
            else
                known = false;
        } else if (sec == "STATUS") {
            if (key == "SIGNAL")
                ok = setInt(seed.signal, 0, 99);
            else if (key == "BATTERY")
                ok = setInt(seed.battery, 0, 100);
            else if (key == "CHARGING")
                ok = setBool(seed.charging);
            else if (key == "REGISTERED")
                ok = setBool(seed.registered);
            else if (key == "ROAMING")
                ok = setBool(seed.roaming);
            else if (key == "GPRS")
                ok = setBool(seed.gprsAttached);
            else if (key == "VOLUME")
                ok = setInt(seed.volume, 0, 255);
            else if (key == "SERVICE_CENTRE")
                seed.serviceCentre = value;
            else
                known = false;
        } else if (sec == "BEHAVIOUR") {
            Behaviour& b = seed.behaviour;
            if (key == "ECHO")
                ok = setBool(b.echo);
            else if (key == "CRING")
                ok = setBool(b.cringVoice);
            else if (key == "CPINR")
                ok = setBool(b.pinCountersCpinr);
            else if (key == "PHONEBOOK_BLANK_LINE")
                ok = setBool(b.blankLineInPhonebook);
            else if (key == "EMPTY_SMS_ERROR")
                ok = setBool(b.emptySmsIsError);
            else if (key == "ANSWER_DELAY_MS")
                ok = setInt(b.answerDelayMs, 0, 60000);
            else if (key == "RING_INTERVAL_MS")
                ok = setInt(b.ringIntervalMs, 100, 60000);
            else if (key == "DIAL_TO_ALERT_MS")
                ok = setInt(b.dialToAlertMs, 0, 60000);
            else if (key == "AUTO_ANSWER_MS")
                ok = setInt(b.autoAnswerMs, -1, 600000);
            else if (key == "NETWORK_SCAN_MS")
                ok = setInt(b.networkScanMs, 0, 600000);
            else if (key == "REGISTER_MS")
                ok = setInt(b.registerMs, 0, 600000);
            else if (key == "COPS_ACT")
                ok = setBool(b.copsAccessTechnology);
            else if (key == "UCS2_NUMBERS")
                ok = setBool(b.ucs2Numbers);
            else if (key == "CCFC_EVERY_CLASS")
                ok = setBool(b.forwardingEveryClass);
            else if (key == "CCFC_TIME_REFUSED")
                ok = setBool(b.forwardingTimeRefused);
            else if (key == "CSCS") {
                if (!CharsetByName(value))
                    return fail("expected GSM, IRA, 8859-1 or UCS2");
                b.charset = CharsetName(*CharsetByName(value));
            } else if (key == "CHARSETS") {
                b.charsets.clear();
                std::istringstream names(value);
                std::string name;
                while (names >> name) {
                    if (!CharsetByName(name))
                        return fail("expected GSM, IRA, 8859-1 or UCS2");
                    b.charsets.push_back(CharsetName(*CharsetByName(name)));
                }
                if (b.charsets.empty())
                    return fail("expected GSM, IRA, 8859-1 or UCS2");
            } else if (key == "ESCAPE_GUARD_MS")
                ok = setInt(b.escapeGuardMs, 0, 10000);
            else if (key == "STATUS_REPORT_MS")
                ok = setInt(b.statusReportMs, -1, 600000);
            else if (key == "CMEE")
                ok = setInt(b.cmeeDefault, 0, 2);
            else if (key == "CNMI_ACCEPTED") {
                b.cnmiAccepted.clear();
                std::size_t start = 0;
                while (start <= value.size()) {
                    const std::size_t bar = value.find('|', start);
                    std::string item = Trim(std::string_view(value).substr(
                        start, bar == std::string::npos ? std::string::npos : bar - start));
                    std::string compact;
                    for (const char c : item)
                        if (c != ' ')
                            compact += c;
                    if (!compact.empty())
                        b.cnmiAccepted.insert(compact);
                    if (bar == std::string::npos)
                        break;
                    start = bar + 1;
                }
            } else if (key == "PHONEBOOKS") {
                b.phonebooks.clear();
                std::istringstream names(value);
                std::string name;
                while (names >> name) b.phonebooks.insert(UpperAscii(name));
            } else
                known = false;
        } else if (sec == "OPERATORS") {
            if (key != "OPERATOR") {
                known = false;
            } else {
                // numeric, long name, short name, then flags: forbidden, refuses [CODE],
                // act N, lac HEX, cell HEX.
                const auto f = Fields(value, 64);
                if (f.size() < 3 || f[0].empty())
                    return fail("operator = numeric, long name, short name[, flags]");
                if (!operatorsReset) {
                    seed.operators.clear();
                    operatorsReset = true;
                }
                Operator op;
                op.numeric = f[0];
                op.longName = f[1];
                op.shortName = f[2];
                for (std::size_t i = 3; i < f.size(); ++i) {
                    std::istringstream words(f[i]);
                    std::string flag;
                    std::string arg;
                    words >> flag >> arg;
                    flag = UpperAscii(flag);
                    if (flag == "FORBIDDEN" && arg.empty()) {
                        op.forbidden = true;
                    } else if (flag == "REFUSES") {
                        const auto code =
                            arg.empty() ? std::optional<int>(30) : ParseInt(arg, 1, 1000);
                        if (!code)
                            return fail("refuses [CODE 1..1000]");
                        op.refuseCode = *code;
                    } else if (flag == "ACT") {
                        const auto act = ParseInt(arg, 0, 9);
                        if (!act)
                            return fail("act N (0..9)");
                        op.act = *act;
                    } else if ((flag == "LAC" || flag == "CELL") && !arg.empty() &&
                               arg.size() <= 8 &&
                               arg.find_first_not_of("0123456789ABCDEFabcdef") ==
                                   std::string::npos) {
                        (flag == "LAC" ? op.lac : op.cell) = UpperAscii(arg);
                    } else {
                        return fail("unknown operator flag " + f[i]);
                    }
                }
                seed.operators.push_back(op);
            }
        } else if (sec == "FORWARDING") {
            if (key != "RULE") {
                known = false;
            } else {
                // rule = reason, class, number[, time][, inactive]
                const auto f = Fields(value, 5);
                const auto reason = f.size() >= 3 ? ParseInt(f[0], 0, 3) : std::nullopt;
                const auto classes = f.size() >= 3 ? ParseInt(f[1], 1, 255) : std::nullopt;
                if (!reason || !classes || f[2].empty())
                    return fail("rule = reason 0..3, class 1..255, number[, time][, inactive]");
                int time = 20;
                bool active = true;
                for (std::size_t i = 3; i < f.size(); ++i) {
                    if (UpperAscii(f[i]) == "INACTIVE") {
                        active = false;
                    } else if (const auto t = ParseInt(f[i], 5, 30)) {
                        time = *t;
                    } else {
                        return fail("time 5..30 or inactive");
                    }
                }
                for (int c = 1; c <= 128; c <<= 1) {
                    if ((*classes & c) != 0) {
                        seed.forwarding[*reason][c] =
                            ForwardRule{active, f[2], NumberType(f[2]), time};
                    }
                }
            }
        } else if (sec == "MESSAGES") {
            if (key == "SIM_CAPACITY" || key == "PHONE_CAPACITY" || key == "REPORT_CAPACITY") {
                int cap = 0;
                ok = setInt(cap, 1, 1000);
                (key == "SIM_CAPACITY"     ? seed.simSms
                 : key == "PHONE_CAPACITY" ? seed.phoneSms
                                           : seed.reportSms)
                    .capacity = static_cast<std::size_t>(cap);
            } else if (key == "MESSAGE" || key == "DELIVER") {
                // message = storage, index, status, pdu
                // deliver = storage, index, status, sender, time, text
                const auto f = Fields(value, key == "MESSAGE" ? 4 : 6);
                if ((key == "MESSAGE" && f.size() != 4) || (key == "DELIVER" && f.size() != 6)) {
                    return fail("too few fields");
                }
                const std::string storage = UpperAscii(f[0]);
                SmsMemory* mem = storage == "SM"   ? &seed.simSms
                                 : storage == "ME" ? &seed.phoneSms
                                                   : nullptr;
                const auto index = ParseInt(f[1], 1, 1000);
                const auto status = ParseStatus(f[2]);
                if (mem == nullptr || !index || !status ||
                    static_cast<std::size_t>(*index) > mem->capacity) {
                    return fail("bad storage, index or status");
                }
                std::string pdu = key == "MESSAGE"
                                      ? UpperAscii(f[3])
                                      : EncodeDeliverPdu(seed.serviceCentre, f[3], f[4], f[5]);
                if (pdu.empty() || pdu.size() % 2 != 0 ||
                    pdu.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
                    return fail("bad PDU, sender, time or text");
                }
                mem->slots[*index] = StoredSms{*status, pdu};
            } else {
                known = false;
            }
        } else if (sec.rfind("PHONEBOOK ", 0) == 0) {
            const std::string name = Trim(std::string_view(sec).substr(10));
            Phonebook& pb = seed.phonebooks[name];
            if (key == "CAPACITY")
                ok = setInt(pb.capacity, 1, 1000);
            else if (key == "NUMBER_LENGTH")
                ok = setInt(pb.numberLength, 1, 80);
            else if (key == "NAME_LENGTH")
                ok = setInt(pb.nameLength, 1, 80);
            else if (key == "WRITABLE")
                ok = setBool(pb.writable);
            else if (key == "ENTRY") {
                const auto f = Fields(value, 3);
                const auto index = f.empty() ? std::nullopt : ParseInt(f[0], 1, 1000);
                if (f.size() < 2 || !index || *index > pb.capacity) {
                    return fail("entry = index, number[, name] within the capacity");
                }
                const std::string number = f[1];
                pb.entries[*index] =
                    PhonebookEntry{number, NumberType(number), f.size() > 2 ? f[2] : ""};
            } else
                known = false;
        } else if (sec == "CONTEXTS") {
            if (key != "CONTEXT") {
                known = false;
            } else {
                const auto f = Fields(value, 3);
                const auto cid = f.empty() ? std::nullopt : ParseInt(f[0], 1, 10);
                if (f.size() != 3 || !cid)
                    return fail("context = cid, type, apn");
                seed.contexts[*cid] = PdpContext{UpperAscii(f[1]), f[2]};
            }
        } else {
            return fail("unknown section [" + section + "]");
        }
        if (!ok) {
            return false;
        }
        if (!known) {
            return fail("unknown key " + key);
        }
    }
    return true;
}

bool LoadSeedFile(const std::string& path, ModemSeed& seed, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr)
            *error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseSeed(text.str(), seed, error);
}

}  // namespace qvl::sim

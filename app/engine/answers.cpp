#include "app/engine/answers.h"

#include <limits>

namespace qvl {
namespace {

constexpr auto npos = std::u16string_view::npos;

// Find that tolerates a start beyond the end.
std::size_t FindFrom(std::u16string_view text, std::u16string_view what, std::size_t from) {
    if (from > text.size()) {
        return npos;
    }
    return text.find(what, from);
}

// The text from `from` up to the next `end`, or nothing when either is missing.
std::optional<std::u16string_view> Between(std::u16string_view text, std::size_t from,
                                           std::u16string_view end) {
    const std::size_t stop = FindFrom(text, end, from);
    if (stop == npos) {
        return std::nullopt;
    }
    return text.substr(from, stop - from);
}

// The text from `from` up to the next escaped line end, or to the end of a cut-off answer.
std::u16string_view RestOfLine(std::u16string_view text, std::size_t from) {
    if (from > text.size()) {
        return {};
    }
    const std::size_t stop = text.find(kEscCrLf, from);
    return text.substr(from, stop == npos ? npos : stop - from);
}

std::optional<std::int32_t> ReadOptInt(std::optional<std::u16string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    return ReadInt(*text);
}

}  // namespace

bool Contains(std::u16string_view text, std::u16string_view what) {
    return text.find(what) != npos;
}

std::optional<std::int32_t> ReadInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == u' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    const std::size_t firstDigit = i;
    std::int64_t value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i] - u'0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            return std::nullopt;
        }
        ++i;
    }
    if (i == firstDigit) {
        return std::nullopt;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    // The leading number is what counts, as the modem's own C conversions read it; a trailing
    // field ("5,\"00C3\"") is ignored.
    return static_cast<std::int32_t>(value);
}

std::optional<PinCounters> ParseCpinc(std::u16string_view answer) {
    if (Contains(answer, u"ERROR")) {
        return std::nullopt;
    }
    const std::size_t at = answer.find(u"CPINC: ");
    if (at == npos) {
        return std::nullopt;
    }
    std::u16string_view rest = RestOfLine(answer, at + 7);
    int values[4] = {};
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = rest.find(u',');
        if (k < 3 && comma == npos) {
            return std::nullopt;
        }
        const auto v = ReadInt(rest.substr(0, comma));
        if (!v) {
            return std::nullopt;
        }
        values[k] = *v;
        rest = comma == npos ? std::u16string_view{} : rest.substr(comma + 1);
    }
    return PinCounters{values[0], values[1], values[2], values[3]};
}

int ParseClckState(std::u16string_view answer) {
    if (!Contains(answer, u"OK")) {
        return -1;
    }
    const std::size_t at = answer.find(u"+CLCK: ");
    if (at == npos || at + 7 >= answer.size()) {
        return -1;
    }
    switch (answer[at + 7]) {
        case u'1':
            return 1;
        case u'0':
            return 0;
        default:
            return -1;
    }
}

std::optional<std::u16string> ParseCopsName(std::u16string_view answer) {
    // A network list ("+COPS: (2,...") that arrived late from a search is no operator name.
    std::size_t at = answer.find(u"+COPS:");
    while (at != npos) {
        std::size_t next = at + 6;
        while (next < answer.size() && answer[next] == u' ') {
            ++next;
        }
        if (next >= answer.size() || answer[next] != u'(') {
            break;
        }
        at = FindFrom(answer, u"+COPS:", next);
    }
    if (at == npos) {
        return std::nullopt;
    }
    const std::u16string_view rest = answer.substr(at);
    if (rest.size() < 22) {
        return std::nullopt;
    }
    const std::size_t open = rest.find(u'"');
    if (open == npos) {
        return std::nullopt;
    }
    const auto name = Between(rest, open + 1, u"\"");
    if (!name) {
        return std::nullopt;
    }
    return std::u16string(*name);
}

bool IsNumericOperatorName(std::u16string_view name) {
    if (name.empty()) {
        return true;
    }
    const char16_t c = name.front();
    return !((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'));
}

std::int64_t ParseCopsNumeric(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+COPS:");
    if (at == npos) {
        return -1;
    }
    const std::u16string_view rest = answer.substr(at);
    if (rest.size() <= 21) {
        return -1;
    }
    const std::size_t open = rest.find(u'"');
    if (open == npos) {
        return -1;
    }
    const auto code = ReadOptInt(Between(rest, open + 1, u"\""));
    return code && *code >= 0 ? *code : -1;
}

int ParseSignalBars(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CSQ: ");
    if (at == npos) {
        return 0;
    }
    const auto rssi = ReadOptInt(Between(answer, at + 6, u","));
    if (!rssi || *rssi == 99 || *rssi < 0) {
        return 0;
    }
    const int bars = *rssi / 8 + 1;
    return bars > 4 ? 4 : bars;
}

int ParseGprsAttached(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CGATT: ");
    if (at == npos) {
        return 0;
    }
    const auto value = ReadOptInt(Between(answer, at + 8, kEscCrLf));
    return value && *value != 0 ? 1 : 0;
}

int ParseMailboxFull(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CPMS: \"");
    if (at == npos) {
        return 0;
    }
    const std::size_t sm = FindFrom(answer, u"SM\",", at + 8);
    if (sm == npos) {
        return 0;
    }
    const std::size_t usedStart = sm + 4;
    const std::size_t usedEnd = FindFrom(answer, u",", usedStart);
    if (usedEnd == npos) {
        return 0;
    }
    const auto used = ReadInt(answer.substr(usedStart, usedEnd - usedStart));
    auto totalText = Between(answer, usedEnd + 1, u",\"");
    if (!totalText) {
        totalText = Between(answer, usedEnd + 1, kEscCrLf);
    }
    const auto total = ReadOptInt(totalText);
    // A store of no size is not "full": that answer is malformed, not a reason for a warning.
    if (!used || !total || *total <= 0) {
        return 0;
    }
    return *used >= *total ? 1 : 0;
}

int ParseRoaming(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CREG: ");
    if (at == npos) {
        return 0;
    }
    const std::size_t comma = FindFrom(answer, u",", at + 7);
    if (comma == npos) {
        return 0;
    }
    const auto stat = ReadOptInt(Between(answer, comma + 1, kEscCrLf));
    return stat && *stat == 5 ? 1 : 0;
}

int VolumeLevelFromClvl(std::int64_t clvl) {
    if (clvl < 25) {
        return 0;
    }
    if (clvl < 75) {
        return 1;
    }
    if (clvl < 125) {
        return 2;
    }
    if (clvl < 180) {
        return 3;
    }
    if (clvl < 225) {
        return 4;
    }
    return 5;
}

int ParseVolumeLevel(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CLVL: ");
    if (at == npos) {
        return 0;
    }
    const auto value = ReadOptInt(Between(answer, at + 7, kEscCrLf));
    return value ? VolumeLevelFromClvl(*value) : 0;
}

DivertAnswer ParseCcfc(std::u16string_view answer) {
    if (!Contains(answer, u"+CCFC:") || !Contains(answer, kEscOk)) {
        return {};
    }
    if (Contains(answer, u"+CCFC: 0,")) {
        return {};
    }
    const std::size_t active = answer.find(u"+CCFC: 1,");
    if (active == npos) {
        return {};
    }
    const std::size_t quote = FindFrom(answer, u",\"", active);
    if (quote == npos) {
        return {};
    }
    const auto number = Between(answer, quote + 2, u"\",");
    if (!number) {
        return {};
    }
    return {true, std::u16string(*number)};
}

namespace {

// One "+CLCC: " line (without the prefix); nothing when a piece is missing.
std::optional<CallEntry> ParseClccLine(std::u16string_view line) {
    CallEntry call;
    std::int32_t* fields[3] = {&call.index, &call.direction, &call.state};
    std::size_t pos = 0;
    for (std::int32_t* field : fields) {
        const std::size_t comma = FindFrom(line, u",", pos);
        if (comma == npos) {
            return std::nullopt;
        }
        const auto v = ReadInt(line.substr(pos, comma - pos));
        if (!v) {
            return std::nullopt;
        }
        *field = *v;
        pos = comma + 1;
    }
    const std::size_t modeEnd = FindFrom(line, u",", pos);
    if (modeEnd == npos) {
        return std::nullopt;
    }
    pos = modeEnd + 1;
    const std::size_t numberStart = FindFrom(line, u",\"", pos);
    if (numberStart == npos) {
        return std::nullopt;
    }
    const auto mpty = ReadInt(line.substr(pos, numberStart - pos));
    if (!mpty) {
        return std::nullopt;
    }
    call.multiparty = *mpty;
    const auto number = Between(line, numberStart + 2, u"\",");
    if (!number) {
        return std::nullopt;
    }
    call.number = std::u16string(*number);
    return call;
}

}  // namespace

std::optional<std::vector<CallEntry>> ParseClcc(std::u16string_view answer) {
    if (!Contains(answer, kEscOk)) {
        return std::nullopt;
    }
    std::vector<CallEntry> calls;
    constexpr std::u16string_view kPrefix = u"+CLCC: ";
    std::size_t pos = 0;
    while ((pos = FindFrom(answer, kPrefix, pos)) != npos) {
        pos += kPrefix.size();
        // Each call is read within its own line, so that a call reported without a number
        // cannot borrow the number of the call on the next line.
        const std::u16string_view line = RestOfLine(answer, pos);
        if (auto call = ParseClccLine(line)) {
            calls.push_back(std::move(*call));
        }
        pos += line.size();
    }
    return calls;
}

bool ContainsRing(std::u16string_view answer) {
    if (Contains(answer, u"+CRING:")) {
        return true;
    }
    constexpr std::u16string_view kRing = u"RING";
    for (std::size_t at = answer.find(kRing); at != npos; at = FindFrom(answer, kRing, at + 1)) {
        const bool lineStart = at == 0 || answer.substr(0, at).ends_with(u"\\n");
        const std::size_t end = at + kRing.size();
        const bool lineEnd = end == answer.size() || answer.substr(end).starts_with(u"\\r");
        if (lineStart && lineEnd) {
            return true;
        }
    }
    return false;
}

std::int64_t ParseCmtiIndex(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CMTI");
    if (at == npos) {
        return -1;
    }
    const std::size_t quote = FindFrom(answer, u"\",", at);
    if (quote == npos) {
        return -1;
    }
    const auto index = ReadInt(RestOfLine(answer, quote + 2));
    return index && *index >= 0 ? *index : -1;
}

std::int64_t ParseCssuCode(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CSSU:");
    if (at == npos) {
        return -1;
    }
    const auto code = ReadInt(RestOfLine(answer, at + 7));
    return code ? *code : -1;
}

std::u16string ParseClipNumber(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CLIP:");
    if (at == npos) {
        return {};
    }
    const std::size_t open = FindFrom(answer, u"\"", at);
    if (open == npos) {
        return {};
    }
    const auto number = Between(answer, open + 1, u"\"");
    return number ? std::u16string(*number) : std::u16string{};
}

std::optional<std::u16string> ParseCcwaNumber(std::u16string_view answer) {
    const std::size_t at = answer.find(u"\\r\\n+CCWA: \"");
    if (at == npos) {
        return std::nullopt;
    }
    const auto number = Between(answer, at + 12, u"\"");
    if (!number) {
        return std::nullopt;
    }
    return std::u16string(*number);
}

std::u16string ExtractCdsPdu(std::u16string_view answer) {
    const std::size_t at = answer.find(u"+CDS:");
    if (at == npos) {
        return {};
    }
    const std::size_t lineEnd = FindFrom(answer, kEscCrLf, at + 4);
    if (lineEnd == npos) {
        return {};
    }
    return std::u16string(RestOfLine(answer, lineEnd + 4));
}

int BatteryLevelFromStatus(const PowerStatus& status) {
    if (status.charging || status.acOnline) {
        return 5;
    }
    if (status.percent == 255 || status.percent < 0) {
        return 1;
    }
    const int level = status.percent / 25 + 1;
    return level > 4 ? 4 : level;
}

const char* DialerEventName(DialerEvent event) {
    switch (event) {
        case DialerEvent::CfCardError:
            return "DM_CF_CARD_ERROR";
        case DialerEvent::Searching:
            return "DM_SEARCHING";
        case DialerEvent::Operator:
            return "DM_OPERATOR";
        case DialerEvent::IncomingCall:
            return "DM_INCOMING_CALL";
        case DialerEvent::CallMissed:
            return "DM_CALL_MISSED";
        case DialerEvent::PinCanceled:
            return "DM_PIN_CANCELED";
        case DialerEvent::SimBlocked:
            return "DM_SIM_BLOCKED";
        case DialerEvent::Signal:
            return "DM_SIGNAL";
        case DialerEvent::Battery:
            return "DM_BATTERY";
        case DialerEvent::NewSms:
            return "DM_NEW_SMS";
        case DialerEvent::GprsAttach:
            return "DM_GPRS_ATTACH";
        case DialerEvent::MailboxFull:
            return "DM_MAILBOX_FULL";
        case DialerEvent::Roaming:
            return "DM_ROAMING";
        case DialerEvent::Volume:
            return "DM_VOLUME";
        case DialerEvent::SuppService:
            return "DM_SUPP_SERVICE";
        case DialerEvent::NoCarrier:
            return "DM_NO_CARRIER";
        case DialerEvent::CallWaiting:
            return "DM_CALL_WAITING";
        case DialerEvent::NoSim:
            return "DM_NO_SIM";
        case DialerEvent::Diverted:
            return "DM_DIVERTED";
        case DialerEvent::NotDiverted:
            return "DM_NOT_DIVERTED";
        case DialerEvent::CallConnected:
            return "DM_CALL_CONNECTED";
        case DialerEvent::StatusReport:
            return "DM_STATUS_REPORT";
        case DialerEvent::PortError:
            return "DM_PORT_ERROR";
    }
    return "DM_?";
}

}  // namespace qvl

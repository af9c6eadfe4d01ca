#include "app/engine/answers.h"

#include <limits>

#include "base/atcursor.h"
#include "base/text.h"

namespace qvl {
namespace {

constexpr auto npos = std::u16string_view::npos;

// The last field of a line counts only when the line was not cut off (a number cut short by a
// read that timed out is a different number); a field followed by another is whole.
bool NextWholeInt(AtCursor& c, std::int64_t& value, std::int64_t lo = INT32_MIN,
                  std::int64_t hi = INT32_MAX) {
    if (!c.NextInt(value, lo, hi)) {
        return false;
    }
    return !c.AtLineEnd() || c.LineTerminated();
}

// The operator field of a "+COPS: <mode>,<format>,"<oper>"" line that was not cut off. A
// network list ("+COPS: (2,...") that arrived late from a search is no operator name.
std::optional<std::u16string> CopsOperator(std::u16string_view answer) {
    constexpr std::u16string_view kPrefix = u"+COPS:";
    AtCursor c(answer);
    while (c.FindLine(kPrefix)) {
        const std::u16string_view line = c.Line();
        const std::size_t first = line.find_first_not_of(u' ', kPrefix.size());
        if (first != npos && line[first] == u'(') {
            continue;
        }
        std::u16string oper;
        if (!c.Skip() || !c.Skip() || !c.NextString(oper) || !c.LineTerminated()) {
            return std::nullopt;
        }
        return oper;
    }
    return std::nullopt;
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

CpinState ParseCpinState(std::u16string_view answer) {
    if (IsErrorResult(ReadFinalResult(answer).result)) {
        return CpinState::Error;
    }
    AtCursor c(answer);
    if (!c.FindFirstLine(u"+CPIN:")) {
        return CpinState::Unknown;
    }
    const std::u16string_view code = c.RestOfLine();
    if (Contains(code, u"READY")) {
        return CpinState::Ready;
    }
    // The phone code: "ME-CODE", or GSM 07.07's "PH-SIM PIN", which holds "SIM PIN" and so is
    // tested first.
    if (Contains(code, u"ME-CODE") || Contains(code, u"PH-SIM PIN")) {
        return CpinState::PhoneCode;
    }
    if (Contains(code, u"SIM PIN")) {
        return CpinState::SimPin;
    }
    if (Contains(code, u"SIM PUK")) {
        return CpinState::SimPuk;
    }
    if (Contains(code, u"BLOCKED")) {
        return CpinState::Blocked;
    }
    return CpinState::Unknown;
}

std::optional<PinCounters> ParseCpinc(std::u16string_view answer) {
    if (IsErrorResult(ReadFinalResult(answer).result)) {
        return std::nullopt;
    }
    AtCursor c(answer);
    std::int64_t v[4] = {};
    if (!c.FindFirstLine(u"+CPINC:") || !c.NextInt(v[0]) || !c.NextInt(v[1]) || !c.NextInt(v[2]) ||
        !NextWholeInt(c, v[3])) {
        return std::nullopt;
    }
    return PinCounters{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                       static_cast<int>(v[3])};
}

int ParseClckState(std::u16string_view answer) {
    AtCursor c(answer);
    std::int64_t status = 0;
    if (!AnsweredOk(answer) || !c.FindFirstLine(u"+CLCK:") || !NextWholeInt(c, status)) {
        return -1;
    }
    return status == 0 || status == 1 ? static_cast<int>(status) : -1;
}

std::optional<std::u16string> ParseCopsName(std::u16string_view answer) {
    return CopsOperator(answer);
}

bool IsNumericOperatorName(std::u16string_view name) {
    if (name.empty()) {
        return true;
    }
    const char16_t c = name.front();
    return !((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'));
}

std::int64_t ParseCopsNumeric(std::u16string_view answer) {
    const auto oper = CopsOperator(answer);
    if (!oper) {
        return -1;
    }
    const auto code = ParseDecimal(*oper, 0, INT32_MAX);
    return code ? *code : -1;
}

int ParseSignalBars(std::u16string_view answer) {
    AtCursor c(answer);
    std::int64_t rssi = 0;
    std::int64_t ber = 0;
    // Both fields of "+CSQ: <rssi>,<ber>": an answer without the second is not one.
    if (!c.FindFirstLine(u"+CSQ:") || !c.NextInt(rssi) || !NextWholeInt(c, ber) || rssi == 99 ||
        rssi < 0) {
        return 0;
    }
    const int bars = static_cast<int>(rssi / 8 + 1);
    return bars > 4 ? 4 : bars;
}

int ParseGprsAttached(std::u16string_view answer) {
    AtCursor c(answer);
    std::int64_t state = 0;
    if (!c.FindFirstLine(u"+CGATT:") || !NextWholeInt(c, state)) {
        return 0;
    }
    return state != 0 ? 1 : 0;
}

int ParseMailboxFull(std::u16string_view answer) {
    // "+CPMS: <mem1>,<used1>,<total1>[,<mem2>,...]": the SIM store is the first one named "SM".
    AtCursor c(answer);
    if (!c.FindFirstLine(u"+CPMS:")) {
        return 0;
    }
    for (;;) {
        std::u16string memory;
        std::int64_t used = 0;
        std::int64_t total = 0;
        if (!c.NextString(memory) || !c.NextInt(used) || !NextWholeInt(c, total)) {
            return 0;
        }
        if (memory == u"SM") {
            // A store of no size is not "full": that answer is malformed, not a reason for a
            // warning.
            return total > 0 && used >= total ? 1 : 0;
        }
    }
}

int ParseRoaming(std::u16string_view answer) {
    AtCursor c(answer);
    std::int64_t stat = 0;
    if (!c.FindFirstLine(u"+CREG:") || !c.Skip() || !NextWholeInt(c, stat)) {
        return 0;
    }
    return stat == 5 ? 1 : 0;
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
    AtCursor c(answer);
    std::int64_t value = 0;
    if (!c.FindFirstLine(u"+CLVL:") || !NextWholeInt(c, value)) {
        return 0;
    }
    return VolumeLevelFromClvl(value);
}

DivertAnswer ParseCcfc(std::u16string_view answer) {
    // "+CCFC: <status>,<class>[,"<number>",<type>]", one line per class. A line with status 0
    // means forwarding is off; otherwise the first active line with a number tells where to.
    if (!AnsweredOk(answer)) {
        return {};
    }
    AtCursor c(answer);
    DivertAnswer result;
    while (c.FindLine(u"+CCFC:")) {
        std::int64_t status = 0;
        if (!c.NextInt(status)) {
            continue;
        }
        if (status == 0) {
            return {};
        }
        std::u16string number;
        if (status == 1 && !result.diverted && c.Skip() && c.NextString(number)) {
            result = {true, std::move(number)};
        }
    }
    return result;
}

std::optional<std::vector<CallEntry>> ParseClcc(std::u16string_view answer) {
    if (!AnsweredOk(answer)) {
        return std::nullopt;
    }
    // "+CLCC: <id>,<dir>,<stat>,<mode>,<mpty>,"<number>",<type>": each call is read within its
    // own line, so that a call reported without a number cannot borrow the number of the call
    // on the next line; a line missing a piece is skipped.
    std::vector<CallEntry> calls;
    AtCursor c(answer);
    while (c.FindLine(u"+CLCC:")) {
        CallEntry call;
        if (c.NextInt(call.index) && c.NextInt(call.direction) && c.NextInt(call.state) &&
            c.Skip() && c.NextInt(call.multiparty) && c.NextString(call.number)) {
            calls.push_back(std::move(call));
        }
    }
    return calls;
}

bool ContainsRing(std::u16string_view answer) {
    // A line that is exactly "RING" (the end of a cut-off read counts as a line end), or a
    // "+CRING:" line.
    AtCursor c(answer);
    while (c.NextLine()) {
        if (c.Line() == u"RING" || c.Line().starts_with(u"+CRING:")) {
            return true;
        }
    }
    return false;
}

std::int64_t ParseCmtiIndex(std::u16string_view answer) {
    AtCursor c(answer);
    std::u16string memory;
    std::int64_t index = 0;
    if (!c.FindFirstLine(u"+CMTI:") || !c.NextString(memory) ||
        !NextWholeInt(c, index, 0, INT32_MAX)) {
        return -1;
    }
    return index;
}

std::int64_t ParseCssuCode(std::u16string_view answer) {
    AtCursor c(answer);
    std::int64_t code = 0;
    if (!c.FindFirstLine(u"+CSSU:") || !NextWholeInt(c, code)) {
        return -1;
    }
    return code;
}

std::u16string ParseClipNumber(std::u16string_view answer) {
    AtCursor c(answer);
    std::u16string number;
    if (!c.FindFirstLine(u"+CLIP:") || !c.NextString(number)) {
        return {};
    }
    return number;
}

std::optional<std::u16string> ParseCcwaNumber(std::u16string_view answer) {
    AtCursor c(answer);
    std::u16string number;
    if (!c.FindFirstLine(u"+CCWA:") || !c.NextString(number)) {
        return std::nullopt;
    }
    return number;
}

std::u16string ExtractCdsPdu(std::u16string_view answer) {
    // "+CDS: <length>" and the PDU on the next line.
    AtCursor c(answer);
    std::u16string pdu;
    if (!c.FindFirstLine(u"+CDS:") || !c.NextLine() || !c.NextHexString(pdu)) {
        return {};
    }
    return pdu;
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

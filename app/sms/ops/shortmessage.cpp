// CShortMessage: SMS operations over the AT command channel.
#include "app/sms/ops/shortmessage.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unordered_map>

#include "app/sms/settings/smssettings.h"
#include "app/sms/store/messageops.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/sync.h"

namespace qvl::sms {
namespace {

// Escaped response-text literals (CR and LF are backslash-r and backslash-n).
constexpr std::u16string_view kOk = u"\\r\\nOK\\r\\n";
constexpr std::u16string_view kError = u"\\r\\nERROR\\r\\n";
constexpr std::u16string_view kCrLf = u"\\r\\n";
constexpr std::uint32_t kTimeout = 3000;
constexpr std::uint32_t kLongTimeout = 10000;
// Bounds on what a modem's counts may make us do.
constexpr int kMaxLocations = 1000;
// Locations in a row that get no answer at all before the copy counts the modem as gone.
constexpr int kMaxSilentLocations = 3;

bool Has(std::u16string_view text, std::u16string_view what, std::size_t from = 0) {
    return from <= text.size() && text.find(what, from) != std::u16string_view::npos;
}

std::u16string Number(int n) {
    return Widen(std::to_string(n));
}

std::string HexOf(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '0');
    }
    return out;
}

// The decimal number at pos (after optional spaces), or -1.
int NumberAt(std::u16string_view text, std::size_t pos, std::size_t* end = nullptr) {
    while (pos < text.size() && text[pos] == u' ') {
        ++pos;
    }
    std::size_t e = pos;
    while (e < text.size() && e - pos < 6 && text[e] >= u'0' && text[e] <= u'9') {
        ++e;
    }
    if (end != nullptr) {
        *end = e;
    }
    if (e == pos) {
        return -1;
    }
    return static_cast<int>(*ParseDecimal(text.substr(pos, e - pos), 0, 999999));
}

}  // namespace

CShortMessage::CShortMessage(const CModemPort& port, IUnsolicitedHandler* unsolicited, UiPorts ui)
    : m_port(port), m_unsolicited(unsolicited), m_ui(ui) {}

void CShortMessage::Progress(int textId, int position) {
    if (m_ui.progress != nullptr) {
        m_ui.progress->SetText(LoadLocalString(textId), position);
    }
    m_ui.Pump();
}

void CShortMessage::ProgressFormatted(int textId, int a, int b) {
    if (m_ui.progress == nullptr) {
        return;
    }
    // The texts carry two "%d" in this order ("Sending %d of %d long message parts..").
    std::u16string format = LoadLocalString(textId);
    std::u16string out;
    int used = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u'd' && used < 2) {
            out += Number(used == 0 ? a : b);
            ++used;
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    m_ui.progress->SetText(out, -1);
    m_ui.Pump();
}

bool CShortMessage::Canceled() const {
    return m_ui.progress != nullptr && m_ui.progress->IsCanceled();
}

bool CShortMessage::SmsTransact(std::u16string_view command, std::uint32_t timeoutMs) {
    if (!AcquirePort(m_port)) {
        return false;
    }
    std::u16string answer;
    const bool ok =
        Transact(m_port.handle, std::u16string(command) + u"\r", timeoutMs, answer, m_unsolicited);
    response += answer;
    if (!ok) {
        response += u"Port Write Error";
    }
    ReleasePort(m_port.mutex);
    return ok;
}

bool CShortMessage::SmsExchange(std::u16string_view command, std::uint32_t timeoutMs) {
    if (!IsPortOpen(m_port.handle) ||
        PortWrite(m_port.handle, std::u16string(command) + u"\r") != 0) {
        response += u"Port Write Error";
        return false;
    }
    PortRead(m_port.handle, response, timeoutMs);
    return true;
}

bool CShortMessage::SmsExchangePrompt(std::u16string_view command, std::uint32_t timeoutMs) {
    if (!IsPortOpen(m_port.handle) ||
        PortWrite(m_port.handle, std::u16string(command) + u"\r") != 0) {
        response += u"Port Write Error";
        return false;
    }
    // The "> " prompt ends with no final result code; rather than waiting out the whole idle
    // time, short reads are made until the prompt, a result or the time limit is seen.
    const std::size_t mark = response.size();
    const std::uint32_t start = TickCount();
    std::uint8_t buffer[kReadChunkBytes + 1];
    while (TickCount() - start < timeoutMs) {
        std::size_t count = kReadChunkBytes;
        PortReadRaw(m_port.handle, buffer, count, 50);
        AppendResponseText(response, buffer, count);
        const std::u16string_view got = std::u16string_view(response).substr(mark);
        if (got.find(u"> ") != std::u16string_view::npos ||
            got.find(u"ERROR") != std::u16string_view::npos ||
            got.find(kOk) != std::u16string_view::npos) {
            break;
        }
        m_ui.Pump();
    }
    return true;
}

bool CShortMessage::SmsExchangeLong(std::u16string_view raw) {
    if (!IsPortOpen(m_port.handle) || PortWrite(m_port.handle, raw) != 0) {
        response += u"Port Write Error";
        return false;
    }
    PortRead(m_port.handle, response, kLongTimeout);
    return true;
}

int CShortMessage::SendPdu(const SmsPart& part, SmsCoding coding, int sendAs, int bearer) {
    const std::string pdu = BuildSubmitPdu(
        number, part.userData, part.udl, static_cast<SendAs>(std::clamp(sendAs, 0, 3)), part.header,
        GetStatusReport() ? StatusReport::kWanted : StatusReport::kNotWanted, GetValidityPeriod(),
        coding);
    const std::u16string wide = Widen(pdu);
    const std::u16string length = Widen(PduLength(pdu));
    response.clear();
    if (!SmsExchange(u"AT+CMGF=0", kTimeout)) {
        return 0;
    }
    std::size_t mark = response.size();
    SmsExchange(bearer == 1 ? u"AT+CGSMS=2" : u"AT+CGSMS=3", kTimeout);
    if (!Has(response, u"OK", mark) && IsPortOpen(m_port.handle)) {
        std::u16string dropped;
        PortRead(m_port.handle, dropped, kTimeout);
    }
    mark = response.size();
    if (!SmsExchangePrompt(u"AT+CMGS=" + length, kTimeout)) {
        return 0;
    }
    // Without the prompt the PDU would be taken for a command line: that try is over.
    if (Has(response, u"> ", mark)) {
        // Only the answer to the PDU itself tells whether the message went: an OK of an
        // earlier command in the same response must not count.
        mark = response.size();
        if (!SmsExchange(wide + u"\x1A", kTimeout)) {
            return 0;
        }
        if (!Has(response, kOk, mark)) {
            PortRead(m_port.handle, response, kTimeout);
        }
        if (Has(response, kOk, mark)) {
            return 1;
        }
    }
    // One more try, with the PDU and the end character written apart.
    response.clear();
    if (!SmsExchangePrompt(u"AT+CMGS=" + length, kTimeout) || !Has(response, u"> ")) {
        return 0;
    }
    mark = response.size();
    if (!SmsExchange(wide, kTimeout) || !SmsExchangeLong(u"\x1A")) {
        return 0;
    }
    if (!Has(response, kOk, mark)) {
        PortRead(m_port.handle, response, kTimeout);
    }
    return Has(response, kOk, mark) ? 1 : 0;
}

int CShortMessage::SendText() {
    Progress(kMsgPreparing);
    const int sendAs = GetSendAs();
    const int bearer = SendUsingForSend();
    const int reference = GetLongSmsReference();
    const SmsSplit split = SplitText(text, reference);
    if (split.parts.empty()) {
        return 0;  // more than 255 parts
    }
    if (!AcquirePort(m_port)) {
        return 0;
    }
    int result = 1;
    const int total = static_cast<int>(split.parts.size());
    if (total == 1) {
        Progress(kMsgSending);
        result = SendPdu(split.parts[0], split.coding, sendAs, bearer);
    } else {
        for (int k = 1; k <= total; ++k) {
            if (Canceled()) {
                result = 0;
                break;
            }
            ProgressFormatted(kMsgSendingParts, k, total);
            if (SendPdu(split.parts[static_cast<std::size_t>(k - 1)], split.coding, sendAs,
                        bearer) == 0) {
                result = 0;
                break;
            }
        }
        if (result == 1) {
            StoreNextLongSmsReference(reference);
        }
    }
    ReleasePort(m_port.mutex);
    return result;
}

bool ParseCmgrAnswer(std::u16string_view r, std::size_t from, SmsPduInfo& info) {
    if (from > r.size()) {
        return false;
    }
    const auto tag = r.find(u"+CMGR: ", from);
    if (tag == std::u16string_view::npos) {
        return false;
    }
    const std::size_t start = tag + 7;
    auto end = r.find(u"\\r\\n\\r\\nOK\\r\\n", start);
    if (end == std::u16string_view::npos) {
        end = r.find(kOk, start);
    }
    if (end == std::u16string_view::npos) {
        return false;
    }
    const int stat = NumberAt(r, start);
    const auto lineEnd = r.find(kCrLf, start);
    if (lineEnd == std::u16string_view::npos || lineEnd + 4 > end) {
        return false;
    }
    std::u16string_view pdu = r.substr(lineEnd + 4, end - (lineEnd + 4));
    pdu = pdu.substr(0, pdu.find(u'\\'));
    const std::string tpdu = StripServiceCentre(HexOf(pdu));
    info = (stat == 2 || stat == 3) ? DecodeSubmitPdu(tpdu) : DecodeDeliverPdu(tpdu);
    info.status = stat < 0 ? 0 : stat;
    return true;
}

int ParseCpmsAnswer(std::u16string_view r, std::size_t from, int& total) {
    total = 0;
    if (from > r.size()) {
        return -1;
    }
    const auto tag = r.find(u"+CPMS: \"", from);
    if (tag == std::u16string_view::npos) {
        return -1;
    }
    const auto quote = r.find(u"\",", tag + 8);
    if (quote == std::u16string_view::npos) {
        return -1;
    }
    std::size_t after = 0;
    const int used = NumberAt(r, quote + 2, &after);
    if (used < 0 || after >= r.size() || r[after] != u',') {
        return -1;
    }
    total = std::max(0, NumberAt(r, after + 1));
    return used;
}

int CShortMessage::CountStorage(std::u16string_view storage, int& total) {
    total = 0;
    Progress(storage == u"SM" ? kMsgCountSim : kMsgCountModem);
    response.clear();
    if (!SmsTransact(u"AT+CPMS=\"" + std::u16string(storage) + u"\"", kTimeout) ||
        !Has(response, kOk)) {
        return -1;
    }
    const std::size_t mark = response.size();
    if (!SmsTransact(u"AT+CPMS?", kTimeout)) {
        return -1;
    }
    return ParseCpmsAnswer(response, mark, total);
}

int CShortMessage::CountMessages() {
    int total = 0;
    int sum = 0;
    for (auto storage : {u"SM", u"ME"}) {
        const int used = CountStorage(storage, total);
        if (used < 0) {
            break;
        }
        sum += used;
    }
    return sum;
}

namespace {

// The key under which the parts of one long message are found: reference, sender and part
// number.
struct PartKey {
    int reference = 0;
    int sequence = 0;
    std::u16string_view number;
    bool operator==(const PartKey&) const = default;
};

struct PartKeyHash {
    std::size_t operator()(const PartKey& k) const {
        return std::hash<std::u16string_view>()(k.number) * 1000003u ^
               static_cast<std::size_t>(k.reference * 256 + k.sequence);
    }
};

}  // namespace

void AppendReadMessages(CRecordStore& store, const std::vector<SmsPduInfo>& table) {
    auto append = [&store](const SmsPduInfo& m, std::u16string messageText) {
        SmsRecord r;
        r.folder = m.status;
        r.number = m.number;
        r.time = m.time;
        r.text = std::move(messageText);
        store.Append(std::move(r));
    };
    for (const auto& m : table) {
        if (m.graphic == 0 && m.concatenated == 0) {
            append(m, m.text);
        }
    }
    // The parts of long messages, chained in table order under their key; a part is taken
    // from the front of its chain, so each lookup finds the first part not yet used.
    constexpr std::size_t kEnd = static_cast<std::size_t>(-1);
    std::unordered_map<PartKey, std::size_t, PartKeyHash> first;
    first.reserve(table.size());
    std::vector<std::size_t> next(table.size(), kEnd);
    for (std::size_t i = table.size(); i-- > 0;) {
        const auto& p = table[i];
        if (p.graphic == 0 && p.concatenated != 0) {
            auto [it, added] = first.try_emplace(PartKey{p.reference, p.sequence, p.number}, i);
            if (!added) {
                next[i] = it->second;
                it->second = i;
            }
        }
    }
    std::vector<bool> used(table.size(), false);
    auto take = [&](const PartKey& key) -> const SmsPduInfo* {
        const auto it = first.find(key);
        if (it == first.end()) {
            return nullptr;
        }
        std::size_t& head = it->second;
        while (head != kEnd && used[head]) {
            head = next[head];
        }
        if (head == kEnd) {
            return nullptr;
        }
        const std::size_t i = head;
        head = next[i];
        used[i] = true;
        return &table[i];
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& m = table[i];
        if (m.graphic != 0 || m.concatenated == 0 || used[i]) {
            continue;
        }
        std::u16string joined;
        for (int seq = 1; seq <= m.total; ++seq) {
            const SmsPduInfo* part = take(PartKey{m.reference, seq, m.number});
            joined += part != nullptr ? std::u16string_view(part->text) : kMissingPartText;
        }
        used[i] = true;
        append(m, std::move(joined));
    }
    for (const auto& m : table) {
        if (m.graphic != 0) {
            append(m, std::u16string(kGraphicListText));
        }
    }
}

int CShortMessage::CopyFromPhone(CRecordStore& store, const std::string& path, bool notices) {
    (void)notices;
    // A store that may not be written over is not filled: what is read could not be kept, and
    // nothing may then be deleted from the phone.
    if (!store.CanSave(path)) {
        store.Save(path);  // refused: the user learns that nothing was kept
        return 0;
    }
    Progress(kMsgReceivingCount);
    const int count = std::min(CountMessages(), kMaxLocations);
    if (count <= 0) {
        return 0;
    }
    std::vector<SmsPduInfo> table;
    table.reserve(static_cast<std::size_t>(count) * 2);
    bool modemGone = false;
    response.clear();
    if (SmsTransact(u"AT+CMGF=0", kTimeout)) {
        for (int storage = 1; storage <= 2 && static_cast<int>(table.size()) < count; ++storage) {
            if (Canceled() || modemGone) {
                break;
            }
            Progress(storage == 1 ? kMsgReceivingSim : kMsgReceivingModem);
            int locations = 0;
            const int used = CountStorage(storage == 1 ? u"SM" : u"ME", locations);
            if (used <= 0) {
                continue;
            }
            if (m_ui.progress != nullptr) {
                m_ui.progress->Create(0, used, 0, true);
            }
            int found = 0;
            int silent = 0;
            locations = std::min(locations, kMaxLocations);
            for (int loc = 1; loc <= locations && found < used; ++loc) {
                if (Canceled()) {
                    break;
                }
                response.clear();
                if (!SmsTransact(u"AT+CMGR=" + Number(loc), kLongTimeout)) {
                    modemGone = true;
                    break;
                }
                // An empty location still answers (OK or an error); a modem that answers
                // nothing at all several times running has stopped, and waiting out every
                // further location would take minutes.
                if (response.empty()) {
                    if (++silent >= kMaxSilentLocations) {
                        modemGone = true;
                        break;
                    }
                    continue;
                }
                silent = 0;
                SmsPduInfo info;
                if (!ParseCmgrAnswer(response, 0, info)) {
                    continue;
                }
                info.index = loc;
                info.storage = storage;
                table.push_back(std::move(info));
                ++found;
                Progress(storage == 1 ? kMsgReceivingSim : kMsgReceivingModem, found);
            }
        }
    }
    if (table.empty()) {
        return 0;
    }

    // One save for the whole copy, so the ".bak" copy holds the store as it was before.
    Progress(kMsgProcessing);
    Progress(kMsgConcatenating);
    AppendReadMessages(store, table);
    Progress(kMsgStoring);
    if (!store.Save(path)) {
        if (m_ui.messages != nullptr) {
            m_ui.messages->ShowMessage(LoadLocalString(kMsgCopyNotSaved), u"", MsgButtons::Ok,
                                       MsgIcon::Warning);
        }
        return 0;
    }
    Progress(kMsgPictures);

    // Deleted only now that the file holds every message read, and not from a modem that has
    // stopped answering.
    const int mode = modemGone ? 0 : GetDeleteSms();
    bool remove = mode == 2;
    if (mode == 1 && m_ui.messages != nullptr) {
        remove = m_ui.messages->ShowMessage(LoadLocalString(kMsgAskDelete), u"", MsgButtons::YesNo,
                                            MsgIcon::Question) == MsgAnswer::Yes;
    }
    if (remove) {
        Progress(kMsgDeleting);
        int current = 0;
        for (const auto& m : table) {
            if (m.graphic != 0) {
                continue;  // picture messages stay on the phone
            }
            if (m.storage != current) {
                SmsTransact(m.storage == 1 ? u"AT+CPMS=\"SM\"" : u"AT+CPMS=\"ME\"", kTimeout);
                current = m.storage;
            }
            SmsTransact(u"AT+CMGD=" + Number(m.index), kTimeout);
        }
    }
    return static_cast<int>(table.size());
}

int CShortMessage::ReadMessage() {
    Progress(kMsgReceiving);
    response.clear();
    if (!SmsTransact(u"AT+CMGF=0", kTimeout)) {
        return 0;
    }
    const std::size_t mark = response.size();
    if (!SmsTransact(u"AT+CMGR=" + Number(index), kTimeout)) {
        return 0;
    }
    Progress(kMsgParsing);
    SmsPduInfo info;
    if (ParseCmgrAnswer(response, mark, info)) {
        number = info.number;
        text = info.text;
        time = info.time;
        status = info.status;
    }
    return 1;
}

int CShortMessage::DeleteMessage() {
    Progress(kMsgDeletingOne);
    response.clear();
    if (!SmsTransact(u"AT+CMGF=0", kTimeout)) {
        return 0;
    }
    const std::size_t mark = response.size();
    if (!SmsTransact(u"AT+CMGD=" + Number(index), kTimeout)) {
        return 0;
    }
    return Has(response, kOk, mark) ? 1 : 0;
}

int CShortMessage::ExportToPhone(std::u16string_view toNumber, std::u16string_view messageText,
                                 std::u16string_view timeText) {
    Progress(kMsgPreparing);
    const bool received = !timeText.empty();
    const int reference = GetLongSmsReference();
    const SmsSplit split = SplitText(messageText, reference);
    if (split.parts.empty()) {
        return 0;
    }
    const int total = static_cast<int>(split.parts.size());
    for (int k = 1; k <= total; ++k) {
        if (total > 1) {
            if (Canceled()) {
                return 0;
            }
            ProgressFormatted(kMsgExportingParts, k, total);
        } else {
            Progress(kMsgExporting);
        }
        const SmsPart& part = split.parts[static_cast<std::size_t>(k - 1)];
        const std::string pdu =
            received ? BuildDeliverPdu(toNumber, timeText, part.userData, part.udl, part.header,
                                       split.coding)
                     : BuildSubmitPdu(
                           toNumber, part.userData, part.udl, SendAs::kText, part.header,
                           GetStatusReport() ? StatusReport::kWanted : StatusReport::kNotWanted,
                           GetValidityPeriod(), split.coding);
        if (!AcquirePort(m_port)) {
            return 0;
        }
        response.clear();
        bool ok = SmsExchange(u"AT+CMGF=0", kTimeout) &&
                  SmsExchangePrompt(
                      u"AT+CMGW=" + Widen(PduLength(pdu)) + (received ? u",1" : u",3"), kTimeout);
        ok = ok && Has(response, u"> ");
        const std::size_t mark = response.size();
        ok = ok && SmsExchange(Widen(pdu) + u"\x1A", kTimeout);
        if (ok && !Has(response, kOk, mark)) {
            PortRead(m_port.handle, response, kTimeout);
        }
        ReleasePort(m_port.mutex);
        // A part the phone did not store (+CMS ERROR, no answer) fails the export.
        if (!ok || !Has(response, kOk, mark)) {
            return 0;
        }
    }
    if (total > 1) {
        StoreNextLongSmsReference(reference);
    }
    return 1;
}

std::u16string CShortMessage::GetServiceCentre() {
    Progress(kMsgGettingSc);
    std::u16string centre;
    for (int attempt = 0; attempt < 4; ++attempt) {
        response.clear();
        if (!SmsTransact(u"AT+CSCA?", kTimeout)) {
            break;
        }
        const auto tag = response.find(u"+CSCA: \"");
        if (!Has(response, kError) && tag != std::u16string::npos) {
            const auto start = tag + 8;
            const auto quote = response.find(u'"', start);
            centre = response.substr(
                start, quote == std::u16string::npos ? std::u16string::npos : quote - start);
            break;
        }
    }
    if (!centre.empty() && centre[0] != u'+') {
        centre.insert(centre.begin(), u'+');
    }
    return centre;
}

int CShortMessage::SetServiceCentre(std::u16string_view centre) {
    Progress(kMsgSettingSc);
    response.clear();
    if (!SmsTransact(u"AT+CSCA=\"" + std::u16string(centre) + u"\"", kTimeout) ||
        Has(response, kError) || !Has(response, kOk)) {
        return 0;
    }
    return SmsTransact(u"AT+CSAS", kTimeout) ? 1 : 0;
}

int CShortMessage::GetSmsService() {
    Progress(kMsgGettingService);
    response.clear();
    if (!SmsTransact(u"AT+CGSMS?", kTimeout)) {
        return 0;
    }
    const auto tag = response.find(u"+CGSMS:");
    if (tag == std::u16string::npos) {
        return -1;
    }
    return NumberAt(response, tag + 7);
}

int CShortMessage::SetSmsService(int value) {
    Progress(kMsgSettingService);
    response.clear();
    if (!SmsTransact(u"AT+CGSMS=" + Number(value), kTimeout)) {
        return 0;
    }
    return !Has(response, kError) && Has(response, kOk) ? 1 : 0;
}

SmsStatusReport CShortMessage::ParseStatusReport(std::u16string_view answer) {
    const auto tag = answer.find(u"+CDS:");
    if (tag == std::u16string_view::npos) {
        return {};
    }
    const auto crlf = answer.find(kCrLf, tag + 4);
    if (crlf == std::u16string_view::npos) {
        return {};
    }
    std::u16string_view pdu = answer.substr(crlf + 4);
    pdu = pdu.substr(0, pdu.find(u'\\'));
    return DecodeStatusReportPdu(HexOf(pdu));
}

int SendToRecipients(const CModemPort& port, IUnsolicitedHandler* unsolicited, UiPorts ui,
                     std::u16string_view to, std::u16string_view messageText,
                     const std::string& path) {
    int reached = 0;
    std::size_t pos = 0;
    while (pos <= to.size()) {
        auto semi = to.find(u';', pos);
        if (semi == std::u16string_view::npos) {
            semi = to.size();
        }
        const std::u16string recipient = TrimText(to.substr(pos, semi - pos));
        pos = semi + 1;
        if (recipient.empty()) {
            continue;
        }
        CShortMessage sms(port, unsolicited, ui);
        sms.number = recipient;
        sms.text = std::u16string(messageText);
        const int sent = sms.SendText();
        reached += sent;
        if (ui.messages != nullptr) {
            ui.messages->ShowMessage(
                LoadLocalString(sent ? kMsgSentOk : kMsgSendFailed) + u" <" + recipient + u">", u"",
                MsgButtons::Ok, MsgIcon::Information);
        }
        ChangeFile(path, [&](CRecordStore& store) {
            SaveMessageIn(store, recipient, messageText, sent ? kFolderOutSent : kFolderOutUnsent);
            return true;
        });
    }
    return reached;
}

}  // namespace qvl::sms

// CShortMessage: SMS operations over the AT command channel, through the phone engine.
#include "app/sms/ops/shortmessage.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <unordered_map>

#include "app/engine/phoneengine.h"
#include "app/sms/settings/smssettings.h"
#include "app/sms/store/messageops.h"
#include "base/atcursor.h"
#include "base/checks.h"
#include "base/finalresult.h"
#include "base/text.h"
#include "common/lang/lang.h"

namespace qvl::sms {
namespace {

constexpr std::uint32_t kTimeout = 3000;
constexpr std::uint32_t kLongTimeout = 10000;
// The "> " prompt of AT+CMGS and AT+CMGW ends with no final result code, so reading for it in
// one piece would wait out the whole idle time; it is read in slices of this length.
constexpr std::uint32_t kPromptSliceMs = 50;
// Bounds on what a modem's counts may make us do.
constexpr int kMaxLocations = 1000;
// Locations in a row that get no answer at all before the copy counts the modem as gone.
constexpr int kMaxSilentLocations = 3;

bool Has(std::u16string_view text, std::u16string_view what, std::size_t from = 0) {
    return from <= text.size() && text.find(what, from) != std::u16string_view::npos;
}

// The answer from `from` on; empty when from lies past its end.
std::u16string_view From(std::u16string_view answer, std::size_t from) {
    return from <= answer.size() ? answer.substr(from) : std::u16string_view();
}

// The final result code of what was read since `from`: only the answer to the command sent
// last counts, not an OK of an earlier one in the same response.
FinalResult ResultAfter(std::u16string_view answer, std::size_t from = 0) {
    return ReadFinalResult(From(answer, from)).result;
}

bool IsError(FinalResult result) {
    return result == FinalResult::Error || result == FinalResult::CmeError ||
           result == FinalResult::CmsError;
}

bool OkAfter(std::u16string_view answer, std::size_t from = 0) {
    return ResultAfter(answer, from) == FinalResult::Ok;
}

std::u16string Number(int n) {
    return Widen(std::to_string(n));
}

std::string Narrow(std::u16string_view hexDigits) {
    return std::string(hexDigits.begin(), hexDigits.end());
}

}  // namespace

bool ParseCmgrAnswer(std::u16string_view answer, std::size_t from, SmsPduInfo& info) {
    if (from > answer.size()) {
        return false;
    }
    AtCursor cursor(From(answer, from));
    if (!cursor.FindLine(u"+CMGR:")) {
        return false;
    }
    int stat = -1;
    if (!cursor.NextInt(stat, 0, 999999)) {
        stat = -1;
    }
    std::u16string pdu;
    // The PDU is the whole next line, and the answer must be complete (a final OK).
    if (!cursor.NextLine() || !cursor.NextHexString(pdu) || !cursor.AtLineEnd() ||
        !cursor.FindLine(u"OK") || cursor.Line() != u"OK") {
        return false;
    }
    const std::string tpdu = StripServiceCentre(Narrow(pdu));
    info = (stat == 2 || stat == 3) ? DecodeSubmitPdu(tpdu) : DecodeDeliverPdu(tpdu);
    info.status = stat < 0 ? 0 : stat;
    return true;
}

int ParseCpmsAnswer(std::u16string_view answer, std::size_t from, int& total) {
    total = 0;
    AtCursor cursor(From(answer, from));
    std::u16string memory;
    int used = 0;
    int locations = 0;
    if (!cursor.FindLine(u"+CPMS:") || !cursor.NextString(memory) ||
        !cursor.NextInt(used, 0, 999999) || !cursor.NextInt(locations, 0, 999999)) {
        return -1;
    }
    total = locations;
    return used;
}

std::optional<std::u16string> ParseCscaAnswer(std::u16string_view answer, std::size_t from) {
    AtCursor cursor(From(answer, from));
    std::u16string centre;
    if (!cursor.FindLine(u"+CSCA:") || !cursor.NextString(centre)) {
        return std::nullopt;
    }
    return centre;
}

int ParseCgsmsAnswer(std::u16string_view answer, std::size_t from) {
    AtCursor cursor(From(answer, from));
    int service = -1;
    // The value ends the line: a line cut off by a time-out may have lost some of its digits.
    if (!cursor.FindLine(u"+CGSMS:") || !cursor.NextInt(service, 0, 999999) ||
        !cursor.LineTerminated()) {
        return -1;
    }
    return service;
}

CShortMessage::CShortMessage(CPhoneEngine& engine, UiPorts ui) : m_engine(engine), m_ui(ui) {}

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

bool CShortMessage::Exchange(std::u16string_view command, std::uint32_t timeoutMs, bool dispatch) {
    std::u16string answer;
    if (!m_engine.Exchange(command, timeoutMs, answer, dispatch ? Dispatch::Yes : Dispatch::No)) {
        response += u"Port Write Error";
        return false;
    }
    response += answer;
    return true;
}

bool CShortMessage::SmsTransact(std::u16string_view command, std::uint32_t timeoutMs) {
    if (!m_engine.AcquirePort()) {
        return false;
    }
    const bool ok = Exchange(std::u16string(command) + u"\r", timeoutMs, true);
    m_engine.ReleasePort();
    return ok;
}

bool CShortMessage::SmsExchange(std::u16string_view command, std::uint32_t timeoutMs) {
    return Exchange(std::u16string(command) + u"\r", timeoutMs, false);
}

bool CShortMessage::SmsExchangePrompt(std::u16string_view command, std::uint32_t timeoutMs) {
    const std::size_t mark = response.size();
    if (!Exchange(std::u16string(command) + u"\r", kPromptSliceMs, false)) {
        return false;
    }
    // Each slice waits for the line to be idle that long, so the passes add up to at least the
    // caller's time-out when the modem says nothing.
    const std::uint32_t passes = std::max<std::uint32_t>(1, timeoutMs / kPromptSliceMs);
    for (std::uint32_t pass = 1; pass < passes; ++pass) {
        const std::u16string_view got = From(response, mark);
        if (got.find(u"> ") != std::u16string_view::npos ||
            ReadFinalResult(got).result != FinalResult::None) {
            break;
        }
        m_ui.Pump();
        m_engine.ReadMore(response, kPromptSliceMs);
    }
    return true;
}

bool CShortMessage::SmsExchangeLong(std::u16string_view raw) {
    return Exchange(raw, kLongTimeout, false);
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
    if (!OkAfter(response, mark)) {
        std::u16string dropped;
        m_engine.ReadMore(dropped, kTimeout);
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
        if (ResultAfter(response, mark) == FinalResult::None) {
            m_engine.ReadMore(response, kTimeout);
        }
        if (OkAfter(response, mark)) {
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
    if (ResultAfter(response, mark) == FinalResult::None) {
        m_engine.ReadMore(response, kTimeout);
    }
    return OkAfter(response, mark) ? 1 : 0;
}

int CShortMessage::SendText() {
    Progress(kMsgPreparing);
    // The number goes into the PDU's address field: anything but an address is refused here,
    // before the port is even taken.
    if (!IsSmsAddress(number)) {
        return 0;
    }
    const int sendAs = GetSendAs();
    const int bearer = SendUsingForSend();
    const int reference = GetLongSmsReference();
    const SmsSplit split = SplitText(text, reference);
    if (split.parts.empty()) {
        return 0;  // more than 255 parts
    }
    if (!m_engine.AcquirePort()) {
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
    m_engine.ReleasePort();
    return result;
}

int CShortMessage::CountStorage(std::u16string_view storage, int& total) {
    total = 0;
    Progress(storage == u"SM" ? kMsgCountSim : kMsgCountModem);
    response.clear();
    if (!SmsTransact(u"AT+CPMS=\"" + std::u16string(storage) + u"\"", kTimeout) ||
        !OkAfter(response)) {
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
    // The progress window this copy opens closes when the copy ends, on every path (a
    // canceled read, a failed save, nothing found): left open it stays on top of the screens.
    struct CloseProgress {
        IProgressWindow* progress;
        ~CloseProgress() {
            if (progress != nullptr) {
                progress->Close();
            }
        }
    } closeProgress{m_ui.progress};
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
    return OkAfter(response, mark) ? 1 : 0;
}

int CShortMessage::ExportToPhone(std::u16string_view toNumber, std::u16string_view messageText,
                                 std::u16string_view timeText) {
    Progress(kMsgPreparing);
    if (!IsSmsAddress(toNumber)) {
        return 0;  // goes into the PDU's address field
    }
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
        if (!m_engine.AcquirePort()) {
            return 0;
        }
        response.clear();
        bool ok = SmsExchange(u"AT+CMGF=0", kTimeout) &&
                  SmsExchangePrompt(
                      u"AT+CMGW=" + Widen(PduLength(pdu)) + (received ? u",1" : u",3"), kTimeout);
        ok = ok && Has(response, u"> ");
        const std::size_t mark = response.size();
        ok = ok && SmsExchange(Widen(pdu) + u"\x1A", kTimeout);
        if (ok && ResultAfter(response, mark) == FinalResult::None) {
            m_engine.ReadMore(response, kTimeout);
        }
        m_engine.ReleasePort();
        // A part the phone did not store (+CMS ERROR, no answer) fails the export.
        if (!ok || !OkAfter(response, mark)) {
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
        const auto found = ParseCscaAnswer(response, 0);
        if (!IsError(ResultAfter(response)) && found) {
            centre = *found;
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
    // The number is put between the quotes of the command: only an address may go there.
    if (!IsSmsAddress(centre)) {
        return 0;
    }
    if (!SmsTransact(u"AT+CSCA=\"" + std::u16string(centre) + u"\"", kTimeout) ||
        !OkAfter(response)) {
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
    return ParseCgsmsAnswer(response, 0);
}

int CShortMessage::SetSmsService(int value) {
    Progress(kMsgSettingService);
    response.clear();
    if (!SmsTransact(u"AT+CGSMS=" + Number(value), kTimeout)) {
        return 0;
    }
    return OkAfter(response) ? 1 : 0;
}

SmsStatusReport CShortMessage::ParseStatusReport(std::u16string_view answer) {
    AtCursor cursor(answer);
    std::u16string pdu;
    // The PDU is the line after the "+CDS:" line.
    if (!cursor.FindLine(u"+CDS:") || !cursor.NextLine() || !cursor.NextHexString(pdu)) {
        return {};
    }
    return DecodeStatusReportPdu(Narrow(pdu));
}

int SendToRecipients(CPhoneEngine& engine, UiPorts ui, std::u16string_view to,
                     std::u16string_view messageText, const std::string& path) {
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
        CShortMessage sms(engine, ui);
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

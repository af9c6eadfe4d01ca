#include "app/sms/ui/enginesmsmodem.h"

#include <mutex>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/codec/smscodec.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smssettingsvalues.h"
#include "common/lang/lang.h"

namespace qvl::smsui {

using namespace qvl::keys;

namespace {

// Escaped response text: CR and LF appear as the two characters "\r" and "\n".
constexpr std::u16string_view kOk = u"\\r\\nOK\\r\\n";
constexpr std::u16string_view kError = u"\\r\\nERROR\\r\\n";
constexpr std::u16string_view kLineEnd = u"\\r\\n";

constexpr int kMsgPreparing = 5167;
constexpr int kMsgSendingPart = 5168;
constexpr int kMsgSending = 5169;
constexpr int kMsgCounting = 5172;
constexpr int kMsgFromSim = 5173;
constexpr int kMsgFromModem = 5174;
constexpr int kMsgProcessing = 5176;
constexpr int kMsgConcatenating = 5177;
constexpr int kMsgAskDeleteFromPhone = 5140;
constexpr int kMsgDeleting = 5180;
constexpr int kMsgExportingPart = 5221;
constexpr int kMsgExporting = 5222;
constexpr int kMsgGettingSc = 5184;
constexpr int kMsgSettingSc = 5185;

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// The decimal number at pos (after blanks); -1 when there is none. pos moves past it.
int ReadNumber(std::u16string_view text, std::size_t& pos) {
    while (pos < text.size() && text[pos] == u' ') {
        ++pos;
    }
    int value = -1;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9' && value < 100000000) {
        value = (value < 0 ? 0 : value * 10) + (text[pos] - u'0');
        ++pos;
    }
    return value;
}

// "+CPMS: "SM",used,total,...": the used and total counts of the first memory.
bool ParseCpms(std::u16string_view response, int& used, int& total) {
    std::size_t pos = response.find(u"+CPMS: \"");
    if (pos == std::u16string_view::npos) {
        return false;
    }
    pos = response.find(u"\",", pos + 8);
    if (pos == std::u16string_view::npos) {
        return false;
    }
    pos += 2;
    used = ReadNumber(response, pos);
    if (used < 0 || pos >= response.size() || response[pos] != u',') {
        return false;
    }
    ++pos;
    total = ReadNumber(response, pos);
    return total >= 0;
}

// "+CMGR: stat,,length\r\nPDU\r\n": the status and the PDU without its service-centre field.
bool ParseCmgr(std::u16string_view response, int& status, std::string& tpdu) {
    std::size_t pos = response.find(u"+CMGR: ");
    if (pos == std::u16string_view::npos) {
        return false;
    }
    pos += 7;
    status = ReadNumber(response, pos);
    const std::size_t line = response.find(kLineEnd, pos);
    if (status < 0 || line == std::u16string_view::npos) {
        return false;
    }
    const std::size_t start = line + kLineEnd.size();
    std::size_t end = response.find(kLineEnd, start);
    if (end == std::u16string_view::npos) {
        end = response.size();
    }
    std::string hex;
    for (std::size_t i = start; i < end; ++i) {
        const char16_t c = response[i];
        if (c < 0x80) {
            hex.push_back(static_cast<char>(c));
        }
    }
    tpdu = sms::StripServiceCentre(hex);
    return !tpdu.empty();
}

std::uint32_t NextReference(std::uint32_t reference) {
    return reference + 1 > 255 ? 1 : reference + 1;
}

}  // namespace

// The session lock and busy flag for one operation, so the poll step stays out meanwhile.
class CEngineSmsModem::Session {
public:
    explicit Session(CPhoneEngine& engine) : m_engine(engine), m_lock(engine.SessionLock()) {
        m_wasBusy = m_engine.m_busy;
        m_engine.m_busy = 1;
    }
    ~Session() { m_engine.m_busy = m_wasBusy; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    CPhoneEngine& m_engine;
    std::lock_guard<std::recursive_mutex> m_lock;
    int m_wasBusy = 0;
};

CEngineSmsModem::CEngineSmsModem(CPhoneEngine& engine, UiPorts ui) : m_engine(engine), m_ui(ui) {}

bool CEngineSmsModem::Command(std::u16string_view command, std::u16string& response,
                              std::uint32_t timeoutMs) {
    std::u16string line(command);
    line += u'\r';
    return m_engine.Exchange(line, timeoutMs, response, Dispatch::Yes);
}

void CEngineSmsModem::Progress(int textId, int position) {
    if (m_ui.progress != nullptr) {
        m_ui.progress->SetText(LoadLocalString(textId), position);
    }
    m_ui.Pump();
}

bool CEngineSmsModem::WritePdu(std::u16string_view command, const std::string& pdu) {
    std::u16string response;
    // The modem answers the command with the "> " prompt. A modem that refused the command
    // instead ("ERROR", "+CMS ERROR") waits for no PDU: one written now would be taken as the
    // start of the next command line and spoil it, so the attempt ends here.
    std::u16string line(command);
    line += u'\r';
    if (!m_engine.Exchange(line, m_promptWaitMs, response, Dispatch::No) ||
        response.find(u"ERROR") != std::u16string::npos) {
        return false;
    }
    std::u16string body = Ascii(pdu);
    body += u'\x1A';
    if (!m_engine.Exchange(body, 10000, response, Dispatch::No)) {
        return false;
    }
    if (response.find(kOk) == std::u16string::npos) {
        std::u16string more;
        m_engine.Ports().io->Read(m_engine.m_port.handle, more, 3000);
        response += more;
    }
    return response.find(kOk) != std::u16string::npos;
}

int CEngineSmsModem::SendText(std::u16string_view number, std::u16string_view text) {
    Session session(m_engine);
    const SmsSettingsValues settings = ReadSmsSettings();
    const auto sendAs = static_cast<sms::SendAs>(settings.sendAs <= 3 ? settings.sendAs : 0);
    const std::uint32_t reference = ReadSettingNumber(
        kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference, kDefaultLongSmsReference);
    const auto pdus = sms::BuildSubmitPdus(
        number, text, static_cast<int>(reference & 0xFF), sendAs,
        settings.statusReport != 0 ? sms::StatusReport::kWanted : sms::StatusReport::kNotWanted,
        static_cast<int>(settings.validityPeriod & 0xFF));
    if (pdus.empty()) {
        return 0;
    }
    Progress(kMsgPreparing);
    if (!m_engine.AcquirePort()) {
        return 0;
    }
    std::u16string response;
    bool ok = Command(u"AT+CMGF=0", response);
    if (ok) {
        // Bearer: 1 GPRS preferred ("AT+CGSMS=2"), otherwise circuit switched preferred. Its
        // answer does not stop the send.
        Command(settings.sendUsing == 1 ? u"AT+CGSMS=2" : u"AT+CGSMS=3", response);
    }
    const int parts = static_cast<int>(pdus.size());
    for (int k = 0; ok && k < parts; ++k) {
        if (parts == 1) {
            Progress(kMsgSending);
        } else {
            Progress(kMsgSendingPart);
            if (m_ui.progress != nullptr) {
                std::u16string t = LoadLocalString(kMsgSendingPart);
                const auto first = t.find(u"%d");
                if (first != std::u16string::npos) {
                    t.replace(first, 2, Ascii(std::to_string(k + 1)));
                    const auto second = t.find(u"%d");
                    if (second != std::u16string::npos) {
                        t.replace(second, 2, Ascii(std::to_string(parts)));
                    }
                }
                m_ui.progress->SetText(t, -1);
            }
        }
        const std::string& pdu = pdus[static_cast<std::size_t>(k)];
        const std::u16string cmgs = u"AT+CMGS=" + Ascii(sms::PduLength(pdu));
        // A modem that missed the first attempt gets one more.
        ok = WritePdu(cmgs, pdu) || WritePdu(cmgs, pdu);
    }
    m_engine.ReleasePort();
    if (ok && parts > 1) {
        WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference,
                           NextReference(reference));
    }
    return ok ? 1 : 0;
}

int CEngineSmsModem::CopyFromPhone(sms::CRecordStore& store, bool notices) {
    Session session(m_engine);
    if (m_ui.progress != nullptr) {
        m_ui.progress->Create(0, 100, -1, true);
        m_ui.progress->Show(true);
    }
    Progress(kMsgCounting);
    std::vector<sms::SmsPduInfo> table;
    std::u16string response;
    if (m_engine.AcquirePort() && Command(u"AT+CMGF=0", response)) {
        struct Memory {
            const char16_t* select;
            int storage;
            int textId;
        };
        static constexpr Memory kMemories[] = {{u"AT+CPMS=\"SM\"", 1, kMsgFromSim},
                                               {u"AT+CPMS=\"ME\"", 2, kMsgFromModem}};
        for (const Memory& memory : kMemories) {
            if (m_ui.progress != nullptr && m_ui.progress->IsCanceled()) {
                break;
            }
            int used = 0;
            int total = 0;
            if (!Command(memory.select, response) || response.find(kOk) == std::u16string::npos ||
                !Command(u"AT+CPMS?", response) || !ParseCpms(response, used, total) ||
                used <= 0) {
                continue;
            }
            Progress(memory.textId, 0);
            if (m_ui.progress != nullptr) {
                m_ui.progress->Create(0, used, 0, true);
            }
            int found = 0;
            for (int location = 1; location <= total && found < used; ++location) {
                if (m_ui.progress != nullptr && m_ui.progress->IsCanceled()) {
                    break;
                }
                // A failed exchange ends this memory; what was read so far is kept.
                if (!Command(u"AT+CMGR=" + Ascii(std::to_string(location)), response, 10000)) {
                    break;
                }
                int status = 0;
                std::string tpdu;
                if (!ParseCmgr(response, status, tpdu)) {
                    continue;  // an empty location
                }
                sms::SmsPduInfo info = status == 2 || status == 3 ? sms::DecodeSubmitPdu(tpdu)
                                                                  : sms::DecodeDeliverPdu(tpdu);
                info.index = location;
                info.status = status;
                info.storage = memory.storage;
                table.push_back(std::move(info));
                ++found;
                Progress(memory.textId, found);
            }
        }
    }
    m_engine.ReleasePort();

    Progress(kMsgProcessing);
    auto append = [&store](const sms::SmsPduInfo& info, std::u16string text) {
        sms::SmsRecord record;
        record.folder = info.status >= 0 && info.status <= 3 ? info.status : sms::kFolderInUnread;
        record.number = info.number;
        record.time = info.time;
        record.text = std::move(text);
        store.Append(std::move(record));
    };
    for (const auto& info : table) {
        if (info.graphic == 0 && info.concatenated == 0) {
            append(info, info.text);
        }
    }
    Progress(kMsgConcatenating);
    std::vector<bool> used(table.size(), false);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& first = table[i];
        if (first.graphic != 0 || first.concatenated == 0 || used[i]) {
            continue;
        }
        std::u16string joined;
        for (int sequence = 1; sequence <= first.total; ++sequence) {
            bool found = false;
            for (std::size_t j = 0; j < table.size(); ++j) {
                const auto& part = table[j];
                if (!used[j] && part.graphic == 0 && part.concatenated != 0 &&
                    part.reference == first.reference && part.number == first.number &&
                    part.sequence == sequence) {
                    joined += part.text;
                    used[j] = true;
                    found = true;
                    break;
                }
            }
            if (!found) {
                joined += u"<>";
            }
        }
        used[i] = true;
        append(first, std::move(joined));
    }
    for (const auto& info : table) {
        if (info.graphic != 0) {
            append(info, u"<Message contains graphic objects>");
        }
    }

    const std::uint32_t deleteSms = ReadSmsSettings().deleteSms;
    bool remove = deleteSms == 2;
    if (deleteSms == 1 && !table.empty()) {
        remove = m_ui.messages != nullptr &&
                 m_ui.messages->ShowMessage(LoadLocalString(kMsgAskDeleteFromPhone), u"",
                                            MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::Yes;
    }
    (void)notices;
    if (remove && !table.empty() && m_engine.AcquirePort()) {
        Progress(kMsgDeleting);
        int storage = 0;
        for (const auto& info : table) {
            if (info.graphic != 0) {
                continue;  // picture messages stay on the phone
            }
            if (info.storage != storage) {
                storage = info.storage;
                Command(storage == 1 ? u"AT+CPMS=\"SM\"" : u"AT+CPMS=\"ME\"", response);
            }
            Command(u"AT+CMGD=" + Ascii(std::to_string(info.index)), response);
        }
        m_engine.ReleasePort();
    }
    if (m_ui.progress != nullptr) {
        m_ui.progress->Close();
        m_ui.progress->Destroy();
    }
    return static_cast<int>(table.size());
}

int CEngineSmsModem::ExportToPhone(std::u16string_view number, std::u16string_view text,
                                   std::u16string_view time) {
    Session session(m_engine);
    const std::uint32_t reference = ReadSettingNumber(
        kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference, kDefaultLongSmsReference);
    const bool received = !time.empty();
    const auto pdus =
        received ? sms::BuildDeliverPdus(number, time, text, static_cast<int>(reference & 0xFF))
                 : sms::BuildSubmitPdus(number, text, static_cast<int>(reference & 0xFF),
                                        sms::SendAs::kText, sms::StatusReport::kNotWanted);
    if (pdus.empty()) {
        return 0;
    }
    Progress(pdus.size() == 1 ? kMsgExporting : kMsgExportingPart);
    if (!m_engine.AcquirePort()) {
        return 0;
    }
    std::u16string response;
    bool ok = Command(u"AT+CMGF=0", response);
    for (std::size_t k = 0; ok && k < pdus.size(); ++k) {
        ok = WritePdu(u"AT+CMGW=" + Ascii(sms::PduLength(pdus[k])) + (received ? u",1" : u",3"),
                      pdus[k]);
    }
    m_engine.ReleasePort();
    if (ok && pdus.size() > 1) {
        WriteSettingNumber(kRootLocalMachine, kKeySmsSettings, kValueLongSmsReference,
                           NextReference(reference));
    }
    return ok ? 1 : 0;
}

std::u16string CEngineSmsModem::GetServiceCentre() {
    Session session(m_engine);
    Progress(kMsgGettingSc);
    std::u16string number;
    std::u16string response;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!m_engine.AcquirePort()) {
            break;
        }
        const bool exchanged = Command(u"AT+CSCA?", response);
        m_engine.ReleasePort();
        if (!exchanged) {
            break;
        }
        const std::size_t pos = response.find(u"+CSCA: \"");
        if (response.find(kError) == std::u16string::npos && pos != std::u16string::npos) {
            const std::size_t start = pos + 8;
            const std::size_t end = response.find(u'"', start);
            number = response.substr(start, end == std::u16string::npos ? 0 : end - start);
            break;
        }
    }
    if (!number.empty() && number[0] != u'+') {
        number.insert(number.begin(), u'+');
    }
    return number;
}

int CEngineSmsModem::SetServiceCentre(std::u16string_view number) {
    Session session(m_engine);
    Progress(kMsgSettingSc);
    if (!m_engine.AcquirePort()) {
        return 0;
    }
    std::u16string response;
    std::u16string command = u"AT+CSCA=\"";
    command += number;
    command += u'"';
    bool ok = Command(command, response) && response.find(kError) == std::u16string::npos;
    if (ok) {
        ok = Command(u"AT+CSAS", response);
    }
    m_engine.ReleasePort();
    return ok ? 1 : 0;
}

int CEngineSmsModem::GetSmsService() {
    Session session(m_engine);
    if (!m_engine.AcquirePort()) {
        return -1;
    }
    std::u16string response;
    const bool exchanged = Command(u"AT+CGSMS?", response);
    m_engine.ReleasePort();
    if (!exchanged) {
        return 0;
    }
    std::size_t pos = response.find(u"+CGSMS: ");
    if (pos == std::u16string::npos) {
        return -1;
    }
    pos += 8;
    return ReadNumber(response, pos);
}

}  // namespace qvl::smsui

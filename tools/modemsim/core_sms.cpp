// Short messages in PDU mode (GSM 07.05): storage selection and counts (AT+CPMS), reading,
// listing and deleting, sending and writing through the "> " prompt, new-message
// indications (AT+CNMI, +CMTI, +CMT, +CDS) and the service-centre address.
#include <algorithm>
#include <ctime>

#include "tools/modemsim/modem_core.h"
#include "tools/modemsim/seed.h"

namespace qvl::sim {

namespace {

constexpr int kMaxTpduOctets = 176;

// Upper-case hex of a PDU, or empty when it is not an even run of hex digits.
std::string NormalizeHex(std::string_view hex) {
    if (hex.empty() || hex.size() % 2 != 0) {
        return {};
    }
    std::string out;
    out.reserve(hex.size());
    for (const char c : hex) {
        if (HexValue(c) < 0) {
            return {};
        }
        out += static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
    }
    return out;
}

int OctetAt(const std::string& hex, std::size_t octet) {
    if (hex.size() < 2 * octet + 2) {
        return -1;
    }
    return HexValue(hex[2 * octet]) * 16 + HexValue(hex[2 * octet + 1]);
}

// Octets of the transfer PDU after the service-centre address (what +CMGR and AT+CMGS
// count); -1 when the address length does not fit.
int TpduLength(const std::string& hex) {
    const int total = static_cast<int>(hex.size() / 2);
    const int scaLength = OctetAt(hex, 0);
    if (scaLength < 0 || scaLength > 11 || scaLength + 1 > total) {
        return -1;
    }
    return total - scaLength - 1;
}

// The destination address of an SMS-SUBMIT as a dialling number, empty when it does not fit.
std::string SubmitDestination(const std::string& pdu) {
    const int t = OctetAt(pdu, 0) + 1;
    const int digits = OctetAt(pdu, static_cast<std::size_t>(t) + 2);
    const int toa = OctetAt(pdu, static_cast<std::size_t>(t) + 3);
    if (digits <= 0 || digits > 20 || toa < 0) {
        return {};
    }
    std::string number = (toa & 0x70) == 0x10 ? "+" : "";
    for (int i = 0; i < digits; ++i) {
        const int octet = OctetAt(pdu, static_cast<std::size_t>(t + 4 + i / 2));
        if (octet < 0) {
            return {};
        }
        const int d = i % 2 == 0 ? octet & 0x0F : octet >> 4;
        number += d < 10 ? static_cast<char>('0' + d) : d == 10 ? '*' : '#';
    }
    return number;
}

// The message class of an SMS-DELIVER from its data coding scheme (GSM 03.38), -1 for none.
int MessageClass(const std::string& pdu) {
    const int sca = OctetAt(pdu, 0);
    const int digits = OctetAt(pdu, static_cast<std::size_t>(sca) + 2);
    if (sca < 0 || digits < 0) {
        return -1;
    }
    // First octet, address length and type, the address, the protocol identifier.
    const std::size_t dcsAt = static_cast<std::size_t>(sca + 1 + 1 + 2 + (digits + 1) / 2 + 1);
    const int dcs = OctetAt(pdu, dcsAt);
    if (dcs < 0) {
        return -1;
    }
    if ((dcs & 0xC0) == 0x00 && (dcs & 0x10) != 0) {
        return dcs & 0x03;
    }
    return (dcs & 0xF0) == 0xF0 ? dcs & 0x03 : -1;
}

}  // namespace

void ModemCore::ScheduleStatusReport(const std::string& submitPdu, int reference) {
    const std::string recipient = SubmitDestination(submitPdu);
    if (recipient.empty()) {
        return;
    }
    // The network confirms delivery a little later, as a +CDS report of the message.
    m_sink.Schedule(m_state.behaviour.statusReportMs, [this, recipient, reference] {
        const std::string report =
            EncodeStatusReportPdu(m_state.serviceCentre, reference, recipient, LocalTimeStamp(), 0);
        if (!report.empty()) {
            InjectStatusReport(report);
        }
    });
}

SmsMemory* ModemCore::Memory(const std::string& name) {
    const std::string n = UpperAscii(name);
    if (n == "SM")
        return &m_state.simSms;
    if (n == "ME")
        return &m_state.phoneSms;
    if (n == "SR")
        return &m_state.reportSms;
    return nullptr;
}

const SmsMemory* ModemCore::Memory(const std::string& name) const {
    return const_cast<ModemCore*>(this)->Memory(name);
}

std::string ModemCore::CpmsCounts() const {
    std::string s;
    for (int i = 0; i < 3; ++i) {
        const SmsMemory* mem = Memory(m_mem[i]);
        if (i > 0) {
            s += ",";
        }
        s += std::to_string(mem->Used()) + "," + std::to_string(mem->capacity);
    }
    return s;
}

ModemCore::Final ModemCore::CmdCpms(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        // Status reports (ds=2 of AT+CNMI) can be read and deleted, not written or received.
        reply.Line("+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
        return Final::Ok();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    if (form == Form::Read) {
        std::string line = "+CPMS: ";
        for (int i = 0; i < 3; ++i) {
            const SmsMemory* mem = Memory(m_mem[i]);
            line += (i > 0 ? ",\"" : "\"") + m_mem[i] + "\"," + std::to_string(mem->Used()) + "," +
                    std::to_string(mem->capacity);
        }
        reply.Line(line);
        return Final::Ok();
    }
    if (form != Form::Set || !args.Present(0)) {
        return Final::Err();
    }
    std::string chosen[3] = {m_mem[0], m_mem[1], m_mem[2]};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!args.Present(i)) {
            continue;
        }
        if (Memory(args.Text(i)) == nullptr || (i > 0 && UpperAscii(args.Text(i)) == "SR")) {
            return Final::Cms(302);
        }
        chosen[i] = UpperAscii(args.Text(i));
    }
    std::copy(std::begin(chosen), std::end(chosen), std::begin(m_mem));
    reply.Line("+CPMS: " + CpmsCounts());
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCmgr(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    SmsMemory* mem = Memory(m_mem[0]);
    const auto index = args.Int(0, 1, static_cast<int>(mem->capacity));
    if (!index) {
        return Final::Cms(321);
    }
    const auto it = mem->slots.find(*index);
    if (it == mem->slots.end()) {
        return m_state.behaviour.emptySmsIsError ? Final::Cms(321) : Final::Ok();
    }
    StoredSms& sms = it->second;
    reply.Line("+CMGR: " + std::to_string(static_cast<int>(sms.status)) + ",," +
               std::to_string(TpduLength(sms.pdu)));
    reply.Line(sms.pdu);
    if (sms.status == SmsStatus::Unread) {
        sms.status = SmsStatus::Read;
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCmgl(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        reply.Line("+CMGL: (0-4)");
        return Final::Ok();
    }
    if (form == Form::Read) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    int wanted = 0;
    if (form == Form::Set) {
        const auto stat = args.Int(0, 0, 4);
        if (!stat) {
            return Final::Cms(302);
        }
        wanted = *stat;
    }
    for (auto& [index, sms] : Memory(m_mem[0])->slots) {
        if (wanted != 4 && static_cast<int>(sms.status) != wanted) {
            continue;
        }
        reply.Line("+CMGL: " + std::to_string(index) + "," +
                   std::to_string(static_cast<int>(sms.status)) + ",," +
                   std::to_string(TpduLength(sms.pdu)));
        reply.Line(sms.pdu);
        if (sms.status == SmsStatus::Unread) {
            sms.status = SmsStatus::Read;
        }
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCmgd(Form form, const AtArgs& args) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    SmsMemory* mem = Memory(m_mem[0]);
    const auto index = args.Int(0, 0, static_cast<int>(mem->capacity));
    const auto flag = args.Present(1) ? args.Int(1, 0, 4) : std::optional<int>(0);
    if (!index || !flag) {
        return Final::Cms(321);
    }
    if (*flag == 0) {
        if (*index == 0) {
            return Final::Cms(321);
        }
        mem->slots.erase(*index);
        return Final::Ok();
    }
    // Bulk deletion: 1 read, 2 read and sent, 3 read, sent and unsent, 4 all.
    for (auto it = mem->slots.begin(); it != mem->slots.end();) {
        const SmsStatus s = it->second.status;
        const bool drop = *flag == 4 || (s == SmsStatus::Read) ||
                          (*flag >= 2 && s == SmsStatus::Sent) ||
                          (*flag >= 3 && s == SmsStatus::Unsent);
        it = drop ? mem->slots.erase(it) : std::next(it);
    }
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCmgsw(bool write, Form form, const AtArgs& args) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (form != Form::Set && !(write && form == Form::Exec)) {
        return Final::Err();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    const auto length = args.Int(0, 1, kMaxTpduOctets);
    if (!length) {
        return Final::Cms(304);
    }
    int status = 2;
    if (write && args.Present(1)) {
        const auto s = args.Int(1, 0, 3);
        if (!s) {
            return Final::Cms(304);
        }
        status = *s;
    }
    m_promptWrite = write;
    m_promptLength = *length;
    m_promptStatus = status;
    m_promptPdu.clear();
    m_lineOverflow = false;
    m_mode = LineMode::SmsPrompt;
    m_sink.Emit("\r\n> ", OutputKind::Answer);
    return Final::None();
}

void ModemCore::FinishPrompt(bool cancel) {
    m_mode = LineMode::Command;
    const std::string raw = std::move(m_promptPdu);
    m_promptPdu.clear();
    m_log.push_back(raw);
    if (m_silent) {
        return;
    }
    Final result = Final::Ok();
    Reply reply;
    const std::string pdu = NormalizeHex(raw);
    if (cancel) {
        // Escape abandons the message.
    } else if (m_lineOverflow || pdu.empty() || TpduLength(pdu) != m_promptLength) {
        result = Final::Cms(304);
    } else if (!m_promptWrite) {
        const int scaLength = OctetAt(pdu, 0);
        const int firstOctet = OctetAt(pdu, static_cast<std::size_t>(scaLength) + 1);
        if ((firstOctet & 0x03) != 0x01) {
            result = Final::Cms(304);
        } else if (!Registered()) {
            result = Final::Cms(331);
        } else {
            const int reference = m_nextReference;
            m_nextReference = (m_nextReference + 1) % 256;
            m_sentPdus.push_back(pdu);
            reply.Line("+CMGS: " + std::to_string(reference));
            if ((firstOctet & 0x20) != 0 && m_state.behaviour.statusReportMs >= 0) {
                ScheduleStatusReport(pdu, reference);
            }
        }
    } else {
        SmsMemory* mem = Memory(m_mem[1]);
        const int index = mem->FirstFree();
        if (index < 0) {
            result = Final::Cms(322);
        } else {
            mem->slots[index] = StoredSms{static_cast<SmsStatus>(m_promptStatus), pdu};
            reply.Line("+CMGW: " + std::to_string(index));
        }
    }
    m_lineOverflow = false;
    if (result.kind != Final::Kind::Ok) {
        reply.Clear();
    }
    m_sink.Emit(reply.Body() + FormatFinal(result), OutputKind::Answer);
    FlushHeldUnsolicited();
}

ModemCore::Final ModemCore::CmdCnmi(Form form, const AtArgs& args, Reply& reply) {
    switch (form) {
        case Form::Read:
            reply.Line("+CNMI: " + std::to_string(m_cnmi[0]) + "," + std::to_string(m_cnmi[1]) +
                       "," + std::to_string(m_cnmi[2]) + "," + std::to_string(m_cnmi[3]) + "," +
                       std::to_string(m_cnmi[4]));
            return Final::Ok();
        case Form::Test:
            reply.Line("+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)");
            return Final::Ok();
        case Form::Exec:
            return Final::Ok();
        case Form::Set:
            break;
    }
    static const int kMax[5] = {3, 3, 3, 2, 1};
    if (args.Count() > 5) {
        return Final::Cms(303);
    }
    int values[5];
    std::copy(std::begin(m_cnmi), std::end(m_cnmi), values);
    std::string given;
    for (std::size_t i = 0; i < args.Count(); ++i) {
        given += (i > 0 ? "," : "") + args.Text(i);
        if (!args.Present(i)) {
            continue;
        }
        const auto v = args.Int(i, 0, kMax[i]);
        if (!v) {
            return Final::Cms(303);
        }
        values[i] = *v;
    }
    const auto& accepted = m_state.behaviour.cnmiAccepted;
    if (!accepted.empty() && !accepted.contains(given)) {
        return Final::Cms(303);
    }
    std::copy(std::begin(values), std::end(values), m_cnmi);
    return Final::Ok();
}

ModemCore::Final ModemCore::CmdCsca(Form form, const AtArgs& args, Reply& reply) {
    if (form == Form::Test) {
        return Final::Ok();
    }
    if (!SimReady()) {
        return SimError(true);
    }
    if (form == Form::Read) {
        const std::string& sc = m_state.serviceCentre;
        reply.Line("+CSCA: \"" + sc + "\"," + std::to_string(NumberType(sc)));
        return Final::Ok();
    }
    if (form != Form::Set) {
        return Final::Err();
    }
    const std::string number = args.Text(0);
    if (number.size() > 20) {
        return Final::Cms(304);
    }
    const int type = args.Present(1) ? args.Int(1, 128, 255).value_or(-1) : NumberType(number);
    if (type < 0) {
        return Final::Cms(304);
    }
    m_state.serviceCentre = NumberForType(number, type);
    return Final::Ok();
}

int ModemCore::InjectSms(const std::string& pduHex, const std::string& storage) {
    const std::string pdu = NormalizeHex(pduHex);
    if (pdu.empty() || TpduLength(pdu) <= 0) {
        return -1;
    }
    // Direct delivery (+CMT) leaves nothing in memory: every message with mt=2, class 3
    // messages only with mt=3.
    if ((m_cnmi[1] == 2 || (m_cnmi[1] == 3 && MessageClass(pdu) == 3)) && storage.empty()) {
        EmitUnsolicited("\r\n+CMT: ," + std::to_string(TpduLength(pdu)) + "\r\n" + pdu + "\r\n");
        return 0;
    }
    const std::string memName = storage.empty() ? m_mem[2] : UpperAscii(storage);
    SmsMemory* mem = Memory(memName);
    if (mem == nullptr || memName == "SR") {
        return -1;
    }
    const int index = mem->FirstFree();
    if (index < 0) {
        return -1;
    }
    mem->slots[index] = StoredSms{SmsStatus::Unread, pdu};
    if (m_cnmi[1] >= 1 && m_cnmi[0] != 0) {
        EmitUnsolicited("\r\n+CMTI: \"" + memName + "\"," + std::to_string(index) + "\r\n");
    }
    return index;
}

bool ModemCore::InjectStatusReport(const std::string& pduHex) {
    const std::string pdu = NormalizeHex(pduHex);
    if (pdu.empty() || TpduLength(pdu) <= 0 || m_cnmi[0] == 0) {
        return false;
    }
    if (m_cnmi[3] == 1) {
        EmitUnsolicited("\r\n+CDS: " + std::to_string(TpduLength(pdu)) + "\r\n" + pdu + "\r\n");
        return true;
    }
    if (m_cnmi[3] == 2) {
        // Kept in the status-report memory; a full memory loses the report.
        SmsMemory& reports = m_state.reportSms;
        const int index = reports.FirstFree();
        if (index < 0) {
            return false;
        }
        reports.slots[index] = StoredSms{SmsStatus::Unread, pdu};
        EmitUnsolicited("\r\n+CDSI: \"SR\"," + std::to_string(index) + "\r\n");
        return true;
    }
    return false;
}

}  // namespace qvl::sim

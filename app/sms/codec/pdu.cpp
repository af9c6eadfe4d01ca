// GSM 03.40 transfer PDUs: addresses, time stamps, SMS-SUBMIT and SMS-DELIVER building, and the
// decoders of SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT.
#include <algorithm>
#include <cstdio>

#include "app/sms/codec/hexutil.h"
#include "app/sms/codec/smscodec.h"
#include "base/reader.h"

namespace qvl::sms {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

std::u16string AsciiToWide(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string AddressFromOctets(std::span<const std::uint8_t> octets, int digits, int type) {
    if (digits <= 0) {
        return {};
    }
    if ((type & 0x70) == 0x50) {
        // Alphanumeric originator: the name in packed GSM 7-bit, `digits` semi-octets long.
        const auto septets = UnpackSeptetBytes(octets, static_cast<std::size_t>(digits) * 4 / 7);
        return SeptetsToText(septets);
    }
    std::u16string out;
    if ((type & 0x90) == 0x90) {
        out.push_back(u'+');
    }
    for (std::size_t i = 0; i < octets.size() && static_cast<int>(2 * i) < digits; ++i) {
        out.push_back(static_cast<char16_t>(kHexDigits[octets[i] & 0x0F]));
        if (static_cast<int>(2 * i + 1) < digits) {
            out.push_back(static_cast<char16_t>(kHexDigits[octets[i] >> 4]));
        }
    }
    // Some modems count the filler nibble as a digit; F is never a digit of a number.
    if (!out.empty() && out.back() == u'F') {
        out.pop_back();
    }
    return out;
}

std::u16string TimestampFromOctets(std::span<const std::uint8_t> o) {
    if (o.size() != 7) {
        return {};
    }
    // Semi-octets are units first; a non-decimal digit is read by its hex value.
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = (o[static_cast<std::size_t>(i)] >> 4) + (o[static_cast<std::size_t>(i)] & 0x0F) * 10;
    }
    const int first = o[6] >> 4;
    int second = o[6] & 0x0F;
    const bool negative = (second & 0x08) != 0;
    second &= 0x07;
    const int quarters = second * 10 + first;
    int zone = quarters > 0 ? quarters / 4 : 0;
    if (negative) {
        zone = -zone;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d,%02d:%02d:%02d,GMT%+d", v[2], v[1], v[0], v[3],
                  v[4], v[5], zone);
    return AsciiToWide(buf);
}

// A small cursor over the time text: fields are "%02d" style (optional sign, at most two
// digits) or an unbounded signed number for the zone.
class TimeTextCursor {
public:
    explicit TimeTextCursor(std::u16string_view s) : m_s(s) {}
    bool Literal(std::u16string_view lit) {
        if (!m_ok || m_s.substr(m_pos, lit.size()) != lit) {
            m_ok = false;
            return false;
        }
        m_pos += lit.size();
        return true;
    }
    int Number(std::size_t maxDigits) {
        if (!m_ok) {
            return 0;
        }
        bool negative = false;
        if (m_pos < m_s.size() && (m_s[m_pos] == u'+' || m_s[m_pos] == u'-')) {
            negative = m_s[m_pos] == u'-';
            ++m_pos;
        }
        long long v = 0;
        std::size_t n = 0;
        while (m_pos < m_s.size() && n < maxDigits && m_s[m_pos] >= u'0' && m_s[m_pos] <= u'9') {
            v = std::min<long long>(v * 10 + (m_s[m_pos] - u'0'), 1000000);
            ++m_pos;
            ++n;
        }
        if (n == 0) {
            m_ok = false;
            return 0;
        }
        return static_cast<int>(negative ? -v : v);
    }
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_pos == m_s.size(); }

private:
    std::u16string_view m_s;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

void AppendSemiOctets(std::string& out, int v) {
    v = std::clamp(v, 0, 99);
    out.push_back(kHexDigits[v % 10]);
    out.push_back(kHexDigits[v / 10]);
}

const char* PidOf(SendAs sendAs) {
    switch (sendAs) {
        case SendAs::kText:
            return "00";
        case SendAs::kFaxGroup3:
            return "22";
        case SendAs::kFaxGroup4:
            return "23";
        case SendAs::kEmail:
            return "32";
    }
    return "00";
}

const char* DcsOf(SmsCoding coding) {
    switch (coding) {
        case SmsCoding::kGsm7:
            return "00";
        case SmsCoding::kUcs2:
            return "08";
    }
    return "00";
}

enum class PduKind { kDeliver, kSubmit };

SmsPduInfo DecodeMessage(std::string_view hex, PduKind kind) {
    SmsPduInfo info;
    const auto bytes = FromHex(hex);
    ByteReader r(bytes);
    const int first = r.U8();
    if (kind == PduKind::kSubmit) {
        r.U8();  // TP-MR
    }
    const int digits = r.U8();
    const int type = r.U8();
    info.number = AddressFromOctets(r.TakeAtMost((static_cast<std::size_t>(digits) + 1) / 2),
                                    digits, type);
    r.U8();  // TP-PID
    const int dcs = r.U8();
    if (kind == PduKind::kDeliver) {
        info.time = TimestampFromOctets(r.TakeAtMost(7));
    } else {
        // TP-VPF, bits 4-3: 00 none, 10 relative (one octet), 01 enhanced and 11 absolute
        // (seven octets).
        switch ((first >> 3) & 0x03) {
            case 0:
                break;
            case 2:
                r.TakeAtMost(1);
                break;
            default:
                r.TakeAtMost(7);
                break;
        }
    }
    const int udl = r.U8();
    const auto ud = r.Rest();
    const int cls = DecodingClass(dcs);

    std::size_t headerOctets = 0;  // UDHL octet included
    if ((first & 0x40) != 0 && !ud.empty()) {
        const std::size_t udhl = ud[0];
        headerOctets = udhl + 1;
        ByteReader h(ud.subspan(1, std::min(udhl, ud.size() - 1)));
        std::size_t left = udhl;
        while (left >= 2 && h.Remaining() >= 2) {
            const int iei = h.U8();
            const std::size_t len = h.U8();
            if (iei != 0) {
                info.graphic = 1;
                break;
            }
            if (len + 2 > left) {
                break;  // an element longer than the header: the rest is ignored
            }
            const auto data = h.TakeAtMost(len);
            info.concatenated = 1;
            info.reference = data.size() > 0 ? data[0] : 0;
            info.total = data.size() > 1 ? data[1] : 0;
            info.sequence = data.size() > 2 ? data[2] : 0;
            left -= len + 2;
        }
    }
    if (info.graphic != 0) {
        info.text = kTextGraphic;
        return info;
    }
    if (cls == 0) {
        // The header fills (headerOctets * 8 + 6) / 7 septets, fill bits included.
        const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        if (static_cast<std::size_t>(udl) <= headerSeptets) {
            return info;
        }
        auto septets = UnpackSeptetBytes(ud, static_cast<std::size_t>(udl));
        if (septets.size() <= headerSeptets) {
            return info;
        }
        septets.erase(septets.begin(), septets.begin() + static_cast<long>(headerSeptets));
        info.text = SeptetsToText(septets);
        return info;
    }
    if (static_cast<std::size_t>(udl) <= headerOctets) {
        return info;
    }
    if (cls == 1) {
        info.text = kText8BitData;
    } else if (cls == 2) {
        const auto rest = ud.subspan(std::min(headerOctets, ud.size()));
        info.text = Ucs2FromOctets(rest, static_cast<std::size_t>(udl) - headerOctets);
    } else {
        info.text = kTextReserved;
    }
    return info;
}

}  // namespace

std::vector<std::uint8_t> FromHex(std::string_view hex) {
    std::vector<std::uint8_t> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(HexValue(hex[2 * i]) << 4 | HexValue(hex[2 * i + 1]));
    }
    return out;
}

void AppendHexOctet(std::string& out, unsigned octet) {
    out.push_back(kHexDigits[(octet >> 4) & 0x0F]);
    out.push_back(kHexDigits[octet & 0x0F]);
}

std::string ToHex(std::span<const std::uint8_t> octets) {
    std::string out;
    out.reserve(octets.size() * 2);
    for (std::uint8_t o : octets) {
        AppendHexOctet(out, o);
    }
    return out;
}

std::string EncodeAddress(std::u16string_view number) {
    std::string digits;
    bool international = false;
    for (char16_t c : number) {
        if (c == u'+') {
            international = true;
        } else if (digits.size() < 255) {
            digits.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
    }
    std::string out;
    AppendHexOctet(out, static_cast<unsigned>(digits.size()));
    out += international ? "91" : "81";
    if (digits.size() % 2 != 0) {
        digits.push_back('F');
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(digits[i + 1]);
        out.push_back(digits[i]);
    }
    return out;
}

std::u16string DecodeAddress(std::string_view hex, int digits, int type) {
    const std::size_t wanted = (static_cast<std::size_t>(std::max(digits, 0)) + 1) / 2;
    auto octets = FromHex(hex);
    if (octets.size() > wanted) {
        octets.resize(wanted);
    }
    return AddressFromOctets(octets, digits, type);
}

std::string EncodeTimestamp(std::u16string_view time) {
    TimeTextCursor c(time);
    int f[7] = {0, 0, 0, 0, 0, 0, 0};  // day, month, year, hour, minute, second, zone
    static constexpr std::u16string_view kSeparators[7] = {u"", u"/", u"/", u",",
                                                           u":", u":", u",GMT"};
    for (int i = 0; i < 7 && c.Ok(); ++i) {
        if (!c.Literal(kSeparators[i])) {
            break;
        }
        f[i] = c.Number(i == 6 ? 8 : 2);
    }
    std::string out;
    AppendSemiOctets(out, f[2]);
    AppendSemiOctets(out, f[1]);
    AppendSemiOctets(out, f[0]);
    AppendSemiOctets(out, f[3]);
    AppendSemiOctets(out, f[4]);
    AppendSemiOctets(out, f[5]);
    // The zone in quarter hours; the tens digit carries the sign in bit 3, so 79 is the most
    // it can hold.
    const int quarters = std::clamp(f[6], -19, 19) * 4;
    if (quarters >= 0) {
        AppendSemiOctets(out, std::min(quarters, 79));
    } else {
        const int q = std::min(-quarters, 79);
        out.push_back(kHexDigits[q % 10]);
        out.push_back(kHexDigits[(q / 10) | 0x08]);
    }
    return out;
}

std::u16string DecodeTimestamp(std::string_view hex) {
    if (hex.size() != 14) {
        return {};
    }
    return TimestampFromOctets(FromHex(hex));
}

bool IsCompleteTimeText(std::u16string_view time) {
    TimeTextCursor c(time);
    static constexpr std::u16string_view kSeparators[7] = {u"", u"/", u"/", u",",
                                                           u":", u":", u",GMT"};
    for (int i = 0; i < 7; ++i) {
        c.Literal(kSeparators[i]);
        c.Number(i == 6 ? 8 : 2);
    }
    return c.Ok() && c.AtEnd();
}

int DataCodingClass(int dcs) {
    dcs &= 0xFF;
    if ((dcs & 0xC0) == 0x00) {
        return (dcs >> 2) & 0x03;
    }
    if ((dcs & 0xF0) == 0xF0 && (dcs & 0x08) == 0) {
        return (dcs >> 2) & 0x01;
    }
    return -1;
}

int DecodingClass(int dcs) {
    dcs &= 0xFF;
    switch (dcs >> 4) {
        case 0x0:
        case 0x1:
        case 0x2:
        case 0x3:
        case 0x4:  // automatic-deletion group: same alphabet bits as the general group
        case 0x5:
        case 0x6:
        case 0x7:
            return (dcs >> 2) & 0x03;
        case 0x8:  // reserved groups
        case 0x9:
        case 0xA:
        case 0xB:
            return 3;
        case 0xC:  // message waiting, discard or store: default alphabet
        case 0xD:
            return 0;
        case 0xE:  // message waiting, store: UCS2
            return 2;
        case 0xF:  // data coding / message class: bit 2 chooses 8-bit data
            return (dcs >> 2) & 0x01;
        default:
            return 3;
    }
}

std::string BuildSubmitPdu(std::u16string_view number, std::string_view userData, int udl,
                           SendAs sendAs, UserDataHeader header, StatusReport report,
                           int validity, SmsCoding coding) {
    unsigned first = 0x11;
    if (header == UserDataHeader::kPresent) {
        first |= 0x40;
    }
    if (report == StatusReport::kWanted) {
        first |= 0x20;
    }
    std::string pdu = "00";
    AppendHexOctet(pdu, first);
    pdu += "00";
    pdu += EncodeAddress(number);
    pdu += PidOf(sendAs);
    pdu += DcsOf(coding);
    AppendHexOctet(pdu, static_cast<unsigned>(validity) & 0xFF);
    AppendHexOctet(pdu, static_cast<unsigned>(udl) & 0xFF);
    pdu += userData;
    return pdu;
}

std::string BuildDeliverPdu(std::u16string_view number, std::u16string_view time,
                            std::string_view userData, int udl, UserDataHeader header,
                            SmsCoding coding) {
    std::string pdu = "00";
    pdu += header == UserDataHeader::kPresent ? "44" : "04";
    pdu += EncodeAddress(number);
    pdu += "00";
    pdu += DcsOf(coding);
    pdu += EncodeTimestamp(time);
    AppendHexOctet(pdu, static_cast<unsigned>(udl) & 0xFF);
    pdu += userData;
    return pdu;
}

SmsPduInfo DecodeDeliverPdu(std::string_view hex) { return DecodeMessage(hex, PduKind::kDeliver); }

SmsPduInfo DecodeSubmitPdu(std::string_view hex) { return DecodeMessage(hex, PduKind::kSubmit); }

SmsStatusReport DecodeStatusReportPdu(std::string_view hex) {
    SmsStatusReport report;
    const auto bytes = FromHex(hex);
    ByteReader r(bytes);
    r.TakeAtMost(r.U8());  // service-centre address
    r.U8();                // first octet
    r.U8();                // TP-MR
    const int digits = r.U8();
    const int type = r.U8();
    report.number = AddressFromOctets(r.TakeAtMost((static_cast<std::size_t>(digits) + 1) / 2),
                                      digits, type);
    report.time = TimestampFromOctets(r.TakeAtMost(7));
    report.discharge = TimestampFromOctets(r.TakeAtMost(7));
    report.status = r.U8();
    return report;
}

std::string StripServiceCentre(std::string_view hex) {
    if (hex.size() < 2) {
        return {};
    }
    const std::size_t skip = (static_cast<std::size_t>(HexValue(hex[0]) << 4 | HexValue(hex[1])) + 1) * 2;
    if (skip > hex.size()) {
        return {};
    }
    return std::string(hex.substr(skip));
}

std::string PduLength(std::string_view pdu) {
    const std::size_t n = pdu.size() >= 2 ? (pdu.size() - 2) / 2 : 0;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02zu", n);
    return buf;
}

}  // namespace qvl::sms

#include "platform/contacts/vcard.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>

#include "base/text.h"

namespace qvl {

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool ContainsAsciiNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) {
        return false;
    }
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (EqualsAsciiNoCase(haystack.substr(i, needle.size()), needle)) {
            return true;
        }
    }
    return false;
}

std::string UpperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = UpperAscii(c);
    }
    return out;
}

struct Param {
    std::string name;  // upper case
    std::string value;
};

struct ContentLine {
    std::string_view group;
    std::string name;  // upper case
    std::vector<Param> params;
    std::string_view value;

    const Param* Find(std::string_view paramName) const {
        for (const Param& p : params) {
            if (p.name == paramName) {
                return &p;
            }
        }
        return nullptr;
    }
};

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// "group.NAME;param;param:value". The first colon outside quotes ends the name and parameters.
bool ParseContentLine(std::string_view line, ContentLine& out) {
    std::size_t colon = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon == std::string_view::npos) {
        return false;
    }
    out.value = line.substr(colon + 1);
    const std::string_view head = line.substr(0, colon);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    quoted = false;
    for (std::size_t i = 0; i <= head.size(); ++i) {
        if (i < head.size() && head[i] == '"') {
            quoted = !quoted;
        } else if (i == head.size() || (head[i] == ';' && !quoted)) {
            parts.push_back(head.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string_view name = parts.front();
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        out.group = name.substr(0, dot);
        name = name.substr(dot + 1);
    }
    out.name = UpperCopy(name);
    if (out.name.empty()) {
        return false;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view p = parts[i];
        if (p.empty()) {
            continue;
        }
        const std::size_t eq = p.find('=');
        if (eq != std::string_view::npos) {
            out.params.push_back(
                {UpperCopy(p.substr(0, eq)), std::string(Unquote(p.substr(eq + 1)))});
            continue;
        }
        // Version 2.1 names types and encodings without "TYPE=" and "ENCODING=".
        static constexpr std::array<std::string_view, 5> kEncodings = {"QUOTED-PRINTABLE", "BASE64",
                                                                       "B", "8BIT", "7BIT"};
        bool encoding = false;
        for (const std::string_view e : kEncodings) {
            encoding = encoding || EqualsAsciiNoCase(p, e);
        }
        out.params.push_back({encoding ? "ENCODING" : "TYPE", std::string(p)});
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = UpperAscii(c);
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string DecodeQuotedPrintable(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '=' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 &&
            HexValue(raw[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2])));
            i += 2;
        } else {
            out.push_back(raw[i]);
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        std::uint32_t min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (s.size() - i < len) {
            return false;
        }
        std::uint32_t cp = c & (0xFF >> (len + 1));
        for (std::size_t k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

// The value's bytes in its character set as wide text. Without a CHARSET the bytes are UTF-8
// when they are valid UTF-8, else the Windows code page older address books wrote.
std::u16string ToWide(std::string_view bytes, std::string_view charset) {
    if (EqualsAsciiNoCase(charset, "ISO-8859-1") || EqualsAsciiNoCase(charset, "ISO8859-1") ||
        EqualsAsciiNoCase(charset, "ISO_8859-1") || EqualsAsciiNoCase(charset, "LATIN1")) {
        std::u16string out;
        out.reserve(bytes.size());
        for (const char c : bytes) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
        return out;
    }
    if (EqualsAsciiNoCase(charset, "WINDOWS-1252") || EqualsAsciiNoCase(charset, "CP1252") ||
        (charset.empty() && !IsValidUtf8(bytes))) {
        return AnsiToWide(bytes);
    }
    return Utf8ToWide(bytes);
}

// Control characters go; line breaks and tabs become blanks; blanks at either end go.
std::u16string Clean(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\t') {
            if (!out.empty() && out.back() != u' ') {
                out.push_back(u' ');
            }
        } else if (c >= 0x20 && !(c >= 0x7F && c <= 0x9F)) {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == u' ') {
        out.pop_back();
    }
    const std::size_t first = out.find_first_not_of(u' ');
    return first == std::u16string::npos ? std::u16string() : out.substr(first);
}

// Splits a structured value at the separators that are not escaped.
std::vector<std::string_view> SplitStructured(std::string_view value, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
        } else if (value[i] == separator) {
            parts.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(value.substr(start));
    return parts;
}

std::string Unescape(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        const char next = value[++i];
        out.push_back(next == 'n' || next == 'N' ? '\n' : next);
    }
    return out;
}

class CardReader {
  public:
    explicit CardReader(std::vector<VCard>& cards) : m_cards(cards) {}

    void Line(std::string_view line) {
        ContentLine cl;
        if (!ParseContentLine(line, cl)) {
            return;
        }
        if (cl.name == "BEGIN" && EqualsAsciiNoCase(cl.value, "VCARD")) {
            // A card inside a card (a version 2.1 AGENT) is passed over.
            if (++m_depth == 1) {
                m_card = VCard();
                m_tels.clear();
                m_labels.clear();
            }
            return;
        }
        if (cl.name == "END" && EqualsAsciiNoCase(cl.value, "VCARD")) {
            if (m_depth == 1) {
                Finish();
            }
            if (m_depth > 0) {
                --m_depth;
            }
            return;
        }
        if (m_depth == 1) {
            Property(cl);
        }
    }

    // A file that ends inside a card keeps what was read of it.
    void End() {
        if (m_depth >= 1) {
            Finish();
        }
        m_depth = 0;
    }

  private:
    struct GroupedTel {
        std::string group;
        VCardTel tel;
    };

    // The value's text components (split at ';' when structured), decoded and cleaned.
    std::optional<std::vector<std::u16string>> Values(const ContentLine& cl, bool structured) {
        std::string bytes;
        if (const Param* enc = cl.Find("ENCODING")) {
            if (EqualsAsciiNoCase(enc->value, "QUOTED-PRINTABLE")) {
                bytes = DecodeQuotedPrintable(cl.value);
            } else if (EqualsAsciiNoCase(enc->value, "B") ||
                       EqualsAsciiNoCase(enc->value, "BASE64")) {
                return std::nullopt;
            } else {
                bytes = cl.value;
            }
        } else {
            bytes = cl.value;
        }
        const Param* charset = cl.Find("CHARSET");
        const std::string_view cs = charset != nullptr ? std::string_view(charset->value) : "";
        std::vector<std::u16string> out;
        if (structured) {
            for (const std::string_view part : SplitStructured(bytes, ';')) {
                out.push_back(Clean(ToWide(Unescape(part), cs)));
            }
        } else {
            out.push_back(Clean(ToWide(Unescape(bytes), cs)));
        }
        return out;
    }

    void Property(const ContentLine& cl) {
        const std::string& n = cl.name;
        if (n == "UID" || n == "FN") {
            if (auto v = Values(cl, false)) {
                (n == "UID" ? m_card.uid : m_card.formattedName) = (*v)[0];
            }
        } else if (n == "N") {
            if (auto v = Values(cl, true)) {
                m_card.familyName = (*v)[0];
                m_card.givenName = v->size() > 1 ? (*v)[1] : std::u16string();
            }
        } else if (n == "ORG") {
            if (auto v = Values(cl, true)) {
                m_card.organization = (*v)[0];
            }
        } else if (n == "TEL") {
            Tel(cl);
        } else if (n == "X-ABLABEL" && !cl.group.empty()) {
            if (auto v = Values(cl, false)) {
                m_labels.push_back({std::string(cl.group), {(*v)[0], 0}});
            }
        }
    }

    void Tel(const ContentLine& cl) {
        if (m_tels.size() >= kMaxTelsPerCard) {
            return;
        }
        auto v = Values(cl, false);
        if (!v) {
            return;
        }
        std::u16string number = (*v)[0];
        // Version 4.0 writes numbers as tel: URIs ("tel:+1-555-0100;ext=12").
        if (number.size() >= 4 && FoldCase(number[0]) == u't' && FoldCase(number[1]) == u'e' &&
            FoldCase(number[2]) == u'l' && number[3] == u':') {
            number.erase(0, 4);
            number = number.substr(0, number.find(u';'));
        }
        number = Clean(number);
        if (number.empty()) {
            return;
        }
        VCardTel tel{number, 0};
        for (const Param& p : cl.params) {
            if (p.name == "PREF") {
                tel.kinds |= kTelPref;
            }
            if (p.name != "TYPE") {
                continue;
            }
            for (const std::string_view t : SplitStructured(p.value, ',')) {
                tel.kinds |= KindOf(t);
            }
        }
        m_tels.push_back({std::string(cl.group), tel});
    }

    static std::uint32_t KindOf(std::string_view t) {
        if (EqualsAsciiNoCase(t, "HOME"))
            return kTelHome;
        if (EqualsAsciiNoCase(t, "WORK"))
            return kTelWork;
        if (EqualsAsciiNoCase(t, "CELL") || EqualsAsciiNoCase(t, "MOBILE") ||
            EqualsAsciiNoCase(t, "IPHONE"))
            return kTelCell;
        if (EqualsAsciiNoCase(t, "FAX"))
            return kTelFax;
        if (EqualsAsciiNoCase(t, "PAGER"))
            return kTelPager;
        if (EqualsAsciiNoCase(t, "VOICE"))
            return kTelVoice;
        if (EqualsAsciiNoCase(t, "PREF"))
            return kTelPref;
        return 0;
    }

    void Finish() {
        // A number without a kind of its own takes the one its group's label names
        // ("item1.TEL" with "item1.X-ABLabel:_$!<Mobile>!$_").
        constexpr std::uint32_t kPlace = kTelHome | kTelWork | kTelCell | kTelFax | kTelPager;
        for (GroupedTel& g : m_tels) {
            if (!g.group.empty() && (g.tel.kinds & kPlace) == 0) {
                for (const GroupedTel& label : m_labels) {
                    if (EqualsAsciiNoCase(label.group, g.group)) {
                        const std::string l = WideToUtf8(label.tel.number);
                        if (ContainsAsciiNoCase(l, "mobile") || ContainsAsciiNoCase(l, "cell") ||
                            ContainsAsciiNoCase(l, "iphone")) {
                            g.tel.kinds |= kTelCell;
                        } else if (ContainsAsciiNoCase(l, "home")) {
                            g.tel.kinds |= kTelHome;
                        } else if (ContainsAsciiNoCase(l, "work")) {
                            g.tel.kinds |= kTelWork;
                        } else if (ContainsAsciiNoCase(l, "fax")) {
                            g.tel.kinds |= kTelFax;
                        }
                    }
                }
            }
            m_card.tels.push_back(std::move(g.tel));
        }
        m_tels.clear();
        m_labels.clear();
        if (m_cards.size() < kMaxCardsPerFile) {
            m_cards.push_back(std::move(m_card));
        }
        m_card = VCard();
    }

    std::vector<VCard>& m_cards;
    VCard m_card;
    std::vector<GroupedTel> m_tels;
    std::vector<GroupedTel> m_labels;  // number holds the label text
    int m_depth = 0;
};

// Joins physical lines into content lines: a line that starts with a blank or a tab continues
// the one before (folding), and a quoted-printable value that ends with "=" continues on the
// next line (soft line break).
class Unfolder {
  public:
    explicit Unfolder(CardReader& reader) : m_reader(reader) {}

    void Physical(std::string_view line) {
        if (m_have) {
            UpdateHead();
            if (m_quotedPrintable && !m_line.empty() && m_line.back() == '=') {
                m_line.pop_back();
                m_line.append(line);
                return;
            }
            if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
                m_line.append(line.substr(1));
                return;
            }
            m_reader.Line(m_line);
        }
        m_line.assign(line);
        m_have = true;
        m_scanned = 0;
        m_colon = std::string::npos;
        m_quotedPrintable = false;
    }

    void End() {
        if (m_have) {
            m_reader.Line(m_line);
        }
        m_have = false;
        m_reader.End();
    }

  private:
    // Finds the end of the name and parameters once (each octet is looked at once however
    // many lines are joined), and whether the value is quoted-printable.
    void UpdateHead() {
        if (m_colon != std::string::npos) {
            return;
        }
        const std::size_t colon = m_line.find(':', m_scanned);
        m_scanned = m_line.size();
        if (colon != std::string::npos) {
            m_colon = colon;
            m_quotedPrintable =
                ContainsAsciiNoCase(std::string_view(m_line).substr(0, colon), "QUOTED-PRINTABLE");
        }
    }

    CardReader& m_reader;
    std::string m_line;
    bool m_have = false;
    std::size_t m_scanned = 0;
    std::size_t m_colon = std::string::npos;
    bool m_quotedPrintable = false;
};

std::string EscapeValue(std::u16string_view text) {
    std::string out;
    for (const char16_t c : Clean(text)) {
        if (c == u'\\' || c == u';' || c == u',') {
            out.push_back('\\');
        }
        out += WideToUtf8(std::u16string_view(&c, 1));
    }
    return out;
}

// Lines of more than 75 octets continue on lines that start with a blank, never inside a
// UTF-8 sequence.
void AppendFolded(std::string& out, std::string_view line) {
    constexpr std::size_t kMax = 75;
    std::size_t room = kMax;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(line.substr(0, cut));
        out.append("\r\n ");
        line.remove_prefix(cut);
        room = kMax - 1;
    }
    out.append(line);
    out.append("\r\n");
}

}  // namespace

std::vector<VCard> ParseVCards(std::string_view bytes) {
    std::vector<VCard> cards;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    CardReader reader(cards);
    Unfolder unfolder(reader);
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            unfolder.Physical(bytes.substr(start));
            break;
        }
        unfolder.Physical(bytes.substr(start, end - start));
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') {
            ++start;
        }
    }
    unfolder.End();
    return cards;
}

std::string WriteVCard(const VCard& card) {
    std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    AppendFolded(out, "UID:" + EscapeValue(card.uid));
    // FN is required in version 3.0: the number stands in for a card without a name.
    std::u16string fn = card.formattedName;
    if (Clean(fn).empty()) {
        fn = Clean(card.givenName + u" " + card.familyName);
    }
    if (fn.empty() && !card.tels.empty()) {
        fn = card.tels.front().number;
    }
    AppendFolded(out, "FN:" + EscapeValue(fn));
    AppendFolded(out,
                 "N:" + EscapeValue(card.familyName) + ";" + EscapeValue(card.givenName) + ";;;");
    if (!card.organization.empty()) {
        AppendFolded(out, "ORG:" + EscapeValue(card.organization));
    }
    for (const VCardTel& tel : card.tels) {
        std::string types;
        const std::pair<std::uint32_t, const char*> kNames[] = {
            {kTelHome, "HOME"},   {kTelWork, "WORK"},   {kTelCell, "CELL"}, {kTelFax, "FAX"},
            {kTelPager, "PAGER"}, {kTelVoice, "VOICE"}, {kTelPref, "PREF"}};
        for (const auto& [bit, name] : kNames) {
            if ((tel.kinds & bit) != 0) {
                types += types.empty() ? ";TYPE=" : ",";
                types += name;
            }
        }
        AppendFolded(out, "TEL" + types + ":" + EscapeValue(tel.number));
    }
    out += "END:VCARD\r\n";
    return out;
}

std::u16string NewContactUid() {
    std::array<unsigned char, 16> b{};
    std::size_t got = 0;
    while (got < b.size()) {
        const ssize_t n = ::getrandom(b.data() + got, b.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            std::random_device device;
            for (; got < b.size(); ++got) {
                b[got] = static_cast<unsigned char>(device());
            }
        }
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    static constexpr char kHex[] = "0123456789abcdef";
    std::u16string out;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out.push_back(u'-');
        }
        out.push_back(static_cast<char16_t>(kHex[b[i] >> 4]));
        out.push_back(static_cast<char16_t>(kHex[b[i] & 0x0F]));
    }
    return out;
}

}  // namespace qvl

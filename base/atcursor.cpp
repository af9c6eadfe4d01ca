#include "base/atcursor.h"

#include "base/text.h"

namespace qvl {
namespace {

bool IsHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

bool AtCursor::Fail() {
    m_failed = true;
    return false;
}

std::size_t AtCursor::EscapeAt(std::size_t i) const {
    if (i + 1 < m_text.size() && m_text[i] == '\\' && (m_text[i + 1] == 'r' || m_text[i + 1] == 'n')) {
        return 2;
    }
    return 0;
}

std::size_t AtCursor::FindLineEnd(std::size_t from) const {
    for (std::size_t i = from; i < m_text.size(); ++i) {
        if (EscapeAt(i) != 0) {
            return i;
        }
    }
    return m_text.size();
}

std::size_t AtCursor::NextLineStart(std::size_t from) const {
    std::size_t i = from;
    while (i < m_text.size()) {
        const std::size_t n = EscapeAt(i);
        if (n == 0) {
            return i;
        }
        i += n;
    }
    return kNone;
}

void AtCursor::EnterLine(std::size_t start) {
    m_lineStart = start;
    m_lineEnd = FindLineEnd(start);
    m_pos = start;
}

bool AtCursor::FindLine(std::u16string_view prefix) {
    std::size_t from = InLine() ? m_lineEnd : 0;
    while (true) {
        const std::size_t start = NextLineStart(from);
        if (start == kNone) {
            return false;
        }
        const std::size_t end = FindLineEnd(start);
        const std::u16string_view line = m_text.substr(start, end - start);
        if (line.substr(0, prefix.size()) == prefix) {
            EnterLine(start);
            m_pos = start + prefix.size();
            SkipBlanks();
            return true;
        }
        from = end;
    }
}

bool AtCursor::FindFirstLine(std::u16string_view prefix) {
    const std::size_t pos = m_pos;
    const std::size_t lineStart = m_lineStart;
    const std::size_t lineEnd = m_lineEnd;
    m_pos = 0;
    m_lineStart = kNone;
    m_lineEnd = kNone;
    if (FindLine(prefix)) {
        return true;
    }
    m_pos = pos;
    m_lineStart = lineStart;
    m_lineEnd = lineEnd;
    return false;
}

bool AtCursor::NextLine() {
    const std::size_t start = NextLineStart(InLine() ? m_lineEnd : 0);
    if (start == kNone) {
        return false;
    }
    EnterLine(start);
    return true;
}

std::u16string_view AtCursor::Line() const {
    if (!InLine()) {
        return {};
    }
    return m_text.substr(m_lineStart, m_lineEnd - m_lineStart);
}

void AtCursor::SkipBlanks() {
    while (InLine() && m_pos < m_lineEnd && m_text[m_pos] == ' ') {
        ++m_pos;
    }
}

std::size_t AtCursor::FieldEnd(std::size_t from) const {
    for (std::size_t i = from; i < m_lineEnd; ++i) {
        if (m_text[i] == ',' || m_text[i] == ')') {
            return i;
        }
    }
    return m_lineEnd;
}

void AtCursor::FinishField(std::size_t end) {
    m_pos = end;
    SkipBlanks();
    if (m_pos < m_lineEnd && m_text[m_pos] == ',') {
        ++m_pos;
        SkipBlanks();
    }
}

bool AtCursor::NextInt(std::int64_t& value, std::int64_t lo, std::int64_t hi) {
    value = 0;
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    const std::size_t end = FieldEnd(m_pos);
    const auto parsed = ParseDecimal(Trim(m_text.substr(m_pos, end - m_pos)), lo, hi);
    if (!parsed) {
        return Fail();
    }
    value = *parsed;
    FinishField(end);
    return true;
}

bool AtCursor::NextInt(int& value, int lo, int hi) {
    std::int64_t wide = 0;
    const bool ok = NextInt(wide, lo, hi);
    value = static_cast<int>(wide);
    return ok;
}

bool AtCursor::NextRange(std::int64_t& lo, std::int64_t& hi) {
    lo = 0;
    hi = 0;
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    const std::size_t end = FieldEnd(m_pos);
    const std::u16string_view token = Trim(m_text.substr(m_pos, end - m_pos));
    const std::size_t dash = token.find(u'-', 1);
    std::optional<long long> first;
    std::optional<long long> last;
    if (dash == std::u16string_view::npos) {
        first = ParseDecimal(token, INT32_MIN, INT32_MAX);
        last = first;
    } else {
        first = ParseDecimal(Trim(token.substr(0, dash)), INT32_MIN, INT32_MAX);
        last = ParseDecimal(Trim(token.substr(dash + 1)), INT32_MIN, INT32_MAX);
    }
    if (!first || !last) {
        return Fail();
    }
    lo = *first;
    hi = *last;
    FinishField(end);
    return true;
}

bool AtCursor::QuotedString(std::u16string& value, bool lastQuote) {
    value.clear();
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    if (m_pos >= m_lineEnd || m_text[m_pos] != '"') {
        return Fail();
    }
    std::size_t close = kNone;
    if (lastQuote) {
        for (std::size_t i = m_lineEnd; i > m_pos + 1; --i) {
            if (m_text[i - 1] == '"') {
                close = i - 1;
                break;
            }
        }
    } else {
        for (std::size_t i = m_pos + 1; i < m_lineEnd; ++i) {
            if (m_text[i] != '"') {
                continue;
            }
            std::size_t after = i + 1;
            while (after < m_lineEnd && m_text[after] == ' ') {
                ++after;
            }
            if (after == m_lineEnd || m_text[after] == ',' || m_text[after] == ')') {
                close = i;
                break;
            }
        }
    }
    if (close == kNone) {
        return Fail();
    }
    value.assign(m_text.substr(m_pos + 1, close - m_pos - 1));
    FinishField(close + 1);
    return true;
}

bool AtCursor::NextString(std::u16string& value) {
    return QuotedString(value, false);
}

bool AtCursor::NextStringToLineEnd(std::u16string& value) {
    return QuotedString(value, true);
}

bool AtCursor::NextHexString(std::u16string& value) {
    value.clear();
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    const std::size_t start = m_pos;
    std::u16string digits;
    if (m_pos < m_lineEnd && m_text[m_pos] == '"') {
        if (!QuotedString(digits, false)) {
            m_pos = start;
            return false;
        }
    } else {
        const std::size_t end = FieldEnd(m_pos);
        digits.assign(Trim(m_text.substr(m_pos, end - m_pos)));
        m_pos = end;
    }
    bool hex = !digits.empty();
    for (const char16_t c : digits) {
        hex = hex && IsHexDigit(c);
    }
    if (!hex) {
        m_pos = start;
        return Fail();
    }
    value = std::move(digits);
    FinishField(m_pos);
    return true;
}

bool AtCursor::NextRaw(std::u16string& value) {
    value.clear();
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    if (m_pos >= m_lineEnd) {
        return Fail();
    }
    bool quoted = false;
    std::size_t end = m_pos;
    for (; end < m_lineEnd; ++end) {
        const char16_t c = m_text[end];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == ')')) {
            break;
        }
    }
    value.assign(Trim(m_text.substr(m_pos, end - m_pos)));
    FinishField(end);
    return true;
}

bool AtCursor::Skip() {
    std::u16string ignored;
    return NextRaw(ignored);
}

bool AtCursor::OpenList() {
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    if (m_pos >= m_lineEnd || m_text[m_pos] != '(') {
        return Fail();
    }
    ++m_pos;
    SkipBlanks();
    return true;
}

bool AtCursor::CloseList() {
    if (!InLine()) {
        return Fail();
    }
    SkipBlanks();
    if (m_pos >= m_lineEnd || m_text[m_pos] != ')') {
        return Fail();
    }
    FinishField(m_pos + 1);
    return true;
}

bool AtCursor::NextIsEmpty() const {
    if (!InLine()) {
        return true;
    }
    std::size_t p = m_pos;
    while (p < m_lineEnd && m_text[p] == ' ') {
        ++p;
    }
    return p == m_lineEnd || m_text[p] == ',' || m_text[p] == ')';
}

std::u16string_view AtCursor::RestOfLine() {
    if (!InLine()) {
        return {};
    }
    const std::u16string_view rest = m_text.substr(m_pos, m_lineEnd - m_pos);
    m_pos = m_lineEnd;
    return rest;
}

bool AtCursor::AtLineEnd() const {
    if (!InLine()) {
        return true;
    }
    std::size_t p = m_pos;
    while (p < m_lineEnd && m_text[p] == ' ') {
        ++p;
    }
    return p == m_lineEnd;
}

}  // namespace qvl

// The one reader of AT answers: a cursor over the transport's response text.
//
// Response text is the modem's answer as wide text in which CR is written as the two
// characters backslash and "r", LF as backslash and "n", and other control bytes as two hex
// digits. A line is what lies between two such line-end escapes; empty lines are skipped.
//
// The cursor works like the binary reader: every step checks what is left, a step that cannot
// be taken reports false, leaves the cursor where it was, gives an empty or zero value and sets
// a sticky error, so a caller can read a run of fields and check Ok() once. Fields never run
// past the end of their line: a missing piece gives an empty field, never the next line's text.
//
// Fields of a line are separated by commas; a quoted text may hold commas; "(" and ")" open and
// close a list, as in the answers of "=?" tests and of AT+COPS=?.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qvl {

class AtCursor {
  public:
    explicit AtCursor(std::u16string_view response) : m_text(response) {}

    // Moves to the next line (after the current one, or the first line when none was entered
    // yet) that starts with prefix, and places the cursor after the prefix and any blanks.
    // An empty prefix takes the next non-empty line. False when no such line follows: the
    // cursor stays where it was.
    bool FindLine(std::u16string_view prefix);
    // As FindLine, but searches from the beginning of the text again.
    bool FindFirstLine(std::u16string_view prefix);
    // True while the cursor is inside a line that was entered with FindLine.
    bool InLine() const { return m_lineEnd != kNone; }

    // The next field as a decimal integer within [lo, hi] (blanks around it allowed).
    bool NextInt(std::int64_t& value, std::int64_t lo = INT32_MIN, std::int64_t hi = INT32_MAX);
    bool NextInt(int& value, int lo = INT32_MIN, int hi = INT32_MAX);
    // A range "a-b" (or a single number "a", which gives a == b) within a list of a "=?" answer.
    bool NextRange(std::int64_t& lo, std::int64_t& hi);
    // The next field as quoted text; the text between the quotes, without them. The closing
    // quote is the first quote that is followed by a comma, a closing parenthesis, blanks or the
    // end of the line, so a name holding a quote survives.
    bool NextString(std::u16string& value);
    // The next field as quoted text whose closing quote is the last quote on the line: for the
    // last field of a line, where the text itself may hold `",`.
    bool NextStringToLineEnd(std::u16string& value);
    // The next field as hexadecimal digits, quoted or not; value holds the digits as they stand.
    bool NextHexString(std::u16string& value);
    // The next field as raw text up to the next comma or closing parenthesis (quotes kept).
    bool NextRaw(std::u16string& value);
    // Passes over one field, whatever it holds (an empty field included).
    bool Skip();
    // "(" at the cursor: enters a list. ")" at the cursor: leaves it (and a following comma).
    bool OpenList();
    bool CloseList();
    // True when the next field is empty (a comma, a closing parenthesis or the line end).
    bool NextIsEmpty() const;
    // The rest of the current line from the cursor, and the cursor at the line end.
    std::u16string_view RestOfLine();
    bool AtLineEnd() const;

    // True when the current line ends with a line-end escape, false when the text ends inside
    // it: a read that timed out may have cut the line, and its last field (a number, say
    // "+CLVL: 1" of "+CLVL: 100") with it.
    bool LineTerminated() const { return InLine() && m_lineEnd < m_text.size(); }

    // The whole current line (without its line-end escapes); empty outside a line.
    std::u16string_view Line() const;
    // The next line after the current one, whatever its start (a PDU following "+CMGR:",
    // "+CDS:" or "+CMT:"): the cursor enters it. False when no line follows.
    bool NextLine();

    bool Ok() const { return !m_failed; }
    void ClearError() { m_failed = false; }
    std::size_t Position() const { return m_pos; }

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    bool Fail();
    // Length of a line-end escape at i ("\r", "\n" or 0).
    std::size_t EscapeAt(std::size_t i) const;
    std::size_t FindLineEnd(std::size_t from) const;
    // The start of the next line at or after from (skipping line-end escapes), or kNone.
    std::size_t NextLineStart(std::size_t from) const;
    void EnterLine(std::size_t start);
    void SkipBlanks();
    // The end of the unquoted field that starts at the cursor.
    std::size_t FieldEnd(std::size_t from) const;
    // After a field: the cursor moves past blanks and one comma.
    void FinishField(std::size_t end);
    bool QuotedString(std::u16string& value, bool lastQuote);

    std::u16string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_lineStart = kNone;
    std::size_t m_lineEnd = kNone;
    bool m_failed = false;
};

}  // namespace qvl

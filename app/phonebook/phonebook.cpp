#include "app/phonebook/phonebook.h"

#include <algorithm>
#include <utility>

#include "app/engine/phoneengine.h"
#include "base/atcursor.h"
#include "base/checks.h"
#include "base/finalresult.h"
#include "base/text.h"
#include "common/lang/lang.h"

namespace qvl {
namespace {

constexpr std::uint32_t kCommandMs = 3000;
constexpr int kSelectAttempts = 5;
// A read ends, cut short, when this many locations in a row brought no final result within the
// time-out (nothing at all, or the echo alone): the modem has stopped answering, and every
// further location would cost the whole time-out.
constexpr int kUnansweredLocationsToStop = 2;
// Reads of one answer while unsolicited lines keep arriving before its final result.
constexpr int kMaxReadsPerAnswer = 8;
// Longest name any phonebook takes; the checks refuse anything longer before it is cut.
constexpr std::size_t kMaxNameUnits = 255;

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::u16string Decimal(int value) {
    return Widen(std::to_string(value));
}

// "Getting %d of %d ..." with both numbers put in.
std::u16string FormatOf(std::u16string text, int a, int b) {
    for (const int value : {a, b}) {
        const std::size_t at = text.find(u"%d");
        if (at == std::u16string::npos) {
            break;
        }
        text.replace(at, 2, Decimal(value));
    }
    return text;
}

std::u16string_view MemoryName(PhonebookMemory memory) {
    switch (memory) {
        case PhonebookMemory::Sim:
            return u"SM";
        case PhonebookMemory::Dialled:
            return u"DC";
        case PhonebookMemory::Received:
            return u"RC";
        case PhonebookMemory::Missed:
            return u"MC";
        case PhonebookMemory::Emergency:
            return u"EN";
        case PhonebookMemory::Handset:
            return u"ME";
    }
    return u"SM";
}

// The progress texts of a read: message ids, or fixed English texts (the handset book's
// texts are not translated), in step order.
struct ReadTexts {
    std::u16string title;
    std::u16string connecting;  // empty: no such step
    std::u16string count;
    std::u16string range;
    std::u16string of;
    std::u16string parsing;
};

// The final result of an answer.
enum class Final { None, Ok, NotFound, Error };

// One answer with the unsolicited lines taken out: the echo, the lines that start with the
// kept prefix and the final result, escaped as the transport writes them.
struct Answer {
    bool written = false;
    Final final = Final::None;
    std::u16string kept;
};

void AppendLine(std::u16string& text, std::u16string_view line, bool terminated) {
    text += u"\\r\\n";
    text += line;
    if (terminated) {
        text += u"\\r\\n";
    }
}

// A handset switched to UCS2 for the names may send the caller's number of "+CLIP" and "+CCWA"
// in that set too; the engine reads these lines in the modem's own set, so the number is
// decoded back (a field of whole hex units that decode to dial characters only).
std::u16string CallerNumberInOwnSet(std::u16string_view line) {
    for (const std::u16string_view prefix : {u"+CLIP:", u"+CCWA:"}) {
        if (!StartsWith(line, prefix)) {
            continue;
        }
        const std::u16string text = u"\\r\\n" + std::u16string(line) + u"\\r\\n";
        AtCursor c(text);
        std::u16string number;
        bool encoded = false;
        if (!c.FindFirstLine(prefix) || !c.NextString(number)) {
            break;
        }
        const std::u16string plain = DecodeNumber(number, NameCharset::Ucs2, encoded);
        if (!encoded) {
            break;
        }
        const std::u16string_view rest = c.RestOfLine();
        return std::u16string(prefix) + u" \"" + plain + u"\"" +
               (rest.empty() ? u"" : u"," + std::u16string(rest));
    }
    return std::u16string(line);
}

// Sorts response lines into what the command answered and what came unbidden (numbersInUcs2:
// the modem is switched to UCS2 for this exchange).
void SplitAnswer(std::u16string_view response, std::u16string_view keep, bool numbersInUcs2,
                 Answer& answer, std::u16string& unsolicited) {
    AtCursor c(response);
    while (c.NextLine()) {
        const std::u16string_view line = c.Line();
        const bool terminated = c.LineTerminated();
        // Only OK and the error forms end a phonebook command; "NO CARRIER", "BUSY" and the
        // other dial results here are the end of a call, for the unsolicited handler.
        const FinalCode code = ReadFinalResult(line);
        if (code.result == FinalResult::Ok || IsErrorResult(code.result)) {
            // GSM 07.07 error 22, "not found": what some handsets say of an empty location.
            answer.final = code.result == FinalResult::Ok ? Final::Ok
                           : code.result == FinalResult::CmeError && code.error == 22
                               ? Final::NotFound
                               : Final::Error;
            AppendLine(answer.kept, line, terminated);
        } else if (StartsWith(line, u"AT") || (!keep.empty() && StartsWith(line, keep))) {
            AppendLine(answer.kept, line, terminated);
        } else if (numbersInUcs2) {
            AppendLine(unsolicited, CallerNumberInOwnSet(line), true);
        } else {
            AppendLine(unsolicited, line, true);
        }
    }
}

int TypeOf(std::u16string_view number) {
    return !number.empty() && number[0] == u'+' ? 145 : 129;
}

void InsertByIndex(std::vector<PhonebookEntry>& entries, PhonebookEntry entry) {
    const auto at = std::upper_bound(
        entries.begin(), entries.end(), entry.index,
        [](int index, const PhonebookEntry& other) { return index < other.index; });
    entries.insert(at, std::move(entry));
}

}  // namespace

// Names travel in the character set chosen for the session; the modem gets its own set back
// when the outermost phonebook operation ends.
class CPhonebook::CharsetScope {
  public:
    explicit CharsetScope(CPhonebook& book) : m_book(book) {
        if (m_book.m_charsetDepth++ == 0) {
            Enter();
        }
    }
    ~CharsetScope() {
        if (--m_book.m_charsetDepth == 0) {
            Leave();
        }
    }
    CharsetScope(const CharsetScope&) = delete;
    CharsetScope& operator=(const CharsetScope&) = delete;

  private:
    void Enter() {
        CPhoneEngine& engine = m_book.m_engine;
        std::u16string response;
        if (!m_book.m_charsetKnown) {
            m_book.m_charsetKnown = true;
            engine.Exchange(u"AT+CSCS=?\r", kCommandMs, response, Dispatch::Yes);
            const std::vector<std::u16string> offered = ParseCscsOffered(response);
            engine.Exchange(u"AT+CSCS?\r", kCommandMs, response, Dispatch::Yes);
            m_book.m_modemCharset = ParseCscsCurrent(response).value_or(u"");
            GiveBackOwedSet();
            // Without the modem's own set there is no set to give back after a switch, and
            // every other reader of the program's answers would be left with the switched
            // one: names then keep to whatever set the modem is in.
            m_book.m_charset = ChooseNameCharset(
                m_book.m_modemCharset.empty() ? std::vector<std::u16string>{} : offered,
                m_book.m_modemCharset);
        }
        m_book.m_charsetSwitched = false;
        const std::u16string_view wanted = CharsetName(m_book.m_charset);
        if (wanted.empty() || EqualsNoCase(wanted, m_book.m_modemCharset)) {
            return;
        }
        if (Select(wanted, kCommandMs)) {
            m_book.m_charsetSwitched = true;
            return;
        }
        // The modem offered the set but refused it: names keep to the modem's own set.
        m_book.m_charset = ChooseNameCharset({}, m_book.m_modemCharset);
    }
    void Leave() {
        const bool silent = std::exchange(m_book.m_modemSilent, false);
        if (!std::exchange(m_book.m_charsetSwitched, false)) {
            return;
        }
        // A modem that stopped answering in the middle of a read may be back before the next
        // poll step: it is told its own set all the same, with no longer a wait than one
        // location was given.
        const std::uint32_t timeoutMs =
            silent ? std::min(kCommandMs, m_book.m_bookTimeoutMs) : kCommandMs;
        if (Select(m_book.m_modemCharset, timeoutMs)) {
            m_book.m_owedCharset.clear();
            m_book.m_owedFrom.clear();
        } else {
            m_book.m_owedCharset = m_book.m_modemCharset;
            m_book.m_owedFrom = CharsetName(m_book.m_charset);
        }
    }
    // The modem never answered the last restore (it had stopped answering): a modem that now
    // reports the set it was switched to gets its own set back before anything else, also in
    // a later session (the set a modem reports after a restart is no proof of its own then).
    // Any other set means the modem was reset or is another one: nothing is owed any more.
    void GiveBackOwedSet() {
        if (m_book.m_owedCharset.empty()) {
            return;
        }
        if (EqualsNoCase(m_book.m_modemCharset, m_book.m_owedFrom) &&
            Select(m_book.m_owedCharset, kCommandMs)) {
            m_book.m_modemCharset = m_book.m_owedCharset;
        }
        if (!EqualsNoCase(m_book.m_modemCharset, m_book.m_owedFrom)) {
            m_book.m_owedCharset.clear();
            m_book.m_owedFrom.clear();
        }
    }
    bool Select(std::u16string_view set, std::uint32_t timeoutMs) {
        std::u16string response;
        m_book.m_engine.Exchange(u"AT+CSCS=\"" + std::u16string(set) + u"\"\r", timeoutMs, response,
                                 Dispatch::Yes);
        return AnsweredOk(response);
    }

    CPhonebook& m_book;
};

namespace {

// The port mutex for a sequence of exchanges.
class PortHold {
  public:
    explicit PortHold(CPhoneEngine& engine) : m_engine(engine), m_held(engine.AcquirePort()) {}
    ~PortHold() {
        if (m_held) {
            m_engine.ReleasePort();
        }
    }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;
    bool Held() const { return m_held; }

  private:
    CPhoneEngine& m_engine;
    bool m_held;
};

// The two progress windows of a read, closed whatever way the read ends.
class ReadWindows {
  public:
    ReadWindows(const BookProgress& progress, std::u16string title)
        : m_progress(progress), m_title(std::move(title)) {
        if (m_progress.steps != nullptr) {
            m_progress.steps->Create(0, 100, -1, false);
            m_progress.steps->SetText(m_title, -1);
        }
    }
    ~ReadWindows() {
        CloseBar();
        if (m_progress.steps != nullptr) {
            m_progress.steps->Close();
        }
    }
    ReadWindows(const ReadWindows&) = delete;
    ReadWindows& operator=(const ReadWindows&) = delete;

    // The step window shows the read's title with the step under it.
    void Step(const std::u16string& text) {
        if (m_progress.steps != nullptr && !text.empty()) {
            m_progress.steps->SetText(m_title + u"\n" + text, -1);
        }
    }
    void OpenBar(int first, int last) {
        if (m_progress.bar != nullptr) {
            m_progress.bar->Create(first, last, first, true);
            m_barOpen = true;
        }
    }
    void Bar(const std::u16string& text, int position) {
        if (m_barOpen) {
            m_progress.bar->SetText(text, position);
        }
    }
    void CloseBar() {
        if (m_barOpen) {
            m_barOpen = false;
            m_progress.bar->Close();
        }
    }
    bool Canceled() const {
        return (m_barOpen && m_progress.bar->IsCanceled()) ||
               (m_progress.steps != nullptr && m_progress.steps->IsCanceled());
    }

  private:
    const BookProgress& m_progress;
    std::u16string m_title;
    bool m_barOpen = false;
};

}  // namespace

CPhonebook::CPhonebook(CPhoneEngine& engine, TextSource text)
    : m_engine(engine), m_text(std::move(text)), m_session(engine.SessionStarts()) {}

std::u16string CPhonebook::Text(int id) const {
    return m_text ? m_text(id) : LoadLocalString(id);
}

bool CPhonebook::Stale() const {
    return m_engine.SessionStarts() != m_session;
}

void CPhonebook::Sync() {
    if (m_engine.SessionStarts() == m_session) {
        return;
    }
    // A new session may talk to another modem or SIM: nothing known of the old one holds.
    m_session = m_engine.SessionStarts();
    m_books = {};
    m_currentMemory = 0;
    m_charsetKnown = false;
    m_charset = NameCharset::AsIs;
    m_modemCharset.clear();
    m_ucs2Numbers = false;
    m_charsetSwitched = false;
}

// ------------------------------------------------------------------------------ exchanges

namespace {

// An exchange whose answer keeps the lines starting with keep (and the echo and the final
// result); every other line goes to the engine's unsolicited handler, and reading goes on while
// they arrive before the final result. A "+CPBR:" line that came in the same read as "+CMTI"
// or "RING" is so kept, not thrown away with the event.
Answer Converse(CPhoneEngine& engine, bool numbersInUcs2, std::u16string_view command,
                std::uint32_t timeoutMs, std::u16string_view keep) {
    Answer answer;
    std::u16string response;
    if (!engine.Exchange(command, timeoutMs, response, Dispatch::No)) {
        answer.kept = u"Port Write Error";
        return answer;
    }
    answer.written = true;
    for (int read = 0; read < kMaxReadsPerAnswer; ++read) {
        std::u16string unsolicited;
        SplitAnswer(response, keep, numbersInUcs2, answer, unsolicited);
        // Called for empty reads too: the end of ringing is noticed on a quiet answer.
        engine.HandleUnsolicited(unsolicited);
        // Without a final result and without unsolicited lines the read ended by its time-out.
        if (answer.final != Final::None || unsolicited.empty()) {
            break;
        }
        response.clear();
        engine.ReadMore(response, timeoutMs);
        if (response.empty()) {
            break;
        }
    }
    return answer;
}

}  // namespace

bool CPhonebook::InUcs2() const {
    return m_charsetSwitched && m_charset == NameCharset::Ucs2;
}

bool CPhonebook::WriteCommand(const std::u16string& command) {
    return Converse(m_engine, InUcs2(), command + u"\r", kCommandMs, u"").final == Final::Ok;
}

bool CPhonebook::SelectUnlocked(PhonebookMemory memory) {
    const int code = static_cast<int>(memory);
    if (m_currentMemory == code) {
        return true;
    }
    std::vector<std::u16string_view> names = {MemoryName(memory)};
    if (memory == PhonebookMemory::Dialled) {
        names.push_back(u"LD");
    }
    for (const std::u16string_view name : names) {
        const std::u16string command = u"AT+CPBS=\"" + std::u16string(name) + u"\"";
        for (int attempt = 0; attempt < kSelectAttempts; ++attempt) {
            const Answer answer =
                Converse(m_engine, InUcs2(), command + u"\r", kCommandMs, u"+CPBS:");
            // The modem's echo of the command and OK: an OK alone may be left over from an
            // earlier command.
            if (answer.final == Final::Ok && Contains(answer.kept, command)) {
                m_currentMemory = code;
                return true;
            }
            if (!answer.written) {
                break;
            }
        }
    }
    m_currentMemory = 0;
    return false;
}

bool CPhonebook::SelectForWrite(PhonebookMemory memory) {
    const Answer answer =
        Converse(m_engine, InUcs2(), u"AT+CPBS=\"" + std::u16string(MemoryName(memory)) + u"\"\r",
                 kCommandMs, u"");
    if (answer.final == Final::Ok) {
        m_currentMemory = static_cast<int>(memory);
        return true;
    }
    m_currentMemory = 0;
    return false;
}

void CPhonebook::AskRange(PhonebookMemory memory) {
    BookState& state = State(memory);
    if (state.rangeKnown) {
        return;
    }
    const Answer answer = Converse(m_engine, InUcs2(), u"AT+CPBR=?\r", kCommandMs, u"+CPBR:");
    if (const auto range = ParseCpbrRange(answer.kept)) {
        state.first = range->first;
        state.last = range->last;
        state.numberLength = range->numberLength;
        state.nameLength = range->nameLength;
        state.rangeParsed = true;
    }
    state.rangeKnown = true;
}

int CPhonebook::UsedCountUnlocked(PhonebookMemory memory) {
    BookState& state = State(memory);
    if (state.countKnown) {
        return state.used;
    }
    if (!SelectUnlocked(memory)) {
        return -1;
    }
    const Answer answer = Converse(m_engine, InUcs2(), u"AT+CPBS?\r", kCommandMs, u"+CPBS:");
    if (const auto counts = ParseCpbsCounts(answer.kept)) {
        state.used = counts->used;
        state.total = counts->total;
    } else {
        // A handset without counts is read over its whole range.
        AskRange(memory);
        state.used = state.last - state.first + 1;
    }
    state.countKnown = true;
    return state.used;
}

// ---------------------------------------------------------------------------- operations

bool CPhonebook::SelectMemory(PhonebookMemory memory) {
    Sync();
    CPhoneEngine::BusyScope busy(m_engine);
    PortHold port(m_engine);
    return port.Held() && SelectUnlocked(memory);
}

int CPhonebook::GetUsedCount(PhonebookMemory memory) {
    Sync();
    if (m_reading) {
        return State(memory).countKnown ? State(memory).used : -1;
    }
    CPhoneEngine::BusyScope busy(m_engine);
    PortHold port(m_engine);
    return port.Held() ? UsedCountUnlocked(memory) : -1;
}

int CPhonebook::ReadBook(PhonebookMemory memory, const BookProgress& progress) {
    Sync();
    const BookState& state = State(memory);
    if (m_reading) {
        // A read is running (an incoming call arrived while it pumps messages): the caller gets
        // the cache as it stands, never a second read inside the first.
        return state.cacheValid ? state.used : -1;
    }
    if (state.cacheValid) {
        return state.used;
    }
    CPhoneEngine::BusyScope busy(m_engine);
    return ReadUnlocked(memory, progress);
}

int CPhonebook::ReadUnlocked(PhonebookMemory memory, const BookProgress& progress) {
    ReadTexts texts;
    switch (memory) {
        case PhonebookMemory::Sim:
            texts = {Text(5141), Text(5142), Text(5143), Text(5144), Text(5145), Text(5146)};
            break;
        case PhonebookMemory::Handset:
            texts = {u"Getting addresses from Phone..",
                     u"Connecting to Phone..",
                     Text(5143),
                     Text(5144),
                     u"Getting %d of %d addresses from Phone..",
                     Text(5146)};
            break;
        case PhonebookMemory::Dialled:
            texts = {Text(5147), u"", Text(5148), Text(5149), Text(5150), Text(5151)};
            break;
        case PhonebookMemory::Received:
            texts = {Text(5152), u"", Text(5153), Text(5154), Text(5155), Text(5156)};
            break;
        case PhonebookMemory::Missed:
            texts = {Text(5157), u"", Text(5158), Text(5159), Text(5160), Text(5161)};
            break;
        case PhonebookMemory::Emergency:
            texts = {Text(5162), u"", Text(5163), Text(5164), Text(5165), Text(5166)};
            break;
    }
    const std::uint64_t session = m_engine.SessionStarts();
    ReadWindows windows(progress, texts.title);
    windows.Step(texts.connecting);
    PortHold port(m_engine);
    if (!port.Held()) {
        return -1;
    }
    CharsetScope charset(*this);
    if (!SelectUnlocked(memory)) {
        return -1;
    }
    windows.Step(texts.count);
    BookState& state = State(memory);
    const int used = UsedCountUnlocked(memory);
    if (used < 0) {
        return -1;
    }
    windows.Step(texts.range);
    AskRange(memory);
    int first = state.first;
    int last = state.last;
    if (!state.rangeParsed && state.total > 0) {
        // Without a range the total of AT+CPBS? bounds the read, not the 1..1 of no answer.
        first = 1;
        last = state.total;
    }
    const bool editable = IsEditableBook(memory);
    const bool callLog = IsCallLog(memory);
    const std::uint32_t timeoutMs = editable ? m_bookTimeoutMs : m_listTimeoutMs;
    if (memory == PhonebookMemory::Dialled) {
        // This handset keeps one location fewer in its dialled list than it reports.
        std::u16string model;
        m_engine.Exchange(u"AT+CGMM\r", kCommandMs, model, Dispatch::Yes);
        if (Contains(model, u"FISIO")) {
            --last;
        }
    }

    // The bar counts the entries found against the used count, as the text beside it does: over
    // the index range it would hardly move on a SIM whose entries sit at its start.
    windows.OpenBar(0, used);
    std::vector<PhonebookEntry> entries;
    std::vector<CallLogEntry> calls;
    std::set<int> empty;     // read and found empty
    std::set<int> occupied;  // a "+CPBR:" line came back, parsed or not
    int found = 0;
    int unansweredInRow = 0;
    int lastAsked = first - 1;
    bool stoppedEarly = false;
    bool canceled = false;
    bool unread = false;     // a location whose content is not known
    bool errorSeen = false;  // an answer held ERROR
    m_reading = true;
    for (int index = first; index <= last && found < used; ++index) {
        m_engine.PumpMessages();
        windows.Bar(FormatOf(texts.of, found + 1, used), found);
        if (windows.Canceled()) {
            stoppedEarly = true;
            canceled = true;
            break;
        }
        const Answer answer = Converse(m_engine, InUcs2(), u"AT+CPBR=" + Decimal(index) + u"\r",
                                       timeoutMs, u"+CPBR:");
        lastAsked = index;
        errorSeen = errorSeen || answer.final == Final::Error || Contains(answer.kept, u"ERROR");
        if (callLog) {
            CallLogLines lines = ParseCallLogEntries(answer.kept);
            found += lines.lines;
            unread = unread || lines.entries.size() != static_cast<std::size_t>(lines.lines);
            calls.insert(calls.end(), lines.entries.begin(), lines.entries.end());
            if (lines.lines > 0) {
                occupied.insert(index);
            }
        } else {
            BookLines lines = ParseBookEntries(answer.kept);
            found += lines.lines;
            unread = unread || lines.entries.size() != static_cast<std::size_t>(lines.lines);
            for (const PhonebookEntry& e : lines.entries) {
                occupied.insert(e.index);
            }
            entries.insert(entries.end(), lines.entries.begin(), lines.entries.end());
            if (lines.lines > 0) {
                occupied.insert(index);
            }
        }
        if (!occupied.contains(index)) {
            // Empty only when the answer is the one to this command: an answer whose echo is
            // missing may belong to a command a handler sent in between.
            const bool echoed =
                Contains(answer.kept, u"\\r\\nAT+CPBR=" + Decimal(index) + u"\\r\\n");
            if (echoed && (answer.final == Final::Ok || answer.final == Final::NotFound)) {
                empty.insert(index);
            } else {
                unread = true;
            }
        }
        if (answer.final != Final::None) {
            unansweredInRow = 0;
        } else if (++unansweredInRow >= kUnansweredLocationsToStop) {
            stoppedEarly = true;
            m_modemSilent = true;
            break;
        }
    }
    m_reading = false;
    windows.CloseBar();
    windows.Step(texts.parsing);
    if (m_engine.SessionStarts() != session) {
        // The session was restarted while the read pumped messages: what it read belongs to
        // a session that is gone.
        return -1;
    }

    // The used count of AT+CPBS? proves every location without an entry empty once that many
    // entries were found; a read over the whole range proves it when every location answered.
    const bool countProof = state.total >= 0 && found >= used;
    const bool parsedAll =
        (callLog ? calls.size() : entries.size()) == static_cast<std::size_t>(found);
    state.complete = !stoppedEarly && parsedAll && (countProof || (!unread && lastAsked >= last));
    state.readEnd = state.complete ? ReadEnd::Complete
                    : canceled     ? ReadEnd::Canceled
                                   : ReadEnd::CutShort;
    state.freeLocations.clear();
    if (editable) {
        if (countProof && !stoppedEarly) {
            for (int index = first; index <= last; ++index) {
                if (!occupied.contains(index)) {
                    state.freeLocations.insert(index);
                }
            }
        } else {
            state.freeLocations = std::move(empty);
        }
    }
    if (memory == PhonebookMemory::Emergency && errorSeen) {
        // A handset that cannot read its emergency numbers answers ERROR: the list is empty.
        entries.clear();
    }
    DecodeEntries(entries);
    DecodeEntries(calls);
    state.entries = std::move(entries);
    state.calls = std::move(calls);
    state.used = static_cast<int>(callLog ? state.calls.size() : state.entries.size());
    state.countKnown = true;
    state.cacheValid = true;
    return state.used;
}

void CPhonebook::DecodeEntries(std::vector<PhonebookEntry>& entries) {
    for (PhonebookEntry& e : entries) {
        bool encoded = false;
        e.number = DecodeNumber(e.number, m_charset, encoded);
        m_ucs2Numbers = m_ucs2Numbers || encoded;
        e.name = DecodeName(e.name, m_charset);
    }
}

void CPhonebook::DecodeEntries(std::vector<CallLogEntry>& entries) {
    for (CallLogEntry& e : entries) {
        bool encoded = false;
        e.number = DecodeNumber(e.number, m_charset, encoded);
        m_ucs2Numbers = m_ucs2Numbers || encoded;
        e.name = DecodeName(e.name, m_charset);
    }
}

std::vector<PhonebookEntry> CPhonebook::Entries(PhonebookMemory memory) const {
    const BookState& state = State(memory);
    return CacheValid(memory) ? state.entries : std::vector<PhonebookEntry>{};
}

std::vector<CallLogEntry> CPhonebook::CallLog(PhonebookMemory memory) const {
    const BookState& state = State(memory);
    return CacheValid(memory) ? state.calls : std::vector<CallLogEntry>{};
}

bool CPhonebook::CacheComplete(PhonebookMemory memory) const {
    return CacheValid(memory) && State(memory).complete;
}

int CPhonebook::NameLength(PhonebookMemory memory) const {
    const int length = State(memory).nameLength;
    return length > 0 ? length : kDefaultNameLength;
}

int CPhonebook::GetFreeCount(PhonebookMemory memory, const BookProgress& progress) {
    Sync();
    if (!IsEditableBook(memory) || m_reading) {
        return -1;
    }
    if (State(memory).cacheValid && !State(memory).complete) {
        // Locations that were not read might hold entries: read the book again first.
        InvalidateBook(memory);
    }
    ReadBook(memory, progress);
    const BookState& state = State(memory);
    if (!state.cacheValid || (!state.complete && state.freeLocations.empty())) {
        return -1;
    }
    return static_cast<int>(state.freeLocations.size());
}

std::vector<int> CPhonebook::GetFreeLocations(PhonebookMemory memory) const {
    const BookState& state = State(memory);
    if (!CacheValid(memory)) {
        return {};
    }
    return {state.freeLocations.begin(), state.freeLocations.end()};
}

void CPhonebook::InvalidateBook(PhonebookMemory memory) {
    BookState& state = State(memory);
    state.countKnown = false;
    state.cacheValid = false;
    state.rangeKnown = false;
    state.rangeParsed = false;
    state.complete = false;
    state.total = -1;
    state.entries.clear();
    state.calls.clear();
    state.freeLocations.clear();
}

// ---------------------------------------------------------------------------------- edits

BookWrite CPhonebook::WriteEntry(PhonebookMemory memory, const PhonebookEntry& entry,
                                 PhonebookEntry& stored) {
    if (!IsDialableNumber(entry.number) || !IsSafeCommandText(entry.name, kMaxNameUnits)) {
        return BookWrite::Refused;
    }
    stored = entry;
    stored.name = CutName(entry.name, static_cast<std::size_t>(NameLength(memory)),
                          memory == PhonebookMemory::Sim);
    // The type field stays empty in the command: the modem takes it from the number.
    stored.type = TypeOf(entry.number);
    const auto encoded = EncodeName(stored.name, m_charset);
    if (!encoded) {
        return BookWrite::Refused;
    }
    if (!SelectForWrite(memory)) {
        return BookWrite::NotSelected;
    }
    const std::u16string command = u"AT+CPBW=" + Decimal(entry.index) + u",\"" +
                                   EncodeNumber(entry.number, m_charset, m_ucs2Numbers) +
                                   u"\",,\"" + *encoded + u"\"";
    return WriteCommand(command) ? BookWrite::Written : BookWrite::Failed;
}

BookWrite CPhonebook::RunEdit(const std::function<BookWrite()>& edit) {
    CPhoneEngine::BusyScope busy(m_engine);
    PortHold port(m_engine);
    if (!port.Held()) {
        return BookWrite::NotSelected;
    }
    CharsetScope charset(*this);
    return edit();
}

BookWrite CPhonebook::AddEntry(PhonebookMemory memory, const PhonebookEntry& entry) {
    Sync();
    if (!IsEditableBook(memory) || m_reading) {
        return BookWrite::NotSelected;
    }
    BookState& state = State(memory);
    if (!state.cacheValid || !state.freeLocations.contains(entry.index)) {
        return BookWrite::NotFree;
    }
    return RunEdit([&] {
        PhonebookEntry stored;
        const BookWrite written = WriteEntry(memory, entry, stored);
        if (written == BookWrite::Written) {
            InsertByIndex(state.entries, std::move(stored));
            state.used = static_cast<int>(state.entries.size());
            state.freeLocations.erase(entry.index);
        }
        return written;
    });
}

BookWrite CPhonebook::UpdateEntry(PhonebookMemory memory, const PhonebookEntry& entry,
                                  int oldIndex) {
    Sync();
    if (!IsEditableBook(memory) || m_reading) {
        return BookWrite::NotSelected;
    }
    BookState& state = State(memory);
    const auto holds = [&](const PhonebookEntry& e) { return e.index == oldIndex; };
    if (!state.cacheValid ||
        std::find_if(state.entries.begin(), state.entries.end(), holds) == state.entries.end() ||
        (entry.index != oldIndex && !state.freeLocations.contains(entry.index))) {
        return BookWrite::NotFree;
    }
    return RunEdit([&] {
        PhonebookEntry stored;
        const BookWrite written = WriteEntry(memory, entry, stored);
        if (written != BookWrite::Written) {
            return written;
        }
        if (entry.index != oldIndex) {
            // The old location is erased only now that the new one holds the entry; when the
            // erase fails both locations hold it, and the cache says so.
            state.freeLocations.erase(entry.index);
            if (!WriteCommand(u"AT+CPBW=" + Decimal(oldIndex))) {
                InsertByIndex(state.entries, std::move(stored));
                state.used = static_cast<int>(state.entries.size());
                return BookWrite::Failed;
            }
            state.freeLocations.insert(oldIndex);
        }
        state.entries.erase(std::find_if(state.entries.begin(), state.entries.end(), holds));
        InsertByIndex(state.entries, std::move(stored));
        state.used = static_cast<int>(state.entries.size());
        return BookWrite::Written;
    });
}

BookWrite CPhonebook::DeleteEntry(PhonebookMemory memory, int index) {
    Sync();
    if (!IsEditableBook(memory) || m_reading) {
        return BookWrite::NotSelected;
    }
    BookState& state = State(memory);
    const auto holds = [&](const PhonebookEntry& e) { return e.index == index; };
    if (!state.cacheValid ||
        std::find_if(state.entries.begin(), state.entries.end(), holds) == state.entries.end()) {
        return BookWrite::NotFree;
    }
    return RunEdit([&] {
        if (!SelectForWrite(memory)) {
            return BookWrite::NotSelected;
        }
        if (!WriteCommand(u"AT+CPBW=" + Decimal(index))) {
            return BookWrite::Failed;
        }
        state.entries.erase(std::find_if(state.entries.begin(), state.entries.end(), holds));
        state.used = static_cast<int>(state.entries.size());
        state.freeLocations.insert(index);
        return BookWrite::Written;
    });
}

}  // namespace qvl

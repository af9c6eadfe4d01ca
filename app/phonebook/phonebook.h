// CPhonebook: the modem's phonebook memories (SIM book, handset book, dialled, received and
// missed calls, emergency numbers), each read once into a cache that lives as long as the
// program runs; edits go to the modem and, once the modem has taken them, to the cache.
//
// Everything runs on the UI thread under the engine's session lock and busy flag, so a poll
// step that arrives while a read pumps messages returns at once. Caches, the current-memory
// code and the character set are forgotten at every session start of the engine.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/phonebook/bookanswers.h"
#include "app/phonebook/phonebookentry.h"
#include "common/ports/uiports.h"

namespace qvl {

class CPhoneEngine;

// The two progress windows of a read: the step window (what the read is doing) and the bar
// window (which location, with Cancel). Either may be null.
struct BookProgress {
    IProgressWindow* steps = nullptr;
    IProgressWindow* bar = nullptr;
};

// What became of an add, an update or a delete.
enum class BookWrite {
    Written,      // the modem took it; the cache holds it
    NotSelected,  // the memory could not be selected (or a read is in progress)
    Refused,      // the name or number cannot go into a command, or the character set cannot
                  // hold the name; nothing was sent
    NotFree,      // the location was not read and found empty: it might hold an entry
    Failed,       // the modem answered ERROR (or nothing); cache unchanged
};

// How the last read of a memory ended.
enum class ReadEnd {
    Complete,  // every entry is in the cache
    Canceled,  // the user pressed Cancel
    CutShort,  // the modem stopped answering, or some locations could not be read
};

// Message ids of the phonebook's progress texts.
inline constexpr int kMsgGettingAddresses = 5141;
inline constexpr int kMsgConnectingToSim = 5142;
inline constexpr int kMsgGettingAddressCount = 5143;
inline constexpr int kMsgGettingAddressRange = 5144;
inline constexpr int kMsgGettingAddressOf = 5145;
inline constexpr int kMsgParsingAddresses = 5146;
inline constexpr int kMsgGettingDialled = 5147;
inline constexpr int kMsgGettingReceived = 5152;
inline constexpr int kMsgGettingMissed = 5157;
inline constexpr int kMsgGettingSos = 5162;

class CPhonebook {
  public:
    using TextSource = std::function<std::u16string(int)>;
    // Per-location time-outs of a read.
    static constexpr std::uint32_t kBookReadTimeoutMs = 15000;
    static constexpr std::uint32_t kListReadTimeoutMs = 200;
    // Name length when AT+CPBR=? does not tell it.
    static constexpr int kDefaultNameLength = 15;

    // text: the current language's text of a message id (null: LoadLocalString).
    explicit CPhonebook(CPhoneEngine& engine, TextSource text = nullptr);

    CPhoneEngine& Engine() const { return m_engine; }
    // Tests shorten the per-location time-outs (a silent modem costs the whole time-out at
    // every location it is asked for).
    void SetLocationTimeouts(std::uint32_t bookMs, std::uint32_t listMs) {
        m_bookTimeoutMs = bookMs;
        m_listTimeoutMs = listMs;
    }

    // Selects the memory with AT+CPBS (5 attempts; the dialled list tries "DC", then "LD");
    // at once when the current-memory code already names it.
    bool SelectMemory(PhonebookMemory memory);
    // The used count (AT+CPBS?, or the range size when the answer has no counts); -1 when the
    // memory could not be selected.
    int GetUsedCount(PhonebookMemory memory);
    // Reads the memory into its cache unless the cache is valid; the number of entries, or -1.
    // A read stopped by Cancel, by a modem that stopped answering, or with locations that could
    // not be read leaves a valid but incomplete cache. Called while a read is in progress (an
    // incoming call during the start-up read), it answers from the cache as it stands.
    int ReadBook(PhonebookMemory memory, const BookProgress& progress);
    // Copies of the cache (SIM book, handset book and emergency list / the call lists).
    std::vector<PhonebookEntry> Entries(PhonebookMemory memory) const;
    std::vector<CallLogEntry> CallLog(PhonebookMemory memory) const;

    // Free locations of the SIM or handset book after making sure it is read (an incomplete
    // cache is read again first); -1 when no read gave a usable answer.
    int GetFreeCount(PhonebookMemory memory, const BookProgress& progress);
    // The free indices in ascending order: locations that were read and found empty, or that
    // the used count proves empty. Empty when the cache is not valid.
    std::vector<int> GetFreeLocations(PhonebookMemory memory) const;

    // Edits of the SIM and handset books. Names are cut to the book's name length; names and
    // numbers pass the command checks. The cache changes only when the modem answered OK.
    BookWrite AddEntry(PhonebookMemory memory, const PhonebookEntry& entry);
    // Writes the entry at its index, then (only after that succeeded) erases oldIndex when
    // it differs.
    BookWrite UpdateEntry(PhonebookMemory memory, const PhonebookEntry& entry, int oldIndex);
    BookWrite DeleteEntry(PhonebookMemory memory, int index);

    // Forgets what is known of the memory: the next read asks the modem again.
    void InvalidateBook(PhonebookMemory memory);

    // State, for the dialogs and tests.
    bool CacheValid(PhonebookMemory memory) const { return !Stale() && State(memory).cacheValid; }
    bool CacheComplete(PhonebookMemory memory) const;
    ReadEnd LastReadEnd(PhonebookMemory memory) const { return State(memory).readEnd; }
    int UsedCount(PhonebookMemory memory) const { return Stale() ? 0 : State(memory).used; }
    // The name length the book takes (AT+CPBR=?, or kDefaultNameLength).
    int NameLength(PhonebookMemory memory) const;
    // 0 none, else the PhonebookMemory value of the memory selected last with success.
    int CurrentMemoryCode() const { return Stale() ? 0 : m_currentMemory; }
    NameCharset Charset() const { return m_charset; }
    bool Reading() const { return m_reading; }

  private:
    struct BookState {
        bool countKnown = false;
        bool cacheValid = false;
        bool rangeKnown = false;
        bool rangeParsed = false;
        bool complete = false;
        ReadEnd readEnd = ReadEnd::Complete;
        int used = 0;
        int total = -1;  // from AT+CPBS?; -1 not known
        int first = 1;
        int last = 1;
        int numberLength = -1;
        int nameLength = -1;
        std::vector<PhonebookEntry> entries;
        std::vector<CallLogEntry> calls;
        std::set<int> freeLocations;
    };
    class CharsetScope;

    BookState& State(PhonebookMemory memory) { return m_books[Slot(memory)]; }
    const BookState& State(PhonebookMemory memory) const { return m_books[Slot(memory)]; }
    static std::size_t Slot(PhonebookMemory memory) { return static_cast<std::size_t>(memory) - 1; }
    std::u16string Text(int id) const;
    // Forgets everything when the engine started a session since the last call.
    void Sync();
    // True while what is kept belongs to an earlier session (until the next Sync).
    bool Stale() const;
    bool SelectUnlocked(PhonebookMemory memory);
    int UsedCountUnlocked(PhonebookMemory memory);
    void AskRange(PhonebookMemory memory);
    int ReadUnlocked(PhonebookMemory memory, const BookProgress& progress);
    // Selects an editable book for a write (one attempt, the code follows the outcome).
    bool SelectForWrite(PhonebookMemory memory);
    // A write command judged by its answer: true on OK.
    // The modem is switched to UCS2 for the names of the running operation.
    bool InUcs2() const;
    bool WriteCommand(const std::u16string& command);
    // Checks the name and number, cuts and encodes the name, selects the memory and writes the
    // location; stored is the entry as the cache is to hold it.
    BookWrite WriteEntry(PhonebookMemory memory, const PhonebookEntry& entry,
                         PhonebookEntry& stored);
    // An edit under the busy scope, the port and the names' character set.
    BookWrite RunEdit(const std::function<BookWrite()>& edit);
    void DecodeEntries(std::vector<PhonebookEntry>& entries);
    void DecodeEntries(std::vector<CallLogEntry>& entries);

    CPhoneEngine& m_engine;
    TextSource m_text;
    std::array<BookState, kPhonebookMemoryCount> m_books{};
    int m_currentMemory = 0;
    std::uint64_t m_session = 0;
    bool m_reading = false;
    std::uint32_t m_bookTimeoutMs = kBookReadTimeoutMs;
    std::uint32_t m_listTimeoutMs = kListReadTimeoutMs;
    // Character sets: asked once a session; the set the names travel in, and the modem's own.
    bool m_charsetKnown = false;
    NameCharset m_charset = NameCharset::AsIs;
    std::u16string m_modemCharset;
    bool m_ucs2Numbers = false;
    int m_charsetDepth = 0;
    bool m_charsetSwitched = false;
    // A restore the modem did not answer: the set to give back and the set it was switched to.
    // Kept over a session start, unlike the rest.
    std::u16string m_owedCharset;
    std::u16string m_owedFrom;
    // The last read ended because the modem stopped answering: the character set's restore at
    // the end of the operation waits no longer than a location was given.
    bool m_modemSilent = false;
};

}  // namespace qvl

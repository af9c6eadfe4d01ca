// CPhonebook over a scripted modem: what it sends, how it judges the answers, and what its
// caches then hold.
#include "app/phonebook/phonebook.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/enginepeer.h"
#include "app/engine/testing/fakes.h"
#include "app/engine/testing/scriptedengine.h"
#include "base/text.h"

namespace qvl {
namespace {

using testing::Esc;

// The answer of a modem with echo on: the command, then body lines, then final.
std::u16string Reply(const std::string& command, const std::string& body,
                     const std::string& final = "OK") {
    return Esc(command + "\r" + (body.empty() ? "" : "\r\n" + body + "\r\n") + "\r\n" + final +
               "\r\n");
}

std::string Line(int index, const std::string& number, const std::string& name) {
    return "+CPBR: " + std::to_string(index) + ",\"" + number + "\"," +
           (number.starts_with("+") ? "145" : "129") + ",\"" + name + "\"";
}

// A progress window that records what it was told; tests act on it through onText.
class FakeProgress final : public IProgressWindow {
  public:
    void Create(int minimum, int maximum, int position, bool cancellable) override {
        ++creates;
        open = true;
        canceled = false;
        created = {minimum, maximum, position, cancellable ? 1 : 0};
    }
    void SetText(std::u16string_view text, int position) override {
        texts.emplace_back(text);
        if (position != -1) {
            positions.push_back(position);
        }
        if (onText) {
            onText(position);
        }
    }
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled; }
    void Close() override { open = false; }
    void Destroy() override { open = false; }

    std::function<void(int)> onText;
    std::vector<std::u16string> texts;
    std::vector<int> positions;
    std::vector<int> created;
    int creates = 0;
    bool open = false;
    bool canceled = false;
};

// Message texts: the ids themselves, and one real "n of m" format.
std::u16string Text(int id) {
    if (id == 5150) {
        return u"Getting %d of %d dialed calls..";
    }
    return u"#" + Widen(std::to_string(id));
}

class PhonebookTest : public ::testing::Test {
  protected:
    PhonebookTest() {
        book = std::make_unique<CPhonebook>(*engine, Text);
        progress.steps = &steps;
        progress.bar = &bar;
        EXPECT_TRUE(scripted.StartReady());
    }

    // A memory of the scripted modem: its selection, counts, range and every location.
    void Script(const std::string& memory, int last, const std::map<int, std::string>& lines,
                int used, int nameLength = 14) {
        const std::string select = "AT+CPBS=\"" + memory + "\"";
        io.On(Widen(select), {Reply(select, "")});
        io.On(u"AT+CPBS?", {Reply("AT+CPBS?", "+CPBS: \"" + memory + "\"," + std::to_string(used) +
                                                  "," + std::to_string(last))});
        io.On(u"AT+CPBR=?", {Reply("AT+CPBR=?", "+CPBR: (1-" + std::to_string(last) + "),40," +
                                                    std::to_string(nameLength))});
        for (int i = 1; i <= last; ++i) {
            const std::string command = "AT+CPBR=" + std::to_string(i);
            const auto it = lines.find(i);
            io.On(Widen(command + "\r"), {Reply(command, it == lines.end() ? "" : it->second)});
        }
    }
    int Written(std::u16string_view prefix) const { return io.CountWritten(prefix); }
    std::vector<std::u16string> WrittenStarting(std::u16string_view prefix) const {
        std::vector<std::u16string> out;
        for (const auto& w : io.written) {
            if (w.rfind(prefix, 0) == 0) {
                out.push_back(w);
            }
        }
        return out;
    }

    testing::ScriptedEngine scripted;
    testing::ScriptedModemIo& io = scripted.io;
    testing::RecordingEventSink& sink = scripted.sink;
    std::unique_ptr<CPhoneEngine>& engine = scripted.engine;
    std::unique_ptr<CPhonebook> book;
    FakeProgress steps;
    FakeProgress bar;
    BookProgress progress;
};

TEST_F(PhonebookTest, ReadStopsAtTheUsedCountWithTheWindowsShown) {
    Script("SM", 250,
           {{1, Line(1, "+491701", "Anna")},
            {7, Line(7, "0301", "Bert")},
            {9, Line(9, "0302", "Carla")}},
           3);
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 3);
    EXPECT_EQ(Written(u"AT+CPBR=") - Written(u"AT+CPBR=?"), 9);
    EXPECT_TRUE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
              (std::vector<PhonebookEntry>{{1, u"+491701", 145, u"Anna"},
                                           {7, u"0301", 129, u"Bert"},
                                           {9, u"0302", 129, u"Carla"}}));
    // The step window shows the read's title with each step; the bar window counts the entries
    // found against the used count, with Cancel and the "n of m" text; both are gone afterwards.
    EXPECT_EQ(steps.texts.front(), u"#5141");
    EXPECT_EQ(steps.texts.back(), u"#5141\n#5146");
    EXPECT_EQ(bar.created, (std::vector<int>{0, 3, 0, 1}));
    EXPECT_EQ(bar.positions, (std::vector<int>{0, 1, 1, 1, 1, 1, 1, 2, 2}));
    EXPECT_FALSE(steps.open || bar.open);
    // A valid cache is not read again.
    io.written.clear();
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 3);
    EXPECT_TRUE(io.written.empty());
}

TEST_F(PhonebookTest, AddEntryRaisesTheUsedCountSoAFullBookHasNoFreeLocation) {
    Script("SM", 3, {{1, Line(1, "0301", "Anna")}, {2, Line(2, "0302", "Bert")}}, 2);
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 1);
    ASSERT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), std::vector<int>{3});
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {3, u"0303", 0, u"Carla"}), BookWrite::Written);
    EXPECT_EQ(book->UsedCount(PhonebookMemory::Sim), 3);
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).size(), 3u);
    EXPECT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 0);
    EXPECT_TRUE(book->GetFreeLocations(PhonebookMemory::Sim).empty());
    io.written.clear();
    // The book is full: a second insert at the same place writes nothing.
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {3, u"0304", 0, u"Dora"}), BookWrite::NotFree);
    EXPECT_EQ(Written(u"AT+CPBW"), 0);
}

TEST_F(PhonebookTest, CanceledReadLeavesAnIncompleteCacheAndNoUnreadLocationIsWritten) {
    Script("SM", 10, {{1, Line(1, "0301", "Anna")}, {5, Line(5, "0305", "Eva")}}, 2);
    // Cancel when location 4 is about to be asked for (the bar's text comes before each).
    int texts = 0;
    bar.onText = [&](int) { bar.canceled = bar.canceled || ++texts == 4; };
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    EXPECT_TRUE(book->CacheValid(PhonebookMemory::Sim));
    EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->LastReadEnd(PhonebookMemory::Sim), ReadEnd::Canceled);
    // Only what was read and found empty is free; location 5 was not read.
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), (std::vector<int>{2, 3}));
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {5, u"0399", 0, u"Over"}), BookWrite::NotFree);
    EXPECT_EQ(Written(u"AT+CPBW"), 0);
    // Insert asks for the free count, which reads the book again first.
    bar.onText = nullptr;
    io.written.clear();
    EXPECT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 8);
    EXPECT_EQ(Written(u"AT+CPBR=5\r"), 1);
    EXPECT_TRUE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim).front(), 2);
}

TEST_F(PhonebookTest, CpbrLineInTheSameReadAsAnUnsolicitedCodeIsKept) {
    const struct {
        const char* name;
        std::string unsolicited;
        DialerEvent event;
    } rows[] = {
        {"new message", "+CMTI: \"SM\",4", DialerEvent::NewSms},
        {"ring", "RING\r\n\r\n+CLIP: \"+4930555\",145", DialerEvent::IncomingCall},
        {"waiting call", "+CCWA: \"+4930666\",145,1", DialerEvent::CallWaiting},
        {"no carrier", "NO CARRIER", DialerEvent::NoCarrier},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        book->InvalidateBook(PhonebookMemory::Sim);
        sink.Clear();
        Script("SM", 3, {{2, Line(2, "0302", "Bert")}}, 1);
        // The event arrives in the middle of the answer, in the same read.
        io.On(u"AT+CPBR=2\r", {Esc("AT+CPBR=2\r\r\n" + row.unsolicited + "\r\n" +
                                   Line(2, "0302", "Bert") + "\r\n\r\nOK\r\n")});
        EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
                  (std::vector<PhonebookEntry>{{2, u"0302", 129, u"Bert"}}));
        EXPECT_GT(sink.CountOf(row.event), 0);
        testing::EnginePeer::ForgetRing(*engine);
    }
    // The event comes in a read of its own before the answer: the answer is read after it.
    book->InvalidateBook(PhonebookMemory::Sim);
    Script("SM", 3, {{2, Line(2, "0302", "Bert")}}, 1);
    io.On(u"AT+CPBR=1\r", {Reply("AT+CPBR=1", "")});
    io.Push(Esc("\r\n+CMTI: \"SM\",5\r\n"));
    sink.Clear();
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    EXPECT_EQ(sink.Codes(), std::vector<DialerEvent>{DialerEvent::NewSms});
}

TEST_F(PhonebookTest, WriteAnswersAreJudged) {
    const struct {
        const char* name;
        std::u16string answer;
        BookWrite outcome;
    } rows[] = {
        {"ok", Esc("\r\nOK\r\n"), BookWrite::Written},
        {"error", Esc("\r\nERROR\r\n"), BookWrite::Failed},
        {"name too long", Esc("\r\n+CME ERROR: 24\r\n"), BookWrite::Failed},
        {"memory full", Esc("\r\n+CME ERROR: 20\r\n"), BookWrite::Failed},
        {"nothing", u"", BookWrite::Failed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        book->InvalidateBook(PhonebookMemory::Sim);
        Script("SM", 3, {{1, Line(1, "0301", "Anna")}}, 1);
        ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 2);
        io.On(u"AT+CPBW=", {row.answer});
        const auto before = book->Entries(PhonebookMemory::Sim);
        EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {2, u"0302", 0, u"Bert"}), row.outcome);
        if (row.outcome == BookWrite::Written) {
            EXPECT_EQ(book->Entries(PhonebookMemory::Sim).size(), 2u);
            EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), std::vector<int>{3});
        } else {
            EXPECT_EQ(book->Entries(PhonebookMemory::Sim), before);
            EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), (std::vector<int>{2, 3}));
        }
        // Edits and deletes are judged the same way.
        EXPECT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {1, u"0309", 0, u"Anne"}, 1),
                  row.outcome);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim).front().name,
                  row.outcome == BookWrite::Written ? u"Anne" : u"Anna");
        EXPECT_EQ(book->DeleteEntry(PhonebookMemory::Sim, 1), row.outcome);
        ASSERT_EQ(book->Entries(PhonebookMemory::Sim).size(), 1u);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim).front().index,
                  row.outcome == BookWrite::Written ? 2 : 1);
    }
}

TEST_F(PhonebookTest, UpdateErasesTheOldLocationOnlyAfterTheNewWrite) {
    Script("SM", 10, {{4, Line(4, "0304", "Dora")}}, 1);
    ASSERT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    io.written.clear();
    EXPECT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {6, u"0306", 0, u"Dora"}, 4),
              BookWrite::Written);
    EXPECT_EQ(WrittenStarting(u"AT+CPBW="),
              (std::vector<std::u16string>{u"AT+CPBW=6,\"0306\",,\"Dora\"\r", u"AT+CPBW=4\r"}));
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
              (std::vector<PhonebookEntry>{{6, u"0306", 129, u"Dora"}}));
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim).front(), 1);
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim).size(), 9u);

    // The new location refuses the entry: the old one is not erased.
    io.written.clear();
    io.On(u"AT+CPBW=8", {Esc("\r\n+CME ERROR: 21\r\n")});
    EXPECT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {8, u"0306", 0, u"Dora"}, 6),
              BookWrite::Failed);
    EXPECT_EQ(WrittenStarting(u"AT+CPBW="),
              std::vector<std::u16string>{u"AT+CPBW=8,\"0306\",,\"Dora\"\r"});
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).front().index, 6);
}

TEST_F(PhonebookTest, NamesAreCutToTheReportedLength) {
    Script("SM", 5, {}, 0, 10);
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 5);
    io.written.clear();
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"0301", 0, u"Anna Smith Mobile"}),
              BookWrite::Written);
    EXPECT_EQ(WrittenStarting(u"AT+CPBW="),
              std::vector<std::u16string>{u"AT+CPBW=1,\"0301\",,\"Anna Smith\"\r"});
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).front().name, u"Anna Smith");
    // Edits are cut the same way.
    io.written.clear();
    EXPECT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {1, u"0301", 0, u"Bert Brown Home"}, 1),
              BookWrite::Written);
    EXPECT_EQ(WrittenStarting(u"AT+CPBW="),
              std::vector<std::u16string>{u"AT+CPBW=1,\"0301\",,\"Bert Brown\"\r"});

    // A handset that does not tell its name length: 15 characters.
    book->InvalidateBook(PhonebookMemory::Handset);
    Script("ME", 5, {}, 0);
    io.On(u"AT+CPBR=?", {Reply("AT+CPBR=?", "+CPBR: (1-5)")});
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Handset, progress), 5);
    EXPECT_EQ(book->NameLength(PhonebookMemory::Handset), 15);
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Handset, {2, u"0302", 0, u"Anna Smith Mobile"}),
              BookWrite::Written);
    EXPECT_EQ(book->Entries(PhonebookMemory::Handset).front().name, u"Anna Smith Mobi");
}

TEST_F(PhonebookTest, NamesAndNumbersPassTheChecksBeforeTheCommand) {
    Script("SM", 5, {}, 0);
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 5);
    const struct {
        const char* name;
        PhonebookEntry entry;
    } rows[] = {
        {"command after the number", {1, u"0301;\rAT+CMGD=1,4", 0, u"Anna"}},
        {"quote in the number", {1, u"0301\"", 0, u"Anna"}},
        {"letters in the number", {1, u"0301abc", 0, u"Anna"}},
        {"empty number", {1, u"", 0, u"Anna"}},
        {"quote in the name", {1, u"0301", 0, u"An\"na"}},
        {"backslash in the name", {1, u"0301", 0, u"An\\na"}},
        {"line end in the name", {1, u"0301", 0, u"An\rATH"}},
    };
    io.written.clear();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, row.entry), BookWrite::Refused);
    }
    EXPECT_EQ(Written(u"AT+CPBW"), 0);
    EXPECT_TRUE(book->Entries(PhonebookMemory::Sim).empty());
}

TEST_F(PhonebookTest, CurrentMemoryCodeFollowsEverySelection) {
    Script("SM", 3, {}, 0);
    EXPECT_EQ(book->CurrentMemoryCode(), 0);
    EXPECT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_EQ(book->CurrentMemoryCode(), 1);
    // Selected already: no command.
    io.written.clear();
    EXPECT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_TRUE(io.written.empty());

    // The writers select for themselves; the code follows them.
    Script("ME", 3, {}, 0);
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Handset, progress), 3);
    EXPECT_EQ(book->CurrentMemoryCode(), 6);
    ASSERT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Handset, {1, u"0301", 0, u"Anna"}),
              BookWrite::Written);
    EXPECT_EQ(book->CurrentMemoryCode(), 6);
    io.written.clear();
    EXPECT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_EQ(Written(u"AT+CPBS=\"SM\""), 1);

    // A failed selection clears it, so the next one is sent again.
    io.On(u"AT+CPBS=\"ME\"", {Esc("AT+CPBS=\"ME\"\r\r\n+CME ERROR: 3\r\n")});
    EXPECT_EQ(book->DeleteEntry(PhonebookMemory::Handset, 1), BookWrite::NotSelected);
    EXPECT_EQ(book->CurrentMemoryCode(), 0);
    EXPECT_FALSE(book->SelectMemory(PhonebookMemory::Handset));
    EXPECT_EQ(Written(u"AT+CPBS=\"ME\""), 1 + 5);
    EXPECT_EQ(book->CurrentMemoryCode(), 0);

    // A session start clears the code and every cache.
    ASSERT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    EXPECT_EQ(book->CurrentMemoryCode(), 0);
    io.written.clear();
    EXPECT_TRUE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_EQ(Written(u"AT+CPBS=\"SM\""), 1);
    EXPECT_FALSE(book->CacheValid(PhonebookMemory::Handset));
}

TEST_F(PhonebookTest, SelectionNeedsTheEchoAndTheDialledListFallsBackToLd) {
    // An OK without the echo may be left over from another command.
    io.On(u"AT+CPBS=\"SM\"", {Esc("\r\nOK\r\n")});
    EXPECT_FALSE(book->SelectMemory(PhonebookMemory::Sim));
    EXPECT_EQ(Written(u"AT+CPBS=\"SM\""), 5);

    io.written.clear();
    io.On(u"AT+CPBS=\"DC\"", {Esc("AT+CPBS=\"DC\"\r\r\n+CME ERROR: 3\r\n")});
    io.On(u"AT+CPBS=\"LD\"", {Reply("AT+CPBS=\"LD\"", "")});
    EXPECT_TRUE(book->SelectMemory(PhonebookMemory::Dialled));
    EXPECT_EQ(Written(u"AT+CPBS=\"DC\""), 5);
    EXPECT_EQ(Written(u"AT+CPBS=\"LD\""), 1);
    EXPECT_EQ(book->CurrentMemoryCode(), 2);
}

TEST_F(PhonebookTest, UnknownRangeIsBoundedByTheTotalAndFreeCountsStayAtZero) {
    // No range answer; the counts say 3 of 5 but only two entries exist.
    Script("SM", 5, {{1, Line(1, "0301", "Anna")}, {4, Line(4, "0304", "Dora")}}, 3);
    io.On(u"AT+CPBR=?", {Esc("AT+CPBR=?\r\r\nERROR\r\n")});
    io.On(u"AT+CPBR=6\r", {Reply("AT+CPBR=6", "", "+CME ERROR: 21")});
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
    EXPECT_EQ(Written(u"AT+CPBR=") - Written(u"AT+CPBR=?"), 5);
    EXPECT_EQ(Written(u"AT+CPBR=6"), 0);
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), (std::vector<int>{2, 3, 5}));

    // More entries than the range holds: nothing is free, never fewer than none.
    book->InvalidateBook(PhonebookMemory::Sim);
    Script("SM", 2, {{1, Line(1, "0301", "Anna")}, {2, Line(2, "0302", "Bert")}}, 4);
    io.On(u"AT+CPBS?", {Reply("AT+CPBS?", "+CPBS: \"SM\",4,10")});
    EXPECT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 0);
}

TEST_F(PhonebookTest, CountsMissingReadTheWholeRange) {
    Script("SM", 6, {{2, Line(2, "0302", "Bert")}}, 0);
    io.On(u"AT+CPBS?", {Reply("AT+CPBS?", "+CPBS: \"SM\"")});
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    EXPECT_EQ(Written(u"AT+CPBR=") - Written(u"AT+CPBR=?"), 6);
    EXPECT_TRUE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim), (std::vector<int>{1, 3, 4, 5, 6}));
}

TEST_F(PhonebookTest, AnIncomingCallDuringAReadGetsTheCacheAsItStands) {
    Script("SM", 3, {{2, Line(2, "0302", "Bert")}}, 1);
    io.On(u"AT+CPBR=1\r", {Esc("AT+CPBR=1\r\r\nRING\r\n\r\nOK\r\n")});
    io.On(u"AT+CLCC", {Esc("AT+CLCC\r\r\n+CLCC: 1,1,4,0,0,\"+4930555\",145\r\n\r\nOK\r\n")});
    int nested = 99;
    std::size_t commandsBefore = 0;
    std::size_t commandsAfter = 0;
    sink.hook = [&](const DialerEventMessage& message) {
        if (message.event != DialerEvent::IncomingCall) {
            return;
        }
        commandsBefore = io.written.size();
        nested = book->ReadBook(PhonebookMemory::Sim, progress);
        commandsAfter = io.written.size();
    };
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    EXPECT_EQ(nested, -1);  // the first read of the book: no cache yet
    EXPECT_EQ(commandsAfter, commandsBefore);
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).size(), 1u);
    EXPECT_FALSE(book->Reading());
}

TEST_F(PhonebookTest, CutAndMalformedLinesLeaveTheirLocationUnread) {
    Script("SM", 4, {{1, Line(1, "0301", "Anna")}, {3, Line(3, "0303", "Carla")}}, 4);
    io.On(u"AT+CPBR=2\r", {Esc("AT+CPBR=2\r\r\n+CPBR: 2,\"0302\",129,\"Be")});
    io.On(u"AT+CPBR=4\r", {Reply("AT+CPBR=4", "+CPBR: 4,0304,129,\"Dora\"")});
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
    EXPECT_EQ(book->UsedCount(PhonebookMemory::Sim), 2);
    EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
    // Neither the cut nor the malformed location is free.
    EXPECT_TRUE(book->GetFreeLocations(PhonebookMemory::Sim).empty());
}

TEST_F(PhonebookTest, AModemThatStopsAnsweringEndsTheReadCutShort) {
    Script(
        "SM", 250,
        {{1, Line(1, "0301", "Anna")}, {2, Line(2, "0302", "Bert")}, {40, Line(40, "0340", "Zoe")}},
        3);
    int texts = 0;
    bar.onText = [&](int) { io.silent = ++texts >= 3; };
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
    // Two silent locations, then the read gives up instead of waiting at every location.
    EXPECT_EQ(Written(u"AT+CPBR=") - Written(u"AT+CPBR=?"), 4);
    EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->LastReadEnd(PhonebookMemory::Sim), ReadEnd::CutShort);
    EXPECT_TRUE(book->GetFreeLocations(PhonebookMemory::Sim).empty());
    io.silent = false;
    bar.onText = nullptr;
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {3, u"0303", 0, u"New"}), BookWrite::NotFree);
    EXPECT_EQ(Written(u"AT+CPBW"), 0);
}

TEST_F(PhonebookTest, CallListsAndTheEmergencyList) {
    // Dialled calls of a handset that keeps one location fewer than it says.
    Script("DC", 5, {{1, Line(1, "+4930111", "Anna")}, {5, Line(5, "0305", "Eva")}}, 5);
    io.On(u"AT+CGMM", {Reply("AT+CGMM", "FISIO 820")});
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Dialled, progress), 1);
    EXPECT_EQ(Written(u"AT+CPBR=5"), 0);
    EXPECT_EQ(book->CallLog(PhonebookMemory::Dialled),
              (std::vector<CallLogEntry>{{u"1", u"Anna", u"+4930111", u"", 145}}));
    EXPECT_EQ(steps.texts.front(), u"#5147");
    EXPECT_EQ(bar.texts.front(), u"Getting 1 of 5 dialed calls..") << "format";

    // Emergency numbers; a list whose reads hold ERROR shows empty.
    Script("EN", 3, {{1, Line(1, "112", "")}, {2, Line(2, "911", "")}}, 2);
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Emergency, progress), 2);
    book->InvalidateBook(PhonebookMemory::Emergency);
    Script("EN", 3, {{1, Line(1, "112", "")}}, 2);
    io.On(u"AT+CPBR=2\r", {Reply("AT+CPBR=2", "", "ERROR")});
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Emergency, progress), 0);
    // Nothing of a call list or the emergency list can be written.
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Emergency, {3, u"110", 0, u""}),
              BookWrite::NotSelected);
}

// A handset switched to UCS2 for the names may send the number of a call that arrives during
// the read in UCS2 too: the engine gets it in the modem's own form.
TEST_F(PhonebookTest, ACallerNumberSentInUcs2DuringAReadReachesTheEngineDecoded) {
    const struct {
        const char* name;
        std::string unsolicited;
        std::u16string shown;
    } rows[] = {
        {"ring", "RING\r\n\r\n+CLIP: \"002B0034003900330030003500350035\",145", u"+4930555"},
        {"waiting call", "+CCWA: \"002B0034003900330030003600360036\",145,1", u"+4930666"},
        {"plain number", "RING\r\n\r\n+CLIP: \"03012345\",129", u"03012345"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        Script("SM", 3, {{2, Line(2, "0302", "0042006500720074")}}, 1);
        io.On(u"AT+CSCS=?", {Reply("AT+CSCS=?", "+CSCS: (\"IRA\",\"GSM\",\"UCS2\")")});
        io.On(u"AT+CSCS?", {Reply("AT+CSCS?", "+CSCS: \"IRA\"")});
        io.On(u"AT+CPBR=2\r", {Esc("AT+CPBR=2\r\r\n" + row.unsolicited + "\r\n" +
                                   Line(2, "0302", "0042006500720074") + "\r\n\r\nOK\r\n")});
        EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
                  (std::vector<PhonebookEntry>{{2, u"0302", 129, u"Bert"}}));
        EXPECT_EQ(engine->DisplayText(), row.shown);
        testing::EnginePeer::ForgetRing(*engine);
    }
}

TEST_F(PhonebookTest, NamesTravelInTheCharacterSetTheModemOffers) {
    const std::u16string joerg = u"J\u00f6rg M\u00fcller";
    Script("SM", 3, {}, 0);
    io.On(u"AT+CSCS=?", {Reply("AT+CSCS=?", "+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")")});
    io.On(u"AT+CSCS?", {Reply("AT+CSCS?", "+CSCS: \"GSM\"")});
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 3);
    EXPECT_EQ(book->Charset(), NameCharset::Latin1);
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"+4930", 0, joerg}), BookWrite::Written);
    // The set is chosen for each operation and the modem gets its own back afterwards.
    EXPECT_EQ(
        WrittenStarting(u"AT+CSCS="),
        (std::vector<std::u16string>{u"AT+CSCS=?\r", u"AT+CSCS=\"8859-1\"\r", u"AT+CSCS=\"GSM\"\r",
                                     u"AT+CSCS=\"8859-1\"\r", u"AT+CSCS=\"GSM\"\r"}));
    EXPECT_EQ(Written(u"AT+CSCS?"), 1);

    // A modem without 8859-1: names and (for this one) numbers travel as UCS2 hex.
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    Script("SM", 3,
           {{1,
             "+CPBR: "
             "1,\"002B0034003900330030\",145,\"004A00F6007200670020004D00FC006C006C00650072\""}},
           1);
    io.On(u"AT+CSCS=?", {Reply("AT+CSCS=?", "+CSCS: (\"IRA\",\"GSM\",\"UCS2\")")});
    io.On(u"AT+CSCS?", {Reply("AT+CSCS?", "+CSCS: \"IRA\"")});
    io.written.clear();
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 2);
    EXPECT_EQ(book->Charset(), NameCharset::Ucs2);
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
              (std::vector<PhonebookEntry>{{1, u"+4930", 145, joerg}}));
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {2, u"+49", 0, u"\u0141ukasz"}),
              BookWrite::Written);
    EXPECT_EQ(
        WrittenStarting(u"AT+CPBW="),
        std::vector<std::u16string>{u"AT+CPBW=2,\"002B00340039\",,\"01410075006B00610073007A\"\r"});
    EXPECT_EQ(WrittenStarting(u"AT+CSCS=\"").back(), u"AT+CSCS=\"IRA\"\r");

    // A modem that offers no set the name fits in: refused before anything is written.
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    Script("SM", 3, {}, 0);
    io.On(u"AT+CSCS=?", {Reply("AT+CSCS=?", "+CSCS: (\"IRA\")")});
    io.On(u"AT+CSCS?", {Reply("AT+CSCS?", "+CSCS: \"IRA\"")});
    io.written.clear();
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 3);
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"0301", 0, joerg}), BookWrite::Refused);
    EXPECT_EQ(Written(u"AT+CPBW"), 0);

    // A modem that does not say which set it is in: no set could be given back after a
    // switch, so it is left in its set and names travel as they stand.
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    Script("SM", 3, {}, 0);
    io.On(u"AT+CSCS=?", {Reply("AT+CSCS=?", "+CSCS: (\"GSM\",\"8859-1\",\"UCS2\")")});
    io.On(u"AT+CSCS?", {Reply("AT+CSCS?", "", "ERROR")});
    io.written.clear();
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 3);
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"0301", 0, u"Anna"}), BookWrite::Written);
    EXPECT_EQ(book->Charset(), NameCharset::AsIs);
    EXPECT_EQ(WrittenStarting(u"AT+CSCS=\""), std::vector<std::u16string>{});
}

}  // namespace
}  // namespace qvl

// CPhonebook over a real pseudo-terminal against the modem simulator, through the serial
// transport: what a sparse SIM costs, names with umlauts through a write and a read, edits that
// reach the handset, a handset that stops answering in the middle of its book, and a session
// restart.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/phoneengine.h"
#include "app/engine/testing/fakes.h"
#include "app/phonebook/phonebook.h"
#include "base/text.h"
#include "tools/modemsim/modem_simulator.h"

namespace qvl {
namespace {

using testing::FakeModemChooser;
using testing::FakeModemDirectory;
using testing::FakePinDialog;
using testing::FakePowerSupply;
using testing::RecordingEventSink;

class ScriptedProgress final : public IProgressWindow {
  public:
    void Create(int, int, int, bool) override { canceled = false; }
    void SetText(std::u16string_view, int position) override {
        if (onPosition && position != -1) {
            onPosition(position);
        }
    }
    void Show(bool) override {}
    bool IsCanceled() const override { return canceled; }
    void Close() override {}
    void Destroy() override {}
    std::function<void(int)> onPosition;
    bool canceled = false;
};

class PhonebookSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvl-home-XXXXXX").string();
        m_home = mkdtemp(pattern.data());
        setenv("QVL_HOME", m_home.c_str(), 1);
        setenv("QVL_LOCK_DIR", "", 1);
    }
    void TearDown() override {
        book.reset();
        engine.reset();
        sim.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }

    void Boot(sim::ModemSeed seed) {
        seed.sim.pinEnabled = false;
        sim = std::make_unique<sim::ModemSimulator>(seed);
        const std::string path = sim->Start();
        ASSERT_FALSE(path.empty()) << sim->LastError();
        const ModemEntry entry{u"Simulator", u"QVL GSM simulator", Utf8ToWide(path)};
        directory.entries = {entry};
        chooser.choice = entry;
        EnginePorts ports;
        ports.sink = &sink;
        ports.pinDialog = &pin;
        ports.chooser = &chooser;
        ports.modems = &directory;
        ports.power = &power;
        ports.text = testing::EnglishEngineText;
        engine = std::make_unique<CPhoneEngine>(ports);
        engine->SetRestartPauseMs(20);
        ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
        ASSERT_EQ(engine->InitModem(), 1);
        book = std::make_unique<CPhonebook>(*engine, [](int) { return std::u16string(u"%d/%d"); });
        progress.bar = &bar;
    }

    int LocationReads() const {
        int n = 0;
        for (const auto& line : sim->CommandLog()) {
            n += line.rfind("AT+CPBR=", 0) == 0 && line != "AT+CPBR=?" ? 1 : 0;
        }
        return n;
    }

    std::string m_home;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CPhoneEngine> engine;
    std::unique_ptr<CPhonebook> book;
    RecordingEventSink sink;
    FakePinDialog pin;
    FakeModemChooser chooser;
    FakeModemDirectory directory;
    FakePowerSupply power;
    ScriptedProgress bar;
    BookProgress progress;
};

sim::ModemSeed SeedWithSim(const std::map<int, std::pair<std::string, std::string>>& entries) {
    sim::ModemSeed seed = sim::DefaultSeed();
    auto& sm = seed.phonebooks["SM"];
    sm.entries.clear();
    for (const auto& [index, entry] : entries) {
        sm.entries[index] = sim::PhonebookEntry{
            entry.first, entry.first.starts_with("+") ? 145 : 129, entry.second};
    }
    return seed;
}

TEST_F(PhonebookSimTest, ASparseSimIsReadUpToItsLastEntry) {
    Boot(SeedWithSim(
        {{1, {"+491701111", "Anna"}}, {7, {"0302222", "Bert"}}, {9, {"0303333", "Carla"}}}));
    EXPECT_EQ(book->GetUsedCount(PhonebookMemory::Sim), 3);
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 3);
    EXPECT_EQ(LocationReads(), 9);
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim),
              (std::vector<PhonebookEntry>{{1, u"+491701111", 145, u"Anna"},
                                           {7, u"0302222", 129, u"Bert"},
                                           {9, u"0303333", 129, u"Carla"}}));
    EXPECT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 247);
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim).front(), 2);
    EXPECT_FALSE(engine->Busy());
}

TEST_F(PhonebookSimTest, UmlautsSurviveAWriteAndARead) {
    Boot(SeedWithSim({}));
    const std::u16string joerg = u"J\u00f6rg M\u00fcller";
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 250);
    ASSERT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"+4930123456", 0, joerg}),
              BookWrite::Written);
    ASSERT_EQ(book->AddEntry(PhonebookMemory::Sim, {2, u"0301", 0, u"Ana-Mar\u00eda P\u00e9rez"}),
              BookWrite::Written);
    book->InvalidateBook(PhonebookMemory::Sim);
    ASSERT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
    const auto entries = book->Entries(PhonebookMemory::Sim);
    EXPECT_EQ(entries[0], (PhonebookEntry{1, u"+4930123456", 145, joerg}));
    // Cut to the SIM's name length in its own octets (UCS2 form: 0x80 and two a character).
    EXPECT_EQ(entries[1].name.substr(0, 7), u"Ana-Mar");
    // The program leaves the modem in the character set it found.
    const auto log = sim->CommandLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "AT+CSCS=?"), 1);
}

TEST_F(PhonebookSimTest, UmlautsOnHandsetsWithoutLatin1) {
    const std::u16string joerg = u"J\u00f6rg M\u00fcller";
    const struct {
        const char* name;
        std::vector<std::string> charsets;
        bool ucs2Numbers;
        NameCharset used;
    } rows[] = {
        {"UCS2, numbers plain", {"IRA", "GSM", "UCS2"}, false, NameCharset::Ucs2},
        {"UCS2, numbers in UCS2 too", {"IRA", "GSM", "UCS2"}, true, NameCharset::Ucs2},
        {"GSM only", {"GSM"}, false, NameCharset::Gsm},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sim::ModemSeed seed = SeedWithSim({{1, {"+4930111", "Anna"}}});
        seed.behaviour.charsets = row.charsets;
        seed.behaviour.ucs2Numbers = row.ucs2Numbers;
        Boot(seed);
        ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 249);
        EXPECT_EQ(book->Charset(), row.used);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim)[0],
                  (PhonebookEntry{1, u"+4930111", 145, u"Anna"}));
        ASSERT_EQ(book->AddEntry(PhonebookMemory::Sim, {2, u"+4930222", 0, joerg}),
                  BookWrite::Written);
        book->InvalidateBook(PhonebookMemory::Sim);
        ASSERT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
        EXPECT_EQ(book->Entries(PhonebookMemory::Sim)[1],
                  (PhonebookEntry{2, u"+4930222", 145, joerg}));
        EXPECT_EQ(sim->State().phonebooks["SM"].entries.at(2).name, "J\xc3\xb6rg M\xc3\xbcller");
        book.reset();
        engine.reset();
        sim.reset();
    }
}

// The set the names travel in is the phonebook's own business: after every operation the modem
// is back in the set it was found in, so the operator name of AT+COPS? (which the handset sends
// in the current set) still arrives as text, not as UCS2 hex. A handset that fell silent in the
// middle of its book gets its own set back once it answers again.
TEST_F(PhonebookSimTest, EveryOperationGivesTheModemItsOwnSetBack) {
    const struct {
        const char* name;
        std::vector<std::string> charsets;
        std::string own;
        bool ucs2Numbers;
        sim::Charset ownSet;
    } rows[] = {
        {"GSM, names in 8859-1", {"GSM", "IRA", "8859-1", "UCS2"}, "GSM", false, sim::Charset::Gsm},
        {"IRA, names in UCS2", {"IRA", "GSM", "UCS2"}, "IRA", false, sim::Charset::Ira},
        {"GSM, names and numbers in UCS2", {"GSM", "UCS2"}, "GSM", true, sim::Charset::Gsm},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::map<int, std::pair<std::string, std::string>> entries;
        for (int i = 1; i <= 8; ++i) {
            entries[i] = {"+4930" + std::to_string(i), "J\xc3\xb6rg " + std::to_string(i)};
        }
        sim::ModemSeed seed = SeedWithSim(entries);
        seed.behaviour.charsets = row.charsets;
        seed.behaviour.charset = row.own;
        seed.behaviour.ucs2Numbers = row.ucs2Numbers;
        const std::string operatorName = seed.operators.at(0).longName;
        Boot(seed);
        const auto ownSetAfter = [&](const char* operation) {
            SCOPED_TRACE(operation);
            EXPECT_EQ(sim->CurrentCharset(), row.ownSet);
            std::u16string response;
            ASSERT_TRUE(engine->Exchange(u"AT+COPS?\r", 3000, response, Dispatch::No));
            EXPECT_NE(response.find(u"\"" + Utf8ToWide(operatorName) + u"\""), std::u16string::npos)
                << WideToUtf8(response);
        };
        ASSERT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 8);
        EXPECT_NE(book->Charset(), NameCharset::AsIs);
        ownSetAfter("read");
        ASSERT_EQ(book->AddEntry(PhonebookMemory::Sim, {9, u"+4930999", 0, u"Z\u00f6e"}),
                  BookWrite::Written);
        ownSetAfter("add");
        ASSERT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {10, u"0301", 0, u"J\u00f6rg"}, 1),
                  BookWrite::Written);
        ownSetAfter("update");
        ASSERT_EQ(book->DeleteEntry(PhonebookMemory::Sim, 2), BookWrite::Written);
        ownSetAfter("delete");
        ASSERT_GE(book->ReadBook(PhonebookMemory::Dialled, progress), 0);
        ownSetAfter("call list");

        // Silent from location 4 on: the read ends cut short and the restore goes unheard.
        // Back again, the handset gets its own set from the next operation, also when that
        // comes in a new session (which finds the handset still in the switched set).
        book->SetLocationTimeouts(400, 200);
        for (const bool restart : {false, true}) {
            SCOPED_TRACE(restart ? "silent read, then a new session" : "silent read");
            book->InvalidateBook(PhonebookMemory::Sim);
            int texts = 0;
            bar.onPosition = [&](int) {
                if (++texts == 4) {
                    sim->SetSilent(true);
                }
            };
            EXPECT_LT(book->ReadBook(PhonebookMemory::Sim, progress), 8);
            EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
            bar.onPosition = nullptr;
            sim->SetSilent(false);
            if (restart) {
                engine->StopSession();
                ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
            }
            book->InvalidateBook(PhonebookMemory::Sim);
            EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 8);
            ownSetAfter("read after the silence");
        }
        book.reset();
        engine.reset();
        sim.reset();
    }
}

TEST_F(PhonebookSimTest, EditsReachTheHandset) {
    Boot(SeedWithSim({{4, {"0304", "Dora"}}}));
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 249);
    ASSERT_EQ(book->AddEntry(PhonebookMemory::Sim, {1, u"+4930111", 0, u"Anna"}),
              BookWrite::Written);
    ASSERT_EQ(book->UpdateEntry(PhonebookMemory::Sim, {6, u"0306", 0, u"Dora Neu"}, 4),
              BookWrite::Written);
    ASSERT_EQ(book->DeleteEntry(PhonebookMemory::Sim, 1), BookWrite::Written);
    const auto state = sim->State().phonebooks["SM"];
    ASSERT_EQ(state.entries.size(), 1u);
    EXPECT_EQ(state.entries.begin()->first, 6);
    EXPECT_EQ(state.entries.begin()->second.number, "0306");
    EXPECT_EQ(state.entries.begin()->second.name, "Dora Neu");
    // The handset book and the lists the handset keeps itself.
    ASSERT_EQ(book->GetFreeCount(PhonebookMemory::Handset, progress), 500);
    ASSERT_EQ(book->AddEntry(PhonebookMemory::Handset, {1, u"0309", 0, u"Emil"}),
              BookWrite::Written);
    EXPECT_EQ(sim->State().phonebooks["ME"].entries.at(1).name, "Emil");
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Emergency, progress), 2);
    EXPECT_EQ(book->Entries(PhonebookMemory::Emergency)[0].number, u"112");
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Missed, progress), 0);
    // Refused by the handset (a number longer than its records): nothing changes here.
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {2, std::u16string(60, u'1'), 0, u"Long"}),
              BookWrite::Failed);
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).size(), 1u);
}

TEST_F(PhonebookSimTest, AHandsetThatStopsAnsweringInTheMiddleOfItsBook) {
    std::map<int, std::pair<std::string, std::string>> entries;
    for (int i = 1; i <= 12; ++i) {
        entries[i] = {"030" + std::to_string(i), "Name " + std::to_string(i)};
    }
    Boot(SeedWithSim(entries));
    book->SetLocationTimeouts(400, 200);
    // The handset falls silent while location 6 is asked for.
    int texts = 0;
    bar.onPosition = [&](int) {
        if (++texts == 6) {
            sim->SetSilent(true);
        }
    };
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 5);
    EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
    EXPECT_EQ(book->Entries(PhonebookMemory::Sim).back().name, u"Name 5");
    // Nothing that was not read is offered for writing.
    EXPECT_TRUE(book->GetFreeLocations(PhonebookMemory::Sim).empty());
    EXPECT_EQ(book->AddEntry(PhonebookMemory::Sim, {13, u"0399", 0, u"New"}), BookWrite::NotFree);

    // The handset is back; the user cancels the next read at location 3.
    sim->SetSilent(false);
    texts = 0;
    bar.onPosition = [&](int) { bar.canceled = ++texts == 3; };
    book->InvalidateBook(PhonebookMemory::Sim);
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 2);
    EXPECT_FALSE(book->CacheComplete(PhonebookMemory::Sim));
    // Insert reads the book again before it picks a location.
    bar.onPosition = nullptr;
    EXPECT_EQ(book->GetFreeCount(PhonebookMemory::Sim, progress), 238);
    EXPECT_EQ(book->GetFreeLocations(PhonebookMemory::Sim).front(), 13);
}

TEST_F(PhonebookSimTest, ASessionRestartForgetsTheBooks) {
    Boot(SeedWithSim({{1, {"0301", "Anna"}}}));
    ASSERT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    ASSERT_TRUE(book->CacheValid(PhonebookMemory::Sim));
    engine->StopSession();
    ASSERT_EQ(engine->StartSession(AutoPin::AskUser), 1);
    EXPECT_FALSE(book->CacheValid(PhonebookMemory::Sim));
    EXPECT_EQ(book->CurrentMemoryCode(), 0);
    const std::size_t before = sim->CommandLog().size();
    EXPECT_EQ(book->ReadBook(PhonebookMemory::Sim, progress), 1);
    const auto log = sim->CommandLog();
    EXPECT_NE(std::find(log.begin() + static_cast<long>(before), log.end(), "AT+CPBS=\"SM\""),
              log.end());
}

}  // namespace
}  // namespace qvl

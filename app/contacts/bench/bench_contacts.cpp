// Measures of the Contacts source over 10,000 contacts: listing the folder the first time and
// again (unchanged), building the rows, keystrokes of search, and one caller-name lookup over the
// contacts and a full SIM book (250 entries).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/contacts/callername.h"
#include "app/contacts/contactrows.h"
#include "base/text.h"

namespace qvl {
namespace {

constexpr int kContacts = 10000;

void Backdate(const std::string& dir) {
    struct timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1].tv_sec -= 3600;
    times[0] = times[1];
    ::utimensat(AT_FDCWD, dir.c_str(), times, 0);
}

const std::string& Folder() {
    static const std::string folder = [] {
        char tmpl[] = "/tmp/qvl-bench-contacts.XXXXXX";
        std::string dir = ::mkdtemp(tmpl);
        for (int i = 0; i < kContacts; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%s/%08x-card.vcf", dir.c_str(), i * 2654435761u);
            std::ofstream(name) << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" << i << "\r\nFN:Given" << i
                                << " Family" << i << "\r\nN:Family" << i << ";Given" << i
                                << ";;;\r\nTEL;TYPE=CELL:+49 171 " << 1000000 + i
                                << "\r\nTEL;TYPE=HOME:030 " << 2000000 + i
                                << "\r\nEMAIL:x@example.org\r\nEND:VCARD\r\n";
        }
        // A folder last changed an hour ago, as an address book mostly is.
        Backdate(dir);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return dir;
    }();
    return folder;
}

void BM_ContactsFirstListing(benchmark::State& state) {
    Folder();
    for (auto _ : state) {
        ContactBook book(Folder());  // nothing kept: every file is read
        benchmark::DoNotOptimize(book.ReadAll());
    }
}
BENCHMARK(BM_ContactsFirstListing)->Unit(benchmark::kMillisecond);

// Showing the Contacts source: the folder looked at again (nothing changed), the rows built.
void BM_ContactsSourceShown(benchmark::State& state) {
    ContactBook book(Folder());
    book.ReadAll();
    for (auto _ : state) {
        const auto records = book.Records();
        benchmark::DoNotOptimize(ContactRows(*records));
    }
}
BENCHMARK(BM_ContactsSourceShown)->Unit(benchmark::kMillisecond);

// The same after another program changed one card.
void BM_ContactsSourceShownOneChanged(benchmark::State& state) {
    ContactBook book(Folder());
    book.ReadAll();
    const std::string card = Folder() + "/zzzz-changing.vcf";
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(card) << "BEGIN:VCARD\r\nN:Changing;" << round++
                            << "\r\nTEL:1\r\nEND:VCARD\r\n";
        state.ResumeTiming();
        const auto records = book.Records();
        benchmark::DoNotOptimize(ContactRows(*records));
    }
    std::filesystem::remove(card);
    Backdate(Folder());
}
BENCHMARK(BM_ContactsSourceShownOneChanged)->Unit(benchmark::kMillisecond);

// One keystroke of search: one look at the folder itself, the kept rows filtered.
void BM_ContactsSearchKeystroke(benchmark::State& state) {
    ContactBook book(Folder());
    ContactSearch search(book);
    search.Rows(u"", true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(search.Rows(u"given12", false));
    }
}
BENCHMARK(BM_ContactsSearchKeystroke)->Unit(benchmark::kMillisecond);

// The first keystroke: one letter that every row matches.
void BM_ContactsSearchKeystrokeEveryRow(benchmark::State& state) {
    ContactBook book(Folder());
    ContactSearch search(book);
    search.Rows(u"", true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(search.Rows(u"g", false));
    }
}
BENCHMARK(BM_ContactsSearchKeystrokeEveryRow)->Unit(benchmark::kMillisecond);

// A keystroke after another program added a card: the folder is listed again.
void BM_ContactsSearchKeystrokeCardAdded(benchmark::State& state) {
    ContactBook book(Folder());
    ContactSearch search(book);
    search.Rows(u"", true);
    const std::string card = Folder() + "/zzzz-added.vcf";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(card);
        Backdate(Folder());
        search.Rows(u"", false);
        std::ofstream(card) << "BEGIN:VCARD\r\nN:Added;G\r\nTEL:1\r\nEND:VCARD\r\n";
        state.ResumeTiming();
        benchmark::DoNotOptimize(search.Rows(u"given12", false));
    }
    std::filesystem::remove(card);
    Backdate(Folder());
}
BENCHMARK(BM_ContactsSearchKeystrokeCardAdded)->Unit(benchmark::kMillisecond);

void BM_CallerNameLookup(benchmark::State& state) {
    ContactBook book(Folder());
    const auto records = book.ReadAll();
    std::vector<NamedNumber> sim;
    for (int i = 0; i < 250; ++i) {
        sim.push_back({u"SIM " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)),
                       u"+4940" + Utf8ToWide(std::to_string(5000000 + i))});
    }
    CallerNameMatcher matcher("DE");
    // The last contact's home number in international form: every entry is looked at.
    const std::u16string caller = u"+4930" + Utf8ToWide(std::to_string(2000000 + kContacts - 1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(matcher.LookupCallerName(caller, sim, records));
    }
}
BENCHMARK(BM_CallerNameLookup)->Unit(benchmark::kMillisecond);

// The lookup as the ringing call makes it: the folder looked at again, then the search.
void BM_CallerNameLookupWithListing(benchmark::State& state) {
    ContactBook book(Folder());
    book.ReadAll();
    CallerNameMatcher matcher("DE");
    const std::u16string caller = u"+4930" + Utf8ToWide(std::to_string(2000000 + kContacts - 1));
    for (auto _ : state) {
        const auto records = book.Records();
        benchmark::DoNotOptimize(matcher.LookupCallerName(caller, {}, *records));
    }
}
BENCHMARK(BM_CallerNameLookupWithListing)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvl

BENCHMARK_MAIN();

// Measures of the Contacts source over 10,000 contacts: listing the folder the first time and
// again (unchanged), building and searching the rows, and one caller-name lookup over the
// contacts and a full SIM book (250 entries).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/contacts/callername.h"
#include "app/contacts/contactrows.h"
#include "base/text.h"

namespace qvl {
namespace {

constexpr int kContacts = 10000;

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
}
BENCHMARK(BM_ContactsSourceShownOneChanged)->Unit(benchmark::kMillisecond);

// One keystroke of search: the folder looked at afresh, the rows of the unchanged contacts
// filtered.
void BM_ContactsSearchKeystroke(benchmark::State& state) {
    ContactBook book(Folder());
    const auto first = book.Records();
    const auto rows = ContactRows(*first);
    for (auto _ : state) {
        const auto records = book.Records();
        benchmark::DoNotOptimize(FilterContactRows(rows, *records, u"given12"));
    }
}
BENCHMARK(BM_ContactsSearchKeystroke)->Unit(benchmark::kMillisecond);

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

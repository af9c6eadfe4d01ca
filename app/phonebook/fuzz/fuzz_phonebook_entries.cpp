// The phonebook answer readers on arbitrary response text: never a crash, a hang or a read
// outside the text, and never more entries than "+CPBR:" lines in the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/phonebook/bookanswers.h"

namespace {

// Lines of the text that start with "+CPBR:", counted independently of the readers.
int CpbrLines(std::u16string_view text) {
    int lines = 0;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size();) {
        if (i + 1 < text.size() && text[i] == u'\\' &&
            (text[i + 1] == u'r' || text[i + 1] == u'n')) {
            lineStart = true;
            i += 2;
            continue;
        }
        if (lineStart && text.substr(i, 6) == u"+CPBR:") {
            ++lines;
        }
        lineStart = false;
        ++i;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One wide character a byte, so that escapes, quotes and commas come up often; a set of
    // the name conversions is picked by the first byte.
    if (size < 1) {
        return 0;
    }
    const auto set = static_cast<qvl::NameCharset>(data[0] % 5);
    const std::u16string text(data + 1, data + size);
    const int lines = CpbrLines(text);

    const qvl::BookLines book = qvl::ParseBookEntries(text);
    const qvl::CallLogLines calls = qvl::ParseCallLogEntries(text);
    if (book.lines != lines || calls.lines != lines ||
        book.entries.size() > static_cast<std::size_t>(lines) ||
        calls.entries.size() > static_cast<std::size_t>(lines)) {
        std::abort();
    }
    for (const qvl::PhonebookEntry& e : book.entries) {
        bool encoded = false;
        qvl::DecodeNumber(e.number, set, encoded);
        const std::u16string name = qvl::DecodeName(e.name, set);
        if (const auto line = qvl::EncodeName(name, set);
            line && qvl::DecodeName(*line, set) != name) {
            std::abort();
        }
        qvl::CutName(name, data[0] % 20, (data[0] & 0x80) != 0);
    }
    if (const auto range = qvl::ParseCpbrRange(text); range && range->last < range->first) {
        std::abort();
    }
    if (const auto counts = qvl::ParseCpbsCounts(text); counts && counts->used > counts->total) {
        std::abort();
    }
    qvl::ParseCscsOffered(text);
    qvl::ParseCscsCurrent(text);
    return 0;
}

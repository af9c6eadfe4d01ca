// The AT answer cursor on arbitrary response text: every step gives a value or a failure,
// never a crash, a hang or a read outside the text, and a field never spans a line end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/atcursor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte picks the steps; the rest becomes the answer, one wide character a byte,
    // so that escapes, quotes, commas and parentheses come up often.
    const std::uint8_t program = data[0];
    std::u16string text(data + 1, data + size);
    qvl::AtCursor c(text);
    const std::u16string_view prefix = (program & 1) != 0 ? u"+" : u"";
    int lines = 0;
    while (c.FindLine(prefix) && lines < 4096) {
        ++lines;
        // A line that is not terminated runs to the end of the text.
        if (!c.LineTerminated() && !std::u16string_view(text).ends_with(c.Line())) {
            std::abort();
        }
        for (int step = 0; step < 64 && !c.AtLineEnd(); ++step) {
            std::int64_t a = 0;
            std::int64_t b = 0;
            std::u16string s;
            bool moved = false;
            const std::size_t before = c.Position();
            switch ((program >> 1) + step) {
                case 0: moved = c.NextInt(a); break;
                case 1: moved = c.NextString(s); break;
                case 2: moved = c.NextHexString(s); break;
                case 3: moved = c.NextRange(a, b); break;
                case 4: moved = c.OpenList(); break;
                case 5: moved = c.CloseList(); break;
                case 6: moved = c.NextStringToLineEnd(s); break;
                default: moved = c.Skip(); break;
            }
            if (!moved && c.Position() != before) {
                std::abort();  // a failed step moved the cursor
            }
            if (s.find(u"\\r") != std::u16string::npos || s.find(u"\\n") != std::u16string::npos) {
                std::abort();  // a field ran past its line end
            }
            if (!moved && !c.Skip()) {
                break;
            }
        }
    }
    return 0;
}

#include "base/finalresult.h"

#include "base/atcursor.h"

namespace qvl {
namespace {

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

FinalCode ReadFinalResult(std::u16string_view answer) {
    FinalCode last;
    AtCursor cursor(answer);
    while (cursor.NextLine()) {
        const std::u16string_view line = Trim(cursor.Line());
        if (line == u"OK") {
            last = {FinalResult::Ok, -1};
        } else if (line == u"ERROR") {
            last = {FinalResult::Error, -1};
        } else if (line == u"NO CARRIER") {
            last = {FinalResult::NoCarrier, -1};
        } else if (line == u"NO DIALTONE" || line == u"NO DIAL TONE") {
            last = {FinalResult::NoDialtone, -1};
        } else if (line == u"BUSY") {
            last = {FinalResult::Busy, -1};
        } else if (line == u"NO ANSWER") {
            last = {FinalResult::NoAnswer, -1};
        } else if (line.starts_with(u"+CME ERROR:") || line.starts_with(u"+CMS ERROR:")) {
            const FinalResult kind =
                line[3] == u'E' ? FinalResult::CmeError : FinalResult::CmsError;
            FinalCode code{kind, -1};
            AtCursor field(line);
            std::int64_t number = 0;
            // The numeric form; the verbose form (AT+CMEE=2) leaves the number unknown.
            if (field.FindLine(line.substr(0, 11)) && field.NextInt(number, 0, 65535) &&
                field.AtLineEnd()) {
                code.error = number;
            }
            last = code;
        }
    }
    return last;
}

}  // namespace qvl

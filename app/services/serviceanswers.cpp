#include "app/services/serviceanswers.h"

#include "base/atcursor.h"
#include "base/finalresult.h"

namespace qvl::services {
namespace {

bool IsFinalLine(std::u16string_view line) {
    return ReadFinalResult(line).result != FinalResult::None;
}

// Reads "<prefix> <status>,<class>[,...]" lines; calls line(status, classes, cursor) for each
// readable one. False when no line was readable.
template <typename F>
bool ForEachStatusLine(std::u16string_view answer, std::u16string_view prefix, F line) {
    AtCursor cursor(answer);
    bool any = false;
    while (cursor.FindLine(prefix)) {
        int status = 0;
        int classes = 0;
        if (cursor.NextInt(status, 0, 1) && cursor.NextInt(classes, 1, 255)) {
            any = true;
            if (line(status, classes, cursor)) {
                break;
            }
        }
        cursor.ClearError();
    }
    return any;
}

}  // namespace

ForwardState ParseForwardQuery(std::u16string_view answer, int classValue) {
    ForwardState result;
    if (!AnsweredOk(answer)) {
        return result;
    }
    bool decided = false;
    const bool any =
        ForEachStatusLine(answer, u"+CCFC:", [&](int status, int classes, AtCursor& cursor) {
            if ((classes & classValue) == 0) {
                return false;
            }
            decided = true;
            if (status == 1) {
                result.state = ServiceState::Active;
                if (!cursor.NextString(result.number)) {
                    result.number.clear();
                }
            } else {
                result.state = ServiceState::Inactive;
            }
            return true;
        });
    if (any && !decided) {
        result.state = ServiceState::Inactive;
    }
    return result;
}

ServiceState ParseWaitingQuery(std::u16string_view answer, int classValue) {
    if (!AnsweredOk(answer)) {
        return ServiceState::Failed;
    }
    ServiceState state = ServiceState::Failed;
    bool decided = false;
    const bool any = ForEachStatusLine(answer, u"+CCWA:", [&](int status, int classes, AtCursor&) {
        if ((classes & classValue) == 0) {
            return false;
        }
        decided = true;
        state = status == 1 ? ServiceState::Active : ServiceState::Inactive;
        return true;
    });
    if (any && !decided) {
        state = ServiceState::Inactive;
    }
    return state;
}

std::u16string ParseIdentityLine(std::u16string_view answer, std::u16string_view command) {
    if (!AnsweredOk(answer) || command.empty()) {
        return {};
    }
    AtCursor cursor(answer);
    // After the echo when there is one; a modem without echo starts with the line itself.
    if (cursor.FindLine(command)) {
        if (!cursor.NextLine()) {
            return {};
        }
    } else if (!cursor.NextLine()) {
        return {};
    }
    std::u16string_view line = cursor.Line();
    if (IsFinalLine(line)) {
        return {};
    }
    // "+CGSN: 490154203237518" on modems that prefix the answer with the command's name.
    std::u16string prefix(command.substr(command.starts_with(u"AT") ? 2 : 0));
    prefix += u": ";
    if (line.starts_with(prefix)) {
        line.remove_prefix(prefix.size());
    }
    while (!line.empty() && line.front() == u' ') {
        line.remove_prefix(1);
    }
    while (!line.empty() && line.back() == u' ') {
        line.remove_suffix(1);
    }
    return std::u16string(line);
}

}  // namespace qvl::services

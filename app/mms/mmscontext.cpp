#include "app/mms/mmscontext.h"

#include <algorithm>
#include <set>

#include "app/engine/phoneengine.h"
#include "base/atcursor.h"
#include "base/text.h"

namespace qvl::mms {

namespace {

constexpr std::u16string_view kCgdcont = u"+CGDCONT:";
constexpr int kHighestCid = 255;
// The data call's init command ("+cgdcont=n,...") names contexts 1 to 99.
constexpr int kHighestUsableCid = 99;
constexpr int kDefaultMaxCid = 10;

}  // namespace

std::vector<DefinedContext> ParseDefinedContexts(std::u16string_view answer) {
    std::vector<DefinedContext> contexts;
    AtCursor c(answer);
    while (c.FindLine(kCgdcont)) {
        std::int64_t cid = 0;
        if (!c.NextInt(cid, 1, kHighestCid)) {
            c.ClearError();
            continue;
        }
        DefinedContext context;
        context.cid = static_cast<int>(cid);
        // The PDP type, then the APN; a line that ends early has no APN.
        if (c.Skip() && !c.NextString(context.apn)) {
            context.apn.clear();
        }
        c.ClearError();
        contexts.push_back(std::move(context));
    }
    return contexts;
}

int ParseMaxContextId(std::u16string_view answer) {
    AtCursor c(answer);
    int highest = 0;
    while (c.FindLine(kCgdcont)) {
        std::int64_t lo = 0;
        std::int64_t hi = 0;
        if (c.OpenList() && c.NextRange(lo, hi) && hi >= 1) {
            highest = std::max(highest, static_cast<int>(std::min<std::int64_t>(hi, kHighestCid)));
        }
        c.ClearError();
    }
    if (highest == 0) {
        return kDefaultMaxCid;
    }
    return std::min(highest, kHighestUsableCid);
}

int MatchingContextId(const std::vector<DefinedContext>& defined, std::u16string_view apn) {
    if (apn.empty()) {
        return 0;
    }
    for (const DefinedContext& context : defined) {
        if (context.cid <= kHighestUsableCid && EqualsNoCase(context.apn, apn)) {
            return context.cid;
        }
    }
    return 0;
}

int FreeContextId(const std::vector<DefinedContext>& defined, int maxId) {
    if (defined.empty()) {
        return 1;
    }
    std::set<int> used;
    for (const DefinedContext& context : defined) {
        used.insert(context.cid);
    }
    for (int cid = 1; cid <= maxId; ++cid) {
        if (used.count(cid) == 0) {
            return cid;
        }
    }
    return maxId;
}

std::int64_t DetectOperatorCode(CPhoneEngine& engine) {
    CPhoneEngine::BusyScope busy(engine);
    return engine.GetOperatorCode();
}

int SelectContextId(CPhoneEngine& engine, std::u16string_view apn) {
    CPhoneEngine::BusyScope busy(engine);
    if (!engine.AcquirePort()) {
        return 1;
    }
    std::u16string response;
    engine.Exchange(u"AT+CGDCONT?\r", kCommandTimeoutMs, response, Dispatch::Yes);
    const std::vector<DefinedContext> defined = ParseDefinedContexts(response);
    int cid = MatchingContextId(defined, apn);
    if (cid == 0) {
        response.clear();
        engine.Exchange(u"AT+CGDCONT=?\r", kCommandTimeoutMs, response, Dispatch::Yes);
        cid = FreeContextId(defined, ParseMaxContextId(response));
    }
    engine.ReleasePort();
    return cid;
}

}  // namespace qvl::mms

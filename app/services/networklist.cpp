#include "app/services/networklist.h"

#include "base/atcursor.h"
#include "base/checks.h"

namespace qvl::services {
namespace {

// The rest of one entry, after its "(": "stat,"long","short","numeric"[,AcT...])". The cursor
// ends after the entry's ")" whether it could be read or not. False for an entry that names
// no network (a list of modes or formats, a damaged entry) and for a line that ends inside it.
bool ReadEntry(AtCursor& cursor, NetworkEntry& entry) {
    int status = 0;
    const bool ok = cursor.NextInt(status, 0, 3) && cursor.NextString(entry.longName) &&
                    cursor.NextString(entry.shortName) && cursor.NextString(entry.numeric);
    entry.status = static_cast<NetworkStatus>(status);
    cursor.ClearError();
    // Further fields (the access technology), or what is left of a damaged entry.
    while (!cursor.CloseList()) {
        cursor.ClearError();
        const std::size_t before = cursor.Position();
        if (!cursor.Skip() || cursor.Position() == before) {
            cursor.ClearError();
            return false;
        }
    }
    return ok;
}

}  // namespace

std::vector<NetworkEntry> ParseNetworkList(std::u16string_view answer) {
    std::vector<NetworkEntry> networks;
    AtCursor cursor(answer);
    if (!cursor.FindLine(u"+COPS:")) {
        return networks;
    }
    while (!cursor.AtLineEnd() && networks.size() < kMaxNetworks) {
        const std::size_t before = cursor.Position();
        if (cursor.OpenList()) {
            NetworkEntry entry;
            if (ReadEntry(cursor, entry)) {
                networks.push_back(std::move(entry));
            }
        } else {
            // An empty field (between the networks and the supported modes), a stray ")" or
            // text outside any list.
            cursor.ClearError();
            if (!cursor.CloseList()) {
                cursor.ClearError();
                cursor.Skip();
                cursor.ClearError();
            }
        }
        if (cursor.Position() == before) {
            break;
        }
    }
    return networks;
}

std::u16string ShownName(const NetworkEntry& entry) {
    if (!entry.longName.empty()) {
        return entry.longName;
    }
    if (!entry.shortName.empty()) {
        return entry.shortName;
    }
    return entry.numeric;
}

bool CanRegister(const NetworkEntry& entry) {
    return entry.status != NetworkStatus::Forbidden && IsValidCode(entry.numeric, 5, 6);
}

}  // namespace qvl::services

#include "setup/todaysupport.h"

#include <string>

#include "platform/ipc/broadcast.h"
#include "platform/registry.h"
#include "today/todayapi.h"

namespace {

void RefreshTodayScreen() {
    // A failed broadcast (no bus, a bus that does not answer in time) changes nothing for the
    // installer: a Today screen that runs later reads the items when it starts.
    qvl::BroadcastSettingChange(qvl::kTodayRefreshRequest);
}

}  // namespace

QVL_TODAYSUPPORT_EXPORT std::int32_t Install_Init(void*, std::int32_t, std::int32_t,
                                                  const char16_t*) {
    return 0;
}

QVL_TODAYSUPPORT_EXPORT std::int32_t Install_Exit(void*, const char16_t*, std::uint32_t,
                                                  std::uint32_t, std::uint32_t, std::uint32_t,
                                                  std::uint32_t) {
    RefreshTodayScreen();
    return 0;
}

QVL_TODAYSUPPORT_EXPORT std::int32_t Uninstall_Init(void*, const char16_t*) {
    // A key that is already gone (a second removal) is no failure.
    if (const qvl::RegKey items =
            qvl::RegKey::Open(qvl::RegRoot::LocalMachine, qvl::today::kItemsKey)) {
        items.DeleteSubKey(qvl::today::kPhoneItemName);
    }
    RefreshTodayScreen();
    return 0;
}

QVL_TODAYSUPPORT_EXPORT std::int32_t Uninstall_Exit(void*) {
    return 0;
}

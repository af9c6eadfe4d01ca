// The setup library as the install step meets it: loaded by name, its four entries found by
// name, each returning 0 whatever it finds; removal deletes the Today item's key (also when it
// is already gone), and the refresh request reaches a listener on the session bus.
#include <dbus/dbus.h>
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/ipc/broadcast.h"
#include "platform/registry.h"
#include "platform/tests/test_home.h"
#include "setup/todaysupport.h"
#include "today/todayapi.h"

namespace qvl::setup {
namespace {

struct Entries {
    void* handle = nullptr;
    InstallInitFn installInit = nullptr;
    InstallExitFn installExit = nullptr;
    UninstallInitFn uninstallInit = nullptr;
    UninstallExitFn uninstallExit = nullptr;
    Entries() {
        handle = ::dlopen(QVL_TODAYSUPPORT_FILE, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            return;
        }
        installInit = reinterpret_cast<InstallInitFn>(::dlsym(handle, kInstallInit));
        installExit = reinterpret_cast<InstallExitFn>(::dlsym(handle, kInstallExit));
        uninstallInit = reinterpret_cast<UninstallInitFn>(::dlsym(handle, kUninstallInit));
        uninstallExit = reinterpret_cast<UninstallExitFn>(::dlsym(handle, kUninstallExit));
    }
    ~Entries() {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
    bool Complete() const { return installInit && installExit && uninstallInit && uninstallExit; }
};

class TodaySupportTest : public qvl::testing::TestHome {
  protected:
    static RegKey ItemKey(RegOpen mode = RegOpen::Existing) {
        return RegKey::Open(RegRoot::LocalMachine,
                            std::u16string(today::kItemsKey) + u"\\" + today::kPhoneItemName, mode);
    }
};

// Removing twice, removing what was never installed, and the other entries: 0 every time,
// the phone's key gone, another item's key kept. Without a session bus the broadcasts are
// skipped, so every entry returns at once.
TEST_F(TodaySupportTest, EveryEntryReturnsZeroAndRemovalDeletesOnlyThePhonesItem) {
    Entries e;
    ASSERT_TRUE(e.Complete()) << ::dlerror();
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string savedBus = bus ? bus : "";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-qvl", 1);

    ItemKey(RegOpen::Create).WriteString(today::kValueDll, u"/opt/q/libQVLDialerToday.so");
    RegKey::Open(RegRoot::LocalMachine, std::u16string(today::kItemsKey) + u"\\Calendar",
                 RegOpen::Create)
        .WriteDword(today::kValueType, 2);
    ASSERT_TRUE(ItemKey());
    EXPECT_EQ(e.installInit(nullptr, 1, 0, u"/opt/q"), 0);
    EXPECT_EQ(e.installExit(nullptr, u"/opt/q", 0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(ItemKey());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(e.uninstallInit(nullptr, u"/opt/q"), 0);
        EXPECT_EQ(e.uninstallExit(nullptr), 0);
        EXPECT_FALSE(ItemKey());
    }
    EXPECT_TRUE(
        RegKey::Open(RegRoot::LocalMachine, std::u16string(today::kItemsKey) + u"\\Calendar"));
    // No items key at all.
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Today").DeleteSubKey(u"Items");
    EXPECT_EQ(e.uninstallInit(nullptr, u"/opt/q"), 0);
    if (!savedBus.empty()) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
    }
    if (!savedRuntime.empty()) {
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

// Install_Exit and Uninstall_Init each ask the Today screen to read its items again.
TEST_F(TodaySupportTest, RefreshRequestReachesAListener) {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || *bus == '\0') {
        GTEST_SKIP() << "no D-Bus session bus (scripts/test.sh starts a private one)";
    }
    Entries e;
    ASSERT_TRUE(e.Complete()) << ::dlerror();
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* listener = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_NE(listener, nullptr);
    dbus_connection_set_exit_on_disconnect(listener, FALSE);
    const std::string rule = std::string("type='signal',interface='") + kSettingChangeInterface +
                             "',member='" + kSettingChangeMember + "'";
    dbus_bus_add_match(listener, rule.c_str(), &error);
    ASSERT_FALSE(dbus_error_is_set(&error));
    dbus_connection_flush(listener);

    const auto waitForRefresh = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            dbus_connection_read_write(listener, 200);
            while (DBusMessage* m = dbus_connection_pop_message(listener)) {
                dbus_uint32_t v = 0;
                const bool refresh =
                    dbus_message_is_signal(m, kSettingChangeInterface, kSettingChangeMember) &&
                    dbus_message_get_args(m, nullptr, DBUS_TYPE_UINT32, &v, DBUS_TYPE_INVALID) &&
                    v == kTodayRefreshRequest;
                dbus_message_unref(m);
                if (refresh) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_EQ(e.installExit(nullptr, u"/opt/q", 0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(waitForRefresh());
    EXPECT_EQ(e.uninstallInit(nullptr, u"/opt/q"), 0);
    EXPECT_TRUE(waitForRefresh());
    dbus_connection_close(listener);
    dbus_connection_unref(listener);
}

}  // namespace
}  // namespace qvl::setup

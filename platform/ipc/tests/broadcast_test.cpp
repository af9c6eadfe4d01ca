// The suite's change broadcast on the private session bus that scripts/test.sh starts, and
// without a bus: it reaches a listener, and it never waits for one, nor for a bus that does not
// answer, nor starts a bus of its own.
#include "platform/ipc/broadcast.h"

#include <dbus/dbus.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace qvl {
namespace {

// Sets or removes environment variables for one test and puts them back afterwards.
class ScopedEnv {
  public:
    void Set(const char* name, const char* value) {
        Remember(name);
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }

  private:
    void Remember(const char* name) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A unix socket that listens and never answers: a bus that hangs.
class SilentSocket {
  public:
    SilentSocket() {
        char dir[] = "/tmp/qvl-silent-bus.XXXXXX";
        if (::mkdtemp(dir) == nullptr) {
            return;
        }
        m_dir = dir;
        m_path = m_dir + "/bus";
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        m_path.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_fd, 4) != 0) {
            m_path.clear();
        }
    }
    ~SilentSocket() {
        ::close(m_fd);
        ::unlink((m_dir + "/bus").c_str());
        ::rmdir(m_dir.c_str());
    }
    const std::string& Dir() const { return m_dir; }
    const std::string& Path() const { return m_path; }

  private:
    std::string m_dir;
    std::string m_path;
    int m_fd = -1;
};

TEST(SessionBusAddressTest, WhereTheBusIsLookedFor) {
    SilentSocket socket;
    ASSERT_FALSE(socket.Path().empty());
    struct Row {
        const char* name;
        const char* address;
        const char* runtime;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"address_given", "unix:path=/run/user/1/bus", nullptr, "unix:path=/run/user/1/bus"},
        {"address_wins", "unix:abstract=x", socket.Dir().c_str(), "unix:abstract=x"},
        {"user_bus_socket", nullptr, socket.Dir().c_str(), "unix:path=" + socket.Path()},
        {"empty_address_falls_back", "", socket.Dir().c_str(), "unix:path=" + socket.Path()},
        {"runtime_without_socket", nullptr, "/nonexistent-qvl", ""},
        {"relative_runtime", nullptr, "run", ""},
        {"nothing", nullptr, nullptr, ""},
        {"autolaunch", "autolaunch:", nullptr, ""},
        {"autolaunch_in_a_list", "unix:path=/nonexistent;autolaunch:", nullptr, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScopedEnv env;
        env.Set("DBUS_SESSION_BUS_ADDRESS", r.address);
        env.Set("XDG_RUNTIME_DIR", r.runtime);
        EXPECT_EQ(SessionBusAddress(), r.expected);
    }
}

// No bus, a bus that would have to be started, a socket with nobody behind it, a bus that
// never answers: each gives false and returns (the last within the broadcast's limit).
TEST(BroadcastTest, WithoutAWorkingBusNothingWaits) {
    SilentSocket silent;
    ASSERT_FALSE(silent.Path().empty());
    const std::string silentAddress = "unix:path=" + silent.Path();
    struct Row {
        const char* name;
        const char* address;
    };
    const std::vector<Row> rows = {
        {"no_bus", nullptr},
        {"autolaunch", "autolaunch:"},
        {"nobody_listens", "unix:path=/nonexistent-qvl/bus"},
        {"bus_never_answers", silentAddress.c_str()},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ScopedEnv env;
        env.Set("DBUS_SESSION_BUS_ADDRESS", r.address);
        env.Set("XDG_RUNTIME_DIR", nullptr);
        EXPECT_FALSE(BroadcastSettingChange(kTodayRefreshRequest));
    }
}

TEST(BroadcastTest, ListenerOnTheSessionBusReceivesTheChange) {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || *bus == '\0') {
        GTEST_SKIP() << "no D-Bus session bus (scripts/test.sh starts a private one)";
    }
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* listener = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_NE(listener, nullptr) << (error.message ? error.message : "");
    dbus_connection_set_exit_on_disconnect(listener, FALSE);
    const std::string rule = std::string("type='signal',interface='") + kSettingChangeInterface +
                             "',member='" + kSettingChangeMember + "'";
    dbus_bus_add_match(listener, rule.c_str(), &error);
    ASSERT_FALSE(dbus_error_is_set(&error)) << error.message;
    dbus_connection_flush(listener);

    // Values of this run only: other tests on the bus may broadcast meanwhile.
    const std::uint32_t first = 0x10000u + static_cast<std::uint32_t>(::getpid());
    const std::uint32_t second = first + 0x1000000u;
    ASSERT_TRUE(BroadcastSettingChange(first));
    ASSERT_TRUE(BroadcastSettingChange(second));

    std::vector<std::uint32_t> values;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((values.empty() || values.back() != second) &&
           std::chrono::steady_clock::now() < deadline) {
        dbus_connection_read_write(listener, 200);
        while (DBusMessage* m = dbus_connection_pop_message(listener)) {
            dbus_uint32_t v = 0;
            if (dbus_message_is_signal(m, kSettingChangeInterface, kSettingChangeMember) &&
                dbus_message_get_args(m, nullptr, DBUS_TYPE_UINT32, &v, DBUS_TYPE_INVALID) &&
                (v == first || v == second)) {
                values.push_back(v);
            }
            dbus_message_unref(m);
        }
    }
    dbus_connection_close(listener);
    dbus_connection_unref(listener);
    EXPECT_EQ(values, (std::vector<std::uint32_t>{first, second}));
}

}  // namespace
}  // namespace qvl

#include "platform/ipc/broadcast.h"

#include <dbus/dbus.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace qvl {
namespace {

// Every address of a list (";"-separated) must be one that only connects.
bool StartsABus(std::string_view address) {
    std::size_t at = 0;
    while (at <= address.size()) {
        const std::size_t end = std::min(address.find(';', at), address.size());
        if (address.substr(at, end - at).rfind("autolaunch:", 0) == 0) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

struct ConnectionCloser {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};

}  // namespace

std::string SessionBusAddress() {
    if (const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS"); env != nullptr && *env != 0) {
        return StartsABus(env) ? std::string() : std::string(env);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/') {
        return {};
    }
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return {};
    }
    return "unix:path=" + socket;
}

bool BroadcastSettingChange(std::uint32_t wParam) {
    const std::string address = SessionBusAddress();
    if (address.empty()) {
        return false;
    }
    // The caller's own handling of SIGPIPE stays as it was (libdbus writes with MSG_NOSIGNAL).
    dbus_connection_set_change_sigpipe(FALSE);
    DBusError error;
    dbus_error_init(&error);
    std::unique_ptr<DBusConnection, ConnectionCloser> connection(
        dbus_connection_open_private(address.c_str(), &error));
    dbus_error_free(&error);
    if (!connection) {
        return false;
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);

    // The bus wants its Hello first; its answer (our unique name) is not needed, so nothing
    // waits for it: Hello and the signal go out together.
    std::unique_ptr<DBusMessage, MessageUnref> hello(dbus_message_new_method_call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello"));
    std::unique_ptr<DBusMessage, MessageUnref> signal(
        dbus_message_new_signal(kSettingChangePath, kSettingChangeInterface, kSettingChangeMember));
    if (!hello || !signal) {
        return false;
    }
    dbus_uint32_t value = wParam;
    if (!dbus_message_append_args(signal.get(), DBUS_TYPE_UINT32, &value, DBUS_TYPE_INVALID) ||
        !dbus_connection_send(connection.get(), hello.get(), nullptr) ||
        !dbus_connection_send(connection.get(), signal.get(), nullptr)) {
        return false;
    }
    // Authentication and writing, bounded: a bus that does not answer is given up.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBroadcastLimitMs);
    while (dbus_connection_has_messages_to_send(connection.get())) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !dbus_connection_get_is_connected(connection.get())) {
            return false;
        }
        dbus_connection_read_write(connection.get(),
                                   static_cast<int>(std::min<long long>(left, 100)));
    }
    return dbus_connection_get_is_connected(connection.get());
}

}  // namespace qvl

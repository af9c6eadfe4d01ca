// The connection manager: destinations and connections in the registry, and the calls made
// to reach them through the dial-up entries.
#include "connmgrplus/connmgrplus.h"

#include "base/checks.h"
#include "base/text.h"
#include "common/dataconn/dataconn.h"
#include "common/lang/lang.h"
#include "connmgrplus/guid.h"
#include "platform/registry.h"

#include <optional>
#include <string>

namespace {

using namespace qvl;

constexpr std::u16string_view kDestinationsKey = u"Software\\Microsoft\\ConnMgr\\Destinations";
constexpr std::u16string_view kConnectionsKey =
    u"Software\\Microsoft\\ConnMgr\\Providers\\{7C4B7A38-5FF7-4bc1-80F6-5DA7870BB1AA}\\Connections";
constexpr std::u16string_view kProxyKey =
    u"Software\\Microsoft\\ConnMgr\\Providers\\{EF097F4C-DC4B-4c98-8FF6-AEF805DC0E8E}";
constexpr std::u16string_view kProxyPrefix = u"HTTP-";
constexpr std::u16string_view kProxyDestination = u"{436EF144-B4FB-4863-A041-8F905A62C572}";

// Longest destination or connection name (a registry key name of its own).
constexpr std::size_t kMaxNameLength = 64;

constexpr int kMsgConnecting = 5001;
constexpr int kMsgDisconnecting = 5002;

UiPorts g_ports = dataconn::ConsolePorts();
dataconn::CallTable g_calls;

std::u16string Text(const char16_t* text) {
    return text != nullptr ? std::u16string(text) : std::u16string();
}

// A name that may stand as one key below the manager's keys: no backslash (it would open a
// key path), no quote or control character.
bool IsSafeName(std::u16string_view name) {
    return !name.empty() && IsSafeCommandText(name, kMaxNameLength);
}

// The registry layout of the later platforms keeps the destination's GUID in "DestId", the
// earlier one in the key's unnamed value.
bool IsConnMgrRegistryLayout() {
    const std::u16string type = dataconn::PlatformTypeText();
    return !type.empty() && type != u"Palm PC2" && type == u"PocketPC" &&
           dataconn::OsMajorVersion() > 3;
}

std::u16string_view DestinationValueName() {
    return IsConnMgrRegistryLayout() ? std::u16string_view(u"DestId") : std::u16string_view();
}

using Progress = dataconn::ScopedProgress;

// Removes the proxy entries whose source is guid: the ones this destination wrote before.
void RemoveOwnProxies(const RegKey& proxies, std::u16string_view guid) {
    if (guid.empty()) {
        return;
    }
    for (const std::u16string& name : proxies.SubKeyNames()) {
        if (name.substr(0, kProxyPrefix.size()) != kProxyPrefix) {
            continue;
        }
        const RegKey proxy = proxies.OpenSub(name);
        if (proxy && proxy.ReadString(u"SrcId") == std::optional<std::u16string>(guid)) {
            proxies.DeleteSubKey(name);
        }
    }
}

void CreateConnectionPlusImpl(const std::u16string& destination, const std::u16string& connection,
                              int proxyFlag) {
    if (!IsSafeName(destination) || !IsSafeName(connection)) {
        return;
    }
    const std::u16string guid = MakeGuidString();
    const RegKey destinationKey =
        RegKey::Open(RegRoot::LocalMachine, kDestinationsKey, RegOpen::Create)
            .OpenSub(destination, RegOpen::Create);
    const std::u16string previous =
        destinationKey.ReadString(DestinationValueName()).value_or(std::u16string());
    destinationKey.WriteString(DestinationValueName(), guid);

    const RegKey connectionKey =
        RegKey::Open(RegRoot::LocalMachine, kConnectionsKey, RegOpen::Create)
            .OpenSub(connection, RegOpen::Create);
    connectionKey.WriteString(u"DestId", guid);
    connectionKey.WriteDword(u"Enabled", 1);
    connectionKey.WriteDword(u"EntryType", 0);
    connectionKey.WriteDword(u"RequirePw", 1);

    if (proxyFlag != 1) {
        return;
    }
    const RegKey proxies = RegKey::Open(RegRoot::LocalMachine, kProxyKey, RegOpen::Create);
    RemoveOwnProxies(proxies, previous);
    const RegKey proxy = proxies.OpenSub(std::u16string(kProxyPrefix) + guid, RegOpen::Create);
    proxy.WriteString(u"DestId", kProxyDestination);
    proxy.WriteDword(u"Enable", 1);
    proxy.WriteString(u"ExtraInfo", u"");
    proxy.WriteString(u"Override", u"");
    proxy.WriteString(u"Proxy", u"new-inet:1159");
    proxy.WriteString(u"SrcId", guid);
    proxy.WriteDword(u"Type", 0);
    proxy.WriteString(u"Username", u"");
    if (!IsConnMgrRegistryLayout()) {
        proxy.WriteString(u"Password", u"");
    }
}

// The GUID of the first destination (in the manager's order) with that description.
std::optional<std::u16string> FindDestination(std::u16string_view destination) {
    const RegKey destinations = RegKey::Open(RegRoot::LocalMachine, kDestinationsKey);
    if (!destinations) {
        return std::nullopt;
    }
    for (const std::u16string& name : destinations.SubKeyNames()) {
        if (name == destination) {
            return destinations.OpenSub(name).ReadString(DestinationValueName());
        }
    }
    return std::nullopt;
}

// The enabled connection that reaches a destination: its name is the dial-up entry.
std::optional<std::u16string> FindConnection(std::u16string_view guid) {
    const RegKey connections = RegKey::Open(RegRoot::LocalMachine, kConnectionsKey);
    if (!connections || guid.empty()) {
        return std::nullopt;
    }
    for (const std::u16string& name : connections.SubKeyNames()) {
        const RegKey connection = connections.OpenSub(name);
        if (connection.ReadString(u"DestId") == std::optional<std::u16string>(guid) &&
            connection.ReadDword(u"Enabled").value_or(0) == 1) {
            return name;
        }
    }
    return std::nullopt;
}

void* ConnectInternetPlusImpl(const std::u16string& destination) {
    const auto guid = FindDestination(destination);
    if (!guid) {
        return nullptr;
    }
    const auto entry = FindConnection(*guid);
    if (!entry) {
        return nullptr;
    }
    const Progress progress(g_ports, true, kMsgConnecting);
    dataconn::DialResult dial = dataconn::DialEntry(*entry, g_ports, nullptr, {});
    if (!dial.link) {
        return nullptr;
    }
    return g_calls.Add({std::move(dial.link), *entry});
}

}  // namespace

extern "C" void SetConnMgrPlusUiPorts(const qvl::UiPorts* ports) {
    g_ports = ports != nullptr ? *ports : dataconn::ConsolePorts();
}

extern "C" void CreateConnectionPlus(const char16_t* destinationName,
                                     const char16_t* connectionName, int proxyFlag) {
    try {
        CreateConnectionPlusImpl(Text(destinationName), Text(connectionName), proxyFlag);
    } catch (...) {
        // Registry write failures are not reported; nothing may unwind into a C caller.
    }
}

extern "C" void ConnectInternetPlus(void** connectionHandle, const char16_t* destinationName,
                                    void* /*ownerWindow*/, void* /*instance*/) {
    if (connectionHandle == nullptr) {
        return;
    }
    *connectionHandle = nullptr;
    try {
        *connectionHandle = ConnectInternetPlusImpl(Text(destinationName));
    } catch (...) {
        *connectionHandle = nullptr;
    }
}

extern "C" void DisconnectInternetPlus(void* connectionHandle, void* /*ownerWindow*/,
                                       void* /*instance*/) {
    try {
        std::optional<dataconn::CallTable::Call> call = g_calls.Take(connectionHandle);
        if (!call) {
            return;
        }
        const Progress progress(g_ports, false, kMsgDisconnecting);
        dataconn::HangUp(*call->link, call->entryName, g_ports, {});
    } catch (...) {
    }
}

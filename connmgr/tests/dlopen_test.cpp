// Both connection libraries loaded by name, as a program that does not link them would: a
// whole call, then both unloaded and loaded again for a second call (the sanitizer build runs
// this too).
#include "connmgr/connmgr.h"
#include "connmgr/tests/dataconn_fixture.h"
#include "connmgrplus/connmgrplus.h"

#include <dlfcn.h>

#include <filesystem>

#ifndef QVL_CONNMGR_LIBRARY
#error "QVL_CONNMGR_LIBRARY names libQVLConnMgr.so"
#endif

namespace qvl::dataconn::test {
namespace {

template <typename Proc>
Proc Find(void* library, const char* name) {
    return reinterpret_cast<Proc>(::dlsym(library, name));
}

// Whether the library is still in the process after its last dlclose (RTLD_NOLOAD loads
// nothing, it only finds a library that is there).
bool StillLoaded(const char* path) {
    void* library = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) {
        ::dlclose(library);
    }
    return library != nullptr;
}

class DlopenTest : public DataConnTest {};

TEST_F(DlopenTest, BothLibrariesLoadedByNameUnloadedAndLoadedAgain) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        void* connMgr = ::dlopen(QVL_CONNMGR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(connMgr, nullptr) << ::dlerror();
        const auto setPorts = Find<SetConnMgrUiPortsProc>(connMgr, "SetConnMgrUiPorts");
        const auto create = Find<CreateConnectionProc>(connMgr, "CreateConnection");
        const auto connect = Find<ConnectInternetProc>(connMgr, "ConnectInternet");
        const auto disconnect = Find<DisconnectInternetProc>(connMgr, "DisconnectInternet");
        const auto is2000 = Find<Is2000PPCProc>(connMgr, "Is2000PPC");
        ASSERT_TRUE(setPorts && create && connect && disconnect && is2000);
        EXPECT_EQ(is2000(), 0);

        const UiPorts ports = m_ui.Ports();
        setPorts(&ports);
        m_ui.messages.clear();
        create(u"QuorvelMMS", kModemName, u"*99***1#", 3, u"+cgdcont=1,\"IP\",\"internet\"", u"",
               u"", u"", u"", kWidePin, nullptr, nullptr);
        ASSERT_TRUE(m_ui.messages.empty()) << m_ui.messages.front();

        void* plus = ::dlopen(QVL_CONNMGRPLUS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(plus, nullptr) << ::dlerror();
        ASSERT_NE(Find<ConnectInternetPlusProc>(plus, "ConnectInternetPlus"), nullptr);
        void* ras = nullptr;
        void* connection = nullptr;
        const std::u16string port = Utf8ToWide(m_port);
        connect(u"QuorvelMMS", port.c_str(), nullptr, nullptr, &plus, &ras, &connection);
        ASSERT_NE(connection, nullptr) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
        EXPECT_EQ(disconnect(&plus, ras, connection, nullptr, nullptr), 0);
        EndDataCall();

        setPorts(nullptr);
        EXPECT_EQ(::dlclose(plus), 0);
        EXPECT_EQ(::dlclose(connMgr), 0);
        EXPECT_FALSE(StillLoaded(QVL_CONNMGRPLUS_LIBRARY));
        EXPECT_FALSE(StillLoaded(QVL_CONNMGR_LIBRARY));
        m_pppd->Script("up", "skip");
    }
    const auto runs = m_pppd->Records();
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs) {
        EXPECT_EQ(run.Value("exit"), "5");
        EXPECT_FALSE(ppp::test::ProcessExists(run.pid));
    }
    EXPECT_TRUE(FilesWithPin().empty());
}

// A program that unloads the libraries with the call still up (it never disconnected) leaves
// no pppd behind.
TEST_F(DlopenTest, ACallLeftUpEndsWithItsLibrary) {
    void* connMgr = ::dlopen(QVL_CONNMGR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(connMgr, nullptr) << ::dlerror();
    const UiPorts ports = m_ui.Ports();
    Find<SetConnMgrUiPortsProc>(connMgr, "SetConnMgrUiPorts")(&ports);
    Find<CreateConnectionProc>(connMgr, "CreateConnection")(
        u"QuorvelMMS", kModemName, u"*99***1#", 3, u"+cgdcont=1,\"IP\",\"internet\"", u"", u"", u"",
        u"", kWidePin, nullptr, nullptr);
    void* plus = ::dlopen(QVL_CONNMGRPLUS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plus, nullptr) << ::dlerror();
    void* ras = nullptr;
    void* connection = nullptr;
    const std::u16string port = Utf8ToWide(m_port);
    Find<ConnectInternetProc>(connMgr, "ConnectInternet")(u"QuorvelMMS", port.c_str(), nullptr,
                                                          nullptr, &plus, &ras, &connection);
    ASSERT_NE(connection, nullptr) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
    const auto runs = m_pppd->Records();
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(ppp::test::ProcessExists(runs[0].pid));

    Find<SetConnMgrUiPortsProc>(connMgr, "SetConnMgrUiPorts")(nullptr);
    EXPECT_EQ(::dlclose(plus), 0);
    EXPECT_EQ(::dlclose(connMgr), 0);
    EXPECT_FALSE(ppp::test::ProcessExists(runs[0].pid)) << "ended and reaped";
    EndDataCall();
}

// The connection manager used directly, as the main program may: its registry entries and a
// destination it does not know.
TEST_F(DlopenTest, ConnectionManagerEntriesAndAnUnknownDestination) {
    void* plus = ::dlopen(QVL_CONNMGRPLUS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plus, nullptr) << ::dlerror();
    const auto setPorts = Find<SetConnMgrPlusUiPortsProc>(plus, "SetConnMgrPlusUiPorts");
    const auto create = Find<CreateConnectionPlusProc>(plus, "CreateConnectionPlus");
    const auto connect = Find<ConnectInternetPlusProc>(plus, "ConnectInternetPlus");
    ASSERT_TRUE(setPorts && create && connect);
    const UiPorts ports = m_ui.Ports();
    setPorts(&ports);

    const RegKey proxies = RegKey::Open(
        RegRoot::LocalMachine,
        u"Software\\Microsoft\\ConnMgr\\Providers\\{EF097F4C-DC4B-4c98-8FF6-AEF805DC0E8E}",
        RegOpen::Create);
    // Another destination's proxy entry, which ours must leave alone.
    proxies.OpenSub(u"HTTP-{OTHER}", RegOpen::Create).WriteString(u"SrcId", u"{OTHER}");

    create(u"QuorvelMMS", u"QuorvelMMS", 1);
    create(u"QuorvelMMS", u"QuorvelMMS", 1);
    const RegKey destinations =
        RegKey::Open(RegRoot::LocalMachine, u"Software\\Microsoft\\ConnMgr\\Destinations");
    EXPECT_EQ(destinations.SubKeyNames(), std::vector<std::u16string>{u"QuorvelMMS"});
    const auto guid = destinations.OpenSub(u"QuorvelMMS").ReadString(u"DestId");
    ASSERT_TRUE(guid);
    const RegKey connection = RegKey::Open(
        RegRoot::LocalMachine,
        u"Software\\Microsoft\\ConnMgr\\Providers\\{7C4B7A38-5FF7-4bc1-80F6-5DA7870BB1AA}"
        u"\\Connections\\QuorvelMMS");
    EXPECT_EQ(connection.ReadString(u"DestId"), guid) << "both carry the second GUID";
    EXPECT_EQ(connection.ReadDword(u"Enabled"), 1u);
    EXPECT_EQ(connection.ReadDword(u"EntryType"), 0u);
    EXPECT_EQ(connection.ReadDword(u"RequirePw"), 1u);
    const std::vector<std::u16string> proxyNames = proxies.SubKeyNames();
    EXPECT_EQ(proxyNames, (std::vector<std::u16string>{u"HTTP-{OTHER}", u"HTTP-" + *guid}))
        << "our first proxy entry replaced, the other destination's kept";
    const RegKey proxy = proxies.OpenSub(u"HTTP-" + *guid);
    EXPECT_EQ(proxy.ReadString(u"Proxy"), u"new-inet:1159");
    EXPECT_EQ(proxy.ReadString(u"SrcId"), guid);
    EXPECT_EQ(proxy.ReadString(u"DestId"), u"{436EF144-B4FB-4863-A041-8F905A62C572}");
    EXPECT_FALSE(proxy.ReadString(u"Password")) << "not on this registry layout";

    void* handle = reinterpret_cast<void*>(1);
    connect(&handle, u"Nowhere", nullptr, nullptr);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(m_ui.created, 0) << "no progress window for an unknown destination";
    EXPECT_TRUE(m_pppd->Records().empty());
    setPorts(nullptr);
    EXPECT_EQ(::dlclose(plus), 0);
    EXPECT_FALSE(StillLoaded(QVL_CONNMGRPLUS_LIBRARY));
}

// The first platform's layout keeps the destination's GUID in the key's unnamed value and
// writes the proxy's empty password.
TEST_F(DlopenTest, EarlierRegistryLayout) {
    SetPlatformType(u"Palm PC2");
    void* plus = ::dlopen(QVL_CONNMGRPLUS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plus, nullptr) << ::dlerror();
    Find<CreateConnectionPlusProc>(plus, "CreateConnectionPlus")(u"Dest", u"Entry", 1);
    const RegKey destination =
        RegKey::Open(RegRoot::LocalMachine, u"Software\\Microsoft\\ConnMgr\\Destinations\\Dest");
    const auto guid = destination.ReadString(u"");
    ASSERT_TRUE(guid);
    EXPECT_FALSE(destination.ReadString(u"DestId"));
    const RegKey proxy = RegKey::Open(RegRoot::LocalMachine,
                                      u"Software\\Microsoft\\ConnMgr\\Providers\\"
                                      u"{EF097F4C-DC4B-4c98-8FF6-AEF805DC0E8E}\\HTTP-" +
                                          *guid);
    EXPECT_EQ(proxy.ReadString(u"Password"), u"");
    // A name that would open a key path of its own is refused.
    Find<CreateConnectionPlusProc>(plus, "CreateConnectionPlus")(u"A\\B", u"Entry", 0);
    EXPECT_FALSE(
        RegKey::Open(RegRoot::LocalMachine, u"Software\\Microsoft\\ConnMgr\\Destinations\\A"));
    EXPECT_EQ(::dlclose(plus), 0);
}

}  // namespace
}  // namespace qvl::dataconn::test

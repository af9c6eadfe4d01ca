// The dial-up connection library: the entry of a data call (pppd files), the SIM and init
// steps on the data port, the dial itself on the first platform, and the hand-over to the
// connection manager on the later ones.
#include "connmgr/connmgr.h"

#include "base/checks.h"
#include "base/text.h"
#include "common/dataconn/dataconn.h"
#include "common/lang/lang.h"
#include "common/transport/discovery.h"
#include "common/transport/transport.h"
#include "connmgr/modemsteps.h"
#include "connmgrplus/connmgrplus.h"
#include "platform/ppp/pppentry.h"
#include "platform/registry.h"
#include "platform/serial/devices.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using namespace qvl;
using ppp::LinkState;

// The library's registry values.
constexpr std::u16string_view kLibraryKey = u"\\Software\\Quorvel\\ConnMgr";
constexpr std::u16string_view kValuePin = u"PINNumber";
constexpr std::u16string_view kValueLongInit = u"LongInitString";
constexpr std::u16string_view kValueGateway = u"GatewayAddress";
// The connection manager always knows the data call under this destination.
constexpr std::u16string_view kDestination = u"QuorvelMMS";

// An init command fits the dial script's modifier when (length + 1) * 2 < 80 octets, that is
// up to 38 characters; a longer one is sent on its own before the dial.
constexpr std::size_t kDialModifierOctets = 80;

// Progress texts (texts/connmgr.tsv).
constexpr int kMsgOpeningPort = 5001;
constexpr int kMsgConnectingToHost = 5002;
constexpr int kMsgConnectingDevice = 5003;
constexpr int kMsgDeviceConnected = 5004;
constexpr int kMsgPhysicalLayer = 5005;
constexpr int kMsgAuthenticating = 5006;
constexpr int kMsgProjection = 5008;
constexpr int kMsgChallenge = 5009;
constexpr int kMsgAuthenticated = 5010;
constexpr int kMsgConnected = 5011;
constexpr int kMsgDisconnected = 5012;
constexpr int kMsgConnecting = 5013;
constexpr int kMsgCreating = 5015;
// Refusals (texts/connmgr-added.tsv).
constexpr int kMsgBadEntryName = 5040;
constexpr int kMsgModemNotFound = 5041;
constexpr int kMsgBadDialString = 5042;
constexpr int kMsgBadInitCommand = 5043;
constexpr int kMsgBadCredentials = 5044;
constexpr int kMsgEntryNotWritten = 5045;
constexpr int kMsgPinUnknown = 5046;
constexpr int kMsgPinRefused = 5047;
constexpr int kMsgSimBlocked = 5048;
constexpr int kMsgInitRefused = 5049;
constexpr int kMsgPortNotOpened = 5050;

constexpr int kErrorInvalidHandle = 6;

UiPorts g_ports = dataconn::ConsolePorts();
dataconn::CallTable g_calls;
// The SIM PIN, from CreateConnection to the end of the next ConnectInternet; never in a file.
std::u16string g_pin;

void WipePin() {
    if (!g_pin.empty()) {
        ::explicit_bzero(g_pin.data(), g_pin.size() * sizeof(char16_t));
    }
    g_pin.clear();
}

// The library's own copy of the transport pumps and shows its messages through our ports.
void InstallPorts() {
    TransportPorts transport;
    transport.pump = g_ports.pump;
    transport.messages = g_ports.messages;
    SetTransportPorts(transport);
}

std::u16string Text(const char16_t* text) {
    return text != nullptr ? std::u16string(text) : std::u16string();
}

void Show(int messageId, std::u16string_view value = {}) {
    if (g_ports.messages != nullptr) {
        g_ports.messages->ShowMessage(
            dataconn::FillPlaceholder(LoadLocalString(messageId), u"%s", value), u"",
            MsgButtons::Ok, MsgIcon::Error);
    }
}

using Progress = dataconn::ScopedProgress;

RegKey LibraryKey() {
    return RegKey::Open(RegRoot::LocalMachine, kLibraryKey, RegOpen::Create);
}

int StateText(LinkState state) {
    switch (state) {
        case LinkState::Starting:
            return kMsgOpeningPort;
        case LinkState::Dialing:
            return kMsgConnectingDevice;
        case LinkState::DialSent:
            return kMsgConnectingToHost;
        case LinkState::DeviceConnected:
            return kMsgDeviceConnected;
        case LinkState::LinkEstablished:
            return kMsgPhysicalLayer;
        case LinkState::Authenticating:
            return kMsgAuthenticating;
        case LinkState::Challenge:
            return kMsgChallenge;
        case LinkState::Authenticated:
            return kMsgAuthenticated;
        case LinkState::Projection:
            return kMsgProjection;
        case LinkState::Up:
            return kMsgConnected;
        case LinkState::Down:
            return kMsgDisconnected;
    }
    return kMsgConnecting;
}

// The serial device of a modem, found by its name as the modem list shows it: an exact match
// first, then a name that contains the other. A path is taken as it is (a link is resolved
// later, and the device must lie below /dev).
std::optional<std::u16string> FindModemPort(std::u16string_view deviceName) {
    RefreshSerialDevices();
    ModemEntry modems[kMaxModemEntries];
    const std::size_t count = EnumerateModems(modems, kMaxModemEntries);
    for (std::size_t i = 0; i < count; ++i) {
        if (modems[i].displayName == deviceName || modems[i].label == deviceName) {
            return modems[i].portName;
        }
    }
    if (!deviceName.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::u16string& name = modems[i].displayName;
            if (!name.empty() && (name.find(deviceName) != std::u16string::npos ||
                                  deviceName.find(name) != std::u16string_view::npos)) {
                return modems[i].portName;
            }
        }
    }
    if (!deviceName.empty() && deviceName.front() == u'/') {
        return std::u16string(deviceName);
    }
    return std::nullopt;
}

// The device itself rather than a link to it (/dev/serial/by-id/...), so that pppd's lock file
// and the transport's name the same device.
std::u16string ResolveDevice(const std::u16string& port) {
    char resolved[PATH_MAX];
    if (::realpath(WideToUtf8(port).c_str(), resolved) == nullptr) {
        return port;
    }
    return Utf8ToWide(resolved);
}

std::uint32_t BaudRateOfMode(int mode) {
    switch (mode) {
        case 1:
            return 19200;
        case 2:
        case 3:
            return 57600;
        default:
            return 0;
    }
}

// Makes the library's own dialing location current: one value of "Locations" whose first
// string is "QVL"; a new one takes the number "HighLocID" and advances it.
void SetDialingLocation() {
    const RegKey dial = RegKey::Open(RegRoot::CurrentUser, u"ControlPanel\\Dial", RegOpen::Create);
    const RegKey locations = dial.OpenSub(u"Locations", RegOpen::Create);
    std::optional<std::u16string> name;
    for (const std::u16string& value : locations.ValueNames()) {
        const auto strings = locations.ReadMultiString(value);
        if (strings && !strings->empty() && strings->front() == u"QVL") {
            name = value;
            break;
        }
    }
    if (!name) {
        const std::uint32_t high = dial.ReadDword(u"HighLocID").value_or(0);
        name = Utf8ToWide(std::to_string(high));
        dial.WriteDword(u"HighLocID", high + 1);
    }
    locations.WriteMultiString(*name, {u"QVL", u"g", u"g", u"g", u"***"});
}

// Modem init slots of earlier versions could hold the PIN: none may stay on disk.
void RemovePinInitSlots() {
    const RegKey init = RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Unimodem\\Init");
    if (!init) {
        return;
    }
    for (const char16_t* slot : {u"1", u"2", u"3", u"4", u"5"}) {
        const auto text = init.ReadString(slot);
        if (!text) {
            continue;
        }
        std::u16string lower;
        for (const char16_t c : *text) {
            lower += FoldCase(c);
        }
        if (lower.find(u"at+cpin") != std::u16string::npos) {
            init.DeleteValue(slot);
        }
    }
}

// The connection manager beside this library.
std::string PlusLibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&Is2000PPC), &info) == 0 || info.dli_fname == nullptr) {
        return "libQVLConnMgrPlus.so";
    }
    const std::string self = info.dli_fname;
    const std::size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) +
           "libQVLConnMgrPlus.so";
}

void ProvisionConnectionManager(const std::u16string& entryName) {
    void* library = ::dlopen(PlusLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return;
    }
    if (auto create =
            reinterpret_cast<CreateConnectionPlusProc>(::dlsym(library, "CreateConnectionPlus"))) {
        create(entryName.c_str(), entryName.c_str(), 0);
    }
    ::dlclose(library);
}

int ShowEntryProblem(const ppp::WriteResult& result, std::u16string_view deviceName) {
    switch (result.problem) {
        case ppp::EntryProblem::None:
            return 0;
        case ppp::EntryProblem::Name:
            Show(kMsgBadEntryName);
            break;
        case ppp::EntryProblem::Device:
            Show(kMsgModemNotFound, deviceName);
            break;
        case ppp::EntryProblem::DialString:
            Show(kMsgBadDialString);
            break;
        case ppp::EntryProblem::InitCommand:
            Show(kMsgBadInitCommand);
            break;
        case ppp::EntryProblem::UserName:
        case ppp::EntryProblem::Password:
            Show(kMsgBadCredentials);
            break;
        case ppp::EntryProblem::Folder:
        case ppp::EntryProblem::Write:
            Show(kMsgEntryNotWritten, Utf8ToWide(result.detail));
            break;
    }
    return 1;
}

// Dials the entry and waits for the link, with the state texts in the progress window.
void* DialRasEntry(const std::u16string& entryName) {
    SetDialingLocation();
    const Progress progress(g_ports, true, kMsgConnecting);
    dataconn::DialResult dial = dataconn::DialEntry(
        entryName, g_ports, [&](LinkState state) { progress.SetText(StateText(state)); }, {});
    if (!dial.link) {
        return nullptr;
    }
    return g_calls.Add({std::move(dial.link), entryName});
}

void CreateConnectionImpl(const std::u16string& entryName, const std::u16string& deviceName,
                          const std::u16string& dialString, int mode,
                          const std::u16string& initCommand, const std::u16string& userName,
                          const std::u16string& password, const std::u16string& simPin) {
    const Progress progress(g_ports, false, kMsgCreating);
    // Whatever happens below, nothing of an earlier entry is left to be dialled.
    WipePin();
    const RegKey key = LibraryKey();
    key.WriteString(kValuePin, u"");
    key.WriteString(kValueLongInit, u"");
    RemovePinInitSlots();
    const std::string folder = ppp::EntryFolder();
    if (!IsSafeEntryName(entryName)) {
        Show(kMsgBadEntryName, entryName);
        return;
    }
    if (!folder.empty()) {
        ppp::RemoveEntry(folder, entryName);
    }
    const auto port = FindModemPort(deviceName);
    if (!port) {
        Show(kMsgModemNotFound, deviceName);
        return;
    }
    const bool longInit = (initCommand.size() + 1) * 2 >= kDialModifierOctets;
    if (!initCommand.empty() && !IsSafeInitCommand(initCommand)) {
        Show(kMsgBadInitCommand);
        return;
    }
    ppp::EntrySettings entry;
    entry.name = entryName;
    entry.device = ResolveDevice(*port);
    entry.dialString = dialString;
    entry.initCommand = longInit ? std::u16string() : initCommand;
    entry.userName = userName;
    entry.password = password;
    entry.baudRate = BaudRateOfMode(mode);
    if (const auto gateway = key.ReadString(kValueGateway)) {
        entry.gateway = ParseDottedIp(*gateway);
    }
    if (ShowEntryProblem(ppp::WriteEntry(folder, entry), deviceName) != 0) {
        return;
    }
    if (longInit) {
        key.WriteString(kValueLongInit, initCommand);
    }
    if (!Is2000PPC()) {
        ProvisionConnectionManager(entryName);
    }
    SetDialingLocation();
    g_pin = simPin;
}

void ConnectInternetImpl(const std::u16string& entryName, const std::u16string& portName,
                         void* instance, void** plusLibrary, void** rasHandle,
                         void** connectionHandle) {
    struct PinWipe {
        ~PinWipe() { WipePin(); }
    } pinWipe;
    const std::string folder = ppp::EntryFolder();
    const auto info =
        IsSafeEntryName(entryName) ? ppp::ReadEntryInfo(folder, entryName) : std::nullopt;
    if (!info) {
        const std::u16string text =
            dataconn::FailureText(ppp::LinkFailure::NoEntry, WideToUtf8(entryName));
        if (g_ports.messages != nullptr) {
            g_ports.messages->ShowMessage(text, u"", MsgButtons::Ok, MsgIcon::Error);
        }
        return;
    }
    const std::u16string port = portName.empty() ? Utf8ToWide(info->device) : portName;
    {
        const Progress progress(g_ports, false, kMsgOpeningPort);
        const connmgr::SimResult sim = connmgr::UnlockSim(port, g_pin);
        switch (sim.step) {
            case connmgr::SimStep::Ready:
            case connmgr::SimStep::PinEntered:
                break;
            case connmgr::SimStep::NoPin:
                Show(kMsgPinUnknown);
                return;
            case connmgr::SimStep::PinRefused:
                Show(kMsgPinRefused);
                return;
            case connmgr::SimStep::Blocked:
                Show(kMsgSimBlocked);
                return;
            case connmgr::SimStep::PortFailed:
                Show(kMsgPortNotOpened, sim.detail);
                return;
        }
    }
    WipePin();
    const std::u16string longInit = LibraryKey().ReadString(kValueLongInit).value_or(u"");
    if (!longInit.empty()) {
        if (!IsSafeInitCommand(longInit)) {
            Show(kMsgBadInitCommand);
            return;
        }
        if (connmgr::SendLongInit(port, longInit, g_ports) != 0) {
            Show(kMsgInitRefused);
            return;
        }
    }
    if (Is2000PPC()) {
        if (rasHandle != nullptr) {
            *rasHandle = DialRasEntry(entryName);
        }
        return;
    }
    if (plusLibrary == nullptr || *plusLibrary == nullptr || connectionHandle == nullptr) {
        return;
    }
    auto connect =
        reinterpret_cast<ConnectInternetPlusProc>(::dlsym(*plusLibrary, "ConnectInternetPlus"));
    if (connect == nullptr) {
        return;
    }
    if (auto setPorts = reinterpret_cast<SetConnMgrPlusUiPortsProc>(
            ::dlsym(*plusLibrary, "SetConnMgrPlusUiPorts"))) {
        setPorts(&g_ports);
    }
    connect(connectionHandle, kDestination.data(), nullptr, instance);
}

}  // namespace

extern "C" void SetConnMgrUiPorts(const qvl::UiPorts* ports) {
    g_ports = ports != nullptr ? *ports : dataconn::ConsolePorts();
    InstallPorts();
}

extern "C" int Is2000PPC() {
    return dataconn::PlatformTypeText() == u"Palm PC2" ? 1 : 0;
}

extern "C" void CreateConnection(const char16_t* entryName, const char16_t* deviceName,
                                 const char16_t* dialString, int mode, const char16_t* initCommand,
                                 const char16_t* userName, const char16_t* password,
                                 const char16_t* /*dns*/, const char16_t* /*alternateDns*/,
                                 const char16_t* simPin, void* /*ownerWindow*/,
                                 void* /*instance*/) {
    try {
        InstallPorts();
        CreateConnectionImpl(Text(entryName), Text(deviceName), Text(dialString), mode,
                             Text(initCommand), Text(userName), Text(password), Text(simPin));
    } catch (...) {
        // Nothing may unwind into a caller that only knows a C interface.
        WipePin();
    }
}

extern "C" void ConnectInternet(const char16_t* entryName, const char16_t* portName,
                                void* /*ownerWindow*/, void* instance, void** connMgrPlusLibrary,
                                void** rasHandle, void** connectionHandle) {
    if (rasHandle != nullptr) {
        *rasHandle = nullptr;
    }
    if (connectionHandle != nullptr) {
        *connectionHandle = nullptr;
    }
    try {
        InstallPorts();
        ConnectInternetImpl(Text(entryName), Text(portName), instance, connMgrPlusLibrary,
                            rasHandle, connectionHandle);
    } catch (...) {
        WipePin();
    }
}

extern "C" int DisconnectInternet(void** connMgrPlusLibrary, void* rasHandle,
                                  void* connectionHandle, void* ownerWindow, void* instance) {
    try {
        InstallPorts();
        if (Is2000PPC()) {
            std::optional<dataconn::CallTable::Call> call = g_calls.Take(rasHandle);
            if (!call) {
                return kErrorInvalidHandle;
            }
            dataconn::HangUp(*call->link, call->entryName, g_ports, {});
            return 0;
        }
        if (connMgrPlusLibrary == nullptr || *connMgrPlusLibrary == nullptr ||
            connectionHandle == nullptr) {
            return kErrorInvalidHandle;
        }
        auto disconnect = reinterpret_cast<DisconnectInternetPlusProc>(
            ::dlsym(*connMgrPlusLibrary, "DisconnectInternetPlus"));
        if (disconnect == nullptr) {
            return kErrorInvalidHandle;
        }
        if (auto setPorts = reinterpret_cast<SetConnMgrPlusUiPortsProc>(
                ::dlsym(*connMgrPlusLibrary, "SetConnMgrPlusUiPorts"))) {
            setPorts(&g_ports);
        }
        disconnect(connectionHandle, ownerWindow, instance);
        return 0;
    } catch (...) {
        return kErrorInvalidHandle;
    }
}

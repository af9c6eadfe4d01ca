#include "app/mms/mmssend.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "app/engine/phoneengine.h"
#include "app/mms/mmscontext.h"
#include "app/mms/mmsprofiles.h"
#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "base/checks.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "connmgr/connmgr.h"
#include "mmsclient/sendmms.h"

namespace qvl::mms {

namespace {

constexpr char16_t kCaption[] = u"MMS";

class LinkedConnection final : public IDataConnection {
  public:
    void SetUiPorts(const UiPorts* ports) override { SetConnMgrUiPorts(ports); }
    void Create(std::u16string_view device, std::u16string_view dial, std::u16string_view init,
                std::u16string_view user, std::u16string_view password, std::u16string_view dns,
                std::u16string_view pin) override {
        const std::u16string d(device), n(dial), i(init), u(user), p(password), s(dns), k(pin);
        CreateConnection(kDataEntryName, d.c_str(), n.c_str(), 3, i.c_str(), u.c_str(), p.c_str(),
                         s.c_str(), s.c_str(), k.c_str(), nullptr, nullptr);
    }
    bool FirstPlatform() override { return Is2000PPC() != 0; }
    void Connect(std::u16string_view port, void** plusLibrary, void** rasHandle,
                 void** connectionHandle) override {
        const std::u16string p(port);
        ConnectInternet(kDataEntryName, p.c_str(), nullptr, nullptr, plusLibrary, rasHandle,
                        connectionHandle);
    }
    int Disconnect(void** plusLibrary, void* rasHandle, void* connectionHandle) override {
        return DisconnectInternet(plusLibrary, rasHandle, connectionHandle, nullptr, nullptr);
    }
};

// A library loaded by its full path for the length of a scope: freed exactly once.
class LoadedLibrary {
  public:
    LoadedLibrary() = default;
    explicit LoadedLibrary(const std::string& path)
        : m_handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (m_handle != nullptr) {
            ::dlclose(m_handle);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    explicit operator bool() const { return m_handle != nullptr; }
    void* Handle() const { return m_handle; }
    void* Symbol(const char* name) const {
        return m_handle != nullptr ? ::dlsym(m_handle, name) : nullptr;
    }

  private:
    void* m_handle = nullptr;
};

// The floating progress window for one step of the flow.
class ProgressStep {
  public:
    ProgressStep(const UiPorts& ui, std::u16string_view text) : m_ui(ui) {
        if (m_ui.progress != nullptr) {
            m_ui.progress->Create(0, 100, -1, false);
            m_ui.progress->SetText(text, -1);
            m_ui.progress->Show(true);
        }
        m_ui.Pump();
    }
    ~ProgressStep() {
        if (m_ui.progress != nullptr) {
            m_ui.progress->Destroy();
        }
    }
    ProgressStep(const ProgressStep&) = delete;
    ProgressStep& operator=(const ProgressStep&) = delete;

  private:
    const UiPorts& m_ui;
};

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool SamePort(const std::u16string& a, const std::u16string& b) {
    if (a == b) {
        return true;
    }
    char left[PATH_MAX];
    char right[PATH_MAX];
    return !a.empty() && !b.empty() && ::realpath(WideToUtf8(a).c_str(), left) != nullptr &&
           ::realpath(WideToUtf8(b).c_str(), right) != nullptr && std::string(left) == right;
}

class SendFlow {
  public:
    SendFlow(CPhoneEngine& engine, const MmsSendPorts& ports)
        : m_engine(engine),
          m_ports(ports),
          m_data(ports.data != nullptr ? *ports.data : LinkedDataConnection()),
          m_folder(ports.libraryFolder.empty() ? ProgramFolder() : ports.libraryFolder) {}

    MmsSendResult Run(const ComposedMms& message, const std::function<void()>& notifyDone);

  private:
    std::u16string Text(int id) const {
        return m_ports.text ? m_ports.text(id) : LoadLocalString(id);
    }
    MsgAnswer Say(std::u16string_view text, MsgButtons buttons = MsgButtons::Ok,
                  MsgIcon icon = MsgIcon::Information) const {
        if (m_ports.ui.messages == nullptr) {
            return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
        }
        return m_ports.ui.messages->ShowMessage(text, kCaption, buttons, icon);
    }
    // The profile the send uses, or nothing (the user has been told why).
    std::optional<MmsProfile> ChooseProfile();
    bool ProfileUsable(const MmsProfile& profile) const;
    bool Deliver(const MmsProfile& profile, const ComposedMms& message, const std::u16string& to);

    CPhoneEngine& m_engine;
    const MmsSendPorts& m_ports;
    IDataConnection& m_data;
    std::string m_folder;
};

std::optional<MmsProfile> SendFlow::ChooseProfile() {
    sms::CRecordStore store;
    store.Load(sms::MmsProfileStorePath());
    const bool none = ProfilesOf(store).empty();
    const MmsProfile* chosen = nullptr;
    if (DetectProfileSetting()) {
        std::int64_t code = -1;
        {
            ProgressStep step(m_ports.ui, Text(kMsgDetectingProfile));
            code = DetectOperatorCode(m_engine);
        }
        chosen = FindProfileByOperator(store, code);
        if (chosen == nullptr) {
            std::u16string text = Text(kMsgDetectFailed);
            if (none) {
                text += u"\n\n" + Text(kMsgNoProfiles);
            }
            Say(text, MsgButtons::Ok, MsgIcon::Warning);
            return std::nullopt;
        }
    } else {
        chosen = FindProfileById(store, SelectedProfileSetting());
        if (chosen == nullptr) {
            // The handheld stopped here without a word; the user would think the send got lost.
            Say(Text(kMsgMmsFailed) + u"\n\n" + Text(none ? kMsgNoProfiles : kMsgNoProfileChosen),
                MsgButtons::Ok, MsgIcon::Warning);
            return std::nullopt;
        }
    }
    return *chosen;
}

bool SendFlow::ProfileUsable(const MmsProfile& profile) const {
    // These texts go into AT+CGDCONT, the dial script and pppd's files: a text that fails its
    // check is refused whole, before anything is sent to the modem.
    if (!IsValidApn(profile.apn)) {
        Say(FillMessage(Text(kMsgBadApn), {profile.name}), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    if (!IsSafeCredential(profile.user, kMaxCredentialLength) ||
        !IsSafeCredential(profile.password, kMaxCredentialLength)) {
        Say(FillMessage(Text(kMsgBadCredentials), {profile.name}), MsgButtons::Ok,
            MsgIcon::Warning);
        return false;
    }
    if (profile.gateway.empty() || profile.uri.empty()) {
        Say(FillMessage(Text(kMsgIncompleteProfile), {profile.name}), MsgButtons::Ok,
            MsgIcon::Warning);
        return false;
    }
    return true;
}

bool SendFlow::Deliver(const MmsProfile& profile, const ComposedMms& message,
                       const std::u16string& to) {
    const LoadedLibrary client(m_folder + "/libQVLMMSClient.so");
    if (!client) {
        Say(u"Library NOT Loaded", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    const auto send = reinterpret_cast<SendMMSProc>(client.Symbol("SendMMS"));
    if (send == nullptr) {
        Say(u"Proc Address NOT found", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    const auto setPorts = reinterpret_cast<SetMMSUiPortsProc>(client.Symbol("SetMMSUiPorts"));
    if (setPorts != nullptr) {
        setPorts(&m_ports.ui);
    }
    std::vector<const char16_t*> paths;
    std::vector<unsigned char> codes;
    for (const MmsObject& object : message.objects) {
        paths.push_back(object.path.c_str());
        codes.push_back(object.mediaType);
    }
    const int result =
        send(nullptr, nullptr, profile.gateway.c_str(), profile.uri.c_str(), to.c_str(),
             message.cc.c_str(), message.subject.c_str(), message.text.c_str(), paths.data(),
             codes.data(), static_cast<int>(message.objects.size()));
    if (setPorts != nullptr) {
        setPorts(nullptr);
    }
    Say(Text(result == 1 ? kMsgMmsSent : kMsgMmsFailed), MsgButtons::Ok,
        result == 1 ? MsgIcon::Information : MsgIcon::Warning);
    return result == 1;
}

MmsSendResult SendFlow::Run(const ComposedMms& message, const std::function<void()>& notifyDone) {
    const std::u16string to = sms::TrimText(message.to);
    if (to.empty()) {
        Say(Text(kMsgFillTo), MsgButtons::Ok, MsgIcon::Warning);
        return MmsSendResult::kStopped;
    }
    for (const MmsObject& object : message.objects) {
        if (!IsStorableObjectPath(object.path)) {
            Say(Text(kMsgBadObjectPath), MsgButtons::Ok, MsgIcon::Warning);
            return MmsSendResult::kStopped;
        }
    }

    // The data call goes over the multiplexer's data channel when there is one, else over the
    // phone's own port.
    IModemDirectory& modems = *m_engine.Ports().modems;
    std::u16string device = m_engine.ModemName();
    std::u16string port = m_engine.PortName();
    std::u16string name;
    std::u16string channel;
    if (modems.FindExtModem(u"MPLDATA", name, channel)) {
        device = name;
        port = channel;
    }
    const bool separateCommandPort = modems.FindExtModem(u"MPLCMD", name, channel);

    const std::optional<MmsProfile> profile = ChooseProfile();
    if (!profile || !ProfileUsable(*profile)) {
        return MmsSendResult::kStopped;
    }
    if (Say(FillMessage(Text(kMsgConfirmGateway), {profile->name}), MsgButtons::YesNo,
            MsgIcon::Question) != MsgAnswer::Yes) {
        return MmsSendResult::kStopped;
    }
    int cid = 1;
    {
        ProgressStep step(m_ports.ui, Text(kMsgGettingContext));
        cid = SelectContextId(m_engine, profile->apn);
    }
    const std::u16string number = Widen(std::to_string(cid));
    const std::u16string init = u"+cgdcont=" + number + u",\"IP\",\"" + profile->apn + u"\"";
    const std::u16string dial = u"*99***" + number + u"#";

    // The data call must never open the port the session holds: the session stops whenever
    // the data port is its port, even where a command channel of its own is configured.
    bool stopped = false;
    if (m_engine.IsPortOpen() && (!separateCommandPort || SamePort(port, m_engine.PortName()))) {
        ProgressStep step(m_ports.ui, Text(kMsgStoppingPhone));
        m_engine.StopSession();
        stopped = true;
    }

    // The WAP gateway is routed over the link when it is an address (docs/dataconn.md).
    const RegKey connMgr = OpenSettingsKey(kRootLocalMachine, keys::kKeyConnMgr);
    WriteStringToKey(connMgr, u"GatewayAddress",
                     ParseDottedIp(profile->gateway) ? profile->gateway : std::u16string());

    bool sent = false;
    m_data.SetUiPorts(&m_ports.ui);
    m_data.Create(device, dial, init, profile->user, profile->password, profile->dns,
                  m_engine.StoredPin());
    {
        const bool firstPlatform = m_data.FirstPlatform();
        // The connection manager stays loaded for the length of the connection.
        std::optional<LoadedLibrary> plus;
        if (!firstPlatform) {
            plus.emplace(m_folder + "/libQVLConnMgrPlus.so");
        }
        void* plusHandle = plus ? plus->Handle() : nullptr;
        void* ras = nullptr;
        void* connection = nullptr;
        m_data.Connect(port, &plusHandle, &ras, &connection);
        if (firstPlatform ? ras != nullptr : connection != nullptr) {
            sent = Deliver(*profile, message, to);
            m_data.Disconnect(&plusHandle, ras, connection);
        }
    }
    m_data.SetUiPorts(nullptr);

    sms::MmsMessageRecord record;
    record.folder = sent ? sms::kFolderOutSent : sms::kFolderOutUnsent;
    record.to = to;
    record.cc = message.cc;
    record.subject = message.subject;
    record.text = message.text;
    for (const MmsObject& object : message.objects) {
        record.objects += object.path + u'\n';
    }
    sms::ChangeFile(sms::MmsStorePath(), [&record](sms::CRecordStore& store) {
        store.Append(std::move(record));
        return true;
    });

    if (stopped) {
        ProgressStep step(m_ports.ui, Text(kMsgRestartingPhone));
        m_engine.StartSession(AutoPin::UseStoredPin);
    }
    if (notifyDone) {
        notifyDone();
    }
    return sent ? MmsSendResult::kSent : MmsSendResult::kNotSent;
}

}  // namespace

bool IsStorableObjectPath(std::u16string_view path) {
    if (path.empty()) {
        return false;
    }
    for (const char16_t c : path) {
        if (IsControl(c)) {
            return false;
        }
    }
    return true;
}

IDataConnection& LinkedDataConnection() {
    static LinkedConnection connection;
    return connection;
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    std::string folder(path, static_cast<std::size_t>(n));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

MmsSendResult SendComposedMms(CPhoneEngine& engine, const MmsSendPorts& ports,
                              const ComposedMms& message, const std::function<void()>& notifyDone) {
    return SendFlow(engine, ports).Run(message, notifyDone);
}

}  // namespace qvl::mms

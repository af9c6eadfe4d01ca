// What the network, call and security settings work with: the phone engine, the user-interface
// ports (message boxes, the message pump, the progress window), the PIN dialog and the texts
// of the current language; and the message ids they show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/engine/phoneengine.h"
#include "common/ports/uiports.h"

namespace qvl::services {

using TextFunction = std::function<std::u16string(int)>;

struct ServiceContext {
    CPhoneEngine& engine;
    UiPorts ui;
    TextFunction text;
    // The PIN dialog of the lock toggles; null: the engine's.
    IPinDialog* pinDialog = nullptr;

    std::u16string Text(int id) const { return text ? text(id) : std::u16string(); }
    // A message box with an OK button; the text of id (a text of its own when given).
    void Show(int id, std::u16string_view filled = {}) const;
};

// The progress window for the length of a scope: closed on every path.
class ProgressScope {
  public:
    // steps 0: the animated bar; otherwise a bar of that many steps at step 0.
    ProgressScope(const ServiceContext& context, int textId, bool cancellable = false,
                  int steps = 0);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    void Step(int textId, int position);
    bool Canceled() const;
    void Close();

  private:
    const ServiceContext& m_context;
    bool m_open = false;
};

// The port for the length of a scope; taken inside the session lock (a BusyScope).
class PortScope {
  public:
    explicit PortScope(CPhoneEngine& engine) : m_engine(engine), m_held(engine.AcquirePort()) {}
    ~PortScope() {
        if (m_held) {
            m_engine.ReleasePort();
        }
    }
    PortScope(const PortScope&) = delete;
    PortScope& operator=(const PortScope&) = delete;
    bool Held() const { return m_held; }

  private:
    CPhoneEngine& m_engine;
    bool m_held;
};

// One exchange under the session lock, the busy flag and the progress window (closed before
// it returns): false when the port is not open and nothing was sent.
bool RunCommand(const ServiceContext& context, std::u16string_view command, int progressText,
                std::uint32_t timeoutMs, std::u16string& response);

// "%s" of a message text filled with a value as plain text (a "%" in the value stays as it is).
std::u16string FillText(std::u16string_view format, std::u16string_view value);

// Message texts.
inline constexpr int kMsgEnabled = 5005;
inline constexpr int kMsgEnableFailed = 5006;
inline constexpr int kMsgDisabled = 5007;
inline constexpr int kMsgFailed = 5008;
inline constexpr int kMsgEnterNumber = 5009;
inline constexpr int kMsgRegistered = 5010;
inline constexpr int kMsgUnregistered = 5011;
inline constexpr int kMsgSelectCondition = 5012;
inline constexpr int kMsgSelectNetwork = 5020;
inline constexpr int kMsgRegistrationDenied = 5021;
inline constexpr int kMsgDivertedTo = 5035;
inline constexpr int kMsgSelectCode = 5038;
inline constexpr int kMsgFillCodes = 5039;
inline constexpr int kMsgNetworkCodeLength = 5040;
inline constexpr int kMsgPhoneCodeLength = 5041;
inline constexpr int kMsgPinLength = 5042;
inline constexpr int kMsgPin2Length = 5043;
inline constexpr int kMsgCodeChangeFailed = 5044;
inline constexpr int kMsgCodeChanged = 5045;
inline constexpr int kMsgCodeLockDone = 5046;
inline constexpr int kMsgCodesDiffer = 5047;
inline constexpr int kMsgCodeLockFailed = 5048;
inline constexpr int kMsgInvalidNumber = 5430;
inline constexpr int kMsgNoNetworks = 5431;
inline constexpr int kMsgEnterCode = 5432;

// Progress texts.
inline constexpr int kTextEnablingForward = 5191;
inline constexpr int kTextDisablingForward = 5192;
inline constexpr int kTextRegisteringForward = 5193;
inline constexpr int kTextUnregisteringForward = 5194;
inline constexpr int kTextQueryingForward = 5195;
inline constexpr int kTextEnablingWaiting = 5196;
inline constexpr int kTextDisablingWaiting = 5197;
inline constexpr int kTextQueryingWaiting = 5198;
inline constexpr int kTextGettingVersion = 5199;
inline constexpr int kTextGettingModel = 5200;
inline constexpr int kTextGettingManufacturer = 5201;
inline constexpr int kTextGettingImei = 5202;
inline constexpr int kTextGettingNetwork = 5205;
inline constexpr int kTextGettingNetworks = 5206;
inline constexpr int kTextRegisteringNetwork = 5207;
inline constexpr int kTextChangingNetworkCode = 5208;
inline constexpr int kTextChangingPhoneCode = 5209;
inline constexpr int kTextChangingPin = 5210;
inline constexpr int kTextChangingPin2 = 5211;
inline constexpr int kTextDisablingPin = 5212;
inline constexpr int kTextEnablingPin = 5213;
inline constexpr int kTextDisablingPhoneCode = 5214;
inline constexpr int kTextEnablingPhoneCode = 5215;

// Labels.
inline constexpr int kTextAlways = 5054;
inline constexpr int kTextMobileBusy = 5055;
inline constexpr int kTextNoReply = 5056;
inline constexpr int kTextNotReachable = 5057;
inline constexpr int kTextCallForwarding = 5058;
inline constexpr int kTextCallWaiting = 5059;
inline constexpr int kTextNetworkSettings = 5061;
inline constexpr int kTextSecuritySettings = 5069;
inline constexpr int kTextCodeChange = 5070;
inline constexpr int kTextCodeLock = 5071;
inline constexpr int kTextEnable = 5093;
inline constexpr int kTextDisable = 5094;
inline constexpr int kTextPhoneCode = 5117;
inline constexpr int kTextModemInfo = 5121;
inline constexpr int kTextPinCode = 5229;
inline constexpr int kTextError = 5230;

}  // namespace qvl::services

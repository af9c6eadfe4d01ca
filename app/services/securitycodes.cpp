#include "app/services/securitycodes.h"

#include <array>

#include "app/services/serviceanswers.h"
#include "base/checks.h"
#include "base/finalresult.h"

namespace qvl::services {
namespace {

constexpr std::array<CodeRule, kCodeKinds> kRules = {{
    {u"PN", 8, kTextChangingNetworkCode, kMsgNetworkCodeLength},
    {u"ME", 8, kTextChangingPhoneCode, kMsgPhoneCodeLength},
    {u"SC", 4, kTextChangingPin, kMsgPinLength},
    {u"P2", 4, kTextChangingPin2, kMsgPin2Length},
}};

// Codes leave memory once they were sent.
void Wipe(std::u16string& secret) {
    for (char16_t& c : secret) {
        c = u'\0';
    }
    secret.clear();
}

constexpr int kIdentityAttempts = 4;

}  // namespace

const CodeRule& RuleOf(CodeKind kind) {
    return kRules[static_cast<std::size_t>(kind)];
}

bool SecurityCodes::RunSecret(std::u16string& command, int progressText, std::u16string& response) {
    CPhoneEngine& engine = m_context.engine;
    CPhoneEngine::BusyScope busy(engine);
    ProgressScope progress(m_context, progressText);
    PortScope port(engine);
    if (!port.Held()) {
        Wipe(command);
        return false;
    }
    engine.ExchangeSecret(command, response, kTimeoutMs);
    return true;
}

int SecurityCodes::ChangeCode(int kind, const std::u16string& oldCode,
                              const std::u16string& newCode, const std::u16string& verifyCode) {
    if (kind < 0 || kind >= kCodeKinds) {
        m_context.Show(kMsgSelectCode);
        return kMsgSelectCode;
    }
    if (oldCode.empty() || newCode.empty() || verifyCode.empty()) {
        m_context.Show(kMsgFillCodes);
        return kMsgFillCodes;
    }
    if (newCode != verifyCode) {
        m_context.Show(kMsgCodesDiffer);
        return kMsgCodesDiffer;
    }
    const CodeKind code = static_cast<CodeKind>(kind);
    const CodeRule& rule = RuleOf(code);
    // Digits only, of the exact length: the fields allow nothing else, and nothing else may
    // reach the quotes of the command either.
    if (!IsValidCode(oldCode, rule.length, rule.length) ||
        !IsValidCode(newCode, rule.length, rule.length)) {
        m_context.Show(rule.lengthMessage);
        return rule.lengthMessage;
    }
    std::u16string command = u"AT+CPWD=\"" + std::u16string(rule.facility) + u"\",\"" + oldCode +
                             u"\",\"" + newCode + u"\"\r";
    std::u16string response;
    if (!RunSecret(command, rule.progressText, response)) {
        return 0;
    }
    // A time-out or an error of any AT+CMEE form leaves the code as it was.
    if (!AnsweredOk(response)) {
        m_context.Show(kMsgCodeChangeFailed);
        return kMsgCodeChangeFailed;
    }
    if (code == CodeKind::Pin) {
        m_context.engine.SetStoredPin(newCode);
    }
    m_context.Show(kMsgCodeChanged);
    return kMsgCodeChanged;
}

int SecurityCodes::ToggleLock(LockFacility facility) {
    IPinDialog* dialog =
        m_context.pinDialog != nullptr ? m_context.pinDialog : m_context.engine.Ports().pinDialog;
    if (dialog == nullptr) {
        return 0;
    }
    const bool simLock = facility == LockFacility::SimPin;
    std::u16string code;
    if (dialog->AskCode(m_context.Text(kMsgEnterCode),
                        m_context.Text(simLock ? kTextPinCode : kTextPhoneCode),
                        code) != DialogResult::Ok) {
        Wipe(code);
        return 0;
    }
    if (!IsValidCode(code, kMinLockCode, kMaxLockCode)) {
        Wipe(code);
        m_context.Show(kMsgCodeLockFailed);
        return kMsgCodeLockFailed;
    }
    const int state = simLock ? m_context.engine.SimPinLock() : m_context.engine.PhoneLock();
    const bool enable = state != 1;
    const int progressText = simLock ? (enable ? kTextEnablingPin : kTextDisablingPin)
                                     : (enable ? kTextEnablingPhoneCode : kTextDisablingPhoneCode);
    std::u16string command = std::u16string(u"AT+CLCK=\"") + (simLock ? u"SC" : u"ME") + u"\"," +
                             (enable ? u"1" : u"0") + u",\"" + code + u"\"\r";
    std::u16string response;
    if (!RunSecret(command, progressText, response)) {
        Wipe(code);
        return 0;
    }
    if (!AnsweredOk(response)) {
        Wipe(code);
        m_context.Show(kMsgCodeLockFailed);
        return kMsgCodeLockFailed;
    }
    m_context.engine.SetLockState(facility, enable ? 1 : 0);
    if (simLock) {
        // The SIM accepted the code as its PIN.
        m_context.engine.SetStoredPin(code);
    }
    Wipe(code);
    m_context.Show(kMsgCodeLockDone);
    return kMsgCodeLockDone;
}

ModemInfo ReadModemInfo(const ServiceContext& context) {
    ModemInfo info;
    CPhoneEngine& engine = context.engine;
    CPhoneEngine::BusyScope busy(engine);
    PortScope port(engine);
    if (!port.Held()) {
        return info;
    }
    struct Item {
        std::u16string_view command;
        int progressText;
        std::u16string* text;
    };
    const Item items[] = {
        {u"AT+CGMR", kTextGettingVersion, &info.version},
        {u"AT+CGMM", kTextGettingModel, &info.model},
        {u"AT+CGMI", kTextGettingManufacturer, &info.manufacturer},
        {u"AT+CGSN", kTextGettingImei, &info.imei},
    };
    ProgressScope progress(context, items[0].progressText, false, 4);
    int step = 0;
    for (const Item& item : items) {
        progress.Step(item.progressText, step++);
        std::u16string response;
        for (int attempt = 0; attempt < kIdentityAttempts && item.text->empty(); ++attempt) {
            if (!engine.Exchange(std::u16string(item.command) + u"\r", kCommandTimeoutMs, response,
                                 Dispatch::Yes)) {
                break;
            }
            *item.text = ParseIdentityLine(response, item.command);
        }
    }
    return info;
}

}  // namespace qvl::services

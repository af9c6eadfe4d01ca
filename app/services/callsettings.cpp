#include "app/services/callsettings.h"

#include <algorithm>

#include "app/services/serviceanswers.h"
#include "base/atcursor.h"
#include "base/checks.h"
#include "base/finalresult.h"
#include "base/text.h"

namespace qvl::services {
namespace {

std::u16string Decimal(int value) {
    return Widen(std::to_string(value));
}

// "AT+CCFC=<reason>,<mode>" and the class as the fifth parameter.
std::u16string ForwardCommand(int reason, int mode, ServiceClass serviceClass) {
    return u"AT+CCFC=" + Decimal(reason) + u"," + Decimal(mode) + u",,," +
           Decimal(static_cast<int>(serviceClass)) + u"\r";
}

// A registration: the number with its GSM 04.08 type, international (145) when it starts with
// "+", else unknown (129); the no-reply time when one is given (timeSeconds > 0).
std::u16string RegisterCommand(int reason, const std::u16string& number, ServiceClass serviceClass,
                               int timeSeconds) {
    const int type = !number.empty() && number.front() == u'+' ? 145 : 129;
    std::u16string command = u"AT+CCFC=" + Decimal(reason) + u",3,\"" + number + u"\"," +
                             Decimal(type) + u"," + Decimal(static_cast<int>(serviceClass));
    if (timeSeconds > 0) {
        command += u",,," + Decimal(timeSeconds);
    }
    return command + u"\r";
}

bool ValidCondition(int condition) {
    return condition >= 0 && condition < kForwardConditions;
}

}  // namespace

bool CallForwarding::Changed(const std::u16string& response) {
    // The echo tells that the answer belongs to this command and not to an earlier one.
    AtCursor cursor(response);
    return cursor.FindLine(u"AT+CCFC") && AnsweredOk(response);
}

int CallForwarding::Change(int condition, ServiceClass serviceClass, int mode, int progressText,
                           int successMessage, int failureMessage) {
    if (!ValidCondition(condition)) {
        m_context.Show(kMsgSelectCondition);
        return kMsgSelectCondition;
    }
    std::u16string response;
    if (!RunCommand(m_context, ForwardCommand(condition, mode, serviceClass), progressText,
                    kTimeoutMs, response)) {
        return 0;
    }
    const int shown = Changed(response) ? successMessage : failureMessage;
    m_context.Show(shown);
    // The dialer's diversion notice asks the network again.
    m_context.engine.ForgetDivertStatus();
    return shown;
}

int CallForwarding::Enable(int condition, ServiceClass serviceClass) {
    return Change(condition, serviceClass, 1, kTextEnablingForward, kMsgEnabled, kMsgEnableFailed);
}

int CallForwarding::Disable(int condition, ServiceClass serviceClass) {
    return Change(condition, serviceClass, 0, kTextDisablingForward, kMsgDisabled, kMsgFailed);
}

int CallForwarding::Unregister(int condition, ServiceClass serviceClass) {
    return Change(condition, serviceClass, 4, kTextUnregisteringForward, kMsgUnregistered,
                  kMsgFailed);
}

int CallForwarding::Register(int condition, ServiceClass serviceClass, const std::u16string& number,
                             int timeIndex) {
    if (!ValidCondition(condition)) {
        m_context.Show(kMsgSelectCondition);
        return kMsgSelectCondition;
    }
    if (number.empty()) {
        m_context.Show(kMsgEnterNumber);
        return kMsgEnterNumber;
    }
    if (!IsDialableNumber(number)) {
        m_context.Show(kMsgInvalidNumber);
        return kMsgInvalidNumber;
    }
    const bool noReply = condition == static_cast<int>(ForwardCondition::NoReply);
    const int seconds = noReply ? NoReplySeconds(std::clamp(timeIndex, 0, kNoReplyTimes - 1)) : 0;
    std::u16string response;
    if (!RunCommand(m_context, RegisterCommand(condition, number, serviceClass, seconds),
                    kTextRegisteringForward, kTimeoutMs, response)) {
        return 0;
    }
    bool registered = Changed(response);
    if (!registered && noReply) {
        // Some networks refuse the time: asked once more without it, and the user is told
        // the outcome of the two together.
        if (RunCommand(m_context, RegisterCommand(condition, number, serviceClass, 0),
                       kTextRegisteringForward, kTimeoutMs, response)) {
            registered = Changed(response);
        }
    }
    const int shown = registered ? kMsgRegistered : kMsgFailed;
    m_context.Show(shown);
    m_context.engine.ForgetDivertStatus();
    return shown;
}

int CallForwarding::QueryStatus(int condition, ServiceClass serviceClass) {
    if (!ValidCondition(condition)) {
        m_context.Show(kMsgSelectCondition);
        return kMsgSelectCondition;
    }
    std::u16string response;
    if (!RunCommand(m_context, ForwardCommand(condition, 2, serviceClass), kTextQueryingForward,
                    kTimeoutMs, response)) {
        return 0;
    }
    const ForwardState state = ParseForwardQuery(response, static_cast<int>(serviceClass));
    switch (state.state) {
        case ServiceState::Active:
            if (state.number.empty()) {
                m_context.Show(kMsgEnabled);
                return kMsgEnabled;
            }
            m_context.Show(kMsgDivertedTo, FillText(m_context.Text(kMsgDivertedTo), state.number));
            return kMsgDivertedTo;
        case ServiceState::Inactive:
            m_context.Show(kMsgDisabled);
            return kMsgDisabled;
        case ServiceState::Failed:
            break;
    }
    m_context.Show(kMsgFailed);
    return kMsgFailed;
}

int CallWaiting::Switch(bool on) {
    std::u16string response;
    if (!RunCommand(m_context, on ? u"AT+CCWA=1,1,1\r" : u"AT+CCWA=1,0,1\r",
                    on ? kTextEnablingWaiting : kTextDisablingWaiting, kTimeoutMs, response)) {
        return 0;
    }
    const int shown = !AnsweredOk(response) ? kMsgFailed : on ? kMsgEnabled : kMsgDisabled;
    m_context.Show(shown);
    return shown;
}

int CallWaiting::QueryStatus() {
    std::u16string response;
    if (!RunCommand(m_context, u"AT+CCWA=1,2,1\r", kTextQueryingWaiting, kTimeoutMs, response)) {
        return 0;
    }
    // A query without an answer, or refused, is a failure: it says nothing about the service.
    int shown = kMsgFailed;
    switch (ParseWaitingQuery(response, static_cast<int>(ServiceClass::Voice))) {
        case ServiceState::Active:
            shown = kMsgEnabled;
            break;
        case ServiceState::Inactive:
            shown = kMsgDisabled;
            break;
        case ServiceState::Failed:
            break;
    }
    m_context.Show(shown);
    return shown;
}

}  // namespace qvl::services

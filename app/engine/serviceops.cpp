// The engine operations of the network page, the call settings and the security page: the
// network mode, the operator found or lost, lock states, the divert cache, and the long
// exchange of a network search with the drain of its late answer.
#include <algorithm>

#include "app/engine/phoneengine.h"
#include "base/finalresult.h"

namespace qvl {
namespace {

// Reads of a long exchange: between two of them the progress window's Cancel is looked at.
constexpr std::uint32_t kLongAnswerSliceMs = 500;
// A drain before a command takes what has arrived by then, without waiting for more.
constexpr std::uint32_t kLateAnswerDrainMs = 100;
// How long after an unfinished long exchange its answer is still looked for: as long as the
// command was given, and at least a minute.
constexpr std::uint64_t kMinLateAnswerWindowMs = 60000;

}  // namespace

void CPhoneEngine::OperatorFound(const std::u16string& name) {
    m_operatorName = name;
    m_displayText = name;
    m_networkKnown = 1;
    PostEvent(DialerEvent::Operator);
}

void CPhoneEngine::OperatorLost() {
    m_networkKnown = 0;
    m_operatorName.clear();
    m_operatorExtra.clear();
    m_displayText.clear();
    PostEvent(DialerEvent::Searching);
}

void CPhoneEngine::SetLockState(LockFacility facility, int state) {
    const int value = state == 0 || state == 1 ? state : -1;
    switch (facility) {
        case LockFacility::SimPin:
            m_simPinLock = value;
            break;
        case LockFacility::Phone:
            m_phoneLock = value;
            break;
    }
}

void CPhoneEngine::ForgetDivertStatus() {
    m_divertFlag = 0;
    m_divertKnown = 0;
}

LongAnswer CPhoneEngine::ExchangeLong(std::u16string_view command, std::uint32_t timeoutMs,
                                      std::u16string& response,
                                      const std::function<bool()>& canceled) {
    response.clear();
    DrainLateAnswer();
    if (!IsPortOpen() || m_ports.io->Write(m_port.handle, command) != 0) {
        return LongAnswer::WriteFailed;
    }
    const std::uint64_t start = NowMs();
    // Reads that brought nothing waited their whole slice: counted as well, so that a clock
    // that does not move cannot keep the loop going.
    std::uint64_t idleMs = 0;
    LongAnswer outcome = LongAnswer::TimedOut;
    for (;;) {
        const std::size_t before = response.size();
        m_ports.io->Read(m_port.handle, response, kLongAnswerSliceMs);
        if (ReadFinalResult(response).result != FinalResult::None) {
            outcome = LongAnswer::Answered;
            break;
        }
        if (response.size() == before) {
            idleMs += kLongAnswerSliceMs;
        }
        PumpMessages();
        if (!IsPortOpen()) {
            // A handler stopped the session while the answer was awaited.
            return LongAnswer::WriteFailed;
        }
        if (canceled && canceled()) {
            outcome = LongAnswer::Canceled;
            break;
        }
        const std::uint64_t elapsed = NowMs() - start;
        if (elapsed >= timeoutMs || idleMs >= timeoutMs) {
            break;
        }
    }
    if (outcome != LongAnswer::Answered) {
        // Any character aborts an abortable command (V.250); a bare CR is no command line of
        // its own. Whatever the modem still sends for the command is drained before the next.
        m_ports.io->Write(m_port.handle, u"\r");
        m_lateAnswerUntilMs = NowMs() + std::max<std::uint64_t>(timeoutMs, kMinLateAnswerWindowMs);
    }
    HandleUnsolicited(response);
    return outcome;
}

void CPhoneEngine::DrainLateAnswer() {
    if (m_lateAnswerUntilMs == 0 || !IsPortOpen()) {
        return;
    }
    if (NowMs() >= m_lateAnswerUntilMs) {
        m_lateAnswerUntilMs = 0;
        return;
    }
    std::u16string late;
    m_ports.io->Read(m_port.handle, late, kLateAnswerDrainMs);
    if (ReadFinalResult(late).result != FinalResult::None) {
        m_lateAnswerUntilMs = 0;
    }
    if (!late.empty()) {
        // Result codes that came with it (a RING, a new message) are not lost.
        HandleUnsolicited(late);
    }
}

}  // namespace qvl

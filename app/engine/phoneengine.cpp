#include "app/engine/phoneengine.h"

#include <chrono>

#include "app/engine/services.h"
#include "app/sms/codec/smscodec.h"
#include "base/checks.h"
#include "base/finalresult.h"
#include "base/text.h"
#include "platform/ipc/ipc.h"
#ifndef QVL_ENGINE_NO_LANG
#include "common/lang/lang.h"
#endif

namespace qvl {
namespace {

constexpr std::uint32_t kRingQuietMs = 3000;
constexpr std::uint64_t kOperatorCheckMs = 20000;
// Rotation of the poll step: interval per index (strictly more than), index 6 every step.
constexpr std::array<std::uint64_t, 7> kRotationIntervalMs = {10000, 20000, 30000, 30000,
                                                              10000, 60000, 0};
// A modem that answers AT+CPIN? with nothing this many times in a row is dead.
constexpr int kMaxSilentPinAnswers = 2;
// A modem that keeps answering AT+CPIN? with no known word is given up after this many passes
// (a SIM that is still busy answers within a few).
constexpr int kMaxUnknownPinAnswers = 30;
constexpr std::u16string_view kTodayWindow = u"QVLDialerToday";
// Lengths of the codes the SIM takes (GSM 11.11: PIN 4-8 digits, PUK 8); the phone code is the
// handset's own and only bounded.
constexpr std::size_t kMinPinLength = 4;
constexpr std::size_t kMaxPinLength = 8;
constexpr std::size_t kPukLength = 8;
constexpr std::size_t kMaxPhoneCodeLength = 16;

std::u16string FormatInt(std::u16string_view format, int value) {
    std::u16string text(format);
    const std::size_t at = text.find(u"%d");
    const std::u16string digits = Widen(std::to_string(value));
    if (at == std::u16string::npos) {
        return text + digits;
    }
    return text.replace(at, 2, digits);
}

// Codes leave memory as soon as they were sent.
void Wipe(std::u16string& secret) {
    for (char16_t& c : secret) {
        c = u'\0';
    }
    secret.clear();
}

}  // namespace

CPhoneEngine::CPhoneEngine(EnginePorts ports) : m_ports(std::move(ports)) {
    if (m_ports.io == nullptr) {
        m_ownIo = std::make_unique<SerialModemIo>();
        m_ports.io = m_ownIo.get();
    }
    if (m_ports.modems == nullptr) {
        m_ownModems = std::make_unique<RegistryModemDirectory>();
        m_ports.modems = m_ownModems.get();
    }
    if (m_ports.power == nullptr) {
        m_ownPower = std::make_unique<SysfsPowerSupply>();
        m_ports.power = m_ownPower.get();
    }
    if (m_ports.profiles == nullptr) {
        m_ownProfiles = std::make_unique<FileOperatorProfiles>(DefaultProfilesPath());
        m_ports.profiles = m_ownProfiles.get();
    }
}

CPhoneEngine::~CPhoneEngine() {
    // The program is ending: close the port without pumping messages any more.
    if (IsPortOpen()) {
        m_ports.io->Close(m_port.handle);
    }
    m_port.handle = 0;
    m_port.mutex.reset();
}

std::u16string CPhoneEngine::Text(int id) const {
    if (m_ports.text) {
        return m_ports.text(id);
    }
#ifndef QVL_ENGINE_NO_LANG
    return LoadLocalString(id);
#else
    return {};
#endif
}

std::uint64_t CPhoneEngine::NowMs() const {
    return m_ports.clock != nullptr ? m_ports.clock->NowMs() : SystemClock().NowMs();
}

void CPhoneEngine::PumpMessages() {
    if (m_ports.pump != nullptr) {
        m_ports.pump->PumpMessages();
    } else {
        qvl::PumpMessages();
    }
}

void CPhoneEngine::Pause(std::uint32_t ms) {
    IClock& clock = m_ports.clock != nullptr ? *m_ports.clock : SystemClock();
    const std::uint64_t start = clock.NowMs();
    for (;;) {
        const std::uint64_t elapsed = clock.NowMs() - start;
        if (elapsed >= ms) {
            return;
        }
        PumpMessages();
        const std::uint64_t left = ms - elapsed;
        clock.SleepMs(static_cast<std::uint32_t>(left < 50 ? left : 50));
    }
}

void CPhoneEngine::ShowLiteral(std::u16string_view text) {
    if (m_ports.messages != nullptr) {
        m_ports.messages->ShowMessage(text, u"", MsgButtons::Ok, MsgIcon::Error);
    }
}

void CPhoneEngine::PostEvent(DialerEvent event, std::int64_t arg) {
    if (m_ports.sink != nullptr) {
        DialerEventMessage message;
        message.event = event;
        message.arg = arg;
        m_ports.sink->OnDialerEvent(message);
    }
}

bool CPhoneEngine::AcquirePort() {
    // The acquisition keeps its own reference to the mutex: a handler that stops the session
    // while this exchange pumps messages drops the engine's reference, and the mutex must stay
    // alive until this acquisition is released.
    NamedMutex mutex = m_port.mutex;
    if (!qvl::AcquirePort(m_port.handle, mutex)) {
        return false;
    }
    m_heldMutexes.push_back(std::move(mutex));
    return true;
}

void CPhoneEngine::ReleasePort() {
    if (m_heldMutexes.empty()) {
        return;
    }
    NamedMutex mutex = std::move(m_heldMutexes.back());
    m_heldMutexes.pop_back();
    if (mutex) {
        qvl::ReleasePort(mutex);
    }
}

bool CPhoneEngine::Exchange(std::u16string_view command, std::uint32_t timeoutMs,
                            std::u16string& response, Dispatch dispatch) {
    response.clear();
    DrainLateAnswer();
    if (!IsPortOpen() || m_ports.io->Write(m_port.handle, command) != 0) {
        return false;
    }
    m_ports.io->Read(m_port.handle, response, timeoutMs);
    if (dispatch == Dispatch::Yes) {
        DispatchLoop(response, timeoutMs);
    }
    return true;
}

void CPhoneEngine::ReadMore(std::u16string& response, std::uint32_t timeoutMs) {
    if (IsPortOpen()) {
        m_ports.io->Read(m_port.handle, response, timeoutMs);
    }
}

bool CPhoneEngine::ExchangeSecret(std::u16string& command, std::u16string& response,
                                  std::uint32_t timeoutMs) {
    response.clear();
    DrainLateAnswer();
    const bool written = IsPortOpen() && m_ports.io->WriteSecret(m_port.handle, command) == 0;
    Wipe(command);
    if (!written) {
        return false;
    }
    m_ports.io->ReadSecret(m_port.handle, response, timeoutMs);
    DispatchLoop(response, timeoutMs);
    return true;
}

void CPhoneEngine::DispatchLoop(std::u16string& response, std::uint32_t timeoutMs) {
    // Bounded, as the transport's exchange is: a modem that sends only unsolicited lines ends
    // the exchange with the last of them instead of holding the UI thread.
    // Every text read is handed over, the last one too, so no event is lost at the limit.
    for (int reads = 0;
         HandleUnsolicited(response) && IsPortOpen() && reads < kMaxUnsolicitedPasses; ++reads) {
        response.clear();
        m_ports.io->Read(m_port.handle, response, timeoutMs);
    }
}

bool CPhoneEngine::CreatePortMutex() {
    m_port.mutex = CreateNamedMutex(kPortMutexName);
    if (!m_port.mutex) {
        // Exchanges then run without the mutex; none of them waits for it.
        ShowLiteral(u"CreateMutex failed !");
        return false;
    }
    return true;
}

void CPhoneEngine::SetCallTable(std::vector<CallEntry> calls) {
    m_calls = std::move(calls);
}

// ---------------------------------------------------------------- session start and stop

int CPhoneEngine::StartSession(AutoPin autoPin) {
    BusyScope busy(*this);
    ++m_sessionStarts;
    if (IsPortOpen()) {
        // A start over a running session would lose the open port (and its lock file).
        StopSession();
    }
    m_divertKnown = 0;
    m_divertFlag = 0;
    m_simReady = 0;
    m_stopped = 1;
    m_port.handle = 0;

    int error = 0;
    if (!OpenModemPort(error)) {
        // The restart path may have opened the port before its set-up failed: close it, so
        // that the next start can open it again.
        if (IsPortOpen()) {
            m_ports.io->Close(m_port.handle);
        }
        m_port.handle = 0;
        m_port.mutex.reset();
        PostEvent(error != 0 ? DialerEvent::PortError : DialerEvent::CfCardError);
        m_stopped = 1;
        return 0;
    }

    m_simPinLock = -1;
    m_phoneLock = -1;
    int status = 0;
    if (UnlockSim(status, autoPin)) {
        m_phoneLock = QueryLockState(LockFacility::Phone);
        m_simPinLock = QueryLockState(LockFacility::SimPin);
        m_stopped = 0;
        m_simReady = 1;
        m_networkKnown = 0;
        m_inCall = 0;
        SetCallTable({});
        return 1;
    }
    switch (status) {
        case kStatusNoSim:
            PostEvent(DialerEvent::NoSim);
            break;
        case kStatusSimBlocked:
            PostEvent(DialerEvent::SimBlocked);
            break;
        case kStatusCanceled:
            PostEvent(DialerEvent::PinCanceled);
            break;
        case kStatusModemFault:
            m_simReady = 0;
            PostEvent(DialerEvent::CfCardError);
            break;
        default:
            break;
    }
    m_networkKnown = 0;
    m_inCall = 0;
    m_stopped = 0;
    SetCallTable({});
    return 0;
}

void CPhoneEngine::StopSession() {
    // Busy for the whole stop, including the wait for the port mutex, which pumps messages.
    BusyScope busy(*this);
    m_networkKnown = 0;
    m_inCall = 0;
    m_simReady = 0;
    // The view clears the modem's indicators when the session ends, so the next session sends
    // signal, GPRS, mailbox and roaming again, and runs their queries at once.
    m_poll.signal = 0;
    m_poll.gprs = 0;
    m_poll.mailboxFull = 0;
    m_poll.roaming = 0;
    m_poll.lastRunMs.fill(0);
    if (!IsPortOpen()) {
        m_port.handle = 0;
        m_port.mutex.reset();
        m_stopped = 1;
        m_divertKnown = 0;
        m_divertFlag = 0;
        return;
    }
    if (m_port.mutex) {
        const NamedMutex mutex = m_port.mutex;
        for (;;) {
            PumpMessages();
            if (mutex->try_lock_for(std::chrono::milliseconds(5000))) {
                mutex->unlock();
                break;
            }
            if (!IsPortOpen()) {
                break;
            }
        }
        m_port.mutex.reset();
    }
    if (IsPortOpen()) {
        m_ports.io->Close(m_port.handle);
    }
    m_port.handle = 0;
    m_stopped = 1;
    m_divertKnown = 0;
    m_divertFlag = 0;
}

int CPhoneEngine::OpenModemPort(int& error) {
    error = 0;
    if (!m_portName.empty()) {
        // A restart: give the modem time to settle, then reopen the port of the last session
        // and run the set-up commands here (the first session leaves them to the view).
        Pause(m_restartPauseMs);
        error = m_ports.io->Open(m_portName, m_port.handle);
        if (error != 0) {
            m_port.handle = 0;
            return 0;
        }
        CreatePortMutex();
        PostEvent(DialerEvent::Searching);
        return InitModem();
    }

    const std::vector<ModemEntry> modems = m_ports.modems->EnumerateModems(kMaxModemEntries);
    m_multiplexerModem = 0;
    std::u16string port;
    std::u16string name;
    for (const ModemEntry& entry : modems) {
        if (!Contains(entry.label, u"GPRS_Modem")) {
            continue;
        }
        std::u16string channelName;
        std::u16string channelPort;
        if (m_ports.modems->FindExtModem(u"MPLCMD", channelName, channelPort)) {
            port = channelPort;
            name = channelName;
        } else {
            port = entry.portName;
            name = entry.displayName;
        }
        m_multiplexerModem = 1;
    }
    if (m_multiplexerModem == 0) {
        ModemEntry chosen;
        if (m_ports.chooser == nullptr ||
            m_ports.chooser->ChooseModem(modems, chosen) == DialogResult::Cancel ||
            chosen.portName.empty()) {
            return 0;
        }
        port = chosen.portName;
        name = chosen.displayName;
    }
    error = m_ports.io->Open(port, m_port.handle);
    if (error != 0) {
        m_port.handle = 0;
        return 0;
    }
    CreatePortMutex();
    PostEvent(DialerEvent::Searching);
    m_portName = port;
    m_modemName = name;
    return 1;
}

int CPhoneEngine::InitModem() {
    if (!AcquirePort()) {
        return 0;
    }
    std::u16string response;
    // Echo first: several commands judge success by finding their echo in the answer, and a
    // modem left with echo off by another program would fail them all.
    bool ok = Exchange(u"ATE1\r", kCommandTimeoutMs, response, Dispatch::Yes) &&
              Exchange(u"AT+CLIP=1\r", kCommandTimeoutMs, response, Dispatch::Yes) &&
              Exchange(u"AT+CNMI=1,1,0,1\r", kCommandTimeoutMs, response, Dispatch::No);
    if (ok && IsErrorResult(ReadFinalResult(response).result)) {
        ok = Exchange(u"AT+CNMI=3,1\r", kCommandTimeoutMs, response, Dispatch::No);
        if (ok && IsErrorResult(ReadFinalResult(response).result)) {
            ok = Exchange(u"AT+CNMI=1,1,0,2\r", kCommandTimeoutMs, response, Dispatch::No);
        }
    }
    if (ok) {
        DispatchLoop(response, kCommandTimeoutMs);
        ok = Exchange(u"AT+CSSN=1,1\r", kCommandTimeoutMs, response, Dispatch::Yes) &&
             Exchange(u"AT+CCWA=1\r", kCommandTimeoutMs, response, Dispatch::Yes);
    }
    ReleasePort();
    return ok ? 1 : 0;
}

// ---------------------------------------------------------------- SIM access

DialogResult CPhoneEngine::AskCode(int promptId, std::u16string_view attempts,
                                   std::u16string& code) {
    code.clear();
    if (m_ports.pinDialog == nullptr) {
        return DialogResult::Cancel;
    }
    return m_ports.pinDialog->AskCode(Text(promptId), attempts, code);
}

int CPhoneEngine::UnlockSim(int& status, AutoPin autoPin) {
    if (!AcquirePort()) {
        return 0;
    }
    std::u16string response;
    std::u16string code;
    int result = 0;
    bool ready = false;
    bool phoneCode = false;
    bool storedPinRefused = false;
    int silent = 0;
    int unknown = 0;
    auto fail = [&](int why) {
        status = why;
        ReleasePort();
        return 0;
    };
    // An accepted code is one the modem answered, without an error. Silence is not taken as
    // acceptance; the next AT+CPIN? tells.
    auto accepted = [&]() {
        return !response.empty() && !IsErrorResult(ReadFinalResult(response).result);
    };

    for (;;) {
        if (!Exchange(u"AT+CPIN?\r", kCommandTimeoutMs, response, Dispatch::Yes)) {
            return fail(kStatusModemFault);
        }
        if (response.empty()) {
            if (++silent >= kMaxSilentPinAnswers) {
                return fail(kStatusModemFault);
            }
            continue;
        }
        silent = 0;
        const CpinState state = ParseCpinState(response);
        if (state == CpinState::Error) {
            return fail(kStatusNoSim);
        }
        if (state == CpinState::Ready) {
            ready = true;
            break;
        }
        // The phone code is asked after the loop.
        if (state == CpinState::PhoneCode) {
            phoneCode = true;
            break;
        }
        PinCounters counters;
        const bool haveCounters = QueryPinCounters(counters) == 1;
        if (state == CpinState::SimPin) {
            // The stored PIN is sent once; when the SIM refuses it the user is asked, instead
            // of spending the remaining attempts on a code known to be wrong.
            const bool useStored =
                autoPin == AutoPin::UseStoredPin && !m_storedPin.empty() && !storedPinRefused;
            if (useStored) {
                code = m_storedPin;
            } else {
                const std::u16string attempts =
                    haveCounters ? FormatInt(Text(kMsgAttempts), counters.pin) : u"";
                if (AskCode(kMsgEnterPin, attempts, code) == DialogResult::Cancel) {
                    return fail(kStatusCanceled);
                }
            }
            if (!IsValidCode(code, kMinPinLength, kMaxPinLength)) {
                // Not a PIN: nothing is sent, and the next AT+CPIN? asks again.
                Wipe(code);
                storedPinRefused = storedPinRefused || useStored;
                continue;
            }
            std::u16string entered = code;
            std::u16string command = u"AT+CPIN=\"" + code + u"\"\r";
            Wipe(code);
            if (!ExchangeSecret(command, response)) {
                Wipe(entered);
                return fail(kStatusModemFault);
            }
            if (accepted()) {
                SetStoredPin(entered);
                Wipe(entered);
                ready = true;
                break;
            }
            Wipe(entered);
            storedPinRefused = storedPinRefused || useStored;
        } else if (state == CpinState::SimPuk) {
            const std::u16string attempts =
                haveCounters ? FormatInt(Text(kMsgAttempts), counters.puk) : u"";
            std::u16string puk;
            if (AskCode(kMsgProvidePuk, attempts, puk) == DialogResult::Cancel) {
                return fail(kStatusCanceled);
            }
            std::u16string newPin;
            if (AskCode(kMsgEnterNewPin, u"", newPin) == DialogResult::Cancel) {
                Wipe(puk);
                return fail(kStatusCanceled);
            }
            if (!IsValidCode(puk, kPukLength, kPukLength) ||
                !IsValidCode(newPin, kMinPinLength, kMaxPinLength)) {
                Wipe(puk);
                Wipe(newPin);
                continue;
            }
            std::u16string command = u"AT+CPIN=\"" + puk + u"\",\"" + newPin + u"\"\r";
            Wipe(puk);
            if (!ExchangeSecret(command, response)) {
                Wipe(newPin);
                return fail(kStatusModemFault);
            }
            if (accepted()) {
                SetStoredPin(newPin);
                Wipe(newPin);
                ready = true;
                break;
            }
            Wipe(newPin);
        } else if (state == CpinState::Blocked) {
            return fail(kStatusSimBlocked);
        } else if (++unknown >= kMaxUnknownPinAnswers) {
            return fail(kStatusModemFault);
        }
    }

    if (phoneCode) {
        // The phone code cannot be skipped: Cancel shows the dialog again.
        for (;;) {
            if (m_ports.pinDialog == nullptr) {
                return fail(kStatusCanceled);
            }
            if (AskCode(kMsgEnterPhoneCode, u"", code) == DialogResult::Cancel) {
                PumpMessages();
                continue;
            }
            if (!IsValidCode(code, 1, kMaxPhoneCodeLength)) {
                Wipe(code);
                continue;
            }
            std::u16string command = u"AT+CPIN=\"" + code + u"\",\"" + code + u"\"\r";
            Wipe(code);
            if (!ExchangeSecret(command, response)) {
                return fail(kStatusModemFault);
            }
            if (accepted()) {
                result = 1;
                break;
            }
        }
    } else {
        result = ready ? 1 : 0;
    }
    ReleasePort();
    return result;
}

int CPhoneEngine::QueryPinCounters(PinCounters& counters) {
    if (!AcquirePort()) {
        return 0;
    }
    std::u16string response;
    const bool written = Exchange(u"AT+CPINC?\r", kCommandTimeoutMs, response, Dispatch::Yes);
    ReleasePort();
    if (!written) {
        return 0;
    }
    const auto parsed = ParseCpinc(response);
    if (!parsed) {
        return 0;
    }
    counters = *parsed;
    return 1;
}

int CPhoneEngine::QueryLockState(LockFacility facility) {
    if (!AcquirePort()) {
        return -1;
    }
    std::u16string response;
    const std::u16string_view command =
        facility == LockFacility::Phone ? u"AT+CLCK=\"ME\",2\r" : u"AT+CLCK=\"SC\",2\r";
    const bool written = Exchange(command, kLockQueryTimeoutMs, response, Dispatch::Yes);
    ReleasePort();
    return written ? ParseClckState(response) : -1;
}

// ---------------------------------------------------------------- status queries

std::optional<std::u16string> CPhoneEngine::StatusExchange(std::u16string_view command,
                                                           std::uint32_t timeoutMs) {
    if (!AcquirePort()) {
        return std::nullopt;
    }
    std::u16string response;
    // A write that fails (the device vanished) is as dead as a modem that does not answer.
    Exchange(command, timeoutMs, response, Dispatch::No);
    if (response.empty()) {
        m_simReady = 0;
        PostEvent(DialerEvent::CfCardError);
        ReleasePort();
        return std::nullopt;
    }
    DispatchLoop(response, timeoutMs);
    ReleasePort();
    return response;
}

int CPhoneEngine::CheckNetwork(std::u16string& name, int& status) {
    if (!IsPortOpen() || !AcquirePort()) {
        status = -1;
        return 0;
    }
    std::u16string response;
    // A network the user registered on by hand stays chosen: only the name format is set.
    Exchange(m_networkMode == NetworkMode::Manual ? u"AT+COPS=3,0\r" : u"AT+COPS=0,0\r",
             kCommandTimeoutMs, response, Dispatch::Yes);
    Exchange(u"AT+COPS?\r", kCommandTimeoutMs, response, Dispatch::No);
    if (response.empty()) {
        status = -1;
        ReleasePort();
        return 0;
    }
    DispatchLoop(response, kCommandTimeoutMs);
    auto parsed = ParseCopsName(response);
    if (!parsed) {
        ReleasePort();
        return 0;
    }
    name = std::move(*parsed);
    if (IsNumericOperatorName(name)) {
        // Some modems report the network code instead of a name; the MMS profiles know the
        // operator's name for it.
        if (const auto code = ReadInt(name); code && m_ports.profiles != nullptr) {
            if (auto profileName = m_ports.profiles->OperatorNameForCode(*code)) {
                name = std::move(*profileName);
            }
        }
    }
    ReleasePort();
    return 1;
}

std::int64_t CPhoneEngine::GetOperatorCode() {
    if (!AcquirePort()) {
        return -1;
    }
    std::u16string response;
    Exchange(u"AT+COPS=3,2\r", kCommandTimeoutMs, response, Dispatch::Yes);
    Exchange(u"AT+COPS?\r", kCommandTimeoutMs, response, Dispatch::Yes);
    ReleasePort();
    return ParseCopsNumeric(response);
}

int CPhoneEngine::GetsignalStrength() {
    const auto r = StatusExchange(u"AT+CSQ\r", kStatusTimeoutMs);
    return r ? ParseSignalBars(*r) : 0;
}

int CPhoneEngine::IsGPRSAttached() {
    const auto r = StatusExchange(u"AT+CGATT?\r", kStatusTimeoutMs);
    return r ? ParseGprsAttached(*r) : 0;
}

int CPhoneEngine::IsMailBoxFull() {
    const auto r = StatusExchange(u"AT+CPMS?\r", kStatusTimeoutMs);
    return r ? ParseMailboxFull(*r) : 0;
}

int CPhoneEngine::IsRoaming() {
    const auto r = StatusExchange(u"AT+CREG?\r", kStatusTimeoutMs);
    return r ? ParseRoaming(*r) : 0;
}

int CPhoneEngine::GetVolumeLevel() {
    const auto r = StatusExchange(u"AT+CLVL?\r", kStatusTimeoutMs);
    return r ? ParseVolumeLevel(*r) : 0;
}

int CPhoneEngine::GetDivertStatus(std::u16string& number) {
    if (m_divertKnown != 0) {
        number = m_divertNumber;
        return m_divertFlag;
    }
    // "AT+CCFC=%d,2,,,%d\r" with reason 0 (unconditional) and class 1 (voice).
    const auto r = StatusExchange(u"AT+CCFC=0,2,,,1\r", kForwardingTimeoutMs);
    if (!r) {
        return 0;
    }
    DivertAnswer divert = ParseCcfc(*r);
    m_divertFlag = divert.diverted ? 1 : 0;
    m_divertKnown = 1;
    m_divertNumber = divert.number;
    number = std::move(divert.number);
    return m_divertFlag;
}

int CPhoneEngine::GetBatteryLevel() {
    const PowerStatus status = m_ports.power->Read();
    m_batteryPresent = status.batteryPresent ? 1 : 0;
    return BatteryLevelFromStatus(status);
}

// ---------------------------------------------------------------- poll step and events

void CPhoneEngine::DrainPort() {
    if (!IsPortOpen() || !AcquirePort()) {
        return;
    }
    std::u16string response;
    m_ports.io->Read(m_port.handle, response, kDrainTimeoutMs);
    if (m_lateAnswerUntilMs != 0 && ReadFinalResult(response).result != FinalResult::None) {
        // The late answer of an ended long exchange came in with the drain.
        m_lateAnswerUntilMs = 0;
    }
    DispatchLoop(response, kDrainTimeoutMs);
    ReleasePort();
}

void CPhoneEngine::ProcessDialer() {
    if (m_stopped != 0 || Busy()) {
        return;
    }
    BusyScope busy(*this);
    if (ReportIfDeviceLost()) {
        return;
    }
    if (PollSuspended()) {
        DrainPort();
    } else if (m_networkKnown != 0) {
        DrainPort();
        if (m_inCall != 0) {
            QueryCallList(Dispatch::Yes);
        } else {
            const std::uint64_t now = NowMs();
            if (now - m_poll.lastOperatorCheckMs > kOperatorCheckMs) {
                m_poll.lastOperatorCheckMs = now;
                std::u16string name;
                int status = 0;
                if (CheckNetwork(name, status)) {
                    if (name != m_operatorName) {
                        m_operatorName = name;
                        m_displayText = name;
                        m_networkKnown = 1;
                        PostEvent(DialerEvent::Operator);
                    }
                } else if (status == -1) {
                    m_simReady = 0;
                    PostEvent(DialerEvent::CfCardError);
                } else {
                    m_networkKnown = 0;
                    m_operatorName.clear();
                    m_operatorExtra.clear();
                    PostEvent(DialerEvent::Searching);
                }
            }
            RunRotationQuery(m_poll.rotation);
            m_poll.rotation = (m_poll.rotation + 1) % 7;
        }
    } else {
        std::u16string name;
        int status = 0;
        if (CheckNetwork(name, status)) {
            m_poll.lastOperatorCheckMs = NowMs();
            m_operatorName = name;
            m_displayText = name;
            m_networkKnown = 1;
            PostEvent(DialerEvent::Operator);
        } else if (status == -1) {
            m_simReady = 0;
            PostEvent(DialerEvent::CfCardError);
        }
    }
    ReportIfDeviceLost();
}

bool CPhoneEngine::ReportIfDeviceLost() {
    if (m_stopped != 0 || !IsPortOpen() || !m_ports.io->DeviceLost(m_port.handle)) {
        return false;
    }
    m_simReady = 0;
    PostEvent(DialerEvent::CfCardError, kDeviceClosed);
    return true;
}

void CPhoneEngine::RunRotationQuery(int index) {
    const std::uint64_t now = NowMs();
    auto& last = m_poll.lastRunMs[static_cast<std::size_t>(index)];
    const std::uint64_t interval = kRotationIntervalMs[static_cast<std::size_t>(index)];
    // 0 means "never run"; the steady clock is far past it on any running machine.
    if (interval != 0 && last != 0 && now - last <= interval) {
        return;
    }
    last = now;
    auto sendChanged = [this](int& memory, int value, DialerEvent event) {
        if (value != memory) {
            memory = value;
            PostEvent(event, value);
        }
    };
    switch (index) {
        case 0:
            sendChanged(m_poll.signal, GetsignalStrength(), DialerEvent::Signal);
            break;
        case 1:
            sendChanged(m_poll.gprs, IsGPRSAttached(), DialerEvent::GprsAttach);
            break;
        case 2:
            sendChanged(m_poll.mailboxFull, IsMailBoxFull(), DialerEvent::MailboxFull);
            break;
        case 3:
            sendChanged(m_poll.roaming, IsRoaming(), DialerEvent::Roaming);
            break;
        case 4:
            sendChanged(m_poll.volume, GetVolumeLevel(), DialerEvent::Volume);
            break;
        case 5: {
            std::u16string number;
            if (GetDivertStatus(number)) {
                m_divertNumber = number;
                PostEvent(DialerEvent::Diverted);
            } else {
                PostEvent(DialerEvent::NotDiverted);
            }
            break;
        }
        case 6:
            sendChanged(m_poll.battery, GetBatteryLevel(), DialerEvent::Battery);
            break;
        default:
            break;
    }
}

bool CPhoneEngine::HandleUnsolicited(const std::u16string& response) {
    const std::uint64_t now = NowMs();
    if (ContainsRing(response)) {
        m_ring.lastRingMs = now;
        if (!m_ring.ringing) {
            m_displayText = ParseClipNumber(response);
            QueryCallList(Dispatch::No);
            m_ring.callCountAtFirstRing = CallCount();
            // Ringing is noted before the event goes out, so that a RING read by the view's
            // handler (answering, say) does not announce the same call twice.
            m_ring.ringing = true;
            PostEvent(DialerEvent::IncomingCall);
        }
        return true;
    }
    if (m_ring.ringing && now - m_ring.lastRingMs > kRingQuietMs) {
        QueryCallList(Dispatch::No);
        bool incoming = false;
        for (int i = 0; i < CallCount(); ++i) {
            incoming = incoming || m_calls[static_cast<std::size_t>(i)].state ==
                                       static_cast<std::int32_t>(CallState::Incoming);
        }
        if (!incoming) {
            m_ring.ringing = false;
            if (CallCount() < m_ring.callCountAtFirstRing || CallCount() == 0) {
                PostEvent(DialerEvent::CallMissed);
            } else {
                PostEvent(DialerEvent::CallConnected);
            }
        }
    }
    if (Contains(response, u"+CMTI")) {
        PostEvent(DialerEvent::NewSms, ParseCmtiIndex(response));
        return true;
    }
    if (Contains(response, u"+CSSU:")) {
        PostEvent(DialerEvent::SuppService, ParseCssuCode(response));
        return true;
    }
    if (Contains(response, u"\\r\\nNO CARRIER\\r\\n")) {
        PostEvent(DialerEvent::NoCarrier);
        return true;
    }
    if (Contains(response, u"\\r\\n+CCWA: \"")) {
        if (auto number = ParseCcwaNumber(response)) {
            m_displayText = std::move(*number);
            PostEvent(DialerEvent::CallWaiting);
        }
        return true;
    }
    if (Contains(response, u"+CDS:")) {
        HandleStatusReport(response);
        return true;
    }
    return false;
}

void CPhoneEngine::HandleStatusReport(std::u16string_view response) {
    DialerEventMessage message;
    message.event = DialerEvent::StatusReport;
    StatusReportRecord record;
    const std::u16string pdu = ExtractCdsPdu(response);
    if (!pdu.empty()) {
        const sms::SmsStatusReport report = sms::DecodeStatusReportPdu(WideToAnsi(pdu));
        record.number = report.number;
        record.serviceCentreTime = report.time;
        record.dischargeTime = report.discharge;
        record.status = static_cast<std::uint8_t>(report.status & 0xFF);
    }
    message.report = std::move(record);
    if (m_ports.sink != nullptr) {
        m_ports.sink->OnDialerEvent(message);
    }
}

void CPhoneEngine::NotifyTodayItem(std::int64_t wParam, std::int64_t lParam) {
    if (m_ports.messenger == nullptr || !m_ports.messenger->FindWindow(kTodayWindow)) {
        return;
    }
    // Posted: a Today host that is busy or hung must not hold up the phone.
    m_ports.messenger->PostWindowMessage(kTodayWindow, kWmTodayNewMessages, wParam, lParam);
}

// ---------------------------------------------------------------- call list

void CPhoneEngine::QueryCallList(Dispatch dispatch) {
    if (!AcquirePort()) {
        return;
    }
    std::u16string response;
    if (Exchange(u"AT+CLCC\r", kCommandTimeoutMs, response, dispatch)) {
        if (auto calls = ParseClcc(response)) {
            SetCallTable(std::move(*calls));
        }
    }
    ReleasePort();
}

bool CPhoneEngine::AllCallsHeld() const {
    if (CallCount() < 1) {
        return true;
    }
    for (int i = 0; i < CallCount(); ++i) {
        if (m_calls[static_cast<std::size_t>(i)].state !=
            static_cast<std::int32_t>(CallState::Held)) {
            return false;
        }
    }
    return true;
}

WaitingWatch CPhoneEngine::WatchWaitingCall(std::u16string& waitingNumber) {
    BusyScope busy(*this);
    bool taken = false;
    for (int i = 0; i < CallCount(); ++i) {
        const CallEntry& call = m_calls[static_cast<std::size_t>(i)];
        if (call.state == static_cast<std::int32_t>(CallState::Waiting)) {
            waitingNumber = call.number;
            return WaitingWatch::StillWaiting;
        }
        if ((call.state == static_cast<std::int32_t>(CallState::Active) ||
             call.state == static_cast<std::int32_t>(CallState::Held)) &&
            !waitingNumber.empty() && call.number == waitingNumber) {
            taken = true;
        }
    }
    WaitingWatch result = WaitingWatch::Taken;
    if (taken) {
        m_ring.ringing = false;
    } else {
        result = WaitingWatch::Gone;
        PostEvent(DialerEvent::CallMissed);
    }
    return result;
}

CPhoneEngine::BusyScope::BusyScope(CPhoneEngine& engine)
    : m_engine(engine), m_lock(engine.m_sessionLock) {
    ++m_engine.m_busyDepth;
}

CPhoneEngine::BusyScope::~BusyScope() {
    --m_engine.m_busyDepth;
}

void CPhoneEngine::SuspendPoll() {
    std::lock_guard lock(m_sessionLock);
    ++m_pollSuspensions;
}

void CPhoneEngine::ResumePoll() {
    std::lock_guard lock(m_sessionLock);
    if (m_pollSuspensions > 0) {
        --m_pollSuspensions;
    }
}

void CPhoneEngine::SetStoredPin(std::u16string_view pin) {
    WipeStoredPin();
    m_storedPin.assign(pin);
}

void CPhoneEngine::WipeStoredPin() {
    Wipe(m_storedPin);
}

void CPhoneEngine::ForgetLastModem() {
    m_portName.clear();
    m_modemName.clear();
}

bool DeadModemCounter::Feed(DialerEvent event, std::int64_t arg) {
    if (event != DialerEvent::CfCardError) {
        m_count = 0;
        return false;
    }
    if (++m_count >= kThreshold || arg == kDeviceClosed) {
        m_count = 0;
        return true;
    }
    return false;
}

}  // namespace qvl

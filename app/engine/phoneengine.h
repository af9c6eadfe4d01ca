// CPhoneEngine: the one object that owns the modem session of the main program.
//
// It opens the port, unlocks the SIM, runs the status queries and the 3-second poll step,
// turns unsolicited result codes into dialer events, and keeps the call table. Everything runs
// on the UI thread; every wait pumps messages, so a handler may start a nested exchange, which
// nests under the recursive session lock and the recursive port mutex. Lock order everywhere:
// the port mutex is only taken while the session lock is held or by a single exchange; the
// session start and stop take the session lock first and create or wait for the mutex inside.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/answers.h"
#include "app/engine/callentry.h"
#include "app/engine/events.h"
#include "app/engine/ports.h"

namespace qvl {

enum class AutoPin { AskUser = 0, UseStoredPin = 1 };
enum class LockFacility { SimPin = 0, Phone = 1 };  // "SC", "ME"
enum class Dispatch { No, Yes };
// How the modem chooses its network (GSM 07.07 AT+COPS mode 0 or 1).
enum class NetworkMode { Automatic, Manual };
// How a long exchange (ExchangeLong) ended.
enum class LongAnswer { Answered, TimedOut, Canceled, WriteFailed };

// Out-statuses of UnlockSim.
inline constexpr int kStatusModemFault = -1;
inline constexpr int kStatusCanceled = -2;
inline constexpr int kStatusSimBlocked = -3;
inline constexpr int kStatusNoSim = -4;

// Message ids of the main program's text table used by the engine.
inline constexpr int kMsgEnterPin = 5075;
inline constexpr int kMsgEnterNewPin = 5077;
inline constexpr int kMsgEnterPhoneCode = 5078;
inline constexpr int kMsgProvidePuk = 5101;
inline constexpr int kMsgAttempts = 5216;

// What WatchWaitingCall found.
enum class WaitingWatch {
    StillWaiting,  // a call still waits: keep the watch running
    Taken,         // the waiting call became active or held
    Gone,          // no call waits any more and it was not taken (DM_CALL_MISSED was sent)
};

namespace testing {
class EnginePeer;
}

class CPhoneEngine final : public IUnsolicitedHandler {
  public:
    explicit CPhoneEngine(EnginePorts ports);
    ~CPhoneEngine() override;
    CPhoneEngine(const CPhoneEngine&) = delete;
    CPhoneEngine& operator=(const CPhoneEngine&) = delete;

    // Session start-up and SIM access.
    int StartSession(AutoPin autoPin);
    void StopSession();
    int OpenModemPort(int& error);
    int InitModem();
    int UnlockSim(int& status, AutoPin autoPin);
    int QueryPinCounters(PinCounters& counters);
    int QueryLockState(LockFacility facility);

    // Status queries. Each acquires the port itself; the dead-modem detectors clear SIM-ready
    // and send DM_CF_CARD_ERROR on an empty answer.
    int CheckNetwork(std::u16string& name, int& status);
    std::int64_t GetOperatorCode();
    int GetsignalStrength();
    int IsGPRSAttached();
    int IsMailBoxFull();
    int IsRoaming();
    int GetVolumeLevel();
    int GetDivertStatus(std::u16string& number);
    int GetBatteryLevel();

    // The poll step (view timer 1) and the unsolicited result codes.
    void ProcessDialer();
    bool HandleUnsolicited(const std::u16string& response) override;
    // Sends WM_USER + 300 to the Today item; nothing when no item runs.
    void NotifyTodayItem(std::int64_t wParam, std::int64_t lParam);

    // Call list.
    void QueryCallList(Dispatch dispatch);
    bool AllCallsHeld() const;
    // One pass of the waiting-call watch (view timer 3, every 2000 ms). waitingNumber is the
    // watch's memory of the waiting caller, kept by the caller between passes.
    WaitingWatch WatchWaitingCall(std::u16string& waitingNumber);

    // The exchange of every command: empties response, writes command, reads with timeoutMs,
    // and with Dispatch::Yes hands the answer to HandleUnsolicited, reading again while it is
    // consumed. False when the write failed. The caller holds the port (AcquirePort).
    bool Exchange(std::u16string_view command, std::uint32_t timeoutMs, std::u16string& response,
                  Dispatch dispatch);
    // Writes a command that carries a PIN, PUK, phone or network code (never traced), wipes
    // it, reads with timeoutMs (untraced) and dispatches like Exchange. The caller holds the
    // port.
    bool ExchangeSecret(std::u16string& command, std::u16string& response,
                        std::uint32_t timeoutMs = kCommandTimeoutMs);
    // An exchange that may take minutes (a network search): reads until the answer's final
    // result code, until timeoutMs passed, or until canceled() (asked between reads, which
    // pump messages) says so. An answer that did not end is asked to abort; whatever it still
    // sends is drained before the next command, so it is never read as another command's
    // answer. The caller holds the port.
    LongAnswer ExchangeLong(std::u16string_view command, std::uint32_t timeoutMs,
                            std::u16string& response, const std::function<bool()>& canceled);
    // Reads more of the answer to the last command into response (appended), waiting at most
    // timeoutMs: for the answers that come in steps, as the "> " prompt of AT+CMGS before the
    // final result. Not dispatched. The caller holds the port. Nothing when the port is closed.
    void ReadMore(std::u16string& response, std::uint32_t timeoutMs);
    // Takes / releases the port mutex for a sequence of exchanges.
    bool AcquirePort();
    void ReleasePort();
    bool IsPortOpen() const { return qvl::IsPortOpen(m_port.handle); }
    void PumpMessages();
    // Sends one WM_DIALER_EVENT to the sink.
    void PostEvent(DialerEvent event, std::int64_t arg = 0);

    // The session lock: a recursive lock held by session start and stop, each poll step and
    // each foreground exchange, together with the busy flag.
    std::recursive_mutex& SessionLock() { return m_sessionLock; }

    // The session lock with the busy flag set, for the length of a scope: what every
    // foreground operation that talks to the modem holds, so that a poll step that arrives
    // while it pumps messages returns at once. Scopes nest (the flag is a depth): an inner
    // scope ending does not clear the busy flag of the operation it runs inside.
    class BusyScope {
      public:
        explicit BusyScope(CPhoneEngine& engine);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        CPhoneEngine& m_engine;
        std::lock_guard<std::recursive_mutex> m_lock;
    };

    // Poll suspension for settings dialogs and long transfers: while at least one is held,
    // the poll step only drains the port. Counted, so a dialog opened from another dialog
    // does not end the outer one's suspension when it closes; ResumePoll never goes below
    // none. The suspension belongs to the open dialogs, not to the session: a session restart
    // made from a dialog keeps it.
    void SuspendPoll();
    void ResumePoll();
    class PollSuspension {
      public:
        explicit PollSuspension(CPhoneEngine& engine) : m_engine(engine) { m_engine.SuspendPoll(); }
        ~PollSuspension() { m_engine.ResumePoll(); }
        PollSuspension(const PollSuspension&) = delete;
        PollSuspension& operator=(const PollSuspension&) = delete;

      private:
        CPhoneEngine& m_engine;
    };

    // Call-state changes made by the call commands: the user's call is connected (answered,
    // dialled, or taken while ringing) or has ended.
    void CallConnected() { m_inCall = 1; }
    void CallEnded() { m_inCall = 0; }

    // The stored PIN is what a restart with AutoPin::UseStoredPin sends; it is set when the
    // SIM accepts a code, or by whoever changes the PIN.
    void SetStoredPin(std::u16string_view pin);
    void WipeStoredPin();
    // The data call of an MMS send unlocks the SIM with it when the modem asks again.
    const std::u16string& StoredPin() const { return m_storedPin; }
    // Forgets the port and the modem of the last session, as at program start: the next
    // session chooses its modem again.
    void ForgetLastModem();

    // The network page, the call settings and the security page.
    // A network registered by hand stays chosen: while the mode is Manual, CheckNetwork only
    // sets the name format (AT+COPS=3,0) instead of returning the modem to automatic
    // selection (AT+COPS=0,0), until the user chooses Automatic again.
    void SetNetworkMode(NetworkMode mode) { m_networkMode = mode; }
    NetworkMode GetNetworkMode() const { return m_networkMode; }
    // The operator became known (operator name and display text, DM_OPERATOR) or was lost
    // (both emptied, DM_SEARCHING).
    void OperatorFound(const std::u16string& name);
    void OperatorLost();
    // A lock switched by AT+CLCK: 1 on, 0 off, -1 not known.
    void SetLockState(LockFacility facility, int state);
    // Forwarding changed: the next GetDivertStatus asks the network again.
    void ForgetDivertStatus();

    // Tests shorten the 5000 ms pause before a restart reopens the remembered port.
    void SetRestartPauseMs(std::uint32_t ms) { m_restartPauseMs = ms; }
    const EnginePorts& Ports() const { return m_ports; }
    // Counts the session starts of this engine (each StartSession, whatever its outcome), so
    // that what is kept per session (the phonebook caches) can tell a new session.
    std::uint64_t SessionStarts() const { return m_sessionStarts; }

    // --- Engine state, read by the views and the command code. ---
    // The session's port: handle 0 when there is no session, and the port mutex.
    const CModemPort& Port() const { return m_port; }
    // The caller's number (+CLIP, +CCWA) or the operator name, for the current event.
    const std::u16string& DisplayText() const { return m_displayText; }
    const std::u16string& OperatorName() const { return m_operatorName; }
    const std::u16string& DivertNumber() const { return m_divertNumber; }
    const std::u16string& PortName() const { return m_portName; }
    const std::u16string& ModemName() const { return m_modemName; }
    // The calls the modem reported last (AT+CLCC), in its order.
    const std::vector<CallEntry>& Calls() const { return m_calls; }
    int CallCount() const { return static_cast<int>(m_calls.size()); }
    bool InCall() const { return m_inCall != 0; }
    bool NetworkKnown() const { return m_networkKnown != 0; }
    bool SimReady() const { return m_simReady != 0; }
    bool Busy() const { return m_busyDepth != 0; }
    bool PollSuspended() const { return m_pollSuspensions != 0; }
    bool Stopped() const { return m_stopped != 0; }
    // Lock states read at session start: 1 on, 0 off, -1 not known.
    int SimPinLock() const { return m_simPinLock; }
    int PhoneLock() const { return m_phoneLock; }
    bool MultiplexerModem() const { return m_multiplexerModem != 0; }
    bool DivertKnown() const { return m_divertKnown != 0; }
    // False when the last battery reading found no battery at all (a desktop on mains).
    bool BatteryPresent() const { return m_batteryPresent != 0; }

  private:
    std::u16string Text(int id) const;
    std::uint64_t NowMs() const;
    void Pause(std::uint32_t ms);
    void ShowLiteral(std::u16string_view text);
    bool CreatePortMutex();
    void DrainPort();
    void SetCallTable(std::vector<CallEntry> calls);
    // Status-query frame: acquire, exchange, dead-modem check, dispatch. Nothing when the port
    // is not open or the modem is dead.
    std::optional<std::u16string> StatusExchange(std::u16string_view command,
                                                 std::uint32_t timeoutMs);
    void RunRotationQuery(int index);
    // A read found the device closed: DM_CF_CARD_ERROR with kDeviceClosed, once per step.
    bool ReportIfDeviceLost();
    // Reads what a command that did not end (ExchangeLong) still sends, before the next
    // command is written.
    void DrainLateAnswer();
    void DispatchLoop(std::u16string& response, std::uint32_t timeoutMs);
    DialogResult AskCode(int promptId, std::u16string_view attempts, std::u16string& code);
    void HandleStatusReport(std::u16string_view response);

    // Tests read and set the state directly (app/engine/testing/enginepeer.h).
    friend class testing::EnginePeer;

    CModemPort m_port{0, nullptr};  // handle 0: no session
    std::u16string m_displayText;
    std::u16string m_operatorName;
    std::u16string m_operatorExtra;
    std::vector<CallEntry> m_calls;
    int m_inCall = 0;
    int m_networkKnown = 0;
    int m_simReady = 0;
    int m_busyDepth = 0;        // open BusyScopes
    int m_pollSuspensions = 0;  // SuspendPoll calls not yet resumed
    int m_stopped = 1;
    int m_simPinLock = -1;
    int m_phoneLock = -1;
    std::u16string m_divertNumber;
    std::u16string m_portName;
    std::u16string m_modemName;
    std::u16string m_storedPin;
    int m_multiplexerModem = 0;
    int m_divertFlag = 0;
    int m_divertKnown = 0;
    int m_batteryPresent = 1;
    NetworkMode m_networkMode = NetworkMode::Automatic;
    // Until this time an answer of an ended long exchange may still arrive (0: none expected).
    std::uint64_t m_lateAnswerUntilMs = 0;
    std::uint64_t m_sessionStarts = 0;

    // Poll memory: rotation index, last value sent per query, last run per timed query.
    struct PollMemory {
        int rotation = 0;
        int signal = 0;
        int battery = 0;
        int volume = 0;
        int gprs = 0;
        int mailboxFull = 0;
        int roaming = 0;
        std::array<std::uint64_t, 7> lastRunMs{};
        std::uint64_t lastOperatorCheckMs = 0;
    } m_poll;

    // Ring memory.
    struct RingMemory {
        bool ringing = false;
        std::uint64_t lastRingMs = 0;
        int callCountAtFirstRing = 0;
    } m_ring;

    EnginePorts m_ports;
    std::unique_ptr<IModemIo> m_ownIo;
    std::unique_ptr<IModemDirectory> m_ownModems;
    std::unique_ptr<IPowerSupply> m_ownPower;
    std::unique_ptr<IOperatorProfiles> m_ownProfiles;
    std::recursive_mutex m_sessionLock;
    std::vector<NamedMutex> m_heldMutexes;  // one per AcquirePort not yet released
    std::uint32_t m_restartPauseMs = 5000;
};

// The view's count of dead-modem events: DM_CF_CARD_ERROR counts, any other event resets.
// Feed returns true at the sixth in a row (and starts counting anew), when the view stops the
// session and asks whether to restart.
// DM_CF_CARD_ERROR carries kDeviceClosed when the device itself has gone (the port reported a
// hang-up or an I/O error): no answer can come any more, so the modem counts as lost at once.
inline constexpr std::int64_t kDeviceClosed = 1;

class DeadModemCounter {
  public:
    static constexpr int kThreshold = 6;
    bool Feed(DialerEvent event, std::int64_t arg = 0);
    int Count() const { return m_count; }

  private:
    int m_count = 0;
};

}  // namespace qvl

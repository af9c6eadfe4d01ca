// A simulated GSM handset behind a pseudo-terminal. The program under test opens
// DevicePath() like any serial modem; the simulator answers on its own I/O thread. Every
// public call is thread-safe and may be made while the program talks to the modem.
//
//   qvl::sim::ModemSimulator modem;            // DefaultSeed(): PIN 1234, two networks
//   std::string path = modem.Start();          // "/dev/pts/7"
//   ... open path, send "AT+CPIN?\r" ...
//   modem.InjectSms(pdu, "SM");                // "+CMTI: \"SM\",1" when AT+CNMI asks for it
//   modem.WaitForCommand("AT+CMGR=1", 2000);
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/modemsim/modem_core.h"
#include "tools/modemsim/modem_state.h"

namespace qvl::sim {

class ModemSimulator : private CoreSink {
  public:
    explicit ModemSimulator(ModemSeed seed = DefaultSeed());
    ~ModemSimulator() override;
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // Opens the pseudo-terminal and starts the I/O thread. Returns the slave device path, or
    // empty (with LastError()) when no pseudo-terminal could be had. A second Start after
    // Stop or DropLine opens a new device with the handset state kept.
    std::string Start();
    void Stop();
    std::string DevicePath() const;
    std::string LastError() const;

    // The network and the far end.
    int InjectIncomingCall(const std::string& number);  // call id; 0 when refused
    bool InjectCallWaiting(const std::string& number);
    // Stores an SMS-DELIVER PDU (service-centre address first) in "SM" or "ME" (empty: the
    // receive memory of AT+CPMS) and raises +CMTI as AT+CNMI asks. Returns the index or -1.
    int InjectSms(const std::string& pduHex, const std::string& storage = "");
    bool InjectStatusReport(const std::string& pduHex);
    bool InjectSupplementary(int code);  // +CSSU, when AT+CSSN enabled it
    bool RemoteAnswer(int callId = 0);
    bool RemoteHangup(int callId = 0);
    bool RemoteBusy(int callId = 0);  // "BUSY" for a dialling or alerting call
    void SetSignal(int rssi);
    void SetBattery(int percent, bool charging = false);
    void SetRegistered(bool registered);
    void SetRoaming(bool roaming);
    void SetGprsAttached(bool attached);
    void SetSimPresent(bool present);
    // The cell of the current network, as +CREG/+CGREG mode 2 report it (hex codes).
    bool SetCell(const std::string& lac, const std::string& cell);
    // A network of the list refuses manual registration with +CME ERROR: code (0 accepts).
    bool SetOperatorRefusal(const std::string& numeric, int code);
    bool SetOperatorForbidden(const std::string& numeric, bool forbidden);
    void SetNetworkScanMs(int ms);          // duration of AT+COPS=?
    void SetListAccessTechnology(bool on);  // AT+COPS=? with or without AcT
    void SetCmee(int mode);                 // as if AT+CMEE=mode had been sent
    // Forwarding of reason for the classes of the mask: to number (active or not), or erased.
    bool SetForwarding(int reason, int classes, const std::string& number, bool active = true);

    // Faults and line behaviour.
    void SetFault(FaultKind kind, int count, int code = 0);  // the next count command lines
    void SetSilent(bool silent);                             // nothing at all is sent
    void SendGarbage(const std::string& bytes);
    // The next answer arrives in two pieces, pauseMs apart: the first at bytes long (0: half).
    void SplitNextAnswer(int pauseMs, std::size_t bytes = 0);
    void SetAnswerDelay(int ms);  // a slow handset
    void SetPacing(int baud);     // 10 bits a byte on the wire; 0 writes at once
    // The next count command lines starting with prefix get rawAnswer verbatim.
    void SetCannedAnswer(const std::string& prefix, const std::string& rawAnswer, int count = 1);
    // Hangs the line up: the program's reads and writes fail from now on.
    void DropLine();

    // Observation.
    std::vector<std::string> CommandLog() const;
    // Waits until a command line beginning with prefix (case-insensitive) is logged at or
    // after position from of the log; true when it came in time.
    bool WaitForCommand(const std::string& prefix, int timeoutMs, std::size_t from = 0) const;
    std::vector<Call> Calls() const;
    std::string Dtmf() const;
    std::vector<std::string> SentPdus() const;
    std::optional<StoredSms> Message(const std::string& storage, int index) const;
    ModemSeed State() const;
    LineMode Mode() const;
    int SelectionMode() const;             // AT+COPS mode: 0 automatic, 1 manual, 2 none
    std::string SelectedOperator() const;  // numeric code of the network registered on
    Charset CurrentCharset() const;
    int Functionality() const;  // AT+CFUN level

  private:
    using Clock = std::chrono::steady_clock;
    struct Segment {
        std::string bytes;
        Clock::time_point notBefore;
    };

    // CoreSink, called with m_mutex held.
    void Emit(std::string bytes, OutputKind kind) override;
    void Schedule(int ms, std::function<void()> fn) override;
    std::int64_t NowMs() override;

    void Run();
    void Wake();
    // Writes what may be written now; returns the time of the next attempt (or max()).
    Clock::time_point FlushLocked(Clock::time_point now, bool* wantWritable);
    void CloseLineLocked();
    void OnDeviceEvents();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logChanged;
    ModemCore m_core;
    std::thread m_thread;
    int m_master = -1;
    int m_slave = -1;
    int m_wake = -1;
    int m_watch = -1;   // inotify on the device: opens and closes by the program
    int m_openers = 0;  // the program's descriptors of the device
    bool m_stopping = false;
    std::string m_path;
    std::string m_error;
    std::deque<Segment> m_output;
    std::multimap<Clock::time_point, std::function<void()>> m_timers;
    int m_answerDelayMs = 0;
    int m_splitPauseMs = -1;
    std::size_t m_splitAt = 0;
    int m_baud = 0;
    Clock::time_point m_lineFreeAt{};
};

}  // namespace qvl::sim

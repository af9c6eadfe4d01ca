// The AT command interpreter of the simulated handset: it takes the bytes the program writes,
// echoes them, runs each command line against the handset state and produces the answers
// and unsolicited result codes a GSM 07.07 / 07.05 handset would send. It does no I/O and
// keeps no clock of its own: output and timers go through the Sink, so the pseudo-terminal
// side (modem_simulator.h) decides when bytes reach the line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/at_args.h"
#include "tools/modemsim/charset.h"
#include "tools/modemsim/modem_state.h"

namespace qvl::sim {

enum class OutputKind {
    Echo,         // the command echo, written at once
    Answer,       // the answer to a command line (subject to slow answers and splitting)
    Unsolicited,  // RING, +CMTI, ...
    Raw,          // bytes a test asked for (garbage)
};

class CoreSink {
  public:
    virtual ~CoreSink() = default;
    virtual void Emit(std::string bytes, OutputKind kind) = 0;
    // Runs fn after ms milliseconds on the interpreter's thread.
    virtual void Schedule(int ms, std::function<void()> fn) = 0;
    // Milliseconds of a steady clock.
    virtual std::int64_t NowMs() = 0;
};

// GSM 07.07 call states as +CLCC reports them.
enum class CallState { Active = 0, Held = 1, Dialing = 2, Alerting = 3, Incoming = 4, Waiting = 5 };
enum class CallDirection { Outgoing = 0, Incoming = 1 };

struct Call {
    int id = 0;
    CallDirection direction = CallDirection::Outgoing;
    CallState state = CallState::Dialing;
    bool multiparty = false;
    std::string number;
    int type = 129;
    std::uint64_t serial = 0;  // distinguishes calls that reuse an id (for timers)
};

enum class FaultKind {
    None,
    Error,     // "ERROR"
    CmeError,  // "+CME ERROR: n"
    CmsError,  // "+CMS ERROR: n"
    NoAnswer,  // echo only; the command is not run and nothing is answered
};

enum class LineMode { Command, SmsPrompt, Data };

class ModemCore {
  public:
    ModemCore(ModemSeed seed, CoreSink& sink);

    // Bytes written by the program.
    void OnInput(std::string_view bytes);

    // Scripting (the far end, the network, the tests).
    int InjectIncomingCall(const std::string& number);  // call id, or 0 when refused
    bool InjectCallWaiting(const std::string& number);
    int InjectSms(const std::string& pduHex, const std::string& storage);  // index, or -1
    bool InjectStatusReport(const std::string& pduHex);
    bool InjectSupplementary(int code);
    bool RemoteAnswer(int callId);  // 0: the first alerting or dialling call
    bool RemoteHangup(int callId);  // 0: every call (and a data call)
    bool RemoteBusy(int callId);    // an outgoing call meets a busy line; 0: the first one
    // The program closed the line for the last time, which drops DTR (a tty hangs up on its
    // last close): like a handset set to follow DTR (AT&D2), the modem ends a data call. Its
    // NO CARRIER goes to a line nobody reads, so the next program to open it finds none.
    void LineReleased();
    void SetSignal(int rssi) { m_state.signal = rssi; }
    void SetBattery(int percent, bool charging);
    void SetRegistered(bool registered);
    void SetRoaming(bool roaming);
    void SetGprsAttached(bool attached);
    void SetSimPresent(bool present);
    // The cell the handset is camped on (hex location area code and cell id); false when
    // either is not 1-8 hex digits.
    bool SetCell(const std::string& lac, const std::string& cell);
    // A network of the list refuses (code > 0) or accepts (0) manual registration; is listed
    // as forbidden or not. False for a numeric code that is not in the list.
    bool SetOperatorRefusal(const std::string& numeric, int code);
    bool SetOperatorForbidden(const std::string& numeric, bool forbidden);
    void SetNetworkScanMs(int ms) { m_state.behaviour.networkScanMs = ms < 0 ? 0 : ms; }
    void SetListAccessTechnology(bool on) { m_state.behaviour.copsAccessTechnology = on; }
    void SetCmee(int mode) { m_cmee = mode; }
    // Forwarding for a reason and each class of the mask: registered to number and active,
    // registered and inactive, or erased (empty number).
    bool SetForwarding(int reason, int classes, const std::string& number, bool active);
    // A command still in progress (a network search) is dropped with the input that waited
    // for it; the I/O side calls this when it stops.
    void CancelPending();
    void SetFault(FaultKind kind, int count, int code);
    void SetSilent(bool silent) { m_silent = silent; }
    void SetCannedAnswer(const std::string& commandPrefix, const std::string& rawAnswer, int count);

    // Observation.
    const std::vector<std::string>& CommandLog() const { return m_log; }
    const std::vector<Call>& Calls() const { return m_calls; }
    const std::string& Dtmf() const { return m_dtmf; }
    const std::vector<std::string>& SentPdus() const { return m_sentPdus; }
    const ModemSeed& State() const { return m_state; }
    LineMode Mode() const { return m_mode; }
    bool Echo() const { return m_echo; }
    bool Busy() const { return m_busy; }  // a command is in progress (network search)
    Charset CurrentCharset() const { return m_cscs; }
    int Functionality() const { return m_fun; }
    // AT+COPS mode (0 automatic, 1 manual, 2 deregistered) and the numeric code of the
    // network the handset registers on (empty when none).
    int SelectionMode() const { return m_copsMode; }
    std::string SelectedOperator() const;
    std::optional<StoredSms> Message(const std::string& storage, int index) const;

  private:
    struct Final {
        enum class Kind { Ok, Error, Cme, Cms, Text, None } kind = Kind::Ok;
        int code = 0;
        std::string text;
        static Final Ok() { return {}; }
        static Final Err() { return {Kind::Error, 0, {}}; }
        static Final Cme(int c) { return {Kind::Cme, c, {}}; }
        static Final Cms(int c) { return {Kind::Cms, c, {}}; }
        static Final Text(std::string t) { return {Kind::Text, 0, std::move(t)}; }
        static Final None() { return {Kind::None, 0, {}}; }
    };
    enum class Form { Exec, Set, Read, Test };
    // Information lines of one answer, framed as the handset frames them.
    class Reply {
      public:
        void Line(std::string_view text);
        void SeparateLine(std::string_view text);  // with a blank line before it
        void Raw(std::string_view text) { m_body.append(text); }
        const std::string& Body() const { return m_body; }
        void Clear() { m_body.clear(); }

      private:
        std::string m_body;
    };

    // Line assembly and dispatch (modem_core.cpp).
    void OnCommandByte(char c);
    void OnPromptByte(char c);
    void OnDataByte(char c);
    void RunLine(const std::string& line);
    Final RunBasic(std::string_view& rest, Reply& reply);
    Final RunExtended(const std::string& name, Form form, const AtArgs& args, Reply& reply);
    std::string FormatFinal(const Final& f) const;
    void EmitUnsolicited(const std::string& text);
    void FlushHeldUnsolicited();
    void ResetSettings();
    bool SimReady() const;
    Final SimError(bool sms) const;
    // Runs finish after ms milliseconds and sends its answer then; until that moment the
    // command is in progress: input waits (unechoed) and unsolicited codes are held.
    Final Defer(int ms, std::function<Final(Reply&)> finish);
    // Texts in and out of the AT+CSCS set; numbers too when the behaviour asks for it.
    std::string OutText(const std::string& utf8) const { return EncodeText(utf8, m_cscs); }
    std::optional<std::string> InText(const std::string& line) const {
        return DecodeText(line, m_cscs);
    }
    std::string OutNumber(const std::string& number) const;
    std::optional<std::string> InNumber(const std::string& line) const;

    // Session, identity, SIM codes and locks (core_security.cpp).
    Final CmdCpin(Form form, const AtArgs& args, Reply& reply);
    Final CmdCpinc(Form form, Reply& reply);
    Final CmdCpinr(Form form, Reply& reply);
    Final CmdClck(Form form, const AtArgs& args, Reply& reply);
    Final CmdCpwd(Form form, const AtArgs& args, Reply& reply);
    bool CheckPin(const std::string& code);
    bool CheckPin2(const std::string& code);

    // Network, status and services (core_network.cpp).
    Final CmdCops(Form form, const AtArgs& args, Reply& reply);
    // AT+CREG and AT+CGREG: the mode to read and set, and the status to report.
    Final RegistrationCommand(const char* name, int& mode, int stat, Form form, const AtArgs& args,
                              Reply& reply);
    Final CmdCcfc(Form form, const AtArgs& args, Reply& reply);
    Final CmdCcwa(Form form, const AtArgs& args, Reply& reply);
    Final CmdCgdcont(Form form, const AtArgs& args, Reply& reply);
    Final CmdSimple(const std::string& name, Form form, const AtArgs& args, Reply& reply,
                    bool* handled);
    Final CmdCfun(Form form, const AtArgs& args, Reply& reply);
    Final CmdCclk(Form form, const AtArgs& args, Reply& reply);
    Final CmdCscs(Form form, const AtArgs& args, Reply& reply);
    std::string OperatorText(const Operator& op, int format) const;
    std::string NetworkList() const;
    // GSM 07.07 <stat>: 0 not registered, 1 home, 2 searching, 5 roaming.
    int RegistrationStatus() const;
    int GprsStatus() const;
    bool Registered() const;
    // ,"lac","ci" of the current cell.
    std::string Location() const;
    // Sends +CREG / +CGREG when the registration (or, in mode 2, the cell) changed since
    // the last call, as AT+CREG and AT+CGREG ask for.
    void NotifyRegistration();
    void SetFunctionality(int fun);
    void PowerCycle();

    // Messages (core_sms.cpp).
    Final CmdCpms(Form form, const AtArgs& args, Reply& reply);
    Final CmdCmgr(Form form, const AtArgs& args, Reply& reply);
    Final CmdCmgl(Form form, const AtArgs& args, Reply& reply);
    Final CmdCmgd(Form form, const AtArgs& args);
    Final CmdCmgsw(bool write, Form form, const AtArgs& args);
    Final CmdCnmi(Form form, const AtArgs& args, Reply& reply);
    Final CmdCsca(Form form, const AtArgs& args, Reply& reply);
    void FinishPrompt(bool cancel);
    void ScheduleStatusReport(const std::string& submitPdu, int reference);
    SmsMemory* Memory(const std::string& name);
    const SmsMemory* Memory(const std::string& name) const;
    std::string CpmsCounts() const;

    // Calls (core_calls.cpp).
    Final CmdDial(std::string_view dial);
    Final CmdAnswer();
    Final CmdHangup();
    Final CmdChld(Form form, const AtArgs& args, Reply& reply);
    Final CmdClcc(Form form, Reply& reply);
    Final CmdVts(Form form, const AtArgs& args);
    Call* FindCall(int id);
    int FreeCallId() const;
    void RemoveCall(int id);
    void RingTick(std::uint64_t serial);
    void SendRing(const Call& call);
    void LogCall(const std::string& book, const std::string& number);
    std::string NameOf(const std::string& number) const;
    void EndDataCall(bool noCarrier);

    // Phonebooks (core_phonebook.cpp).
    Final CmdCpbs(Form form, const AtArgs& args, Reply& reply);
    Final CmdCpbr(Form form, const AtArgs& args, Reply& reply);
    Final CmdCpbw(Form form, const AtArgs& args);
    Phonebook* CurrentBook();

    CoreSink& m_sink;
    ModemSeed m_state;

    // Settings that ATZ resets.
    bool m_echo = true;
    int m_cmee = 0;
    bool m_clip = false;
    bool m_crc = false;
    int m_cssnI = 0, m_cssnU = 0;
    int m_ccwaPresentation = 0;
    int m_cregMode = 0;
    int m_copsFormat = 0;
    int m_cnmi[5] = {0, 0, 0, 0, 0};
    int m_cmgf = 0;
    int m_cgsms = 3;
    bool m_muted = false;
    Charset m_cscs = Charset::Gsm;
    int m_cgregMode = 0;

    // SIM state.
    bool m_pinVerified = false;
    bool m_phoneCodeVerified = false;
    std::map<std::string, int> m_barring;  // facility -> active class mask
    int m_waitingClasses = 0;

    // Network and power.
    int m_copsMode = 0;
    int m_currentOperator = 0;            // index into operators, -1 none
    int m_fun = 1;                        // AT+CFUN: 1 full, 0 and 4 radio off
    int m_sentCreg = 0, m_sentCgreg = 0;  // last state NotifyRegistration saw
    std::string m_sentCregCell, m_sentCgregCell;

    // Clock: AT+CCLK's time as an offset to the system clock, and its zone in quarter hours.
    long long m_clockOffset = 0;
    int m_clockQuarters = 0;

    // A command line being run, and a command in progress after it (Defer).
    bool m_running = false;
    bool m_busy = false;
    std::uint64_t m_deferSerial = 0;
    std::string m_heldInput;

    // Messages.
    std::string m_mem[3] = {"SM", "SM", "SM"};
    int m_nextReference = 0;
    std::string m_promptPdu;
    bool m_promptWrite = false;
    int m_promptLength = 0;
    int m_promptStatus = 2;

    // Phonebooks.
    std::string m_book = "SM";

    // Calls.
    std::vector<Call> m_calls;
    std::uint64_t m_callSerial = 0;
    std::string m_dtmf;
    bool m_dataCall = false;
    int m_plusCount = 0;
    std::uint64_t m_dataBytes = 0;
    std::uint64_t m_escapeSerial = 0;
    std::int64_t m_lastDataMs = 0;

    // Line state.
    LineMode m_mode = LineMode::Command;
    std::string m_line;
    bool m_lineOverflow = false;
    std::vector<std::string> m_heldUnsolicited;
    std::vector<std::string> m_log;
    std::vector<std::string> m_sentPdus;

    // Test faults.
    bool m_silent = false;
    FaultKind m_fault = FaultKind::None;
    int m_faultCount = 0;
    int m_faultCode = 0;
    struct Canned {
        std::string prefix;
        std::string answer;
        int count = 0;
    };
    std::vector<Canned> m_canned;
};

// Type of address of a dialling number: 145 international ("+"), else 129.
int NumberType(const std::string& number);
// The number as a handset shows it for a given type: "+" in front of international numbers.
std::string NumberForType(const std::string& number, int type);

}  // namespace qvl::sim

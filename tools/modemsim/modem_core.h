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
    void SetSignal(int rssi) { m_state.signal = rssi; }
    void SetBattery(int percent, bool charging);
    void SetRegistered(bool registered);
    void SetRoaming(bool roaming);
    void SetGprsAttached(bool attached) { m_state.gprsAttached = attached; }
    void SetSimPresent(bool present);
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
    Final CmdCreg(Form form, const AtArgs& args, Reply& reply);
    Final CmdCcfc(Form form, const AtArgs& args, Reply& reply);
    Final CmdCcwa(Form form, const AtArgs& args, Reply& reply);
    Final CmdCgdcont(Form form, const AtArgs& args, Reply& reply);
    Final CmdSimple(const std::string& name, Form form, const AtArgs& args, Reply& reply,
                    bool* handled);
    std::string OperatorText(const Operator& op, int format) const;
    int RegistrationStatus() const;
    void NotifyRegistration();

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
    std::string m_cscs = "IRA";

    // SIM state.
    bool m_pinVerified = false;
    bool m_phoneCodeVerified = false;
    std::map<std::string, int> m_barring;                    // facility -> active class mask
    std::map<int, std::map<int, ForwardRule>> m_forwarding;  // reason -> class -> rule
    int m_waitingClasses = 0;

    // Network.
    int m_copsMode = 0;
    int m_currentOperator = 0;  // index into operators, -1 none

    // Messages.
    std::string m_mem[3] = {"SM", "SM", "SM"};
    int m_nextReference = 0;
    int m_reportIndex = 0;
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

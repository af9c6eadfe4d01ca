// The events the phone engine reports to the dialer view (WM_DIALER_EVENT), and the record
// that travels with a message status report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvl {

// WM_APP + 1 on the handheld; kept so that logs and the view speak of the same message.
inline constexpr unsigned kWmDialerEvent = 0x8000 + 1;
// WM_USER + 300: the new-message count sent to the Today item.
inline constexpr unsigned kWmTodayNewMessages = 0x0400 + 300;

// The event codes, wParam of WM_DIALER_EVENT. The numbers are part of the protocol.
enum class DialerEvent : int {
    CfCardError = 0,     // dead modem, or no port chosen
    Searching = 1,       // port opened; network lost
    Operator = 2,        // operator name obtained or changed (display text)
    IncomingCall = 3,    // first RING of a call (display text: caller)
    CallMissed = 4,      // ringing ended with no call left
    PinCanceled = 5,     // PIN or PUK entry canceled
    SimBlocked = 6,      // SIM reports BLOCKED
    Signal = 7,          // arg: bars 0..4
    Battery = 8,         // arg: level 1..5
    NewSms = 9,          // arg: storage index (-1 when the indication carried none)
    GprsAttach = 10,     // arg: 0/1
    MailboxFull = 11,    // arg: 0/1
    Roaming = 12,        // arg: 0/1
    Volume = 13,         // arg: level 0..5
    SuppService = 14,    // arg: +CSSU code (-1 when unreadable)
    NoCarrier = 15,      // the modem reported NO CARRIER
    CallWaiting = 16,    // display text: the waiting caller
    NoSim = 17,          // "ERROR" to AT+CPIN?
    Diverted = 18,       // divert number in the engine
    NotDiverted = 19,    //
    CallConnected = 20,  // ringing ended with the call still up
    StatusReport = 21,   // record: the decoded +CDS status report
    PortError = 22,      // the port could not be opened (system error)
};
inline constexpr int kDialerEventCount = 23;

const char* DialerEventName(DialerEvent event);

// A decoded SMS status report (GSM 03.40 SMS-STATUS-REPORT): recipient, service-centre time
// stamp, discharge time, and TP-Status.
struct StatusReportRecord {
    std::u16string number;
    std::u16string serviceCentreTime;
    std::u16string dischargeTime;
    std::uint8_t status = 0;

    bool operator==(const StatusReportRecord&) const = default;
};

// One WM_DIALER_EVENT. The message owns its status-report record, so a sink that wants to keep
// it (for a message box shown later) copies or moves it; nothing dangles after the call.
struct DialerEventMessage {
    DialerEvent event = DialerEvent::CfCardError;
    std::int64_t arg = 0;
    std::optional<StatusReportRecord> report;
};

// The dialer view's side of WM_DIALER_EVENT: called synchronously, in order, on the UI thread.
// A handler may start new modem exchanges; they nest under the engine's recursive locks.
class IDialerEventSink {
  public:
    virtual ~IDialerEventSink() = default;
    virtual void OnDialerEvent(const DialerEventMessage& message) = 0;
};

}  // namespace qvl

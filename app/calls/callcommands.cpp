#include "app/calls/callcommands.h"

#include <algorithm>
#include <mutex>

#include "base/checks.h"
#include "base/finalresult.h"
#include "base/text.h"
#include "platform/sync.h"

namespace qvl {

namespace {

std::u16string Utf8ToWideAscii(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string Decimal(int value) {
    return Utf8ToWideAscii(std::to_string(value));
}

// The port mutex for a sequence of exchanges; taken before the session lock.
class PortHold {
  public:
    explicit PortHold(CPhoneEngine& engine) : m_engine(engine), m_held(engine.AcquirePort()) {}
    ~PortHold() {
        if (m_held) {
            m_engine.ReleasePort();
        }
    }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;
    bool Held() const { return m_held; }

  private:
    CPhoneEngine& m_engine;
    bool m_held;
};

}  // namespace

int VolumeTableValue(int level) {
    static constexpr int kTable[] = {0, 25, 75, 125, 180, 225};
    return level >= 0 && level <= 5 ? kTable[level] : 0;
}

std::u16string FormatCallDuration(std::uint64_t elapsedMs) {
    const std::uint64_t s = elapsedMs / 1000;
    const auto two = [](std::uint64_t v) {
        std::string t = std::to_string(v);
        return Utf8ToWideAscii(t.size() < 2 ? "0" + t : t);
    };
    return two(s / 3600) + u":" + two((s / 60) % 60) + u":" + two(s % 60);
}

std::u16string CallBubbleHtml(const std::u16string& caller,
                              const std::function<std::u16string(int)>& text) {
    // A caller's name is text, never markup of the bubble.
    return u"<html><body><form method=\"POST\" action=><p>" + text(5118) + EscapeMarkup(caller) +
           u" ?</p><p align=right><input type=button name='cmd:9898' value='" + text(5119) +
           u"'>&nbsp;<input type=button name='cmd:8989' value='" + text(5120) +
           u"'></p></body></html>";
}

CallCommands::CallCommands(CPhoneEngine& engine, ICallView& view, UiPorts ui,
                           std::function<std::u16string(int)> text, IClock* clock)
    : m_engine(engine), m_view(view), m_ui(ui), m_text(std::move(text)), m_clock(clock) {}

std::uint64_t CallCommands::Now() const {
    return m_clock != nullptr ? m_clock->NowMs() : SystemClock().NowMs();
}

void CallCommands::Message(int id) {
    if (m_ui.messages != nullptr) {
        m_ui.messages->ShowMessage(T(id), u"QVL SMS/Phone", MsgButtons::Ok, MsgIcon::Information);
    }
}

void CallCommands::StartTimer() {
    m_callStartMs = Now();
    m_view.SetTimerLine(FormatCallDuration(0));
    m_view.StartCallTimer();
}

void CallCommands::CallButton() {
    if (m_waiting) {
        Message(5014);
        return;
    }
    if (m_ringing) {
        m_ringing = false;
        m_view.StopRing();
        m_view.RemoveCallBubble();
        {
            PortHold port(m_engine);
            CPhoneEngine::BusyScope busy(m_engine);
            std::u16string response;
            // The answer's result is not examined: the call list refresh corrects the state.
            m_engine.Exchange(u"ATA\r", 3000, response, Dispatch::Yes);
        }
        m_engine.CallConnected();
        m_view.ShowCallOptionsButton(true);
        m_view.SetCallStateLine(u"");
        m_view.Redraw();
        StartTimer();
        return;
    }
    if (!m_engine.InCall()) {
        Dial();
        m_view.Redraw();
        // The call timer starts when the far end answers (OnCallTableRefreshed), so that the
        // time spent ringing is not counted.
        m_awaitingAnswer = m_engine.InCall();
        return;
    }
    if (m_engine.AllCallsHeld()) {
        Dial();
        m_view.Redraw();
    } else {
        Message(5015);
    }
}

void CallCommands::Dial() {
    const std::u16string number = m_view.NumberText();
    m_missedShown = false;
    if (m_engine.Stopped()) {
        m_view.SetCallLine(u"<-" + number);
        m_view.SetCallStateLine(T(5115));
        m_view.Redraw();
        return;
    }
    PortHold port(m_engine);
    if (!port.Held()) {
        return;
    }
    CPhoneEngine::BusyScope busy(m_engine);
    if (number.empty()) {
        m_view.Redraw();
        return;
    }
    if (number[0] == u'*' || number[0] == u'#') {
        Message(5037);
        m_view.Redraw();
        return;
    }
    if (!IsDialableNumber(number)) {
        RefuseNumber(number);
        return;
    }
    if (m_ui.progress != nullptr) {
        m_ui.progress->Create(0, 100, -1, false);
        m_ui.progress->SetText(T(5204), -1);
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::u16string response;
        if (!m_engine.Exchange(u"ATD" + number + u";\r", 10000, response, Dispatch::Yes)) {
            m_view.SetCallStateLine(T(5115));
            continue;
        }
        const FinalResult result = ReadFinalResult(response).result;
        if (result == FinalResult::NoDialtone || result == FinalResult::Busy) {
            m_view.SetCallStateLine(T(5114));
        } else if (IsErrorResult(result) || result == FinalResult::NoAnswer) {
            m_view.SetCallStateLine(T(5115));
        } else if (result == FinalResult::NoCarrier) {
            m_view.SetCallStateLine(T(5116));
        } else if (!response.empty()) {
            m_view.SetCallStateLine(T(5096));
            m_engine.CallConnected();
            m_view.ShowCallOptionsButton(true);
            break;
        }
    }
    m_view.SetCallLine(u"<-" + number);
    if (m_ui.progress != nullptr) {
        m_ui.progress->Close();
    }
    m_view.Redraw();
}

void CallCommands::DialNumber(const std::u16string& number) {
    // A number handed over by another part of the program (contacts, voice mail, the suite's
    // dial request) is refused before it takes the number field, so that it cannot answer a
    // ringing call in its place either.
    if (!number.empty() && !IsDialableNumber(number)) {
        RefuseNumber(number);
        return;
    }
    m_view.SetNumberText(number);
    CallButton();
}

void CallCommands::RefuseNumber(const std::u16string& number) {
    // Shown as a failed dial; the call line keeps only what can be shown on one line.
    std::u16string shown;
    for (const char16_t c : number) {
        shown.push_back(c < 0x20 ? u' ' : c);
    }
    m_view.SetCallLine(u"<-" + shown);
    m_view.SetCallStateLine(T(5115));
    m_view.Redraw();
}

void CallCommands::HangUpButton() {
    if (m_waiting) {
        Message(5013);
        return;
    }
    if (!m_engine.InCall() && !m_ringing) {
        m_view.SetNumberText(u"");
        if (m_missedShown) {
            // The hang-up key also puts a missed call away.
            m_missedShown = false;
            m_view.SetCallLine(u"");
            m_view.SetCallStateLine(u"");
        }
        return;
    }
    const bool rejecting = m_ringing && !m_engine.InCall();
    if (m_ringing) {
        m_ringing = false;
        m_view.StopRing();
        m_view.RemoveCallBubble();
    }
    if (m_engine.InCall()) {
        {
            CPhoneEngine::BusyScope busy(m_engine);
            m_engine.QueryCallList(Dispatch::Yes);
        }
        if (m_engine.CallCount() >= 2) {
            Message(5036);
            return;
        }
        if (m_engine.CallCount() == 1 && m_engine.Calls()[0].state == int(CallState::Active)) {
            RunCallCommand(u"AT+CHLD=1" + Decimal(m_engine.Calls()[0].index) + u"\r");
            m_engine.CallEnded();
            m_view.ShowCallOptionsButton(false);
            return;
        }
    }
    PortHold port(m_engine);
    CPhoneEngine::BusyScope busy(m_engine);
    std::u16string response;
    m_engine.Exchange(u"ATH\r", 3000, response, Dispatch::Yes);
    m_engine.QueryCallList(Dispatch::Yes);
    RebuildCallList();
    m_engine.CallEnded();
    m_view.ShowCallOptionsButton(false);
    if (rejecting) {
        // A rejected call is over at once: its texts go now, not when the ringing times out.
        m_view.SetCallLine(u"");
        m_view.SetCallStateLine(u"");
        m_view.Redraw();
    }
}

void CallCommands::RunCallCommand(const std::u16string& command) {
    PortHold port(m_engine);
    CPhoneEngine::BusyScope busy(m_engine);
    if (m_ui.progress != nullptr) {
        m_ui.progress->Create(0, 100, -1, false);
        m_ui.progress->SetText(T(5203), -1);
    }
    std::u16string response;
    m_engine.Exchange(command, 3000, response, Dispatch::Yes);
    if (m_ui.progress != nullptr) {
        m_ui.progress->Close();
    }
    if (!AnsweredOk(response)) {
        Message(5019);
        return;
    }
    m_engine.QueryCallList(Dispatch::Yes);
    RebuildCallList();
}

CallOptionStates CallOptionsFor(const std::vector<CallEntry>& calls) {
    bool active = false;
    bool held = false;
    bool waiting = false;
    int activeMembers = 0;
    for (const CallEntry& call : calls) {
        active = active || call.state == int(CallState::Active);
        held = held || call.state == int(CallState::Held);
        waiting = waiting || call.state == int(CallState::Waiting);
        activeMembers += call.state == int(CallState::Active) && call.multiparty != 0 ? 1 : 0;
    }
    CallOptionStates s;
    // AT+CHLD=2 holds the active calls and takes the held or waiting one: it holds only when
    // there is nothing to take, and retrieves only when nothing is active or waiting.
    s.hold = active && !held && !waiting;
    s.retrieve = held && !active && !waiting;
    s.swap = (active && held) || waiting;
    s.answers = waiting;
    s.privateCall = activeMembers >= 2;
    s.release = !calls.empty();
    s.conference = active && held;
    return s;
}

bool CallCommands::CallOptionCommand(int commandId, int selectedIndex) {
    if ((commandId == 1072 || commandId == 1073) && selectedIndex < 0) {
        if (m_engine.CallCount() != 1) {
            return false;
        }
        selectedIndex = m_engine.Calls()[0].index;
    }
    switch (commandId) {
        case 1069:
        case 1070:
        case 1071:
            RunCallCommand(u"AT+CHLD=2\r");
            return true;
        case 1072:
            RunCallCommand(u"AT+CHLD=2" + Decimal(selectedIndex) + u"\r");
            return true;
        case 1073:
            RunCallCommand(u"AT+CHLD=1" + Decimal(selectedIndex) + u"\r");
            return true;
        case 1074:
            RunCallCommand(u"AT+CHLD=3\r");
            return true;
        default:
            return true;
    }
}

void CallCommands::RebuildCallList() {
    CPhoneEngine::BusyScope busy(m_engine);
    m_engine.QueryCallList(Dispatch::Yes);
    const int count = std::min<int>(m_engine.CallCount(), int(m_engine.Calls().size()));
    m_view.FillCallList(
        std::vector<CallEntry>(m_engine.Calls().begin(), m_engine.Calls().begin() + count));
    if (count != 0) {
        OnCallTableRefreshed();
    } else {
        // The operator name in the top line stays: only the call texts end with the call.
        m_awaitingAnswer = false;
        m_engine.CallEnded();
        m_view.ShowKeypad();
        m_view.ShowCallOptionsButton(false);
        m_view.Redraw();
        EndOfCall();
    }
}

void CallCommands::EndOfCall() {
    m_view.StopCallTimer();
    // The final duration replaces the call state text only when a call was timed, so that a
    // "Missed..." or failure text stays until the texts are cleared.
    if (!m_view.TimerLine().empty()) {
        m_view.SetCallStateLine(m_view.TimerLine());
        m_view.SetTimerLine(u"");
    }
    m_view.Redraw();
    // A missed call stays on the display until the next call or the hang-up key.
    if (!m_missedShown) {
        m_view.StartClearTimer();
    }
}

void CallCommands::OnCallTableRefreshed() {
    if (!m_awaitingAnswer) {
        return;
    }
    for (const CallEntry& call : m_engine.Calls()) {
        if (call.direction == 0 &&
            (call.state == int(CallState::Active) || call.state == int(CallState::Held))) {
            m_awaitingAnswer = false;
            m_view.SetCallStateLine(u"");
            StartTimer();
            m_view.Redraw();
            return;
        }
    }
}

void CallCommands::OnCallTimerTick() {
    m_view.SetTimerLine(FormatCallDuration(Now() - m_callStartMs));
}

void CallCommands::OnClearTimer() {
    m_view.SetCallLine(u"");
    m_view.SetCallStateLine(u"");
}

void CallCommands::KeypadKey(char16_t key) {
    const std::u16string typed(1, key);
    if (m_engine.InCall() && !m_engine.AllCallsHeld()) {
        PortHold port(m_engine);
        CPhoneEngine::BusyScope busy(m_engine);
        std::u16string response;
        m_engine.Exchange(u"AT+VTS=" + typed + u"\r", 3000, response, Dispatch::Yes);
        if (AnsweredOk(response)) {
            m_view.SetNumberText(m_view.NumberText() + typed);
        }
        return;
    }
    m_view.SetNumberText(m_view.NumberText() + typed);
}

void CallCommands::Backspace() {
    std::u16string text = m_view.NumberText();
    if (!text.empty()) {
        text.pop_back();
        m_view.SetNumberText(text);
    }
}

bool CallCommands::SetVolumeLevel(int level) {
    std::u16string response;
    {
        PortHold port(m_engine);
        if (!port.Held()) {
            return false;
        }
        CPhoneEngine::BusyScope busy(m_engine);
        m_engine.Exchange(u"AT+CLVL=" + Decimal(VolumeTableValue(level)) + u"\r", 20000, response,
                          Dispatch::Yes);
    }
    return AnsweredOk(response);
}

void CallCommands::VolumeUp() {
    if (m_volume < 5 && SetVolumeLevel(m_volume + 1)) {
        ++m_volume;
    }
}

void CallCommands::VolumeDown() {
    if (m_volume > 0 && SetVolumeLevel(m_volume - 1)) {
        --m_volume;
    }
}

void CallCommands::OnWaitingWatchTick() {
    const WaitingWatch result = m_engine.WatchWaitingCall(m_waitingNumber);
    switch (result) {
        case WaitingWatch::StillWaiting:
            return;
        case WaitingWatch::Taken:
            m_view.StopWaitingWatch();
            m_waiting = false;
            m_ringing = false;
            m_view.StopRing();
            m_view.SetCallStateLine(u"");
            m_view.Redraw();
            return;
        case WaitingWatch::Gone:
            m_view.StopWaitingWatch();
            m_waiting = false;
            // The engine has reported the missed call, which the event reaction showed already
            // while the ringing flag was still set.
            if (m_ringing) {
                OnCallEvent({DialerEvent::CallMissed, 0, {}});
            }
            return;
    }
}

bool CallCommands::OnCallEvent(const DialerEventMessage& message) {
    switch (message.event) {
        case DialerEvent::IncomingCall: {
            m_view.StopClearTimer();
            m_missedShown = false;
            const std::u16string& number = m_engine.DisplayText();
            std::u16string shown;
            if (!number.empty()) {
                m_lastCaller = number;
                const std::u16string name = m_view.LookupCallerName(number);
                shown = name.empty() ? number : name;
            } else {
                m_lastCaller = T(5105);
                shown = m_lastCaller;
            }
            m_view.SetCallLine(u"->" + shown);
            if (!m_ringing) {
                m_view.StartVoiceRing();
                m_view.SetCallStateLine(T(5106) + u"..");
                m_ringing = true;
            }
            m_view.Redraw();
            if (!m_view.DialerOnScreen()) {
                m_view.ShowCallBubble(CallBubbleHtml(shown, m_text), shown);
            }
            return true;
        }
        case DialerEvent::CallWaiting:
            m_missedShown = false;
            m_lastCaller = m_engine.DisplayText().empty() ? T(5105) : m_engine.DisplayText();
            m_view.SetCallLine(u"->" + m_lastCaller);
            if (!m_ringing) {
                m_view.SetCallStateLine(T(5112) + u"..");
                m_ringing = true;
                m_waiting = true;
                m_waitingNumber.clear();
                m_view.StartVoiceRing();
                m_view.StartWaitingWatch();
            }
            m_view.Redraw();
            return true;
        case DialerEvent::CallMissed:
            if (m_ringing) {
                m_ringing = false;
                m_view.StopRing();
                // The end-of-call step of the call-list refresh may have come first and armed
                // the clear timer; the missed call must not vanish with it.
                m_view.StopClearTimer();
                m_missedShown = true;
                m_view.SetCallLine(u"X" + m_lastCaller);
                m_view.SetCallStateLine(T(5107));
                m_view.Redraw();
                m_view.RemoveCallBubble();
            }
            return true;
        case DialerEvent::CallConnected:
            // Only a call still signalled here: one answered with the call button is timed
            // from its answer already, and starting the timer again would lose that time.
            if (m_ringing && m_engine.CallCount() != 0) {
                m_ringing = false;
                m_view.StopRing();
                m_view.RemoveCallBubble();
                m_engine.CallConnected();
                m_view.ShowCallOptionsButton(true);
                m_view.SetCallStateLine(u"");
                m_view.Redraw();
                StartTimer();
            }
            return true;
        case DialerEvent::NoCarrier:
            RebuildCallList();
            m_view.Redraw();
            return true;
        case DialerEvent::SuppService: {
            const int id = message.arg == 0   ? 5108
                           : message.arg == 2 ? 5109
                           : message.arg == 3 ? 5110
                           : message.arg == 4 ? 5111
                                              : 0;
            if (id != 0) {
                m_view.SetCallStateLine(T(id));
                m_view.Redraw();
            }
            return true;
        }
        case DialerEvent::CfCardError:
        case DialerEvent::Searching:
        case DialerEvent::Operator:
        case DialerEvent::PinCanceled:
        case DialerEvent::SimBlocked:
        case DialerEvent::Signal:
        case DialerEvent::Battery:
        case DialerEvent::NewSms:
        case DialerEvent::GprsAttach:
        case DialerEvent::MailboxFull:
        case DialerEvent::Roaming:
        case DialerEvent::Volume:
        case DialerEvent::NoSim:
        case DialerEvent::Diverted:
        case DialerEvent::NotDiverted:
        case DialerEvent::StatusReport:
        case DialerEvent::PortError:
            return false;
    }
    return false;
}

}  // namespace qvl

// The call commands of the dialer: call and hang-up buttons, dialing, the call-hold commands
// (GSM 07.07 AT+CHLD), keypad typing and DTMF, speaker volume, the call timer, and the
// reactions to the engine's call events. No Qt: the dialer view is reached through ICallView.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/phoneengine.h"
#include "common/ports/uiports.h"

namespace qvl {

// What the call commands need from the dialer view.
class ICallView {
  public:
    virtual ~ICallView() = default;
    virtual std::u16string NumberText() const = 0;
    virtual void SetNumberText(const std::u16string& text) = 0;
    virtual void SetCallLine(const std::u16string& text) = 0;
    virtual void SetCallStateLine(const std::u16string& text) = 0;
    virtual std::u16string TimerLine() const = 0;
    virtual void SetTimerLine(const std::u16string& text) = 0;
    virtual void SetStatusLine(const std::u16string& text) = 0;
    virtual void ShowCallOptionsButton(bool shown) = 0;
    // Refills the call list control from the engine's table.
    virtual void FillCallList(const std::vector<CallEntry>& calls) = 0;
    // Leaves the call list for the keypad when the list is shown.
    virtual void ShowKeypad() = 0;
    virtual void Redraw() = 0;
    // Timer 4 (call timer, every 1000 ms) and timer 5 (clear the texts, one shot 5000 ms).
    virtual void StartCallTimer() = 0;
    virtual void StopCallTimer() = 0;
    virtual void StartClearTimer() = 0;
    virtual void StopClearTimer() = 0;
    // Timer 3: the waiting-call watch, every 2000 ms.
    virtual void StartWaitingWatch() = 0;
    virtual void StopWaitingWatch() = 0;
    // The voice ring in a loop, and its end.
    virtual void StartVoiceRing() = 0;
    virtual void StopRing() = 0;
    // The incoming-call bubble.
    virtual void ShowCallBubble(const std::u16string& html, const std::u16string& caller) = 0;
    virtual void RemoveCallBubble() = 0;
    // True when the dialer is on screen and no settings dialog is open.
    virtual bool DialerOnScreen() const = 0;
    // The contact name for a number, empty when none is known.
    virtual std::u16string LookupCallerName(const std::u16string& number) = 0;
};

// Level -> AT+CLVL value.
int VolumeTableValue(int level);
// "%02d:%02d:%02d" of an elapsed time; hours are not bounded.
std::u16string FormatCallDuration(std::uint64_t elapsedMs);
// The bubble's HTML with the Accept (9898) and Reject (8989) commands.
std::u16string CallBubbleHtml(const std::u16string& caller,
                              const std::function<std::u16string(int)>& text);

// Which call-option commands can act on the calls listed (the modem's AT+CLCC table). Each
// AT+CHLD=2 button (1069, 1070, 1071) does something different depending on the calls there are,
// so each is offered only for the case its label names.
struct CallOptionStates {
    bool hold = false;         // 1069: an active call and nothing to take in its place
    bool retrieve = false;     // 1070: a held call and no active or waiting one
    bool swap = false;         // 1071: an active and a held call, or a waiting call to answer
    bool answers = false;      // 1071 takes a waiting call (its label says so)
    bool privateCall = false;  // 1072: a conference with at least two active members
    bool release = false;      // 1073: any call
    bool conference = false;   // 1074: an active and a held call
};
CallOptionStates CallOptionsFor(const std::vector<CallEntry>& calls);

inline constexpr int kBubbleAccept = 9898;
inline constexpr int kBubbleReject = 8989;

class CallCommands {
  public:
    CallCommands(CPhoneEngine& engine, ICallView& view, UiPorts ui,
                 std::function<std::u16string(int)> text, IClock* clock = nullptr);

    void CallButton();
    void HangUpButton();
    // Puts the number into the number field and acts as the call button; a number that is not
    // a dial string (IsDialableNumber) is refused with the dial failure text.
    void DialNumber(const std::u16string& number);
    // One of "0"-"9", "+", "#", "*".
    void KeypadKey(char16_t key);
    void Backspace();
    void VolumeUp();
    void VolumeDown();
    // Sends AT+CLVL for level; true when the modem answered OK.
    bool SetVolumeLevel(int level);
    // Call-option commands. selectedIndex: the call index of the selected call-list row, or -1.
    void RunCallCommand(const std::u16string& command);
    // Release (1073) and private call (1072) act on the selected row; with no row selected
    // they take the only call there is, and otherwise do nothing and say so (false).
    bool CallOptionCommand(int commandId, int selectedIndex);
    void RebuildCallList();
    // Timer ticks.
    void OnCallTimerTick();
    void OnClearTimer();
    void OnWaitingWatchTick();
    // The engine's call table was read again (the poll step in a call, a call-list rebuild):
    // an outgoing call the far end has answered stops showing "Calling..." and its timer starts.
    void OnCallTableRefreshed();
    // The call events of the engine; false for events that are not call events.
    bool OnCallEvent(const DialerEventMessage& message);
    // The stored volume level, updated by DM_VOLUME.
    void SetStoredVolume(int level) { m_volume = level; }

    bool Ringing() const { return m_ringing; }
    bool Waiting() const { return m_waiting; }
    bool AwaitingAnswer() const { return m_awaitingAnswer; }
    int Volume() const { return m_volume; }
    const std::u16string& LastCaller() const { return m_lastCaller; }

  private:
    void Dial();
    // A number that is not a dial string: the dial failure text, nothing sent.
    void RefuseNumber(const std::u16string& number);
    void StartTimer();
    void EndOfCall();
    void Message(int id);
    std::u16string T(int id) const { return m_text(id); }
    std::uint64_t Now() const;

    CPhoneEngine& m_engine;
    ICallView& m_view;
    UiPorts m_ui;
    std::function<std::u16string(int)> m_text;
    IClock* m_clock;
    bool m_ringing = false;
    bool m_waiting = false;
    std::u16string m_lastCaller;
    std::u16string m_waitingNumber;
    std::uint64_t m_callStartMs = 0;
    // An outgoing call was dialled and the far end has not answered yet: the timer waits.
    bool m_awaitingAnswer = false;
    // The display shows a missed call; it stays until the next call or the hang-up key.
    bool m_missedShown = false;
    int m_volume = 0;
};

}  // namespace qvl

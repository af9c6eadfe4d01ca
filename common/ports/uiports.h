// The interfaces through which the core reaches the user. The Qt shell implements them; tests
// use scripted fakes that record what was shown and answer from a script.
#pragma once

#include <string>
#include <string_view>

namespace qvl {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

class IMessageBoxPort {
public:
    virtual ~IMessageBoxPort() = default;
    virtual MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view caption,
                                  MsgButtons buttons, MsgIcon icon) = 0;
};

// Runs one round of the user interface's event loop, so that windows paint, timers fire and
// Cancel taps are seen while the one UI thread waits for the modem or the network.
class IMessagePump {
public:
    virtual ~IMessagePump() = default;
    virtual void PumpMessages() = 0;
};

// The floating 200 x 100 progress window (RKFloatCtrl).
class IProgressWindow {
public:
    virtual ~IProgressWindow() = default;
    // position -1 selects the animated (indeterminate) bar.
    virtual void Create(int minimum, int maximum, int position, bool cancellable) = 0;
    // position -1 leaves the position unchanged.
    virtual void SetText(std::u16string_view text, int position) = 0;
    virtual void Show(bool visible) = 0;
    virtual bool IsCanceled() const = 0;
    virtual void Close() = 0;
    virtual void Destroy() = 0;
};

// The set of ports one deliverable's core code is given.
struct UiPorts {
    IMessageBoxPort* messages = nullptr;
    IMessagePump* pump = nullptr;
    IProgressWindow* progress = nullptr;

    void Pump() const {
        if (pump != nullptr) {
            pump->PumpMessages();
        }
    }
};

}  // namespace qvl

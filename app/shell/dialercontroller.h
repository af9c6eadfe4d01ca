// The dialer's engine side: owns CPhoneEngine and the call commands, runs the session start
// and the view's timers, shows the engine's dialogs, and turns every dialer event into its
// reaction on the view.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/calls/callcommands.h"
#include "app/contacts/callernames.h"
#include "app/contacts/ui/contactssource.h"
#include "app/engine/phoneengine.h"
#include "app/phonebook/ui/addressbookdlg.h"
#include "app/shell/dialogs.h"
#include "common/controls/qtuiports.h"
#include "common/controls/rkfloatctrl.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/qt/qtports.h"

namespace qvl {

class CMainFrame;
class CQVLDialerDoc;
class CQVLDialerView;

namespace smsui {
class CQVLSMSNewView;
}

// Optional replacements of the engine's system services (tests: a scripted modem).
struct DialerServices {
    IModemIo* io = nullptr;
    IModemDirectory* modems = nullptr;
    IPinDialog* pinDialog = nullptr;
    IModemChooser* chooser = nullptr;
    IMessageBoxPort* messages = nullptr;
    IPowerSupply* power = nullptr;
    IWindowMessenger* messenger = nullptr;  // null: the session bus
    bool publishWindow = true;              // answer the other programs of the suite
    // Runs the modal dialogs of the message screens (null: QDialog::exec). Tests act on the
    // dialog while it is open.
    std::function<int(QDialog&)> runMessageDialog;
    // Runs the speed-dial dialog (null: QDialog::exec).
    std::function<int(QDialog&)> runContactsDialog;
    // Runs the network, call and security settings pages (null: QDialog::exec).
    std::function<int(QDialog&)> runServiceDialog;
    // Runs the Address Book and its entry dialog (null: QDialog::exec).
    std::function<int(QDialog&)> runAddressDialog;
};

class DialerController : public QObject, public IDialerEventSink, public ICallView {
    Q_OBJECT
  public:
    using Services = DialerServices;
    DialerController(CQVLDialerDoc* doc, CMainFrame* frame, Services services = DialerServices());
    ~DialerController() override;

    // The window message a second start of the program sends: only bring the window forward.
    static constexpr std::uint32_t kBringToFront = 0;

    static bool Handles(int command);
    // The message pane of the frame, made over the engine by the constructor.
    smsui::CQVLSMSNewView* MessageView() const { return m_messageView; }
    void Start();
    void RunCommand(int command);
    void Shutdown();
    // A settings dialog opens and closes (counted: dialogs nest).
    void SuspendPoll();
    void ResumePoll();

    CPhoneEngine& Engine() { return *m_engine; }
    // The document's phonebooks, handed over once they exist.
    // The Address Book's Contacts source and the caller names' SIM book work on it too.
    void SetPhonebook(CPhonebook* phonebook);
    // The Address Book over the phonebooks (mode: the row icon). The chosen name and number,
    // or nothing when it was canceled; the number is empty when no row was chosen.
    struct ChosenAddress {
        QString name;
        QString number;
    };
    // parent: the window it opens over (null: the frame).
    std::optional<ChosenAddress> OpenAddressBook(phonebookui::CQVLAddressBookDlg::Mode mode,
                                                 QWidget* parent = nullptr);
    // The contact button and the command bar's "SIM Book": the Address Book, and a call to the
    // chosen number.
    void OpenSimBook();
    // The SIM book read that follows the set-up commands of timer 6 (callable by tests).
    void StartupSimRead();
    CallCommands& Calls() { return *m_calls; }
    const QString& BubbleHtml() const { return m_bubbleHtml; }
    QTimer& Timer(int id);
    // The dialer event sink.
    void OnDialerEvent(const DialerEventMessage& message) override;
    // Poll timer work (timer 1), callable by tests.
    void PollStep();
    // A data folder ($QVL_HOME) that cannot be used is named with the reason (once, at the
    // start).
    void ReportDeviceRootProblem();
    // A window message from another program of the suite: 1124 (dial or write to the
    // registry value "Number") and 1224 (open the message view).
    std::int64_t OnWindowMessage(std::uint32_t message, std::int64_t wParam, std::int64_t lParam);
    // A window message as it arrives over the session bus: answered at once (1), and handled
    // by OnWindowMessage from this program's own queue, so that the sender and the bus never
    // wait for a phone read or a question.
    std::int64_t QueueWindowMessage(std::uint32_t message, std::int64_t wParam,
                                    std::int64_t lParam);

    // ICallView
    std::u16string NumberText() const override;
    void SetNumberText(const std::u16string& text) override;
    void SetCallLine(const std::u16string& text) override;
    void SetCallStateLine(const std::u16string& text) override;
    std::u16string TimerLine() const override;
    void SetTimerLine(const std::u16string& text) override;
    void SetStatusLine(const std::u16string& text) override;
    void ShowCallOptionsButton(bool shown) override;
    void FillCallList(const std::vector<CallEntry>& calls) override;
    void ShowKeypad() override;
    void Redraw() override;
    void StartCallTimer() override;
    void StopCallTimer() override;
    void StartClearTimer() override;
    void StopClearTimer() override;
    void StartWaitingWatch() override;
    void StopWaitingWatch() override;
    void StartVoiceRing() override;
    void StopRing() override;
    void ShowCallBubble(const std::u16string& html, const std::u16string& caller) override;
    void RemoveCallBubble() override;
    bool DialerOnScreen() const override;
    std::u16string LookupCallerName(const std::u16string& number) override;

  private:
    void OnButton(int id);
    void OnCommand(int id);
    void OnRowActivated(int callIndex, const QString& stateText);
    // Enables each call-option button only where it can act on the calls listed.
    void ApplyCallOptions(const std::vector<CallEntry>& calls);
    void Restart();
    // Shows the dialer pane and raises the window (an incoming call with no bubble).
    void BringDialerToFront();
    // Lists the machine's serial devices again, then starts the session, so that the modem
    // chooser offers what is plugged in now.
    void StartSession();
    void CallVoiceMail();
    // "Speed dial": the speed-dial dialog, and a call to the number chosen in it.
    void OpenSpeedDial();
    // Shows the message pane and reads the phone's messages into the list.
    void OpenMessages();
    void OpenSmsSettings();
    // The network, call and security settings and the modem information, each under the
    // settings-dialog rule.
    void OpenServicePage(int command);
    // The contacts plug-in's request to write to the registry value "Number".
    void NewMessageRequest(const std::u16string& number, const std::u16string& text);
    QString RingPath(const char16_t* value) const;

    CQVLDialerDoc* m_doc;
    CMainFrame* m_frame;
    CQVLDialerView* m_view;
    QtMessageBoxPort m_messageBoxes;
    QtMessagePump m_pump;
    QtEngineDialogs m_dialogs;
    RKFloatCtrl m_progress;
    // The start-up SIM read's step and bar windows.
    RKFloatCtrl m_readSteps;
    RKFloatCtrl m_readBar;
    CPhonebook* m_phonebook = nullptr;
    std::function<int(QDialog&)> m_runAddressDialog;
    SoundPlayer m_sound;
    CallNotifier m_notifier;
    std::unique_ptr<DbusWindowMessenger> m_ownMessenger;
    std::unique_ptr<DbusWindowPublisher> m_publisher;
    std::unique_ptr<CPhoneEngine> m_engine;
    std::unique_ptr<CallCommands> m_calls;
    smsui::CQVLSMSNewView* m_messageView = nullptr;
    IMessageBoxPort* m_messages;
    // The engine lists the modems from the registry's serial-device overlay (no replacement
    // directory given), so the overlay is refreshed before each session start.
    bool m_refreshDevices;
    DeadModemCounter m_deadModem;
    QTimer m_timer1, m_timer3, m_timer4, m_timer5, m_timer6;
    // The pause between timer 6's set-up commands and the SIM book read.
    QTimer m_simReadPause;
    int m_selectedCall = -1;
    QString m_bubbleHtml;
    bool m_shutDown = false;
    // The names of callers: the SIM book's cache and the contacts folder.
    CallerNames m_callerNames;
    // The contacts as the Address Book shows them (over the caller names' contact book).
    std::unique_ptr<contactsui::ContactsSource> m_contactsSource;
    std::function<int(QDialog&)> m_runContactsDialog;
    std::function<int(QDialog&)> m_runServiceDialog;
};

}  // namespace qvl

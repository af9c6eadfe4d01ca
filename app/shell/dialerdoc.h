// CQVLDialerDoc: owns the phone engine and the phonebooks for the whole run and carries the
// dialer-active flag.
// The engine side (session start, timers, event reactions, calls) lives in the dialer
// controller; the document hands the frame's commands to it.
#pragma once

#include <QObject>
#include <memory>

namespace qvl {

class CMainFrame;
class CPhonebook;
class DialerController;
struct DialerServices;

class CQVLDialerDoc : public QObject {
    Q_OBJECT
  public:
    CQVLDialerDoc();
    // Replacements of the engine's system services, used when the frame attaches (tests).
    explicit CQVLDialerDoc(const DialerServices* services);
    ~CQVLDialerDoc() override;

    // Called by the frame once its views exist and it is shown: the dialer's first display.
    void AttachFrame(CMainFrame* frame);
    void OnFirstDisplay();

    bool DialerActive() const { return m_dialerActive; }
    void SetDialerActive(bool active) { m_dialerActive = active; }
    // A settings dialog opens (SuspendPoll) and closes (ResumePoll): while any is open the
    // poll step only drains the port. Calls come in pairs and nest.
    void SuspendPoll();
    void ResumePoll();

    bool CanRun(int command) const;
    void RunCommand(int command);
    // Stops the timers and the engine: "&Exit" and closing the window.
    void Shutdown();

    DialerController* Controller() const { return m_controller.get(); }
    // The modem's phonebooks, kept for the program's run (null without the engine).
    CPhonebook* Phonebook() const { return m_phonebook.get(); }
    // The command bar's "SIM Book": the Address Book on the SIM book, from the dialer.
    void OpenSimBook();

  private:
    CMainFrame* m_frame = nullptr;
    bool m_dialerActive = false;
    bool m_started = false;
    std::unique_ptr<DialerController> m_controller;
    // After the controller, so that it goes first: it works on the controller's engine.
    std::unique_ptr<CPhonebook> m_phonebook;
    const DialerServices* m_services = nullptr;
};

}  // namespace qvl

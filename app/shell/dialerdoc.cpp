#include "app/shell/dialerdoc.h"

#include "app/shell/mainframe.h"
#if QVL_HAVE_ENGINE
#include "app/phonebook/phonebook.h"
#include "app/shell/dialercontroller.h"
#endif

namespace qvl {

#if !QVL_HAVE_ENGINE
// Without the engine the program shows its window and menus but talks to no modem.
class DialerController {};
struct DialerServices {};
class CPhonebook {};
#endif

CQVLDialerDoc::CQVLDialerDoc() = default;

CQVLDialerDoc::CQVLDialerDoc(const DialerServices* services) : m_services(services) {}

CQVLDialerDoc::~CQVLDialerDoc() {
    Shutdown();
    m_phonebook.reset();
}

void CQVLDialerDoc::AttachFrame(CMainFrame* frame) {
    m_frame = frame;
#if QVL_HAVE_ENGINE
    m_controller = m_services != nullptr
                       ? std::make_unique<DialerController>(this, frame, *m_services)
                       : std::make_unique<DialerController>(this, frame);
    m_phonebook = std::make_unique<CPhonebook>(m_controller->Engine());
    m_controller->SetPhonebook(m_phonebook.get());
#endif
}

void CQVLDialerDoc::OnFirstDisplay() {
    if (m_started) {
        return;
    }
    m_started = true;
    m_dialerActive = true;
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->Start();
    }
#endif
}

void CQVLDialerDoc::SuspendPoll() {
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->SuspendPoll();
    }
#endif
}

void CQVLDialerDoc::ResumePoll() {
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->ResumePoll();
    }
#endif
}

bool CQVLDialerDoc::CanRun(int command) const {
    switch (command) {
        case kCmdPhone:
        case kCmdSms:
        case kCmdSkinImage:
        case kCmdSkinImageLandscape:
        case kCmdExit:
        case kCmdAbout:
            return true;
        default:
            break;
    }
#if QVL_HAVE_ENGINE
    return DialerController::Handles(command);
#else
    return false;
#endif
}

void CQVLDialerDoc::RunCommand(int command) {
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->RunCommand(command);
    }
#else
    (void)command;
#endif
}

void CQVLDialerDoc::OpenSimBook() {
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->OpenSimBook();
    }
#endif
}

void CQVLDialerDoc::Shutdown() {
#if QVL_HAVE_ENGINE
    if (m_controller) {
        m_controller->Shutdown();
    }
#endif
}

}  // namespace qvl

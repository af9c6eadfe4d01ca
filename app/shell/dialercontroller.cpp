#include "app/shell/dialercontroller.h"

#include "app/contacts/ui/speeddialdlg.h"
#include "app/mms/mmssend.h"
#include "app/mms/ui/mmssettingspage.h"
#include "app/phonebook/ui/addressentrydlg.h"
#include "app/services/ui/networkpage.h"
#include "app/services/ui/securitypage.h"
#include "app/services/ui/settingssheet.h"
#include "app/shell/dialerdoc.h"
#include "app/shell/mainframe.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/enginesmsmodem.h"
#include "app/sms/ui/smsnewview.h"
#include "app/sms/ui/smssettingspage.h"
#include "base/checks.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/devicefs.h"
#include "platform/registry.h"
#include "platform/serial/devices.h"

namespace qvl {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}
std::u16string W(const QString& text) {
    return text.toStdU16String();
}

}  // namespace

DialerController::DialerController(CQVLDialerDoc* doc, CMainFrame* frame, Services services)
    : m_doc(doc),
      m_frame(frame),
      m_view(frame->DialerView()),
      m_messageBoxes(frame),
      m_dialogs(frame),
      m_progress(frame),
      m_readSteps(frame, FloatPlacement::Upper),
      m_readBar(frame, FloatPlacement::Lower),
      m_runAddressDialog(services.runAddressDialog),
      m_messages(services.messages != nullptr ? services.messages : &m_messageBoxes),
      m_runContactsDialog(services.runContactsDialog),
      m_runServiceDialog(services.runServiceDialog) {
    EnginePorts ports;
    ports.sink = this;
    ports.pinDialog = services.pinDialog != nullptr ? services.pinDialog : &m_dialogs;
    ports.chooser = services.chooser != nullptr ? services.chooser : &m_dialogs;
    ports.messages = m_messages;
    ports.pump = &m_pump;
    ports.io = services.io;
    ports.modems = services.modems;
    ports.power = services.power;
    if (services.messenger != nullptr) {
        ports.messenger = services.messenger;
    } else {
        m_ownMessenger = std::make_unique<DbusWindowMessenger>();
        ports.messenger = m_ownMessenger.get();
    }
    if (services.publishWindow) {
        // Published under the window title, as the Today item and the Contacts command look
        // for it.
        m_publisher = std::make_unique<DbusWindowPublisher>(
            u"QVL SMS/Phone",
            [this](std::uint32_t message, std::int64_t wParam, std::int64_t lParam) {
                return QueueWindowMessage(message, wParam, lParam);
            });
        m_publisher->Publish();
    }
    m_engine = std::make_unique<CPhoneEngine>(ports);
    UiPorts ui;
    ui.messages = m_messages;
    ui.pump = &m_pump;
    ui.progress = &m_progress;
    m_calls = std::make_unique<CallCommands>(*m_engine, *this, ui, LoadLocalString);
    m_view->SetMessagePort(m_messages);
    m_refreshDevices = services.modems == nullptr;

    smsui::SmsUiPorts smsPorts;
    smsPorts.messages = m_messages;
    smsPorts.runDialog = services.runMessageDialog;
    // The window's shape decides the layout of the message dialogs, as it does for the dialer.
    smsPorts.landscape = [this] { return m_frame->width() > m_frame->height(); };
    smsPorts.dial = [this](std::u16string_view number) {
        m_frame->ShowPane(0);
        m_calls->DialNumber(std::u16string(number));
    };
    smsPorts.pickNumber = [this](QWidget* parent) -> std::optional<QString> {
        const auto chosen = OpenAddressBook(phonebookui::CQVLAddressBookDlg::Mode::Message, parent);
        if (!chosen || chosen->number.isEmpty()) {
            return std::nullopt;
        }
        return chosen->number;
    };
    // "Insert contact.." of the compose screen: the Address Book in the message editors' mode.
    smsPorts.pickContact = [this](QWidget* parent) -> std::optional<std::pair<QString, QString>> {
        const auto chosen = OpenAddressBook(phonebookui::CQVLAddressBookDlg::Mode::Message, parent);
        if (!chosen || chosen->number.isEmpty()) {
            return std::nullopt;
        }
        return std::pair{chosen->name, chosen->number};
    };
    smsPorts.notifyToday = [this](long long wParam, long long lParam) {
        m_engine->NotifyTodayItem(wParam, lParam);
    };
    m_messageView = smsui::CreateMessageView(*m_engine, ui, std::move(smsPorts), m_frame);
    m_frame->SetMessageView(m_messageView);
    // The user has seen the list: the dialer's new-message icon and count go back to zero
    // (the view has told the Today item itself).
    connect(m_messageView, &smsui::CQVLSMSNewView::UnreadSeen, this,
            [this] { m_view->ResetUnreadCount(); });

    m_timer1.setInterval(3000);
    m_timer3.setInterval(2000);
    m_timer4.setInterval(1000);
    m_timer5.setInterval(5000);
    m_timer5.setSingleShot(true);
    m_timer6.setInterval(1000);
    m_timer6.setSingleShot(true);
    connect(&m_timer1, &QTimer::timeout, this, &DialerController::PollStep);
    connect(&m_timer3, &QTimer::timeout, this, [this] { m_calls->OnWaitingWatchTick(); });
    connect(&m_timer4, &QTimer::timeout, this, [this] { m_calls->OnCallTimerTick(); });
    connect(&m_timer5, &QTimer::timeout, this, [this] { m_calls->OnClearTimer(); });
    m_simReadPause.setInterval(1000);
    m_simReadPause.setSingleShot(true);
    connect(&m_timer6, &QTimer::timeout, this, [this, ui] {
        // Modem set-up once the session is up, then, after a pause, the SIM book, so that the
        // first opening of the Address Book finds it read.
        if (!m_engine->Stopped()) {
            m_engine->InitModem();
            // The SIM's country: caller numbers in national form are read in it.
            m_callerNames.SetSimCountryCode(ReadSimCountryCode(*m_engine));
            m_simReadPause.start();
        }
        // The operators' MMS profiles of "\My Documents\mms.mmp", once (until it worked).
        mms::RunFirstMmsImport(ui, LoadLocalString(mms::kMsgImportingProfiles));
    });
    connect(&m_simReadPause, &QTimer::timeout, this, &DialerController::StartupSimRead);
    connect(m_view, &CQVLDialerView::ButtonClicked, this, &DialerController::OnButton);
    connect(m_view, &CQVLDialerView::Command, this, &DialerController::OnCommand);
    connect(m_view, &CQVLDialerView::KeyTyped, this,
            [this](QChar key) { m_calls->KeypadKey(key.unicode()); });
    connect(m_view, &CQVLDialerView::CallListRowActivated, this, &DialerController::OnRowActivated);
    // A single click chooses the row for Release and Private as well.
    connect(m_view->CallList(), &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) {
                m_selectedCall = item != nullptr ? item->data(0, Qt::UserRole).toInt() : -1;
            });
    connect(&m_notifier, &CallNotifier::Accepted, this, [this] { m_calls->CallButton(); });
    connect(&m_notifier, &CallNotifier::Rejected, this, [this] { m_calls->HangUpButton(); });
}

DialerController::~DialerController() {
    Shutdown();
}

QTimer& DialerController::Timer(int id) {
    switch (id) {
        case 1:
            return m_timer1;
        case 3:
            return m_timer3;
        case 4:
            return m_timer4;
        case 5:
            return m_timer5;
        default:
            return m_timer6;
    }
}

bool DialerController::Handles(int command) {
    return command == kCmdRestartPhone || command == kCmdRingerSettings ||
           command == kCmdCallVoiceMail || command == kCmdSmsSettings ||
           command == kCmdManageFolders || command == kCmdTemplates || command == kCmdSpeedDial ||
           command == kCmdNetworkSettings || command == kCmdCallSettings ||
           command == kCmdSecuritySettings || command == kCmdModemInfo ||
           command == kCmdMmsSettings;
}

void DialerController::Start() {
    m_frame->setWindowTitle(QString::fromLatin1(CMainFrame::kTitle));
    m_engine->ForgetLastModem();
    m_engine->WipeStoredPin();
    ReportDeviceRootProblem();
    StartSession();
    if (m_shutDown) {
        return;
    }
    m_timer6.start();
    m_timer1.start();
}

void DialerController::PollStep() {
    if (m_engine->Stopped()) {
        return;
    }
    m_engine->ProcessDialer();
    if (m_view->CallList()->topLevelItemCount() != m_engine->CallCount()) {
        m_calls->RebuildCallList();
    } else {
        m_calls->OnCallTableRefreshed();
        // The states may have changed with the same number of calls (held, retrieved).
        FillCallList(std::vector<CallEntry>(m_engine->Calls().begin(), m_engine->Calls().end()));
    }
}

std::int64_t DialerController::QueueWindowMessage(std::uint32_t message, std::int64_t wParam,
                                                  std::int64_t lParam) {
    QTimer::singleShot(0, this, [this, message, wParam, lParam] {
        if (!m_shutDown) {
            OnWindowMessage(message, wParam, lParam);
        }
    });
    return 1;
}

std::int64_t DialerController::OnWindowMessage(std::uint32_t message, std::int64_t wParam,
                                               std::int64_t) {
    constexpr std::uint32_t kDialRequest = 0x0400 + 100;
    constexpr std::uint32_t kOpenMessages = 0x0400 + 200;
    m_frame->showNormal();
    m_frame->raise();
    m_frame->activateWindow();
    if (message == kOpenMessages) {
        // The Today item reported new messages: they are read from the phone and the list
        // shows where they arrive.
        OpenMessages();
        m_messageView->ShowFolder(sms::kFolderInUnread);
        return 1;
    }
    if (message != kDialRequest || (wParam != 1 && wParam != 2)) {
        return 0;
    }
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer");
    // Blanks, parentheses, dashes and dots are how numbers are written in address books and
    // links; what is left must pass the check before anything is asked.
    const std::u16string number =
        WithoutNumberSeparators(key ? key.ReadString(u"Number").value_or(u"").substr(0, 260) : u"");
    if (wParam == 2) {
        // The text of an sms: link comes with the number once, and goes.
        const std::u16string text = key ? key.ReadString(u"Body").value_or(u"") : u"";
        if (key) {
            key.DeleteValue(u"Body");
        }
        if (!number.empty() && !IsSmsAddress(number)) {
            return 1;  // nothing that could be an address is asked about
        }
        NewMessageRequest(number, text.substr(0, 1530));
        return 1;
    }
    if (!number.empty() && !IsDialableNumber(number)) {
        // Not a number one could dial: nothing to ask about. It shows as a failed dial.
        m_frame->ShowPane(0);
        m_calls->DialNumber(number);
        return 1;
    }
    const std::u16string question = LoadLocalString(5100) + number + u"> ?";
    if (m_messages->ShowMessage(question, LoadLocalString(5097), MsgButtons::YesNo,
                                MsgIcon::Question) == MsgAnswer::Yes) {
        m_frame->ShowPane(0);
        m_calls->DialNumber(number);
    }
    return 1;
}

void DialerController::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    for (QTimer* t : {&m_timer1, &m_timer3, &m_timer4, &m_timer5, &m_timer6, &m_simReadPause}) {
        t->stop();
    }
    m_sound.Stop();
    m_notifier.Remove();
    m_engine->StopSession();
}

void DialerController::SuspendPoll() {
    m_engine->SuspendPoll();
}

void DialerController::ResumePoll() {
    m_engine->ResumePoll();
}

void DialerController::RunCommand(int command) {
    switch (command) {
        case kCmdSms:
            OpenMessages();
            return;
        case kCmdSmsSettings:
            OpenSmsSettings();
            return;
        case kCmdMmsSettings:
            m_frame->RunSettingsDialog([this] {
                mmsui::CQVLMmsSettingsPage page(m_messageView->Ports(), m_frame);
                return m_messageView->Ports().Run(page);
            });
            return;
        case kCmdManageFolders:
            m_messageView->ManageFolders();
            return;
        case kCmdTemplates:
            m_messageView->ManageTemplates();
            return;
        case kCmdRestartPhone:
            Restart();
            return;
        case kCmdCallVoiceMail:
            CallVoiceMail();
            return;
        case kCmdSpeedDial:
            OpenSpeedDial();
            return;
        case kCmdNetworkSettings:
        case kCmdCallSettings:
        case kCmdSecuritySettings:
        case kCmdModemInfo:
            OpenServicePage(command);
            return;
        case kCmdRingerSettings:
            m_frame->RunSettingsDialog([this] {
                CQVLRingerPage page(
                    m_frame, m_frame->width() > m_frame->height(), [this](const QString& name) {
                        m_sound.Play(QString::fromStdString(DevicePath(u"\\windows\\" + W(name))),
                                     SoundPlayer::Repeat::Once);
                    });
                return page.exec();
            });
            return;
        default:
            return;
    }
}

void DialerController::OpenServicePage(int command) {
    m_frame->RunSettingsDialog([this, command] {
        const services::ServiceContext context{*m_engine, UiPorts{m_messages, &m_pump, &m_progress},
                                               LoadLocalString, nullptr};
        const servicesui::Orientation orientation = m_frame->width() > m_frame->height()
                                                        ? servicesui::Orientation::Landscape
                                                        : servicesui::Orientation::Portrait;
        auto run = [this](QDialog& page) {
            return m_runServiceDialog ? m_runServiceDialog(page) : page.exec();
        };
        switch (command) {
            case kCmdNetworkSettings: {
                servicesui::CQVLNetworkPage page(context, orientation, m_frame);
                return run(page);
            }
            case kCmdCallSettings: {
                servicesui::CQVLSettingsSheet sheet(context, orientation, m_frame);
                return run(sheet);
            }
            case kCmdSecuritySettings: {
                servicesui::CQVLSecurityPage page(context, orientation, m_frame);
                return run(page);
            }
            default: {
                // The modem is asked, under its progress window, before the texts show.
                servicesui::CQVLModemInfoPage page(context, orientation, m_frame);
                page.Load();
                return run(page);
            }
        }
    });
}

void DialerController::Restart() {
    m_progress.Create(0, 100, -1, false);
    m_progress.SetText(LoadLocalString(5244), -1);
    m_engine->StopSession();
    m_view->ClearModemIndicators();
    StartSession();
    m_progress.Close();
}

void DialerController::ReportDeviceRootProblem() {
    DeviceRoot();
    const std::string problem = DeviceRootProblem();
    if (problem.empty()) {
        return;
    }
    // Said once, at the start: without it the user meets an empty modem chooser and a dialer
    // that keeps nothing, with no reason given.
    QString text = Q(LoadDialogText(100, "rootproblem"));
    text.replace(QStringLiteral("%1"), QString::fromStdString(problem));
    m_messages->ShowMessage(W(text), u"QVL SMS/Phone", MsgButtons::Ok, MsgIcon::Warning);
}

void DialerController::StartSession() {
    if (m_refreshDevices) {
        RefreshSerialDevices();
    }
    m_engine->StartSession(AutoPin::AskUser);
}

void DialerController::OpenMessages() {
    if (m_frame->ActivePane() != 1) {
        m_frame->ShowPane(1);
    }
    m_messageView->OpenView();
}

void DialerController::OpenSmsSettings() {
    m_frame->RunSettingsDialog([this] {
        smsui::CQVLSmsSettingsPage page(m_messageView->Ports(), m_frame);
        return m_messageView->Ports().Run(page);
    });
}

void DialerController::NewMessageRequest(const std::u16string& number, const std::u16string& text) {
    const std::u16string question = LoadLocalString(5102) + number + u"> ?";
    if (m_messages->ShowMessage(question, u"SMS", MsgButtons::YesNo, MsgIcon::Question) !=
        MsgAnswer::Yes) {
        return;
    }
    m_frame->ShowPane(1);
    m_messageView->Refresh();
    m_messageView->NewMessage(Q(number), Q(text));
}

void DialerController::StartupSimRead() {
    if (m_phonebook == nullptr || m_engine->Stopped() || m_shutDown) {
        return;
    }
    // Size, then all entries; a SIM that cannot be asked is read when the Address Book opens.
    if (m_phonebook->GetUsedCount(PhonebookMemory::Sim) >= 0) {
        m_phonebook->ReadBook(PhonebookMemory::Sim, BookProgress{&m_readSteps, &m_readBar});
    }
}

void DialerController::SetPhonebook(CPhonebook* phonebook) {
    m_phonebook = phonebook;
    m_contactsSource = std::make_unique<contactsui::ContactsSource>(m_callerNames.Contacts(),
                                                                    phonebook, m_messages);
    // The SIM book's cached entries name a caller before the contacts do; the cache is only
    // copied, the modem is never asked while a call rings.
    m_callerNames.SetSimBook([phonebook] {
        std::vector<NamedNumber> named;
        if (phonebook != nullptr) {
            for (PhonebookEntry& entry : phonebook->Entries(PhonebookMemory::Sim)) {
                named.push_back({std::move(entry.name), std::move(entry.number)});
            }
        }
        return named;
    });
}

std::optional<DialerController::ChosenAddress> DialerController::OpenAddressBook(
    phonebookui::CQVLAddressBookDlg::Mode mode, QWidget* parent) {
    phonebookui::AddressBookPorts ports;
    ports.phonebook = m_phonebook;
    ports.messages = m_messages;
    ports.contacts = m_contactsSource.get();
    ports.runDialog = m_runAddressDialog;
    const bool landscape = m_frame->width() > m_frame->height();
    std::optional<ChosenAddress> chosen;
    // Like a settings dialog: the dialer is not on screen while the Address Book is open, so an
    // incoming call shows its bubble.
    m_frame->RunSettingsDialog([&] {
        phonebookui::CQVLAddressBookDlg dlg(ports, mode, landscape,
                                            parent != nullptr ? parent : m_frame);
        const int result = m_runAddressDialog ? m_runAddressDialog(dlg) : dlg.exec();
        if (result == QDialog::Accepted) {
            chosen = ChosenAddress{dlg.ChosenName(), dlg.ChosenNumber()};
        }
        return result;
    });
    return chosen;
}

void DialerController::OpenSimBook() {
    const auto chosen = OpenAddressBook(phonebookui::CQVLAddressBookDlg::Mode::Dial);
    if (!chosen || chosen->number.isEmpty()) {
        return;
    }
    // The number goes into the number field and the call button acts (which refuses while a
    // call is up that is not held).
    m_frame->ShowPane(0);
    m_calls->DialNumber(W(chosen->number));
}

void DialerController::CallVoiceMail() {
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\SMS");
    std::u16string number;
    if (key) {
        number = key.ReadString(u"VoiceMailNo").value_or(u"").substr(0, 260);
    }
    if (!number.empty()) {
        m_frame->ShowPane(0);
        m_calls->DialNumber(number);
        m_doc->SetDialerActive(true);
        return;
    }
    // The voice-mail number is entered on the SMS settings page.
    if (m_messages->ShowMessage(LoadLocalString(5051), u"QVL SMS/Phone", MsgButtons::YesNo,
                                MsgIcon::Question) == MsgAnswer::Yes) {
        OpenSmsSettings();
    }
}

// A speed-dial name is kept in the registry, not on the SIM: it may be longer than a SIM name,
// and a button shows about this much.
constexpr int kSpeedDialNameLength = 40;

void DialerController::OpenSpeedDial() {
    contactsui::SpeedDialPorts ports;
    ports.messages = m_messages;
    ports.openSmsSettings = [this] { OpenSmsSettings(); };
    // "Import from SIM..": the Address Book in the message editors' mode.
    ports.pickAddress = [this](QWidget* parent) -> std::optional<contactsui::NameAndNumber> {
        const auto chosen = OpenAddressBook(phonebookui::CQVLAddressBookDlg::Mode::Message, parent);
        if (!chosen || chosen->number.isEmpty()) {
            return std::nullopt;
        }
        return contactsui::NameAndNumber{chosen->name, chosen->number};
    };
    // "Modify": the address entry dialog with the slot's name and number.
    ports.editEntry = [this](const contactsui::NameAndNumber& slot,
                             QWidget* parent) -> std::optional<contactsui::NameAndNumber> {
        phonebookui::CQVLAddressEntryDlg entry(m_frame->width() > m_frame->height(),
                                               kSpeedDialNameLength, m_messages, parent);
        entry.SetEntry(slot.name, slot.number, 0);
        const int result = m_runContactsDialog ? m_runContactsDialog(entry) : entry.exec();
        if (result != QDialog::Accepted || entry.Number().isEmpty()) {
            return std::nullopt;
        }
        return contactsui::NameAndNumber{entry.Name(), entry.Number()};
    };
    // The poll loop stays out while a slot's menu is open.
    ports.holdPoll = [this](const std::function<void()>& run) {
        CPhoneEngine::BusyScope busy(*m_engine);
        run();
    };
    QString number;
    m_frame->RunSettingsDialog([&] {
        contactsui::CQVLSpeedDialDlg dialog(std::move(ports), m_frame->width() > m_frame->height(),
                                            m_frame);
        const int result = m_runContactsDialog ? m_runContactsDialog(dialog) : dialog.exec();
        number = dialog.ChosenNumber();
        return result;
    });
    if (number.isEmpty()) {
        return;
    }
    m_frame->ShowPane(0);
    m_calls->DialNumber(W(number));
    m_doc->SetDialerActive(true);
}

void DialerController::OnDialerEvent(const DialerEventMessage& message) {
    if (m_deadModem.Feed(message.event, message.arg)) {
        m_engine->StopSession();
        SetStatusLine(LoadLocalString(5084));
        m_view->ClearModemIndicators();
        if (m_messages->ShowMessage(LoadLocalString(5235), u"QVL SMS/Phone", MsgButtons::YesNo,
                                    MsgIcon::Question) == MsgAnswer::Yes) {
            m_progress.Create(0, 100, -1, false);
            m_progress.SetText(LoadLocalString(5244), -1);
            StartSession();
            m_progress.Close();
        }
        return;
    }
    switch (message.event) {
        case DialerEvent::PortError:
            m_engine->StopSession();
            m_view->ClearModemIndicators();
            m_messages->ShowMessage(LoadLocalString(5258), u"QVL SMS/Phone", MsgButtons::Ok,
                                    MsgIcon::Error);
            SetStatusLine(LoadLocalString(5084));
            return;
        case DialerEvent::NewSms:
            m_sound.Play(RingPath(u"SMSRing"), SoundPlayer::Repeat::Once);
            m_view->HandleStatusEvent(message, m_engine->DisplayText());
            m_engine->NotifyTodayItem(1, m_view->UnreadCount());
            return;
        case DialerEvent::Battery:
            m_view->SetBattery(static_cast<int>(message.arg), m_engine->BatteryPresent());
            return;
        case DialerEvent::Volume:
            m_calls->SetStoredVolume(static_cast<int>(message.arg));
            m_view->HandleStatusEvent(message, m_engine->DisplayText());
            return;
        case DialerEvent::Diverted:
            m_view->HandleStatusEvent(message, m_engine->DivertNumber());
            return;
        default:
            break;
    }
    if (!m_calls->OnCallEvent(message)) {
        m_view->HandleStatusEvent(message, m_engine->DisplayText());
    }
}

void DialerController::OnButton(int id) {
    if (const char16_t key = KeyCharacter(id); key != 0) {
        m_calls->KeypadKey(key);
        return;
    }
    switch (id) {
        case kCallButton:
            m_calls->CallButton();
            return;
        case kHangUpButton:
            m_calls->HangUpButton();
            return;
        case kBackspaceButton:
            m_calls->Backspace();
            return;
        case kContactButton:
            OpenSimBook();
            return;
        default:
            return;
    }
}

void DialerController::OnCommand(int id) {
    switch (id) {
        case kCmdVolumeDown:
            m_calls->VolumeDown();
            m_view->SetVolume(m_calls->Volume());
            return;
        case kCmdVolumeUp:
            m_calls->VolumeUp();
            m_view->SetVolume(m_calls->Volume());
            return;
        case kCmdCallOptions:
        case kCmdKeypad:
            if (!m_view->CallListShown()) {
                m_calls->RebuildCallList();
                m_view->ShowCallList(m_engine->CallCount() > 0);
            } else {
                m_view->ShowCallList(false);
            }
            return;
        case kCmdMessageView:
            OpenMessages();
            return;
        case kCmdHoldActive:
        case kCmdRetrieveHeld:
        case kCmdSwap:
        case kCmdPrivate:
        case kCmdRelease:
        case kCmdConference:
            if (!m_calls->CallOptionCommand(id, m_selectedCall)) {
                // Several calls and none chosen: say which one the command needs.
                m_messages->ShowMessage(LoadDialogText(100, "selectcall"), u"QVL SMS/Phone",
                                        MsgButtons::Ok, MsgIcon::Information);
            }
            return;
        default:
            return;
    }
}

void DialerController::OnRowActivated(int callIndex, const QString& stateText) {
    m_selectedCall = callIndex;
    // The row's state narrows Hold and Retrieve further; neither is offered where the calls
    // listed give it nothing to do.
    const std::vector<CallEntry> calls(m_engine->Calls().begin(), m_engine->Calls().end());
    const CallOptionStates can = CallOptionsFor(calls);
    QPushButton* hold = m_view->OptionButton(kCmdHoldActive);
    QPushButton* retrieve = m_view->OptionButton(kCmdRetrieveHeld);
    if (stateText == Q(LoadLocalString(5113))) {
        hold->setEnabled(can.hold);
        retrieve->setEnabled(false);
    } else if (stateText == Q(LoadLocalString(5109))) {
        hold->setEnabled(false);
        retrieve->setEnabled(can.retrieve);
    } else if (stateText == Q(LoadLocalString(5112))) {
        hold->setEnabled(false);
        retrieve->setEnabled(false);
    }
}

void DialerController::ApplyCallOptions(const std::vector<CallEntry>& calls) {
    const CallOptionStates can = CallOptionsFor(calls);
    m_view->OptionButton(kCmdHoldActive)->setEnabled(can.hold);
    m_view->OptionButton(kCmdRetrieveHeld)->setEnabled(can.retrieve);
    m_view->OptionButton(kCmdSwap)->setEnabled(can.swap);
    m_view->OptionButton(kCmdSwap)->setText(
        Q(LoadDialogText(100, can.answers ? "1071answer" : "1071")));
    m_view->OptionButton(kCmdPrivate)->setEnabled(can.privateCall);
    m_view->OptionButton(kCmdRelease)->setEnabled(can.release);
    m_view->OptionButton(kCmdConference)->setEnabled(can.conference);
}

QString DialerController::RingPath(const char16_t* value) const {
    const RegKey key =
        RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Ringer");
    const std::u16string name = key ? key.ReadString(value).value_or(u"").substr(0, 260) : u"";
    // The value is a bare name in "\windows"; anything with a folder in it is not ours to play.
    if (name.empty() || name.find_first_of(u"/\\") != std::u16string::npos) {
        return {};
    }
    return QString::fromStdString(DevicePath(u"\\windows\\" + name));
}

std::u16string DialerController::NumberText() const {
    return W(m_view->Text(kNumberField));
}
void DialerController::SetNumberText(const std::u16string& t) {
    m_view->SetText(kNumberField, Q(t));
}
void DialerController::SetCallLine(const std::u16string& t) {
    m_view->SetText(kNameLine, Q(t));
}
void DialerController::SetCallStateLine(const std::u16string& t) {
    m_view->SetText(kCallStateLine, Q(t));
}
std::u16string DialerController::TimerLine() const {
    return W(m_view->Text(kTimerLine));
}
void DialerController::SetTimerLine(const std::u16string& t) {
    m_view->SetText(kTimerLine, Q(t));
}
void DialerController::SetStatusLine(const std::u16string& t) {
    m_view->SetText(kStatusLine, Q(t));
}
void DialerController::ShowCallOptionsButton(bool shown) {
    m_view->ShowCallOptionsButton(shown);
}

void DialerController::FillCallList(const std::vector<CallEntry>& calls) {
    QTreeWidget* list = m_view->CallList();
    const QSignalBlocker quiet(list);
    list->clear();
    bool selectedListed = false;
    for (const CallEntry& call : calls) {
        const int id = call.state == 0 ? 5113 : call.state == 1 ? 5109 : call.state == 5 ? 5112 : 0;
        auto* item = new QTreeWidgetItem(
            list, {Q(call.number), id != 0 ? Q(LoadLocalString(id)) : QString()});
        item->setData(0, Qt::UserRole, call.index);
        item->setToolTip(0, Q(call.number));
        if (call.index == m_selectedCall) {
            list->setCurrentItem(item);
            selectedListed = true;
        }
    }
    // A call that has gone cannot stay chosen for Release or Private.
    if (!selectedListed) {
        m_selectedCall = -1;
    }
    ApplyCallOptions(calls);
}

void DialerController::ShowKeypad() {
    if (m_view->CallListShown()) {
        m_view->ShowCallList(false);
    }
}

void DialerController::Redraw() {
    m_view->update();
}
void DialerController::StartCallTimer() {
    m_timer4.start();
}
void DialerController::StopCallTimer() {
    m_timer4.stop();
}
void DialerController::StartClearTimer() {
    m_timer5.start();
}
void DialerController::StopClearTimer() {
    m_timer5.stop();
}
void DialerController::StartWaitingWatch() {
    m_timer3.start();
}
void DialerController::StopWaitingWatch() {
    m_timer3.stop();
}
void DialerController::StartVoiceRing() {
    m_sound.Play(RingPath(u"VoiceRing"), SoundPlayer::Repeat::Loop);
}
void DialerController::StopRing() {
    m_sound.Stop();
}

void DialerController::ShowCallBubble(const std::u16string& html, const std::u16string& caller) {
    // The HTML stays the text source of the bubble; the desktop shows its plain parts.
    m_bubbleHtml = Q(html);
    if (m_notifier.Show(QString::fromLatin1(CMainFrame::kTitle),
                        Q(LoadLocalString(5118)) + Q(EscapeMarkup(caller)) + QStringLiteral(" ?"),
                        Q(LoadLocalString(5119)), Q(LoadLocalString(5120)))) {
        return;
    }
    // No notification service: the call must still be seen and answered, so the dialer comes
    // to the front in its place.
    BringDialerToFront();
}

void DialerController::BringDialerToFront() {
    if (m_frame->ActivePane() != 0) {
        m_frame->ShowPane(0);
    }
    m_frame->showNormal();
    m_frame->raise();
    m_frame->activateWindow();
}

void DialerController::RemoveCallBubble() {
    m_bubbleHtml.clear();
    m_notifier.Remove();
}

bool DialerController::DialerOnScreen() const {
    return m_frame->isVisible() && !m_frame->isMinimized() && m_frame->ActivePane() == 0 &&
           m_doc->DialerActive();
}

std::u16string DialerController::LookupCallerName(const std::u16string& number) {
    // From what is already read: the ringing call never waits for the modem.
    return m_callerNames.Lookup(number);
}

}  // namespace qvl

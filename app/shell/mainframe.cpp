#include "app/shell/mainframe.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolButton>

#include <sys/stat.h>

#include "app/shell/dialerdoc.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/devicefs.h"
#include "platform/ipc/programs.h"
#include "platform/registry.h"

namespace qvl {

namespace {

constexpr char16_t kSkinKey[] = u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Skin";

QString QtMenuText(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// A skin value holds a full path: a device path ("\My Documents\...") or a path of this machine.
QString SkinFilePath(const std::u16string& value) {
    if (!value.empty() && value[0] == u'\\') {
        return QString::fromStdString(DevicePath(value));
    }
    return QString::fromStdU16String(value);
}

QString ReadSkinPath(const char16_t* name, const char16_t* fallback) {
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, kSkinKey);
    std::u16string value = fallback;
    if (key) {
        if (auto stored = key.ReadString(name); stored && !stored->empty()) {
            value = stored->substr(0, 260);
        }
    }
    return SkinFilePath(value);
}

}  // namespace

CMainFrame::CMainFrame(CQVLDialerDoc* doc) : m_doc(doc) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowTitle(QString::fromLatin1(kTitle));
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setHandleWidth(0);
    m_splitter->setChildrenCollapsible(true);
    m_dialer = new CQVLDialerView(m_splitter);
    // Row 1 holds a label until the document's controller, which owns the phone engine the
    // message view works on, puts the message view there (SetMessageView). A program built
    // without the engine keeps the label.
    auto* placeholder = new QLabel(m_splitter);
    placeholder->setObjectName(QStringLiteral("MessagePlaceholder"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setText(QString::fromStdU16String(LoadDialogText(100, "placeholder")));
    m_messages = placeholder;
    m_splitter->addWidget(m_dialer);
    m_splitter->addWidget(m_messages);
    setCentralWidget(m_splitter);
    m_dialer->SetSkinPaths(
        ReadSkinPath(u"SkinImage", u"\\My Documents\\bmp_files\\dialer.bmp"),
        ReadSkinPath(u"SkinImage270", u"\\My Documents\\bmp_files\\dialer270.bmp"));
    BuildMenuBar();
    BuildCommandBar();
    ShowPane(0);
    if (m_doc != nullptr) {
        m_doc->AttachFrame(this);
    }
}

CMainFrame::~CMainFrame() {
    ApplyUiScale(1);
}

void CMainFrame::BuildMenuBar() {
    menuBar()->clear();
    m_actions.clear();
    const std::function<void(QMenu*, const std::vector<MenuItem>&)> fill =
        [&](QMenu* menu, const std::vector<MenuItem>& items) {
            for (const MenuItem& item : items) {
                if (item.separator) {
                    menu->addSeparator();
                } else if (item.popup) {
                    fill(menu->addMenu(QtMenuText(item.text)), item.items);
                } else {
                    QAction* action = menu->addAction(QtMenuText(item.text));
                    const int command = item.command;
                    action->setData(command);
                    action->setObjectName(QStringLiteral("command%1").arg(command));
                    // Commands whose dialogs are not part of this program yet stay disabled.
                    action->setEnabled(m_doc != nullptr && m_doc->CanRun(command));
                    connect(action, &QAction::triggered, this,
                            [this, command] { RunCommand(command); });
                    m_actions[command] = action;
                }
            }
        };
    for (const MenuItem& top : LoadLocalMenu(105)) {
        if (top.popup) {
            fill(menuBar()->addMenu(QtMenuText(top.text)), top.items);
        }
    }
    // The command bar's "SIM Book" beside the menu: the Address Book on the SIM book.
    QAction* simBook = menuBar()->addAction(QtMenuText(LoadLocalString(kTextSimBook)));
    simBook->setObjectName(QStringLiteral("toolSimBook"));
#if QVL_HAVE_ENGINE
    simBook->setEnabled(m_doc != nullptr);
#else
    simBook->setEnabled(false);
#endif
    connect(simBook, &QAction::triggered, this, [this] {
        if (m_doc != nullptr) {
            ShowPane(0);
            m_doc->OpenSimBook();
        }
    });
    m_simBook = simBook;
}

void CMainFrame::BuildCommandBar() {
    // The command bar's buttons sit in one button at the menu bar's right end, so that the
    // dialer form keeps the whole window below the menu bar.
    if (m_commandBar == nullptr) {
        m_commandBar = new QMenu(this);
        m_commandBar->setObjectName(QStringLiteral("CommandBar"));
        auto* button = new QToolButton(menuBar());
        button->setObjectName(QStringLiteral("CommandBarButton"));
        button->setText(QStringLiteral("\u2630"));
        button->setAutoRaise(true);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setMenu(m_commandBar);
        menuBar()->setCornerWidget(button, Qt::TopRightCorner);
    }
    m_commandBar->clear();
    m_barActions.clear();
    for (const CommandBarButton& b : kCommandBar) {
        if (b.toolText == kTextSimBook && m_simBook != nullptr) {
            // The same entry as beside the menu: the Address Book on the SIM book.
            m_commandBar->addAction(m_simBook);
            continue;
        }
        const QString text = QString::fromStdU16String(LoadLocalString(b.toolText));
        QAction* action = m_commandBar->addAction(text);
        action->setToolTip(text);
        action->setObjectName(QStringLiteral("tool%1").arg(b.toolText));
        const int command = b.command;
        // A button whose command this program lacks (the SIM book), or whose program is not
        // there, is shown disabled.
        bool enabled = false;
        if (command == kCmdAssistant || command == kCmdAddressBook) {
            enabled = !CommandBarProgram(command).empty();
        } else if (command == kCmdPhone || command == kCmdSms) {
            enabled = true;
        } else if (command != 0) {
            enabled = m_doc != nullptr && m_doc->CanRun(command);
        }
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        if (command != 0) {
            m_barActions[command] = action;
        }
    }
}

QAction* CMainFrame::CommandBarAction(int command) const {
    const auto it = m_barActions.find(command);
    return it != m_barActions.end() ? it->second : nullptr;
}

QString CMainFrame::AboutText() {
    return QString::fromStdU16String(LoadDialogText(140, "text"))
        .arg(QString::fromLatin1(kTitle), QStringLiteral(QVL_VERSION));
}

std::string CMainFrame::CommandBarProgram(int command) {
    std::string path;
    if (command == kCmdAssistant) {
        // Nothing when the companion product is not installed.
        const std::u16string dir = GetInstallDir();
        if (!dir.empty()) {
            path = WideToUtf8(dir) + "/chooser";
        }
    } else if (command == kCmdAddressBook) {
        path = DevicePath(u"\\Windows\\addrbook");
    }
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & 0111) == 0) {
        return {};
    }
    return path;
}

void CMainFrame::SetMessageView(QWidget* view) {
    if (view == nullptr || view == m_messages) {
        return;
    }
    QWidget* old = m_messages;
    m_splitter->replaceWidget(m_splitter->indexOf(old), view);
    delete old;
    m_messages = view;
    m_messages->setVisible(m_activePane == 1);
}

QAction* CMainFrame::CommandAction(int command) const {
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::ShowPane(int pane) {
    m_activePane = pane == 1 ? 1 : 0;
    m_dialer->setVisible(m_activePane == 0);
    m_messages->setVisible(m_activePane == 1);
    if (m_activePane == 0) {
        m_dialer->CheckOrientation();
        // Typed digits, Enter and Escape go to the dialer form.
        m_dialer->setFocus(Qt::OtherFocusReason);
    }
    if (m_doc != nullptr) {
        m_doc->SetDialerActive(m_activePane == 0);
    }
}

void CMainFrame::RunCommand(int command) {
    switch (command) {
        case kCmdPhone:
            ShowPane(0);
            return;
        case kCmdSms:
            ShowPane(1);
            // The document reads the phone's messages into the list.
            if (m_doc != nullptr) {
                m_doc->RunCommand(kCmdSms);
            }
            return;
        case kCmdSkinImage:
            ChooseSkin(Orientation::Portrait);
            return;
        case kCmdSkinImageLandscape:
            ChooseSkin(Orientation::Landscape);
            return;
        case kCmdExit:
            close();
            return;
        case kCmdAbout:
            QMessageBox::about(this, QString::fromStdU16String(LoadDialogText(140, "caption")),
                               AboutText());
            return;
        case kCmdAssistant:
        case kCmdAddressBook:
            // Started by its path with no arguments; it runs on its own.
            if (const std::string program = CommandBarProgram(command); !program.empty()) {
                StartProgram(program, {});
            }
            return;
        default:
            break;
    }
    if (m_doc != nullptr && m_doc->CanRun(command)) {
        m_doc->RunCommand(command);
    }
}

int CMainFrame::RunSettingsDialog(const std::function<int()>& run) {
    if (m_doc == nullptr) {
        return run();
    }
    // A dialog opened from another one leaves the dialer inactive and the poll suspended until
    // the outer one closes too.
    ++m_settingsDialogs;
    m_doc->SetDialerActive(false);
    m_doc->SuspendPoll();
    const int result = run();
    m_doc->ResumePoll();
    if (--m_settingsDialogs == 0) {
        m_doc->SetDialerActive(m_activePane == 0);
    }
    return result;
}

void CMainFrame::ChooseSkin(Orientation orientation) {
    QString path;
    RunSettingsDialog([&] {
        path = QFileDialog::getOpenFileName(this, QStringLiteral("Open File"),
                                            QFileInfo(m_dialer->SkinPath(orientation)).path(),
                                            QStringLiteral("All (*.BMP *.bmp)"));
        return 0;
    });
    if (path.isEmpty()) {
        return;
    }
    const bool landscape = orientation == Orientation::Landscape;
    // A failed write is not reported: the new skin still shows for the rest of the run.
    RegKey::Open(RegRoot::LocalMachine, kSkinKey, RegOpen::Create)
        .WriteString(landscape ? u"SkinImage270" : u"SkinImage", path.left(260).toStdU16String());
    m_dialer->SetSkinPaths(landscape ? m_dialer->SkinPath(Orientation::Portrait) : path,
                           landscape ? path : m_dialer->SkinPath(Orientation::Landscape));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_doc != nullptr) {
        m_doc->Shutdown();
    }
    event->accept();
}

}  // namespace qvl

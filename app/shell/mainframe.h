// CMainFrame: the program's one window: the localized menu bar of menu 105 and the two-row
// splitter with the dialer view above the message view, only one of them visible at a time.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSplitter>
#include <functional>
#include <map>
#include <string>

#include "app/shell/dialerview.h"

namespace qvl {

class CQVLDialerDoc;

// Menu commands of the frame.
enum FrameCommand : int {
    kCmdPhone = 32774,
    kCmdSms = 32775,
    kCmdRestartPhone = 32780,
    kCmdSkinImage = 32781,
    kCmdNetworkSettings = 32782,
    kCmdCallSettings = 32789,
    kCmdSecuritySettings = 32800,
    kCmdSpeedDial = 32802,
    kCmdSmsSettings = 32816,
    kCmdCallVoiceMail = 32819,
    kCmdRingerSettings = 32821,
    kCmdModemInfo = 32822,
    kCmdManageFolders = 32824,
    kCmdTemplates = 32825,
    kCmdSkinImageLandscape = 40001,
    kCmdMmsSettings = 40003,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    // Commands of the command bar only.
    kCmdAssistant = 32806,
    kCmdAddressBook = 32807,
};

// The tool texts of the command bar, each with the command it runs (0: the SIM Book, the entry
// beside the menu).
struct CommandBarButton {
    int toolText;
    int command;
};
inline constexpr CommandBarButton kCommandBar[] = {
    {5085, kCmdPhone}, {5086, kCmdSms},         {5091, kCmdCallVoiceMail}, {5090, kCmdSpeedDial},
    {5088, 0},         {5089, kCmdAddressBook}, {5087, kCmdAssistant},
};

// Tool text of the command bar's "SIM Book".
inline constexpr int kTextSimBook = 5088;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr const char* kTitle = "QVL SMS/Phone";

    explicit CMainFrame(CQVLDialerDoc* doc);
    // The application font goes back to scale 1 with the window that scaled it.
    ~CMainFrame() override;

    CQVLDialerView* DialerView() const { return m_dialer; }
    QWidget* MessageView() const { return m_messages; }
    // Puts the message view into row 1 of the splitter in place of the placeholder (which is
    // deleted); the frame does not take over anything else of the view.
    void SetMessageView(QWidget* view);
    // Pane 0 is the dialer, pane 1 the message view.
    void ShowPane(int pane);
    int ActivePane() const { return m_activePane; }
    QAction* CommandAction(int command) const;
    // The command bar's "SIM Book" entry.
    QAction* SimBookAction() const { return m_simBook; }
    // The command bar's button of a command (null when the bar has none).
    QAction* CommandBarAction(int command) const;
    // The about box's text: the program, its version, what it does.
    static QString AboutText();
    // The program a command-bar command starts: the companion product's chooser in its install
    // folder ("chooser"), the device's address book ("\Windows\addrbook"); empty when there
    // is none.
    static std::string CommandBarProgram(int command);
    // Runs a menu command as if chosen.
    void RunCommand(int command);
    // Rebuilds the menu bar and the localized texts (after a language change).
    void BuildMenuBar();
    // A modal settings dialog: clears the dialer-active flag and suspends the poll step while
    // it is open.
    int RunSettingsDialog(const std::function<int()>& run);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ChooseSkin(Orientation orientation);
    void BuildCommandBar();

    CQVLDialerDoc* m_doc;
    QSplitter* m_splitter;
    CQVLDialerView* m_dialer;
    QWidget* m_messages;
    int m_activePane = 0;
    int m_settingsDialogs = 0;  // settings dialogs open now (one may open another)
    std::map<int, QAction*> m_actions;
    QAction* m_simBook = nullptr;
    QMenu* m_commandBar = nullptr;
    std::map<int, QAction*> m_barActions;
};

}  // namespace qvl

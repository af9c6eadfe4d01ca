// CQVLSMSNewView: the message pane of the main window. A folder combo ("In Unread", "In Read",
// "Out Unsent", "Out Sent", "Drafts", then the user folders) above a full-row list of the
// folder's messages (Number, Message, When), with the context menu 103 (Read, Delete, Move
// To.., Export to SIM). Each command loads the record file it needs, changes it and saves it
// at once, so the view holds no long-lived copy of the store.
//
// The main window creates it with the screens' ports (CreateMessageView in enginesmsmodem.h
// builds it over the phone engine):
//     auto* view = qvl::smsui::CreateMessageView(engine, uiPorts, ports, splitter);
// and calls OpenView() when the user switches to the message pane (the phone is read into the
// store, the list shown, and UnreadSeen emitted), ShowFolder(kFolderInUnread) for the Today
// item's request, NewMessage() for a message from the contacts plug-in, ManageFolders() and
// ManageTemplates() for the menu commands.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "app/sms/ui/messagemodel.h"
#include "app/sms/ui/smsuiports.h"

class QComboBox;
class QToolButton;
class QMenu;
class QTableView;

namespace qvl::smsui {

class CQVLSMSNewView : public QWidget {
    Q_OBJECT
  public:
    explicit CQVLSMSNewView(SmsUiPorts ports, QWidget* parent = nullptr);
    // The same, keeping the modem adapter for the view's lifetime (ports.modem is set to it).
    CQVLSMSNewView(SmsUiPorts ports, std::unique_ptr<ISmsModem> modem, QWidget* parent = nullptr);

    // Showing the pane: reads the phone's messages into the store, then refreshes.
    void OpenView();
    // Re-reads the folders and the messages of the chosen folder; tells the Today item that no
    // new messages wait.
    void Refresh();
    // The phone-read command: CopyFromPhone (with its progress and Cancel), then Refresh.
    int ReadFromPhone();
    bool ShowFolder(std::int32_t key);
    std::int32_t CurrentFolder() const;

    // The commands on the selected row.
    bool SelectRow(int row);
    int SelectedRow() const;
    void OpenSelected();
    bool DeleteSelected();
    // folderChoice: a key or kNewFolderChoice (asks for the name).
    bool MoveSelectedTo(std::int32_t folderChoice);
    bool ExportSelectedToPhone();

    // Fills menu with the context menu 103 in the current language, "Move To.." as a submenu
    // of the folders. Each action carries its command (or, in the submenu, the folder key).
    void BuildContextMenu(QMenu& menu) const;
    // The pane's menu: New (text 65000), then the context menu 103.
    void BuildPaneMenu(QMenu& menu) const;

    // A new message, optionally to a number (the contacts plug-in's hand-over).
    void NewMessage(const QString& to = {}, const QString& text = {});
    void ManageFolders();
    void ManageTemplates();
    // Re-reads every text in the current language.
    void Retranslate();
    // Sizes the columns to the list's width: the number column to the numbers and their image
    // (at most 40 % of the width), "When" to the times, the message text the rest. Called on
    // every change of the list's width and of its rows.
    void FitColumns();

    CMessageListModel* Model() const { return m_model; }
    QTableView* List() const { return m_list; }
    QComboBox* Folders() const { return m_folders; }
    QToolButton* NewButton() const { return m_new; }
    const SmsUiPorts& Ports() const { return m_ports; }

  signals:
    // The user has looked at the messages: the new-message count and icon go back to zero.
    void UnreadSeen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void ReloadFolders(std::int32_t keep);
    void ShowContextMenu(const QPoint& pos);
    void OpenCompose(const QString& to, const QString& text, const MessageRow* original);
    void ActOnRead(const MessageRow& row, int action);
    // Asks 5241, removes the message found by its content, refreshes and selects selectAfter.
    bool DeleteRow(const MessageRow& row, int selectAfter);

    std::unique_ptr<ISmsModem> m_ownedModem;
    SmsUiPorts m_ports;
    QComboBox* m_folders;
    QToolButton* m_new;
    QTableView* m_list;
    CMessageListModel* m_model;
};

}  // namespace qvl::smsui

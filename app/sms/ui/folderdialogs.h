// The folders dialog (add, rename, delete, export as text), the templates dialog (add, edit,
// delete) with its title-and-text dialog, and the folder menu shared by "Move To.." and
// "Save in..".
#pragma once

#include <QDialog>
#include <cstdint>

#include "app/sms/ui/smsuiports.h"

class QListWidget;
class QMenu;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qvl::smsui {

// The folder choice of a folder menu: a key, "<New Folder>", or nothing.
inline constexpr std::int32_t kNoFolder = -1;
inline constexpr std::int32_t kNewFolderChoice = -2;

// Fills menu with the four status folders, "Drafts", "<New Folder>" and the user folders; each
// action carries the folder key (kNewFolderChoice for "<New Folder>") as its data.
void FillFolderMenu(QMenu& menu);
// Resolves a menu choice: "<New Folder>" asks for a name and creates the folder. Returns the
// key, or kNoFolder when canceled or the name was only blanks (the user is told).
std::int32_t ResolveFolderChoice(const SmsUiPorts& ports, QWidget* parent, std::int32_t choice);
// Asks for a name and adds a user folder; the key or kNoFolder.
std::int32_t AskNewFolder(const SmsUiPorts& ports, QWidget* parent);

class CQVLFoldersDialog : public QDialog {
    Q_OBJECT
  public:
    CQVLFoldersDialog(const SmsUiPorts& ports, QWidget* parent = nullptr);

    // The steps behind the buttons, callable directly. Each loads the files, changes them and
    // saves at once.
    bool AddFolder(const QString& name);
    bool RenameSelected(const QString& name);
    bool DeleteSelected();
    bool ExportSelected();
    bool SelectFolder(std::int32_t key);
    std::int32_t SelectedKey() const;
    QListWidget* List() const { return m_list; }
    QLineEdit* NameEdit() const { return m_name; }

  private:
    void Reload();
    void UpdateButtons();

    const SmsUiPorts& m_ports;
    QListWidget* m_list;
    QLineEdit* m_name;
    QPushButton* m_add;
    QPushButton* m_rename;
    QPushButton* m_delete;
    QPushButton* m_export;
};

// Title and text of one template; in edit mode the title is shown read-only.
class CQVLTemplateEditDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { kAdd, kEdit };
    CQVLTemplateEditDialog(const SmsUiPorts& ports, Mode mode, QWidget* parent = nullptr);
    QLineEdit* Title() const { return m_title; }
    QPlainTextEdit* Text() const { return m_text; }

  private:
    QLineEdit* m_title;
    QPlainTextEdit* m_text;
};

class CQVLTemplatesDialog : public QDialog {
    Q_OBJECT
  public:
    CQVLTemplatesDialog(const SmsUiPorts& ports, QWidget* parent = nullptr);

    bool AddTemplate();   // runs the edit dialog in add mode
    bool EditSelected();  // runs it in edit mode: only the text changes
    bool DeleteSelected();
    QListWidget* List() const { return m_list; }

  private:
    void Reload();

    const SmsUiPorts& m_ports;
    QListWidget* m_list;
};

}  // namespace qvl::smsui

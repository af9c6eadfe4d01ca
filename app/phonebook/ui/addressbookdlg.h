// CQVLAddressBookDlg: the Address Book. It shows one source at a time (the SIM book, the
// handset book, the device's contacts, the dialled, received and missed calls, the SOS
// numbers), searches it, edits SIM and handset entries through the context menu, exports the
// shown list, and hands the chosen name and number back to the window that opened it (the
// dialer, the compose screen, the speed-dial page).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/phonebook/phonebook.h"
#include "common/controls/rkfloatctrl.h"

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qvl::phonebookui {

// The sources in the order of the selector.
enum class AddressSource {
    SimBook = 0,
    PhoneBook = 1,
    Contacts = 2,
    DialledCalls = 3,
    ReceivedCalls = 4,
    MissedCalls = 5,
    SosCalls = 6,
};
inline constexpr int kAddressSourceCount = 7;

// One row of the list.
struct AddressRow {
    QString name;
    QString number;
    int index = -1;  // the location of a SIM or handset entry; -1 for other rows
};

// The device's contacts as a source of the Address Book. Until a program part provides it, the
// Contacts source and the commands that reach the contacts are shown disabled.
class IContactsSource {
  public:
    virtual ~IContactsSource() = default;
    // The rows for a search text (empty: every row); nothing when the contacts cannot be read.
    // reread: the source is shown or refreshed, every contact is read afresh; otherwise the
    // search text changed and the contacts are read again only when they may have changed.
    virtual std::optional<std::vector<AddressRow>> Rows(const QString& search, bool reread) = 0;
    // A command of the "Contacts" menu on a contact row (Export to SIM Book / Phone Book).
    virtual void RunCommand(int command, const AddressRow& row, QWidget* parent) = 0;
    // "Import to Contacts" of a SIM or handset row.
    virtual void Import(const AddressRow& row, QWidget* parent) = 0;
};

struct AddressBookPorts {
    CPhonebook* phonebook = nullptr;      // null: every modem source is "not ready"
    IMessageBoxPort* messages = nullptr;  // null: QMessageBox
    IContactsSource* contacts = nullptr;  // null: Contacts disabled
    // Runs the entry dialog (tests act on it while it is open). Null: exec.
    std::function<int(QDialog&)> runDialog;
    // Asks for the file of "Export to csv.."; empty when canceled. Null: QFileDialog.
    std::function<QString(const QString& title, const QString& filter)> chooseSaveFile;
};

class CQVLAddressBookDlg : public QDialog {
    Q_OBJECT
  public:
    // The icon beside every row: mode 1 for dialling, 2 for picking a number, 3 for the message
    // editors.
    enum class Mode { Dial = 1, Pick = 2, Message = 3 };

    // landscape: the opener's screen orientation chooses the layout.
    CQVLAddressBookDlg(AddressBookPorts ports, Mode mode, bool landscape,
                       QWidget* parent = nullptr);
    ~CQVLAddressBookDlg() override;

    // The choice handed back on OK: the number without blanks and parentheses, and the name.
    // Both are empty when no row was selected.
    QString ChosenName() const { return m_chosenName; }
    QString ChosenNumber() const { return m_chosenNumber; }

    // Shows a source (from the cache when it is valid; refresh reads the modem again). The
    // dialog shows the SIM book by itself once it is on screen.
    void ShowSource(AddressSource source, bool refresh = false);
    AddressSource Source() const { return m_source; }
    // The context-menu commands on the selected row.
    void Insert();
    void Edit();
    void Delete();
    void ExportCsv();
    // The context menu of the shown source for the selected row; null for the call lists and
    // the SOS numbers.
    std::unique_ptr<QMenu> ContextMenu();

    QComboBox* Sources() const { return m_sources; }
    QToolButton* RefreshButton() const { return m_refresh; }
    QLineEdit* SearchField() const { return m_search; }
    QTreeWidget* List() const { return m_list; }
    QPushButton* ExportButton() const { return m_export; }
    // The rows shown (matching the search), in list order.
    std::vector<AddressRow> ShownRows() const;
    RKFloatCtrl& StepWindow() { return m_steps; }
    RKFloatCtrl& BarWindow() { return m_bar; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::optional<PhonebookMemory> Memory() const;
    // Fills the list from the shown source's cache (or the contacts) and applies the search.
    void FillList(int selectIndex = -1);
    void ApplySearch();
    // Shows exactly the items that are rows, in order, and hides the others; false (nothing
    // changed) when some row is not in the list.
    bool ShowOnly(const std::vector<AddressRow>& rows);
    void SizeColumns();
    void SetReading(bool reading);
    QTreeWidgetItem* SelectedItem() const;
    // The SIM or handset row that Edit and Delete work on (5034 when no row is selected).
    struct EditTarget {
        PhonebookMemory memory;
        QTreeWidgetItem* item;
        int index;
    };
    std::optional<EditTarget> SelectedEntry();
    void OnContextMenu(const QPoint& pos);
    // Tells the user what became of a write.
    void TellOutcome(BookWrite outcome);
    // Runs one edit with its progress text.
    BookWrite Run(int textId, const std::function<BookWrite()>& write);
    int RunEntryDialog(QDialog& dialog);

    AddressBookPorts m_ports;
    Mode m_mode;
    bool m_landscape;
    AddressSource m_source = AddressSource::SimBook;
    bool m_shownOnce = false;
    bool m_reading = false;
    bool m_contactsSearchOnly = false;  // the list is filled for a change of the search text
    QComboBox* m_sources;
    QToolButton* m_refresh;
    QLineEdit* m_search;
    QTreeWidget* m_list;
    QPushButton* m_export;
    QString m_chosenName;
    QString m_chosenNumber;
    // The read's step window above its bar window; the single window of an edit.
    RKFloatCtrl m_steps;
    RKFloatCtrl m_bar;
    RKFloatCtrl m_single;
};

// The CSV text of rows: one line a row, "name","number", quotes inside doubled and line breaks
// dropped (CsvLine), UTF-8.
QByteArray CsvText(const std::vector<AddressRow>& rows);

}  // namespace qvl::phonebookui

// CQVLSpeedDialDlg: fifteen named numbers in three categories of five buttons. A tap on a
// button closes the dialog and hands its number to the opener, which dials it; the first
// button of the first category is the Voice Mail button. Each other button has a menu ("Speed":
// "Import from SIM..", "Modify", "Delete"). The slots are stored in the registry when the
// dialog is left with a choice or with OK; Cancel drops every change.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "app/contacts/speeddial.h"
#include "common/ports/uiports.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace qvl::contactsui {

// Dialog template (texts in contacts-dialogs.tsv) and the slot menu.
inline constexpr int kDlgSpeedDial = 160;
inline constexpr int kMenuSpeed = 104;
inline constexpr int kCmdImportFromSim = 33030;
inline constexpr int kCmdModify = 33031;
inline constexpr int kCmdDeleteSlot = 33032;

struct NameAndNumber {
    QString name;
    QString number;
};

struct SpeedDialPorts {
    IMessageBoxPort* messages = nullptr;  // null: message boxes over the dialog
    // The voice-mail number of the SMS settings (null: the registry value "VoiceMailNo").
    std::function<QString()> voiceMailNumber;
    // Opens the SMS settings page (the answer Yes to "Voice Mail number not set").
    std::function<void()> openSmsSettings;
    // "Import from SIM..": the Address Book for the message editors; nothing when canceled.
    // Null: the command is disabled.
    std::function<std::optional<NameAndNumber>(QWidget* parent)> pickAddress;
    // "Modify": the address entry dialog with the slot's name and number; nothing when
    // canceled. Null: the command is disabled.
    std::function<std::optional<NameAndNumber>(const NameAndNumber& slot, QWidget* parent)>
        editEntry;
    // Runs the slot menu with the phone's poll loop kept out (null: runs it as it is).
    std::function<void(const std::function<void()>&)> holdPoll;
    // Shows the menu and returns the chosen action (null: QMenu::exec at pos). Tests choose.
    std::function<QAction*(QMenu&, const QPoint&)> runMenu;
};

class CQVLSpeedDialDlg : public QDialog {
    Q_OBJECT
  public:
    // landscape: the opener's screen orientation chooses the layout.
    CQVLSpeedDialDlg(SpeedDialPorts ports, bool landscape, QWidget* parent = nullptr);

    // The number chosen (empty after OK or Cancel).
    QString ChosenNumber() const { return m_result; }

    void ShowCategory(int category);
    int Category() const { return m_category; }
    // A tap on speed button b (0-4) of the current category.
    void ChooseButton(int button);
    // The menu of button b of the current category.
    void OpenSlotMenu(int button);
    // The menu's commands on the slot of the button whose menu was opened last.
    void RunSlotCommand(int command);

    QPushButton* CategoryButton(int category) const { return m_categories[category]; }
    QPushButton* SpeedButton(int button) const { return m_speed[button]; }
    QToolButton* MenuButton(int button) const { return m_menus[button]; }
    const SpeedDialSlots& Slots() const { return m_slots; }

    void accept() override;

  private:
    SpeedDialSlot& Slot(int button) {
        return m_slots[static_cast<std::size_t>(SpeedDialSlotIndex(m_category, button))];
    }
    bool Store();
    MsgAnswer Tell(int messageId, MsgButtons buttons, MsgIcon icon);

    SpeedDialPorts m_ports;
    bool m_landscape;
    SpeedDialSlots m_slots;
    int m_category = 0;
    int m_menuButton = -1;
    QString m_result;
    QLabel* m_title;
    std::array<QPushButton*, kSpeedDialCategoryCount> m_categories{};
    std::array<QPushButton*, kSpeedDialButtonCount> m_speed{};
    std::array<QToolButton*, kSpeedDialButtonCount> m_menus{};
};

}  // namespace qvl::contactsui

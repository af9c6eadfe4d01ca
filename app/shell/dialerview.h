// CQVLDialerView: the skinned dialer form. It paints the skin, holds the sixteen RKButtons, the
// status texts and icons, the call list with its option buttons, and reacts to the engine's
// dialer events.
#pragma once

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <array>
#include <functional>

#include "app/engine/events.h"
#include "app/shell/skinlayout.h"
#include "common/controls/rkbutton.h"
#include "common/ports/uiports.h"

namespace qvl {

// Scales the application font (dialogs, message boxes, menu bar, message pane) with the
// dialer's display scale, 1 or 2.
void ApplyUiScale(int scale);

class CQVLDialerView : public QWidget {
    Q_OBJECT
  public:
    explicit CQVLDialerView(QWidget* parent = nullptr);

    // Skin paths (full file paths); an empty or unloadable file leaves the form plain.
    void SetSkinPaths(const QString& portrait, const QString& landscape);
    QString SkinPath(Orientation o) const {
        return o == Orientation::Landscape ? m_landscapePath : m_portraitPath;
    }
    void ReloadSkin();
    bool HasSkin() const { return !m_skin.isNull(); }
    Orientation CurrentOrientation() const { return m_orientation; }

    // Re-checks the window's shape and lays the form out again when it changed.
    void CheckOrientation();

    // Texts of the form.
    QString Text(int control) const;
    void SetText(int control, const QString& text);

    // Status indicators.
    void SetSignal(int bars);
    // Level 1..5; with no battery in the machine the steady mains image replaces the
    // charging animation of level 5.
    void SetBattery(int level, bool batteryPresent = true);
    // The modem is gone: signal bars empty, the GPRS, roaming and mailbox badges and the
    // forwarding note cleared (the battery is the computer's and stays).
    void ClearModemIndicators();
    void SetIndicator(StatusIcon icon, bool shown);
    void SetVolume(int level);
    bool IndicatorShown(StatusIcon icon) const;
    int BatteryImage() const { return m_batteryImage; }
    int SignalBars() const { return m_signal; }
    bool BatteryBlinking() const { return m_batteryBlink.isActive(); }

    // The call list / keypad toggle.
    void ShowCallList(bool show);
    bool CallListShown() const { return m_callListShown; }
    void ShowCallOptionsButton(bool show);
    bool CallOptionsButtonShown() const;
    QTreeWidget* CallList() const { return m_callList; }
    QPushButton* OptionButton(int id) const;
    RKButton* Button(int id) const { return m_buttons[id - 1]; }

    // The status reactions to engine events (the call reactions are the call handler's).
    // displayText: the engine's display text at the time of the event.
    // Returns true when the event was a status event handled here.
    bool HandleStatusEvent(const DialerEventMessage& message, const std::u16string& displayText);

    void SetMessagePort(IMessageBoxPort* messages) { m_messages = messages; }
    int UnreadCount() const { return m_unread; }
    void ResetUnreadCount();

    // Re-reads every localized label (after a language change).
    void RetranslateControls();

  signals:
    void ButtonClicked(int id);  // the sixteen dialer buttons
    void Command(int id);        // form commands 1057..1086
    void CallListRowActivated(int callIndex, const QString& stateText);
    // A key typed on the keyboard: "0"-"9", "+", "#", "*".
    void KeyTyped(QChar key);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QRect Map(const QRect& base) const;
    QRect SkinRect() const;
    void LayoutControls();
    void LoadButtonImages();
    void UpdateIconImages();
    QLabel* MakeText(int control, int pointSize, bool bold, Qt::Alignment align);

    QString m_portraitPath;
    QString m_landscapePath;
    QImage m_skin;
    Orientation m_orientation = Orientation::Portrait;
    QSize m_laidOutFor;
    std::array<RKButton*, kDialerButtonCount> m_buttons{};
    std::array<QLabel*, kStatusIconCount> m_icons{};
    std::array<bool, kStatusIconCount> m_iconShown{};
    int m_signal = 0;
    int m_batteryLevel = 0;
    int m_batteryImage = 0;
    int m_volume = 0;
    QTimer m_batteryBlink;  // timer 2
    QLabel* m_statusLine;
    QLabel* m_nameLine;
    QLabel* m_callStateLine;
    QLabel* m_timerLine;
    QLabel* m_numberField;
    QLabel* m_divertLine;
    QToolButton* m_volumeDown;
    QToolButton* m_volumeUp;
    QToolButton* m_callOptions;
    QToolButton* m_messageView;
    QTreeWidget* m_callList;
    std::array<QPushButton*, 7> m_optionButtons{};
    bool m_callListShown = false;
    IMessageBoxPort* m_messages = nullptr;
    int m_unread = 0;
};

}  // namespace qvl

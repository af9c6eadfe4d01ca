// QVLDialerToday (libQVLDialerToday.so): the phone's item on the Today screen. One 22-pixel line
// with the skinned button and "No new SMS message" or "%d new SMS message(s)"; a tap on the line
// or the button brings the phone up on its unread messages, or starts it. The phone sends the
// count as message 1324 to the window published on the session bus as "QVLDialerToday".
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

#include "today/todayapi.h"

namespace qvl {
class RKButton;
class DbusWindowPublisher;
class DbusWindowMessenger;
class PosixProgramStarter;
}  // namespace qvl

namespace qvl::today {

class MainProgramActivator;

inline constexpr int kItemHeight = 22;
inline constexpr std::uint32_t kWmNewMessageCount = kWmUser + 300;  // 1324, from the phone
inline constexpr std::uint32_t kWmButtonClicked = kWmUser + 99;     // the button's click
inline constexpr const char16_t* kItemWindowName = u"QVLDialerToday";

// The button's bitmaps 133 (normal and dragged off) and 134 (pressed): an envelope on the Today
// key colour, 16 x 16.
QImage TodayButtonImage(int id);

// The screen and tests, which do not link the library, read the line and whether the bus name
// was taken through the properties "text" and "published".
class TodayItemWindow final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ Text)
    Q_PROPERTY(bool published READ Published)
  public:
    TodayItemWindow(TodayListItem* item, QWidget* screen);
    ~TodayItemWindow() override;

    const QString& Text() const { return m_text; }
    // The item's published name could be taken (false: another Today item shows the phone
    // already; counts from the phone then go to that one).
    bool Published() const;
    // The tap: ActivateMainProgram.
    void Activate();
    // Message 1324: wParam 1 shows lParam new messages, anything else "No new SMS message".
    void SetNewMessages(std::int64_t wParam, std::int64_t lParam);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QWidget* m_screen;
    QString m_text;
    RKButton* m_button = nullptr;
    std::unique_ptr<DbusWindowMessenger> m_messenger;
    std::unique_ptr<PosixProgramStarter> m_starter;
    std::unique_ptr<MainProgramActivator> m_activator;
    std::unique_ptr<DbusWindowPublisher> m_publisher;
};

}  // namespace qvl::today

// The item's initialisation entry (exported by name): no window for a disabled item, else the
// item's window as a child of the screen's window (a QWidget).
extern "C" __attribute__((visibility("default"))) void* InitializeCustomItem(TodayListItem* item,
                                                                             void* parent);

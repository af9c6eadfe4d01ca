// The Qt form of a window message between the Today screen and its items (both live in one
// process: the screen loads the item's library): an event sent synchronously to the receiver's
// widget, which answers in result, as the handheld's SendMessage did. The event type is a fixed
// number, so that the host and every item library agree on it without registering it.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QRect>
#include <QWidget>

#include <cstdint>

namespace qvl::today {

inline constexpr QEvent::Type kTodayMessageEvent = static_cast<QEvent::Type>(QEvent::User + 1324);

class TodayMessage final : public QEvent {
  public:
    TodayMessage(std::uint32_t message, std::int64_t wParam, std::int64_t lParam)
        : QEvent(kTodayMessageEvent), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    std::uint32_t Message() const { return m_message; }
    std::int64_t WParam() const { return m_wParam; }
    std::int64_t LParam() const { return m_lParam; }
    std::int64_t Result() const { return m_result; }
    void SetResult(std::int64_t result) { m_result = result; }

  private:
    std::uint32_t m_message;
    std::int64_t m_wParam;
    std::int64_t m_lParam;
    std::int64_t m_result = 0;
};

// Sends message to widget and returns its answer (0 when it does not handle it, or there is no
// widget).
inline std::int64_t SendTodayMessage(QWidget* widget, std::uint32_t message, std::int64_t wParam,
                                     std::int64_t lParam) {
    if (widget == nullptr) {
        return 0;
    }
    TodayMessage m(message, wParam, lParam);
    QCoreApplication::sendEvent(widget, &m);
    return m.Result();
}

// The lParam of kTodaymDrawWatermark: paint the screen's background for rect (in the item's
// coordinates) with painter.
struct TodayWatermark {
    QPainter* painter;
    QRect rect;
    QWidget* item;
};

// The lParam of kTodaymItemStatus: the item's line of text and its window.
struct TodayItemStatus {
    const char16_t* text;
    QWidget* item;
};

}  // namespace qvl::today

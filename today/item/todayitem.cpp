#include "today/item/todayitem.h"

#include <QMouseEvent>
#include <QPainter>

#include "base/text.h"
#include "common/controls/rkbutton.h"
#include "common/lang/lang.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/ipc/programs.h"
#include "today/activation.h"
#include "today/qt/todaymessage.h"

namespace qvl::today {

namespace {

constexpr int kButtonId = 1;
constexpr int kMsgNoNewMessage = 5001;
constexpr int kMsgNewMessages = 5002;
constexpr int kMsgMainWindowTitle = 5003;

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

QColor FromColorRef(std::int64_t ref) {
    const auto v = static_cast<std::uint32_t>(ref);
    return QColor(static_cast<int>(v & 0xff), static_cast<int>((v >> 8) & 0xff),
                  static_cast<int>((v >> 16) & 0xff));
}

}  // namespace

QImage TodayButtonImage(int id) {
    // The artwork: a white envelope with a dark outline on the key colour (cut away), darker
    // and one pixel lower when pressed.
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kTodayKeyColour);
    const bool pressed = id == 134;
    QPainter p(&image);
    const QRect body = pressed ? QRect(1, 4, 13, 9) : QRect(1, 3, 13, 9);
    p.setPen(QColor(40, 60, 110));
    p.setBrush(pressed ? QColor(200, 210, 230) : QColor(250, 250, 250));
    p.drawRect(body);
    p.drawLine(body.topLeft(), body.center());
    p.drawLine(body.topRight(), body.center());
    return image;
}

TodayItemWindow::TodayItemWindow(TodayListItem*, QWidget* screen)
    : QWidget(screen),
      m_screen(screen),
      m_messenger(std::make_unique<DbusWindowMessenger>()),
      m_starter(std::make_unique<PosixProgramStarter>()) {
    setObjectName(QString::fromStdU16String(kItemWindowName));
    setWindowTitle(QString::fromStdU16String(kItemWindowName));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    const int width = screen != nullptr ? std::max(screen->width(), 240) : 240;
    setGeometry(0, 0, width, kItemHeight);
    m_text = Local(kMsgNoNewMessage);
    m_button = new RKButton(this, kButtonId, QRect(2, 2, 16, 16),
                            {TodayButtonImage(133), TodayButtonImage(134), TodayButtonImage(133)},
                            kTodayButton);
    m_button->show();
    connect(m_button, &RKButton::Clicked, this, [this](int id) {
        if (id == kButtonId) {
            Activate();
        }
    });
    m_activator = std::make_unique<MainProgramActivator>(
        *m_messenger, *m_starter, Local(kMsgMainWindowTitle).toStdU16String(),
        [](std::u16string& path) { return FindMainProgram(path); });
    // A connection of its own: its bus name goes with it when the item is unloaded.
    const std::string connection =
        "qvl-today-item-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    m_publisher = std::make_unique<DbusWindowPublisher>(
        kItemWindowName,
        [this](std::uint32_t message, std::int64_t wParam, std::int64_t lParam) -> std::int64_t {
            if (message == kWmNewMessageCount) {
                SetNewMessages(wParam, lParam);
                return 1;
            }
            return 0;
        },
        connection);
    if (!m_publisher->Publish()) {
        qWarning("QVLDialerToday: %s", m_publisher->Problem().c_str());
        m_publisher.reset();
    }
    show();
}

TodayItemWindow::~TodayItemWindow() = default;

bool TodayItemWindow::Published() const {
    return m_publisher != nullptr;
}

void TodayItemWindow::Activate() {
    const Activation a = m_activator->Activate();
    if (a == Activation::NotInstalled) {
        qWarning("QVLDialerToday: the phone is not installed (run qvl-install)");
    } else if (a == Activation::Failed) {
        qWarning("QVLDialerToday: the phone could not be reached or started");
    }
}

void TodayItemWindow::SetNewMessages(std::int64_t wParam, std::int64_t lParam) {
    if (wParam == 1) {
        QString text = Local(kMsgNewMessages);
        text.replace(QStringLiteral("%d"), QString::number(lParam));
        m_text = text;
    } else {
        m_text = Local(kMsgNoNewMessage);
    }
    update();
    // Our screen's addition: the tray shows the same count and line.
    const std::u16string line = m_text.toStdU16String();
    TodayItemStatus status{line.c_str(), this};
    SendTodayMessage(m_screen, kTodaymItemStatus, wParam == 1 ? lParam : 0,
                     reinterpret_cast<std::int64_t>(&status));
}

bool TodayItemWindow::event(QEvent* e) {
    if (e->type() != kTodayMessageEvent) {
        return QWidget::event(e);
    }
    auto* m = static_cast<TodayMessage*>(e);
    switch (m->Message()) {
        case kWmTodayCustomQueryRefreshCache: {
            auto* item = reinterpret_cast<TodayListItem*>(m->LParam());
            if (item != nullptr && item->height == 0) {
                item->height = kItemHeight;
                m->SetResult(1);
            }
            return true;
        }
        case kWmTodayCustomClearCache:
            return true;
        case kTodaymDrawWatermark:
            m->SetResult(
                SendTodayMessage(m_screen, kTodaymDrawWatermark, m->WParam(), m->LParam()));
            return true;
        case kWmNewMessageCount:
            // The count as the bus delivers it, also when handed over in the process.
            SetNewMessages(m->WParam(), m->LParam());
            m->SetResult(1);
            return true;
        case kWmLButtonUp:
        case kWmButtonClicked:
            if (m->Message() == kWmLButtonUp || m->WParam() == kButtonId) {
                Activate();
            }
            return true;
        default:
            return true;
    }
}

void TodayItemWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    TodayWatermark watermark{&p, rect(), this};
    if (SendTodayMessage(m_screen, kTodaymDrawWatermark, 0,
                         reinterpret_cast<std::int64_t>(&watermark)) == 0) {
        p.fillRect(rect(), Qt::white);
    }
    const std::int64_t colour =
        m_screen != nullptr && m_screen->isWidgetType()
            ? SendTodayMessage(m_screen, kTodaymGetColor, kTodayColorText, 0)
            : 0;
    p.setPen(FromColorRef(colour));
    QFont font(QStringLiteral("System"));
    font.setPixelSize(13);
    font.setWeight(QFont::Normal);
    p.setFont(font);
    p.drawText(QRect(QPoint(30, 2), QPoint(239, 17)), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

void TodayItemWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        Activate();
    }
}

}  // namespace qvl::today

extern "C" __attribute__((visibility("default"))) void* InitializeCustomItem(TodayListItem* item,
                                                                             void* parent) {
    if (item == nullptr || item->enabled == 0) {
        return nullptr;
    }
    auto* window = new qvl::today::TodayItemWindow(item, static_cast<QWidget*>(parent));
    item->window = window;
    return window;
}

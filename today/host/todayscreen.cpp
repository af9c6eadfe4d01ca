#include "today/host/todayscreen.h"

#include <QAction>
#include <QApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/ipc/broadcast.h"
#include "today/qt/todaymessage.h"

namespace qvl::today {

namespace {

constexpr int kScreenWidth = 240;
constexpr int kMsgTitle = 5010;
constexpr int kMsgShow = 5011;
constexpr int kMsgQuit = 5012;
constexpr int kMsgNoItems = 5013;
constexpr std::uint32_t kTextColour = 0x00202020;       // 0x00BBGGRR
constexpr std::uint32_t kHighlightColour = 0x00C07830;  // a blue

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

// The screen's background at a point of the screen: white into a light blue downwards.
QLinearGradient Background(int height) {
    QLinearGradient g(0, 0, 0, std::max(height, 1));
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(222, 233, 247));
    return g;
}

}  // namespace

TodayScreen::TodayScreen(std::string programDir, bool withTray)
    : QWidget(nullptr), m_programDir(std::move(programDir)) {
    setObjectName(QStringLiteral("TodayScreen"));
    setWindowTitle(Local(kMsgTitle));
    setFixedWidth(kScreenWidth);
    if (withTray) {
        m_tray = std::make_unique<QSystemTrayIcon>(TrayIcon(0));
        m_menu = std::make_unique<QMenu>();
        connect(m_menu->addAction(Local(kMsgShow)), &QAction::triggered, this, [this] {
            showNormal();
            raise();
            activateWindow();
        });
        connect(m_menu->addAction(Local(kMsgQuit)), &QAction::triggered, qApp, &QApplication::quit);
        m_tray->setContextMenu(m_menu.get());
        connect(
            m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    TapReportingItem();
                }
            });
        m_tray->show();
    }
}

TodayScreen::~TodayScreen() {
    // The items' code goes with their libraries: their windows go first.
    UnloadItems();
}

QWidget* TodayScreen::ItemWindow(int i) const {
    return i >= 0 && i < ItemCount() ? m_items[static_cast<std::size_t>(i)].window : nullptr;
}

void TodayScreen::LoadItems() {
    ++m_loads;
    m_problems.clear();
    for (const ItemEntry& entry : ReadItems()) {
        std::string problem;
        std::unique_ptr<LoadedItem> library = LoadedItem::Load(entry, m_programDir, problem);
        if (!library) {
            m_problems.push_back(WideToUtf8(entry.name) + ": " + problem);
            continue;
        }
        Item item;
        item.window = static_cast<QWidget*>(library->Initialize(this));
        item.library = std::move(library);
        if (item.window != nullptr) {
            // The item gives its height through the descriptor on the first query.
            SendTodayMessage(item.window, kWmTodayCustomQueryRefreshCache, 0,
                             reinterpret_cast<std::int64_t>(&item.library->Descriptor()));
        }
        m_items.push_back(std::move(item));
    }
    Layout();
}

void TodayScreen::UnloadItems() {
    m_reporter = nullptr;
    for (Item& item : m_items) {
        // An item may have destroyed its window itself; a guarded pointer tells.
        QPointer<QWidget> window(item.window);
        delete window.data();
        item.window = nullptr;
        item.library.reset();
    }
    m_items.clear();
}

void TodayScreen::ReloadItems() {
    UnloadItems();
    LoadItems();
}

void TodayScreen::OnSettingChange(uint wParam) {
    if (wParam != kTodayRefreshRequest || m_reloadQueued) {
        return;
    }
    // Not from inside the bus's delivery: the reload destroys objects of the items.
    m_reloadQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_reloadQueued = false;
        ReloadItems();
    });
}

void TodayScreen::Layout() {
    int y = 0;
    for (Item& item : m_items) {
        if (item.window == nullptr) {
            continue;
        }
        const int height = static_cast<int>(item.library->Descriptor().height);
        item.window->setGeometry(0, y, kScreenWidth, height > 0 ? height : item.window->height());
        y += item.window->height();
    }
    // Without an item the screen says why it is empty.
    setFixedHeight(y > 0 ? y : 44);
    update();
}

void TodayScreen::TapReportingItem() {
    QWidget* target = m_reporter;
    for (int i = 0; target == nullptr && i < ItemCount(); ++i) {
        target = ItemWindow(i);
    }
    SendTodayMessage(target, kWmLButtonUp, 0, 0);
}

QIcon TodayScreen::TrayIcon(int count) {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(2, 7, 28, 19);
    p.setPen(QPen(QColor(40, 60, 110), 2));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(body);
    p.drawLine(body.topLeft(), QPointF(body.center().x(), body.center().y() + 2));
    p.drawLine(body.topRight(), QPointF(body.center().x(), body.center().y() + 2));
    if (count > 0) {
        const QString n = count > 99 ? QStringLiteral("99+") : QString::number(count);
        QFont f;
        f.setPixelSize(12);
        f.setBold(true);
        p.setFont(f);
        const QRectF badge(14, 0, 18, 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 30, 30));
        p.drawRoundedRect(badge, 7, 7);
        p.setPen(Qt::white);
        p.drawText(badge, Qt::AlignCenter, n);
    }
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

bool TodayScreen::event(QEvent* e) {
    if (e->type() != kTodayMessageEvent) {
        return QWidget::event(e);
    }
    auto* m = static_cast<TodayMessage*>(e);
    switch (m->Message()) {
        case kTodaymGetColor:
            m->SetResult(m->WParam() == kTodayColorHighlight ? kHighlightColour : kTextColour);
            return true;
        case kTodaymDrawWatermark: {
            const auto* w = reinterpret_cast<const TodayWatermark*>(m->LParam());
            if (w == nullptr || w->painter == nullptr || w->item == nullptr) {
                return true;
            }
            // The gradient is the screen's: an item paints the part behind it.
            const QPoint at = w->item->mapTo(this, QPoint(0, 0));
            QLinearGradient g = Background(height());
            g.setStart(0, -at.y());
            g.setFinalStop(0, height() - at.y());
            w->painter->fillRect(w->rect, g);
            m->SetResult(1);
            return true;
        }
        case kTodaymItemStatus: {
            const auto* s = reinterpret_cast<const TodayItemStatus*>(m->LParam());
            m_count = static_cast<int>(std::max<std::int64_t>(m->WParam(), 0));
            m_text = s != nullptr && s->text != nullptr ? QString::fromUtf16(s->text) : QString();
            m_reporter = s != nullptr ? s->item : nullptr;
            if (m_tray) {
                m_tray->setIcon(TrayIcon(m_count));
                m_tray->setToolTip(m_text);
            }
            m->SetResult(1);
            return true;
        }
        default:
            return true;
    }
}

void TodayScreen::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Background(height()));
    bool any = false;
    for (const Item& item : m_items) {
        any = any || item.window != nullptr;
    }
    if (!any) {
        p.setPen(QColor(0x20, 0x20, 0x20));
        QFont f = font();
        f.setPixelSize(11);
        p.setFont(f);
        p.drawText(rect().adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::TextWordWrap,
                   Local(kMsgNoItems));
    }
}

}  // namespace qvl::today

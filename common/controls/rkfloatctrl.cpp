#include "common/controls/rkfloatctrl.h"

#include <algorithm>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace qvl {

RKFloatCtrl::RKFloatCtrl(QWidget* parent, FloatPlacement placement)
    : m_parent(parent), m_placement(placement) {}

RKFloatCtrl::~RKFloatCtrl() {
    Destroy();
}

void RKFloatCtrl::Create(int minimum, int maximum, int position, bool cancellable) {
    // A second Create replaces the first window rather than leaving it orphaned on screen.
    Destroy();
    m_canceled = false;
    // A window shown while a modal dialog is open belongs to that dialog: the dialog's modality
    // would otherwise keep the Cancel tap away from it.
    QWidget* modal = QApplication::activeModalWidget();
    m_window = new RKFloatWindow(modal != nullptr ? modal : m_parent, minimum, maximum, position,
                                 cancellable);
    QScreen* screen = m_parent != nullptr ? m_parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 240, 320);
    // Over the program's own window when there is one: on a desktop the "screen" of the
    // handheld is the program's window.
    const QRect over = m_parent != nullptr && m_parent->window()->isVisible()
                           ? m_parent->window()->frameGeometry()
                           : area;
    int top = over.y() + (over.height() - kHeight) / 2;
    switch (m_placement) {
        case FloatPlacement::Centre:
            break;
        case FloatPlacement::Upper:
            top -= (kHeight + kPairGap) / 2;
            break;
        case FloatPlacement::Lower:
            top += (kHeight + kPairGap) / 2;
            break;
    }
    m_window->move(over.x() + (over.width() - kWidth) / 2, top);
    m_window->show();
    m_window->raise();
    m_window->setFocus(Qt::OtherFocusReason);
}

void RKFloatCtrl::SetText(std::u16string_view text, int position) {
    if (m_window == nullptr) {
        return;
    }
    m_window->SetText(QString::fromStdU16String(std::u16string(text)));
    if (position != -1) {
        m_window->SetPosition(position);
    }
    m_window->repaint();
}

void RKFloatCtrl::Show(bool visible) {
    if (m_window != nullptr) {
        m_window->setVisible(visible);
    }
}

bool RKFloatCtrl::IsCanceled() const {
    if (m_window != nullptr) {
        return m_window->IsCanceled();
    }
    // After the window is gone the last answer still holds, so an operation that closes the
    // window before it looks at the flag does not lose the user's Cancel.
    return m_canceled;
}

void RKFloatCtrl::Close() {
    if (m_window != nullptr) {
        m_canceled = m_window->IsCanceled();
        delete m_window.data();
    }
}

void RKFloatCtrl::Destroy() {
    if (m_window != nullptr) {
        m_window->StopTimers();
    }
    Close();
}

RKFloatWindow* RKFloatCtrl::Window() const {
    return m_window.data();
}

RKFloatWindow::RKFloatWindow(QWidget* parent, int minimum, int maximum, int position,
                             bool cancellable)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_cancellable(cancellable) {
    setObjectName(QStringLiteral("RKFloatCtrl"));
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFixedSize(RKFloatCtrl::kWidth, RKFloatCtrl::kHeight);
    // A box with cut corners.
    setMask(QRegion(3, 0, 197, 97) + QRegion(0, 3, 197, 97));
    m_barTimer.setParent(this);
    m_stripTimer.setParent(this);
    m_barTimer.setObjectName(QStringLiteral("barTimer"));
    m_stripTimer.setObjectName(QStringLiteral("stripTimer"));
    connect(&m_barTimer, &QTimer::timeout, this, &RKFloatWindow::OnBarTimer);
    connect(&m_stripTimer, &QTimer::timeout, this, &RKFloatWindow::OnStripTimer);
    if (position == -1) {
        m_mode = Mode::Indeterminate;
        m_minimum = 0;
        m_maximum = 100;
        m_position = 0;
        m_barTimer.start(RKFloatCtrl::kTickMs);
    } else {
        m_mode = Mode::Determinate;
        m_minimum = minimum;
        m_maximum = maximum;
        m_position = position;
        m_stripTimer.start(RKFloatCtrl::kTickMs);
    }
}

void RKFloatWindow::StopTimers() {
    m_barTimer.stop();
    m_stripTimer.stop();
}

QRect RKFloatWindow::TextRect() const {
    return QRect(QPoint(9, 9), QPoint(width() - 7, height() - 32));
}

QRect RKFloatWindow::BarRect() const {
    return QRect(QPoint(10, height() - 26), QPoint(width() - 59, height() - 8));
}

QRect RKFloatWindow::CancelRect() const {
    return QRect(QPoint(width() - 57, height() - 27), QPoint(width() - 7, height() - 7));
}

void RKFloatWindow::OnBarTimer() {
    m_position += 2;
    if (m_position > 100) {
        m_position = 0;
    }
    update(BarRect());
}

void RKFloatWindow::OnStripTimer() {
    m_animation += 5 * m_direction;
    if (m_animation >= 90) {
        m_animation = 90;
        m_direction = -1;
    } else if (m_animation <= 0) {
        m_animation = 0;
        m_direction = 1;
    }
    update(QRect(QPoint(10, height() - 30), QPoint(width() - 59, height() - 28)));
}

void RKFloatWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QPen(QColor(0, 0, 160), 2));
    p.drawRect(rect().adjusted(1, 1, -2, -2));

    p.setPen(Qt::black);
    p.drawText(TextRect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_text);

    const QRect bar = BarRect();
    p.setPen(QColor(120, 120, 120));
    p.drawRect(bar);
    const int span = m_maximum - m_minimum;
    if (span > 0) {
        // The fill is clamped so that a position outside the range cannot paint past the bar.
        const long long done = std::clamp(m_position - m_minimum, 0, span);
        const int fill = static_cast<int>(done * (bar.width() - 1) / span);
        p.fillRect(QRect(bar.x() + 1, bar.y() + 1, fill, bar.height() - 1), QColor(0, 0, 200));
    }
    if (m_mode == Mode::Determinate) {
        const QRect strip(QPoint(10, height() - 30), QPoint(width() - 59, height() - 28));
        const int x = strip.x() + m_animation * (strip.width() - 20) / 90;
        p.fillRect(QRect(x, strip.y(), 20, strip.height()), QColor(0, 0, 200));
    }

    const QRect cancel = CancelRect();
    const QColor colour = m_cancellable ? QColor(0, 0, 200) : QColor(200, 200, 200);
    p.setPen(colour);
    p.drawRect(cancel);
    p.drawText(cancel, Qt::AlignCenter, QStringLiteral("Cancel"));
}

void RKFloatWindow::mousePressEvent(QMouseEvent* event) {
    if (m_cancellable && CancelRect().contains(event->position().toPoint())) {
        m_text = QStringLiteral("Canceling..");
        m_canceled = true;
        update();
        emit Canceled();
    }
}

}  // namespace qvl

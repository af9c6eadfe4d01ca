#include "common/controls/rkbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace qvl {

namespace {
int g_displayScale = 1;
}

int DisplayScale() {
    return g_displayScale;
}

void SetDisplayScale(int scale) {
    g_displayScale = scale == 2 ? 2 : 1;
}

RKButton::RKButton(QWidget* parent, int id, const QRect& rect, RKButtonImages images,
                   const RKButtonVariant& variant)
    : QWidget(parent), m_id(id), m_images(std::move(images)), m_variant(variant) {
    setObjectName(QStringLiteral("RKButton%1").arg(id));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_repeat.setObjectName(QStringLiteral("repeatTimer"));
    m_repeat.setParent(this);
    connect(&m_repeat, &QTimer::timeout, this, &RKButton::OnRepeatTimer);
    setGeometry(rect);
    CutShape();
    if (m_variant.creation == RKCreation::ShowAndFocus) {
        show();
        setFocus(Qt::OtherFocusReason);
    }
}

void RKButton::SetImages(RKButtonImages images) {
    m_images = std::move(images);
    CutShape();
    update();
}

QRegion RKButton::ShapeOf(const QImage& image, const QColor& keyColour, const QSize& size) {
    if (image.isNull() || size.isEmpty()) {
        return QRegion(QRect(QPoint(0, 0), size));
    }
    // Each horizontal run of pixels that are not the key colour becomes a rectangle one bitmap
    // row high, scaled to the window (by the display scale when the window is bitmap size times
    // the scale).
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRgb key = keyColour.rgb() & 0xffffffu;
    const int w = rgb.width();
    const int h = rgb.height();
    const auto sx = [&](int x) {
        return static_cast<int>(static_cast<long long>(x) * size.width() / w);
    };
    const auto sy = [&](int y) {
        return static_cast<int>(static_cast<long long>(y) * size.height() / h);
    };
    QRegion region;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && (line[x] & 0xffffffu) == key) {
                ++x;
            }
            const int start = x;
            while (x < w && (line[x] & 0xffffffu) != key) {
                ++x;
            }
            if (x > start) {
                region += QRect(QPoint(sx(start), sy(y)), QPoint(sx(x) - 1, sy(y + 1) - 1));
            }
        }
    }
    return region;
}

void RKButton::CutShape() {
    if (m_variant.paint == RKPaint::Unstretched) {
        // The Today variant paints its bitmap unscaled, so its shape is the bitmap's own.
        m_painted = m_images;
        setMask(ShapeOf(m_images.normal, m_variant.keyColour, m_images.normal.size()));
        return;
    }
    // The bitmaps are stretched once by pixel replication; the very pixels painted are the ones
    // the shape keeps, so no key-colour pixel shows at the edge whatever the window's size.
    const auto stretch = [this](const QImage& image) {
        if (image.isNull()) {
            return image;
        }
        // Bitmap pixels are window pixels here, whatever ratio the image file carried.
        QImage scaled = image.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        scaled.setDevicePixelRatio(1.0);
        return scaled;
    };
    m_painted = {stretch(m_images.normal), stretch(m_images.pressed), stretch(m_images.outside)};
    setMask(ShapeOf(m_painted.normal, m_variant.keyColour, size()));
}

void RKButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CutShape();
}

void RKButton::paintEvent(QPaintEvent*) {
    const QImage& image = m_state == kPressedInside    ? m_painted.pressed
                          : m_state == kPressedOutside ? m_painted.outside
                                                       : m_painted.normal;
    if (image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image);
}

void RKButton::SetState(int state) {
    if (state != m_state) {
        m_state = state;
        update();
    }
}

void RKButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (m_variant.repeat == RKRepeat::HoldRepeats) {
        m_inFirstInterval = true;
        m_repeat.start(kFirstRepeatMs);
    }
    // A button its parent made focus-less (the dialer keypad, whose keyboard belongs to the
    // form) leaves the focus where it is.
    if ((focusPolicy() & Qt::ClickFocus) != 0) {
        setFocus(Qt::MouseFocusReason);
    }
    m_tracking = true;
    m_state = kPressedInside;
    update();
}

// A double click arrives as press, release, double-click, release: treat the second press as
// a press again so that two quick taps give two clicks.
void RKButton::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void RKButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_tracking) {
        return;
    }
    SetState(rect().contains(event->position().toPoint()) ? kPressedInside : kPressedOutside);
}

void RKButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_tracking) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_tracking = false;
    m_state = kNormal;
    update();
    m_repeat.stop();
    if (rect().contains(event->position().toPoint())) {
        emit Clicked(m_id);
    }
}

void RKButton::OnRepeatTimer() {
    if (m_inFirstInterval) {
        m_inFirstInterval = false;
        m_repeat.start(kRepeatMs);
    }
    if (m_tracking && m_state == kPressedInside) {
        emit Clicked(m_id);
    }
}

void RKButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
            focusNextChild();
            return;
        case Qt::Key_Left:
        case Qt::Key_Up:
            focusPreviousChild();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            SetState(kPressedOutside);
            repaint();
            emit Clicked(m_id);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace qvl

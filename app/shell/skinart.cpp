#include "app/shell/skinart.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>

#include "common/controls/rkbutton.h"
#include "platform/devicefs.h"

namespace qvl {

namespace {

const QColor kInk(0x1d, 0x27, 0x3a);
const QColor kSubInk(0x6b, 0x77, 0x8c);
const QColor kKeyFace(0xff, 0xff, 0xff);
const QColor kKeyFacePressed(0xd3, 0xe1, 0xfb);
const QColor kKeyBorder(0xc6, 0xce, 0xda);
const QColor kPadBackground(0xe9, 0xed, 0xf3);
const QColor kPanelBackground(0xfb, 0xfc, 0xff);
const QColor kGreen(0x2f, 0xb3, 0x4f);
const QColor kRed(0xe0, 0x43, 0x4a);

// Antialiased art is drawn on a transparent layer and then flattened: pixels mostly covered are
// blended over the colour they will sit on, the rest become the key colour. So no edge pixel is
// a blue-tinted mix that the shape would keep.
QImage Flatten(const QImage& layer, const QColor& under) {
    QImage out(layer.size(), QImage::Format_RGB32);
    for (int y = 0; y < layer.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < layer.width(); ++x) {
            const QRgb p = src[x];  // premultiplied
            const int a = qAlpha(p);
            if (a < 128) {
                dst[x] = kMainKeyColour.rgb();
                continue;
            }
            const auto blend = [&](int c, int u) { return std::min(255, c + u * (255 - a) / 255); };
            QRgb v = qRgb(blend(qRed(p), under.red()), blend(qGreen(p), under.green()),
                          blend(qBlue(p), under.blue()));
            // Art must never produce the key colour itself.
            if ((v & 0xffffffu) == (kMainKeyColour.rgb() & 0xffffffu)) {
                v = qRgb(0, 0, 254);
            }
            dst[x] = v;
        }
    }
    return out;
}

QImage Layer(QSize size) {
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    return layer;
}

void DrawHandset(QPainter& p, QPointF centre, qreal size, qreal angle, const QColor& colour) {
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const qreal s = size / 2;
    QPainterPath path;
    path.moveTo(-s, -s * 0.35);
    path.cubicTo(-s * 0.6, s * 0.9, s * 0.6, s * 0.9, s, -s * 0.35);
    p.setPen(QPen(colour, size * 0.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(-s * 1.15, -s * 0.55, s * 0.6, s * 0.45), s * 0.15, s * 0.15);
    p.drawRoundedRect(QRectF(s * 0.55, -s * 0.55, s * 0.6, s * 0.45), s * 0.15, s * 0.15);
    p.restore();
}

void DrawPerson(QPainter& p, QPointF centre, qreal size, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(centre + QPointF(0, -size * 0.22), size * 0.2, size * 0.2);
    QPainterPath body;
    body.moveTo(centre + QPointF(-size * 0.38, size * 0.42));
    body.cubicTo(centre + QPointF(-size * 0.38, size * 0.02),
                 centre + QPointF(size * 0.38, size * 0.02),
                 centre + QPointF(size * 0.38, size * 0.42));
    body.closeSubpath();
    p.drawPath(body);
}

void DrawBackspace(QPainter& p, QPointF c, qreal size, const QColor& colour) {
    const qreal w = size * 0.55;
    const qreal h = size * 0.32;
    QPainterPath outline;
    outline.moveTo(c + QPointF(-w, 0));
    outline.lineTo(c + QPointF(-w * 0.45, -h));
    outline.lineTo(c + QPointF(w, -h));
    outline.lineTo(c + QPointF(w, h));
    outline.lineTo(c + QPointF(-w * 0.45, h));
    outline.closeSubpath();
    p.setPen(QPen(colour, size * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    const QPointF x = c + QPointF(w * 0.25, 0);
    const qreal d = h * 0.45;
    p.drawLine(x + QPointF(-d, -d), x + QPointF(d, d));
    p.drawLine(x + QPointF(-d, d), x + QPointF(d, -d));
}

const char* KeyLetters(int button) {
    static const char* kLetters[] = {"",     "ABC", "DEF",  "GHI", "JKL", "MNO",
                                     "PQRS", "TUV", "WXYZ", "",    "+",   ""};
    return button >= kKey1 && button <= kKeyHash ? kLetters[button - 1] : "";
}

void DrawEnvelope(QPainter& p, QRectF r, const QColor& colour) {
    p.setPen(QPen(colour, r.height() * 0.12));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.drawLine(r.topLeft() + QPointF(1, 1), r.center() + QPointF(0, r.height() * 0.1));
    p.drawLine(r.topRight() + QPointF(-1, 1), r.center() + QPointF(0, r.height() * 0.1));
}

}  // namespace

QImage DrawSkinBackground(Orientation orientation) {
    const SkinLayout& l = LayoutFor(orientation);
    QImage image(l.skin, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, 0, l.skin.height());
    ground.setColorAt(0, QColor(0xf3, 0xf5, 0xf9));
    ground.setColorAt(1, QColor(0xdf, 0xe4, 0xec));
    p.fillRect(image.rect(), ground);
    // The status bar.
    p.fillRect(QRect(0, 0, l.skin.width(), 20), QColor(0xff, 0xff, 0xff));
    p.fillRect(QRect(0, 19, l.skin.width(), 1), QColor(0xd5, 0xdb, 0xe5));
    // The display panel with a soft shadow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 22));
    p.drawRoundedRect(QRectF(l.panel).translated(0, 1.5), 9, 9);
    QLinearGradient panel(0, l.panel.top(), 0, l.panel.bottom());
    panel.setColorAt(0, QColor(0xff, 0xff, 0xff));
    panel.setColorAt(1, QColor(0xee, 0xf3, 0xfb));
    p.setBrush(panel);
    p.setPen(QPen(QColor(0xc9, 0xd3, 0xe2), 1));
    p.drawRoundedRect(QRectF(l.panel).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
    // A rule under the number field.
    p.setPen(QPen(QColor(0xc9, 0xd3, 0xe2), 1));
    const int ruleY = l.numberField.bottom() + 1;
    p.drawLine(QPointF(l.numberField.left() + 2, ruleY + 0.5),
               QPointF(l.numberField.right() - 2, ruleY + 0.5));
    return image;
}

QImage DrawButton(Orientation orientation, int button, int state, int scale) {
    const QRect base = LayoutFor(orientation).buttons[std::clamp(button, 1, 16) - 1];
    QImage layer = Layer(base.size() * scale);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    const QRectF face = QRectF(0.5, 0.5, base.width() - 1.0, base.height() - 2.0);
    const bool pressed = state == 1;
    const qreal radius = std::min(face.height(), face.width()) * 0.32;

    QColor fill = pressed ? kKeyFacePressed : kKeyFace;
    QColor border = kKeyBorder;
    QColor glyph = kInk;
    if (button == kCallButton) {
        fill = pressed ? kGreen.darker(125) : kGreen;
        border = kGreen.darker(115);
        glyph = Qt::white;
    } else if (button == kHangUpButton) {
        fill = pressed ? kRed.darker(125) : kRed;
        border = kRed.darker(115);
        glyph = Qt::white;
    } else if (button == kBackspaceButton || button == kContactButton) {
        fill = pressed ? QColor(0xc9, 0xd2, 0xe0) : QColor(0xf4, 0xf6, 0xfa);
        glyph = QColor(0x3c, 0x4a, 0x63);
    }
    // Shadow, then face.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9a, 0xa6, 0xb8));
    p.drawRoundedRect(face.translated(0, 1.2), radius, radius);
    p.setBrush(fill);
    p.setPen(QPen(border, 1));
    p.drawRoundedRect(face, radius, radius);

    const QPointF centre = face.center();
    const qreal h = face.height();
    if (const char16_t c = KeyCharacter(button); c != 0) {
        QFont big(QStringLiteral("DejaVu Sans"));
        big.setPixelSize(static_cast<int>(h * (button == kKeyStar ? 0.62 : 0.46)));
        p.setFont(big);
        p.setPen(glyph);
        const QString letters = QString::fromLatin1(KeyLetters(button));
        const bool landscapeKey = orientation == Orientation::Landscape;
        if (letters.isEmpty()) {
            p.drawText(face, Qt::AlignCenter, QString(QChar(c)));
        } else if (landscapeKey) {
            // Taller keys: letters under the digit.
            QRectF top = face.adjusted(0, 0, 0, -h * 0.30);
            p.drawText(top, Qt::AlignHCenter | Qt::AlignBottom, QString(QChar(c)));
            QFont small(QStringLiteral("DejaVu Sans"));
            small.setPixelSize(std::max(7, static_cast<int>(h * 0.2)));
            p.setFont(small);
            p.setPen(kSubInk);
            p.drawText(face.adjusted(0, h * 0.70, 0, 0), Qt::AlignHCenter | Qt::AlignTop, letters);
        } else {
            // Wide keys: letters beside the digit.
            QRectF left = face.adjusted(0, 0, -face.width() * 0.45, 0);
            p.drawText(left, Qt::AlignRight | Qt::AlignVCenter, QString(QChar(c)));
            QFont small(QStringLiteral("DejaVu Sans"));
            small.setPixelSize(std::max(7, static_cast<int>(h * 0.26)));
            small.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
            p.setFont(small);
            p.setPen(kSubInk);
            p.drawText(face.adjusted(face.width() * 0.6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       letters);
        }
    } else if (button == kCallButton) {
        DrawHandset(p, centre + QPointF(h * 0.02, h * 0.02), h * 0.5, 135, glyph);
    } else if (button == kHangUpButton) {
        DrawHandset(p, centre + QPointF(0, -h * 0.02), h * 0.5, 180, glyph);
    } else if (button == kBackspaceButton) {
        DrawBackspace(p, centre, h * 0.7, glyph);
    } else if (button == kContactButton) {
        DrawPerson(p, centre, h * 0.7, glyph);
    }
    p.end();
    return Flatten(layer, kPadBackground);
}

QImage DrawStatusIcon(StatusIcon icon, int level, int scale) {
    const int width = icon == StatusIcon::Volume ? 30 : 16;
    QImage layer = Layer(QSize(width, 16) * scale);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    const QColor on = kInk;
    const QColor off(0xc5, 0xcc, 0xd8);
    switch (icon) {
        case StatusIcon::Signal:
            for (int i = 0; i < 4; ++i) {
                const qreal bh = 4 + i * 3.3;
                p.setPen(Qt::NoPen);
                p.setBrush(i < level ? on : off);
                p.drawRoundedRect(QRectF(1.5 + i * 3.5, 15 - bh, 2.6, bh), 0.8, 0.8);
            }
            break;
        case StatusIcon::Battery: {
            if (level == kMainsImage) {
                // A mains plug: body, two pins, and the cable.
                p.setPen(Qt::NoPen);
                p.setBrush(on);
                p.drawRoundedRect(QRectF(3, 5, 8, 6), 1.5, 1.5);
                p.drawRect(QRectF(11, 6, 3.5, 1.4));
                p.drawRect(QRectF(11, 8.6, 3.5, 1.4));
                p.setPen(QPen(on, 1.4));
                p.setBrush(Qt::NoBrush);
                QPainterPath cable;
                cable.moveTo(3, 8);
                cable.cubicTo(0.5, 8, 2, 13, 0.8, 14.5);
                p.drawPath(cable);
                break;
            }
            p.setPen(QPen(on, 1.2));
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(1, 4.5, 12, 8), 1.5, 1.5);
            p.setPen(Qt::NoPen);
            p.setBrush(on);
            p.drawRect(QRectF(13, 6.5, 1.8, 4));
            const int bars = std::clamp(level, 0, 4);
            const QColor fill = level == 1 ? kRed : kGreen;
            for (int i = 0; i < bars; ++i) {
                p.setBrush(fill);
                p.drawRect(QRectF(2.6 + i * 2.6, 6.1, 2.0, 4.8));
            }
            if (level >= 5) {
                QPainterPath bolt;
                bolt.moveTo(8.5, 3);
                bolt.lineTo(4.5, 9);
                bolt.lineTo(7.3, 9);
                bolt.lineTo(6, 14);
                bolt.lineTo(10.5, 7.5);
                bolt.lineTo(7.7, 7.5);
                bolt.closeSubpath();
                p.setBrush(QColor(0xf2, 0xa9, 0x00));
                p.setPen(QPen(Qt::white, 0.6));
                p.drawPath(bolt);
            }
            break;
        }
        case StatusIcon::Gprs:
        case StatusIcon::Roaming: {
            p.setPen(Qt::NoPen);
            p.setBrush(icon == StatusIcon::Gprs ? QColor(0x1f, 0x6f, 0xd1)
                                                : QColor(0xd9, 0x7a, 0x06));
            p.drawRoundedRect(QRectF(1, 1.5, 14, 13), 3, 3);
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(10);
            f.setBold(true);
            p.setFont(f);
            p.setPen(Qt::white);
            p.drawText(QRectF(1, 1.5, 14, 13), Qt::AlignCenter,
                       icon == StatusIcon::Gprs ? QStringLiteral("G") : QStringLiteral("R"));
            break;
        }
        case StatusIcon::MailboxFull:
            DrawEnvelope(p, QRectF(1.5, 4, 11, 8), on);
            p.setPen(Qt::NoPen);
            p.setBrush(kRed);
            p.drawEllipse(QPointF(12.5, 4), 3, 3);
            break;
        case StatusIcon::NewMessage:
            DrawEnvelope(p, QRectF(1.5, 3.5, 13, 9), QColor(0x1f, 0x6f, 0xd1));
            break;
        case StatusIcon::Volume: {
            QPainterPath speaker;
            speaker.moveTo(1, 6);
            speaker.lineTo(4, 6);
            speaker.lineTo(8, 2.5);
            speaker.lineTo(8, 13.5);
            speaker.lineTo(4, 10);
            speaker.lineTo(1, 10);
            speaker.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(on);
            p.drawPath(speaker);
            for (int i = 0; i < 5; ++i) {
                const qreal bh = 3 + i * 2.4;
                p.setBrush(i < level ? on : off);
                p.drawRoundedRect(QRectF(11 + i * 3.7, 14 - bh, 2.5, bh), 0.7, 0.7);
            }
            break;
        }
    }
    p.end();
    return Flatten(layer, QColor(0xff, 0xff, 0xff));
}

QImage KeyColourToAlpha(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = kMainKeyColour.rgb() & 0xffffffu;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xffffffu) == key) {
                line[x] = 0;
            }
        }
    }
    return out;
}

QString DefaultSkinFolder() {
    return QString::fromStdString(DevicePath(u"\\My Documents\\bmp_files\\dialer.bmp"))
        .section(QLatin1Char('/'), 0, -2);
}

int InstallSkinArtwork(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        return -1;
    }
    QDir dir(folder);
    int written = 0;
    bool failed = false;
    const auto put = [&](const QString& name, auto draw) {
        const QString path = dir.filePath(name);
        if (QFile::exists(path)) {
            return;
        }
        // Written under a temporary name and renamed, so an interrupted first run never
        // leaves half a bitmap that would later count as present.
        const QString temp = path + QStringLiteral(".part");
        if (draw().convertToFormat(QImage::Format_RGB888).save(temp, "BMP") &&
            QFile::rename(temp, path)) {
            ++written;
        } else {
            QFile::remove(temp);
            failed = true;
        }
    };
    for (const Orientation o : {Orientation::Portrait, Orientation::Landscape}) {
        put(SkinFileName(o), [o] { return DrawSkinBackground(o); });
        for (int scale = 1; scale <= 2; ++scale) {
            for (int b = 1; b <= kDialerButtonCount; ++b) {
                for (int s = 0; s < 3; ++s) {
                    put(ButtonFileName(o, b, s, scale), [=] { return DrawButton(o, b, s, scale); });
                }
            }
        }
    }
    for (int scale = 1; scale <= 2; ++scale) {
        for (int i = 0; i < kStatusIconCount; ++i) {
            const auto icon = static_cast<StatusIcon>(i);
            for (int level = 0; level < IconLevels(icon); ++level) {
                put(IconFileName(icon, level, scale),
                    [=] { return DrawStatusIcon(icon, level, scale); });
            }
        }
    }
    return failed ? -1 : written;
}

namespace {

// Qt reads an "@2x" file name as a double-density image; the skin counts plain pixels.
QImage LoadPlainPixels(const QString& path) {
    QImage image(path);
    image.setDevicePixelRatio(1.0);
    return image;
}

}  // namespace

QImage LoadButtonImage(const QString& folder, Orientation orientation, int button, int state,
                       int scale) {
    QImage image =
        LoadPlainPixels(QDir(folder).filePath(ButtonFileName(orientation, button, state, scale)));
    return image.isNull() ? DrawButton(orientation, button, state, scale) : image;
}

QImage LoadStatusIcon(const QString& folder, StatusIcon icon, int level, int scale) {
    QImage image = LoadPlainPixels(QDir(folder).filePath(IconFileName(icon, level, scale)));
    return image.isNull() ? DrawStatusIcon(icon, level, scale) : image;
}

}  // namespace qvl

#include "app/shell/dialerview.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>

#include "app/shell/skinart.h"
#include "common/lang/lang.h"

namespace qvl {

namespace {

constexpr int kDialerForm = 100;
// Text colour of the status texts that sit on the skin.
const QColor kSkinText(0, 0, 225);

QString Local(int id) {
    return QString::fromStdU16String(LoadLocalString(id));
}

QString FormText(const char* control) {
    return QString::fromStdU16String(LoadDialogText(kDialerForm, control));
}

}  // namespace

CQVLDialerView::CQVLDialerView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CQVLDialerView"));
    setAutoFillBackground(false);
    m_statusLine = MakeText(kStatusLine, 10, true, Qt::AlignHCenter | Qt::AlignVCenter);
    m_nameLine = MakeText(kNameLine, 9, false, Qt::AlignLeft | Qt::AlignVCenter);
    m_callStateLine = MakeText(kCallStateLine, 9, false, Qt::AlignLeft | Qt::AlignVCenter);
    m_timerLine = MakeText(kTimerLine, 9, false, Qt::AlignRight | Qt::AlignVCenter);
    m_numberField = MakeText(kNumberField, 16, true, Qt::AlignRight | Qt::AlignVCenter);
    m_divertLine = MakeText(kDivertLine, 7, false, Qt::AlignLeft | Qt::AlignVCenter);
    m_divertLine->setWordWrap(true);

    for (int i = 0; i < kStatusIconCount; ++i) {
        m_icons[i] = new QLabel(this);
        m_icons[i]->setObjectName(QStringLiteral("icon%1").arg(i));
        m_icons[i]->setScaledContents(true);
        m_icons[i]->hide();
    }
    // The signal, battery and volume indicators are always there; the others come and go.
    m_iconShown[int(StatusIcon::Signal)] = true;
    m_iconShown[int(StatusIcon::Battery)] = true;
    m_iconShown[int(StatusIcon::Volume)] = true;

    const auto tool = [this](int id, const QString& text) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("cmd%1").arg(id));
        b->setText(text);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet(QStringLiteral(
            "QToolButton{color:#1d273a;border:none;border-radius:3px;font-weight:bold;}"
            "QToolButton:pressed{background:#d3e1fb;}"));
        connect(b, &QToolButton::clicked, this, [this, id] { emit Command(id); });
        return b;
    };
    m_volumeDown = tool(kCmdVolumeDown, QStringLiteral("\u2212"));
    m_volumeUp = tool(kCmdVolumeUp, QStringLiteral("+"));
    m_callOptions = tool(kCmdCallOptions, QString());
    m_messageView = tool(kCmdMessageView, QString());
    m_callOptions->setStyleSheet(
        QStringLiteral("QToolButton{color:white;background:#1f6fd1;border:none;border-radius:4px;"
                       "font-weight:bold;}QToolButton:pressed{background:#17539c;}"));
    m_messageView->setStyleSheet(QStringLiteral(
        "QToolButton{color:#1f6fd1;border:1px solid #9ab7e6;border-radius:4px;"
        "font-weight:bold;background:white;}QToolButton:pressed{background:#d3e1fb;}"));
    m_callOptions->hide();

    m_callList = new QTreeWidget(this);
    m_callList->setObjectName(QStringLiteral("callList"));
    m_callList->setColumnCount(2);
    m_callList->setRootIsDecorated(false);
    m_callList->setUniformRowHeights(true);
    // The number takes the room the state text leaves, and loses its leading digits first.
    m_callList->header()->setStretchLastSection(false);
    m_callList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_callList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_callList->setTextElideMode(Qt::ElideLeft);
    m_callList->setFocusPolicy(Qt::NoFocus);
    m_callList->hide();
    connect(m_callList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        emit CallListRowActivated(item->data(0, Qt::UserRole).toInt(), item->text(1));
    });
    const int optionIds[7] = {kCmdHoldActive, kCmdRetrieveHeld, kCmdSwap,  kCmdPrivate,
                              kCmdRelease,    kCmdConference,   kCmdKeypad};
    for (int i = 0; i < 7; ++i) {
        const int id = optionIds[i];
        auto* b = new QPushButton(this);
        b->setObjectName(QStringLiteral("cmd%1").arg(id));
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet(
            QStringLiteral("QPushButton{color:#1d273a;background:white;border:1px solid #c6ceda;"
                           "border-radius:6px;}QPushButton:pressed{background:#d3e1fb;}"
                           "QPushButton:disabled{color:#a8b0bd;}"));
        b->hide();
        connect(b, &QPushButton::clicked, this, [this, id] { emit Command(id); });
        m_optionButtons[i] = b;
    }

    for (int b = 1; b <= kDialerButtonCount; ++b) {
        m_buttons[b - 1] = new RKButton(this, b, QRect(0, 0, 10, 10), {});
        // The keyboard belongs to the form: a clicked key keeps no focus, so Enter always
        // means the call button and never presses the last key again.
        m_buttons[b - 1]->setFocusPolicy(Qt::NoFocus);
        m_buttons[b - 1]->clearFocus();
        connect(m_buttons[b - 1], &RKButton::Clicked, this, &CQVLDialerView::ButtonClicked);
    }
    setFocusPolicy(Qt::StrongFocus);

    m_batteryBlink.setObjectName(QStringLiteral("timer2"));
    m_batteryBlink.setParent(this);
    connect(&m_batteryBlink, &QTimer::timeout, this, [this] {
        m_batteryImage = m_batteryImage % 5 + 1;
        UpdateIconImages();
    });
    RetranslateControls();
}

QLabel* CQVLDialerView::MakeText(int control, int pointSize, bool bold, Qt::Alignment align) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("text%1").arg(control));
    label->setAlignment(align);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, kSkinText);
    label->setPalette(pal);
    QFont f = label->font();
    f.setPointSize(pointSize);
    f.setBold(bold);
    label->setFont(f);
    label->setProperty("basePointSize", pointSize);
    return label;
}

void CQVLDialerView::RetranslateControls() {
    m_callOptions->setText(FormText("1066"));
    m_messageView->setText(FormText("1060"));
    const char* names[7] = {"1069", "1070", "1071", "1072", "1073", "1074", "1086"};
    for (int i = 0; i < 7; ++i) {
        m_optionButtons[i]->setText(FormText(names[i]));
    }
    m_callList->setHeaderLabels({FormText("column0"), FormText("column1")});
}

void CQVLDialerView::SetSkinPaths(const QString& portrait, const QString& landscape) {
    m_portraitPath = portrait;
    m_landscapePath = landscape;
    ReloadSkin();
}

void CQVLDialerView::ReloadSkin() {
    const QString& path =
        m_orientation == Orientation::Landscape ? m_landscapePath : m_portraitPath;
    // A file that is missing or not a bitmap leaves the form on its plain background.
    m_skin = path.isEmpty() ? QImage() : QImage(path, "BMP");
    update();
}

QRect CQVLDialerView::SkinRect() const {
    QRect r = rect();
    // On a double-resolution layout the skin leaves a 24-pixel band at top and bottom.
    if (DisplayScale() == 2 && r.height() > 48) {
        r.adjust(0, 24, 0, -24);
    }
    if (m_orientation == Orientation::Landscape) {
        // A landscape window rarely has the skin's 4:3 shape: the skin keeps its proportions,
        // centred, so that the round keys stay round, rather than being stretched unevenly.
        const QSize skin = LayoutFor(m_orientation).skin;
        const QSize fitted = skin.scaled(r.size(), Qt::KeepAspectRatio);
        r = QRect(QPoint(r.x() + (r.width() - fitted.width()) / 2,
                         r.y() + (r.height() - fitted.height()) / 2),
                  fitted);
    }
    return r;
}

QRect CQVLDialerView::Map(const QRect& base) const {
    const QRect skin = SkinRect();
    const QSize size = LayoutFor(m_orientation).skin;
    const auto x = [&](int v) { return skin.x() + v * skin.width() / size.width(); };
    const auto y = [&](int v) { return skin.y() + v * skin.height() / size.height(); };
    return QRect(QPoint(x(base.left()), y(base.top())),
                 QPoint(x(base.right() + 1) - 1, y(base.bottom() + 1) - 1));
}

void CQVLDialerView::CheckOrientation() {
    const Orientation now = width() > height() ? Orientation::Landscape : Orientation::Portrait;
    const QSize base = LayoutFor(now).skin;
    const int scale = width() >= 2 * base.width() && height() >= 2 * base.height() - 48 ? 2 : 1;
    SetDisplayScale(scale);
    ApplyUiScale(scale);
    if (now != m_orientation) {
        m_orientation = now;
        ReloadSkin();
    }
    if (m_laidOutFor != size()) {
        LayoutControls();
    }
}

void ApplyUiScale(int scale) {
    // The dialogs, message boxes, the menu bar and the message pane use the application font;
    // at scale 2 it doubles with the dialer, so that they are not drawn at half the size.
    static int applied = 1;
    static QFont base;
    if (scale == applied || QApplication::instance() == nullptr) {
        return;
    }
    if (applied == 1) {
        base = QApplication::font();
    }
    QFont f = base;
    if (base.pointSizeF() > 0) {
        f.setPointSizeF(base.pointSizeF() * scale);
    } else if (base.pixelSize() > 0) {
        f.setPixelSize(base.pixelSize() * scale);
    }
    QApplication::setFont(f);
    applied = scale;
}

void CQVLDialerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CheckOrientation();
}

void CQVLDialerView::keyPressEvent(QKeyEvent* event) {
    // A desktop keyboard types like the keypad; Enter calls, Escape hangs up.
    const QString text = event->text();
    if (text.size() == 1 && QStringLiteral("0123456789+#*").contains(text[0])) {
        emit KeyTyped(text[0]);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Backspace:
            emit ButtonClicked(kBackspaceButton);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit ButtonClicked(kCallButton);
            return;
        case Qt::Key_Escape:
            emit ButtonClicked(kHangUpButton);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CQVLDialerView::LoadButtonImages() {
    const QString folder = DefaultSkinFolder();
    const int scale = DisplayScale();
    for (int b = 1; b <= kDialerButtonCount; ++b) {
        m_buttons[b - 1]->SetImages({LoadButtonImage(folder, m_orientation, b, 0, scale),
                                     LoadButtonImage(folder, m_orientation, b, 1, scale),
                                     LoadButtonImage(folder, m_orientation, b, 2, scale)});
    }
    UpdateIconImages();
}

void CQVLDialerView::UpdateIconImages() {
    const QString folder = DefaultSkinFolder();
    const int scale = DisplayScale();
    for (int i = 0; i < kStatusIconCount; ++i) {
        const auto icon = static_cast<StatusIcon>(i);
        int level = 0;
        switch (icon) {
            case StatusIcon::Signal:
                level = m_signal;
                break;
            case StatusIcon::Battery:
                level = m_batteryImage;
                break;
            case StatusIcon::Volume:
                level = m_volume;
                break;
            case StatusIcon::Gprs:
            case StatusIcon::Roaming:
            case StatusIcon::MailboxFull:
            case StatusIcon::NewMessage:
                level = 0;
                break;
        }
        level = std::clamp(level, 0, IconLevels(icon) - 1);
        m_icons[i]->setPixmap(
            QPixmap::fromImage(KeyColourToAlpha(LoadStatusIcon(folder, icon, level, scale))));
        m_icons[i]->setVisible(m_iconShown[i]);
    }
}

void CQVLDialerView::LayoutControls() {
    m_laidOutFor = size();
    const SkinLayout& l = LayoutFor(m_orientation);
    for (int b = 1; b <= kDialerButtonCount; ++b) {
        m_buttons[b - 1]->setGeometry(Map(l.buttons[b - 1]));
    }
    LoadButtonImages();
    const qreal fontScale = qreal(SkinRect().height()) / l.skin.height();
    const auto place = [&](QLabel* label, const QRect& r) {
        label->setGeometry(Map(r));
        QFont f = label->font();
        f.setPixelSize(
            std::max(6, int(label->property("basePointSize").toInt() * 1.33 * fontScale)));
        label->setFont(f);
    };
    place(m_statusLine, l.statusLine);
    place(m_nameLine, l.nameLine);
    place(m_callStateLine, l.callStateLine);
    place(m_timerLine, l.timerLine);
    place(m_numberField, l.numberField);
    place(m_divertLine, l.divertLine);
    SetText(kNumberField, m_numberField->text());
    for (int i = 0; i < kStatusIconCount; ++i) {
        m_icons[i]->setGeometry(Map(l.icons[i]));
    }
    m_volumeDown->setGeometry(Map(l.volumeDown));
    m_volumeUp->setGeometry(Map(l.volumeUp));
    m_callOptions->setGeometry(Map(l.callOptions));
    m_messageView->setGeometry(Map(l.messageView));
    m_callList->setGeometry(Map(l.callList));
    for (int i = 0; i < 7; ++i) {
        m_optionButtons[i]->setGeometry(Map(l.callListButtons[i]));
    }
    QFont small = font();
    small.setPixelSize(std::max(8, int(10 * fontScale)));
    m_callList->setFont(small);
    for (QToolButton* b : {m_volumeDown, m_volumeUp, m_callOptions, m_messageView}) {
        QFont f = b->font();
        f.setPixelSize(
            std::max(8, int((b == m_volumeDown || b == m_volumeUp ? 14 : 9) * fontScale)));
        // A long label ("Call Options", "Opciones de llamada") shrinks to fit its button.
        while (f.pixelSize() > 6 && QFontMetrics(f).horizontalAdvance(b->text()) > b->width() - 4) {
            f.setPixelSize(f.pixelSize() - 1);
        }
        b->setFont(f);
    }
    for (QPushButton* b : m_optionButtons) {
        QFont f = b->font();
        f.setPixelSize(std::max(8, int(9 * fontScale)));
        b->setFont(f);
    }
    update();
}

void CQVLDialerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_skin.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(SkinRect(), m_skin);
    }
}

QString CQVLDialerView::Text(int control) const {
    switch (control) {
        case kStatusLine:
            return m_statusLine->text();
        case kNameLine:
            return m_nameLine->text();
        case kCallStateLine:
            return m_callStateLine->text();
        case kTimerLine:
            return m_timerLine->text();
        case kNumberField:
            return m_numberField->text();
        case kDivertLine:
            return m_divertLine->text();
        default:
            return {};
    }
}

void CQVLDialerView::SetText(int control, const QString& text) {
    switch (control) {
        case kStatusLine:
            m_statusLine->setText(text);
            break;
        case kNameLine:
            m_nameLine->setText(text);
            break;
        case kCallStateLine:
            m_callStateLine->setText(text);
            break;
        case kTimerLine:
            m_timerLine->setText(text);
            break;
        case kNumberField: {
            // A long number shrinks rather than losing its first digits.
            m_numberField->setText(text);
            QFont f = m_numberField->font();
            const int full =
                std::max(6, int(m_numberField->property("basePointSize").toInt() * 1.33 *
                                SkinRect().height() / LayoutFor(m_orientation).skin.height()));
            f.setPixelSize(full);
            while (f.pixelSize() > 8 &&
                   QFontMetrics(f).horizontalAdvance(text) > m_numberField->width() - 2) {
                f.setPixelSize(f.pixelSize() - 1);
            }
            m_numberField->setFont(f);
            break;
        }
        case kDivertLine:
        case kDivertLine2:
            m_divertLine->setText(text);
            break;
        default:
            break;
    }
}

void CQVLDialerView::SetSignal(int bars) {
    m_signal = std::clamp(bars, 0, 4);
    UpdateIconImages();
}

void CQVLDialerView::SetBattery(int level, bool batteryPresent) {
    m_batteryLevel = level;
    m_batteryImage = std::clamp(level, 0, 5);
    if (!batteryPresent && level == 5) {
        // Nothing charges on a machine without a battery: a steady mains plug.
        m_batteryImage = kMainsImage;
        m_batteryBlink.stop();
        UpdateIconImages();
        return;
    }
    // Level 5 (a battery charging or on mains) steps through the five images.
    if (level == 5) {
        if (!m_batteryBlink.isActive()) {
            m_batteryBlink.start(500);
        }
    } else {
        m_batteryBlink.stop();
    }
    UpdateIconImages();
}

void CQVLDialerView::ClearModemIndicators() {
    SetSignal(0);
    SetIndicator(StatusIcon::Gprs, false);
    SetIndicator(StatusIcon::Roaming, false);
    SetIndicator(StatusIcon::MailboxFull, false);
    SetText(kDivertLine, QString());
}

void CQVLDialerView::SetIndicator(StatusIcon icon, bool shown) {
    m_iconShown[int(icon)] = shown;
    m_icons[int(icon)]->setVisible(shown);
}

bool CQVLDialerView::IndicatorShown(StatusIcon icon) const {
    return m_iconShown[int(icon)];
}

void CQVLDialerView::SetVolume(int level) {
    m_volume = std::clamp(level, 0, 5);
    UpdateIconImages();
}

void CQVLDialerView::ResetUnreadCount() {
    m_unread = 0;
    SetIndicator(StatusIcon::NewMessage, false);
}

void CQVLDialerView::ShowCallList(bool show) {
    m_callListShown = show;
    for (int i = kKey1; i <= kKeyHash; ++i) {
        m_buttons[i - 1]->setVisible(!show);
    }
    m_callList->setVisible(show);
    for (QPushButton* b : m_optionButtons) {
        b->setVisible(show);
    }
}

void CQVLDialerView::ShowCallOptionsButton(bool show) {
    m_callOptions->setVisible(show);
}

bool CQVLDialerView::CallOptionsButtonShown() const {
    return !m_callOptions->isHidden();
}

QPushButton* CQVLDialerView::OptionButton(int id) const {
    for (QPushButton* b : m_optionButtons) {
        if (b->objectName() == QStringLiteral("cmd%1").arg(id)) {
            return b;
        }
    }
    return nullptr;
}

bool CQVLDialerView::HandleStatusEvent(const DialerEventMessage& message,
                                       const std::u16string& displayText) {
    const auto ask = [this](int id) {
        if (m_messages != nullptr) {
            m_messages->ShowMessage(LoadLocalString(id), u"QVL SMS/Phone", MsgButtons::Ok,
                                    MsgIcon::Information);
        }
    };
    const auto arg = message.arg;
    switch (message.event) {
        case DialerEvent::Searching:
            SetText(kStatusLine, Local(5104));
            return true;
        case DialerEvent::Operator:
            SetText(kStatusLine, QString::fromStdU16String(displayText));
            return true;
        case DialerEvent::PinCanceled:
            ask(5017);
            SetText(kStatusLine, Local(5080));
            return true;
        case DialerEvent::SimBlocked:
            ask(5018);
            SetText(kStatusLine, Local(5081));
            return true;
        case DialerEvent::NoSim:
            SetText(kStatusLine, Local(5083));
            return true;
        case DialerEvent::Signal:
            SetSignal(int(arg));
            return true;
        case DialerEvent::Battery:
            SetBattery(int(arg));
            return true;
        case DialerEvent::GprsAttach:
            SetIndicator(StatusIcon::Gprs, arg == 1);
            return true;
        case DialerEvent::MailboxFull:
            SetIndicator(StatusIcon::MailboxFull, arg == 1);
            return true;
        case DialerEvent::Roaming:
            SetIndicator(StatusIcon::Roaming, arg == 1);
            return true;
        case DialerEvent::Volume:
            SetVolume(int(arg));
            return true;
        case DialerEvent::NewSms:
            SetIndicator(StatusIcon::NewMessage, true);
            ++m_unread;
            return true;
        case DialerEvent::StatusReport: {
            if (!message.report || m_messages == nullptr) {
                return true;
            }
            const StatusReportRecord& r = *message.report;
            const int id = r.status == 0   ? 5217
                           : r.status == 1 ? 5218
                           : r.status == 2 ? 5219
                                           : 5220;
            QString text = Local(id);
            // The two %s are the number and the discharge time; filled in order, never as a
            // format string, so a number cannot inject format directives.
            qsizetype from = 0;
            for (const std::u16string* piece : {&r.number, &r.dischargeTime}) {
                const qsizetype at = text.indexOf(QStringLiteral("%s"), from);
                if (at < 0) {
                    break;
                }
                const QString value = QString::fromStdU16String(*piece);
                text.replace(at, 2, value);
                from = at + value.size();
            }
            m_messages->ShowMessage(text.toStdU16String(), u"QVL SMS/Phone", MsgButtons::Ok,
                                    MsgIcon::Information);
            return true;
        }
        case DialerEvent::Diverted:
            SetText(kDivertLine, Local(5095) + QString::fromStdU16String(displayText));
            return true;
        case DialerEvent::NotDiverted:
            SetText(kDivertLine, QString());
            return true;
        case DialerEvent::CfCardError:
        case DialerEvent::PortError:
        case DialerEvent::IncomingCall:
        case DialerEvent::CallMissed:
        case DialerEvent::CallWaiting:
        case DialerEvent::CallConnected:
        case DialerEvent::NoCarrier:
        case DialerEvent::SuppService:
            return false;
    }
    return false;
}

}  // namespace qvl

#include "app/contacts/ui/speeddialdlg.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "common/controls/qtuiports.h"
#include "common/lang/lang.h"

namespace qvl::contactsui {

namespace {

constexpr int kMsgLoadFailed = 5049;
constexpr int kMsgStoreFailed = 5050;
constexpr int kMsgVoiceMailNotSet = 5051;
constexpr int kTextSpeedDial = 5073;
constexpr int kTextVoiceMail = 5091;
constexpr int kTextNoNumber = 5092;

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// The menu buttons' pictures: an arrow pointing down beside a button in the tall layout and
// one pointing left (to the menu that opens over the buttons) in the wide layout.
QIcon MenuPicture(bool landscape) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 225));
    const QPolygonF arrow = landscape ? QPolygonF({QPointF(11, 3), QPointF(11, 13), QPointF(4, 8)})
                                      : QPolygonF({QPointF(3, 5), QPointF(13, 5), QPointF(8, 12)});
    painter.drawPolygon(arrow);
    return QIcon(pixmap);
}

}  // namespace

CQVLSpeedDialDlg::CQVLSpeedDialDlg(SpeedDialPorts ports, bool landscape, QWidget* parent)
    : QDialog(parent), m_ports(std::move(ports)), m_landscape(landscape) {
    setObjectName(QStringLiteral("CQVLSpeedDialDlg"));
    setWindowTitle(Q(LoadLocalString(kTextSpeedDial)));
    m_title = new QLabel(Q(LoadLocalString(kTextSpeedDial)), this);
    m_title->setObjectName(QStringLiteral("title"));
    QFont bold(QStringLiteral("Arial"), 15);
    bold.setBold(true);
    m_title->setFont(bold);

    auto* categories = m_landscape ? static_cast<QBoxLayout*>(new QVBoxLayout)
                                   : static_cast<QBoxLayout*>(new QHBoxLayout);
    for (int c = 0; c < kSpeedDialCategoryCount; ++c) {
        const std::string control = "category" + std::to_string(c);
        auto* button = new QPushButton(Q(LoadDialogText(kDlgSpeedDial, control)), this);
        button->setObjectName(QString::fromStdString(control));
        button->setCheckable(true);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, c] { ShowCategory(c); });
        categories->addWidget(button);
        m_categories[static_cast<std::size_t>(c)] = button;
    }
    if (m_landscape) {
        categories->addStretch();
    }
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    const QIcon picture = MenuPicture(m_landscape);
    for (int b = 0; b < kSpeedDialButtonCount; ++b) {
        auto* speed = new QPushButton(this);
        speed->setObjectName(QStringLiteral("speed%1").arg(b));
        speed->setAutoDefault(false);
        speed->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        connect(speed, &QPushButton::clicked, this, [this, b] { ChooseButton(b); });
        auto* menu = new QToolButton(this);
        menu->setObjectName(QStringLiteral("menu%1").arg(b));
        menu->setIcon(picture);
        menu->setAutoRaise(true);
        connect(menu, &QToolButton::clicked, this, [this, b] { OpenSlotMenu(b); });
        grid->addWidget(speed, b, 0);
        grid->addWidget(menu, b, 1);
        m_speed[static_cast<std::size_t>(b)] = speed;
        m_menus[static_cast<std::size_t>(b)] = menu;
    }
    auto* ok = new QPushButton(Q(LoadDialogText(kDlgSpeedDial, "ok")), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setAutoDefault(false);
    auto* cancel = new QPushButton(Q(LoadDialogText(kDlgSpeedDial, "cancel")), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CQVLSpeedDialDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CQVLSpeedDialDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    if (m_landscape) {
        auto* body = new QHBoxLayout;
        body->addLayout(categories);
        body->addLayout(grid, 1);
        layout->addLayout(body, 1);
    } else {
        layout->addLayout(categories);
        layout->addLayout(grid);
        layout->addStretch(1);
    }
    layout->addLayout(buttons);
    resize(m_landscape ? QSize(320, 240) : QSize(240, 320));

    if (!LoadSpeedDial(m_slots)) {
        Tell(kMsgLoadFailed, MsgButtons::Ok, MsgIcon::Error);
    }
    ShowCategory(0);
}

MsgAnswer CQVLSpeedDialDlg::Tell(int messageId, MsgButtons buttons, MsgIcon icon) {
    QtMessageBoxPort own(this);
    IMessageBoxPort* port = m_ports.messages != nullptr ? m_ports.messages : &own;
    return port->ShowMessage(LoadLocalString(messageId), LoadLocalString(kTextSpeedDial), buttons,
                             icon);
}

void CQVLSpeedDialDlg::ShowCategory(int category) {
    if (category < 0 || category >= kSpeedDialCategoryCount) {
        return;
    }
    m_category = category;
    for (int c = 0; c < kSpeedDialCategoryCount; ++c) {
        m_categories[static_cast<std::size_t>(c)]->setChecked(c == category);
    }
    for (int b = 0; b < kSpeedDialButtonCount; ++b) {
        const bool voiceMail = category == 0 && b == 0;
        const SpeedDialSlot& slot = Slot(b);
        QString caption = voiceMail   ? Q(LoadLocalString(kTextVoiceMail))
                          : slot.used ? Q(SpeedDialCaption(slot))
                                      : Q(LoadLocalString(kTextNoNumber));
        // A name holding "&" shows it, not a shortcut.
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        m_speed[static_cast<std::size_t>(b)]->setText(caption);
        // The Voice Mail button has no menu.
        m_menus[static_cast<std::size_t>(b)]->setEnabled(!voiceMail);
    }
}

bool CQVLSpeedDialDlg::Store() {
    if (StoreSpeedDial(m_slots)) {
        return true;
    }
    Tell(kMsgStoreFailed, MsgButtons::Ok, MsgIcon::Error);
    return false;
}

void CQVLSpeedDialDlg::ChooseButton(int button) {
    if (button < 0 || button >= kSpeedDialButtonCount) {
        return;
    }
    QString number;
    if (m_category == 0 && button == 0) {
        if (m_ports.voiceMailNumber) {
            number = m_ports.voiceMailNumber();
        } else {
            number = Q(ReadSettingString(kRootLocalMachine, keys::kKeySmsSettings,
                                         keys::kValueVoiceMailNo, u""));
        }
        if (number.isEmpty()) {
            if (Tell(kMsgVoiceMailNotSet, MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::Yes &&
                m_ports.openSmsSettings) {
                m_ports.openSmsSettings();
            }
            return;
        }
    } else {
        const SpeedDialSlot& slot = Slot(button);
        if (!slot.used) {
            return;
        }
        number = Q(slot.number);
    }
    // The choice closes the dialog even when the slots could not be stored.
    Store();
    m_result = number;
    QDialog::accept();
}

void CQVLSpeedDialDlg::OpenSlotMenu(int button) {
    if (button < 0 || button >= kSpeedDialButtonCount || (m_category == 0 && button == 0)) {
        return;
    }
    m_menuButton = button;
    QMenu menu(this);
    for (const MenuItem& top : LoadLocalMenu(kMenuSpeed)) {
        for (const MenuItem& item : top.items) {
            if (item.separator) {
                menu.addSeparator();
                continue;
            }
            QAction* action = menu.addAction(Q(item.text));
            action->setData(item.command);
            action->setObjectName(QStringLiteral("command%1").arg(item.command));
            action->setEnabled((item.command != kCmdImportFromSim || m_ports.pickAddress) &&
                               (item.command != kCmdModify || m_ports.editEntry));
        }
    }
    QToolButton* anchor = m_menus[static_cast<std::size_t>(button)];
    const QPoint pos = anchor->mapToGlobal(QPoint(0, anchor->height()));
    QAction* chosen = nullptr;
    const auto run = [&] {
        chosen = m_ports.runMenu ? m_ports.runMenu(menu, pos) : menu.exec(pos);
    };
    if (m_ports.holdPoll) {
        m_ports.holdPoll(run);
    } else {
        run();
    }
    if (chosen != nullptr && chosen->isEnabled()) {
        RunSlotCommand(chosen->data().toInt());
    }
}

void CQVLSpeedDialDlg::RunSlotCommand(int command) {
    if (m_menuButton < 0) {
        return;
    }
    SpeedDialSlot& slot = Slot(m_menuButton);
    std::optional<NameAndNumber> result;
    switch (command) {
        case kCmdImportFromSim:
            if (m_ports.pickAddress) {
                result = m_ports.pickAddress(this);
            }
            break;
        case kCmdModify:
            if (m_ports.editEntry) {
                const NameAndNumber current =
                    slot.used ? NameAndNumber{Q(slot.name), Q(slot.number)} : NameAndNumber{};
                result = m_ports.editEntry(current, this);
            }
            break;
        case kCmdDeleteSlot:
            // Name and number stay in memory, but are no longer shown or stored.
            slot.used = false;
            break;
        default:
            return;
    }
    if (result && !result->number.isEmpty()) {
        slot.name = result->name.toStdU16String();
        slot.number = result->number.toStdU16String();
        slot.used = true;
    }
    ShowCategory(m_category);
}

void CQVLSpeedDialDlg::accept() {
    if (!Store()) {
        return;
    }
    m_result.clear();
    QDialog::accept();
}

}  // namespace qvl::contactsui

#include "app/sms/ui/readdialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/sms/ui/messagemodel.h"

namespace qvl::smsui {

CQVLReadDialog::CQVLReadDialog(const SmsUiPorts& ports, const MessageRow& row, QWidget* parent)
    : QDialog(parent),
      m_number(QString::fromStdU16String(row.number)),
      m_text(QString::fromStdU16String(row.text)),
      m_time(QString::fromStdU16String(row.time)) {
    setWindowTitle(DlgText(kDlgRead, "caption"));
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(DlgText(kDlgRead, "number"), this), 0, 0);
    auto* number = new QLabel(m_number, this);
    number->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fields->addWidget(number, 0, 1);
    fields->addWidget(new QLabel(DlgText(kDlgRead, "time"), this), 1, 0);
    // The time as the list shows it ("dd/mm hh:mm"); the whole stored text is the tooltip.
    auto* time = new QLabel(ShortTime(row.time), this);
    time->setObjectName(QStringLiteral("timeText"));
    time->setToolTip(m_time);
    fields->addWidget(time, 1, 1);
    auto* text = new QPlainTextEdit(m_text, this);
    text->setReadOnly(true);
    // A long message wraps in the dialog's width instead of widening the dialog.
    text->setMinimumWidth(0);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    number->setWordWrap(true);

    struct Button {
        const char* control;
        ReadAction action;
    };
    static constexpr Button kButtons[] = {{"reply", ReadAction::kReply},
                                          {"forward", ReadAction::kForward},
                                          {"call", ReadAction::kCall},
                                          {"delete", ReadAction::kDelete},
                                          {"close", ReadAction::kClose}};
    const bool landscape = ports.IsLandscape();
    // Landscape: text on the left, fields and a column of buttons on the right. Portrait:
    // fields, text, then the buttons in two columns, since five in a row are wider than a
    // portrait screen.
    auto* buttons = new QGridLayout;
    int index = 0;
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(DlgText(kDlgRead, b.control), this);
        button->setObjectName(QString::fromLatin1(b.control));
        button->setMinimumWidth(0);
        const ReadAction action = b.action;
        connect(button, &QPushButton::clicked, this, [this, action] { Choose(action); });
        if (landscape) {
            buttons->addWidget(button, index, 0);
        } else {
            buttons->addWidget(button, index / 2, index % 2);
        }
        ++index;
    }
    if (row.number.empty()) {
        findChild<QPushButton*>(QStringLiteral("call"))->setEnabled(false);
        findChild<QPushButton*>(QStringLiteral("reply"))->setEnabled(false);
    }
    if (landscape) {
        auto* main = new QHBoxLayout(this);
        main->addWidget(text, 1);
        auto* side = new QVBoxLayout;
        side->addLayout(fields);
        side->addLayout(buttons);
        side->addStretch(1);
        main->addLayout(side);
    } else {
        auto* main = new QVBoxLayout(this);
        main->addLayout(fields);
        main->addWidget(text, 1);
        main->addLayout(buttons);
    }
}

void CQVLReadDialog::Choose(ReadAction action) {
    m_action = action;
    if (action == ReadAction::kClose) {
        reject();
    } else {
        accept();
    }
}

QString CQVLReadDialog::ShownNumber() const {
    return m_number;
}
QString CQVLReadDialog::ShownText() const {
    return m_text;
}
QString CQVLReadDialog::ShownTime() const {
    return m_time;
}

}  // namespace qvl::smsui

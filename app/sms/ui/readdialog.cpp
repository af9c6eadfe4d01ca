#include "app/sms/ui/readdialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

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
    fields->addWidget(new QLabel(m_time, this), 1, 1);
    auto* text = new QPlainTextEdit(m_text, this);
    text->setReadOnly(true);

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
    // fields, text, then a row of buttons.
    auto* buttons = new QBoxLayout(landscape ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(DlgText(kDlgRead, b.control), this);
        button->setObjectName(QString::fromLatin1(b.control));
        const ReadAction action = b.action;
        connect(button, &QPushButton::clicked, this, [this, action] { Choose(action); });
        buttons->addWidget(button);
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

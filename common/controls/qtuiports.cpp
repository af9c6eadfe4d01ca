#include "common/controls/qtuiports.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace qvl {

MsgAnswer QtMessageBoxPort::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                        MsgButtons buttons, MsgIcon icon) {
    QMessageBox box(m_parent);
    // The texts use CR LF line breaks; a CR alone would show as a box.
    QString body = QString::fromStdU16String(std::u16string(text));
    body.remove(QLatin1Char('\r'));
    box.setText(body);
    box.setWindowTitle(QString::fromStdU16String(std::u16string(caption)));
    switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MsgButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Retry:
            return MsgAnswer::Retry;
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        default:
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
}

void QtMessagePump::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace qvl

#include "app/sms/ui/smsuiports.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

#include "common/lang/lang.h"

namespace qvl::smsui {

int SmsUiPorts::Run(QDialog& dialog) const {
    return runDialog ? runDialog(dialog) : dialog.exec();
}

MsgAnswer SmsUiPorts::Ask(QWidget* parent, std::u16string_view text, MsgButtons buttons,
                          MsgIcon icon) const {
    const std::u16string caption = LoadDialogText(kDlgMessageView, "caption");
    if (messages != nullptr) {
        return messages->ShowMessage(text, caption, buttons, icon);
    }
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdU16String(caption));
    box.setText(QString::fromStdU16String(std::u16string(text)));
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
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        default:
            return MsgAnswer::Cancel;
    }
}

QString SmsUiPorts::ChooseFile(QWidget* parent, FileDialogKind kind, const QString& title,
                               const QString& filter) const {
    if (chooseFile) {
        return chooseFile(kind, title, filter);
    }
    return kind == FileDialogKind::Save ? QFileDialog::getSaveFileName(parent, title, {}, filter)
                                        : QFileDialog::getOpenFileName(parent, title, {}, filter);
}

bool SmsUiPorts::AskText(QWidget* parent, const QString& title, QString& text) const {
    if (askText) {
        return askText(title, text);
    }
    bool ok = false;
    text = QInputDialog::getText(parent, title, title, QLineEdit::Normal, text, &ok);
    return ok;
}

bool SmsUiPorts::IsLandscape() const {
    if (landscape) {
        return landscape();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    const QSize size = screen->size();
    return size.width() > size.height();
}

QString Msg(int englishId) {
    return QString::fromStdU16String(LoadLocalString(englishId));
}

QString DlgText(int englishDialogId, std::string_view control) {
    return QString::fromStdU16String(LoadDialogText(englishDialogId, control));
}

}  // namespace qvl::smsui

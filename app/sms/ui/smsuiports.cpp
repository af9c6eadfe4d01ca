#include "app/sms/ui/smsuiports.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QScreen>

#include "common/lang/lang.h"
#include "common/controls/qtuiports.h"

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
    return QtMessageBoxPort(parent).ShowMessage(text, caption, buttons, icon);
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

#include "app/sms/ui/smsuiports.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QScreen>

#include "app/sms/store/recordstore.h"
#include "base/text.h"
#include "common/controls/qtuiports.h"
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

void SmsUiPorts::TellStoreProblems(QWidget* parent) const {
    for (const auto& problem : sms::TakeStoreProblems()) {
        Ask(parent, StoreProblemText(problem), MsgButtons::Ok, MsgIcon::Warning);
    }
}

namespace {

// Puts the arguments, in order, in place of the "%s" and "%d" of a text.
std::u16string Fill(std::u16string_view format, std::initializer_list<std::u16string> args) {
    std::u16string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() &&
            (format[i + 1] == u's' || format[i + 1] == u'd') && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

}  // namespace

std::u16string StoreProblemText(const sms::StoreProblem& problem) {
    using Kind = sms::StoreProblem::Kind;
    const std::u16string path = Utf8ToWide(problem.path);
    const std::u16string records = Utf8ToWide(std::to_string(problem.recordsKept));
    switch (problem.kind) {
        case Kind::kCannotOpen:
            return Fill(LoadLocalString(kMsgFileUnreadable), {path, Utf8ToWide(problem.reason)});
        case Kind::kNewerVersion:
            return Fill(LoadLocalString(kMsgFileNewer), {path});
        case Kind::kDamaged:
            return problem.copyPath.empty()
                       ? Fill(LoadLocalString(kMsgFileDamagedNoCopy), {path, records})
                       : Fill(LoadLocalString(kMsgFileDamagedKept),
                              {path, records, Utf8ToWide(problem.copyPath)});
        case Kind::kNotSaved:
            return Fill(LoadLocalString(kMsgChangeNotSaved), {path, Utf8ToWide(problem.reason)});
    }
    return {};
}

QString Msg(int englishId) {
    return QString::fromStdU16String(LoadLocalString(englishId));
}

QString DlgText(int englishDialogId, std::string_view control) {
    return QString::fromStdU16String(LoadDialogText(englishDialogId, control));
}

}  // namespace qvl::smsui

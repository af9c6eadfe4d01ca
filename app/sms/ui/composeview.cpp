#include "app/sms/ui/composeview.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "app/sms/codec/smscodec.h"
#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/folderdialogs.h"
#include "base/text.h"

namespace qvl::smsui {

namespace {

// A text file larger than this is cut: it is far beyond what one message may carry.
constexpr qint64 kMaxImportBytes = 64 * 1024;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// A push button that may be narrower than its text: the text is then cut with "..." and shown
// whole as the tooltip. The German texts of the compose buttons are wider than half a portrait
// screen.
class ElidingButton : public QPushButton {
  public:
    ElidingButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setToolTip(text);
        // The layout may give the button less than its text's width (down to its minimum size
        // hint), but never more height.
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override {
        const QSize full = QPushButton::minimumSizeHint();
        const int wanted = ChromeWidth() + fontMetrics().horizontalAdvance(QStringLiteral("M..."));
        return {std::min(full.width(), wanted), full.height()};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const int room = width() - ChromeWidth();
        option.text = fontMetrics().elidedText(text(), Qt::ElideRight, std::max(room, 0));
        painter.drawControl(QStyle::CE_PushButton, option);
    }

  private:
    // The button's width beyond its text: the style's frame and padding.
    int ChromeWidth() const {
        QStyleOptionButton option;
        initStyleOption(&option);
        const int textWidth = fontMetrics().horizontalAdvance(text());
        return style()
                   ->sizeFromContents(QStyle::CT_PushButton, &option,
                                      QSize(textWidth, fontMetrics().height()), this)
                   .width() -
               textWidth;
    }
};

}  // namespace

std::vector<std::u16string> SplitRecipients(std::u16string_view to) {
    std::vector<std::u16string> result;
    std::u16string piece;
    for (std::size_t i = 0; i <= to.size(); ++i) {
        if (i == to.size() || to[i] == u';') {
            if (!piece.empty()) {
                result.push_back(std::move(piece));
            }
            piece.clear();
        } else if (!IsBlank(to[i])) {
            piece.push_back(to[i]);
        }
    }
    return result;
}

bool IsDialableNumber(std::u16string_view number) {
    std::size_t digits = 0;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char16_t c = number[i];
        if (c == u'+' && i == 0) {
            continue;
        }
        if ((c >= u'0' && c <= u'9') || c == u'*' || c == u'#') {
            ++digits;
            continue;
        }
        return false;
    }
    // The address field of a PDU holds at most 20 digits.
    return digits > 0 && digits <= 20;
}

QString CounterText(const QString& text) {
    const sms::SmsLengthInfo info = sms::ComputeLength(text.toStdU16String());
    return DlgText(kDlgCompose, "counter").arg(info.parts).arg(info.used).arg(info.left);
}

CQVLComposeView::CQVLComposeView(const SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(DlgText(kDlgCompose, "caption"));
    m_mode = new QComboBox(this);
    m_mode->addItem(DlgText(kDlgCompose, "sms"));
    m_mode->addItem(DlgText(kDlgCompose, "mms"));
    // MMS composition is not offered on this screen yet; the entry is shown but cannot be
    // chosen.
    m_mode->setItemData(1, 0, Qt::UserRole - 1);  // the item flags: not selectable
    m_to = new QLineEdit(this);
    m_text = new QPlainTextEdit(this);
    m_counter = new QLabel(this);
    QPushButton* send = new ElidingButton(DlgText(kDlgCompose, "send"), this);
    m_saveIn = new ElidingButton(Msg(kTextSaveIn), this);
    m_useTemplate = new ElidingButton(Msg(kTextUseTemplate), this);
    QPushButton* import = new ElidingButton(DlgText(kDlgCompose, "import"), this);
    QPushButton* cancel = new ElidingButton(DlgText(kDlgCompose, "cancel"), this);
    send->setObjectName(QStringLiteral("send"));

    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(DlgText(kDlgCompose, "to"), this));
    head->addWidget(m_to, 1);
    head->addWidget(m_mode);
    const bool landscape = m_ports.IsLandscape();
    // Landscape: one column beside the text. Portrait: two columns under it, because five
    // buttons in a row are wider than a portrait screen (in German by far).
    auto* buttons = new QGridLayout;
    int index = 0;
    for (QPushButton* b : {send, m_saveIn, m_useTemplate, import, cancel}) {
        if (landscape) {
            buttons->addWidget(b, index, 0);
        } else {
            buttons->addWidget(b, index / 2, index % 2);
        }
        ++index;
    }
    auto* body = new QVBoxLayout;
    body->addLayout(head);
    body->addWidget(m_text, 1);
    body->addWidget(m_counter);
    auto* main =
        new QBoxLayout(landscape ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    main->addLayout(body, 1);
    main->addLayout(buttons);

    connect(m_text, &QPlainTextEdit::textChanged, this, [this] { UpdateCounter(); });
    connect(send, &QPushButton::clicked, this, [this] { Send(); });
    connect(m_saveIn, &QPushButton::clicked, this, [this] { ShowSaveInMenu(); });
    connect(m_useTemplate, &QPushButton::clicked, this, [this] { ShowTemplateMenu(); });
    connect(import, &QPushButton::clicked, this, [this] { ChooseImportFile(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateCounter();
}

void CQVLComposeView::SetTo(const QString& to) {
    m_to->setText(to);
}
void CQVLComposeView::SetText(const QString& text) {
    m_text->setPlainText(text);
}
void CQVLComposeView::SetOriginal(const MessageRow& row) {
    m_original = row;
}

void CQVLComposeView::UpdateCounter() {
    m_counter->setText(CounterText(m_text->toPlainText()));
}

std::vector<SendOutcome> CQVLComposeView::Send() {
    const auto recipients = SplitRecipients(m_to->text().toStdU16String());
    if (recipients.empty()) {
        m_ports.Ask(this, Msg(kMsgNoRecipient).toStdU16String(), MsgButtons::Ok, MsgIcon::Warning);
        return {};
    }
    const std::u16string text = m_text->toPlainText().toStdU16String();
    std::vector<SendOutcome> outcomes;
    for (const auto& number : recipients) {
        // A number the codec cannot address is not handed to the modem; it counts as a failed
        // send and is filed under "Out Unsent" like any other failure.
        const bool sent = IsDialableNumber(number) && m_ports.modem != nullptr &&
                          m_ports.modem->SendText(number, text) == 1;
        outcomes.push_back({number, sent});
        const std::u16string notice =
            Msg(sent ? kMsgSent : kMsgSendFailed).toStdU16String() + u" <" + number + u">";
        m_ports.Ask(this, notice, MsgButtons::Ok, MsgIcon::Information);
        // One record and one save per recipient, so what was sent is on file even when a
        // later recipient hangs the modem.
        sms::ChangeFile(sms::SmsStorePath(), [&](sms::CRecordStore& store) {
            RemoveOriginal(store);
            sms::SaveMessageIn(store, number, text,
                               sent ? sms::kFolderOutSent : sms::kFolderOutUnsent);
            return true;
        });
    }
    accept();
    return outcomes;
}

bool CQVLComposeView::SaveIn(std::int32_t folderChoice) {
    const std::int32_t key = ResolveFolderChoice(m_ports, this, folderChoice);
    if (key == kNoFolder) {
        return false;
    }
    const std::optional<MessageRow> original = m_original;
    const sms::FileChange done =
        sms::ChangeFile(sms::SmsStorePath(), [&](sms::CRecordStore& store) {
            RemoveOriginal(store);
            return sms::SaveMessageIn(store, m_to->text().toStdU16String(),
                                      m_text->toPlainText().toStdU16String(), key);
        });
    if (done != sms::FileChange::kSaved) {
        m_original = original;  // nothing was saved: the store file stays as it was
        m_ports.TellStoreProblems(this);
        return false;
    }
    accept();
    return true;
}

void CQVLComposeView::RemoveOriginal(sms::CRecordStore& store) {
    if (!m_original) {
        return;
    }
    // The original goes before the new record is filed: the two are often equal (a draft sent
    // unchanged), and the store keeps only one of two equal messages.
    const std::int32_t id = ResolveSmsId(store, *m_original);
    if (id >= 0) {
        store.Remove(sms::RecordType::kMessage, id);
    }
    m_original.reset();
}

bool CQVLComposeView::UseTemplate(std::int32_t key) {
    sms::CRecordStore templates;
    templates.Load(sms::TemplateStorePath());
    for (const auto& record : templates.Records()) {
        if (const auto* t = std::get_if<sms::TemplateRecord>(&record); t && t->key == key) {
            m_text->insertPlainText(QString::fromStdU16String(t->text));
            return true;
        }
    }
    return false;
}

bool CQVLComposeView::ImportFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.read(kMaxImportBytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text = QString::fromStdU16String(AnsiToWide(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    }
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    m_text->setPlainText(text);
    return true;
}

void CQVLComposeView::ShowSaveInMenu() {
    QMenu menu(Msg(kTextSaveIn), this);
    FillFolderMenu(menu);
    if (QAction* chosen = menu.exec(m_saveIn->mapToGlobal(QPoint(0, m_saveIn->height())))) {
        SaveIn(chosen->data().toInt());
    }
}

void CQVLComposeView::ShowTemplateMenu() {
    QMenu menu(Msg(kTextUseTemplate), this);
    sms::CRecordStore templates;
    templates.Load(sms::TemplateStorePath());
    for (const auto& record : templates.Records()) {
        if (const auto* t = std::get_if<sms::TemplateRecord>(&record)) {
            menu.addAction(QString::fromStdU16String(t->title))->setData(t->key);
        }
    }
    if (QAction* chosen =
            menu.exec(m_useTemplate->mapToGlobal(QPoint(0, m_useTemplate->height())))) {
        UseTemplate(chosen->data().toInt());
    }
}

void CQVLComposeView::ChooseImportFile() {
    const QString path = m_ports.ChooseFile(this, FileDialogKind::Open, QStringLiteral("Open File"),
                                            QStringLiteral("All (*.TXT *.txt)"));
    if (!path.isEmpty()) {
        ImportFile(path);
    }
}

}  // namespace qvl::smsui

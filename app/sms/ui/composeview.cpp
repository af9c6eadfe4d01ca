#include "app/sms/ui/composeview.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolButton>
#include <algorithm>

#include "app/contacts/contactrows.h"
#include "app/sms/codec/smscodec.h"
#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/folderdialogs.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "mmsclient/mmsencode.h"

namespace qvl::smsui {

namespace {

// A text file larger than this is cut: it is far beyond what one message may carry.
constexpr qint64 kMaxImportBytes = 64 * 1024;

// The event of the post-send notification: the next user event type after QEvent::User, as
// 0x401 is the first message after 0x400.
const QEvent::Type kPostSendEvent =
    static_cast<QEvent::Type>(QEvent::User + CQVLComposeView::kPostSendMessage - 0x400);

// The file chooser's filter of the object files the MMS library knows by extension.
QString ObjectFilter() {
    return DlgText(kDlgCompose, "objectfilter") +
           QStringLiteral(
               " (*.BMP *.GIF *.JPG *.JPEG *.JPE *.TIF *.TIFF *.PNG *.WBMP *.WAV "
               "*.WMA *.WMV *.MPEG *.MP3 *.bmp *.gif *.jpg *.jpeg *.jpe *.tif *.tiff "
               "*.png *.wbmp *.wav *.wma *.wmv *.mpeg *.mp3)");
}

// "12 345 B" style figures read badly on a small screen: octets up to 1 KB, then KB with one
// decimal.
QString SizeText(qint64 octets) {
    if (octets < 1024) {
        return QStringLiteral("%1 B").arg(octets);
    }
    return QStringLiteral("%1 KB").arg(static_cast<double>(octets) / 1024.0, 0, 'f', 1);
}

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

QString AppendRecipient(const QString& field, const QString& number) {
    if (number.isEmpty()) {
        return field;
    }
    return field.trimmed().isEmpty() ? number : field + QStringLiteral(";") + number;
}

QString CounterText(const QString& text) {
    const sms::SmsLengthInfo info = sms::ComputeLength(text.toStdU16String());
    return DlgText(kDlgCompose, "counter").arg(info.parts).arg(info.used).arg(info.left);
}

// The button beside a recipient field: opens the Address Book and appends the chosen number to
// that field. Hidden when the program gives no way to pick one.
QToolButton* CQVLComposeView::AddressBookButton(QLineEdit* field, QWidget* parent,
                                                const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(QStringLiteral("..."));
    button->setToolTip(Msg(kTextAddressBook));
    button->setVisible(static_cast<bool>(m_ports.pickNumber));
    connect(button, &QToolButton::clicked, this, [this, field] {
        if (const auto number = m_ports.pickNumber(this)) {
            field->setText(AppendRecipient(field->text(), *number));
        }
    });
    return button;
}

CQVLComposeView::CQVLComposeView(const SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(DlgText(kDlgCompose, "caption"));
    m_mode = new QComboBox(this);
    m_mode->addItem(DlgText(kDlgCompose, "sms"));
    m_mode->addItem(DlgText(kDlgCompose, "mms"));
    m_to = new QLineEdit(this);
    m_text = new QPlainTextEdit(this);
    m_counter = new QLabel(this);
    QPushButton* send = new ElidingButton(DlgText(kDlgCompose, "send"), this);
    m_saveIn = new ElidingButton(Msg(kTextSaveIn), this);
    m_useTemplate = new ElidingButton(Msg(kTextUseTemplate), this);
    if (m_ports.pickContact) {
        m_insertContact = new ElidingButton(Msg(kTextInsertContact), this);
        m_insertContact->setObjectName(QStringLiteral("insertContact"));
    }
    m_import = new ElidingButton(DlgText(kDlgCompose, "import"), this);
    QPushButton* import = m_import;
    QPushButton* cancel = new ElidingButton(DlgText(kDlgCompose, "cancel"), this);
    send->setObjectName(QStringLiteral("send"));

    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(DlgText(kDlgCompose, "to"), this));
    head->addWidget(m_to, 1);
    m_toAddressBook = AddressBookButton(m_to, this, QStringLiteral("toAddressBook"));
    head->addWidget(m_toAddressBook);
    head->addWidget(m_mode);
    const bool landscape = m_ports.IsLandscape();
    // Landscape: one column beside the text. Portrait: two columns under it, because five
    // buttons in a row are wider than a portrait screen (in German by far).
    auto* buttons = new QGridLayout;
    int index = 0;
    std::vector<QPushButton*> all = {send, m_saveIn, m_useTemplate, import, cancel};
    if (m_insertContact != nullptr) {
        all.insert(all.begin() + 3, m_insertContact);
    }
    for (QPushButton* b : all) {
        if (landscape) {
            buttons->addWidget(b, index, 0);
        } else {
            buttons->addWidget(b, index / 2, index % 2);
        }
        ++index;
    }
    // The MMS fields, shown in MMS mode only.
    m_mmsPanel = new QWidget(this);
    m_cc = new QLineEdit(m_mmsPanel);
    m_subject = new QLineEdit(m_mmsPanel);
    m_objects = new QComboBox(m_mmsPanel);
    m_objects->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_objects->setMinimumContentsLength(8);
    m_size = new QLabel(m_mmsPanel);
    QPushButton* addObject = new ElidingButton(DlgText(kDlgCompose, "addobject"), m_mmsPanel);
    QPushButton* removeObject = new ElidingButton(DlgText(kDlgCompose, "removeobject"), m_mmsPanel);
    addObject->setObjectName(QStringLiteral("addobject"));
    removeObject->setObjectName(QStringLiteral("removeobject"));
    auto* mms = new QGridLayout(m_mmsPanel);
    mms->setContentsMargins(0, 0, 0, 0);
    mms->addWidget(new QLabel(DlgText(kDlgCompose, "cc"), m_mmsPanel), 0, 0);
    mms->addWidget(m_cc, 0, 1, 1, 2);
    m_ccAddressBook = AddressBookButton(m_cc, m_mmsPanel, QStringLiteral("ccAddressBook"));
    mms->addWidget(m_ccAddressBook, 0, 3);
    mms->addWidget(new QLabel(DlgText(kDlgCompose, "subject"), m_mmsPanel), 1, 0);
    mms->addWidget(m_subject, 1, 1, 1, 2);
    mms->addWidget(new QLabel(DlgText(kDlgCompose, "objects"), m_mmsPanel), 2, 0);
    mms->addWidget(m_objects, 2, 1, 1, 2);
    mms->addWidget(addObject, 3, 1);
    mms->addWidget(removeObject, 3, 2);
    mms->setColumnStretch(1, 1);
    mms->setColumnStretch(2, 1);
    m_mmsPanel->setVisible(false);

    auto* body = new QVBoxLayout;
    body->addLayout(head);
    body->addWidget(m_mmsPanel);
    body->addWidget(m_text, 1);
    body->addWidget(m_counter);
    body->addWidget(m_size);
    m_size->setVisible(false);
    auto* main =
        new QBoxLayout(landscape ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    main->addLayout(body, 1);
    main->addLayout(buttons);

    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        UpdateCounter();
        UpdateSize();
    });
    connect(m_subject, &QLineEdit::textChanged, this, [this] { UpdateSize(); });
    connect(m_mode, &QComboBox::activated, this,
            [this](int chosen) { SetMode(chosen == 1 ? Mode::kMms : Mode::kSms); });
    connect(addObject, &QPushButton::clicked, this, [this] { ChooseObject(); });
    connect(removeObject, &QPushButton::clicked, this, [this] { RemoveObject(); });
    connect(send, &QPushButton::clicked, this, [this] {
        if (CurrentMode() == Mode::kMms) {
            SendMms();
        } else {
            Send();
        }
    });
    connect(m_saveIn, &QPushButton::clicked, this, [this] { ShowSaveInMenu(); });
    connect(m_useTemplate, &QPushButton::clicked, this, [this] { ShowTemplateMenu(); });
    if (m_insertContact != nullptr) {
        connect(m_insertContact, &QPushButton::clicked, this, [this] { PickContact(); });
    }
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

void CQVLComposeView::SetMode(Mode mode) {
    const bool mmsMode = mode == Mode::kMms;
    m_mode->setCurrentIndex(mmsMode ? 1 : 0);
    m_mmsPanel->setVisible(mmsMode);
    m_size->setVisible(mmsMode);
    m_counter->setVisible(!mmsMode);
    // Filing in a folder and the text import belong to SMS.
    m_saveIn->setVisible(!mmsMode);
    m_import->setVisible(!mmsMode);
    UpdateSize();
}

CQVLComposeView::Mode CQVLComposeView::CurrentMode() const {
    return m_mode->currentIndex() == 1 ? Mode::kMms : Mode::kSms;
}

void CQVLComposeView::ChooseObject() {
    const QString path =
        m_ports.ChooseFile(this, FileDialogKind::Open, QStringLiteral("Open File"), ObjectFilter());
    if (!path.isEmpty()) {
        AddObject(path);
    }
}

bool CQVLComposeView::AddObject(const QString& path) {
    const std::u16string wide = path.toStdU16String();
    if (!mms::IsStorableObjectPath(wide)) {
        m_ports.Ask(this, LoadLocalString(mms::kMsgBadObjectPath), MsgButtons::Ok,
                    MsgIcon::Warning);
        return false;
    }
    m_objects->addItem(path, static_cast<int>(mms::MediaTypeFromPath(wide)));
    m_objects->setCurrentIndex(m_objects->count() - 1);
    UpdateSize();
    return true;
}

void CQVLComposeView::RemoveObject() {
    if (m_objects->currentIndex() >= 0) {
        m_objects->removeItem(m_objects->currentIndex());
        UpdateSize();
    }
}

qint64 CQVLComposeView::MessageSize() const {
    qint64 size = m_text->toPlainText().toUtf8().size() + m_subject->text().toUtf8().size();
    for (int i = 0; i < m_objects->count(); ++i) {
        // A file that is gone counts nothing here; the send tells.
        size += std::max<qint64>(0, QFileInfo(m_objects->itemText(i)).size());
    }
    return size;
}

void CQVLComposeView::UpdateSize() {
    if (CurrentMode() == Mode::kMms) {
        m_size->setText(DlgText(kDlgCompose, "size").arg(SizeText(MessageSize())));
    }
}

mms::ComposedMms CQVLComposeView::ComposedMms() const {
    mms::ComposedMms message;
    message.to = m_to->text().toStdU16String();
    message.cc = m_cc->text().toStdU16String();
    message.subject = m_subject->text().toStdU16String();
    message.text = m_text->toPlainText().toStdU16String();
    for (int i = 0; i < m_objects->count(); ++i) {
        message.objects.push_back({m_objects->itemText(i).toStdU16String(),
                                   static_cast<std::uint8_t>(m_objects->itemData(i).toInt())});
    }
    return message;
}

std::optional<mms::MmsSendResult> CQVLComposeView::SendMms() {
    if (!m_ports.sendMms) {
        return std::nullopt;
    }
    // The send posts the notification once the message is filed; the screen closes when it
    // arrives.
    return m_ports.sendMms(
        ComposedMms(), [this] { QCoreApplication::postEvent(this, new QEvent(kPostSendEvent)); });
}

bool CQVLComposeView::event(QEvent* e) {
    if (e->type() == kPostSendEvent) {
        accept();
        return true;
    }
    return QDialog::event(e);
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

void CQVLComposeView::InsertContact(const QString& name, const QString& number, ContactForm form) {
    const std::u16string n = name.toStdU16String();
    const std::u16string d = number.toStdU16String();
    const std::u16string text =
        form == ContactForm::kVCard
            ? FormatContactVCard(n, d)
            : FormatContactText(n, d, [](int id) { return LoadLocalString(id); });
    m_text->insertPlainText(QString::fromStdU16String(text));
}

void CQVLComposeView::PickContact() {
    const auto chosen = m_ports.pickContact(this);
    if (!chosen) {
        return;
    }
    QMenu menu(Msg(kTextInsertContact), this);
    menu.addAction(Msg(kTextAsPlainText))->setData(static_cast<int>(ContactForm::kPlainText));
    menu.addAction(Msg(kTextAsVCard))->setData(static_cast<int>(ContactForm::kVCard));
    if (QAction* form =
            menu.exec(m_insertContact->mapToGlobal(QPoint(0, m_insertContact->height())))) {
        InsertContact(chosen->first, chosen->second,
                      static_cast<ContactForm>(form->data().toInt()));
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

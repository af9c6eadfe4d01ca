#include "app/services/ui/securitypage.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace qvl::servicesui {

namespace {

// A code field: digits only, shown as typed, at most the longest code.
QLineEdit* CodeField(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), field));
    field->setMaxLength(8);
    field->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhNoPredictiveText);
    return field;
}

QDialogButtonBox* CloseBox(QDialog* dialog, int templateId) {
    auto* box = new QDialogButtonBox(dialog);
    box->addButton(DlgText(templateId, "close"), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

}  // namespace

CQVLSecurityPage::CQVLSecurityPage(const services::ServiceContext& context, Orientation orientation,
                                   QWidget* parent)
    : QDialog(parent), m_context(context), m_codes(context) {
    setObjectName(QStringLiteral("CQVLSecurityPage"));
    setWindowTitle(Msg(services::kTextSecuritySettings));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("kind"));
    for (const char* control : {"network", "phone", "pin", "pin2"}) {
        m_kind->addItem(DlgText(kDlgSecurity, control));
    }
    m_kind->setCurrentIndex(0);
    m_old = CodeField("old", this);
    m_new = CodeField("new", this);
    m_verify = CodeField("verify", this);
    m_change = new QPushButton(DlgText(kDlgSecurity, "changebutton"), this);
    m_change->setObjectName(QStringLiteral("change"));
    connect(m_change, &QPushButton::clicked, this, &CQVLSecurityPage::ChangeCode);

    auto* codeGroup = new QGroupBox(Msg(services::kTextCodeChange), this);
    auto* codeForm = new QFormLayout(codeGroup);
    codeForm->addRow(DlgText(kDlgSecurity, "change"), m_kind);
    codeForm->addRow(DlgText(kDlgSecurity, "old"), m_old);
    codeForm->addRow(DlgText(kDlgSecurity, "new"), m_new);
    codeForm->addRow(DlgText(kDlgSecurity, "verify"), m_verify);
    codeForm->addRow(m_change);

    auto* lockGroup = new QGroupBox(Msg(services::kTextCodeLock), this);
    auto* locks = new QGridLayout(lockGroup);
    auto row = [&](int at, const char* label, const char* name, QLabel*& status,
                   QPushButton*& button, LockFacility facility) {
        status = new QLabel(lockGroup);
        status->setObjectName(QStringLiteral("%1status").arg(QLatin1String(name)));
        button = new QPushButton(lockGroup);
        button->setObjectName(QStringLiteral("%1toggle").arg(QLatin1String(name)));
        connect(button, &QPushButton::clicked, this, [this, facility] { ToggleLock(facility); });
        locks->addWidget(new QLabel(DlgText(kDlgSecurity, label), lockGroup), at, 0);
        locks->addWidget(status, at, 1);
        locks->addWidget(button, at, 2);
    };
    row(0, "pinlock", "pin", m_pinStatus, m_pinButton, LockFacility::SimPin);
    row(1, "phonelock", "phone", m_phoneStatus, m_phoneButton, LockFacility::Phone);
    locks->setColumnStretch(1, 1);

    auto* groups = new QBoxLayout(orientation == Orientation::Landscape ? QBoxLayout::LeftToRight
                                                                        : QBoxLayout::TopToBottom);
    groups->addWidget(codeGroup, 1);
    groups->addWidget(lockGroup, 1,
                      orientation == Orientation::Landscape ? Qt::AlignTop : Qt::Alignment());
    auto* main = new QVBoxLayout(this);
    main->addWidget(TitleLabel(Msg(services::kTextSecuritySettings), this));
    main->addLayout(groups);
    main->addStretch(1);
    main->addWidget(CloseBox(this, kDlgSecurity));
    RefreshLocks();
    ShapeFor(this, orientation);
}

QLabel* CQVLSecurityPage::LockStatus(LockFacility facility) const {
    return facility == LockFacility::SimPin ? m_pinStatus : m_phoneStatus;
}

QPushButton* CQVLSecurityPage::LockButton(LockFacility facility) const {
    return facility == LockFacility::SimPin ? m_pinButton : m_phoneButton;
}

void CQVLSecurityPage::RefreshLocks() {
    for (const LockFacility facility : {LockFacility::SimPin, LockFacility::Phone}) {
        const int state = facility == LockFacility::SimPin ? m_context.engine.SimPinLock()
                                                           : m_context.engine.PhoneLock();
        LockStatus(facility)->setText(Msg(state == 1   ? services::kMsgEnabled
                                          : state == 0 ? services::kMsgDisabled
                                                       : services::kTextError));
        QPushButton* button = LockButton(facility);
        button->setText(Msg(state == 1 ? services::kTextDisable : services::kTextEnable));
        // A lock whose state the modem did not tell cannot be switched from here.
        button->setEnabled(state == 0 || state == 1);
    }
}

void CQVLSecurityPage::ChangeCode() {
    PageBusy busy(this);
    const int shown =
        m_codes.ChangeCode(m_kind->currentIndex(), m_old->text().toStdU16String(),
                           m_new->text().toStdU16String(), m_verify->text().toStdU16String());
    if (shown == services::kMsgCodeChanged) {
        // Codes do not stay on the screen once they served.
        m_old->clear();
        m_new->clear();
        m_verify->clear();
    }
}

void CQVLSecurityPage::ToggleLock(LockFacility facility) {
    {
        PageBusy busy(this);
        m_codes.ToggleLock(facility);
    }
    RefreshLocks();
}

CQVLModemInfoPage::CQVLModemInfoPage(const services::ServiceContext& context,
                                     Orientation orientation, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("CQVLModemInfoPage"));
    setWindowTitle(Msg(services::kTextModemInfo));
    auto* form = new QFormLayout;
    for (const char* control : {"version", "model", "manufacturer", "imei"}) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString::fromLatin1(control));
        field->setReadOnly(true);
        form->addRow(DlgText(kDlgModemInfo, control), field);
    }
    auto* main = new QVBoxLayout(this);
    main->addWidget(TitleLabel(Msg(services::kTextModemInfo), this));
    main->addLayout(form);
    main->addStretch(1);
    main->addWidget(CloseBox(this, kDlgModemInfo));
    ShapeFor(this, orientation);
}

QLineEdit* CQVLModemInfoPage::Field(std::string_view control) const {
    return findChild<QLineEdit*>(QString::fromLatin1(control.data(), control.size()));
}

void CQVLModemInfoPage::Load() {
    const services::ModemInfo info = services::ReadModemInfo(m_context);
    Field("version")->setText(QString::fromStdU16String(info.version));
    Field("model")->setText(QString::fromStdU16String(info.model));
    Field("manufacturer")->setText(QString::fromStdU16String(info.manufacturer));
    Field("imei")->setText(QString::fromStdU16String(info.imei));
}

}  // namespace qvl::servicesui

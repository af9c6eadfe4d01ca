#include "app/sms/ui/smssettingspage.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/settings/settingkeys.h"

namespace qvl::smsui {

using namespace qvl::keys;
using sms::ValidityChoice;
using sms::ValidityUnit;

namespace {

void AddItems(QComboBox* combo, std::initializer_list<const char*> controls) {
    for (const char* control : controls) {
        combo->addItem(DlgText(kDlgSmsSettings, control));
    }
}

}  // namespace

CQVLSmsSettingsPage::CQVLSmsSettingsPage(const SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(Msg(kTextSmsSettings));
    auto* title = new QLabel(Msg(kTextSmsSettings), this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSize(15);
    title->setFont(bold);

    m_serviceCentre = new QLineEdit(this);
    m_voiceMail = new QLineEdit(this);
    m_voiceMail->setMaxLength(static_cast<int>(kVoiceMailNoChars) - 1);
    m_sendAs = new QComboBox(this);
    AddItems(m_sendAs, {"text", "fax3", "fax4", "email"});
    m_sendUsing = new QComboBox(this);
    AddItems(m_sendUsing, {"gsm", "gprs"});
    m_deleteSms = new QComboBox(this);
    AddItems(m_deleteSms, {"keep", "ask", "always"});
    m_unit = new QComboBox(this);
    AddItems(m_unit, {"hours", "days", "weeks"});
    m_value = new QComboBox(this);
    m_statusReport = new QCheckBox(DlgText(kDlgSmsSettings, "report"), this);
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgSmsSettings, "ok"), QDialogButtonBox::AcceptRole);
    box->addButton(DlgText(kDlgSmsSettings, "cancel"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        Apply();
        accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_unit, &QComboBox::activated, this, &CQVLSmsSettingsPage::ChangeUnit);

    auto* numbers = new QFormLayout;
    numbers->addRow(DlgText(kDlgSmsSettings, "sc"), m_serviceCentre);
    numbers->addRow(DlgText(kDlgSmsSettings, "voicemail"), m_voiceMail);
    numbers->addRow(DlgText(kDlgSmsSettings, "sendas"), m_sendAs);
    numbers->addRow(DlgText(kDlgSmsSettings, "sendusing"), m_sendUsing);
    auto* options = new QFormLayout;
    options->addRow(DlgText(kDlgSmsSettings, "delete"), m_deleteSms);
    auto* validity = new QHBoxLayout;
    validity->addWidget(m_unit);
    validity->addWidget(m_value);
    options->addRow(DlgText(kDlgSmsSettings, "validity"), validity);
    options->addRow(m_statusReport);
    // Landscape shows the two groups side by side.
    auto* groups =
        new QBoxLayout(m_ports.IsLandscape() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    groups->addLayout(numbers);
    groups->addLayout(options);
    auto* main = new QVBoxLayout(this);
    main->addWidget(title);
    main->addLayout(groups);
    main->addStretch(1);
    main->addWidget(box);
    Load();
}

void CQVLSmsSettingsPage::FillValues(ValidityUnit unit) {
    m_value->clear();
    for (int v = sms::ValidityMin(unit); v <= sms::ValidityMax(unit); ++v) {
        m_value->addItem(QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')), v);
    }
}

void CQVLSmsSettingsPage::ChangeUnit(int unitIndex) {
    m_unit->setCurrentIndex(unitIndex);
    FillValues(static_cast<ValidityUnit>(std::clamp(unitIndex, 0, 2)));
    m_value->setCurrentIndex(0);
}

void CQVLSmsSettingsPage::Load() {
    int bearer = -1;
    if (m_ports.modem != nullptr) {
        m_serviceCentre->setText(QString::fromStdU16String(m_ports.modem->GetServiceCentre()));
        bearer = m_ports.modem->GetSmsService();
    }
    m_voiceMail->setText(QString::fromStdU16String(sms::GetVoiceMailNo()));
    m_sendAs->setCurrentIndex(sms::GetSendAs());
    // Never chosen: the modem's bearer service decides (GPRS or circuit switched, preferred or
    // only); without a usable answer nothing is selected.
    const int sendUsing = sms::GetSendUsing();
    m_sendUsing->setCurrentIndex(sendUsing >= 0 ? sendUsing : sms::SendUsingFromService(bearer));
    m_deleteSms->setCurrentIndex(sms::GetDeleteSms());
    // Every octet, one under an hour included, converts to a value the combo offers.
    const ValidityChoice choice = sms::ValidityFromOctet(sms::GetValidityPeriod());
    m_unit->setCurrentIndex(static_cast<int>(choice.unit));
    FillValues(choice.unit);
    m_value->setCurrentIndex(choice.value - sms::ValidityMin(choice.unit));
    m_statusReport->setChecked(sms::GetStatusReport());
}

void CQVLSmsSettingsPage::Apply() {
    // An empty field sets nothing; a number the modem did not take (or that is no SMS address
    // and so was never sent) is told, as the user expects it to be in effect.
    const std::u16string centre = m_serviceCentre->text().trimmed().toStdU16String();
    if (m_ports.modem != nullptr && !centre.empty() &&
        m_ports.modem->SetServiceCentre(centre) != 1) {
        m_ports.Ask(this, Msg(kMsgCentreNotSet).toStdU16String(), MsgButtons::Ok, MsgIcon::Error);
    }
    sms::SetVoiceMailNo(m_voiceMail->text().toStdU16String());
    sms::SetSendAs(std::max(0, m_sendAs->currentIndex()));
    // No selection (the modem gave no usable answer) keeps "not chosen".
    if (m_sendUsing->currentIndex() >= 0) {
        sms::SetSendUsing(m_sendUsing->currentIndex());
    } else {
        sms::ClearSendUsing();
    }
    sms::SetDeleteSms(std::max(0, m_deleteSms->currentIndex()));
    const auto unit = static_cast<ValidityUnit>(std::clamp(m_unit->currentIndex(), 0, 2));
    sms::SetValidityPeriod(sms::ValidityToOctet(
        {unit, sms::ValidityMin(unit) + std::max(0, m_value->currentIndex())}));
    sms::SetStatusReport(m_statusReport->isChecked());
}

}  // namespace qvl::smsui

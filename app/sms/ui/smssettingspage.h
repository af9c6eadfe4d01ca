// The SMS settings page: service-centre number (kept in the SIM through the modem), voice-mail
// number, send as, send using, deletion after copying, validity period and status report.
#pragma once

#include <QDialog>

#include "app/sms/settings/smssettings.h"
#include "app/sms/ui/smsuiports.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace qvl::smsui {

class CQVLSmsSettingsPage : public QDialog {
    Q_OBJECT
  public:
    CQVLSmsSettingsPage(const SmsUiPorts& ports, QWidget* parent = nullptr);

    // Reads the modem and the registry into the controls (done by the constructor).
    void Load();
    // The OK handler: the service centre to the modem, everything else to the registry.
    void Apply();
    // Refills the value combo for the unit and selects its first entry.
    void ChangeUnit(int unitIndex);

    QLineEdit* ServiceCentre() const { return m_serviceCentre; }
    QLineEdit* VoiceMail() const { return m_voiceMail; }
    QComboBox* SendAs() const { return m_sendAs; }
    QComboBox* SendUsing() const { return m_sendUsing; }
    QComboBox* DeleteSms() const { return m_deleteSms; }
    QComboBox* Unit() const { return m_unit; }
    QComboBox* Value() const { return m_value; }
    QCheckBox* StatusReport() const { return m_statusReport; }

  private:
    void FillValues(sms::ValidityUnit unit);

    const SmsUiPorts& m_ports;
    QLineEdit* m_serviceCentre;
    QLineEdit* m_voiceMail;
    QComboBox* m_sendAs;
    QComboBox* m_sendUsing;
    QComboBox* m_deleteSms;
    QComboBox* m_unit;
    QComboBox* m_value;
    QCheckBox* m_statusReport;
};

}  // namespace qvl::smsui

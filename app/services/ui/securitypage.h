// CQVLSecurityPage: the Security settings dialog (code change of network code, phone code, PIN
// and PIN2; the SIM PIN lock and the phone-code lock), and CQVLModemInfoPage, the modem's
// revision, model, manufacturer and IMEI.
#pragma once

#include <QDialog>

#include "app/services/securitycodes.h"
#include "app/services/ui/servicesui.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qvl::servicesui {

class CQVLSecurityPage : public QDialog {
    Q_OBJECT
  public:
    CQVLSecurityPage(const services::ServiceContext& context, Orientation orientation,
                     QWidget* parent = nullptr);

    void ChangeCode();
    void ToggleLock(LockFacility facility);
    // Shows the engine's lock states in the two rows.
    void RefreshLocks();

    QComboBox* CodeSelector() const { return m_kind; }
    QLineEdit* OldCode() const { return m_old; }
    QLineEdit* NewCode() const { return m_new; }
    QLineEdit* VerifyCode() const { return m_verify; }
    QPushButton* ChangeButton() const { return m_change; }
    QLabel* LockStatus(LockFacility facility) const;
    QPushButton* LockButton(LockFacility facility) const;

  private:
    services::ServiceContext m_context;
    services::SecurityCodes m_codes;
    QComboBox* m_kind;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_verify;
    QPushButton* m_change;
    QLabel* m_pinStatus;
    QPushButton* m_pinButton;
    QLabel* m_phoneStatus;
    QPushButton* m_phoneButton;
};

class CQVLModemInfoPage : public QDialog {
    Q_OBJECT
  public:
    CQVLModemInfoPage(const services::ServiceContext& context, Orientation orientation,
                      QWidget* parent = nullptr);

    // Asks the modem (under its progress window) and shows the four texts; the opener calls it
    // before the dialog is shown.
    void Load();

    QLineEdit* Field(std::string_view control) const;

  private:
    services::ServiceContext m_context;
};

}  // namespace qvl::servicesui

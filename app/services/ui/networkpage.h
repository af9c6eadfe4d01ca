// CQVLNetworkPage: the Network Settings dialog. "Automatic" returns the modem to automatic
// network selection, "Manual" lists the networks the modem can see, "Register" registers by
// hand on the selected one (not on a forbidden network).
#pragma once

#include <QDialog>

#include "app/services/networkselection.h"
#include "app/services/ui/servicesui.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace qvl::servicesui {

class CQVLNetworkPage : public QDialog {
    Q_OBJECT
  public:
    CQVLNetworkPage(const services::ServiceContext& context, Orientation orientation,
                    QWidget* parent = nullptr);

    void Automatic();
    void Manual();
    void Register();

    QLineEdit* CurrentNetwork() const { return m_current; }
    QListWidget* List() const { return m_list; }
    QPushButton* AutomaticButton() const { return m_automatic; }
    QPushButton* ManualButton() const { return m_manual; }
    QPushButton* RegisterButton() const { return m_register; }
    services::NetworkSelection& Selection() { return m_selection; }

  private:
    void FillList();
    // The list's current network in bold, the others plain.
    void ShowCurrent();
    void SelectionChanged();

    services::NetworkSelection m_selection;
    QLineEdit* m_current;
    QListWidget* m_list;
    QPushButton* m_automatic;
    QPushButton* m_manual;
    QPushButton* m_register;
};

}  // namespace qvl::servicesui

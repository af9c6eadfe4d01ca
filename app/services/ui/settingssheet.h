// CQVLSettingsSheet: the call settings, a sheet of two pages in this order: call waiting
// (CQVLCallWaitingPage) and call forwarding (CQVLCallForwardPage). Each command of a page is
// one exchange with the network; its outcome is told in a message box.
#pragma once

#include <QDialog>
#include <QWidget>

#include "app/services/callsettings.h"
#include "app/services/ui/servicesui.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace qvl::servicesui {

class CQVLCallWaitingPage : public QWidget {
    Q_OBJECT
  public:
    CQVLCallWaitingPage(const services::ServiceContext& context, Orientation orientation,
                        QWidget* parent = nullptr);
    QPushButton* Button(std::string_view control) const;

  private:
    services::CallWaiting m_waiting;
};

class CQVLCallForwardPage : public QWidget {
    Q_OBJECT
  public:
    CQVLCallForwardPage(const services::ServiceContext& context, Orientation orientation,
                        QWidget* parent = nullptr);

    void Enable();
    void Disable();
    void Register();
    void Unregister();
    void QueryStatus();

    QComboBox* Condition() const { return m_condition; }
    QComboBox* Timeout() const { return m_timeout; }
    QLineEdit* Number() const { return m_number; }
    QRadioButton* ClassButton(services::ServiceClass serviceClass) const;
    QPushButton* Button(std::string_view control) const;

  private:
    services::ServiceClass SelectedClass() const;
    // The no-reply time is offered only for the condition "No reply".
    void ConditionChanged();

    services::CallForwarding m_forwarding;
    QComboBox* m_condition;
    QButtonGroup* m_classes;
    QComboBox* m_timeout;
    QLineEdit* m_number;
};

class CQVLSettingsSheet : public QDialog {
    Q_OBJECT
  public:
    CQVLSettingsSheet(const services::ServiceContext& context, Orientation orientation,
                      QWidget* parent = nullptr);
    QTabWidget* Tabs() const { return m_tabs; }
    CQVLCallWaitingPage* WaitingPage() const { return m_waiting; }
    CQVLCallForwardPage* ForwardPage() const { return m_forward; }

  private:
    QTabWidget* m_tabs;
    CQVLCallWaitingPage* m_waiting;
    CQVLCallForwardPage* m_forward;
};

}  // namespace qvl::servicesui

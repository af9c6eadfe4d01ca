#include "app/services/ui/settingssheet.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace qvl::servicesui {

using services::ServiceClass;

namespace {

QPushButton* CommandButton(int dialog, const char* control, QWidget* parent) {
    auto* button = new QPushButton(DlgText(dialog, control), parent);
    button->setObjectName(QString::fromLatin1(control));
    return button;
}

// The command buttons in a grid: two columns in portrait, one column beside the form in
// landscape.
QGridLayout* ButtonGrid(const std::vector<QPushButton*>& buttons, Orientation orientation) {
    auto* grid = new QGridLayout;
    const int columns = orientation == Orientation::Landscape ? 1 : 2;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        grid->addWidget(buttons[i], static_cast<int>(i) / columns, static_cast<int>(i) % columns);
    }
    return grid;
}

}  // namespace

CQVLCallWaitingPage::CQVLCallWaitingPage(const services::ServiceContext& context,
                                         Orientation /*orientation*/, QWidget* parent)
    : QWidget(parent), m_waiting(context) {
    setObjectName(QStringLiteral("CQVLCallWaitingPage"));
    auto* enable = CommandButton(kDlgCallWaiting, "enable", this);
    auto* disable = CommandButton(kDlgCallWaiting, "disable", this);
    auto* query = CommandButton(kDlgCallWaiting, "query", this);
    connect(enable, &QPushButton::clicked, this, [this] {
        PageBusy busy(window());
        m_waiting.Enable();
    });
    connect(disable, &QPushButton::clicked, this, [this] {
        PageBusy busy(window());
        m_waiting.Disable();
    });
    connect(query, &QPushButton::clicked, this, [this] {
        PageBusy busy(window());
        m_waiting.QueryStatus();
    });
    auto* main = new QVBoxLayout(this);
    main->addWidget(TitleLabel(Msg(services::kTextCallWaiting), this));
    main->addLayout(ButtonGrid({enable, disable, query}, Orientation::Landscape));
    main->addStretch(1);
}

QPushButton* CQVLCallWaitingPage::Button(std::string_view control) const {
    return findChild<QPushButton*>(QString::fromLatin1(control.data(), control.size()));
}

CQVLCallForwardPage::CQVLCallForwardPage(const services::ServiceContext& context,
                                         Orientation orientation, QWidget* parent)
    : QWidget(parent), m_forwarding(context) {
    setObjectName(QStringLiteral("CQVLCallForwardPage"));
    m_condition = new QComboBox(this);
    m_condition->setObjectName(QStringLiteral("condition"));
    for (const int text : {services::kTextAlways, services::kTextMobileBusy, services::kTextNoReply,
                           services::kTextNotReachable}) {
        m_condition->addItem(Msg(text));
    }
    // No condition is chosen until the user picks one.
    m_condition->setCurrentIndex(-1);
    m_classes = new QButtonGroup(this);
    auto* classes = new QHBoxLayout;
    for (const auto& [control, value] :
         {std::pair{"voice", ServiceClass::Voice}, std::pair{"data", ServiceClass::Data},
          std::pair{"fax", ServiceClass::Fax}}) {
        auto* radio = new QRadioButton(DlgText(kDlgCallForward, control), this);
        radio->setObjectName(QString::fromLatin1(control));
        m_classes->addButton(radio, static_cast<int>(value));
        classes->addWidget(radio);
    }
    ClassButton(ServiceClass::Voice)->setChecked(true);
    m_timeout = new QComboBox(this);
    m_timeout->setObjectName(QStringLiteral("timeout"));
    const QString format = DlgText(kDlgCallForward, "seconds");
    for (int i = 0; i < services::kNoReplyTimes; ++i) {
        m_timeout->addItem(format.arg(services::NoReplySeconds(i), 2, 10, QLatin1Char('0')));
    }
    m_timeout->setCurrentIndex(0);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("number"));
    m_number->setInputMethodHints(Qt::ImhDialableCharactersOnly);
    connect(m_condition, &QComboBox::currentIndexChanged, this,
            &CQVLCallForwardPage::ConditionChanged);
    ConditionChanged();

    std::vector<QPushButton*> buttons;
    const std::pair<const char*, void (CQVLCallForwardPage::*)()> commands[] = {
        {"enable", &CQVLCallForwardPage::Enable},
        {"disable", &CQVLCallForwardPage::Disable},
        {"register", &CQVLCallForwardPage::Register},
        {"unregister", &CQVLCallForwardPage::Unregister},
        {"query", &CQVLCallForwardPage::QueryStatus},
    };
    for (const auto& [control, command] : commands) {
        QPushButton* button = CommandButton(kDlgCallForward, control, this);
        connect(button, &QPushButton::clicked, this, command);
        buttons.push_back(button);
    }

    auto* form = new QFormLayout;
    form->addRow(DlgText(kDlgCallForward, "condition"), m_condition);
    form->addRow(classes);
    form->addRow(DlgText(kDlgCallForward, "timeout"), m_timeout);
    form->addRow(DlgText(kDlgCallForward, "number"), m_number);
    auto* body = new QBoxLayout(orientation == Orientation::Landscape ? QBoxLayout::LeftToRight
                                                                      : QBoxLayout::TopToBottom);
    body->addLayout(form, 1);
    body->addLayout(ButtonGrid(buttons, orientation));
    auto* main = new QVBoxLayout(this);
    main->addWidget(TitleLabel(Msg(services::kTextCallForwarding), this));
    main->addLayout(body);
    main->addStretch(1);
}

QRadioButton* CQVLCallForwardPage::ClassButton(ServiceClass serviceClass) const {
    return qobject_cast<QRadioButton*>(m_classes->button(static_cast<int>(serviceClass)));
}

QPushButton* CQVLCallForwardPage::Button(std::string_view control) const {
    return findChild<QPushButton*>(QString::fromLatin1(control.data(), control.size()));
}

ServiceClass CQVLCallForwardPage::SelectedClass() const {
    const int id = m_classes->checkedId();
    return id == static_cast<int>(ServiceClass::Data)  ? ServiceClass::Data
           : id == static_cast<int>(ServiceClass::Fax) ? ServiceClass::Fax
                                                       : ServiceClass::Voice;
}

void CQVLCallForwardPage::ConditionChanged() {
    m_timeout->setEnabled(m_condition->currentIndex() ==
                          static_cast<int>(services::ForwardCondition::NoReply));
}

void CQVLCallForwardPage::Enable() {
    PageBusy busy(window());
    m_forwarding.Enable(m_condition->currentIndex(), SelectedClass());
}

void CQVLCallForwardPage::Disable() {
    PageBusy busy(window());
    m_forwarding.Disable(m_condition->currentIndex(), SelectedClass());
}

void CQVLCallForwardPage::Register() {
    PageBusy busy(window());
    m_forwarding.Register(m_condition->currentIndex(), SelectedClass(),
                          m_number->text().trimmed().toStdU16String(), m_timeout->currentIndex());
}

void CQVLCallForwardPage::Unregister() {
    PageBusy busy(window());
    m_forwarding.Unregister(m_condition->currentIndex(), SelectedClass());
}

void CQVLCallForwardPage::QueryStatus() {
    PageBusy busy(window());
    m_forwarding.QueryStatus(m_condition->currentIndex(), SelectedClass());
}

CQVLSettingsSheet::CQVLSettingsSheet(const services::ServiceContext& context,
                                     Orientation orientation, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CQVLSettingsSheet"));
    setWindowTitle(DlgText(kDlgSettingsSheet, "caption"));
    m_tabs = new QTabWidget(this);
    m_waiting = new CQVLCallWaitingPage(context, orientation, m_tabs);
    m_forward = new CQVLCallForwardPage(context, orientation, m_tabs);
    m_tabs->addTab(m_waiting, Msg(services::kTextCallWaiting));
    m_tabs->addTab(m_forward, Msg(services::kTextCallForwarding));
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgSettingsSheet, "close"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* main = new QVBoxLayout(this);
    main->addWidget(m_tabs, 1);
    main->addWidget(box);
    ShapeFor(this, orientation);
}

}  // namespace qvl::servicesui

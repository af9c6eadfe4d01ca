#include "app/services/ui/networkpage.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qvl::servicesui {

using services::NetworkEntry;

CQVLNetworkPage::CQVLNetworkPage(const services::ServiceContext& context, Orientation orientation,
                                 QWidget* parent)
    : QDialog(parent), m_selection(context) {
    setObjectName(QStringLiteral("CQVLNetworkPage"));
    setWindowTitle(Msg(services::kTextNetworkSettings));
    auto* title = TitleLabel(Msg(services::kTextNetworkSettings), this);
    m_current = new QLineEdit(this);
    m_current->setObjectName(QStringLiteral("current"));
    m_current->setReadOnly(true);
    // The operator the phone is on now, until a command here tells otherwise.
    m_current->setText(QString::fromStdU16String(context.engine.OperatorName()));
    m_automatic = new QPushButton(DlgText(kDlgNetwork, "automatic"), this);
    m_automatic->setObjectName(QStringLiteral("automatic"));
    m_manual = new QPushButton(DlgText(kDlgNetwork, "manual"), this);
    m_manual->setObjectName(QStringLiteral("manual"));
    m_register = new QPushButton(DlgText(kDlgNetwork, "register"), this);
    m_register->setObjectName(QStringLiteral("register"));
    m_register->setEnabled(false);
    auto* prompt = new QLabel(DlgText(kDlgNetwork, "prompt"), this);
    prompt->setWordWrap(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("networks"));
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgNetwork, "close"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_automatic, &QPushButton::clicked, this, &CQVLNetworkPage::Automatic);
    connect(m_manual, &QPushButton::clicked, this, &CQVLNetworkPage::Manual);
    connect(m_register, &QPushButton::clicked, this, &CQVLNetworkPage::Register);
    connect(m_list, &QListWidget::currentRowChanged, this, &CQVLNetworkPage::SelectionChanged);

    // Automatic beside the field in portrait, below it in the narrower landscape column.
    auto* current = new QBoxLayout(orientation == Orientation::Landscape ? QBoxLayout::TopToBottom
                                                                         : QBoxLayout::LeftToRight);
    current->addWidget(m_current, 1);
    current->addWidget(m_automatic);
    auto* commands = new QVBoxLayout;
    commands->addWidget(new QLabel(DlgText(kDlgNetwork, "current"), this));
    commands->addLayout(current);
    auto* list = new QVBoxLayout;
    list->addWidget(prompt);
    list->addWidget(m_list, 1);
    auto* main = new QVBoxLayout(this);
    main->addWidget(title);
    if (orientation == Orientation::Landscape) {
        // The commands on the left, the list beside them.
        commands->addWidget(m_manual);
        commands->addWidget(m_register);
        commands->addStretch(1);
        auto* columns = new QHBoxLayout;
        columns->addLayout(commands, 1);
        columns->addLayout(list, 1);
        main->addLayout(columns, 1);
    } else {
        main->addLayout(commands);
        main->addWidget(m_manual);
        main->addLayout(list, 1);
        main->addWidget(m_register);
    }
    main->addWidget(box);
    ShapeFor(this, orientation);
}

void CQVLNetworkPage::Automatic() {
    {
        PageBusy busy(this);
        m_selection.Automatic();
    }
    m_current->setText(QString::fromStdU16String(m_selection.CurrentNetwork()));
    ShowCurrent();
}

void CQVLNetworkPage::Manual() {
    services::SearchOutcome outcome = services::SearchOutcome::PortClosed;
    {
        PageBusy busy(this);
        outcome = m_selection.Search();
    }
    switch (outcome) {
        case services::SearchOutcome::Listed:
        case services::SearchOutcome::NoNetworks:
            FillList();
            break;
        case services::SearchOutcome::Canceled:
        case services::SearchOutcome::PortClosed:
            break;
    }
}

void CQVLNetworkPage::Register() {
    const QListWidgetItem* item = m_list->currentItem();
    const int index = item != nullptr ? item->data(Qt::UserRole).toInt() : -1;
    services::RegisterOutcome outcome = services::RegisterOutcome::PortClosed;
    {
        PageBusy busy(this);
        outcome = m_selection.Register(index);
    }
    SelectionChanged();
    switch (outcome) {
        case services::RegisterOutcome::Registered:
        case services::RegisterOutcome::Denied:
            m_current->setText(QString::fromStdU16String(m_selection.CurrentNetwork()));
            ShowCurrent();
            break;
        case services::RegisterOutcome::NothingSelected:
        case services::RegisterOutcome::PortClosed:
            break;
    }
}

void CQVLNetworkPage::FillList() {
    m_list->clear();
    const std::vector<NetworkEntry>& networks = m_selection.Networks();
    for (std::size_t i = 0; i < networks.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdU16String(ShownName(networks[i])), m_list);
        // The item knows its record, whatever order the list shows.
        item->setData(Qt::UserRole, static_cast<int>(i));
    }
    ShowCurrent();
    SelectionChanged();
}

void CQVLNetworkPage::ShowCurrent() {
    const std::vector<NetworkEntry>& networks = m_selection.Networks();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const int index = item->data(Qt::UserRole).toInt();
        QFont font = item->font();
        font.setBold(index >= 0 && static_cast<std::size_t>(index) < networks.size() &&
                     networks[static_cast<std::size_t>(index)].status ==
                         services::NetworkStatus::Current);
        item->setFont(font);
    }
}

void CQVLNetworkPage::SelectionChanged() {
    const QListWidgetItem* item = m_list->currentItem();
    const std::vector<NetworkEntry>& networks = m_selection.Networks();
    bool allowed = false;
    if (item != nullptr) {
        const int index = item->data(Qt::UserRole).toInt();
        allowed = index >= 0 && static_cast<std::size_t>(index) < networks.size() &&
                  CanRegister(networks[static_cast<std::size_t>(index)]);
    }
    m_register->setEnabled(allowed);
}

}  // namespace qvl::servicesui

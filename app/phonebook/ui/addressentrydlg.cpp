#include "app/phonebook/ui/addressentrydlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/phonebook/bookanswers.h"
#include "app/phonebook/ui/phonebookui.h"
#include "base/checks.h"

namespace qvl::phonebookui {

QString StripNumberGrouping(const QString& number) {
    QString out;
    out.reserve(number.size());
    for (const QChar c : number) {
        if (c != u' ' && c != u'(' && c != u')') {
            out.append(c);
        }
    }
    return out;
}

CQVLAddressEntryDlg::CQVLAddressEntryDlg(bool landscape, int nameLength, IMessageBoxPort* messages,
                                         QWidget* parent)
    : QDialog(parent), m_messages(messages), m_nameLength(std::max(nameLength, 1)) {
    setObjectName(QStringLiteral("CQVLAddressEntryDlg"));
    setWindowTitle(Msg(kMsgEditAddressBook));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setMaxLength(m_nameLength);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("number"));
    m_number->setMaxLength(static_cast<int>(kMaxDialableLength) + 20);
    m_number->setInputMethodHints(Qt::ImhDialableCharactersOnly);

    // The location the Address Book chose; kept in the dialog, not shown.
    m_location = new QGroupBox(DlgText(kDlgAddressEntry, "location"), this);
    m_memory = new QComboBox(m_location);
    m_memory->addItem(DlgText(kDlgAddressBook, "sim"));
    m_memory->addItem(DlgText(kDlgAddressBook, "phone"));
    m_position = new QSpinBox(m_location);
    m_position->setRange(0, 100000);
    auto* locationForm = new QFormLayout(m_location);
    locationForm->addRow(DlgText(kDlgAddressEntry, "memory"), m_memory);
    locationForm->addRow(DlgText(kDlgAddressEntry, "position"), m_position);
    m_location->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(DlgText(kDlgAddressEntry, "ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(DlgText(kDlgAddressEntry, "cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CQVLAddressEntryDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    // Portrait: labels above their fields; landscape: beside them, with the buttons at the
    // right.
    form->setRowWrapPolicy(landscape ? QFormLayout::DontWrapRows : QFormLayout::WrapAllRows);
    form->addRow(DlgText(kDlgAddressEntry, "name"), m_name);
    form->addRow(DlgText(kDlgAddressEntry, "number"), m_number);
    if (landscape) {
        buttons->setOrientation(Qt::Vertical);
        auto* main = new QHBoxLayout(this);
        auto* left = new QVBoxLayout;
        left->addLayout(form);
        left->addWidget(m_location);
        left->addStretch(1);
        main->addLayout(left, 1);
        main->addWidget(buttons);
    } else {
        auto* main = new QVBoxLayout(this);
        main->addLayout(form);
        main->addWidget(m_location);
        main->addStretch(1);
        main->addWidget(buttons);
    }
}

void CQVLAddressEntryDlg::SetEntry(const QString& name, const QString& number, int position) {
    m_name->setText(name);
    m_number->setText(number);
    m_position->setValue(position);
}

QString CQVLAddressEntryDlg::Name() const {
    return m_name->text();
}

QString CQVLAddressEntryDlg::Number() const {
    return StripNumberGrouping(m_number->text().trimmed());
}

int CQVLAddressEntryDlg::Position() const {
    return m_position->value();
}

void CQVLAddressEntryDlg::accept() {
    const QString number = Number();
    int refusal = 0;
    if (number.isEmpty()) {
        refusal = kMsgEnterNumber;
    } else if (!IsDialableNumber(number.toStdU16String())) {
        refusal = kMsgNumberRefused;
        m_number->setFocus();
    } else if (!IsSafeCommandText(Name().toStdU16String(), 255)) {
        refusal = kMsgNameRefused;
        m_name->setFocus();
    }
    if (refusal != 0) {
        Tell(m_messages, this, refusal, MsgIcon::Warning);
        return;
    }
    if (m_simBook) {
        const std::u16string name = Name().toStdU16String();
        const std::u16string kept = CutName(name, static_cast<std::size_t>(m_nameLength), true);
        if (kept != name) {
            // Never store less than the user sees: show what the SIM keeps, let them decide.
            m_name->setText(QString::fromStdU16String(kept));
            m_name->setFocus();
            Tell(m_messages, this, kMsgNameShortened, MsgIcon::Information);
            return;
        }
    }
    QDialog::accept();
}

}  // namespace qvl::phonebookui

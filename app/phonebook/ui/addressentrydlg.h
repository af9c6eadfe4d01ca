// CQVLAddressEntryDlg: the name and number of one SIM or handset entry, for Insert and Edit of
// the Address Book. The location (memory and position) is part of the dialog but hidden: the
// Address Book chooses it.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

namespace qvl {
class IMessageBoxPort;
}

namespace qvl::phonebookui {

// Dialog template of the entry dialog (texts in phonebook-dialogs.tsv).
inline constexpr int kDlgAddressEntry = 141;

class CQVLAddressEntryDlg : public QDialog {
    Q_OBJECT
  public:
    // nameLength: the longest name the book takes (longer input is not accepted by the field).
    CQVLAddressEntryDlg(bool landscape, int nameLength, IMessageBoxPort* messages,
                        QWidget* parent = nullptr);

    void SetEntry(const QString& name, const QString& number, int position);
    // The SIM book counts a name in the octets of its records, so a name with characters
    // outside the GSM alphabet fits fewer characters than the field takes: OK then shows the
    // name as the SIM will keep it and asks for OK again.
    void SetSimBook(bool simBook) { m_simBook = simBook; }
    QString Name() const;
    // The number as typed, without the blanks and parentheses of its grouping.
    QString Number() const;
    int Position() const;

    QLineEdit* NameField() const { return m_name; }
    QLineEdit* NumberField() const { return m_number; }
    QGroupBox* LocationBox() const { return m_location; }

    // OK: a number that may be written and a name the commands can carry, else a message.
    void accept() override;

  private:
    IMessageBoxPort* m_messages;
    int m_nameLength;
    bool m_simBook = false;
    QLineEdit* m_name;
    QLineEdit* m_number;
    QGroupBox* m_location;
    QComboBox* m_memory;
    QSpinBox* m_position;
};

// The number of an address without the blanks and parentheses it is often written with; every
// other character (digits, a leading plus, hyphens) is kept.
QString StripNumberGrouping(const QString& number);

}  // namespace qvl::phonebookui

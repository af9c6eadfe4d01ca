// The compose screen. SMS mode: "To" with recipients separated by ";", the message text with
// its live length counter, Send (one message per recipient, each filed under "Out Sent" or
// "Out Unsent"), "Save in..", "Use Template.." and the import of a text file. MMS mode (the
// switch beside To): Cc, Subject, the objects by file with their media types, the size of the
// message as it grows, and Send through the MMS send (SmsUiPorts::sendMms), after which the
// screen closes on its post-send notification. "Insert contact.." puts a contact from the
// Address Book into the text.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/sms/ui/messagemodel.h"
#include "app/sms/ui/smsuiports.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace qvl::sms {
class CRecordStore;
}

namespace qvl::smsui {

// The pieces of a "To" text: split at ";", blanks removed (numbers are often typed in groups,
// "0170 123 4567"), empty pieces skipped.
std::vector<std::u16string> SplitRecipients(std::u16string_view to);
// A number the codec can address: an optional leading "+", then digits, "*" and "#" only.
bool IsDialableNumber(std::u16string_view number);
// "SMS = %d, Used = %d, Left = %d" with the codec's figures (UCS2 figures when the text needs
// UCS2), in the current language.
QString CounterText(const QString& text);
// A recipient field after a number was picked from the Address Book: the number, after a ";"
// when the field holds recipients already.
QString AppendRecipient(const QString& field, const QString& number);

struct SendOutcome {
    std::u16string number;
    bool sent = false;
};

class CQVLComposeView : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { kSms = 0, kMms = 1 };

    CQVLComposeView(const SmsUiPorts& ports, QWidget* parent = nullptr);

    void SetTo(const QString& to);
    void SetText(const QString& text);
    // The stored message this screen was opened for (an unsent message or a draft): it is
    // removed from the store once the screen sends or saves the message.
    void SetOriginal(const MessageRow& row);

    // Sends to every recipient; shows each outcome and files each message. Empty when there
    // was no recipient (the user is told).
    std::vector<SendOutcome> Send();
    // Files the message under the folder (a key, or kNewFolderChoice). False when canceled
    // or the same message is already filed there.
    bool SaveIn(std::int32_t folderChoice);
    // Inserts the text of the template with this key at the cursor.
    bool UseTemplate(std::int32_t key);
    // "Insert contact..": a picked contact at the cursor, as plain text or as a vCard.
    enum class ContactForm { kPlainText, kVCard };
    void InsertContact(const QString& name, const QString& number, ContactForm form);
    // The Address Book, then the choice of the form (null when the ports offer no Address
    // Book).
    QPushButton* InsertContactButton() const { return m_insertContact; }
    // Replaces the text with a file's content (UTF-8, else Windows-1252).
    bool ImportFile(const QString& path);

    QLineEdit* To() const { return m_to; }
    // The Address Book buttons beside To and Cc (hidden when the ports offer no Address Book;
    // the Cc one shows with the MMS fields).
    QToolButton* ToAddressBook() const { return m_toAddressBook; }
    QToolButton* CcAddressBook() const { return m_ccAddressBook; }
    QPlainTextEdit* Text() const { return m_text; }
    QLabel* Counter() const { return m_counter; }
    QComboBox* ModeSwitch() const { return m_mode; }

    // MMS mode.
    void SetMode(Mode mode);
    Mode CurrentMode() const;
    // Appends an object file and selects it; its media type comes from its extension. False
    // (with a message) for a path the sent-message record cannot hold.
    bool AddObject(const QString& path);
    void RemoveObject();
    // The message's size in octets as it would go: the text, the subject and every object.
    qint64 MessageSize() const;
    // The MMS as composed now.
    mms::ComposedMms ComposedMms() const;
    // Sends in MMS mode (the SMS Send otherwise). Nothing when MMS cannot be sent here.
    std::optional<mms::MmsSendResult> SendMms();
    QLineEdit* Cc() const { return m_cc; }
    QLineEdit* Subject() const { return m_subject; }
    QComboBox* Objects() const { return m_objects; }
    QLabel* Size() const { return m_size; }
    QWidget* MmsPanel() const { return m_mmsPanel; }
    // The post-send notification (0x401) of the MMS send: the message has been filed.
    static constexpr int kPostSendMessage = 0x401;

  protected:
    bool event(QEvent* e) override;

  private:
    QToolButton* AddressBookButton(QLineEdit* field, QWidget* parent, const QString& name);
    void UpdateCounter();
    void UpdateSize();
    void ChooseObject();
    void RemoveOriginal(sms::CRecordStore& store);
    void ShowSaveInMenu();
    void ShowTemplateMenu();
    void PickContact();
    void ChooseImportFile();

    const SmsUiPorts& m_ports;
    QComboBox* m_mode;
    QLineEdit* m_to;
    QToolButton* m_toAddressBook;
    QToolButton* m_ccAddressBook;
    QPlainTextEdit* m_text;
    QLabel* m_counter;
    QPushButton* m_saveIn;
    QPushButton* m_useTemplate;
    QPushButton* m_import;
    QWidget* m_mmsPanel;
    QLineEdit* m_cc;
    QLineEdit* m_subject;
    QComboBox* m_objects;
    QLabel* m_size;
    QPushButton* m_insertContact = nullptr;
    std::optional<MessageRow> m_original;
};

}  // namespace qvl::smsui

// The rows of the message list: the messages of one folder, SMS then MMS, as a table model so
// that a folder of thousands of messages costs one row struct each and only the visible rows
// are ever turned into display text.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <cstdint>
#include <string>
#include <vector>

namespace qvl::sms {
class CRecordStore;
}

namespace qvl::smsui {

enum class MessageKind { kSms, kMms };

struct MessageRow {
    MessageKind kind = MessageKind::kSms;
    std::int32_t id = 0;  // record id in QVLPhoneSMS.dat or QVLPhoneMMS.dat
    std::u16string number;
    std::u16string text;
    std::u16string time;
};

// The rows of folderKey: every message record of sms, then every MMS record of mms, in list
// order.
std::vector<MessageRow> RowsOfFolder(const sms::CRecordStore& sms, const sms::CRecordStore& mms,
                                     std::int32_t folderKey);

// The current id of the SMS record a row was made from. Another copy of the program may have
// changed the file since the list was filled, so the id is checked against the row's number,
// time and text and the record is looked up by them when it moved; -1 when it is gone.
std::int32_t ResolveSmsId(const sms::CRecordStore& store, const MessageRow& row);

// The list's short form of a message time "dd/mm/yy,hh:mm:ss,GMT+z": "dd/mm hh:mm". A text of
// any other form is returned unchanged.
QString ShortTime(const std::u16string& time);

class CMessageListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kColNumber = 0, kColMessage = 1, kColWhen = 2, kColumnCount = 3 };

    explicit CMessageListModel(QObject* parent = nullptr);

    void SetRows(std::vector<MessageRow> rows);
    const std::vector<MessageRow>& Rows() const { return m_rows; }
    const MessageRow* RowAt(int row) const;
    // Re-reads the column titles in the current language.
    void ReloadTitles();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<MessageRow> m_rows;
    QString m_titles[kColumnCount];
    QIcon m_smsIcon;
    QIcon m_mmsIcon;
};

}  // namespace qvl::smsui

#include "app/sms/ui/messagemodel.h"

#include <QPainter>
#include <QPixmap>

#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smsuiports.h"

namespace qvl::smsui {

namespace {

// The list's two images (SMS and MMS), drawn once: an envelope, and an envelope with a frame
// for a picture.
QIcon MakeIcon(MessageKind kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 120), 1));
    p.setBrush(kind == MessageKind::kSms ? QColor(250, 250, 210) : QColor(210, 235, 250));
    p.drawRect(1, 3, 14, 10);
    p.drawLine(1, 3, 8, 9);
    p.drawLine(15, 3, 8, 9);
    if (kind == MessageKind::kMms) {
        p.setBrush(QColor(60, 150, 60));
        p.drawRect(9, 8, 6, 6);
    }
    return QIcon(pixmap);
}

// The list shows one line per message: line breaks of the text become blanks.
QString OneLine(const std::u16string& text) {
    QString s = QString::fromStdU16String(text);
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

}  // namespace

QString ShortTime(const std::u16string& time) {
    // "dd/mm/yy,hh:mm:ss,GMT+z": the day, month, hour and minute are the characters 0-4 and
    // 9-13. Any other text is shown as it is.
    const QString full = QString::fromStdU16String(time);
    auto digitsAt = [&full](qsizetype i) { return full[i].isDigit() && full[i + 1].isDigit(); };
    if (full.size() < 14 || !digitsAt(0) || full[2] != u'/' || !digitsAt(3) || full[5] != u'/' ||
        !digitsAt(6) || full[8] != u',' || !digitsAt(9) || full[11] != u':' || !digitsAt(12)) {
        return full;
    }
    return full.left(5) + QLatin1Char(' ') + full.mid(9, 5);
}

std::vector<MessageRow> RowsOfFolder(const sms::CRecordStore& smsStore,
                                     const sms::CRecordStore& mmsStore, std::int32_t folderKey) {
    std::vector<MessageRow> rows;
    for (const auto& record : smsStore.Records()) {
        if (const auto* m = std::get_if<sms::SmsRecord>(&record); m && m->folder == folderKey) {
            rows.push_back({MessageKind::kSms, m->id, m->number, m->text, m->time});
        }
    }
    for (const auto& record : mmsStore.Records()) {
        if (const auto* m = std::get_if<sms::MmsMessageRecord>(&record);
            m && m->folder == folderKey) {
            rows.push_back({MessageKind::kMms, m->id, m->to, m->text, m->time});
        }
    }
    return rows;
}

std::int32_t ResolveSmsId(const sms::CRecordStore& store, const MessageRow& row) {
    auto same = [&row](const sms::SmsRecord& m) {
        return m.number == row.number && m.time == row.time && m.text == row.text;
    };
    if (const auto* r = store.Find(sms::RecordType::kMessage, row.id)) {
        if (const auto* m = std::get_if<sms::SmsRecord>(r); m && same(*m)) {
            return m->id;
        }
    }
    for (const auto& record : store.Records()) {
        if (const auto* m = std::get_if<sms::SmsRecord>(&record); m && same(*m)) {
            return m->id;
        }
    }
    return -1;
}

CMessageListModel::CMessageListModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_smsIcon(MakeIcon(MessageKind::kSms)),
      m_mmsIcon(MakeIcon(MessageKind::kMms)) {
    ReloadTitles();
}

void CMessageListModel::ReloadTitles() {
    m_titles[kColNumber] = Msg(kTextNumber);
    m_titles[kColMessage] = Msg(kTextMessage);
    m_titles[kColWhen] = Msg(kTextWhen);
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void CMessageListModel::SetRows(std::vector<MessageRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

const MessageRow* CMessageListModel::RowAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return nullptr;
    }
    return &m_rows[static_cast<std::size_t>(row)];
}

int CMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CMessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CMessageListModel::data(const QModelIndex& index, int role) const {
    const MessageRow* row = RowAt(index.row());
    if (row == nullptr) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case kColNumber:
                return QString::fromStdU16String(row->number);
            case kColMessage:
                return OneLine(row->text);
            case kColWhen:
                return ShortTime(row->time);
            default:
                return {};
        }
    }
    // The whole time (with year, seconds and zone) when the pointer rests on the short one.
    if (role == Qt::ToolTipRole && index.column() == kColWhen) {
        return QString::fromStdU16String(row->time);
    }
    if (role == Qt::DecorationRole && index.column() == kColNumber) {
        return row->kind == MessageKind::kSms ? m_smsIcon : m_mmsIcon;
    }
    if (role == Qt::UserRole) {
        return row->id;
    }
    return {};
}

QVariant CMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return m_titles[section];
    }
    return {};
}

}  // namespace qvl::smsui

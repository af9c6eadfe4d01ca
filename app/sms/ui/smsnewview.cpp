#include "app/sms/ui/smsnewview.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/composeview.h"
#include "app/sms/ui/folderdialogs.h"
#include "app/sms/ui/readdialog.h"
#include "common/lang/lang.h"

namespace qvl::smsui {

namespace {

// Numbers that do not fit lose their leading digits, not their last ones: the end of a
// number is what tells two contacts of one area apart.
class NumberDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideLeft;
    }
};

// The current id of an MMS record, checked like ResolveSmsId.
std::int32_t ResolveMmsId(const sms::CRecordStore& store, const MessageRow& row) {
    for (const auto& record : store.Records()) {
        if (const auto* m = std::get_if<sms::MmsMessageRecord>(&record);
            m && m->to == row.number && m->time == row.time && m->text == row.text) {
            if (m->id == row.id) {
                return m->id;
            }
        }
    }
    for (const auto& record : store.Records()) {
        if (const auto* m = std::get_if<sms::MmsMessageRecord>(&record);
            m && m->to == row.number && m->time == row.time && m->text == row.text) {
            return m->id;
        }
    }
    return -1;
}

std::string StorePathOf(const MessageRow& row) {
    return row.kind == MessageKind::kSms ? sms::SmsStorePath() : sms::MmsStorePath();
}

std::int32_t ResolveId(const sms::CRecordStore& store, const MessageRow& row) {
    return row.kind == MessageKind::kSms ? ResolveSmsId(store, row) : ResolveMmsId(store, row);
}

// The column widths are measured over at most this many rows (the first ones), so that a
// folder of thousands of messages costs no more than a short one.
constexpr int kMeasuredRows = 200;

}  // namespace

CQVLSMSNewView::CQVLSMSNewView(SmsUiPorts ports, QWidget* parent)
    : QWidget(parent), m_ports(std::move(ports)) {
    setObjectName(QStringLiteral("CQVLSMSNewView"));
    m_folders = new QComboBox(this);
    m_model = new CMessageListModel(this);
    m_list = new QTableView(this);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->verticalHeader()->hide();
    // Fixed row heights and column widths: the list never measures its rows, so a folder of
    // many thousands of messages shows as fast as a short one.
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setMinimumSectionSize(0);
    m_list->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setItemDelegateForColumn(CMessageListModel::kColNumber, new NumberDelegate(m_list));
    // The columns are sized to the viewport's width whenever it changes (a resize, a turn of
    // the screen, the vertical scroll bar coming or going).
    m_list->viewport()->installEventFilter(this);

    // The command bar: the folder choice and New, which writes a new message as the handheld's
    // New button did.
    m_new = new QToolButton(this);
    m_new->setObjectName(QStringLiteral("newMessage"));
    m_new->setText(QString::fromStdU16String(LoadLocalString(kCmdNew)));
    m_new->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(m_new, &QToolButton::clicked, this, [this] { NewMessage(); });
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_folders, 1);
    bar->addWidget(m_new);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);

    connect(m_folders, &QComboBox::activated, this, [this](int) { Refresh(); });
    connect(m_list, &QTableView::doubleClicked, this,
            [this](const QModelIndex&) { OpenSelected(); });
    connect(m_list, &QTableView::customContextMenuRequested, this,
            &CQVLSMSNewView::ShowContextMenu);
    ReloadFolders(sms::kFolderInUnread);
}

CQVLSMSNewView::CQVLSMSNewView(SmsUiPorts ports, std::unique_ptr<ISmsModem> modem, QWidget* parent)
    : CQVLSMSNewView(
          [&ports, &modem] {
              ports.modem = modem.get();
              return std::move(ports);
          }(),
          parent) {
    m_ownedModem = std::move(modem);
}

void CQVLSMSNewView::ReloadFolders(std::int32_t keep) {
    m_folders->clear();
    sms::CRecordStore folders;
    folders.Load(sms::FolderStorePath());
    for (const auto& entry : sms::FolderList(folders)) {
        QString title = entry.textId != 0                 ? Msg(entry.textId)
                        : entry.key == sms::kFolderDrafts ? Msg(kTextDrafts)
                                                          : QString::fromStdU16String(entry.name);
        m_folders->addItem(title, entry.key);
    }
    const int index = m_folders->findData(keep);
    m_folders->setCurrentIndex(index >= 0 ? index : 0);
}

std::int32_t CQVLSMSNewView::CurrentFolder() const {
    return m_folders->currentIndex() >= 0 ? m_folders->currentData().toInt() : sms::kFolderInUnread;
}

bool CQVLSMSNewView::ShowFolder(std::int32_t key) {
    ReloadFolders(key);
    Refresh();
    return CurrentFolder() == key;
}

void CQVLSMSNewView::Refresh() {
    const int row = SelectedRow();
    ReloadFolders(CurrentFolder());
    sms::CRecordStore smsStore;
    smsStore.Load(sms::SmsStorePath());
    sms::CRecordStore mmsStore;
    mmsStore.Load(sms::MmsStorePath());
    m_model->SetRows(RowsOfFolder(smsStore, mmsStore, CurrentFolder()));
    FitColumns();
    SelectRow(std::min(row, m_model->rowCount() - 1));
    if (m_ports.notifyToday) {
        m_ports.notifyToday(0, 0);
    }
    emit UnreadSeen();
    m_ports.TellStoreProblems(this);
}

int CQVLSMSNewView::ReadFromPhone() {
    int read = 0;
    if (m_ports.modem != nullptr) {
        // The copy saves the store itself, once, before it deletes anything from the phone.
        sms::CRecordStore store;
        store.Load(sms::SmsStorePath());
        read = m_ports.modem->CopyFromPhone(store, true);
    }
    Refresh();
    return read;
}

void CQVLSMSNewView::OpenView() {
    ReadFromPhone();
}

bool CQVLSMSNewView::SelectRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        m_list->clearSelection();
        return false;
    }
    m_list->selectRow(row);
    m_list->setCurrentIndex(m_model->index(row, 0));
    return true;
}

int CQVLSMSNewView::SelectedRow() const {
    const auto rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CQVLSMSNewView::OpenCompose(const QString& to, const QString& text,
                                 const MessageRow* original) {
    CQVLComposeView compose(m_ports, this);
    compose.SetTo(to);
    compose.SetText(text);
    if (original != nullptr) {
        compose.SetOriginal(*original);
    }
    m_ports.Run(compose);
    Refresh();
}

void CQVLSMSNewView::NewMessage(const QString& to, const QString& text) {
    OpenCompose(to, text, nullptr);
}

void CQVLSMSNewView::OpenSelected() {
    const MessageRow* selected = m_model->RowAt(SelectedRow());
    if (selected == nullptr) {
        return;
    }
    const MessageRow row = *selected;
    const std::int32_t folder = CurrentFolder();
    // A message written on the device that never went out is edited again, not read.
    if (row.kind == MessageKind::kSms && row.time.empty() &&
        (folder == sms::kFolderOutUnsent || folder == sms::kFolderDrafts)) {
        OpenCompose(QString::fromStdU16String(row.number), QString::fromStdU16String(row.text),
                    &row);
        return;
    }
    CQVLReadDialog dialog(m_ports, row, this);
    m_ports.Run(dialog);
    if (folder == sms::kFolderInUnread && row.kind == MessageKind::kSms) {
        sms::ChangeFile(sms::SmsStorePath(), [&](sms::CRecordStore& store) {
            const std::int32_t id = ResolveSmsId(store, row);
            return id >= 0 && sms::MarkReadOnClose(store, id);
        });
    }
    ActOnRead(row, static_cast<int>(dialog.Action()));
    Refresh();
}

void CQVLSMSNewView::ActOnRead(const MessageRow& row, int action) {
    switch (static_cast<ReadAction>(action)) {
        case ReadAction::kClose:
            return;
        case ReadAction::kReply:
            OpenCompose(QString::fromStdU16String(row.number), QString::fromStdU16String(row.text),
                        nullptr);
            return;
        case ReadAction::kForward:
            OpenCompose({}, QString::fromStdU16String(row.text), nullptr);
            return;
        case ReadAction::kCall:
            if (m_ports.dial) {
                m_ports.dial(row.number);
            }
            return;
        case ReadAction::kDelete:
            // By content, not by the list: closing an unread message has just moved it out of
            // the folder on show.
            DeleteRow(row, SelectedRow());
            return;
    }
}

bool CQVLSMSNewView::DeleteSelected() {
    const int selectedRow = SelectedRow();
    const MessageRow* selected = m_model->RowAt(selectedRow);
    if (selected == nullptr) {
        m_ports.Ask(this, Msg(kMsgCannotDelete).toStdU16String(), MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    return DeleteRow(MessageRow(*selected), selectedRow);
}

bool CQVLSMSNewView::DeleteRow(const MessageRow& row, int selectAfter) {
    if (m_ports.Ask(this, Msg(kMsgAskDeleteMessage).toStdU16String(), MsgButtons::YesNo,
                    MsgIcon::Question) != MsgAnswer::Yes) {
        return false;
    }
    const bool removed = sms::ChangeFile(StorePathOf(row), [&](sms::CRecordStore& store) {
                             const std::int32_t id = ResolveId(store, row);
                             return id >= 0 && store.Remove(row.kind == MessageKind::kSms
                                                                ? sms::RecordType::kMessage
                                                                : sms::RecordType::kMmsMessage,
                                                            id);
                         }) == sms::FileChange::kSaved;
    if (!removed) {
        m_ports.Ask(this, Msg(kMsgCannotDelete).toStdU16String(), MsgButtons::Ok, MsgIcon::Error);
        Refresh();
        return false;
    }
    Refresh();
    SelectRow(std::min(selectAfter, m_model->rowCount() - 1));
    m_ports.Ask(this, Msg(kMsgDeleted).toStdU16String(), MsgButtons::Ok, MsgIcon::Information);
    return true;
}

bool CQVLSMSNewView::MoveSelectedTo(std::int32_t folderChoice) {
    const MessageRow* selected = m_model->RowAt(SelectedRow());
    if (selected == nullptr) {
        return false;
    }
    const MessageRow row = *selected;
    const std::int32_t key = ResolveFolderChoice(m_ports, this, folderChoice);
    if (key == kNoFolder) {
        Refresh();
        return false;
    }
    const bool moved = sms::ChangeFile(StorePathOf(row), [&](sms::CRecordStore& store) {
                           const std::int32_t id = ResolveId(store, row);
                           if (row.kind == MessageKind::kSms) {
                               return id >= 0 && sms::MoveMessage(store, id, key);
                           }
                           auto* m = store.FindAs<sms::MmsMessageRecord>(id);
                           if (m != nullptr) {
                               m->folder = key;
                           }
                           return m != nullptr;
                       }) == sms::FileChange::kSaved;
    Refresh();
    return moved;
}

bool CQVLSMSNewView::ExportSelectedToPhone() {
    const MessageRow* selected = m_model->RowAt(SelectedRow());
    if (selected == nullptr) {
        return false;
    }
    if (selected->kind == MessageKind::kMms) {
        m_ports.Ask(this, Msg(kMsgCannotExportMms).toStdU16String(), MsgButtons::Ok,
                    MsgIcon::Error);
        return false;
    }
    const bool ok =
        m_ports.modem != nullptr &&
        m_ports.modem->ExportToPhone(selected->number, selected->text, selected->time) == 1;
    m_ports.Ask(this, Msg(ok ? kMsgExported : kMsgExportFailed).toStdU16String(), MsgButtons::Ok,
                ok ? MsgIcon::Information : MsgIcon::Error);
    return ok;
}

void CQVLSMSNewView::BuildPaneMenu(QMenu& menu) const {
    menu.addAction(QString::fromStdU16String(LoadLocalString(kCmdNew)))->setData(kCmdNew);
    menu.addSeparator();
    BuildContextMenu(menu);
}

void CQVLSMSNewView::BuildContextMenu(QMenu& menu) const {
    for (const auto& top : LoadLocalMenu(kMenuSms)) {
        for (const auto& item : top.popup ? top.items : std::vector<MenuItem>{top}) {
            if (item.separator) {
                menu.addSeparator();
            } else if (item.command == kCmdMoveTo) {
                QMenu* sub = menu.addMenu(Msg(kTextMoveTo));
                FillFolderMenu(*sub);
                for (QAction* a : sub->actions()) {
                    a->setProperty("moveTo", true);
                }
            } else {
                menu.addAction(QString::fromStdU16String(item.text))->setData(item.command);
            }
        }
    }
}

void CQVLSMSNewView::ShowContextMenu(const QPoint& pos) {
    const QModelIndex index = m_list->indexAt(pos);
    if (index.isValid()) {
        SelectRow(index.row());
    }
    QMenu menu(this);
    BuildPaneMenu(menu);
    QAction* chosen = menu.exec(m_list->viewport()->mapToGlobal(pos));
    if (chosen == nullptr) {
        return;
    }
    if (chosen->property("moveTo").toBool()) {
        MoveSelectedTo(chosen->data().toInt());
        return;
    }
    switch (chosen->data().toInt()) {
        case kCmdNew:
            NewMessage();
            break;
        case kCmdRead:
            OpenSelected();
            break;
        case kCmdDelete:
            DeleteSelected();
            break;
        case kCmdExportToSim:
            ExportSelectedToPhone();
            break;
        default:
            break;
    }
}

void CQVLSMSNewView::ManageFolders() {
    CQVLFoldersDialog dialog(m_ports, this);
    m_ports.Run(dialog);
    Refresh();
}

void CQVLSMSNewView::ManageTemplates() {
    CQVLTemplatesDialog dialog(m_ports, this);
    m_ports.Run(dialog);
}

void CQVLSMSNewView::Retranslate() {
    m_new->setText(QString::fromStdU16String(LoadLocalString(kCmdNew)));
    m_model->ReloadTitles();
    ReloadFolders(CurrentFolder());
    FitColumns();
}

bool CQVLSMSNewView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        FitColumns();
    }
    return QWidget::eventFilter(watched, event);
}

void CQVLSMSNewView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // The font follows the display scale: the fixed row height and the columns go with it.
        m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
        FitColumns();
    }
}

void CQVLSMSNewView::FitColumns() {
    const int width = m_list->viewport()->width();
    if (width <= 0) {
        return;
    }
    const QFontMetrics fm(m_list->font());
    // The item delegate keeps a margin of the focus frame plus one pixel on each side of the
    // text and of the image.
    const int margin =
        m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1;
    const int icon = m_list->iconSize().isValid()
                         ? m_list->iconSize().width()
                         : m_list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_list);
    // Without rows the widths fit a long international number and a short time.
    int numberText = fm.horizontalAdvance(QStringLiteral("+491701234567"));
    int whenText = fm.horizontalAdvance(ShortTime(u"00/00/00,00:00:00,GMT+0"));
    const int rows = std::min(m_model->rowCount(), kMeasuredRows);
    if (rows > 0) {
        numberText = 0;
        whenText = 0;
    }
    for (int r = 0; r < rows; ++r) {
        const MessageRow* row = m_model->RowAt(r);
        numberText =
            std::max(numberText, fm.horizontalAdvance(QString::fromStdU16String(row->number)));
        whenText = std::max(whenText, fm.horizontalAdvance(ShortTime(row->time)));
    }
    // At least the width of "..." so that a cut text still shows that it goes on.
    const int ellipsis = fm.horizontalAdvance(QStringLiteral("...")) + 2 * margin;
    QHeaderView* header = m_list->horizontalHeader();
    // What the delegate asks for the rows on screen (the image, its spacing and the style's
    // padding included), and what the header needs to show its whole title: a column of
    // empty times (messages written here) still reads "When", not "he".
    QStyleOptionViewItem option;
    option.initFrom(m_list);
    option.font = m_list->font();
    option.decorationSize = QSize(icon, icon);
    const auto needed = [&](int column, int measured) {
        int widest = std::max(measured, header->sectionSizeHint(column));
        QAbstractItemDelegate* delegate = m_list->itemDelegateForColumn(column);
        if (delegate == nullptr) {
            delegate = m_list->itemDelegate();
        }
        for (int r = 0; r < rows; ++r) {
            widest =
                std::max(widest, delegate->sizeHint(option, m_model->index(r, column)).width());
        }
        return widest;
    };
    int number =
        needed(CMessageListModel::kColNumber,
               std::max(icon + 2 * margin + numberText + 2 * margin, icon + 2 * margin + ellipsis));
    number = std::min(number, width * 2 / 5);
    int when =
        std::min(needed(CMessageListModel::kColWhen, std::max(whenText + 2 * margin, ellipsis)),
                 width * 2 / 5);
    // The message text takes the rest, and at least a quarter of the width: the time gives way
    // first, then the number.
    const int messageMin = width / 4;
    if (width - number - when < messageMin) {
        when = std::max(width - number - messageMin, std::min(when, ellipsis));
    }
    if (width - number - when < messageMin) {
        number = std::max(width - when - messageMin, 0);
    }
    const int message = std::max(width - number - when, 0);
    m_list->setColumnWidth(CMessageListModel::kColNumber, number);
    m_list->setColumnWidth(CMessageListModel::kColMessage, message);
    m_list->setColumnWidth(CMessageListModel::kColWhen, when);
}

}  // namespace qvl::smsui

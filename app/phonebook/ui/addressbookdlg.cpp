#include "app/phonebook/ui/addressbookdlg.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/contacts/contactrows.h"
#include "app/engine/phoneengine.h"
#include "app/phonebook/ui/addressentrydlg.h"
#include "app/phonebook/ui/phonebookui.h"
#include "common/controls/qtuiports.h"
#include "common/lang/lang.h"

namespace qvl::phonebookui {

QString Msg(int englishId) {
    return QString::fromStdU16String(LoadLocalString(englishId));
}

QString DlgText(int englishDialogId, std::string_view control) {
    return QString::fromStdU16String(LoadDialogText(englishDialogId, control));
}

MsgAnswer Tell(IMessageBoxPort* messages, QWidget* parent, int messageId, MsgIcon icon,
               MsgButtons buttons) {
    const std::u16string caption = LoadLocalString(kMsgAddressBook);
    const std::u16string text = LoadLocalString(messageId);
    if (messages != nullptr) {
        return messages->ShowMessage(text, caption, buttons, icon);
    }
    return QtMessageBoxPort(parent).ShowMessage(text, caption, buttons, icon);
}

namespace {

constexpr int kIndexRole = Qt::UserRole;
constexpr int kNameKeyRole = Qt::UserRole + 1;
constexpr int kNumberKeyRole = Qt::UserRole + 2;

constexpr const char* kSourceControls[kAddressSourceCount] = {
    "sim", "phone", "contacts", "dialled", "received", "missed", "sos"};

std::optional<PhonebookMemory> MemoryOf(AddressSource source) {
    switch (source) {
        case AddressSource::SimBook:
            return PhonebookMemory::Sim;
        case AddressSource::PhoneBook:
            return PhonebookMemory::Handset;
        case AddressSource::DialledCalls:
            return PhonebookMemory::Dialled;
        case AddressSource::ReceivedCalls:
            return PhonebookMemory::Received;
        case AddressSource::MissedCalls:
            return PhonebookMemory::Missed;
        case AddressSource::SosCalls:
            return PhonebookMemory::Emergency;
        case AddressSource::Contacts:
            return std::nullopt;
    }
    return std::nullopt;
}

int NotReadyMessage(AddressSource source) {
    switch (source) {
        case AddressSource::PhoneBook:
            return kMsgPhoneNotReady;
        case AddressSource::SosCalls:
            return kMsgSosNotReady;
        case AddressSource::SimBook:
        case AddressSource::Contacts:
        case AddressSource::DialledCalls:
        case AddressSource::ReceivedCalls:
        case AddressSource::MissedCalls:
            return kMsgSimNotReady;
    }
    return kMsgSimNotReady;
}

// The row icons of the three modes, and the refresh picture, drawn at the screen's density.
QIcon ModeIcon(CQVLAddressBookDlg::Mode mode) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(31, 111, 209);
    switch (mode) {
        case CQVLAddressBookDlg::Mode::Dial: {
            // A handset.
            QPainterPath path;
            path.moveTo(8, 5);
            path.cubicTo(3, 9, 10, 24, 23, 27);
            path.lineTo(27, 22);
            path.lineTo(21, 18);
            path.lineTo(18, 21);
            path.cubicTo(14, 19, 12, 16, 11, 13);
            path.lineTo(14, 10);
            path.lineTo(11, 4);
            path.closeSubpath();
            p.fillPath(path, QColor(30, 150, 70));
            break;
        }
        case CQVLAddressBookDlg::Mode::Pick:
            // A card with lines.
            p.setPen(QPen(blue, 2));
            p.drawRoundedRect(QRectF(4, 7, 24, 18), 3, 3);
            p.fillRect(QRectF(8, 11, 6, 6), blue);
            p.drawLine(QPointF(17, 12), QPointF(24, 12));
            p.drawLine(QPointF(17, 18), QPointF(24, 18));
            break;
        case CQVLAddressBookDlg::Mode::Message:
            // An envelope.
            p.setPen(QPen(blue, 2));
            p.drawRect(QRectF(4, 8, 24, 16));
            p.drawLine(QPointF(4, 8), QPointF(16, 18));
            p.drawLine(QPointF(28, 8), QPointF(16, 18));
            break;
    }
    return QIcon(pixmap);
}

QIcon RefreshIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(31, 111, 209);
    p.setPen(QPen(blue, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(19, 2);
    head.lineTo(26, 8);
    head.lineTo(17, 11);
    head.closeSubpath();
    p.fillPath(head, blue);
    return QIcon(pixmap);
}

}  // namespace

QByteArray CsvText(const std::vector<AddressRow>& rows) {
    QByteArray out;
    for (const AddressRow& row : rows) {
        out += QString::fromStdU16String(
                   CsvLine(row.name.toStdU16String(), row.number.toStdU16String()))
                   .toUtf8();
    }
    return out;
}

CQVLAddressBookDlg::CQVLAddressBookDlg(AddressBookPorts ports, Mode mode, bool landscape,
                                       QWidget* parent)
    : QDialog(parent),
      m_ports(std::move(ports)),
      m_mode(mode),
      m_landscape(landscape),
      m_steps(this, FloatPlacement::Upper),
      m_bar(this, FloatPlacement::Lower),
      m_single(this) {
    setObjectName(QStringLiteral("CQVLAddressBookDlg"));
    setWindowTitle(Msg(kMsgAddressBook));

    m_sources = new QComboBox(this);
    m_sources->setObjectName(QStringLiteral("source"));
    // The selector may be narrower than its longest entry ("Répertoire du téléphone").
    m_sources->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_sources->setMinimumContentsLength(5);
    for (const char* control : kSourceControls) {
        m_sources->addItem(DlgText(kDlgAddressBook, control));
    }
    if (m_ports.contacts == nullptr) {
        if (auto* model = qobject_cast<QStandardItemModel*>(m_sources->model())) {
            model->item(static_cast<int>(AddressSource::Contacts))->setEnabled(false);
        }
    }
    m_refresh = new QToolButton(this);
    m_refresh->setObjectName(QStringLiteral("refresh"));
    m_refresh->setIcon(RefreshIcon());
    m_refresh->setIconSize(QSize(18, 18));
    m_refresh->setToolTip(DlgText(kDlgAddressBook, "refresh"));
    m_refresh->setAutoRaise(true);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setClearButtonEnabled(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({Msg(kTextName), Msg(kTextNumber)});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setIconSize(QSize(16, 16));
    m_list->header()->setStretchLastSection(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    m_export = new QPushButton(DlgText(kDlgAddressBook, "export"), this);
    m_export->setObjectName(QStringLiteral("export"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(DlgText(kDlgAddressBook, "ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(DlgText(kDlgAddressBook, "cancel"));

    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(m_sources, 1);
    sourceRow->addWidget(m_refresh);
    auto* sourceLabel = new QLabel(DlgText(kDlgAddressBook, "source"), this);
    auto* searchLabel = new QLabel(DlgText(kDlgAddressBook, "search"), this);
    sourceLabel->setBuddy(m_sources);
    searchLabel->setBuddy(m_search);
    if (m_landscape) {
        // Selector and search in one row above the list, the buttons in one row under it: the
        // list keeps the whole width for its two columns.
        auto* top = new QHBoxLayout;
        top->addWidget(sourceLabel);
        top->addLayout(sourceRow, 2);
        top->addSpacing(4);
        top->addWidget(searchLabel);
        top->addWidget(m_search, 3);
        auto* bottom = new QHBoxLayout;
        bottom->addWidget(m_export);
        bottom->addStretch(1);
        bottom->addWidget(buttons);
        auto* main = new QVBoxLayout(this);
        main->setContentsMargins(4, 4, 4, 4);
        main->addLayout(top);
        main->addWidget(m_list, 1);
        main->addLayout(bottom);
    } else {
        auto* grid = new QGridLayout;
        grid->addWidget(sourceLabel, 0, 0);
        grid->addLayout(sourceRow, 0, 1);
        grid->addWidget(searchLabel, 1, 0);
        grid->addWidget(m_search, 1, 1);
        grid->setColumnStretch(1, 1);
        // Export in a row of its own: with OK and Cancel beside it the row would be wider than
        // a portrait screen in most languages.
        auto* bottom = new QVBoxLayout;
        auto* exportRow = new QHBoxLayout;
        exportRow->addWidget(m_export);
        exportRow->addStretch(1);
        bottom->addLayout(exportRow);
        bottom->addWidget(buttons);
        auto* main = new QVBoxLayout(this);
        main->setContentsMargins(4, 4, 4, 4);
        main->addLayout(grid);
        main->addWidget(m_list, 1);
        main->addLayout(bottom);
    }

    connect(m_sources, &QComboBox::activated, this,
            [this](int index) { ShowSource(static_cast<AddressSource>(index)); });
    connect(m_refresh, &QToolButton::clicked, this, [this] { ShowSource(m_source, true); });
    connect(m_search, &QLineEdit::textChanged, this, [this] {
        if (m_source == AddressSource::Contacts) {
            // The contacts are searched as they are read.
            m_contactsSearchOnly = true;
            FillList();
            m_contactsSearchOnly = false;
        } else {
            ApplySearch();
        }
    });
    connect(m_list, &QTreeWidget::customContextMenuRequested, this,
            &CQVLAddressBookDlg::OnContextMenu);
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(m_export, &QPushButton::clicked, this, &CQVLAddressBookDlg::ExportCsv);
    connect(buttons, &QDialogButtonBox::accepted, this, &CQVLAddressBookDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(m_landscape ? QSize(320, 240) : QSize(240, 320));
}

CQVLAddressBookDlg::~CQVLAddressBookDlg() = default;

void CQVLAddressBookDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Once the dialog is on screen, so that the progress windows float over it.
        QTimer::singleShot(0, this, [this] {
            if (!m_reading && m_list->topLevelItemCount() == 0) {
                ShowSource(m_source);
            }
        });
    }
}

void CQVLAddressBookDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    SizeColumns();
}

void CQVLAddressBookDlg::SizeColumns() {
    // Name and Number take half the list each.
    m_list->setColumnWidth(0, m_list->viewport()->width() / 2);
}

std::optional<PhonebookMemory> CQVLAddressBookDlg::Memory() const {
    return MemoryOf(m_source);
}

void CQVLAddressBookDlg::SetReading(bool reading) {
    m_reading = reading;
    m_sources->setEnabled(!reading);
    m_refresh->setEnabled(!reading);
}

void CQVLAddressBookDlg::ShowSource(AddressSource source, bool refresh) {
    if (m_reading) {
        return;
    }
    m_source = source;
    m_sources->setCurrentIndex(static_cast<int>(source));
    m_list->clear();
    const auto memory = Memory();
    if (!memory) {
        if (m_ports.contacts != nullptr) {
            FillList();
        }
        return;
    }
    CPhonebook* book = m_ports.phonebook;
    if (book == nullptr) {
        Tell(m_ports.messages, this, NotReadyMessage(source), MsgIcon::Warning);
        return;
    }
    if (refresh) {
        book->InvalidateBook(*memory);
    }
    int count = -1;
    {
        SetReading(true);
        const BookProgress progress{&m_steps, &m_bar};
        count = book->ReadBook(*memory, progress);
        SetReading(false);
    }
    if (count < 0) {
        Tell(m_ports.messages, this, NotReadyMessage(source), MsgIcon::Warning);
        return;
    }
    FillList();
    if (book->LastReadEnd(*memory) == ReadEnd::CutShort && book->CacheValid(*memory) &&
        !book->CacheComplete(*memory)) {
        Tell(m_ports.messages, this, kMsgReadCutShort, MsgIcon::Warning);
    }
}

bool CQVLAddressBookDlg::ShowOnly(const std::vector<AddressRow>& rows) {
    // The rows of a search are those of the list in their order, unless the contacts changed:
    // then the list is built again.
    const int count = m_list->topLevelItemCount();
    std::vector<bool> shown(static_cast<std::size_t>(count), false);
    std::size_t next = 0;
    for (int i = 0; i < count && next < rows.size(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->text(0) == rows[next].name && item->text(1) == rows[next].number) {
            shown[static_cast<std::size_t>(i)] = true;
            ++next;
        }
    }
    if (next < rows.size()) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->isHidden() == shown[static_cast<std::size_t>(i)]) {
            item->setHidden(!shown[static_cast<std::size_t>(i)]);
        }
    }
    return true;
}

void CQVLAddressBookDlg::FillList(int selectIndex) {
    m_list->setUpdatesEnabled(false);
    std::vector<AddressRow> rows;
    const auto memory = Memory();
    if (!memory) {
        if (m_ports.contacts != nullptr) {
            rows = m_ports.contacts->Rows(m_search->text(), !m_contactsSearchOnly)
                       .value_or(std::vector<AddressRow>{});
            // A keystroke hides and shows the rows of the list (a folder of thousands of
            // contacts is not built again at every key).
            if (m_contactsSearchOnly && ShowOnly(rows)) {
                m_list->setUpdatesEnabled(true);
                return;
            }
        }
    } else if (m_ports.phonebook != nullptr) {
        if (IsCallLog(*memory)) {
            for (const CallLogEntry& e : m_ports.phonebook->CallLog(*memory)) {
                rows.push_back(
                    {QString::fromStdU16String(e.name), QString::fromStdU16String(e.number), -1});
            }
        } else {
            for (const PhonebookEntry& e : m_ports.phonebook->Entries(*memory)) {
                rows.push_back({QString::fromStdU16String(e.name),
                                QString::fromStdU16String(e.number), e.index});
            }
        }
    }
    m_list->clear();
    const QIcon icon = ModeIcon(m_mode);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    QTreeWidgetItem* selected = nullptr;
    for (const AddressRow& row : rows) {
        auto* item = new QTreeWidgetItem({row.name, row.number});
        item->setIcon(0, icon);
        item->setData(0, kIndexRole, row.index);
        // The search compares upper-cased texts; keep them with the row.
        item->setData(0, kNameKeyRole, row.name.toUpper());
        item->setData(0, kNumberKeyRole, row.number.toUpper());
        item->setToolTip(0, row.name);
        if (row.index >= 0 && row.index == selectIndex) {
            selected = item;
        }
        items.push_back(item);
    }
    m_list->addTopLevelItems(items);
    if (memory) {
        ApplySearch();
    }
    if (selected != nullptr) {
        m_list->setCurrentItem(selected);
        m_list->scrollToItem(selected);
    }
    m_list->setUpdatesEnabled(true);
    SizeColumns();
}

void CQVLAddressBookDlg::ApplySearch() {
    // The SOS numbers are not searched; the contacts are searched when they are read.
    if (m_source == AddressSource::SosCalls || m_source == AddressSource::Contacts) {
        return;
    }
    const QString key = m_search->text().toUpper();
    m_list->setUpdatesEnabled(false);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const bool match = key.isEmpty() ||
                           item->data(0, kNameKeyRole).toString().startsWith(key) ||
                           item->data(0, kNumberKeyRole).toString().startsWith(key);
        item->setHidden(!match);
    }
    m_list->setUpdatesEnabled(true);
}

std::vector<AddressRow> CQVLAddressBookDlg::ShownRows() const {
    std::vector<AddressRow> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (!item->isHidden()) {
            rows.push_back({item->text(0), item->text(1), item->data(0, kIndexRole).toInt()});
        }
    }
    return rows;
}

QTreeWidgetItem* CQVLAddressBookDlg::SelectedItem() const {
    const auto selected = m_list->selectedItems();
    return selected.isEmpty() || selected.front()->isHidden() ? nullptr : selected.front();
}

std::unique_ptr<QMenu> CQVLAddressBookDlg::ContextMenu() {
    int menuId = 0;
    if (m_source == AddressSource::SimBook || m_source == AddressSource::PhoneBook) {
        menuId = kMenuAddressBook;
    } else if (m_source == AddressSource::Contacts && m_ports.contacts != nullptr) {
        menuId = kMenuContacts;
    } else {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(this);
    for (const MenuItem& top : LoadLocalMenu(menuId)) {
        for (const MenuItem& item : top.items) {
            if (item.separator) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromStdU16String(item.text));
            action->setData(item.command);
            action->setObjectName(QStringLiteral("command%1").arg(item.command));
            // The commands that reach the contacts need the contacts.
            const bool contactsCommand = item.command == kCmdImportToContacts ||
                                         item.command == kCmdExportToSimBook ||
                                         item.command == kCmdExportToPhoneBook;
            action->setEnabled(!contactsCommand || m_ports.contacts != nullptr);
        }
    }
    return menu;
}

void CQVLAddressBookDlg::OnContextMenu(const QPoint& pos) {
    if (QTreeWidgetItem* item = m_list->itemAt(pos)) {
        m_list->setCurrentItem(item);
    }
    auto menu = ContextMenu();
    if (!menu) {
        return;
    }
    QAction* chosen = nullptr;
    {
        // The poll step stays out while the menu is open.
        std::optional<CPhoneEngine::BusyScope> busy;
        if (m_ports.phonebook != nullptr) {
            busy.emplace(m_ports.phonebook->Engine());
        }
        chosen = menu->exec(m_list->viewport()->mapToGlobal(pos));
    }
    if (chosen == nullptr) {
        return;
    }
    const int command = chosen->data().toInt();
    QTreeWidgetItem* item = SelectedItem();
    const AddressRow row = item != nullptr ? AddressRow{item->text(0), item->text(1),
                                                        item->data(0, kIndexRole).toInt()}
                                           : AddressRow{};
    switch (command) {
        case kCmdInsert:
            Insert();
            return;
        case kCmdEdit:
            Edit();
            return;
        case kCmdDelete:
            Delete();
            return;
        case kCmdImportToContacts:
            if (m_ports.contacts != nullptr) {
                m_ports.contacts->Import(row, this);
            }
            return;
        default:
            if (m_ports.contacts != nullptr) {
                m_ports.contacts->RunCommand(command, row, this);
            }
            return;
    }
}

int CQVLAddressBookDlg::RunEntryDialog(QDialog& dialog) {
    return m_ports.runDialog ? m_ports.runDialog(dialog) : dialog.exec();
}

BookWrite CQVLAddressBookDlg::Run(int textId, const std::function<BookWrite()>& write) {
    m_single.Create(0, 100, -1, false);
    m_single.SetText(LoadLocalString(textId), -1);
    const BookWrite outcome = write();
    m_single.Close();
    return outcome;
}

void CQVLAddressBookDlg::TellOutcome(BookWrite outcome) {
    switch (outcome) {
        case BookWrite::Written:
            return;
        case BookWrite::NotSelected:
        case BookWrite::NotFree:
            Tell(m_ports.messages, this, NotReadyMessage(m_source), MsgIcon::Warning);
            return;
        case BookWrite::Refused:
            Tell(m_ports.messages, this, kMsgNameNotStorable, MsgIcon::Warning);
            return;
        case BookWrite::Failed:
            Tell(m_ports.messages, this, kMsgFailed, MsgIcon::Error);
            return;
    }
}

void CQVLAddressBookDlg::Insert() {
    const auto memory = Memory();
    if (!memory || !IsEditableBook(*memory) || m_reading) {
        return;
    }
    CPhonebook* book = m_ports.phonebook;
    const bool sim = *memory == PhonebookMemory::Sim;
    int free = -1;
    if (book != nullptr) {
        SetReading(true);
        free = book->GetFreeCount(*memory, BookProgress{&m_steps, &m_bar});
        SetReading(false);
        // The free count may have read the book again.
        FillList();
    }
    if (free < 0) {
        Tell(m_ports.messages, this, sim ? kMsgSimNotReady : kMsgPhoneNotReady, MsgIcon::Warning);
        return;
    }
    if (free == 0) {
        Tell(m_ports.messages, this, sim ? kMsgSimFull : kMsgPhoneFull, MsgIcon::Information);
        return;
    }
    const int location = book->GetFreeLocations(*memory).front();
    CQVLAddressEntryDlg entry(m_landscape, book->NameLength(*memory), m_ports.messages, this);
    entry.SetSimBook(sim);
    entry.SetEntry({}, {}, location);
    if (RunEntryDialog(entry) != QDialog::Accepted) {
        return;
    }
    const PhonebookEntry written{entry.Position(), entry.Number().toStdU16String(), 0,
                                 entry.Name().toStdU16String()};
    const BookWrite outcome = Run(kMsgInserting, [&] { return book->AddEntry(*memory, written); });
    FillList(written.index);
    TellOutcome(outcome);
}

std::optional<CQVLAddressBookDlg::EditTarget> CQVLAddressBookDlg::SelectedEntry() {
    const auto memory = Memory();
    if (!memory || !IsEditableBook(*memory) || m_reading || m_ports.phonebook == nullptr) {
        return std::nullopt;
    }
    QTreeWidgetItem* item = SelectedItem();
    if (item == nullptr) {
        Tell(m_ports.messages, this, kMsgNoSelection, MsgIcon::Information);
        return std::nullopt;
    }
    return EditTarget{*memory, item, item->data(0, kIndexRole).toInt()};
}

void CQVLAddressBookDlg::Edit() {
    const auto target = SelectedEntry();
    if (!target) {
        return;
    }
    CPhonebook* book = m_ports.phonebook;
    const auto memory = target->memory;
    QTreeWidgetItem* item = target->item;
    const int index = target->index;
    CQVLAddressEntryDlg entry(m_landscape, book->NameLength(memory), m_ports.messages, this);
    entry.SetSimBook(memory == PhonebookMemory::Sim);
    entry.SetEntry(item->text(0), item->text(1), index);
    if (RunEntryDialog(entry) != QDialog::Accepted) {
        return;
    }
    const PhonebookEntry written{entry.Position(), entry.Number().toStdU16String(), 0,
                                 entry.Name().toStdU16String()};
    const BookWrite outcome =
        Run(kMsgUpdating, [&] { return book->UpdateEntry(memory, written, index); });
    FillList(outcome == BookWrite::Written ? written.index : index);
    TellOutcome(outcome);
}

void CQVLAddressBookDlg::Delete() {
    const auto target = SelectedEntry();
    if (!target) {
        return;
    }
    if (Tell(m_ports.messages, this, kMsgAskDelete, MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes) {
        return;
    }
    const BookWrite outcome = Run(kMsgDeleting, [&] {
        return m_ports.phonebook->DeleteEntry(target->memory, target->index);
    });
    FillList(target->index);
    TellOutcome(outcome);
}

void CQVLAddressBookDlg::ExportCsv() {
    const std::vector<AddressRow> rows = ShownRows();
    if (rows.empty()) {
        return;
    }
    const QString title = QStringLiteral("Open File");
    const QString filter = QStringLiteral("All (*.CSV *.csv)");
    const QString path = m_ports.chooseSaveFile
                             ? m_ports.chooseSaveFile(title, filter)
                             : QFileDialog::getSaveFileName(this, title, {}, filter);
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(CsvText(rows)) < 0 || !file.commit()) {
        Tell(m_ports.messages, this, kMsgCsvNotWritten, MsgIcon::Error);
    }
}

void CQVLAddressBookDlg::accept() {
    if (QTreeWidgetItem* item = SelectedItem()) {
        m_chosenName = item->text(0);
        m_chosenNumber = StripNumberGrouping(item->text(1));
    } else {
        m_chosenName.clear();
        m_chosenNumber.clear();
    }
    QDialog::accept();
}

}  // namespace qvl::phonebookui

#include "app/sms/ui/folderdialogs.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"

namespace qvl::smsui {

namespace {

QString FolderTitle(const sms::FolderEntry& entry) {
    if (entry.textId != 0) {
        return Msg(entry.textId);
    }
    if (entry.key == sms::kFolderDrafts) {
        return Msg(kTextDrafts);
    }
    return QString::fromStdU16String(entry.name);
}

std::vector<sms::FolderEntry> LoadFolders() {
    sms::CRecordStore folders;
    folders.Load(sms::FolderStorePath());
    return sms::FolderList(folders);
}

}  // namespace

void FillFolderMenu(QMenu& menu) {
    const auto entries = LoadFolders();
    bool newFolderAdded = false;
    for (const auto& entry : entries) {
        if (!newFolderAdded && entry.key >= sms::kFirstUserFolder &&
            entry.key != sms::kFolderDrafts) {
            menu.addAction(Msg(kTextNewFolder))->setData(kNewFolderChoice);
            newFolderAdded = true;
        }
        menu.addAction(FolderTitle(entry))->setData(entry.key);
    }
    if (!newFolderAdded) {
        menu.addAction(Msg(kTextNewFolder))->setData(kNewFolderChoice);
    }
}

namespace {

// Adds a user folder to the folder file; an empty name is refused with a warning. The new key,
// or kNoFolder when nothing was saved.
std::int32_t AddFolderToFile(const SmsUiPorts& ports, QWidget* parent, const QString& name) {
    std::int32_t key = -1;
    const sms::FileChange done =
        sms::ChangeFile(sms::FolderStorePath(), [&](sms::CRecordStore& folders) {
            key = sms::AddFolder(folders, name.toStdU16String());
            return key >= 0;
        });
    if (done == sms::FileChange::kUnchanged) {
        ports.Ask(parent, Msg(kMsgEmptyFolderName).toStdU16String(), MsgButtons::Ok,
                  MsgIcon::Warning);
    }
    ports.TellStoreProblems(parent);
    return done == sms::FileChange::kSaved ? key : kNoFolder;
}

}  // namespace

std::int32_t AskNewFolder(const SmsUiPorts& ports, QWidget* parent) {
    QString name;
    if (!ports.AskText(parent, Msg(kTextNewFolder), name)) {
        return kNoFolder;
    }
    return AddFolderToFile(ports, parent, name);
}

std::int32_t ResolveFolderChoice(const SmsUiPorts& ports, QWidget* parent, std::int32_t choice) {
    return choice == kNewFolderChoice ? AskNewFolder(ports, parent) : choice;
}

// ---- Folders ---------------------------------------------------------------------------

CQVLFoldersDialog::CQVLFoldersDialog(const SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(DlgText(kDlgFolders, "caption"));
    m_list = new QListWidget(this);
    m_name = new QLineEdit(this);
    m_name->setMaxLength(static_cast<int>(sms::kFolderNameChars) - 1);
    m_add = new QPushButton(DlgText(kDlgFolders, "add"), this);
    m_rename = new QPushButton(DlgText(kDlgFolders, "rename"), this);
    m_delete = new QPushButton(DlgText(kDlgFolders, "delete"), this);
    m_export = new QPushButton(DlgText(kDlgFolders, "export"), this);
    auto* close = new QPushButton(DlgText(kDlgFolders, "close"), this);

    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(DlgText(kDlgFolders, "name"), this));
    side->addWidget(m_name);
    auto* buttons = new QGridLayout;
    buttons->addWidget(m_add, 0, 0);
    buttons->addWidget(m_rename, 0, 1);
    buttons->addWidget(m_delete, 1, 0);
    buttons->addWidget(m_export, 1, 1);
    side->addLayout(buttons);
    side->addStretch(1);
    side->addWidget(close);
    // Landscape puts the list and the controls side by side, portrait one above the other.
    auto* main = new QBoxLayout(
        m_ports.IsLandscape() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    main->addWidget(m_list, 1);
    main->addLayout(side);

    connect(m_add, &QPushButton::clicked, this, [this] { AddFolder(m_name->text()); });
    connect(m_rename, &QPushButton::clicked, this, [this] { RenameSelected(m_name->text()); });
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    connect(m_export, &QPushButton::clicked, this, [this] { ExportSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int) {
        if (auto* item = m_list->currentItem()) {
            m_name->setText(SelectedKey() >= sms::kFirstUserFolder &&
                                    SelectedKey() != sms::kFolderDrafts
                                ? item->text()
                                : QString());
        }
        UpdateButtons();
    });
    Reload();
}

void CQVLFoldersDialog::Reload() {
    const std::int32_t keep = SelectedKey();
    m_list->clear();
    for (const auto& entry : LoadFolders()) {
        auto* item = new QListWidgetItem(FolderTitle(entry), m_list);
        item->setData(Qt::UserRole, entry.key);
    }
    if (!SelectFolder(keep)) {
        m_list->setCurrentRow(0);
    }
    UpdateButtons();
    m_ports.TellStoreProblems(this);
}

void CQVLFoldersDialog::UpdateButtons() {
    const std::int32_t key = SelectedKey();
    const bool user = key >= sms::kFirstUserFolder && key != sms::kFolderDrafts;
    m_rename->setEnabled(user);
    m_delete->setEnabled(user);
    m_export->setEnabled(key != kNoFolder);
}

std::int32_t CQVLFoldersDialog::SelectedKey() const {
    const auto* item = m_list->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toInt() : kNoFolder;
}

bool CQVLFoldersDialog::SelectFolder(std::int32_t key) {
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->data(Qt::UserRole).toInt() == key) {
            m_list->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

bool CQVLFoldersDialog::AddFolder(const QString& name) {
    const std::int32_t key = AddFolderToFile(m_ports, this, name);
    Reload();
    return key != kNoFolder && SelectFolder(key);
}

bool CQVLFoldersDialog::RenameSelected(const QString& name) {
    const std::int32_t key = SelectedKey();
    if (key < sms::kFirstUserFolder || key == sms::kFolderDrafts) {
        return false;
    }
    const sms::FileChange done =
        sms::ChangeFile(sms::FolderStorePath(), [&](sms::CRecordStore& folders) {
            return sms::RenameFolder(folders, key, name.toStdU16String());
        });
    if (done == sms::FileChange::kUnchanged) {
        m_ports.Ask(this, Msg(kMsgEmptyFolderName).toStdU16String(), MsgButtons::Ok,
                    MsgIcon::Warning);
    }
    Reload();
    return done == sms::FileChange::kSaved;
}

bool CQVLFoldersDialog::DeleteSelected() {
    const std::int32_t key = SelectedKey();
    if (key < sms::kFirstUserFolder || key == sms::kFolderDrafts) {
        return false;
    }
    // The question names what is lost: the folder and every message filed in it.
    if (m_ports.Ask(this, Msg(kMsgAskDeleteFolder).toStdU16String(), MsgButtons::YesNo,
                    MsgIcon::Question) != MsgAnswer::Yes) {
        return false;
    }
    const bool deleted = sms::DeleteFolderFile(key) >= 0;
    Reload();
    return deleted;
}

bool CQVLFoldersDialog::ExportSelected() {
    const std::int32_t key = SelectedKey();
    if (key == kNoFolder) {
        return false;
    }
    // The copy from the phone saves the store itself.
    sms::CRecordStore messages;
    messages.Load(sms::SmsStorePath());
    if (m_ports.modem != nullptr) {
        m_ports.modem->CopyFromPhone(messages, false);
    }
    m_ports.TellStoreProblems(this);
    if (messages.Count(sms::RecordType::kMessage) == 0) {
        m_ports.Ask(this, Msg(kMsgNothingToExport).toStdU16String(), MsgButtons::Ok,
                    MsgIcon::Information);
        return false;
    }
    const QString path = m_ports.ChooseFile(this, FileDialogKind::Save, QStringLiteral("Open File"),
                                            QStringLiteral("All (*.TXT *.txt)"));
    if (path.isEmpty()) {
        return false;
    }
    const bool ok = sms::WriteExportFile(path.toStdString(), sms::ExportFolderText(messages, key));
    m_ports.Ask(this, Msg(ok ? kMsgExported : kMsgExportFailed).toStdU16String(), MsgButtons::Ok,
                ok ? MsgIcon::Information : MsgIcon::Error);
    return ok;
}

// ---- Templates -------------------------------------------------------------------------

CQVLTemplateEditDialog::CQVLTemplateEditDialog(const SmsUiPorts& ports, Mode mode, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(DlgText(kDlgTemplateEdit, "caption"));
    m_title = new QLineEdit(this);
    m_title->setMaxLength(static_cast<int>(sms::kTemplateTitleChars) - 1);
    m_title->setReadOnly(mode == Mode::kEdit);
    m_text = new QPlainTextEdit(this);
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgTemplateEdit, "ok"), QDialogButtonBox::AcceptRole);
    box->addButton(DlgText(kDlgTemplateEdit, "cancel"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* fields = new QVBoxLayout;
    fields->addWidget(new QLabel(DlgText(kDlgTemplateEdit, "title"), this));
    fields->addWidget(m_title);
    fields->addWidget(new QLabel(DlgText(kDlgTemplateEdit, "text"), this));
    auto* main = new QBoxLayout(
        ports.IsLandscape() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    main->addLayout(fields);
    main->addWidget(m_text, 1);
    main->addWidget(box);
}

CQVLTemplatesDialog::CQVLTemplatesDialog(const SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(DlgText(kDlgTemplates, "caption"));
    m_list = new QListWidget(this);
    auto* add = new QPushButton(DlgText(kDlgTemplates, "add"), this);
    auto* edit = new QPushButton(DlgText(kDlgTemplates, "edit"), this);
    auto* remove = new QPushButton(DlgText(kDlgTemplates, "delete"), this);
    auto* close = new QPushButton(DlgText(kDlgTemplates, "close"), this);
    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addWidget(edit);
    side->addWidget(remove);
    side->addStretch(1);
    side->addWidget(close);
    auto* main = new QBoxLayout(
        m_ports.IsLandscape() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    main->addWidget(m_list, 1);
    main->addLayout(side);
    connect(add, &QPushButton::clicked, this, [this] { AddTemplate(); });
    connect(edit, &QPushButton::clicked, this, [this] { EditSelected(); });
    connect(remove, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Reload();
}

void CQVLTemplatesDialog::Reload() {
    const int row = m_list->currentRow();
    m_list->clear();
    sms::CRecordStore templates;
    templates.Load(sms::TemplateStorePath());
    for (const auto& record : templates.Records()) {
        if (const auto* t = std::get_if<sms::TemplateRecord>(&record)) {
            auto* item = new QListWidgetItem(QString::fromStdU16String(t->title), m_list);
            item->setData(Qt::UserRole, t->key);
        }
    }
    m_list->setCurrentRow(std::min(row, m_list->count() - 1));
    m_ports.TellStoreProblems(this);
}

bool CQVLTemplatesDialog::AddTemplate() {
    CQVLTemplateEditDialog dialog(m_ports, CQVLTemplateEditDialog::Mode::kAdd, this);
    if (m_ports.Run(dialog) != QDialog::Accepted) {
        return false;
    }
    std::int32_t key = -1;
    const sms::FileChange done =
        sms::ChangeFile(sms::TemplateStorePath(), [&](sms::CRecordStore& templates) {
            key = sms::AddTemplate(templates, dialog.Title()->text().toStdU16String(),
                                   dialog.Text()->toPlainText().toStdU16String());
            return true;
        });
    Reload();
    if (done != sms::FileChange::kSaved) {
        return false;
    }
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->data(Qt::UserRole).toInt() == key) {
            m_list->setCurrentRow(i);
        }
    }
    return true;
}

bool CQVLTemplatesDialog::EditSelected() {
    const auto* item = m_list->currentItem();
    if (item == nullptr) {
        return false;
    }
    const std::int32_t key = item->data(Qt::UserRole).toInt();
    sms::CRecordStore templates;
    templates.Load(sms::TemplateStorePath());
    const sms::TemplateRecord* found = nullptr;
    for (const auto& record : templates.Records()) {
        if (const auto* t = std::get_if<sms::TemplateRecord>(&record); t && t->key == key) {
            found = t;
        }
    }
    if (found == nullptr) {
        Reload();
        return false;
    }
    CQVLTemplateEditDialog dialog(m_ports, CQVLTemplateEditDialog::Mode::kEdit, this);
    dialog.Title()->setText(QString::fromStdU16String(found->title));
    dialog.Text()->setPlainText(QString::fromStdU16String(found->text));
    if (m_ports.Run(dialog) != QDialog::Accepted) {
        return false;
    }
    // Read again: another screen may have changed the file while the dialog was open.
    const sms::FileChange done =
        sms::ChangeFile(sms::TemplateStorePath(), [&](sms::CRecordStore& current) {
            return sms::EditTemplate(current, key, dialog.Text()->toPlainText().toStdU16String());
        });
    Reload();
    return done == sms::FileChange::kSaved;
}

bool CQVLTemplatesDialog::DeleteSelected() {
    const auto* item = m_list->currentItem();
    if (item == nullptr) {
        return false;
    }
    const std::int32_t key = item->data(Qt::UserRole).toInt();
    if (m_ports.Ask(this, Msg(kMsgAskDeleteTemplate).toStdU16String(), MsgButtons::YesNo,
                    MsgIcon::Question) != MsgAnswer::Yes) {
        return false;
    }
    const bool removed =
        sms::ChangeFile(sms::TemplateStorePath(), [&](sms::CRecordStore& templates) {
            return sms::DeleteTemplate(templates, key);
        }) == sms::FileChange::kSaved;
    Reload();
    return removed;
}

}  // namespace qvl::smsui

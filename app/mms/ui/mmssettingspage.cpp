#include "app/mms/ui/mmssettingspage.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/sms/store/messageops.h"
#include "app/sms/store/recordstore.h"
#include "common/lang/lang.h"

namespace qvl::mmsui {

using mms::MmsProfile;
using smsui::DlgText;
using smsui::Msg;

namespace {

struct FieldSpec {
    const char* control;
    std::size_t capacity;  // UTF-16 units with the NUL
};
constexpr FieldSpec kFieldSpecs[] = {
    {"name", mms::kProfileNameChars},     {"apn", mms::kProfileApnChars},
    {"username", mms::kProfileUserChars}, {"password", mms::kProfilePasswordChars},
    {"dns", mms::kProfileDnsChars},       {"gateway", mms::kProfileGatewayChars},
    {"uri", mms::kProfileUriChars},
};

std::u16string* FieldOf(MmsProfile& p, int index) {
    std::u16string* fields[] = {&p.name, &p.apn, &p.user, &p.password, &p.dns, &p.gateway, &p.uri};
    return fields[index];
}

}  // namespace

CQVLMmsProfileDlg::CQVLMmsProfileDlg(const smsui::SmsUiPorts& ports, const MmsProfile& profile,
                                     bool isNew, QWidget* parent)
    : QDialog(parent), m_ports(ports), m_profile(profile) {
    setWindowTitle(DlgText(isNew ? kDlgNewProfile : kDlgEditProfile, "caption"));
    auto* form = new QFormLayout;
    for (int i = 0; i < kFieldCount; ++i) {
        auto* edit = new QLineEdit(QString::fromStdU16String(*FieldOf(m_profile, i)), this);
        edit->setMaxLength(static_cast<int>(kFieldSpecs[i].capacity) - 1);
        edit->setObjectName(QString::fromLatin1(kFieldSpecs[i].control));
        if (i == kPassword) {
            edit->setEchoMode(QLineEdit::Password);
        }
        form->addRow(DlgText(kDlgNewProfile, kFieldSpecs[i].control), edit);
        m_fields.push_back(edit);
    }
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgNewProfile, "ok"), QDialogButtonBox::AcceptRole);
    box->addButton(DlgText(kDlgNewProfile, "cancel"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, [this] { TryAccept(); });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addStretch(1);
    main->addWidget(box);
}

MmsProfile CQVLMmsProfileDlg::Profile() const {
    MmsProfile p = m_profile;
    for (int i = 0; i < kFieldCount; ++i) {
        *FieldOf(p, i) = m_fields[static_cast<std::size_t>(i)]->text().trimmed().toStdU16String();
    }
    return p;
}

bool CQVLMmsProfileDlg::TryAccept() {
    const int problem = mms::ProfileEntryProblem(Profile());
    if (problem != 0) {
        m_ports.Ask(this, LoadLocalString(problem), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    accept();
    return true;
}

CQVLMmsSettingsPage::CQVLMmsSettingsPage(const smsui::SmsUiPorts& ports, QWidget* parent)
    : QDialog(parent), m_ports(ports) {
    setWindowTitle(DlgText(kDlgMmsSettings, "caption"));
    auto* title = new QLabel(DlgText(kDlgMmsSettings, "caption"), this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSize(15);
    title->setFont(bold);
    m_list = new QComboBox(this);
    m_list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_list->setMinimumContentsLength(12);
    m_detect = new QCheckBox(DlgText(kDlgMmsSettings, "detect"), this);
    auto* newButton = new QPushButton(DlgText(kDlgMmsSettings, "new"), this);
    auto* editButton = new QPushButton(DlgText(kDlgMmsSettings, "edit"), this);
    auto* importButton = new QPushButton(DlgText(kDlgMmsSettings, "import"), this);
    newButton->setObjectName(QStringLiteral("new"));
    editButton->setObjectName(QStringLiteral("edit"));
    importButton->setObjectName(QStringLiteral("import"));
    auto* box = new QDialogButtonBox(this);
    box->addButton(DlgText(kDlgMmsSettings, "ok"), QDialogButtonBox::AcceptRole);
    box->addButton(DlgText(kDlgMmsSettings, "cancel"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (Apply()) {
            accept();
        }
    });
    connect(box, &QDialogButtonBox::rejected, this, &CQVLMmsSettingsPage::reject);
    connect(newButton, &QPushButton::clicked, this, [this] { NewProfile(); });
    connect(editButton, &QPushButton::clicked, this, [this] { EditProfile(); });
    connect(importButton, &QPushButton::clicked, this, [this] { ImportProfiles(); });
    connect(m_list, &QComboBox::activated, this, [this] { m_modified = true; });
    connect(m_detect, &QCheckBox::clicked, this, [this] { m_modified = true; });

    auto* buttons = new QGridLayout;
    buttons->addWidget(newButton, 0, 0);
    buttons->addWidget(editButton, 0, 1);
    buttons->addWidget(importButton, 1, 0, 1, 2);
    auto* main = new QVBoxLayout(this);
    main->addWidget(title);
    main->addWidget(new QLabel(DlgText(kDlgMmsSettings, "select"), this));
    main->addWidget(m_list);
    main->addLayout(buttons);
    main->addWidget(m_detect);
    main->addStretch(1);
    main->addWidget(box);
    Load();
}

void CQVLMmsSettingsPage::Load() {
    sms::CRecordStore store;
    store.Load(sms::MmsProfileStorePath());
    m_profiles.clear();
    for (const MmsProfile* p : mms::ProfilesOf(store)) {
        m_profiles.push_back(*p);
    }
    // The first profile, unless the chosen one is listed.
    FillList(mms::SelectedProfileSetting());
    m_detect->setChecked(mms::DetectProfileSetting());
    m_modified = false;
    // A profile file that could not be read whole is said now: OK would write over it.
    m_ports.TellStoreProblems(this);
}

void CQVLMmsSettingsPage::FillList(std::int32_t selectId) {
    m_list->clear();
    int select = m_profiles.empty() ? -1 : 0;
    for (const MmsProfile& p : m_profiles) {
        if (p.key == selectId) {
            select = m_list->count();
        }
        m_list->addItem(QString::fromStdU16String(p.name), p.key);
    }
    m_list->setCurrentIndex(select);
}

std::int32_t CQVLMmsSettingsPage::SelectedId() const {
    return m_list->currentIndex() >= 0 ? m_list->currentData().toInt() : 0;
}

bool CQVLMmsSettingsPage::NewProfile() {
    const std::optional<std::int32_t> id = mms::NewProfileId(m_profiles);
    if (!id) {
        m_ports.Ask(this, LoadLocalString(mms::kMsgProfileIdsUsedUp), MsgButtons::Ok,
                    MsgIcon::Warning);
        return false;
    }
    MmsProfile fresh;
    fresh.key = *id;
    // Operator codes come from imported files only.
    fresh.operatorCode = 0;
    CQVLMmsProfileDlg dialog(m_ports, fresh, true, this);
    if (m_ports.Run(dialog) != QDialog::Accepted) {
        return false;
    }
    m_profiles.push_back(dialog.Profile());
    FillList(*id);
    m_modified = true;
    return true;
}

bool CQVLMmsSettingsPage::EditProfile() {
    const int index = m_list->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_profiles.size())) {
        return false;
    }
    MmsProfile& profile = m_profiles[static_cast<std::size_t>(index)];
    CQVLMmsProfileDlg dialog(m_ports, profile, false, this);
    if (m_ports.Run(dialog) != QDialog::Accepted || dialog.Profile() == profile) {
        return false;
    }
    profile = dialog.Profile();
    m_list->setItemText(index, QString::fromStdU16String(profile.name));
    m_modified = true;
    return true;
}

bool CQVLMmsSettingsPage::ImportProfiles() {
    const QString path =
        m_ports.ChooseFile(this, smsui::FileDialogKind::Open, QStringLiteral("Open File"),
                           QStringLiteral("All (*.MMP *.mmp)"));
    return !path.isEmpty() && ImportFrom(path);
}

bool CQVLMmsSettingsPage::ImportFrom(const QString& path) {
    // The file is read into a store of its own: the page's profiles are replaced only when it
    // gave at least one, and the profile file only on OK.
    sms::CRecordStore imported;
    const std::string file = path.toStdString();
    const mms::ImportReport report = mms::ImportMmsProfiles(file, imported);
    const bool done = report.status == mms::ImportStatus::kImported;
    m_ports.Ask(this, mms::ImportReportText(report, file), MsgButtons::Ok,
                done && report.skipped.empty() ? MsgIcon::Information : MsgIcon::Warning);
    if (!done) {
        return false;
    }
    m_profiles.clear();
    for (const MmsProfile* p : mms::ProfilesOf(imported)) {
        m_profiles.push_back(*p);
    }
    FillList(SelectedId());
    m_modified = true;
    return true;
}

bool CQVLMmsSettingsPage::Apply() {
    const sms::FileChange change =
        sms::ChangeFile(sms::MmsProfileStorePath(), [&](sms::CRecordStore& store) {
            store.Clear();
            for (const MmsProfile& p : m_profiles) {
                store.Append(p);
            }
            return true;
        });
    if (change == sms::FileChange::kNotSaved) {
        m_ports.TellStoreProblems(this);
        return false;
    }
    mms::WriteProfileSettings(m_detect->isChecked(), SelectedId());
    m_modified = false;
    return true;
}

bool CQVLMmsSettingsPage::Cancel() {
    if (m_modified && m_ports.Ask(this, LoadLocalString(kMsgAskDropChanges), MsgButtons::YesNo,
                                  MsgIcon::Question) != MsgAnswer::Yes) {
        return false;
    }
    QDialog::reject();
    return true;
}

void CQVLMmsSettingsPage::reject() {
    Cancel();
}

}  // namespace qvl::mmsui

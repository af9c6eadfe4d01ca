#include "app/shell/dialogs.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/lang/lang.h"
#include "platform/devicefs.h"
#include "platform/registry.h"

namespace qvl {

namespace {

QString ControlText(int dialog, const char* control) {
    return QString::fromStdU16String(LoadDialogText(dialog, control));
}

QDialogButtonBox* OkCancel(QDialog* dialog, int templateId) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setText(ControlText(templateId, "ok"));
    box->button(QDialogButtonBox::Cancel)->setText(ControlText(templateId, "cancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

// Landscape variants are wider than tall, portrait ones taller than wide.
void ShapeFor(QDialog* dialog, bool landscape) {
    dialog->resize(landscape ? QSize(300, 180) : QSize(220, 250));
}

constexpr char16_t kRingerKey[] = u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Ringer";

}  // namespace

CPinDialog::CPinDialog(QWidget* parent, const QString& prompt, const QString& attempts,
                       bool landscape)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PinDialog"));
    setWindowTitle(ControlText(103, "caption"));
    auto* layout = new QVBoxLayout(this);
    auto* promptLabel = new QLabel(prompt, this);
    promptLabel->setObjectName(QStringLiteral("control1000"));
    promptLabel->setWordWrap(true);
    auto* attemptsLabel = new QLabel(attempts, this);
    attemptsLabel->setObjectName(QStringLiteral("control1018"));
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("control1017"));
    m_code->setEchoMode(QLineEdit::Password);
    m_code->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    layout->addWidget(promptLabel);
    layout->addWidget(attemptsLabel);
    layout->addWidget(m_code);
    layout->addStretch();
    layout->addWidget(OkCancel(this, 103));
    ShapeFor(this, landscape);
    // The handheld raised its on-screen keyboard here; a desktop has a real one.
    m_code->setFocus();
}

CModemChooserDialog::CModemChooserDialog(QWidget* parent, const std::vector<ModemEntry>& modems,
                                         bool landscape)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ModemChooser"));
    setWindowTitle(ControlText(110, "caption"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(ControlText(110, "label"), this));
    m_list = new QListWidget(this);
    for (std::size_t i = 0; i < modems.size() && i < 20; ++i) {
        m_list->addItem(QString::fromStdU16String(modems[i].label));
    }
    if (m_list->count() > 0) {
        m_list->setCurrentRow(0);
    }
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(m_list);
    layout->addWidget(OkCancel(this, 110));
    ShapeFor(this, landscape);
}

CQVLRingerPage::CQVLRingerPage(QWidget* parent, bool landscape,
                               std::function<void(const QString&)> play)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RingerPage"));
    setWindowTitle(ControlText(121, "caption"));
    auto* grid = new QGridLayout(this);
    auto* title = new QLabel(QString::fromStdU16String(LoadLocalString(5066)), this);
    QFont bold(QStringLiteral("Arial"));
    bold.setPointSize(15);
    bold.setBold(true);
    title->setFont(bold);
    grid->addWidget(title, 0, 0, 1, 3);
    m_voice = new QComboBox(this);
    m_voice->setObjectName(QStringLiteral("voiceRing"));
    m_sms = new QComboBox(this);
    m_sms->setObjectName(QStringLiteral("smsRing"));
    const auto files = DeviceFindFiles(u"\\windows\\*.wav");
    for (const std::u16string& f : files) {
        m_voice->addItem(QString::fromStdU16String(f));
        m_sms->addItem(QString::fromStdU16String(f));
    }
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, kRingerKey);
    const auto select = [&](QComboBox* box, const char16_t* name) {
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
        if (!key) {
            return;
        }
        const auto stored = key.ReadString(name);
        if (stored && !stored->empty()) {
            // Exact, case-sensitive match; a ring that no longer exists shows the first file.
            const int at = box->findText(QString::fromStdU16String(stored->substr(0, 260)),
                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (at >= 0) {
                box->setCurrentIndex(at);
            }
        }
    };
    select(m_voice, u"VoiceRing");
    select(m_sms, u"SMSRing");
    const auto row = [&](int r, int labelId, QComboBox* box, const char* changeName,
                         void (CQVLRingerPage::*change)()) {
        grid->addWidget(new QLabel(QString::fromStdU16String(LoadLocalString(labelId)), this), r, 0,
                        1, 3);
        grid->addWidget(box, r + 1, 0);
        auto* changeButton = new QPushButton(ControlText(121, "change"), this);
        changeButton->setObjectName(QString::fromLatin1(changeName));
        connect(changeButton, &QPushButton::clicked, this, change);
        grid->addWidget(changeButton, r + 1, 1);
        auto* playButton = new QPushButton(ControlText(121, "play"), this);
        playButton->setMaximumWidth(30);
        connect(playButton, &QPushButton::clicked, this, [box, play] {
            if (play) {
                play(box->currentText());
            }
        });
        grid->addWidget(playButton, r + 1, 2);
    };
    row(1, 5067, m_voice, "changeVoice", &CQVLRingerPage::ChangeVoice);
    row(3, 5068, m_sms, "changeSms", &CQVLRingerPage::ChangeSms);
    auto* close = new QPushButton(ControlText(121, "close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    grid->setRowStretch(5, 1);
    grid->addWidget(close, 6, 0, 1, 3);
    ShapeFor(this, landscape);
}

void CQVLRingerPage::ChangeVoice() {
    RegKey::Open(RegRoot::LocalMachine, kRingerKey, RegOpen::Create)
        .WriteString(u"VoiceRing", m_voice->currentText().toStdU16String());
}

void CQVLRingerPage::ChangeSms() {
    RegKey::Open(RegRoot::LocalMachine, kRingerKey, RegOpen::Create)
        .WriteString(u"SMSRing", m_sms->currentText().toStdU16String());
}

bool QtEngineDialogs::Landscape() const {
    return m_window != nullptr && m_window->width() > m_window->height();
}

DialogResult QtEngineDialogs::AskCode(std::u16string_view prompt, std::u16string_view attempts,
                                      std::u16string& code) {
    CPinDialog dialog(m_window, QString::fromStdU16String(std::u16string(prompt)),
                      QString::fromStdU16String(std::u16string(attempts)), Landscape());
    if (dialog.exec() != QDialog::Accepted) {
        return DialogResult::Cancel;
    }
    code = dialog.Code().toStdU16String();
    return DialogResult::Ok;
}

DialogResult QtEngineDialogs::ChooseModem(const std::vector<ModemEntry>& modems,
                                          ModemEntry& chosen) {
    CModemChooserDialog dialog(m_window, modems, Landscape());
    if (dialog.exec() != QDialog::Accepted) {
        return DialogResult::Cancel;
    }
    const int row = dialog.Selected();
    if (row < 0 || row >= static_cast<int>(modems.size())) {
        return DialogResult::Cancel;
    }
    chosen = modems[static_cast<std::size_t>(row)];
    return DialogResult::Ok;
}

}  // namespace qvl

// The engine's dialogs: the PIN dialog (template 103) and the modem chooser (template 110);
// and the Ringer settings page (template 121). Each has a portrait and a landscape shape,
// chosen by the shape of the main window.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <functional>

#include "app/engine/ports.h"

namespace qvl {

class CPinDialog : public QDialog {
    Q_OBJECT
  public:
    CPinDialog(QWidget* parent, const QString& prompt, const QString& attempts, bool landscape);
    QString Code() const { return m_code->text(); }
    QLineEdit* CodeField() const { return m_code; }

  private:
    QLineEdit* m_code;
};

class CModemChooserDialog : public QDialog {
    Q_OBJECT
  public:
    CModemChooserDialog(QWidget* parent, const std::vector<ModemEntry>& modems, bool landscape);
    int Selected() const { return m_list->currentRow(); }
    QListWidget* List() const { return m_list; }

  private:
    QListWidget* m_list;
};

// The two rings: "VoiceRing" and "SMSRing", bare file names of "\windows\*.wav".
class CQVLRingerPage : public QDialog {
    Q_OBJECT
  public:
    CQVLRingerPage(QWidget* parent, bool landscape, std::function<void(const QString&)> play);
    QComboBox* VoiceSelector() const { return m_voice; }
    QComboBox* SmsSelector() const { return m_sms; }
    void ChangeVoice();
    void ChangeSms();

  private:
    QComboBox* m_voice;
    QComboBox* m_sms;
};

// Ui ports of the engine's dialogs over these Qt dialogs.
class QtEngineDialogs : public IPinDialog, public IModemChooser {
  public:
    explicit QtEngineDialogs(QWidget* window) : m_window(window) {}
    DialogResult AskCode(std::u16string_view prompt, std::u16string_view attempts,
                         std::u16string& code) override;
    DialogResult ChooseModem(const std::vector<ModemEntry>& modems, ModemEntry& chosen) override;

  private:
    bool Landscape() const;
    QWidget* m_window;
};

}  // namespace qvl

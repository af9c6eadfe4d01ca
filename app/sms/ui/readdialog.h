// The read dialog: number, text and time of one message, with Reply, Forward, Call and Delete.
// The dialog only reports the chosen action; the message view carries it out.
#pragma once

#include <QDialog>

#include "app/sms/ui/messagemodel.h"
#include "app/sms/ui/smsuiports.h"

class QPushButton;

namespace qvl::smsui {

enum class ReadAction { kClose, kReply, kForward, kCall, kDelete };

class CQVLReadDialog : public QDialog {
    Q_OBJECT
  public:
    CQVLReadDialog(const SmsUiPorts& ports, const MessageRow& row, QWidget* parent = nullptr);
    ReadAction Action() const { return m_action; }
    // Closes the dialog with the action, as its button does.
    void Choose(ReadAction action);
    QString ShownNumber() const;
    QString ShownText() const;
    QString ShownTime() const;

  private:
    ReadAction m_action = ReadAction::kClose;
    QString m_number;
    QString m_text;
    QString m_time;
};

}  // namespace qvl::smsui

// The Qt side of the user-interface ports: message boxes and the message pump. The progress
// window port is RKFloatCtrl.
#pragma once

#include "common/ports/uiports.h"

class QWidget;

namespace qvl {

class QtMessageBoxPort : public IMessageBoxPort {
  public:
    explicit QtMessageBoxPort(QWidget* parent = nullptr) : m_parent(parent) {}
    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view caption, MsgButtons buttons,
                          MsgIcon icon) override;

  private:
    QWidget* m_parent;
};

// One round of the Qt event loop.
class QtMessagePump : public IMessagePump {
  public:
    void PumpMessages() override;
};

}  // namespace qvl

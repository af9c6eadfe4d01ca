// The screens' SMS operations over the phone engine: each call takes the engine's session lock
// and busy flag (so the poll step stays out) and runs one CShortMessage on the engine's port,
// with the engine as the handler of unsolicited results read meanwhile.
#pragma once

#include "app/sms/ui/smsuiports.h"

namespace qvl {
class CPhoneEngine;
}

namespace qvl::smsui {

class CQVLSMSNewView;

class CEngineSmsModem final : public ISmsModem {
  public:
    // ui.progress shows the progress texts and offers Cancel while copying; ui.messages asks
    // the delete-after-copy question. Either may be null.
    CEngineSmsModem(CPhoneEngine& engine, UiPorts ui);

    int SendText(std::u16string_view number, std::u16string_view text) override;
    int CopyFromPhone(sms::CRecordStore& store, bool notices) override;
    int ExportToPhone(std::u16string_view number, std::u16string_view text,
                      std::u16string_view time) override;
    std::u16string GetServiceCentre() override;
    int SetServiceCentre(std::u16string_view number) override;
    int GetSmsService() override;

  private:
    class Session;
    CPhoneEngine& m_engine;
    UiPorts m_ui;
};

// The message pane over the engine: ports.modem becomes a CEngineSmsModem on engine (with ui
// for its progress window and questions) that the view keeps for its lifetime.
CQVLSMSNewView* CreateMessageView(CPhoneEngine& engine, UiPorts ui, SmsUiPorts ports,
                                  QWidget* parent);

}  // namespace qvl::smsui

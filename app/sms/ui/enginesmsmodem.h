// The screens' SMS operations over the phone engine's command channel (GSM 07.05, PDU mode):
// send, copy from the phone, write back, service centre and bearer. Every operation takes the
// engine's session lock and busy flag, holds the port across its command sequence, and passes
// unsolicited results it reads to the engine.
#pragma once

#include "app/sms/ui/smsuiports.h"

namespace qvl {
class CPhoneEngine;
}

namespace qvl::smsui {

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

    // How long the "> " prompt of AT+CMGS / AT+CMGW is waited for (the prompt carries no final
    // result code, so the read ends on this idle time).
    void SetPromptWaitMs(std::uint32_t ms) { m_promptWaitMs = ms; }

private:
    class Session;
    bool Command(std::u16string_view command, std::u16string& response,
                 std::uint32_t timeoutMs = 3000);
    // One PDU after a "> " prompt: the command, then the PDU and Ctrl-Z. True on OK.
    bool WritePdu(std::u16string_view command, const std::string& pdu);
    void Progress(int textId, int position = -1);

    CPhoneEngine& m_engine;
    UiPorts m_ui;
    std::uint32_t m_promptWaitMs = 500;
};

}  // namespace qvl::smsui

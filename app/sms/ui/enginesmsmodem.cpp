#include "app/sms/ui/enginesmsmodem.h"

#include <mutex>

#include "app/engine/phoneengine.h"
#include "app/sms/ops/shortmessage.h"
#include "app/sms/store/recordstore.h"
#include "app/sms/ui/smsnewview.h"

namespace qvl::smsui {

// The session lock and busy flag for one operation, so the poll step stays out meanwhile.
class CEngineSmsModem::Session {
  public:
    explicit Session(CPhoneEngine& engine) : m_busy(engine) {}

  private:
    CPhoneEngine::BusyScope m_busy;
};

CEngineSmsModem::CEngineSmsModem(CPhoneEngine& engine, UiPorts ui) : m_engine(engine), m_ui(ui) {}

int CEngineSmsModem::SendText(std::u16string_view number, std::u16string_view text) {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    message.number = number;
    message.text = text;
    return message.SendText();
}

int CEngineSmsModem::CopyFromPhone(sms::CRecordStore& store, bool notices) {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    return message.CopyFromPhone(store, sms::SmsStorePath(), notices);
}

int CEngineSmsModem::ExportToPhone(std::u16string_view number, std::u16string_view text,
                                   std::u16string_view time) {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    return message.ExportToPhone(number, text, time);
}

std::u16string CEngineSmsModem::GetServiceCentre() {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    return message.GetServiceCentre();
}

int CEngineSmsModem::SetServiceCentre(std::u16string_view number) {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    return message.SetServiceCentre(number);
}

int CEngineSmsModem::GetSmsService() {
    Session session(m_engine);
    sms::CShortMessage message(m_engine, m_ui);
    return message.GetSmsService();
}

CQVLSMSNewView* CreateMessageView(CPhoneEngine& engine, UiPorts ui, SmsUiPorts ports,
                                  QWidget* parent) {
    if (!ports.sendMms) {
        ports.sendMms = [&engine, ui](const mms::ComposedMms& message,
                                      const std::function<void()>& done) {
            mms::MmsSendPorts send;
            send.ui = ui;
            return mms::SendComposedMms(engine, send, message, done);
        };
    }
    return new CQVLSMSNewView(std::move(ports), std::make_unique<CEngineSmsModem>(engine, ui),
                              parent);
}

}  // namespace qvl::smsui

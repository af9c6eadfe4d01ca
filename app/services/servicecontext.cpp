#include "app/services/servicecontext.h"

namespace qvl::services {

void ServiceContext::Show(int id, std::u16string_view filled) const {
    if (ui.messages == nullptr) {
        return;
    }
    const std::u16string text = filled.empty() ? Text(id) : std::u16string(filled);
    ui.messages->ShowMessage(text, u"QVL SMS/Phone", MsgButtons::Ok, MsgIcon::None);
}

ProgressScope::ProgressScope(const ServiceContext& context, int textId, bool cancellable, int steps)
    : m_context(context) {
    IProgressWindow* progress = m_context.ui.progress;
    if (progress == nullptr) {
        return;
    }
    if (steps > 0) {
        progress->Create(0, steps, 0, cancellable);
    } else {
        progress->Create(0, 100, -1, cancellable);
    }
    progress->SetText(m_context.Text(textId), -1);
    m_open = true;
    m_context.ui.Pump();
}

ProgressScope::~ProgressScope() {
    Close();
}

void ProgressScope::Step(int textId, int position) {
    if (m_open) {
        m_context.ui.progress->SetText(m_context.Text(textId), position);
        m_context.ui.Pump();
    }
}

bool ProgressScope::Canceled() const {
    return m_context.ui.progress != nullptr && m_context.ui.progress->IsCanceled();
}

void ProgressScope::Close() {
    if (m_open) {
        m_open = false;
        m_context.ui.progress->Close();
    }
}

bool RunCommand(const ServiceContext& context, std::u16string_view command, int progressText,
                std::uint32_t timeoutMs, std::u16string& response) {
    CPhoneEngine& engine = context.engine;
    CPhoneEngine::BusyScope busy(engine);
    PortScope port(engine);
    if (!port.Held()) {
        return false;
    }
    ProgressScope progress(context, progressText);
    engine.Exchange(command, timeoutMs, response, Dispatch::Yes);
    return true;
}

std::u16string FillText(std::u16string_view format, std::u16string_view value) {
    std::u16string text(format);
    const std::size_t at = text.find(u"%s");
    if (at == std::u16string::npos) {
        return text + std::u16string(value);
    }
    return text.replace(at, 2, value);
}

}  // namespace qvl::services

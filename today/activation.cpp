#include "today/activation.h"

#include "base/text.h"

namespace qvl::today {

MainProgramActivator::MainProgramActivator(IWindowMessenger& messenger, IProgramStarter& starter,
                                           std::u16string windowTitle,
                                           std::function<bool(std::u16string&)> findMainProgram)
    : m_messenger(messenger),
      m_starter(starter),
      m_title(std::move(windowTitle)),
      m_find(std::move(findMainProgram)) {}

Activation MainProgramActivator::Activate() {
    if (m_messenger.FindWindow(m_title)) {
        // Its window is up: whatever this item started has arrived.
        m_started.reset();
        return m_messenger.PostWindowMessage(m_title, kWmOpenMessages, 0, 0) ? Activation::Posted
                                                                             : Activation::Failed;
    }
    if (m_started && m_starter.Running(*m_started)) {
        return Activation::AlreadyStarting;
    }
    m_started.reset();
    std::u16string path;
    if (!m_find || !m_find(path)) {
        return Activation::NotInstalled;
    }
    m_started = m_starter.Start(WideToUtf8(path), {});
    return m_started ? Activation::Started : Activation::Failed;
}

}  // namespace qvl::today

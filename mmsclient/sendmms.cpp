#include "mmsclient/sendmms.h"

#include "base/text.h"
#include "mmsclient/wspsession.h"

#include <cstdio>
#include <string>

namespace {

// Message boxes of a caller that gave no ports: one line on standard error.
class ConsoleMessages final : public qvl::IMessageBoxPort {
public:
    qvl::MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view caption,
                               qvl::MsgButtons, qvl::MsgIcon) override {
        std::fprintf(stderr, "%s: %s\n", qvl::WideToUtf8(caption).c_str(), qvl::WideToUtf8(text).c_str());
        return qvl::MsgAnswer::Ok;
    }
};

ConsoleMessages g_consoleMessages;
qvl::UiPorts g_ports{&g_consoleMessages, nullptr, nullptr};

std::u16string Text(const char16_t* text) { return text != nullptr ? std::u16string(text) : std::u16string(); }

}  // namespace

extern "C" void SetMMSUiPorts(const qvl::UiPorts* ports) {
    g_ports = ports != nullptr ? *ports : qvl::UiPorts{&g_consoleMessages, nullptr, nullptr};
}

extern "C" int SendMMS(void* /*ownerWindow*/, void* /*instance*/, const char16_t* gateway,
                       const char16_t* uri, const char16_t* to, const char16_t* cc,
                       const char16_t* subject, const char16_t* text, const char16_t* const* paths,
                       const unsigned char* codes, int count) {
    using namespace qvl::mms;
    SendRequest request;
    request.uri = Text(uri);
    request.to = Text(to);
    request.cc = Text(cc);
    request.subject = Text(subject);
    request.text = Text(text);
    if (count < 0 || (count > 0 && (paths == nullptr || codes == nullptr))) {
        return 0;
    }
    try {
        for (int i = 0; i < count; ++i) {
            request.objects.push_back(MmsObject{Text(paths[i]), codes[i]});
        }
        SessionOptions options;
        options.ports = g_ports;
        options.trace = TraceFile::InDeviceRoot();
        return RunMmsSession(Text(gateway), request, options).confirmed ? 1 : 0;
    } catch (...) {
        // Nothing may unwind into a caller that only knows a C interface.
        return 0;
    }
}

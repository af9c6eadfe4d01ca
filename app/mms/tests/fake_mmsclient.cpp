// A stand-in for libQVLMMSClient.so for the send flow's tests. SendMMS writes its arguments,
// one per line as UTF-8, to the file named by QVL_FAKE_MMS_RECORD and returns the number in
// QVL_FAKE_MMS_RESULT (0 when unset). SetMMSUiPorts records whether ports were handed over.
// Built a second time without SendMMS, for a library whose export is missing.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/ports/uiports.h"

#define QVL_FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

[[maybe_unused]] std::string Utf8(const char16_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        // The tests pass ASCII texts; anything else is marked.
        out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    }
    return out;
}

void Record(const std::string& line) {
    const char* path = std::getenv("QVL_FAKE_MMS_RECORD");
    if (path == nullptr) {
        return;
    }
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

}  // namespace

QVL_FAKE_EXPORT void SetMMSUiPorts(const qvl::UiPorts* ports) {
    Record(ports != nullptr ? "ports set" : "ports cleared");
}

#ifndef QVL_FAKE_WITHOUT_SENDMMS
QVL_FAKE_EXPORT int SendMMS(void*, void*, const char16_t* gateway, const char16_t* uri,
                            const char16_t* to, const char16_t* cc, const char16_t* subject,
                            const char16_t* text, const char16_t* const* paths,
                            const unsigned char* codes, int count) {
    Record("gateway " + Utf8(gateway));
    Record("uri " + Utf8(uri));
    Record("to " + Utf8(to));
    Record("cc " + Utf8(cc));
    Record("subject " + Utf8(subject));
    Record("text " + Utf8(text));
    for (int i = 0; i < count; ++i) {
        Record("object " + Utf8(paths[i]) + " " + std::to_string(codes[i]));
    }
    const char* result = std::getenv("QVL_FAKE_MMS_RESULT");
    return result != nullptr ? std::atoi(result) : 0;
}
#endif

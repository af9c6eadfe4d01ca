// qvl-sendmms: sends one MMS from the command line through libQVLMMSClient.so, loaded by name
// from this program's own folder exactly as the main program loads it.
//
//   qvl-sendmms --gateway HOST --uri URI --to LIST [--cc LIST] [--subject S] [--text T] [FILE...]
//
// Exit status 0 when the relay confirmed the message, 1 otherwise. Ctrl-C cancels the send.

#include "base/text.h"
#include "mmsclient/mmsencode.h"
#include "mmsclient/sendmms.h"

#include <dlfcn.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

// Progress of a terminal: each step on its own line; Ctrl-C is the Cancel button.
class ConsoleProgress final : public qvl::IProgressWindow {
public:
    void Create(int, int, int, bool) override {}
    void SetText(std::u16string_view text, int) override {
        std::fprintf(stderr, "%s\n", qvl::WideToUtf8(text).c_str());
    }
    void Show(bool) override {}
    bool IsCanceled() const override { return g_interrupted; }
    void Close() override {}
    void Destroy() override {}
};

class ConsoleMessages final : public qvl::IMessageBoxPort {
public:
    qvl::MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view caption, qvl::MsgButtons,
                               qvl::MsgIcon) override {
        std::fprintf(stderr, "%s: %s\n", qvl::WideToUtf8(caption).c_str(), qvl::WideToUtf8(text).c_str());
        return qvl::MsgAnswer::Ok;
    }
};

void Usage() {
    std::fprintf(stderr,
                 "usage: qvl-sendmms --gateway HOST --uri URI --to LIST [--cc LIST] [--subject S]\n"
                 "                   [--text T] [FILE...]\n"
                 "LIST is a ';'-separated list of numbers or e-mail addresses. The media type of\n"
                 "each FILE follows its extension (bmp gif jpg jpeg jpe tif tiff png wbmp wav wma\n"
                 "wmv mpg mpeg mp3). Exit status 0 when the MMS relay confirmed the message.\n");
}

std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    path[n] = '\0';
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? std::string(".") : std::string(path, static_cast<std::size_t>(slash - path));
}

}  // namespace

int main(int argc, char** argv) {
    std::string gateway, uri, to, cc, subject, text;
    bool haveGateway = false, haveUri = false, haveTo = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into, bool* seen = nullptr) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvl-sendmms: %s needs a value\n", arg.c_str());
                return false;
            }
            into = argv[++i];
            if (seen != nullptr) {
                *seen = true;
            }
            return true;
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--gateway") {
            ok = value(gateway, &haveGateway);
        } else if (arg == "--uri") {
            ok = value(uri, &haveUri);
        } else if (arg == "--to") {
            ok = value(to, &haveTo);
        } else if (arg == "--cc") {
            ok = value(cc);
        } else if (arg == "--subject") {
            ok = value(subject);
        } else if (arg == "--text") {
            ok = value(text);
        } else if (arg == "--") {
            for (++i; i < argc; ++i) {
                files.emplace_back(argv[i]);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "qvl-sendmms: unknown option %s\n", arg.c_str());
            ok = false;
        } else {
            files.push_back(arg);
        }
        if (!ok) {
            Usage();
            return 1;
        }
    }
    if (!haveGateway || !haveUri || !haveTo) {
        std::fprintf(stderr, "qvl-sendmms: --gateway, --uri and --to are required\n");
        Usage();
        return 1;
    }

    const std::string libraryPath = OwnFolder() + "/libQVLMMSClient.so";
    void* library = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "Library NOT Loaded: %s\n", ::dlerror());
        return 1;
    }
    auto sendMms = reinterpret_cast<SendMMSProc>(::dlsym(library, "SendMMS"));
    if (sendMms == nullptr) {
        std::fprintf(stderr, "Proc Address NOT found\n");
        ::dlclose(library);
        return 1;
    }

    ConsoleProgress progress;
    ConsoleMessages messages;
    const qvl::UiPorts ports{&messages, nullptr, &progress};
    if (auto setPorts = reinterpret_cast<SetMMSUiPortsProc>(::dlsym(library, "SetMMSUiPorts"))) {
        setPorts(&ports);
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);

    std::vector<std::u16string> paths;
    std::vector<const char16_t*> pathPointers;
    std::vector<unsigned char> codes;
    for (const std::string& file : files) {
        paths.push_back(qvl::Utf8ToWide(file));
    }
    for (const std::u16string& path : paths) {
        pathPointers.push_back(path.c_str());
        codes.push_back(qvl::mms::MediaTypeFromPath(path));
    }
    const std::u16string wGateway = qvl::Utf8ToWide(gateway), wUri = qvl::Utf8ToWide(uri),
                         wTo = qvl::Utf8ToWide(to), wCc = qvl::Utf8ToWide(cc),
                         wSubject = qvl::Utf8ToWide(subject), wText = qvl::Utf8ToWide(text);
    const int result = sendMms(nullptr, nullptr, wGateway.c_str(), wUri.c_str(), wTo.c_str(), wCc.c_str(),
                               wSubject.c_str(), wText.c_str(), pathPointers.data(), codes.data(),
                               static_cast<int>(paths.size()));
    ::dlclose(library);
    std::fprintf(stderr, result == 1 ? "MMS has been sent successfully!\n" : "MMS sending failed!\n");
    return result == 1 ? 0 : 1;
}

// qvl-dataconn: a data call from the command line, made the way the phone makes it: it loads
// libQVLConnMgr.so (and, on this platform, libQVLConnMgrPlus.so) from its own folder, creates
// the entry, connects, holds the link until Ctrl-C or the given time, and disconnects.
#include "base/text.h"
#include "common/ports/uiports.h"
#include "connmgr/connmgr.h"
#include "platform/registry.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted = true;
}

std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/'));
}

class ConsoleMessages final : public qvl::IMessageBoxPort {
  public:
    qvl::MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, qvl::MsgButtons,
                               qvl::MsgIcon) override {
        std::fprintf(stderr, "qvl-dataconn: %s\n", qvl::WideToUtf8(text).c_str());
        return qvl::MsgAnswer::Ok;
    }
};

// Progress texts as lines; Ctrl-C is the Cancel button.
class ConsoleProgress final : public qvl::IProgressWindow {
  public:
    void Create(int, int, int, bool cancellable) override { m_cancellable = cancellable; }
    void SetText(std::u16string_view text, int) override {
        const std::string line = qvl::WideToUtf8(text);
        if (line != m_last) {
            std::fprintf(stderr, "  %s\n", line.c_str());
            m_last = line;
        }
    }
    void Show(bool) override {}
    bool IsCanceled() const override { return m_cancellable && g_interrupted; }
    void Close() override {}
    void Destroy() override { m_last.clear(); }

  private:
    bool m_cancellable = false;
    std::string m_last;
};

// Nothing to pump; the wait itself blocks on pppd.
class NoPump final : public qvl::IMessagePump {
  public:
    void PumpMessages() override {}
};

void Usage() {
    std::fprintf(stderr,
                 "usage: qvl-dataconn --modem NAME|--port DEVICE --apn APN [--cid N]\n"
                 "                    [--user NAME] [--password PW] [--pin PIN]\n"
                 "                    [--gateway A.B.C.D] [--hold SECONDS]\n"
                 "  --modem NAME     the modem as the phone's modem list names it\n"
                 "  --port DEVICE    the modem's data port, e.g. /dev/ttyUSB0\n"
                 "  --apn APN        the access point name; --cid the PDP context (default 1)\n"
                 "  --pin PIN        sent only when the SIM asks for it\n"
                 "  --gateway ADDR   the WAP gateway, routed over the link\n"
                 "  --hold SECONDS   end the call after that long (default: at Ctrl-C)\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string modem, port, apn, user, password, pin, gateway;
    int cid = 1;
    long hold = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string number;
        bool ok = true;
        if (arg == "--modem") {
            ok = value(modem);
        } else if (arg == "--port") {
            ok = value(port);
        } else if (arg == "--apn") {
            ok = value(apn);
        } else if (arg == "--user") {
            ok = value(user);
        } else if (arg == "--password") {
            ok = value(password);
        } else if (arg == "--pin") {
            ok = value(pin);
        } else if (arg == "--gateway") {
            ok = value(gateway);
        } else if (arg == "--cid") {
            const auto n =
                value(number) ? qvl::ParseDecimal(std::string_view(number), 1, 99) : std::nullopt;
            ok = n.has_value();
            cid = static_cast<int>(n.value_or(1));
        } else if (arg == "--hold") {
            const auto n = value(number) ? qvl::ParseDecimal(std::string_view(number), 0, 86400)
                                         : std::nullopt;
            ok = n.has_value();
            hold = static_cast<long>(n.value_or(0));
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else {
            ok = false;
        }
        if (!ok) {
            Usage();
            return 2;
        }
    }
    if ((modem.empty() && port.empty()) || apn.empty()) {
        Usage();
        return 2;
    }

    const std::string folder = OwnFolder();
    void* connMgr = ::dlopen((folder + "/libQVLConnMgr.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (connMgr == nullptr) {
        std::fprintf(stderr, "Library NOT Loaded: %s\n", ::dlerror());
        return 1;
    }
    auto setPorts = reinterpret_cast<SetConnMgrUiPortsProc>(::dlsym(connMgr, "SetConnMgrUiPorts"));
    auto create = reinterpret_cast<CreateConnectionProc>(::dlsym(connMgr, "CreateConnection"));
    auto connect = reinterpret_cast<ConnectInternetProc>(::dlsym(connMgr, "ConnectInternet"));
    auto disconnect =
        reinterpret_cast<DisconnectInternetProc>(::dlsym(connMgr, "DisconnectInternet"));
    auto is2000 = reinterpret_cast<Is2000PPCProc>(::dlsym(connMgr, "Is2000PPC"));
    if (!setPorts || !create || !connect || !disconnect || !is2000) {
        std::fprintf(stderr, "Proc Address NOT found\n");
        ::dlclose(connMgr);
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    ConsoleMessages messages;
    ConsoleProgress progress;
    NoPump pump;
    const qvl::UiPorts ports{&messages, &pump, &progress};
    setPorts(&ports);

    // The gateway reaches the library through its registry value, as from the phone.
    const qvl::RegKey key = qvl::RegKey::Open(
        qvl::RegRoot::LocalMachine, u"\\Software\\Quorvel\\ConnMgr", qvl::RegOpen::Create);
    if (gateway.empty()) {
        key.DeleteValue(u"GatewayAddress");
    } else {
        key.WriteString(u"GatewayAddress", qvl::Utf8ToWide(gateway));
    }
    const std::u16string entry = u"QuorvelMMS";
    const std::u16string device = qvl::Utf8ToWide(modem.empty() ? port : modem);
    const std::u16string dial = qvl::Utf8ToWide("*99***" + std::to_string(cid) + "#");
    const std::u16string init =
        qvl::Utf8ToWide("+cgdcont=" + std::to_string(cid) + ",\"IP\",\"" + apn + "\"");
    const std::u16string wUser = qvl::Utf8ToWide(user), wPassword = qvl::Utf8ToWide(password),
                         wPin = qvl::Utf8ToWide(pin), wPort = qvl::Utf8ToWide(port);
    create(entry.c_str(), device.c_str(), dial.c_str(), 3, init.c_str(), wUser.c_str(),
           wPassword.c_str(), u"", u"", wPin.c_str(), nullptr, nullptr);

    void* plus = nullptr;
    if (is2000() == 0) {
        plus = ::dlopen((folder + "/libQVLConnMgrPlus.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (plus == nullptr) {
            std::fprintf(stderr, "Library NOT Loaded: %s\n", ::dlerror());
        }
    }
    void* ras = nullptr;
    void* connection = nullptr;
    connect(entry.c_str(), wPort.c_str(), nullptr, nullptr, &plus, &ras, &connection);
    const bool connected = is2000() != 0 ? ras != nullptr : connection != nullptr;
    int status = 1;
    if (connected) {
        std::fprintf(stderr, "qvl-dataconn: connected%s\n",
                     hold < 0 ? "; Ctrl-C ends the call" : "");
        for (long waited = 0; !g_interrupted && (hold < 0 || waited < hold * 10); ++waited) {
            ::poll(nullptr, 0, 100);
        }
        disconnect(&plus, ras, connection, nullptr, nullptr);
        std::fprintf(stderr, "qvl-dataconn: disconnected\n");
        status = 0;
    }
    if (plus != nullptr) {
        ::dlclose(plus);
    }
    setPorts(nullptr);
    ::dlclose(connMgr);
    return status;
}

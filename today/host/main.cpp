// qvl-today: our Today screen. Shows the Today items in a small panel and the phone's
// new-message count in the tray; a second start brings the running one to the front.
//   qvl-today [--hidden]   --hidden: start in the tray only (when the desktop has a tray)
#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/ipc/broadcast.h"
#include "platform/ipc/ipc_dbus.h"
#include "today/host/todayscreen.h"

namespace {

constexpr const char16_t* kScreenWindow = u"QVLTodayScreen";

// SIGTERM and SIGINT (the end of the desktop session) end the event loop, so that the items are
// unloaded as on Quit: their windows first, then their libraries.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

std::string ProgramDir() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/'));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool hidden = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hidden") == 0) {
            hidden = true;
        } else {
            std::fprintf(stderr, "usage: qvl-today [--hidden]\n");
            return 2;
        }
    }
    qvl::DbusWindowMessenger messenger;
    if (messenger.FindWindow(kScreenWindow)) {
        messenger.PostWindowMessage(kScreenWindow, 0, 0, 0);
        return 0;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGINT, &sa, nullptr);
    }
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    // Without a tray the panel is all there is: closing it ends the program. The icon is made in
    // any case: a tray that comes up after the log-in shows it then.
    app.setQuitOnLastWindowClosed(!tray);
    qvl::today::TodayScreen screen(ProgramDir(), true);
    qvl::DbusWindowPublisher self(
        kScreenWindow,
        [&screen](std::uint32_t, std::int64_t, std::int64_t) -> std::int64_t {
            screen.showNormal();
            screen.raise();
            screen.activateWindow();
            return 1;
        },
        "qvl-today-screen");
    if (!self.Publish()) {
        std::fprintf(stderr, "qvl-today: %s\n", self.Problem().c_str());
    }
    QDBusConnection::sessionBus().connect(QString(), QLatin1String(qvl::kSettingChangePath),
                                          QLatin1String(qvl::kSettingChangeInterface),
                                          QLatin1String(qvl::kSettingChangeMember), &screen,
                                          SLOT(OnSettingChange(uint)));
    screen.LoadItems();
    for (const std::string& problem : screen.Problems()) {
        std::fprintf(stderr, "qvl-today: %s\n", problem.c_str());
    }
    if (!hidden || !tray) {
        screen.show();
    }
    return app.exec();
}

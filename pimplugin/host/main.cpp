// qvl-contact: hands a tel: or sms: link, or a contact's vCard file, to the phone.
//   qvl-contact tel:+49-30-123456        the phone asks "Dial number <+4930123456> ?"
//   qvl-contact "sms:+4930123456?body=Hi" the phone asks, then opens the compose screen filled in
//   qvl-contact FILE.vcf                 the Contacts command's menu of the contact's numbers
// A phone that does not run is started first, and the request goes to it once its window is up.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "common/lang/lang.h"
#include "pimplugin/links.h"
#include "pimplugin/pimplugin.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/ipc/programs.h"

namespace {

constexpr int kMsgCaption = 5010;
constexpr int kMsgNoNumber = 5011;
constexpr int kMsgNotInstalled = 5012;
constexpr int kMsgDidNotStart = 5013;
constexpr int kMsgNotReached = 5014;
// How long a started phone is given to show its window (a first start writes its skin files).
constexpr int kStartLimitMs = 60000;

QString Local(int id) {
    return QString::fromStdU16String(qvl::LoadLocalString(id));
}

int Fail(const QString& text) {
    std::fprintf(stderr, "qvl-contact: %s\n", text.toUtf8().constData());
    if (qEnvironmentVariableIsEmpty("QVL_CONTACT_NO_DIALOGS")) {
        QMessageBox::warning(nullptr, Local(kMsgCaption), text);
    }
    return 1;
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

// True once the phone's window is on the bus: at once when it runs, else after starting it.
bool PhoneRuns(qvl::DbusWindowMessenger& messenger, QString& why) {
    if (messenger.FindWindow(qvl::pim::kPhoneWindow)) {
        return true;
    }
    std::u16string path;
    if (!qvl::FindMainProgram(path)) {
        why = Local(kMsgNotInstalled);
        return false;
    }
    const auto pid = qvl::StartProgram(qvl::WideToUtf8(path), {});
    if (!pid) {
        why = Local(kMsgDidNotStart);
        return false;
    }
    // The window is looked for between rounds of the event loop until it is there, the
    // started program has ended, or the limit is reached.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    bool up = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        up = messenger.FindWindow(qvl::pim::kPhoneWindow);
        if (up || !qvl::ProgramRunning(*pid) || clock.elapsed() > kStartLimitMs) {
            loop.quit();
        }
    });
    poll.start(200);
    loop.exec();
    if (!up) {
        why = Local(kMsgDidNotStart);
    }
    return up;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvl-contact tel:NUMBER | sms:NUMBER[?body=TEXT] | FILE.vcf\n");
        return 2;
    }
    std::string arg = argv[1];
    // A desktop may hand over a file as a file: URL.
    if (arg.rfind("file:", 0) == 0) {
        arg = QUrl(QString::fromUtf8(argv[1])).toLocalFile().toStdString();
    }
    qvl::DbusWindowMessenger messenger;
    const bool isLink = arg.find(':') != std::string::npos && arg.front() != '/';
    if (isLink) {
        const auto link = qvl::pim::ParseLink(arg);
        if (!link) {
            return Fail(Local(kMsgNoNumber) + QLatin1Char('\n') + QString::fromUtf8(argv[1]));
        }
        QString why;
        if (!PhoneRuns(messenger, why)) {
            return Fail(why);
        }
        return qvl::pim::HandOver(messenger, qvl::pim::kPhoneWindow, &*link)
                   ? 0
                   : Fail(Local(kMsgNotReached));
    }
    // A contact: the plug-in's own command, as the Contacts application would run it.
    QString why;
    if (!PhoneRuns(messenger, why)) {
        return Fail(why);
    }
    void* plugin =
        ::dlopen((ProgramDir() + "/" + qvl::pim::kPluginLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto command =
        plugin != nullptr
            ? reinterpret_cast<qvl::pim::PimCommandFn>(::dlsym(plugin, qvl::pim::kPimCommandEntry))
            : nullptr;
    if (command == nullptr) {
        const char* e = ::dlerror();
        return Fail(QString::fromUtf8(e != nullptr ? e : qvl::pim::kPluginLibrary));
    }
    const char* items[] = {arg.c_str()};
    command(nullptr, 0, items, 1);
    ::dlclose(plugin);
    return 0;
}

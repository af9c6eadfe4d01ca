// The Contacts command and qvl-contact against a stand-in for the running phone (its window
// published on the test's own session bus): the menu of a contact's numbers, the hand-over of
// the chosen one, a dismissed menu, a phone that is not running; links given to qvl-contact.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <dlfcn.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>
#include <vector>

#include "app/settings/settingkeys.h"
#include "pimplugin/pimplugin.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/registry.h"
#include "tools/install/desktop.h"

using namespace qvl;

namespace {

constexpr int kLimitMs = 60000;

struct Got {
    std::uint32_t message;
    std::int64_t wParam;
};

std::u16string DialerValue(const char16_t* name) {
    return RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer")
        .ReadString(name)
        .value_or(u"<none>");
}

}  // namespace

class PimPluginTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menuOfAMobileNumberAndTheChosenSms();
    void dismissedMenuWritesAnEmptyNumberAndSendsNothing();
    void phoneNotRunningIsStartedWithoutTheNumber();
    void linksGivenToTheHostCommand();
    void xdgOpenOfALinkReachesThePhone();

  private:
    // Runs the plug-in's command on a card; picks the menu entry whose text starts with pick
    // (nothing: dismisses the menu) and records the entries shown.
    void RunCommand(const QByteArray& card, const QString& pick);
    int RunHost(const QString& argument);
    void PublishPhone();

    QTemporaryDir m_home;
    std::unique_ptr<DbusWindowPublisher> m_phone;
    std::vector<Got> m_got;
    QStringList m_shown;
    void* m_plugin = nullptr;
    pim::PimCommandFn m_command = nullptr;
};

void PimPluginTest::initTestCase() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("no D-Bus session bus (ctest runs this under dbus-run-session)");
    }
    m_plugin = ::dlopen(QVL_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_plugin != nullptr, ::dlerror());
    m_command = reinterpret_cast<pim::PimCommandFn>(::dlsym(m_plugin, pim::kPimCommandEntry));
    QVERIFY(m_command != nullptr);
}

void PimPluginTest::init() {
    QVERIFY(m_home.isValid());
    qputenv("QVL_HOME", m_home.path().toUtf8());
    m_got.clear();
    m_shown.clear();
}

void PimPluginTest::cleanup() {
    m_phone.reset();
    RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel");
    RegDeleteTree(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone);
}

void PimPluginTest::PublishPhone() {
    m_phone = std::make_unique<DbusWindowPublisher>(
        pim::kPhoneWindow,
        [this](std::uint32_t m, std::int64_t w, std::int64_t) -> std::int64_t {
            m_got.push_back({m, w});
            return 1;
        },
        "qvl-test-phone");
    QVERIFY2(m_phone->Publish(), m_phone->Problem().c_str());
}

void PimPluginTest::RunCommand(const QByteArray& card, const QString& pick) {
    const QString path = m_home.path() + QStringLiteral("/contact.vcf");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(card);
    f.close();
    // The menu waits for the user: the choice is made from the event loop it runs, once it is
    // up.
    auto* chooser = new QTimer(this);
    connect(chooser, &QTimer::timeout, this, [this, pick, chooser] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible()) {
            return;
        }
        chooser->deleteLater();
        chooser->stop();
        for (QAction* a : menu->actions()) {
            m_shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        for (QAction* a : menu->actions()) {
            if (!pick.isEmpty() && !a->isSeparator() && a->text().startsWith(pick)) {
                // As the user chooses: the entry made current, then Enter.
                menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    chooser->start(10);
    const QByteArray utf8 = path.toUtf8();
    const char* items[] = {utf8.constData()};
    QCOMPARE(m_command(nullptr, 0, items, 1), 0);
}

void PimPluginTest::menuOfAMobileNumberAndTheChosenSms() {
    PublishPhone();
    RunCommand(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nTEL;TYPE=CELL:(0170) 123 4567\r\n"
        "END:VCARD\r\n",
        QStringLiteral("SMS"));
    QCOMPARE(m_shown, (QStringList{QStringLiteral("Dial (0170) 123 4567"), QStringLiteral("-"),
                                   QStringLiteral("SMS (0170) 123 4567")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(1), kLimitMs);
    QCOMPARE(m_got[0].message, 1124u);
    QCOMPARE(m_got[0].wParam, 2);
    QCOMPARE(DialerValue(u"Number"), u"01701234567");
}

void PimPluginTest::dismissedMenuWritesAnEmptyNumberAndSendsNothing() {
    PublishPhone();
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Dialer", RegOpen::Create)
        .WriteString(u"Number", u"0301");
    RunCommand(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo\r\nTEL;TYPE=WORK:030 1\r\n"
        "TEL;TYPE=HOME:040 2\r\nEND:VCARD\r\n",
        QString());
    QCOMPARE(m_shown.size(), 5);
    QCOMPARE(DialerValue(u"Number"), u"");
    // Something posted now would have arrived before this one.
    DbusWindowMessenger probe("qvl-test-probe");
    QVERIFY(probe.PostWindowMessage(pim::kPhoneWindow, 7, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(1), kLimitMs);
    QCOMPARE(m_got[0].message, 7u);
}

void PimPluginTest::phoneNotRunningIsStartedWithoutTheNumber() {
    QTemporaryDir bin;
    const QString marker = bin.path() + QStringLiteral("/started");
    const QString program = bin.path() + QStringLiteral("/Parlino");
    QFile f(program);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // The line is written whole before the marker appears (written beside it, then renamed), so
    // the test never reads a marker the stand-in is still writing.
    f.write(QStringLiteral("#!/bin/sh\necho \"$#\" > '%1.part'\nmv '%1.part' '%1'\n")
                .arg(marker)
                .toUtf8());
    f.close();
    QVERIFY(::chmod(program.toUtf8().constData(), 0755) == 0);
    RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone, RegOpen::Create)
        .WriteString(keys::kValueInstallDir, bin.path().toStdU16String());
    RunCommand("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nTEL;TYPE=CELL:0170 1\r\nEND:VCARD\r\n",
               QStringLiteral("Dial"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), kLimitMs);
    QFile m(marker);
    QVERIFY(m.open(QIODevice::ReadOnly));
    QCOMPARE(m.readAll().trimmed(), QByteArray("0"));
    QCOMPARE(DialerValue(u"Number"), u"<none>");
}

int PimPluginTest::RunHost(const QString& argument) {
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QVL_CONTACT_NO_DIALOGS"), QStringLiteral("1"));
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(QVL_CONTACT_COMMAND), {argument});
    if (!host.waitForStarted(kLimitMs)) {
        return -1;
    }
    // The stand-in phone answers from this event loop: it keeps running while the host works.
    QElapsedTimer clock;
    clock.start();
    while (host.state() != QProcess::NotRunning && clock.elapsed() < kLimitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        host.waitForFinished(50);
    }
    return host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
}

void PimPluginTest::linksGivenToTheHostCommand() {
    // Not installed and not running: a failure, at once.
    QCOMPARE(RunHost(QStringLiteral("tel:+4930123456")), 1);
    PublishPhone();
    QCOMPARE(RunHost(QStringLiteral("tel:+49-30-123456")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(1), kLimitMs);
    QCOMPARE(m_got[0].message, 1124u);
    QCOMPARE(m_got[0].wParam, 1);
    QCOMPARE(DialerValue(u"Number"), u"+4930123456");
    QCOMPARE(RunHost(QStringLiteral("sms:+4930123456?body=Hi%20there")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(2), kLimitMs);
    QCOMPARE(m_got[1].wParam, 2);
    QCOMPARE(DialerValue(u"Body"), u"Hi there");
    // A number with a command in it never reaches the phone.
    QCOMPARE(RunHost(QStringLiteral("tel:123%0D%0AAT+CMGD=1,4")), 1);
    QCOMPARE(RunHost(QStringLiteral("mailto:someone@example.com")), 1);
    DbusWindowMessenger probe("qvl-test-probe-2");
    QVERIFY(probe.PostWindowMessage(pim::kPhoneWindow, 7, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(3), kLimitMs);
    QCOMPARE(m_got[2].message, 7u);
    QCOMPARE(DialerValue(u"Number"), u"+4930123456");
}

// A click on a link in a browser or a mail program ends in xdg-open: with the desktop entries of
// the install step in a temporary XDG folder, it runs qvl-contact, which reaches the phone.
void PimPluginTest::xdgOpenOfALinkReachesThePhone() {
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        QSKIP("xdg-open is not installed (xdg-utils)");
    }
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", (xdg.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (xdg.path() + QStringLiteral("/data")).toUtf8());
    std::vector<std::string> notes;
    std::string error;
    const QString bin = QFileInfo(QStringLiteral(QVL_CONTACT_COMMAND)).absolutePath();
    QVERIFY2(install::WriteDesktopFiles(bin.toStdString(), notes, error), error.c_str());
    PublishPhone();
    const auto open = [&](const QString& link) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), xdg.path() + QStringLiteral("/data"));
        // xdg-open without a desktop uses the entries only on a graphical display; none is
        // opened (qvl-contact runs offscreen and shows no box).
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":99"));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.insert(QStringLiteral("QVL_CONTACT_NO_DIALOGS"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        p.start(xdgOpen, {link});
        QElapsedTimer clock;
        clock.start();
        while (p.state() != QProcess::NotRunning && clock.elapsed() < kLimitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            p.waitForFinished(50);
        }
        return p.exitCode();
    };
    QCOMPARE(open(QStringLiteral("tel:+4930123456")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(1), kLimitMs);
    QCOMPARE(m_got[0].wParam, 1);
    QCOMPARE(DialerValue(u"Number"), u"+4930123456");
    QCOMPARE(open(QStringLiteral("sms:+4930123456?body=Hi")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), std::size_t(2), kLimitMs);
    QCOMPARE(m_got[1].wParam, 2);
    QCOMPARE(DialerValue(u"Body"), u"Hi");
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
}

QTEST_MAIN(PimPluginTest)
#include "pimplugin_test.moc"

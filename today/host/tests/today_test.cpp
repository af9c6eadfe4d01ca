// The Today screen with the phone's real item, on a session bus of the test's own (ctest runs it
// under dbus-run-session): the item's line and the tray follow message 1324; a disabled item
// shows nothing; the refresh broadcast reloads the item; unloading releases its bus name and its
// library; a tap posts one 1224 to a running phone, or starts the installed one once.
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "app/settings/settingkeys.h"
#include "platform/ipc/broadcast.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/registry.h"
#include "today/host/todayscreen.h"
#include "today/itemloader.h"
#include "today/qt/todaymessage.h"

using namespace qvl;
using namespace qvl::today;

namespace {

constexpr int kLimitMs = 60000;  // a generous overall limit for what arrives over the bus

// The item lives in its library, which the test does not link: it is reached as the screen
// reaches it, by its properties and by messages.
QString ItemText(QWidget* window) {
    return window != nullptr ? window->property("text").toString() : QStringLiteral("<no item>");
}

void Tap(QWidget* window) {
    SendTodayMessage(window, kWmLButtonUp, 0, 0);
}

}  // namespace

class TodayTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void itemShowsTheCountsOfThePhone();
    void disabledItemShowsNothing();
    void refreshReloadsAndUnloadReleasesTheItem();
    void tapReachesARunningPhoneOnce();
    void tapStartsThePhoneOnce();
    void programRunsOnceAndEndsCleanlyOnSigterm();
    void screenshots();

  private:
    void AddPhoneItem(std::uint32_t enabled = 1);
    bool HaveBus() const { return std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr; }
    QTemporaryDir m_home;
};

void TodayTest::init() {
    QVERIFY(m_home.isValid());
    qputenv("QVL_HOME", m_home.path().toUtf8());
}

void TodayTest::cleanup() {
    RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Today");
    RegDeleteTree(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone);
}

void TodayTest::AddPhoneItem(std::uint32_t enabled) {
    const RegKey key = RegKey::Open(
        RegRoot::LocalMachine, std::u16string(kItemsKey) + u"\\" + kPhoneItemName, RegOpen::Create);
    QVERIFY(key);
    key.WriteString(kValueDll, u"" QVL_TODAY_ITEM_FILE);
    key.WriteDword(kValueType, kTodayItemCustom);
    key.WriteDword(kValueEnabled, enabled);
}

void TodayTest::itemShowsTheCountsOfThePhone() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    AddPhoneItem();
    TodayScreen screen(".", false);
    screen.LoadItems();
    QCOMPARE(screen.ItemCount(), 1);
    QWidget* window = screen.ItemWindow(0);
    QVERIFY(window != nullptr);
    QCOMPARE(window->height(), 22);
    QCOMPARE(window->objectName(), QStringLiteral("QVLDialerToday"));
    QCOMPARE(ItemText(window), QStringLiteral("No new SMS message"));
    QVERIFY(window->property("published").toBool());

    // The phone's side: its engine posts the count to the item's published window.
    DbusWindowMessenger phone("qvl-test-phone");
    QVERIFY(phone.FindWindow(u"QVLDialerToday"));
    QVERIFY(phone.PostWindowMessage(u"QVLDialerToday", 1324, 1, 3));
    QTRY_COMPARE_WITH_TIMEOUT(ItemText(window), QStringLiteral("3 new SMS message(s)"), kLimitMs);
    QCOMPARE(screen.TrayCount(), 3);
    QCOMPARE(screen.TrayText(), QStringLiteral("3 new SMS message(s)"));
    QVERIFY(phone.PostWindowMessage(u"QVLDialerToday", 1324, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(ItemText(window), QStringLiteral("No new SMS message"), kLimitMs);
    QCOMPARE(screen.TrayCount(), 0);
    // Another message of the phone's numbering changes nothing.
    SendTodayMessage(window, 1324, 2, 9);
    QCOMPARE(ItemText(window), QStringLiteral("No new SMS message"));
}

void TodayTest::disabledItemShowsNothing() {
    AddPhoneItem(0);
    TodayScreen screen(".", false);
    screen.LoadItems();
    QCOMPARE(screen.ItemCount(), 1);
    QVERIFY(screen.ItemWindow(0) == nullptr);
    QVERIFY(screen.Problems().empty());
    QCOMPARE(screen.height(), 44);  // room for the line that says why it is empty
}

void TodayTest::refreshReloadsAndUnloadReleasesTheItem() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    AddPhoneItem();
    DbusWindowMessenger phone("qvl-test-phone-2");
    {
        TodayScreen screen(".", false);
        QVERIFY(QDBusConnection::sessionBus().connect(
            QString(), QLatin1String(kSettingChangePath), QLatin1String(kSettingChangeInterface),
            QLatin1String(kSettingChangeMember), &screen, SLOT(OnSettingChange(uint))));
        screen.LoadItems();
        QVERIFY(LibraryLoaded(QVL_TODAY_ITEM_FILE));
        QVERIFY(phone.FindWindow(u"QVLDialerToday"));
        // Another setting change is not the Today screen's concern.
        QVERIFY(BroadcastSettingChange(0x1A));
        QVERIFY(BroadcastSettingChange(kTodayRefreshRequest));
        QTRY_COMPARE_WITH_TIMEOUT(screen.Loads(), 2, kLimitMs);
        QCOMPARE(screen.ItemCount(), 1);
        QVERIFY(screen.ItemWindow(0) != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(phone.FindWindow(u"QVLDialerToday"), kLimitMs);
        QCOMPARE(ItemText(screen.ItemWindow(0)), QStringLiteral("No new SMS message"));
        // The removal's order: the key goes, then the broadcast: the screen is left empty.
        RegDeleteTree(RegRoot::LocalMachine, std::u16string(kItemsKey) + u"\\" + kPhoneItemName);
        QVERIFY(BroadcastSettingChange(kTodayRefreshRequest));
        QTRY_COMPARE_WITH_TIMEOUT(screen.Loads(), 3, kLimitMs);
        QCOMPARE(screen.ItemCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!phone.FindWindow(u"QVLDialerToday"), kLimitMs);
        QVERIFY(!LibraryLoaded(QVL_TODAY_ITEM_FILE));
        AddPhoneItem();
        screen.LoadItems();
        QVERIFY(screen.ItemWindow(0) != nullptr);
    }
    // The screen's end unloads the item as well.
    QTRY_VERIFY_WITH_TIMEOUT(!phone.FindWindow(u"QVLDialerToday"), kLimitMs);
    QVERIFY(!LibraryLoaded(QVL_TODAY_ITEM_FILE));
}

void TodayTest::tapReachesARunningPhoneOnce() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    struct Got {
        std::uint32_t message;
        std::int64_t wParam, lParam;
    };
    std::vector<Got> got;
    DbusWindowPublisher runningPhone(
        u"QVL SMS/Phone",
        [&got](std::uint32_t m, std::int64_t w, std::int64_t l) -> std::int64_t {
            got.push_back({m, w, l});
            return 1;
        },
        "qvl-test-running-phone");
    QVERIFY2(runningPhone.Publish(), runningPhone.Problem().c_str());
    AddPhoneItem();
    TodayScreen screen(".", false);
    screen.LoadItems();
    QVERIFY(screen.ItemWindow(0) != nullptr);
    // The tray's click and a tap on the line: each is one 1224, and nothing is started.
    screen.TapReportingItem();
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), std::size_t(1), kLimitMs);
    QTest::mouseClick(screen.ItemWindow(0), Qt::LeftButton, {}, QPoint(100, 10));
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), std::size_t(2), kLimitMs);
    for (const Got& g : got) {
        QCOMPARE(g.message, 1224u);
        QCOMPARE(g.wParam, 0);
        QCOMPARE(g.lParam, 0);
    }
}

void TodayTest::tapStartsThePhoneOnce() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    // The installed phone: a stand-in that notes its arguments and its process id, then stays
    // up without showing a window (a phone still coming up).
    QTemporaryDir bin;
    const QString marker = bin.path() + QStringLiteral("/started");
    const QString program = bin.path() + QStringLiteral("/Parlino");
    {
        QFile f(program);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Each copy appends its line, then says it has written it (the test waits for that, so
        // it never reads a line still being written; a second copy would add a second line).
        f.write(QStringLiteral("#!/bin/sh\necho \"$# $$\" >> '%1'\n: > '%1.done'\n"
                               "exec sleep 120\n")
                    .arg(marker)
                    .toUtf8());
    }
    QVERIFY(::chmod(program.toUtf8().constData(), 0755) == 0);
    RegKey::Open(RegRoot::LocalMachine, keys::kKeyAppsSmsPhone, RegOpen::Create)
        .WriteString(keys::kValueInstallDir, bin.path().toStdU16String());
    AddPhoneItem();
    TodayScreen screen(".", false);
    screen.LoadItems();
    QWidget* item = screen.ItemWindow(0);
    QVERIFY(item != nullptr);
    Tap(item);
    Tap(item);  // a double tap
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker + QStringLiteral(".done")), kLimitMs);
    QFile f(marker);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    const QList<QByteArray> fields = lines[0].split(' ');
    QCOMPARE(fields[0], QByteArray("0"));  // no arguments
    ::kill(static_cast<pid_t>(fields[1].toInt()), SIGTERM);
}

// qvl-today as the autostart entry starts it: it shows the item; a second start hands over to
// the first and ends at once; the end of the session (SIGTERM) unloads the item, whose bus name
// goes, and the program exits normally.
void TodayTest::programRunsOnceAndEndsCleanlyOnSigterm() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    AddPhoneItem();
    DbusWindowMessenger phone("qvl-test-phone-3");
    QProcess today;
    today.start(QStringLiteral(QVL_TODAY_PROGRAM), {});
    QVERIFY(today.waitForStarted(kLimitMs));
    QTRY_VERIFY_WITH_TIMEOUT(phone.FindWindow(u"QVLDialerToday"), kLimitMs);
    QTRY_VERIFY_WITH_TIMEOUT(phone.FindWindow(u"QVLTodayScreen"), kLimitMs);
    QProcess second;
    second.start(QStringLiteral(QVL_TODAY_PROGRAM), {});
    QVERIFY(second.waitForFinished(kLimitMs));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(today.state(), QProcess::Running);
    today.terminate();  // SIGTERM
    QVERIFY(today.waitForFinished(kLimitMs));
    QCOMPARE(today.exitStatus(), QProcess::NormalExit);
    QCOMPARE(today.exitCode(), 0);
    QVERIFY(!phone.FindWindow(u"QVLDialerToday"));
    QVERIFY(!phone.FindWindow(u"QVLTodayScreen"));
}

void TodayTest::screenshots() {
    if (!HaveBus()) {
        QSKIP("no D-Bus session bus");
    }
    QVERIFY(QDir().mkpath(QStringLiteral(QVL_SCREENSHOT_DIR)));
    AddPhoneItem();
    TodayScreen screen(".", false);
    screen.LoadItems();
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    QWidget* item = screen.ItemWindow(0);
    QVERIFY(item != nullptr);
    QVERIFY(screen.grab().save(QStringLiteral(QVL_SCREENSHOT_DIR "/today-item.png")));
    SendTodayMessage(item, 1324, 1, 3);
    QVERIFY(screen.grab().save(QStringLiteral(QVL_SCREENSHOT_DIR "/today-item-3-new.png")));
    QVERIFY(TodayScreen::TrayIcon(3).pixmap(32, 32).save(
        QStringLiteral(QVL_SCREENSHOT_DIR "/today-tray-3-new.png")));
}

QTEST_MAIN(TodayTest)
#include "today_test.moc"

// The call notification over a fake freedesktop notification service on the session bus, and
// its absence; the sound player with files it cannot play.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "platform/qt/qtports.h"

using namespace qvl;

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
}  // namespace

// A notification service on a connection of its own, as a desktop would run it.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    explicit FakeNotifications(QDBusConnection bus) : m_bus(bus) {}
    QStringList lastActions;
    QString lastBody;
    int lastTimeout = 0;
    QList<uint> closed;

    void Invoke(uint id, const QString& action) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
        signal << id << action;
        m_bus.send(signal);
    }

  public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString& body,
                const QStringList& actions, const QVariantMap&, int timeout) {
        lastBody = body;
        lastActions = actions;
        lastTimeout = timeout;
        return 42;
    }
    void CloseNotification(uint id) { closed << id; }

  private:
    QDBusConnection m_bus;
};

class QtPortsTest : public QObject {
    Q_OBJECT
  private slots:
    void noServiceMeansNoBubble();
    void acceptAndRejectReachTheCallButtons();
    void unplayableSoundsStaySilent();
};

void QtPortsTest::noServiceMeansNoBubble() {
    CallNotifier notifier;
    if (QDBusConnection::sessionBus().isConnected() &&
        QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value()) {
        QSKIP("a notification service runs on this session bus");
    }
    QVERIFY(!notifier.Show(QStringLiteral("QVL SMS/Phone"), QStringLiteral("Accept Call 1 ?"),
                           QStringLiteral("Accept"), QStringLiteral("Reject")));
    QVERIFY(!notifier.IsShown());
    notifier.Remove();  // harmless
}

void QtPortsTest::acceptAndRejectReachTheCallButtons() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        QSKIP("no session bus");
    }
    QDBusConnection serviceBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notify"));
    // The service answers on a thread of its own: the notifier's calls block until answered.
    QThread serviceThread;
    FakeNotifications fake(serviceBus);
    fake.moveToThread(&serviceThread);
    serviceThread.start();
    const auto stop = qScopeGuard([&] {
        serviceThread.quit();
        serviceThread.wait();
    });
    QVERIFY(serviceBus.registerObject(kPath, &fake, QDBusConnection::ExportAllSlots));
    if (!serviceBus.registerService(kService)) {
        QSKIP("another notification service owns the name");
    }
    CallNotifier notifier;
    QSignalSpy accepted(&notifier, &CallNotifier::Accepted);
    QSignalSpy rejected(&notifier, &CallNotifier::Rejected);
    QVERIFY(notifier.Show(QStringLiteral("QVL SMS/Phone"), QStringLiteral("Accept Call Anna ?"),
                          QStringLiteral("Accept"), QStringLiteral("Reject")));
    QCOMPARE(fake.lastBody, QStringLiteral("Accept Call Anna ?"));
    QCOMPARE(fake.lastActions, (QStringList{QStringLiteral("cmd:9898"), QStringLiteral("Accept"),
                                            QStringLiteral("cmd:8989"), QStringLiteral("Reject")}));
    QCOMPARE(fake.lastTimeout, 60000);
    // An action of another program's notification is not ours.
    fake.Invoke(7, QStringLiteral("cmd:9898"));
    fake.Invoke(42, QStringLiteral("cmd:9898"));
    QTRY_COMPARE(accepted.count(), 1);
    QCOMPARE(rejected.count(), 0);
    QVERIFY(!notifier.IsShown());
    QVERIFY(notifier.Show(QStringLiteral("t"), QStringLiteral("b"), QStringLiteral("a"),
                          QStringLiteral("r")));
    fake.Invoke(42, QStringLiteral("cmd:8989"));
    QTRY_COMPARE(rejected.count(), 1);
    QVERIFY(notifier.Show(QStringLiteral("t"), QStringLiteral("b"), QStringLiteral("a"),
                          QStringLiteral("r")));
    notifier.Remove();
    QTRY_COMPARE(fake.closed, QList<uint>{42});
    serviceBus.unregisterService(kService);
}

void QtPortsTest::unplayableSoundsStaySilent() {
    QTemporaryDir dir;
    QFile notSound(dir.filePath(QStringLiteral("ring.wav")));
    QVERIFY(notSound.open(QIODevice::WriteOnly));
    notSound.write("this is not a wave file");
    notSound.close();
    SoundPlayer player;
    player.Play(dir.filePath(QStringLiteral("missing.wav")), SoundPlayer::Repeat::Loop);
    QVERIFY(!player.IsPlaying());
    player.Play(QString(), SoundPlayer::Repeat::Once);
    QVERIFY(!player.IsPlaying());
    player.Play(notSound.fileName(), SoundPlayer::Repeat::Loop);
    QTest::qWait(200);
    player.Stop();
    QVERIFY(!player.IsPlaying());
}

QTEST_MAIN(QtPortsTest)
#include "qtports_test.moc"

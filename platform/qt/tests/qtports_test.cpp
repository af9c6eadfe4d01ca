// The call notification over a fake freedesktop notification service on the session bus, and
// its absence; the sound player on a private sound server and in every state in which sound
// cannot be played. Each sound case runs in a child process of its own (this program, started
// with --sound-child), because the sound system reads its environment once per process and
// because a crash there must fail one case, not end the whole run.
#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

#include "platform/qt/qtports.h"
#include "tools/install/tones.h"

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

// The fake service on its own connection and thread: the notifier's calls block until answered.
class FakeNotificationService {
  public:
    FakeNotificationService()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("fake-notify"))),
          fake(m_bus) {
        fake.moveToThread(&m_thread);
        m_thread.start();
    }
    ~FakeNotificationService() {
        if (m_registered) {
            m_bus.unregisterService(kService);
        }
        m_thread.quit();
        m_thread.wait();
    }
    // False when there is no session bus or another service owns the name.
    bool Register() {
        m_registered = m_bus.isConnected() &&
                       m_bus.registerObject(kPath, &fake, QDBusConnection::ExportAllSlots) &&
                       m_bus.registerService(kService);
        return m_registered;
    }

  private:
    QDBusConnection m_bus;
    QThread m_thread;
    bool m_registered = false;

  public:
    FakeNotifications fake;
};

// Runs the processes' event loop until cond holds or the generous limit has passed.
template <typename F>
bool WaitFor(F cond, int limitMs = 20000) {
    const QDeadlineTimer deadline(limitMs);
    while (!cond()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::yieldCurrentThread();
    }
    return true;
}

// The child's part: ring as the dialer does for an incoming call (the voice ring in a loop,
// then the bubble), and report on standard output what happened. A single play is followed
// to its end, a loop for one whole length of the sound.
int SoundChild(const QString& path, SoundPlayer::Repeat repeat) {
    SoundPlayer player;
    player.Play(path, repeat);
    const bool playing = player.IsPlaying();
    std::printf("%s\n", playing ? "playing" : "silent");
    if (playing && repeat == SoundPlayer::Repeat::Once) {
        if (!WaitFor([&] { return !player.IsPlaying(); })) {
            return 3;
        }
        std::printf("ended\n");
    }
    if (playing && repeat == SoundPlayer::Repeat::Loop) {
        const qint64 length = player.LengthMs();
        if (!WaitFor([&] { return player.PlayedMs() > length; })) {
            return 3;
        }
        std::printf("%s\n", player.IsPlaying() ? "looping" : "stopped");
        player.Stop();
    }
    FakeNotificationService service;
    if (service.Register()) {
        CallNotifier notifier;
        std::printf("%s\n", notifier.Show(QStringLiteral("QVL SMS/Phone"),
                                          QStringLiteral("Accept Call 1 ?"),
                                          QStringLiteral("Accept"), QStringLiteral("Reject"))
                                ? "bubble"
                                : "no bubble");
    } else {
        std::printf("no bus\n");
    }
    std::fflush(stdout);
    return 0;
}

class QtPortsTest : public QObject {
    Q_OBJECT
  private slots:
    void noServiceMeansNoBubble();
    void acceptAndRejectReachTheCallButtons();
    void initTestCase();
    void cleanupTestCase();
    void soundNeverEndsTheProgram_data();
    void soundNeverEndsTheProgram();
    void stopEndsALoopAtOnce();

  private:
    QTemporaryDir m_dir;
    QString m_ring;         // the installed telephone ring
    QString m_pulseSocket;  // the private sound server, or empty
    QProcess m_pulse;
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
    FakeNotificationService service;
    if (!service.Register()) {
        QSKIP("another notification service owns the name");
    }
    FakeNotifications& fake = service.fake;
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
    QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 20000);
    QCOMPARE(rejected.count(), 0);
    QVERIFY(!notifier.IsShown());
    QVERIFY(notifier.Show(QStringLiteral("t"), QStringLiteral("b"), QStringLiteral("a"),
                          QStringLiteral("r")));
    fake.Invoke(42, QStringLiteral("cmd:8989"));
    QTRY_COMPARE_WITH_TIMEOUT(rejected.count(), 1, 20000);
    QVERIFY(notifier.Show(QStringLiteral("t"), QStringLiteral("b"), QStringLiteral("a"),
                          QStringLiteral("r")));
    notifier.Remove();
    QTRY_COMPARE_WITH_TIMEOUT(fake.closed, QList<uint>{42}, 20000);
}

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

}  // namespace

// A private sound server with a null output, so that the playing cases really play (and no
// test rings on the speakers of the machine that runs it). Without the server program those
// cases are skipped; the cases without sound run anyway.
void QtPortsTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    const auto tones = install::MakeTones();
    const std::string ring = install::EncodeWav(tones.front().pcm, install::kToneSampleRate);
    m_ring = m_dir.filePath(QStringLiteral("ring.wav"));
    WriteFile(m_ring, QByteArray(ring.data(), static_cast<qsizetype>(ring.size())));
    QDir(m_dir.path()).mkpath(QStringLiteral("empty"));

    const QString server = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (server.isEmpty()) {
        return;
    }
    const QString home = m_dir.filePath(QStringLiteral("pulse"));
    QDir(m_dir.path()).mkpath(QStringLiteral("pulse"));
    const QString socket = home + QStringLiteral("/native");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    m_pulse.setProcessEnvironment(env);
    m_pulse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_pulse.start(server,
                  {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                   QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                   QStringLiteral("--log-level=error"), QStringLiteral("-L"),
                   QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                   QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=nul")});
    QVERIFY2(m_pulse.waitForStarted(), "the sound server did not start");
    QVERIFY2(
        WaitFor([&] { return QFile::exists(socket) || m_pulse.state() == QProcess::NotRunning; }),
        "the sound server made no socket");
    QVERIFY2(m_pulse.state() == QProcess::Running, "the sound server ended at start");
    m_pulseSocket = socket;
}

void QtPortsTest::cleanupTestCase() {
    if (m_pulse.state() != QProcess::NotRunning) {
        m_pulse.terminate();
        if (!m_pulse.waitForFinished(10000)) {
            m_pulse.kill();
            m_pulse.waitForFinished();
        }
    }
}

void QtPortsTest::soundNeverEndsTheProgram_data() {
    QTest::addColumn<QString>("file");     // under the test folder; "ring" for the ring tone
    QTest::addColumn<QString>("repeat");   // once or loop
    QTest::addColumn<QStringList>("env");  // set in the child; @ stands for the test folder
    QTest::addColumn<bool>("server");      // the private sound server is reachable
    QTest::addColumn<QString>("expect");   // the child's report, lines joined by spaces

    const QStringList none;
    const QStringList noPlugins{QStringLiteral("GST_PLUGIN_SYSTEM_PATH=@/empty"),
                                QStringLiteral("GST_PLUGIN_SYSTEM_PATH_1_0=@/empty"),
                                QStringLiteral("GST_PLUGIN_PATH=@/empty"),
                                QStringLiteral("GST_PLUGIN_PATH_1_0=@/empty"),
                                QStringLiteral("GST_REGISTRY=@/gst-registry.bin"),
                                QStringLiteral("GST_REGISTRY_1_0=@/gst-registry.bin")};
    const QStringList noBackend{QStringLiteral("QT_MEDIA_BACKEND=none"),
                                QStringLiteral("QT_PLUGIN_PATH=@/empty")};
    QTest::newRow("ring once") << "ring"
                               << "once" << none << true << "playing ended bubble";
    QTest::newRow("ring in a loop") << "ring"
                                    << "loop" << none << true << "playing looping bubble";
    QTest::newRow("no media plug-ins") << "ring"
                                       << "loop" << noPlugins << true << "playing looping bubble";
    QTest::newRow("no media backend") << "ring"
                                      << "loop" << noBackend << true << "playing looping bubble";
    QTest::newRow("no sound server") << "ring"
                                     << "loop" << none << false << "silent bubble";
    QTest::newRow("no plug-ins, no server") << "ring"
                                            << "loop" << noPlugins << false << "silent bubble";
    QTest::newRow("missing file") << "missing.wav"
                                  << "loop" << none << true << "silent bubble";
    QTest::newRow("no file name") << ""
                                  << "loop" << none << true << "silent bubble";
    QTest::newRow("a folder") << "empty"
                              << "loop" << none << true << "silent bubble";
    QTest::newRow("text file") << "text.wav"
                               << "loop" << none << true << "silent bubble";
    QTest::newRow("cut in the header") << "cut.wav"
                                       << "loop" << none << true << "silent bubble";
    QTest::newRow("compressed samples") << "mp3.wav"
                                        << "loop" << none << true << "silent bubble";
}

void QtPortsTest::soundNeverEndsTheProgram() {
    QFETCH(QString, file);
    QFETCH(QString, repeat);
    QFETCH(QStringList, env);
    QFETCH(bool, server);
    QFETCH(QString, expect);
    if (server && m_pulseSocket.isEmpty()) {
        QSKIP("no sound server program (pulseaudio) to play to");
    }
    QFile ring(m_ring);
    QVERIFY(ring.open(QIODevice::ReadOnly));
    const QByteArray tone = ring.readAll();
    WriteFile(m_dir.filePath(QStringLiteral("text.wav")), "this is not a wave file");
    WriteFile(m_dir.filePath(QStringLiteral("cut.wav")), tone.left(30));
    // The ring with its format code changed to MPEG layer 3: a decoder would be needed.
    QByteArray mp3 = tone;
    mp3[20] = '\x55';
    WriteFile(m_dir.filePath(QStringLiteral("mp3.wav")), mp3);

    QProcessEnvironment childEnv = QProcessEnvironment::systemEnvironment();
    childEnv.insert(QStringLiteral("PULSE_SERVER"),
                    QStringLiteral("unix:") +
                        (server ? m_pulseSocket : m_dir.filePath(QStringLiteral("no-server"))));
    for (QString kv : env) {
        kv.replace(QLatin1Char('@'), m_dir.path());
        childEnv.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    }
    const QString path = file == QLatin1String("ring") ? m_ring
                         : file.isEmpty()              ? QString()
                                                       : m_dir.filePath(file);
    QProcess child;
    child.setProcessEnvironment(childEnv);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--sound-child"), path, repeat});
    QVERIFY(child.waitForStarted());
    QVERIFY2(child.waitForFinished(120000), "the child hangs");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);  // a crash shows here
    QCOMPARE(child.exitCode(), 0);
    QString report = QString::fromUtf8(child.readAllStandardOutput()).simplified();
    if (report.endsWith(QLatin1String("no bus"))) {
        report.chop(6);
        expect = expect.section(QLatin1Char(' '), 0, -2);
        report = report.trimmed();
    }
    QCOMPARE(report, expect);
}

void QtPortsTest::stopEndsALoopAtOnce() {
    if (m_pulseSocket.isEmpty()) {
        QSKIP("no sound server program (pulseaudio) to play to");
    }
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + m_pulseSocket).toUtf8());
    SoundPlayer player;
    player.Play(m_ring, SoundPlayer::Repeat::Loop);
    QVERIFY(player.IsPlaying());
    player.Stop();
    QVERIFY(!player.IsPlaying());
    QCOMPARE(player.PlayedMs(), 0);
    // A second ring after a stop starts from the beginning.
    player.Play(m_ring, SoundPlayer::Repeat::Once);
    QVERIFY(player.IsPlaying());
    player.Play(QString(), SoundPlayer::Repeat::Once);  // a new play stops the old one
    QVERIFY(!player.IsPlaying());
}

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--sound-child") == 0) {
        QCoreApplication app(argc, argv);
        return SoundChild(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "loop") == 0
                                                               ? SoundPlayer::Repeat::Loop
                                                               : SoundPlayer::Repeat::Once);
    }
    QApplication app(argc, argv);
    QtPortsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "qtports_test.moc"

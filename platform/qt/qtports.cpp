#include "platform/qt/qtports.h"

#include <QApplication>
#include <QAudioOutput>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

namespace qvl {

struct SoundPlayer::Impl {
    QMediaPlayer player;
    QAudioOutput output;
};

SoundPlayer::SoundPlayer() : m_impl(std::make_unique<Impl>()) {
    m_impl->player.setAudioOutput(&m_impl->output);
}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::Play(const QString& path, Repeat repeat) {
    Stop();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    m_impl->player.setLoops(repeat == Repeat::Loop ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    m_impl->player.setSource(QUrl::fromLocalFile(path));
    m_impl->player.play();
}

void SoundPlayer::Stop() {
    m_impl->player.stop();
    m_impl->player.setSource(QUrl());
}

bool SoundPlayer::IsPlaying() const {
    return m_impl->player.playbackState() == QMediaPlayer::PlayingState;
}

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
}  // namespace

CallNotifier::CallNotifier(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                    SLOT(OnClosed(uint, uint)));
    }
}

bool CallNotifier::Show(const QString& title, const QString& body, const QString& accept,
                        const QString& reject) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(kService).value()) {
        return false;
    }
    QDBusInterface notifications(kService, kPath, kService, bus);
    // Shown for 60 seconds; "cmd:9898" answers, "cmd:8989" rejects.
    const QStringList actions{QStringLiteral("cmd:9898"), accept, QStringLiteral("cmd:8989"),
                              reject};
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(2));
    hints.insert(QStringLiteral("category"), QStringLiteral("call.incoming"));
    QDBusReply<uint> reply =
        notifications.call(QStringLiteral("Notify"), QStringLiteral("Parlino"), m_id, QString(),
                           title, body, actions, hints, 60000);
    if (!reply.isValid()) {
        return false;
    }
    m_id = reply.value();
    return true;
}

void CallNotifier::Remove() {
    if (m_id == 0) {
        return;
    }
    QDBusInterface notifications(kService, kPath, kService, QDBusConnection::sessionBus());
    notifications.call(QDBus::NoBlock, QStringLiteral("CloseNotification"), m_id);
    m_id = 0;
}

void CallNotifier::OnActionInvoked(uint id, const QString& action) {
    if (id == 0 || id != m_id) {
        return;
    }
    m_id = 0;
    if (action == QLatin1String("cmd:9898")) {
        emit Accepted();
    } else if (action == QLatin1String("cmd:8989")) {
        emit Rejected();
    }
}

void CallNotifier::OnClosed(uint id, uint) {
    if (id == m_id) {
        m_id = 0;
    }
}

}  // namespace qvl

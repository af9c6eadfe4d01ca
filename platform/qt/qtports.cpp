#include "platform/qt/qtports.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QIODevice>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/wavfile.h"

namespace qvl {

namespace {

// The samples of one sound as a read-only stream for the audio output; in a loop it starts
// again at the first frame without a gap, once it ends after the last.
class SampleSource : public QIODevice {
  public:
    SampleSource(std::vector<std::uint8_t> samples, SoundPlayer::Repeat repeat)
        : m_samples(std::move(samples)), m_repeat(repeat) {}
    bool isSequential() const override { return true; }
    bool atEnd() const override {
        return m_repeat == SoundPlayer::Repeat::Once && m_pos >= m_samples.size();
    }
    qint64 bytesAvailable() const override {
        if (m_repeat == SoundPlayer::Repeat::Loop) {
            return std::numeric_limits<qint32>::max();
        }
        return static_cast<qint64>(m_samples.size() - m_pos) + QIODevice::bytesAvailable();
    }

  protected:
    qint64 readData(char* out, qint64 max) override {
        qint64 done = 0;
        while (done < max && !m_samples.empty()) {
            if (m_pos >= m_samples.size()) {
                if (m_repeat == SoundPlayer::Repeat::Once) {
                    break;
                }
                m_pos = 0;
            }
            const auto n = static_cast<std::size_t>(
                std::min<qint64>(max - done, static_cast<qint64>(m_samples.size() - m_pos)));
            std::memcpy(out + done, m_samples.data() + m_pos, n);
            m_pos += n;
            done += static_cast<qint64>(n);
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    std::vector<std::uint8_t> m_samples;
    SoundPlayer::Repeat m_repeat;
    std::size_t m_pos = 0;
};

QAudioFormat::SampleFormat QtSampleFormat(WavSampleFormat f) {
    switch (f) {
        case WavSampleFormat::UInt8:
            return QAudioFormat::UInt8;
        case WavSampleFormat::Int16:
            return QAudioFormat::Int16;
        case WavSampleFormat::Int32:
            return QAudioFormat::Int32;
        case WavSampleFormat::Float32:
            return QAudioFormat::Float;
    }
    return QAudioFormat::Unknown;
}

std::optional<WavSound> ReadSound(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) ||
        file.size() > static_cast<qint64>(kMaxWavFileBytes)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxWavFileBytes) + 1);
    return ParseWav(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size())));
}

}  // namespace

// The samples go straight to the audio output (on this platform the sound server), not
// through a media pipeline: a pipeline needs decoder and sink plug-ins that may be missing,
// and a missing one has ended the whole program before. The file is checked completely by
// ParseWav first, so nothing but well-formed samples reaches the output.
struct SoundPlayer::Impl {
    QObject context;  // receives the output's state changes; gone with the player
    std::unique_ptr<QAudioSink> sink;
    std::unique_ptr<SampleSource> source;
    qint64 lengthMs = 0;

    void Release() {
        if (sink) {
            QObject::disconnect(sink.get(), nullptr, &context, nullptr);
            sink->stop();
        }
        sink.reset();
        source.reset();
        lengthMs = 0;
    }
};

SoundPlayer::SoundPlayer() : m_impl(std::make_unique<Impl>()) {}

SoundPlayer::~SoundPlayer() {
    m_impl->Release();
}

void SoundPlayer::Play(const QString& path, Repeat repeat) {
    Stop();
    std::optional<WavSound> sound = ReadSound(path);
    if (!sound) {
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(sound->sampleRate));
    format.setChannelCount(sound->channels);
    format.setSampleFormat(QtSampleFormat(sound->format));
    if (device.isNull() || !device.isFormatSupported(format)) {
        return;
    }
    Impl& d = *m_impl;
    d.lengthMs = static_cast<qint64>(sound->samples.size() / sound->BytesPerFrame() * 1000 /
                                     sound->sampleRate);
    d.source = std::make_unique<SampleSource>(std::move(sound->samples), repeat);
    d.source->open(QIODevice::ReadOnly);
    d.sink = std::make_unique<QAudioSink>(device, format);
    QObject::connect(
        d.sink.get(), &QAudioSink::stateChanged, &d.context, [this](QAudio::State state) {
            // The end of a single play, or an output that failed: let go of it
            // once the output has returned from its signal.
            QAudioSink* sink = m_impl->sink.get();
            if (sink != nullptr && (state == QAudio::StoppedState ||
                                    (state == QAudio::IdleState && m_impl->source->atEnd()))) {
                QMetaObject::invokeMethod(
                    &m_impl->context,
                    [this, sink] {
                        if (m_impl->sink.get() == sink) {
                            m_impl->Release();
                        }
                    },
                    Qt::QueuedConnection);
            }
        });
    d.sink->start(d.source.get());
    if (d.sink->error() != QAudio::NoError) {
        d.Release();
    }
}

void SoundPlayer::Stop() {
    m_impl->Release();
}

bool SoundPlayer::IsPlaying() const {
    const QAudioSink* sink = m_impl->sink.get();
    return sink != nullptr && sink->error() == QAudio::NoError &&
           (sink->state() == QAudio::ActiveState ||
            (sink->state() == QAudio::IdleState && !m_impl->source->atEnd()));
}

qint64 SoundPlayer::LengthMs() const {
    return m_impl->sink ? m_impl->lengthMs : 0;
}

qint64 SoundPlayer::PlayedMs() const {
    return m_impl->sink ? m_impl->sink->processedUSecs() / 1000 : 0;
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

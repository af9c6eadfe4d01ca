// Qt adapters of the platform: sound playback and the desktop notification bubble.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace qvl {

// Plays a ring tone file (RIFF/WAVE) asynchronously, once or in a loop. A missing, damaged or
// foreign file, a machine without an audio output or a sound system that refuses the stream
// plays nothing and reports nothing; none of them can end the program.
class SoundPlayer {
  public:
    enum class Repeat { Once, Loop };
    SoundPlayer();
    ~SoundPlayer();
    void Play(const QString& path, Repeat repeat);
    void Stop();
    bool IsPlaying() const;
    // The length of the sound being played and how much of it (all rounds of a loop) the
    // output has played so far; 0 when nothing plays.
    qint64 LengthMs() const;
    qint64 PlayedMs() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The incoming-call bubble as a freedesktop notification with Accept and Reject actions.
// Without a notification service on the session bus nothing is shown.
class CallNotifier : public QObject {
    Q_OBJECT
  public:
    explicit CallNotifier(QObject* parent = nullptr);
    // title, body text (plain), the two action labels. Returns false when no bubble was shown.
    bool Show(const QString& title, const QString& body, const QString& accept,
              const QString& reject);
    void Remove();
    bool IsShown() const { return m_id != 0; }

  signals:
    void Accepted();
    void Rejected();

  private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

  private:
    uint m_id = 0;
};

}  // namespace qvl

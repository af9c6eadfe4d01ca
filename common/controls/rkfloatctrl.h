// RKFloatCtrl: the floating 200 x 100 progress window with a text, a bar and an optional
// Cancel button, shown by every long modem operation. It is the progress-window UI port.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "common/ports/uiports.h"

namespace qvl {

class RKFloatWindow;

// Where the window stands: centred, or as the upper or lower of two windows shown together
// (a read's step window above its bar window), both centred as a pair.
enum class FloatPlacement { Centre, Upper, Lower };

class RKFloatCtrl : public IProgressWindow {
  public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 100;
    static constexpr int kTickMs = 20;
    // Between the two windows of a pair.
    static constexpr int kPairGap = 4;

    // parent: the window the progress window floats over (it is centred on that window's
    // screen); may be null.
    explicit RKFloatCtrl(QWidget* parent = nullptr,
                         FloatPlacement placement = FloatPlacement::Centre);
    ~RKFloatCtrl() override;
    RKFloatCtrl(const RKFloatCtrl&) = delete;
    RKFloatCtrl& operator=(const RKFloatCtrl&) = delete;

    void Create(int minimum, int maximum, int position, bool cancellable) override;
    void SetText(std::u16string_view text, int position) override;
    void Show(bool visible) override;
    bool IsCanceled() const override;
    void Close() override;
    void Destroy() override;

    // The window while it exists, else null.
    RKFloatWindow* Window() const;

  private:
    QWidget* m_parent;
    FloatPlacement m_placement;
    QPointer<RKFloatWindow> m_window;
    bool m_canceled = false;
};

// The window itself. Its state mirrors the handheld window's longs.
class RKFloatWindow : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { Indeterminate, Determinate };

    RKFloatWindow(QWidget* parent, int minimum, int maximum, int position, bool cancellable);

    const QString& Text() const { return m_text; }
    void SetText(const QString& text) {
        m_text = text;
        update();
    }
    int Minimum() const { return m_minimum; }
    int Maximum() const { return m_maximum; }
    int Position() const { return m_position; }
    void SetPosition(int position) {
        m_position = position;
        update();
    }
    bool IsCanceled() const { return m_canceled; }
    bool IsCancellable() const { return m_cancellable; }
    int AnimationValue() const { return m_animation; }
    Mode GetMode() const { return m_mode; }
    void StopTimers();

    // Areas in window coordinates.
    QRect CancelRect() const;
    QRect BarRect() const;
    QRect TextRect() const;

  signals:
    void Canceled();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void OnBarTimer();
    void OnStripTimer();

    QString m_text;
    int m_minimum;
    int m_maximum;
    int m_position;
    bool m_canceled = false;
    bool m_cancellable;
    int m_animation = 0;
    int m_direction = 1;
    Mode m_mode;
    QTimer m_barTimer;    // indeterminate: the bar runs round
    QTimer m_stripTimer;  // determinate: the strip above the bar swings
};

}  // namespace qvl

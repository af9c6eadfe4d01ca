// RKButton: a bitmap button whose shape is cut out of its bitmap by a key colour. Used for the
// dialer keypad of the main program and, in its Today variant, for the Today item's icon.
#pragma once

#include <QColor>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace qvl {

// The program-wide display scale factor: 1 on a standard-resolution layout, 2 on a
// double-resolution one. Set by the dialer view when it first lays itself out.
int DisplayScale();
void SetDisplayScale(int scale);

// The key colour of the main program's bitmaps: pure blue.
inline const QColor kMainKeyColour{0, 0, 255};
// The key colour of the Today item's bitmaps: pure red.
inline const QColor kTodayKeyColour{255, 0, 0};

// The bitmaps of the three states: 0 normal, 1 pressed with the pointer inside, 2 pressed with
// the pointer outside (also shown after Enter).
struct RKButtonImages {
    QImage normal;
    QImage pressed;
    QImage outside;
};

enum class RKRepeat { None, HoldRepeats };
enum class RKPaint { Stretched, Unstretched };
enum class RKCreation { ShowAndFocus, LeftToParent };

// The two compiled-in variants differ in these points.
struct RKButtonVariant {
    QColor keyColour;
    RKRepeat repeat;
    RKPaint paint;
    RKCreation creation;
};
inline const RKButtonVariant kMainProgramButton{kMainKeyColour, RKRepeat::HoldRepeats,
                                                RKPaint::Stretched, RKCreation::ShowAndFocus};
inline const RKButtonVariant kTodayButton{kTodayKeyColour, RKRepeat::None, RKPaint::Unstretched,
                                          RKCreation::LeftToParent};

class RKButton : public QWidget {
    Q_OBJECT
  public:
    enum State { kNormal = 0, kPressedInside = 1, kPressedOutside = 2 };
    static constexpr int kFirstRepeatMs = 1000;
    static constexpr int kRepeatMs = 100;

    // Creates a child of parent at rect (in the parent's coordinates) with the tab-stop focus
    // policy; the main program's variant shows it and gives it the focus.
    RKButton(QWidget* parent, int id, const QRect& rect, RKButtonImages images,
             const RKButtonVariant& variant = kMainProgramButton);

    int Id() const { return m_id; }
    int State() const { return m_state; }
    bool IsTracking() const { return m_tracking; }
    const RKButtonVariant& Variant() const { return m_variant; }
    // Replaces the bitmaps (a new skin) and cuts the shape again.
    void SetImages(RKButtonImages images);

    // The window shape of a bitmap: every pixel that is not the key colour, scaled to size.
    static QRegion ShapeOf(const QImage& image, const QColor& keyColour, const QSize& size);

  signals:
    // The click notification to the parent (the handheld's WM_USER + 99 with the id).
    void Clicked(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void SetState(int state);
    void OnRepeatTimer();
    void CutShape();

    int m_id;
    int m_state = kNormal;
    bool m_tracking = false;
    bool m_inFirstInterval = false;
    RKButtonImages m_images;
    RKButtonImages m_painted;  // the images at the window's size, as painted and cut
    RKButtonVariant m_variant;
    QTimer m_repeat;
};

}  // namespace qvl

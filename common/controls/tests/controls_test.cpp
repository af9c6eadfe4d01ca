// Widget tests of the skinned button and the floating progress window, on real widgets.
#include <QDialog>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "common/controls/rkbutton.h"
#include "common/controls/rkfloatctrl.h"

using namespace qvl;

namespace {

// A 20 x 10 bitmap: grey, with key-colour 2 x 2 corners.
QImage KeyedImage(const QColor& fill, const QColor& key) {
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(fill);
    for (const QPoint corner : {QPoint(0, 0), QPoint(18, 0), QPoint(0, 8), QPoint(18, 8)}) {
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                image.setPixelColor(corner + QPoint(dx, dy), key);
            }
        }
    }
    return image;
}

RKButtonImages Images(const QColor& key = kMainKeyColour) {
    return {KeyedImage(Qt::gray, key), KeyedImage(Qt::darkGray, key), KeyedImage(Qt::gray, key)};
}

void MoveMouse(QWidget* w, QPoint pos) {
    // QTest::mouseMove does not carry the pressed button on every platform; send the event.
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

// One expiry of a control's timer, now: the tests step the timers themselves instead of
// waiting for them, so that their outcome does not depend on how busy the machine is.
void Expire(QTimer* timer) {
    QVERIFY(timer != nullptr);
    QVERIFY(timer->isActive());
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
}

// For the few checks that the real timers run: long enough for any load.
constexpr int kGenerousMs = 20000;

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { SetDisplayScale(1); }

    void pointerSequences_data();
    void pointerSequences();
    void holdRepeatsAfterOneSecondThenEveryHundredMs();
    void holdDraggedOffDoesNotRepeat();
    void todayVariantDoesNotRepeat();
    void shapeCutsKeyColour_data();
    void shapeCutsKeyColour();
    void enterClicksAndShowsOutsideState();
    void arrowKeysMoveFocus();

    void indeterminateAnimatesWithoutSetText();
    void determinateStripSwingsWithinRange();
    void cancel_data();
    void cancel();
    void cancelReachesAWindowShownFromAModalDialog();
    void setTextKeepsOrSetsPosition();
    void windowHasCutCornersAndFixedSize();
    void callsAfterCloseAreHarmless();
    void aPairOfWindowsDoesNotOverlap();
};

void ControlsTest::pointerSequences_data() {
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("stateBeforeRelease");
    QTest::newRow("tap inside") << QList<QPoint>{} << QPoint(10, 5) << 1 << 1;
    QTest::newRow("drag off, release outside")
        << QList<QPoint>{QPoint(50, 50)} << QPoint(50, 50) << 0 << 2;
    QTest::newRow("drag off and back, release inside")
        << QList<QPoint>{QPoint(50, 50), QPoint(9, 4)} << QPoint(9, 4) << 1 << 1;
    QTest::newRow("drag off just past the edge")
        << QList<QPoint>{QPoint(20, 5)} << QPoint(20, 5) << 0 << 2;
}

void ControlsTest::pointerSequences() {
    QFETCH(QList<QPoint>, moves);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);
    QFETCH(int, stateBeforeRelease);
    QWidget parent;
    parent.resize(100, 100);
    auto* button = new RKButton(&parent, 7, QRect(0, 0, 20, 10), Images());
    parent.show();
    QSignalSpy spy(button, &RKButton::Clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 5));
    QCOMPARE(button->State(), int(RKButton::kPressedInside));
    QVERIFY(button->IsTracking());
    for (const QPoint& p : moves) {
        MoveMouse(button, p);
    }
    QCOMPARE(button->State(), stateBeforeRelease);
    QTest::mouseRelease(button, Qt::LeftButton, {}, release);
    QCOMPARE(spy.count(), clicks);
    QCOMPARE(button->State(), int(RKButton::kNormal));
    QVERIFY(!button->IsTracking());
    if (clicks > 0) {
        QCOMPARE(spy.first().first().toInt(), 7);
    }
}

void ControlsTest::holdRepeatsAfterOneSecondThenEveryHundredMs() {
    QWidget parent;
    auto* button = new RKButton(&parent, 3, QRect(0, 0, 20, 10), Images());
    parent.show();
    auto* timer = button->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    QVERIFY(timer != nullptr);
    QSignalSpy spy(button, &RKButton::Clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 5));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), RKButton::kFirstRepeatMs);
    QCOMPARE(spy.count(), 0);
    // The first repeat comes after the long first period and switches the timer to the short
    // one; every later expiry is one more click.
    Expire(timer);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(timer->interval(), RKButton::kRepeatMs);
    for (int i = 0; i < 3; ++i) {
        Expire(timer);
    }
    QCOMPARE(spy.count(), 4);
    QCOMPARE(timer->interval(), RKButton::kRepeatMs);
    // The running timer itself repeats too.
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 5, kGenerousMs);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 5));
    QVERIFY(!timer->isActive());  // so no click comes after the release
}

void ControlsTest::holdDraggedOffDoesNotRepeat() {
    QWidget parent;
    auto* button = new RKButton(&parent, 3, QRect(0, 0, 20, 10), Images());
    parent.show();
    auto* timer = button->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    QSignalSpy spy(button, &RKButton::Clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 5));
    MoveMouse(button, QPoint(60, 60));
    for (int i = 0; i < 3 && timer->isActive(); ++i) {
        Expire(timer);
    }
    QCOMPARE(spy.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(spy.count(), 0);
}

void ControlsTest::todayVariantDoesNotRepeat() {
    QWidget parent;
    auto* button =
        new RKButton(&parent, 1, QRect(2, 2, 20, 10), Images(kTodayKeyColour), kTodayButton);
    QVERIFY(!button->isVisibleTo(&parent) || !button->hasFocus());
    button->show();
    parent.show();
    auto* timer = button->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    QSignalSpy spy(button, &RKButton::Clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 5));
    QVERIFY(timer == nullptr || !timer->isActive());
    QCOMPARE(spy.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 5));
    QCOMPARE(spy.count(), 1);
}

void ControlsTest::shapeCutsKeyColour_data() {
    QTest::addColumn<int>("scale");
    QTest::addColumn<QColor>("key");
    QTest::newRow("main program, scale 1") << 1 << kMainKeyColour;
    QTest::newRow("main program, scale 2") << 2 << kMainKeyColour;
    QTest::newRow("today item, red key") << 1 << kTodayKeyColour;
}

void ControlsTest::shapeCutsKeyColour() {
    QFETCH(int, scale);
    QFETCH(QColor, key);
    const QRegion shape = RKButton::ShapeOf(KeyedImage(Qt::gray, key), key, QSize(20, 10) * scale);
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(2 * scale - 1, 2 * scale - 1)));
    QVERIFY(shape.contains(QPoint(2 * scale, 0)));
    QVERIFY(!shape.contains(QPoint(20 * scale - 1, 10 * scale - 1)));
    QVERIFY(shape.contains(QPoint(10 * scale, 5 * scale)));
    // Four cut corners of scale*2 squared pixels each.
    int area = 0;
    for (const QRect& r : shape) {
        area += r.width() * r.height();
    }
    QCOMPARE(area, 200 * scale * scale - 16 * scale * scale);
    // A colour close to the key is not the key.
    QImage nearKey(4, 4, QImage::Format_RGB32);
    nearKey.fill(QColor(0, 0, 254));
    QCOMPARE(RKButton::ShapeOf(nearKey, key, QSize(4, 4)), QRegion(0, 0, 4, 4));
}

void ControlsTest::enterClicksAndShowsOutsideState() {
    QWidget parent;
    auto* button = new RKButton(&parent, 9, QRect(0, 0, 20, 10), Images());
    parent.show();
    QSignalSpy spy(button, &RKButton::Clicked);
    QTest::keyClick(button, Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(button->State(), int(RKButton::kPressedOutside));
}

void ControlsTest::arrowKeysMoveFocus() {
    QWidget parent;
    auto* first = new RKButton(&parent, 1, QRect(0, 0, 20, 10), Images());
    auto* second = new RKButton(&parent, 2, QRect(30, 0, 20, 10), Images());
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    parent.activateWindow();
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Right);
    QVERIFY(second->hasFocus());
    QTest::keyClick(second, Qt::Key_Up);
    QVERIFY(first->hasFocus());
}

void ControlsTest::indeterminateAnimatesWithoutSetText() {
    RKFloatCtrl progress;
    progress.Create(10, 20, -1, false);
    RKFloatWindow* w = progress.Window();
    QVERIFY(w != nullptr);
    QCOMPARE(w->GetMode(), RKFloatWindow::Mode::Indeterminate);
    QCOMPARE(w->Minimum(), 0);
    QCOMPARE(w->Maximum(), 100);
    QCOMPARE(w->Position(), 0);
    auto* bar = w->findChild<QTimer*>(QStringLiteral("barTimer"));
    QCOMPARE(bar->interval(), RKFloatCtrl::kTickMs);
    for (int i = 0; i < 5; ++i) {
        Expire(bar);
    }
    QCOMPARE(w->Position(), 10);
    // It wraps to 0 after passing 100.
    int ticks = 5;
    while (w->Position() >= 10 && ticks < 100) {
        Expire(bar);
        ++ticks;
    }
    QCOMPARE(w->Position(), 0);
    QCOMPARE(ticks, 51);
    // And the running timer moves it on its own.
    QTRY_VERIFY_WITH_TIMEOUT(w->Position() > 0, kGenerousMs);
}

void ControlsTest::determinateStripSwingsWithinRange() {
    RKFloatCtrl progress;
    progress.Create(0, 10, 3, true);
    RKFloatWindow* w = progress.Window();
    QCOMPARE(w->GetMode(), RKFloatWindow::Mode::Determinate);
    auto* strip = w->findChild<QTimer*>(QStringLiteral("stripTimer"));
    // Two whole swings: up to 90, down to 0 and up again, never outside.
    int highest = 0;
    int turns = 0;
    int last = w->AnimationValue();
    int direction = 1;
    for (int i = 0; i < 80; ++i) {
        Expire(strip);
        const int value = w->AnimationValue();
        QVERIFY2(value >= 0 && value <= 90, qPrintable(QString::number(value)));
        if ((value - last) * direction < 0) {
            direction = -direction;
            ++turns;
        }
        highest = std::max(highest, value);
        last = value;
    }
    QCOMPARE(highest, 90);
    QVERIFY(turns >= 2);
    QCOMPARE(w->Position(), 3);
}

void ControlsTest::cancel_data() {
    QTest::addColumn<bool>("cancellable");
    QTest::addColumn<QPoint>("tap");
    QTest::addColumn<bool>("canceled");
    QTest::newRow("cancellable, tap on Cancel") << true << QPoint(168, 83) << true;
    QTest::newRow("cancellable, tap beside Cancel") << true << QPoint(60, 40) << false;
    QTest::newRow("not cancellable, tap on Cancel") << false << QPoint(168, 83) << false;
}

void ControlsTest::cancel() {
    QFETCH(bool, cancellable);
    QFETCH(QPoint, tap);
    QFETCH(bool, canceled);
    RKFloatCtrl progress;
    progress.Create(0, 100, 0, cancellable);
    progress.SetText(u"Reading messages..", -1);
    QVERIFY(progress.Window()->CancelRect().contains(QPoint(168, 83)));
    QTest::mouseClick(progress.Window(), Qt::LeftButton, {}, tap);
    QCOMPARE(progress.IsCanceled(), canceled);
    QCOMPARE(progress.Window()->Text(),
             canceled ? QStringLiteral("Canceling..") : QStringLiteral("Reading messages.."));
}

void ControlsTest::cancelReachesAWindowShownFromAModalDialog() {
    QWidget frame;
    frame.resize(240, 320);
    frame.show();
    RKFloatCtrl progress(&frame);
    QDialog dialog(&frame);
    QWidget* owner = nullptr;
    bool canceled = false;
    QTimer::singleShot(0, &dialog, [&] {
        progress.Create(0, 100, -1, true);
        owner = progress.Window()->parentWidget();
        QTest::mouseClick(progress.Window(), Qt::LeftButton, {}, QPoint(168, 83));
        canceled = progress.IsCanceled();
        progress.Close();
        dialog.reject();
    });
    dialog.exec();
    QCOMPARE(owner, static_cast<QWidget*>(&dialog));
    QVERIFY(canceled);
}

void ControlsTest::setTextKeepsOrSetsPosition() {
    RKFloatCtrl progress;
    progress.Create(0, 50, 5, false);
    progress.SetText(u"Step", -1);
    QCOMPARE(progress.Window()->Position(), 5);
    progress.SetText(u"Step 2", 40);
    QCOMPARE(progress.Window()->Position(), 40);
    QCOMPARE(progress.Window()->Text(), QStringLiteral("Step 2"));
    // A position outside the range paints a full bar, not past it.
    progress.SetText(u"Over", 500);
    QImage shot = progress.Window()->grab().toImage();
    const QRect bar = progress.Window()->BarRect();
    QCOMPARE(shot.pixelColor(bar.right() + 3, bar.center().y()), QColor(Qt::white));
}

void ControlsTest::windowHasCutCornersAndFixedSize() {
    RKFloatCtrl progress;
    progress.Create(0, 1, 0, false);
    RKFloatWindow* w = progress.Window();
    QCOMPARE(w->size(), QSize(200, 100));
    const QRegion shape = w->mask();
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(199, 99)));
    QVERIFY(shape.contains(QPoint(3, 0)));
    QVERIFY(shape.contains(QPoint(0, 3)));
    QVERIFY(shape.contains(QPoint(196, 99)));
}

void ControlsTest::callsAfterCloseAreHarmless() {
    RKFloatCtrl progress;
    progress.Create(0, 100, -1, true);
    QTest::mouseClick(progress.Window(), Qt::LeftButton, {}, QPoint(168, 83));
    progress.Close();
    QVERIFY(progress.Window() == nullptr);
    progress.SetText(u"late", 3);
    progress.Show(true);
    QVERIFY(progress.IsCanceled());
    progress.Destroy();
    // A new Create starts with a clear flag.
    progress.Create(0, 100, 0, true);
    QVERIFY(!progress.IsCanceled());
}

void ControlsTest::aPairOfWindowsDoesNotOverlap() {
    // A read shows its step window and its bar window together: both must be seen whole.
    QWidget owner;
    owner.resize(240, 320);
    owner.show();
    RKFloatCtrl single(&owner);
    RKFloatCtrl upper(&owner, FloatPlacement::Upper);
    RKFloatCtrl lower(&owner, FloatPlacement::Lower);
    single.Create(0, 100, -1, false);
    upper.Create(0, 100, -1, false);
    lower.Create(1, 250, 1, true);
    const QRect a = upper.Window()->geometry();
    const QRect b = lower.Window()->geometry();
    QVERIFY(!a.intersects(b));
    QCOMPARE(a.x(), b.x());
    // As a pair they are centred where a single window is.
    QCOMPARE((a.top() + b.bottom()) / 2, single.Window()->geometry().center().y());
}

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"

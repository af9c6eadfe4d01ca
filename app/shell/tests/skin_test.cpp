// The default artwork: sizes, the key colour where the shape must be cut, and the first-run
// install that writes only what is missing.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "app/shell/skinart.h"
#include "common/controls/rkbutton.h"

using namespace qvl;

class SkinTest : public QObject {
    Q_OBJECT
  private slots:
    void backgroundsHaveSkinSizes();
    void buttonsAreCutAtTheCorners_data();
    void buttonsAreCutAtTheCorners();
    void layoutsStayInsideTheSkin_data();
    void layoutsStayInsideTheSkin();
    void installWritesOnlyMissingFiles();
    void installIntoUnwritableFolderFails();
    void doubleSizeFilesLoadAsPlainPixels();
    void brokenFileFallsBackToDrawnImage();
};

void SkinTest::backgroundsHaveSkinSizes() {
    QCOMPARE(DrawSkinBackground(Orientation::Portrait).size(), QSize(240, 320));
    QCOMPARE(DrawSkinBackground(Orientation::Landscape).size(), QSize(320, 240));
}

void SkinTest::buttonsAreCutAtTheCorners_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("scale");
    for (int o = 0; o < 2; ++o) {
        for (int b :
             {int(kKey1), int(kKey0), int(kCallButton), int(kHangUpButton), int(kContactButton)}) {
            for (int scale = 1; scale <= 2; ++scale) {
                QTest::addRow("%s button %d scale %d", o ? "landscape" : "portrait", b, scale)
                    << o << b << scale;
            }
        }
    }
}

void SkinTest::buttonsAreCutAtTheCorners() {
    QFETCH(int, orientation);
    QFETCH(int, button);
    QFETCH(int, scale);
    const auto o = static_cast<Orientation>(orientation);
    const QImage image = DrawButton(o, button, 0, scale);
    QCOMPARE(image.size(), LayoutFor(o).buttons[button - 1].size() * scale);
    const QRegion shape = RKButton::ShapeOf(image, kMainKeyColour, image.size());
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(image.width() - 1, 0)));
    QVERIFY(shape.contains(image.rect().center()));
    // The pressed image differs from the normal one, the dragged-off one does not.
    QVERIFY(DrawButton(o, button, 1, scale) != image);
    QCOMPARE(DrawButton(o, button, 2, scale), image);
}

void SkinTest::layoutsStayInsideTheSkin_data() {
    QTest::addColumn<int>("orientation");
    QTest::newRow("portrait") << 0;
    QTest::newRow("landscape") << 1;
}

void SkinTest::layoutsStayInsideTheSkin() {
    QFETCH(int, orientation);
    const SkinLayout& l = LayoutFor(static_cast<Orientation>(orientation));
    const QRect skin(QPoint(0, 0), l.skin);
    for (int i = 0; i < kDialerButtonCount; ++i) {
        QVERIFY2(skin.contains(l.buttons[i]), qPrintable(QString::number(i + 1)));
        for (int j = i + 1; j < kDialerButtonCount; ++j) {
            QVERIFY2(!l.buttons[i].intersects(l.buttons[j]),
                     qPrintable(QStringLiteral("%1 overlaps %2").arg(i + 1).arg(j + 1)));
        }
    }
    for (const QRect& r : l.icons) {
        QVERIFY(skin.contains(r));
    }
    QVERIFY(skin.contains(l.callList));
    for (const QRect& r : l.callListButtons) {
        QVERIFY(skin.contains(r));
        QVERIFY(!r.intersects(l.callList));
    }
}

void SkinTest::installWritesOnlyMissingFiles() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("bmp_files"));
    const int first = InstallSkinArtwork(folder);
    QVERIFY(first > 100);
    QCOMPARE(QImage(QDir(folder).filePath(QStringLiteral("dialer.bmp"))).size(), QSize(240, 320));
    QCOMPARE(QImage(QDir(folder).filePath(QStringLiteral("dialer270.bmp"))).size(),
             QSize(320, 240));
    QVERIFY(QDir(folder).entryList({QStringLiteral("*.part")}).isEmpty());
    // A user's own skin is never overwritten; a deleted file comes back.
    QFile own(QDir(folder).filePath(QStringLiteral("dialer.bmp")));
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("mine");
    own.close();
    QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("key05_1.bmp"))));
    QCOMPARE(InstallSkinArtwork(folder), 1);
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("mine"));
}

void SkinTest::installIntoUnwritableFolderFails() {
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(InstallSkinArtwork(dir.filePath(QStringLiteral("file/bmp_files"))), -1);
}

void SkinTest::doubleSizeFilesLoadAsPlainPixels() {
    QTemporaryDir dir;
    QVERIFY(InstallSkinArtwork(dir.path()) > 0);
    const QImage image = LoadButtonImage(dir.path(), Orientation::Portrait, kKey5, 0, 2);
    QCOMPARE(image.devicePixelRatio(), 1.0);
    QCOMPARE(image.size(), LayoutFor(Orientation::Portrait).buttons[kKey5 - 1].size() * 2);
    QCOMPARE(LoadStatusIcon(dir.path(), StatusIcon::Signal, 2, 2).devicePixelRatio(), 1.0);
}

void SkinTest::brokenFileFallsBackToDrawnImage() {
    QTemporaryDir dir;
    QFile broken(QDir(dir.path()).filePath(ButtonFileName(Orientation::Portrait, 3, 0, 1)));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("BM not really");
    broken.close();
    QCOMPARE(LoadButtonImage(dir.path(), Orientation::Portrait, 3, 0, 1),
             DrawButton(Orientation::Portrait, 3, 0, 1));
}

QTEST_MAIN(SkinTest)
#include "skin_test.moc"

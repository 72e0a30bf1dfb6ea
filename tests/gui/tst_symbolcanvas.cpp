// The canvas CoreGraphics draws SF Symbols into on the Mac: here a hand-made buffer plays
// CoreGraphics, writing premultiplied ARGB words in host byte order row by row, and the QImage
// must read back what was meant.

#include "ui/SymbolCanvas.h"

#include <QPixmap>
#include <QtTest>
#include <cstdint>
#include <cstring>

using namespace quorvel;

class SymbolCanvasTest : public QObject {
    Q_OBJECT
private slots:
    void layoutMatchesCoreGraphics_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("22 at 1x") << QSize(22, 22);
        QTest::newRow("22 at 2x") << QSize(44, 44);
        QTest::newRow("odd, not square") << QSize(9, 5);
    }
    void layoutMatchesCoreGraphics()
    {
        QFETCH(QSize, pixels);
        QImage canvas = SymbolCanvas::make(pixels);
        QCOMPARE(canvas.size(), pixels);
        QVERIFY(canvas.bytesPerLine() >= pixels.width() * 4);
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x)
                QCOMPARE(canvas.pixel(x, y), qRgba(0, 0, 0, 0));

        // What CoreGraphics writes for "half-transparent red" at the last pixel of the last
        // row and "opaque blue" at the top left: premultiplied, alpha in the high byte.
        const auto write = [&](int x, int y, std::uint32_t word) {
            uchar *row = canvas.bits() + std::size_t(y) * std::size_t(canvas.bytesPerLine());
            std::memcpy(row + x * 4, &word, sizeof word);
        };
        write(pixels.width() - 1, pixels.height() - 1, 0x80800000u);
        write(0, 0, 0xff0000ffu);
        // pixelColor() un-premultiplies; pixel() would hand back the premultiplied word.
        QCOMPARE(canvas.pixelColor(pixels.width() - 1, pixels.height() - 1), QColor(255, 0, 0, 0x80));
        QCOMPARE(canvas.pixelColor(0, 0), QColor(0, 0, 255));
        // A pixmap of it (what the interface draws) keeps both.
        const QImage back = QPixmap::fromImage(canvas).toImage();
        QCOMPARE(back.pixelColor(pixels.width() - 1, pixels.height() - 1), QColor(255, 0, 0, 0x80));
        QCOMPARE(back.pixelColor(0, 0), QColor(0, 0, 255));
    }

    void emptySizeGivesNoCanvas() { QVERIFY(SymbolCanvas::make(QSize(0, 22)).isNull()); }

    void fitted_data()
    {
        QTest::addColumn<QSizeF>("symbol");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("square fills") << QSizeF(16, 16) << QSize(32, 32) << QRectF(0, 0, 32, 32);
        QTest::newRow("wide, centred vertically") << QSizeF(40, 20) << QSize(32, 32) << QRectF(0, 8, 32, 16);
        QTest::newRow("tall, centred across") << QSizeF(10, 20) << QSize(44, 44) << QRectF(11, 0, 22, 44);
        QTest::newRow("larger, scaled down") << QSizeF(64, 48) << QSize(16, 16) << QRectF(0, 2, 16, 12);
        QTest::newRow("empty symbol") << QSizeF(0, 12) << QSize(32, 32) << QRectF();
        QTest::newRow("empty canvas") << QSizeF(12, 12) << QSize(0, 0) << QRectF();
    }
    void fitted()
    {
        QFETCH(QSizeF, symbol);
        QFETCH(QSize, pixels);
        QFETCH(QRectF, expected);
        QCOMPARE(SymbolCanvas::fitted(symbol, pixels), expected);
    }
};

QTEST_MAIN(SymbolCanvasTest)
#include "tst_symbolcanvas.moc"

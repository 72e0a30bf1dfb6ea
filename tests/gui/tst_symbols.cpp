// The symbols as the interface draws them off the Mac: each one draws something, the names the
// icon themes picture as something else are our own, and a mark cut out of a filled shape stays
// cut out once the symbol is tinted to the palette.

#include "app/composition/AppCoordinator.h"
#include "ui/AlertDialogs.h"
#include "ui/Symbols.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QStyle>
#include <QTest>

using namespace quorvel;

namespace {

QImage drawn(const QString &name)
{
    return Symbols::pixmap(name, 32, Qt::red).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool paints(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 200)
                return true;
    return false;
}

} // namespace

class SymbolsTest : public QObject {
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("own");
        QTest::addColumn<bool>("hollowCentre"); // the mark is cut out of the middle
        const std::tuple<const char *, bool, bool> rows[] = {
            {"laptopcomputer", true, true},
            {"infinity", true, false},
            {"exclamationmark.circle.fill", true, true},
            {"stop.circle.fill", true, true},
            {"globe", true, false},
            {"lock.shield.fill", true, true},
            {"xmark.shield.fill", true, true},
            {"checkmark.shield.fill", true, false},
            {"xmark.circle.fill", true, true},
            {"arrow.down.circle.fill", true, true},
            {"questionmark.circle", true, false},
            {"textformat.123", true, false},
            {"timer", true, false},
            {"lock.rotation", true, false},
            {"bolt.fill", true, false},
            // Where the theme's picture says the same, it stays.
            {"moon", false, false},
            {"display", false, false},
            {"exclamationmark.triangle.fill", false, false},
            {"gearshape", false, false},
            {"bell", false, false},
            {"lock.fill", false, false},
        };
        for (const auto &[name, own, hollow] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << own << hollow;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, own);
        QFETCH(bool, hollowCentre);
        QCOMPARE(!Symbols::ownSymbol(name).isEmpty(), own);
        const QImage image = drawn(name);
        QVERIFY2(paints(image), "draws nothing");
        for (int y = 0; y < image.height(); ++y) // tinted through its alpha, whatever colours the file has
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    QCOMPARE(QColor(image.pixel(x, y)), QColor(Qt::red));
        if (hollowCentre)
            QVERIFY(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) < 60);
    }

    // Every picture of our own is used by a name the table does not also claim, and draws.
    void everyOwnSymbolDraws()
    {
        const QStringList files = QDir(QStringLiteral(":/symbols")).entryList({QStringLiteral("*.svg")});
        QVERIFY(files.size() >= 7);
        for (const QString &file : files) {
            const QString name = file.chopped(4);
            QVERIFY2(Symbols::themeNames(name).isEmpty(), qPrintable(name));
            QVERIFY2(paints(drawn(name)), qPrintable(name));
        }
    }

    // The quit dialog shows the warning triangle, drawn as the dialogs draw their symbols.
    void quitAlertSymbol()
    {
        QCOMPARE(QString::fromLatin1(QuitAlert::iconName), QStringLiteral("exclamationmark.triangle.fill"));
        const auto box = AlertDialogs::make(QuitAlert{"Quit?", "Something runs.", "Quit", "Cancel"});
        const QPixmap shown = box->iconPixmap();
        QVERIFY(!shown.isNull());
        QVERIFY(paints(shown.toImage().convertToFormat(QImage::Format_ARGB32)));
        const int side = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box.get());
        const QImage expected =
            Symbols::pixmap(QString::fromLatin1(QuitAlert::iconName), side, Qt::black, box->devicePixelRatioF())
                .toImage();
        // Same shape: the same pixels are covered.
        const QImage actual = shown.toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(actual.size(), expected.size());
        int differing = 0;
        for (int y = 0; y < actual.height(); ++y)
            for (int x = 0; x < actual.width(); ++x)
                differing += (qAlpha(actual.pixel(x, y)) > 128) != (qAlpha(expected.pixel(x, y)) > 128);
        QCOMPARE(differing, 0);
    }
};

QTEST_MAIN(SymbolsTest)
#include "tst_symbols.moc"

// Every view the pictures show, in the light and the dark palette, rendered at two pixels a
// point: each visible label and button is measured against what is really painted behind it.
// The text colour is the palette role the widget paints with (style sheets included, as Qt
// folds them into the palette); a symbol's colour is the one its pixmap is drawn in. Switches
// and the chosen segment are measured as shapes against what surrounds them.

#include "ViewStates.h"

#include "ui/Contrast.h"
#include "ui/MenuSwitch.h"
#include "ui/MenuWakeModePicker.h"
#include "ui/SettingsRows.h"

#include <QAbstractButton>
#include <QHash>
#include <QLabel>
#include <QRegularExpression>
#include <QStyleFactory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The colour most pixels of `area` have.
QColor dominant(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > most)
            best = it.key(), most = it.value();
    return QColor::fromRgb(best);
}

// The colour of a symbol: its most common opaque pixel.
QColor inkOf(const QImage &symbol)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < symbol.height(); ++y)
        for (int x = 0; x < symbol.width(); ++x)
            if (qAlpha(symbol.pixel(x, y)) > 240)
                ++counts[symbol.pixel(x, y) | 0xff000000u];
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > most)
            best = it.key(), most = it.value();
    return most ? QColor::fromRgb(best) : QColor();
}

// The painted colour that differs most from `background`, among those covering a few pixels.
QColor strongest(const QImage &image, const QRect &area, const QColor &background)
{
    QHash<QRgb, int> counts;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QColor best = background;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() >= 8
            && Contrast::ratio(QColor::fromRgb(it.key()), background) > Contrast::ratio(best, background))
            best = QColor::fromRgb(it.key());
    return best;
}

struct Walk {
    QStringList failures;
    int measured = 0;

    void check(const QString &what, const QColor &ink, const QColor &background, double needed)
    {
        if (!ink.isValid())
            return;
        ++measured;
        const double ratio = Contrast::ratio(ink, background);
        if (ratio + 1e-6 < needed)
            failures << QStringLiteral("%1: %2 on %3 is %4:1, needs %5:1")
                            .arg(what, ink.name(), background.name())
                            .arg(ratio, 0, 'f', 2)
                            .arg(needed);
    }

    void view(const QString &name, QWidget *root)
    {
        if (!root) {
            failures << name + QStringLiteral(": not made");
            return;
        }
        const qreal ratio = root->devicePixelRatioF();
        const QImage shot = root->grab().toImage();
        const auto area = [&](QWidget *w) {
            const QRect logical(w->mapTo(root, QPoint(0, 0)), w->size());
            return QRect((logical.topLeft() * ratio), logical.size() * ratio);
        };
        const auto group = [](QWidget *w) { return w->isActiveWindow() ? QPalette::Active : QPalette::Inactive; };
        for (QWidget *w : root->findChildren<QWidget *>()) {
            // What cannot be used now may fade, as everywhere on the desktop.
            if (!w->isVisibleTo(root) || !w->isEnabled() || w->width() < 2 || w->height() < 2)
                continue;
            const QString what =
                QStringLiteral("%1 %2 %3").arg(name, QLatin1String(w->metaObject()->className()), w->objectName());
            const QRect rect = area(w);
            const QColor behind = dominant(shot, rect);
            const double textNeeds = QFontInfo(w->font()).pixelSize() >= 18 ? Contrast::largeText : Contrast::text;
            if (auto *label = qobject_cast<QLabel *>(w)) {
                if (!label->text().isEmpty()) {
                    check(what + QLatin1Char(' ') + label->text().left(24),
                          label->palette().color(group(label), label->foregroundRole()), behind, textNeeds);
                    // Colours written into rich text.
                    static const QRegularExpression coloured(QStringLiteral("color:\\s*(#[0-9a-fA-F]{6})"));
                    for (const auto &match : coloured.globalMatch(label->text()))
                        check(what + QStringLiteral(" span"), QColor(match.captured(1)), behind, textNeeds);
                } else if (!label->pixmap().isNull()) {
                    const QImage symbol = label->pixmap().toImage();
                    // Pictures larger than a symbol (the dialogs' icon, the app icon) count as large.
                    const bool large = symbol.width() / symbol.devicePixelRatio() > 32;
                    check(what + QStringLiteral(" symbol"), inkOf(symbol), behind,
                          large ? Contrast::largeText : Contrast::text);
                }
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                if (qobject_cast<MenuSwitch *>(w) || qobject_cast<SettingsSwitch *>(w)) {
                    // The track against the row around it.
                    const QColor row = dominant(shot, area(w->parentWidget()));
                    // Beside the knob, which sits at the end the switch points to.
                    const int x =
                        button->isChecked() ? rect.left() + rect.width() / 6 : rect.right() - rect.width() / 6;
                    const QColor track = shot.pixel(x, rect.center().y());
                    check(what + (button->isChecked() ? QStringLiteral(" on") : QStringLiteral(" off")), track, row,
                          Contrast::shape);
                    continue;
                }
                if (qobject_cast<MenuSegmentButton *>(w) && button->isChecked()) {
                    // The chosen segment against the track of the others; its label is painted
                    // in a colour of its own, read back from the pixels.
                    check(what + QStringLiteral(" chosen"), behind, dominant(shot, area(w->parentWidget())),
                          Contrast::shape);
                    check(what + QStringLiteral(" chosen label"), strongest(shot, rect, behind), behind, textNeeds);
                    continue;
                }
                if (!button->text().isEmpty())
                    check(what + QLatin1Char(' ') + button->text().left(24),
                          button->palette().color(group(button), QPalette::ButtonText), behind, textNeeds);
                if (!button->icon().isNull()) {
                    const QImage symbol = button->icon().pixmap(button->iconSize(), ratio).toImage();
                    check(what + QStringLiteral(" icon"), inkOf(symbol), behind, Contrast::text);
                }
            }
        }
    }
};

} // namespace

class ContrastTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void everyView_data()
    {
        QTest::addColumn<int>("theme");
        QTest::newRow("light") << int(Theme::light);
        QTest::newRow("dark") << int(Theme::dark);
    }
    void everyView()
    {
        QFETCH(int, theme);
        Walk result;
        LanguageController language(std::make_shared<MemoryUserDefaults>());
        ViewWalk walk;
        walk.looks = {{LanguagePreference::en, Theme(theme)}};
        walk.use = [&](LanguagePreference preference, Theme look) {
            language.setPreference(preference);
            usePalette(look);
        };
        walk.visit = [&](const QString &name, QWidget *view) { result.view(name, view); };
        walkPopovers(walk);
        walkWindows(walk);
        walkDialogs(walk);
        QVERIFY2(result.measured > 300, qPrintable(QString::number(result.measured)));
        result.failures.removeDuplicates();
        for (const QString &failure : std::as_const(result.failures))
            qInfo("%s", qPrintable(failure));
        QCOMPARE(result.failures.size(), 0);
    }
};

int main(int argc, char *argv[])
{
    // Two pixels a point: a stroke of text is whole pixels of its colour, not only its edges.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ContrastTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_contrast.moc"

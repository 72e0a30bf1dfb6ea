#include "ui/StatusImage.h"

#include "ui/Symbols.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

namespace quorvel::StatusImage {

namespace {

// The Mac's small system font size, in points: the size of the menu bar's own small texts.
constexpr int smallFontSize = 11;

// The item is redrawn every second while a countdown runs: the SVG and the theme symbol are
// rendered once per name and resolution, not once per tick. Main thread only, like all drawing.
QString cacheKey(const QString &name, qreal devicePixelRatio)
{
    return name + QLatin1Char('@') + QString::number(devicePixelRatio);
}

QImage badgeImage(const QString &symbol, qreal devicePixelRatio)
{
    static QHash<QString, QImage> cache;
    const QString key = cacheKey(symbol, devicePixelRatio);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    const QPixmap pixmap = Symbols::pixmap(symbol, badgeRect.width(), Qt::black, devicePixelRatio);
    const QImage image = pixmap.isNull() ? QImage() : pixmap.toImage();
    cache.insert(key, image);
    return image;
}

bool digitsOfEqualWidth(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero))
            return false;
    }
    return true;
}

qreal textWidth(const QString &text)
{
    return QFontMetricsF(countdownFont()).horizontalAdvance(text);
}

} // namespace

QString resourcePath(const QString &imageName)
{
    return QStringLiteral(":/icons/") + imageName + QStringLiteral(".svg");
}

QImage baseIcon(const QString &imageName, qreal devicePixelRatio)
{
    static QHash<QString, QImage> cache;
    const QString key = cacheKey(imageName, devicePixelRatio);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QImage image;
    const QString path = resourcePath(imageName);
    QSvgRenderer renderer;
    if (QFile::exists(path) && renderer.load(path)) {
        const int side = qRound(iconSide * devicePixelRatio);
        image = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
        painter.end();
        image.setDevicePixelRatio(devicePixelRatio);
    }
    cache.insert(key, image);
    return image;
}

QFont countdownFont()
{
    static const QFont font = [] {
        QFont interface = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        interface.setPixelSize(smallFontSize);
        interface.setWeight(QFont::Normal);
        // Unhinted glyphs keep the same proportions at 1x and 2x, so the width measured once
        // fits both.
        interface.setHintingPreference(QFont::PreferNoHinting);
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
        interface.setFeature(QFont::Tag("tnum"), 1);
#endif
        if (digitsOfEqualWidth(interface))
            return interface;
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPixelSize(smallFontSize);
        fixed.setWeight(QFont::Normal);
        fixed.setHintingPreference(QFont::PreferNoHinting);
        return fixed;
    }();
    return font;
}

int imageWidth(const std::optional<QString> &countdown)
{
    if (!countdown)
        return widthWithoutText;
    // Whole logical pixels, so the 2x image is exactly twice the 1x one.
    return int(std::ceil(textWidth(*countdown))) + textX + textRightMargin;
}

QImage compose(const QImage &base, const std::optional<QString> &badgeSymbol, const std::optional<QString> &countdown,
               qreal devicePixelRatio, const QColor &color)
{
    if (base.isNull() || devicePixelRatio <= 0)
        return {};
    const int width = imageWidth(countdown);
    QImage image(qRound(width * devicePixelRatio), qRound(height * devicePixelRatio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    painter.drawImage(QRectF(0, 0, iconSide, iconSide), base);
    if (badgeSymbol) {
        // The badge stands on a hole in the icon, so it reads as a badge and not as part of it.
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(clearedRect));
        painter.restore();
        const QImage symbol = badgeImage(*badgeSymbol, devicePixelRatio);
        if (!symbol.isNull())
            painter.drawImage(QRectF(badgeRect), symbol);
    }
    if (countdown) {
        const QFont font = countdownFont();
        const QFontMetricsF metrics(font);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const qreal top = (height - metrics.height()) * 0.5;
        painter.drawText(QPointF(textX, top + metrics.ascent()), *countdown);
    }
    painter.end();
    return color == QColor(Qt::black) ? image : tinted(image, color);
}

QImage compose(const QString &imageName, const std::optional<QString> &badgeSymbol,
               const std::optional<QString> &countdown, qreal devicePixelRatio, const QColor &color)
{
    if (devicePixelRatio <= 0)
        return {};
    return compose(baseIcon(imageName, devicePixelRatio), badgeSymbol, countdown, devicePixelRatio, color);
}

QImage compose(Presentation::MenuBarIcon icon, const std::optional<QString> &badgeSymbol,
               const std::optional<QString> &countdown, qreal devicePixelRatio, const QColor &color)
{
    return compose(Presentation::imageName(icon), badgeSymbol, countdown, devicePixelRatio, color);
}

QImage tinted(const QImage &image, const QColor &color)
{
    if (image.isNull())
        return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    // Logical coordinates: a rectangle of the pixel size covers the whole image at any ratio.
    painter.fillRect(QRectF(0, 0, out.width(), out.height()), color);
    painter.end();
    return out;
}

QImage squared(const QImage &image)
{
    if (image.isNull() || image.width() == image.height())
        return image;
    const int side = qMax(image.width(), image.height());
    QImage source = image;
    source.setDevicePixelRatio(1.0); // placed pixel for pixel
    QImage out(side, side, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.drawImage((side - source.width()) / 2, (side - source.height()) / 2, source);
    painter.end();
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

QImage haloed(const QImage &image, const QColor &ink, const QColor &halo)
{
    if (image.isNull())
        return image;
    QImage glyph = tinted(image, ink);
    QImage ring = tinted(image, halo);
    glyph.setDevicePixelRatio(1.0); // placed pixel for pixel
    ring.setDevicePixelRatio(1.0);
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    // One device pixel all round: enough to lift the shape off any background without
    // thickening it at small sizes.
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy)
                painter.drawImage(dx, dy, ring);
    painter.drawImage(0, 0, glyph);
    painter.end();
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

QString themeIconName(const Presentation::MenuBarImage &image, Presentation::MenuBarAttention attention)
{
    using Presentation::MenuBarIcon;
    using Presentation::MenuBarSessionMark;
    if (attention != Presentation::MenuBarAttention::none)
        return {};
    const char *variant = nullptr;
    switch (image.icon) {
    case MenuBarIcon::idle: variant = ""; break;
    case MenuBarIcon::display: variant = "-display"; break;
    case MenuBarIcon::lidMode: variant = "-lid"; break;
    case MenuBarIcon::active:
        if (image.mark == MenuBarSessionMark::timed)
            variant = "-timer";
        else if (image.mark == MenuBarSessionMark::indefinite)
            variant = "-indefinite";
        break;
    }
    if (!variant || (image.icon != MenuBarIcon::active && image.mark != MenuBarSessionMark::none))
        return {};
    return QStringLiteral("app.quorvel.Quorvel%1-symbolic").arg(QLatin1String(variant));
}

} // namespace quorvel::StatusImage

#include "ui/Symbols.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QStandardPaths>

#ifdef Q_OS_MACOS
#include "ui/mac/SystemSymbol.h"
#endif

namespace quorvel::Symbols {

QStringList themeNames(const QString &name)
{
    // The symbols the interface names, each with the freedesktop names that mean the same. The
    // names the themes draw as something else (a monitor for a laptop, repeat arrows for
    // infinity, a bare shield for a locked one) are our own pictures instead: ownSymbol().
    static const QHash<QString, QStringList> table = {
        {QStringLiteral("moon"),
         {QStringLiteral("weather-clear-night-symbolic"), QStringLiteral("weather-clear-night")}},
        {QStringLiteral("display"),
         {QStringLiteral("video-display-symbolic"), QStringLiteral("video-single-display-symbolic"),
          QStringLiteral("video-display")}},
        {QStringLiteral("info.circle.fill"),
         {QStringLiteral("help-about-symbolic"), QStringLiteral("dialog-information")}},
        {QStringLiteral("sun.max"), {QStringLiteral("display-brightness-symbolic"), QStringLiteral("video-display")}},
        {QStringLiteral("gearshape"), {QStringLiteral("emblem-system-symbolic"), QStringLiteral("preferences-system")}},
        {QStringLiteral("power"), {QStringLiteral("system-shutdown-symbolic"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("arrow.triangle.2.circlepath"),
         {QStringLiteral("view-refresh-symbolic"), QStringLiteral("view-refresh")}},
        {QStringLiteral("arrow.clockwise"), {QStringLiteral("view-refresh-symbolic"), QStringLiteral("view-refresh")}},
        {QStringLiteral("info.circle"), {QStringLiteral("help-about-symbolic"), QStringLiteral("dialog-information")}},
        {QStringLiteral("bell"),
         {QStringLiteral("preferences-system-notifications-symbolic"),
          QStringLiteral("preferences-system-notifications")}},
        {QStringLiteral("house"), {QStringLiteral("go-home-symbolic"), QStringLiteral("go-home")}},
        {QStringLiteral("shield.fill"),
         {QStringLiteral("security-medium-symbolic"), QStringLiteral("security-medium")}},
        {QStringLiteral("battery.25"),
         {QStringLiteral("battery-level-20-symbolic"), QStringLiteral("battery-caution-symbolic"),
          QStringLiteral("battery-low")}},
        {QStringLiteral("lock.fill"),
         {QStringLiteral("changes-prevent-symbolic"), QStringLiteral("system-lock-screen")}},
        {QStringLiteral("exclamationmark.triangle.fill"),
         {QStringLiteral("dialog-warning-symbolic"), QStringLiteral("dialog-warning")}},
        {QStringLiteral("chevron.right"), {QStringLiteral("go-next-symbolic"), QStringLiteral("go-next")}},
        {QStringLiteral("minus"), {QStringLiteral("list-remove-symbolic"), QStringLiteral("list-remove")}},
        {QStringLiteral("plus"), {QStringLiteral("list-add-symbolic"), QStringLiteral("list-add")}},
    };
    return table.value(name);
}

QString ownSymbol(const QString &name)
{
#ifdef Q_OS_MACOS
    Q_UNUSED(name);
    return {};
#else
    const QString path = QStringLiteral(":/symbols/%1.svg").arg(name);
    return QFile::exists(path) ? path : QString();
#endif
}

QIcon icon(const QString &name)
{
#ifdef Q_OS_MACOS
    // Both resolutions a Mac screen has; pixmap() below draws other sizes exactly.
    QIcon symbol;
    for (const int side : {32, 64}) {
        const QImage image = systemSymbolImage(name, QSize(side, side));
        if (!image.isNull())
            symbol.addPixmap(QPixmap::fromImage(image));
    }
    return symbol;
#else
    // Without a desktop's platform theme (offscreen, a bare X server) no real theme is named
    // and the system's icon folders may not be searched; the freedesktop default stands in.
    static const bool fallbackSet = [] {
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            if (!paths.contains(data + QStringLiteral("/icons")))
                paths << data + QStringLiteral("/icons");
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(fallbackSet);
    if (const QString own = ownSymbol(name); !own.isEmpty())
        return QIcon(own);
    for (const QString &themeName : themeNames(name)) {
        if (QIcon::hasThemeIcon(themeName))
            return QIcon::fromTheme(themeName);
    }
    return {};
#endif
}

QPixmap pixmap(const QString &name, int points, const QColor &color, qreal devicePixelRatio)
{
    const int side = qRound(points * devicePixelRatio);
#ifdef Q_OS_MACOS
    // Drawn at the very pixel size asked for (1x or 2x): a scaled bitmap would blur.
    QPixmap source = QPixmap::fromImage(systemSymbolImage(name, QSize(side, side)));
#else
    const QIcon found = icon(name);
    if (found.isNull())
        return {};
    QPixmap source = found.pixmap(QSize(side, side));
#endif
    if (source.isNull())
        return {};
    // Symbolic theme icons are drawn in one colour; painting the colour through their alpha
    // makes them follow the palette (the Mac tints template symbols itself).
    QPixmap tinted(source.size());
    tinted.fill(Qt::transparent);
    QPainter painter(&tinted);
    painter.drawPixmap(0, 0, source);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(tinted.rect(), color);
    painter.end();
    tinted.setDevicePixelRatio(devicePixelRatio);
    return tinted;
}

} // namespace quorvel::Symbols

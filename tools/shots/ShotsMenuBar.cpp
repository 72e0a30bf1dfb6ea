#include "Shots.h"

#include "composition/SimApp.h"
#include "gui/FakeStatusItem.h"
#include "ui/StatusBarController.h"
#include "ui/StatusImage.h"
#include "ui/TrayStatusItem.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPainter>

#include <cstdio>

namespace quorvel::shots {

namespace {

bool saved(const QString &path, const QImage &image)
{
    if (!image.isNull() && image.save(path))
        return true;
    std::fprintf(stderr, "shots: could not render %s\n", qPrintable(path));
    return false;
}

// One strip per icon, ratio and theme: the icon bare, with each badge, and with the countdown,
// pixel for pixel on a menu bar's colour.
QImage badgeStrip(const QString &icon, qreal ratio, Theme theme)
{
    const QList<std::optional<QString>> badges = {
        std::nullopt,      "timer", "infinity", "exclamationmark.triangle.fill", "exclamationmark.circle.fill",
        "stop.circle.fill"};
    const bool dark = theme == Theme::dark;
    const QColor ink = dark ? QColor(0xf2, 0xf2, 0xf2) : QColor(Qt::black);
    QList<QImage> parts;
    for (const auto &badge : badges)
        parts << StatusImage::compose(icon, badge, std::nullopt, ratio, ink);
    parts << StatusImage::compose(icon, QStringLiteral("timer"), QStringLiteral("3:05:09"), ratio, ink);
    const int gap = qRound(8 * ratio);
    QImage strip(int(parts.size()) * (qRound(70 * ratio) + gap), qRound(24 * ratio), QImage::Format_RGB32);
    strip.fill(dark ? QColor(0x2a, 0x2a, 0x2e) : QColor(0xec, 0xec, 0xec));
    QPainter painter(&strip);
    int x = 0;
    for (QImage part : parts) {
        if (part.isNull())
            return {};
        part.setDevicePixelRatio(1.0);
        painter.drawImage(x, qRound(ratio), part);
        x += part.width() + gap;
    }
    painter.end();
    return strip.copy(0, 0, x, strip.height());
}

} // namespace

int shootMenuBar(const QString &folder)
{
    int failures = 0;
    const auto themeName = [](Theme theme) { return theme == Theme::dark ? "dark" : "light"; };
    for (const char *icon : {"MenuBarIdle", "MenuBarDisplay", "MenuBarActive", "MenuBarLidMode"})
        for (const qreal ratio : {1.0, 2.0})
            for (const Theme theme : {Theme::light, Theme::dark})
                failures +=
                    !saved(QStringLiteral("%1/%2-%3x-%4.png").arg(folder, icon).arg(ratio).arg(themeName(theme)),
                           badgeStrip(QLatin1String(icon), ratio, theme));

    // The command menu of the item's secondary click.
    Session session(folder);
    session.use(LanguagePreference::en, Theme::light);
    test::SimApp sim;
    auto item = std::make_unique<test::FakeStatusItem>();
    test::FakeStatusItem *fake = item.get();
    StatusBarController controller(*sim.app, session.language(), nullptr, std::move(item), sim.defaults);
    for (const LanguagePreference language : {LanguagePreference::en, LanguagePreference::zhHans}) {
        for (const Theme theme : {Theme::light, Theme::dark}) {
            session.use(language, theme);
            fake->clickSecondary();
            QImage menu;
            if (fake->shownMenu) {
                fake->shownMenu->adjustSize();
                menu = fake->shownMenu->grab().toImage();
            }
            failures +=
                !saved(QStringLiteral("%1/menu-%2-%3.png").arg(folder, rawValue(language), themeName(theme)), menu);
        }
    }

    // The tray's icon as a light panel shows it, at one and two pixels a point.
    session.use(LanguagePreference::en, Theme::light);
    TrayStatusItem tray;
    tray.setImage(StatusImage::compose(QStringLiteral("MenuBarActive"), QStringLiteral("timer"), std::nullopt, 2.0),
                  true);
    for (const int side : {22, 44})
        failures += !saved(QStringLiteral("%1/tray-%2.png").arg(folder).arg(side),
                           tray.icon().pixmap(QSize(side, side)).toImage());
    return failures + session.failures();
}

} // namespace quorvel::shots

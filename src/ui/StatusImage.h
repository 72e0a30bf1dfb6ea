#pragma once

#include "ui/Presentation.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <optional>

// The menu-bar item's image: the 22 x 22 base icon, a small badge in its top right corner and,
// optionally, the countdown text beside it. Pure drawing, no state: the same inputs give the
// same pixels. Coordinates are logical pixels (points on the Mac); images come out at the
// requested device pixel ratio.
namespace quorvel::StatusImage {

inline constexpr int iconSide = 22;
inline constexpr int height = 22;
// Without a countdown the image is a little wider than the icon, so the badge fits whole.
inline constexpr int widthWithoutText = 24;
inline constexpr int textX = 25;
inline constexpr int textRightMargin = 2;
// The badge sits in the icon's top right corner: 9 x 9 with its bottom edge 12 up from the
// icon's bottom (in Qt's downward y: 22 - 12 - 9 = 1 from the top).
inline constexpr QRect badgeRect{15, iconSide - 12 - 9, 9, 9};
// The icon is erased in a circle one point larger than the badge on every side.
inline constexpr QRect clearedRect{14, iconSide - 12 - 9 - 1, 11, 11};

// ":/icons/MenuBarIdle.svg" and so on.
QString resourcePath(const QString &imageName);

// The named base icon, black on transparent, iconSide square at `devicePixelRatio`. Null
// when there is no such icon. Rendered once per name and ratio.
QImage baseIcon(const QString &imageName, qreal devicePixelRatio);

// The countdown's font: the interface font at the small size, with digits of equal width so
// the item does not twitch every second (a fixed-pitch font where the interface font cannot
// give them).
QFont countdownFont();
// The image width in logical pixels: 24 without text, the text's width + 25 + 2 with it.
int imageWidth(const std::optional<QString> &countdown);

// Composes the item's image from a base icon (iconSide square, at `devicePixelRatio`): the
// badge symbol over an erased circle, then the countdown, all black on transparent, then
// painted in `color`. A null base gives a null image.
QImage compose(const QImage &base, const std::optional<QString> &badgeSymbol, const std::optional<QString> &countdown,
               qreal devicePixelRatio, const QColor &color = Qt::black);
// The same from the base icon's name; null when the icon is missing.
QImage compose(const QString &imageName, const std::optional<QString> &badgeSymbol,
               const std::optional<QString> &countdown, qreal devicePixelRatio, const QColor &color = Qt::black);
QImage compose(Presentation::MenuBarIcon icon, const std::optional<QString> &badgeSymbol,
               const std::optional<QString> &countdown, qreal devicePixelRatio, const QColor &color = Qt::black);

// A template image painted in `color` (its alpha kept).
QImage tinted(const QImage &image, const QColor &color);
// The themed icon that shows the same as the composed image, for hosts that draw themed icons
// ("app.quorvel.Quorvel-symbolic", "app.quorvel.Quorvel-timer-symbolic", ...; installed into
// hicolor with the package). Empty while an attention badge is shown: those exist only as
// pixels, so a host never shows a calmer picture than the state.
QString themeIconName(const Presentation::MenuBarImage &image, Presentation::MenuBarAttention attention);

// A template image painted in `ink` over a one-pixel ring of `halo`: readable on a background
// of either colour, for hosts that do not say what they draw on.
QImage haloed(const QImage &image, const QColor &ink, const QColor &halo);
// The image centred on a transparent square as large as its longer side: tray slots are square.
QImage squared(const QImage &image);

} // namespace quorvel::StatusImage

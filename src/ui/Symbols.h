#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvel::Symbols {

// The image of a named system symbol ("moon", "exclamationmark.triangle.fill"): SF Symbols on
// the Mac, the freedesktop icon theme elsewhere (symbolic variants first). A symbol that the
// platform does not have gives a null icon, which draws nothing.
QIcon icon(const QString &name);

// The symbol at `points` (logical pixels) for `devicePixelRatio`, recoloured to `color` where
// the platform does not tint symbols itself. Null when the symbol is missing.
QPixmap pixmap(const QString &name, int points, const QColor &color, qreal devicePixelRatio = 1.0);

// Our own picture of a symbol off the Mac (a resource path), empty where the icon theme's is
// used. For tests.
QString ownSymbol(const QString &name);

// The theme names tried for a symbol, in order (empty for an unknown one). For tests.
QStringList themeNames(const QString &name);

} // namespace quorvel::Symbols

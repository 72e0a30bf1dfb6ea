#pragma once

#include <QColor>

namespace quorvel::Contrast {

// Normal text, symbols and their backgrounds must differ at least this much; large text (18 px
// and more) and the outlines of controls at least `largeText`.
inline constexpr double text = 4.5;
inline constexpr double largeText = 3.0;
inline constexpr double shape = 3.0;

// The relative luminance of an opaque colour, 0 (black) to 1 (white).
double luminance(const QColor &color);
// From 1 (the same) to 21 (black on white); the order of the two does not matter.
double ratio(const QColor &a, const QColor &b);
// `ink` itself when it already stands out from `background` by `minimum`, otherwise the
// nearest shade of it (towards black or white, whichever side has room) that does. The hue
// stays, so an orange warning stays orange; only its shade moves.
QColor readable(const QColor &ink, const QColor &background, double minimum = text);
// `ink` over `background` at `alpha` (0..1), as the eye receives it.
QColor over(const QColor &ink, qreal alpha, const QColor &background);

} // namespace quorvel::Contrast

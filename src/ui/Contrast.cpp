#include "ui/Contrast.h"

#include <cmath>

namespace quorvel::Contrast {

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor mixed(const QColor &from, const QColor &to, double t)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    // Rounded to the eight bits a channel has on screen: a shade that passes only before
    // rounding fails once painted.
    const auto channel = [t](float from, float to) { return qBound(0, qRound((from + (to - from) * t) * 255.0), 255); };
    return QColor(channel(a.redF(), b.redF()), channel(a.greenF(), b.greenF()), channel(a.blueF(), b.blueF()));
}

} // namespace

double luminance(const QColor &color)
{
    const QColor c = color.toRgb();
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

double ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readable(const QColor &ink, const QColor &background, double minimum)
{
    const QColor opaque = QColor(ink.toRgb().rgb());
    if (ratio(opaque, background) >= minimum)
        return opaque;
    // Away from the background: darker on a light one, lighter on a dark one, unless only the
    // other side can reach the contrast at all.
    const double bg = luminance(background);
    const bool darkerReaches = (bg + 0.05) / 0.05 >= minimum;
    const bool lighterReaches = 1.05 / (bg + 0.05) >= minimum;
    const bool darker = darkerReaches && (luminance(opaque) <= bg || !lighterReaches);
    const QColor end = darker ? QColor(Qt::black) : QColor(Qt::white);
    // Small steps, so the shade stays as close to the asked colour as the contrast allows.
    for (int step = 1; step <= 100; ++step) {
        const QColor candidate = mixed(opaque, end, step / 100.0);
        if (ratio(candidate, background) >= minimum)
            return candidate;
    }
    return end;
}

QColor over(const QColor &ink, qreal alpha, const QColor &background)
{
    return mixed(background, ink, alpha);
}

} // namespace quorvel::Contrast

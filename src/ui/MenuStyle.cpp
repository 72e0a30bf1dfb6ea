#include "ui/MenuStyle.h"

#include "ui/Contrast.h"
#include "ui/Symbols.h"

#include <QEvent>
#include <QFrame>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTextBoundaryFinder>
#include <QToolTip>
#include <QVBoxLayout>

namespace quorvel::MenuStyle {

using Presentation::RowTone;

QColor mix(const QColor &from, const QColor &to, qreal t)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(
        float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

namespace {

// Every colour the menu writes or draws with must read on the menu's own background.
QColor onWindow(const QColor &ink, const QPalette &palette)
{
    return Contrast::readable(ink, palette.color(QPalette::Window));
}

} // namespace

QColor accent(const QPalette &palette)
{
    return onWindow(palette.color(QPalette::Active, QPalette::Highlight), palette);
}

QColor secondary(const QPalette &palette)
{
    return onWindow(mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.6), palette);
}

// The system hues of the Mac, in their light- and dark-appearance shades.
QColor orange(const QPalette &palette)
{
    return onWindow(isDark(palette) ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xC9, 0x62, 0x00), palette);
}

QColor red(const QPalette &palette)
{
    return onWindow(isDark(palette) ? QColor(0xFF, 0x5C, 0x52) : QColor(0xD7, 0x00, 0x15), palette);
}

QColor blue(const QPalette &palette)
{
    return onWindow(isDark(palette) ? QColor(0x40, 0x9C, 0xFF) : QColor(0x00, 0x5F, 0xCC), palette);
}

QColor iconColor(RowTone tone, const QPalette &palette)
{
    switch (tone) {
    case RowTone::neutral: return secondary(palette);
    case RowTone::busy:
    case RowTone::active: return accent(palette);
    case RowTone::warning: return orange(palette);
    case RowTone::error: return red(palette);
    }
    return secondary(palette);
}

QColor subtitleColor(RowTone tone, const QPalette &palette)
{
    const QColor primary = palette.color(QPalette::WindowText);
    switch (tone) {
    case RowTone::neutral:
    case RowTone::busy: return onWindow(mix(palette.color(QPalette::Window), primary, 0.5), palette);
    case RowTone::active: return primary;
    case RowTone::warning: return orange(palette);
    case RowTone::error: return red(palette);
    }
    return primary;
}

QColor chosenFill(const QColor &track, const QPalette &palette)
{
    // The accent, in the shade nearest to it that stands out of the track as a shape and
    // carries its label (white or black, whichever reads better) as text.
    QColor fill = Contrast::readable(palette.color(QPalette::Active, QPalette::Highlight), track, Contrast::shape);
    const QColor label = chosenText(fill);
    return Contrast::readable(fill, label, Contrast::text);
}

QColor chosenText(const QColor &fill)
{
    return Contrast::ratio(fill, Qt::white) >= Contrast::ratio(fill, Qt::black) ? QColor(Qt::white) : QColor(Qt::black);
}

void setTextColor(QWidget *widget, const QColor &color)
{
    if (widget->palette().color(QPalette::WindowText) == color
        && widget->palette().color(QPalette::ButtonText) == color)
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void setPixelSize(QWidget *widget, qreal pixelSize, QFont::Weight weight)
{
    QFont font = widget->font();
    // Fractional sizes go through the point size at the screen's logical resolution.
    font.setPointSizeF(pixelSize * 72.0 / widget->logicalDpiY());
    font.setWeight(weight);
    widget->setFont(font);
}

QFrame *makeDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()), fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

QString ElidedLabel::shownText() const
{
    return elideAtParts(text(), fontMetrics(), contentsRect().width());
}

bool ElidedLabel::event(QEvent *event)
{
    // A cut text can still be read whole, unless the row gives a tip of its own.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (shownText() != text())
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
}

QString elideAtParts(const QString &text, const QFontMetrics &metrics, int width)
{
    const auto fits = [&](const QString &shown) { return metrics.horizontalAdvance(shown) <= width; };
    if (fits(text))
        return text;
    // A status is a few parts ("On battery · 64% · turns off at 20%"): a part either shows
    // whole or not at all, so "turns off at 2…" can never pass for a threshold of 2%.
    const QString separator = QStringLiteral(" · ");
    for (qsizetype at = text.lastIndexOf(separator); at > 0; at = text.lastIndexOf(separator, at - 1)) {
        const QString shown = text.left(at) + QStringLiteral("…");
        if (fits(shown))
            return shown;
    }
    // Not even the first part fits: it ends where a line could break, between words (or
    // between two Chinese characters), never inside a number.
    const qsizetype end = text.indexOf(separator);
    const QString first = end < 0 ? text : text.left(end);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, first);
    breaks.toEnd();
    while (breaks.toPreviousBoundary() > 0) {
        const QString shown = first.left(breaks.position()).trimmed() + QStringLiteral("…");
        if (fits(shown))
            return shown;
    }
    return fits(QStringLiteral("…")) ? QStringLiteral("…") : QString();
}

SymbolLabel::SymbolLabel(int points, int frame, QWidget *parent)
    : QLabel(parent)
    , m_points(points)
{
    setFixedSize(frame, frame);
    setAlignment(Qt::AlignCenter);
}

void SymbolLabel::setSymbol(const QString &name, const QColor &color)
{
    const qreal ratio = devicePixelRatioF();
    if (name == m_name && color == m_color && ratio == m_ratio)
        return;
    m_name = name;
    m_color = color;
    m_ratio = ratio;
    setPixmap(name.isEmpty() ? QPixmap() : Symbols::pixmap(name, m_points, color, ratio));
}

QVBoxLayout *titleAndSubtitle(QLabel *title, QLabel *subtitle)
{
    title->setTextFormat(Qt::PlainText);
    setPixelSize(title, titlePixelSize, QFont::Medium);
    setPixelSize(subtitle, subtitlePixelSize);
    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(1);
    texts->addWidget(title);
    texts->addWidget(subtitle);
    return texts;
}

} // namespace quorvel::MenuStyle

#include "ui/MenuStyle.h"

#include "ui/Symbols.h"

#include <QFrame>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
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

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor secondary(const QPalette &palette)
{
    return mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.6);
}

// The system hues of the Mac, in their light- and dark-appearance shades.
QColor orange(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xC9, 0x62, 0x00);
}

QColor red(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xFF, 0x5C, 0x52) : QColor(0xD7, 0x00, 0x15);
}

QColor blue(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x40, 0x9C, 0xFF) : QColor(0x00, 0x5F, 0xCC);
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
    case RowTone::busy: return mix(palette.color(QPalette::Window), primary, 0.5);
    case RowTone::active: return primary;
    case RowTone::warning: return orange(palette);
    case RowTone::error: return red(palette);
    }
    return primary;
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

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    painter.drawText(area, int(alignment()) | Qt::TextSingleLine, shown);
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

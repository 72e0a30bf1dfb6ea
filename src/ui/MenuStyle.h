#pragma once

#include "ui/Presentation.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>

class QFrame;

class QVBoxLayout;

namespace quorvel::MenuStyle {

// Sizes of the menu, in logical pixels (points on the Mac).
inline constexpr int menuWidth = 320;
inline constexpr int headingPixelSize = 18;
inline constexpr int titlePixelSize = 13;
inline constexpr qreal subtitlePixelSize = 13.5;
inline constexpr int rowIconPoints = 20;
inline constexpr int rowIconFrame = 28;

// A colour between `from` (t = 0) and `to` (t = 1): palette-relative greys that hold in light
// and dark palettes alike.
QColor mix(const QColor &from, const QColor &to, qreal t);
bool isDark(const QPalette &palette);

// The accent colour: the palette's highlight.
QColor accent(const QPalette &palette);
// Secondary text and symbols.
QColor secondary(const QPalette &palette);
// Fixed hues, each in a shade that reads on the palette's background.
QColor orange(const QPalette &palette);
QColor red(const QPalette &palette);
QColor blue(const QPalette &palette);

// The fill of a chosen segment on `track`, and the text drawn on it.
QColor chosenFill(const QColor &track, const QPalette &palette);
QColor chosenText(const QColor &fill);

QColor iconColor(Presentation::RowTone tone, const QPalette &palette);
QColor subtitleColor(Presentation::RowTone tone, const QPalette &palette);

// Sets the text colour of a label (or any widget drawing with WindowText / ButtonText) without
// pinning the rest of its palette, so the other roles still follow the application's.
void setTextColor(QWidget *widget, const QColor &color);

void setPixelSize(QWidget *widget, qreal pixelSize, QFont::Weight weight = QFont::Normal);
// A row's title over its subtitle, in the menu's sizes.
QVBoxLayout *titleAndSubtitle(QLabel *title, QLabel *subtitle);

// A thin horizontal rule between sections.
QFrame *makeDivider(QWidget *parent);

// `text` as it fits in `width` pixels: whole; else its leading " · " parts that fit, then
// "…"; else its first part up to the last word (or character, in Chinese) that fits.
QString elideAtParts(const QString &text, const QFontMetrics &metrics, int width);

// A label that keeps its whole text (text(), accessibility, the tool tip) but draws it on one
// line, cut as elideAtParts() cuts when the row is too narrow.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // What is drawn at the current width.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// A system symbol drawn in one colour, centred in a square frame. Redraws only when the
// symbol, colour, size or pixel ratio changes, so a once-a-second refresh costs nothing.
class SymbolLabel final : public QLabel {
    Q_OBJECT
public:
    SymbolLabel(int points, int frame, QWidget *parent = nullptr);
    void setSymbol(const QString &name, const QColor &color);

private:
    int m_points;
    QString m_name;
    QColor m_color;
    qreal m_ratio = 0;
};

} // namespace quorvel::MenuStyle

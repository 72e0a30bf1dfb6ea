#include "ui/SettingsRows.h"

#include "ui/Contrast.h"
#include "ui/Symbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <QWindow>

namespace quorvel {

namespace SettingsStyle {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor panelColor(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(135) : palette.color(QPalette::Base);
}

namespace {

QColor hue(Tone tone, const QPalette &palette)
{
    const bool dark = isDark(palette);
    switch (tone) {
    case Tone::primary: return palette.color(QPalette::WindowText);
    case Tone::secondary: {
        // Between the text and the background, opaque so that it also works on a grab.
        const QColor text = palette.color(QPalette::WindowText);
        const QColor window = palette.color(QPalette::Window);
        const qreal mix = 0.42;
        return QColor::fromRgbF(text.redF() + (window.redF() - text.redF()) * mix,
                                text.greenF() + (window.greenF() - text.greenF()) * mix,
                                text.blueF() + (window.blueF() - text.blueF()) * mix);
    }
    case Tone::accent: return palette.color(QPalette::Highlight);
    case Tone::blue: return dark ? QColor(10, 132, 255) : QColor(0, 110, 230);
    case Tone::green: return dark ? QColor(48, 209, 88) : QColor(30, 150, 60);
    case Tone::red: return dark ? QColor(255, 84, 74) : QColor(215, 30, 30);
    case Tone::orange: return dark ? QColor(255, 159, 10) : QColor(200, 110, 0);
    }
    return palette.color(QPalette::WindowText);
}

} // namespace

QColor color(Tone tone, const QPalette &palette)
{
    // Texts and symbols sit on the window and on the raised panels alike: the shade of the
    // hue that reads on both.
    const QColor ink = Contrast::readable(hue(tone, palette), palette.color(QPalette::Window));
    return Contrast::readable(ink, panelColor(palette));
}

QFont captionFont(const QFont &base)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.88);
    else if (font.pixelSize() > 0)
        font.setPixelSize(qMax(9, qRound(font.pixelSize() * 0.88)));
    return font;
}

QFont sectionTitleFont(const QFont &base)
{
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

QIcon symbolIcon(const QString &name, int points, const QColor &color, const QWidget *widget)
{
    if (name.isEmpty())
        return {};
    const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = Symbols::pixmap(name, points, color, ratio);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

void setTone(QWidget *widget, Tone tone)
{
    QPalette palette = widget->palette();
    // Derived from the inherited palette, not from the last colour set here.
    const QPalette inherited = widget->parentWidget() ? widget->parentWidget()->palette() : QPalette();
    const QColor c = color(tone, inherited);
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::ButtonText, c);
    palette.setColor(QPalette::Text, c);
    widget->setPalette(palette);
}

void makeProminent(QAbstractButton *button, Padding padding)
{
    const QPalette palette = button->palette();
    // Painted from a style sheet, not the palette: the style would tint and lighten a
    // palette-coloured face (more so for a default button) until its label no longer reads.
    // The accent moves only as far towards black as its label needs, with a little room for
    // the darker hover and pressed shades.
    const QColor label = palette.color(QPalette::HighlightedText);
    const QColor face = Contrast::readable(palette.color(QPalette::Highlight), label, Contrast::text + 0.3);
    const QColor window = palette.color(QPalette::Window);
    const QString sheet =
        QStringLiteral("QPushButton { color: %1; background-color: %2; border: 1px solid %3; border-radius: 5px;"
                       " padding: %8; }"
                       " QPushButton:hover { background-color: %3; }"
                       " QPushButton:pressed { background-color: %4; }"
                       " QPushButton:focus { border-color: %5; }"
                       " QPushButton:disabled { color: %6; background-color: %7; border-color: %7; }")
            .arg(label.name(), face.name(), face.darker(112).name(), face.darker(125).name(),
                 Contrast::readable(face, window, Contrast::shape).name(), Contrast::over(label, 0.6, face).name(),
                 Contrast::over(face, 0.45, window).name(),
                 padding == Padding::compact ? QStringLiteral("1px 7px") : QStringLiteral("3px 12px"));
    if (button->styleSheet() != sheet)
        button->setStyleSheet(sheet);
}

void makePlain(QAbstractButton *button)
{
    if (!button->styleSheet().isEmpty())
        button->setStyleSheet(QString());
    button->setPalette(QPalette());
}

} // namespace SettingsStyle

using SettingsStyle::Tone;

SettingsRowIcon::SettingsRowIcon(QString systemImage, int frame, QWidget *parent)
    : QLabel(parent)
    , m_symbol(std::move(systemImage))
    , m_frame(frame)
{
    setFixedSize(frame, frame);
    setAlignment(Qt::AlignCenter);
    redraw();
}

void SettingsRowIcon::setSymbol(const QString &systemImage, Tone tone)
{
    if (systemImage == m_symbol && tone == m_tone)
        return;
    m_symbol = systemImage;
    m_tone = tone;
    setProperty("symbol", m_symbol);
    redraw();
}

void SettingsRowIcon::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        redraw();
}

void SettingsRowIcon::redraw()
{
    setProperty("symbol", m_symbol);
    const int points = qRound(m_frame * 0.8);
    const QPixmap pixmap =
        m_symbol.isEmpty()
            ? QPixmap()
            : Symbols::pixmap(m_symbol, points, SettingsStyle::color(m_tone, palette()), devicePixelRatioF());
    setPixmap(pixmap);
}

SettingsSwitch::SettingsSwitch(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SettingsSwitch::sizeHint() const
{
    return {38, 22};
}

void SettingsSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 2, -1, -2);
    const qreal radius = track.height() / 2;
    const bool dark = SettingsStyle::isDark(palette());
    // Off or on, the track must stand out of the panel as a shape.
    const QColor panel = SettingsStyle::panelColor(palette());
    QColor fill = Contrast::readable(isChecked() ? palette().color(QPalette::Highlight)
                                                 : (dark ? QColor(0x5a, 0x5a, 0x5e) : QColor(0xc8, 0xc8, 0xc8)),
                                     panel, Contrast::shape);
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);

    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    QColor knobColor = dark ? QColor(230, 230, 230) : QColor(255, 255, 255);
    if (!isEnabled())
        knobColor.setAlphaF(0.7);
    painter.setBrush(knobColor);
    painter.setPen(QPen(QColor(0, 0, 0, dark ? 90 : 45), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));

    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.5);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ring, 2));
        painter.drawRoundedRect(track.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
    }
}

LabeledRow::LabeledRow(const char *titleKey, const char *captionKey, const QString &systemImage, QWidget *parent)
    : QWidget(parent)
    , m_titleKey(titleKey)
    , m_captionKey(captionKey)
    , m_icon(new SettingsRowIcon(systemImage))
    , m_title(new QLabel)
    , m_caption(new QLabel)
    , m_text(new QVBoxLayout)
    , m_trailing(new QHBoxLayout)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(10);
    row->addWidget(m_icon, 0, Qt::AlignTop);

    m_title->setWordWrap(true);
    m_caption->setWordWrap(true);
    m_caption->setFont(SettingsStyle::captionFont(font()));
    m_text->setSpacing(2);
    m_text->setContentsMargins(0, 1, 0, 0);
    m_text->addWidget(m_title);
    m_text->addWidget(m_caption);
    row->addLayout(m_text, 1);

    m_trailing->setSpacing(6);
    row->addLayout(m_trailing);
    row->setAlignment(m_trailing, Qt::AlignTop);
    retranslate();
}

void LabeledRow::addTrailing(QWidget *widget)
{
    m_trailing->addWidget(widget, 0, Qt::AlignVCenter);
}

void LabeledRow::addBelow(QWidget *widget, Qt::Alignment alignment)
{
    m_text->addWidget(widget, 0, alignment);
}

void LabeledRow::setCaption(const QString &text)
{
    m_caption->setText(text);
    m_caption->setVisible(!text.isEmpty());
}

void LabeledRow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::PaletteChange)
        SettingsStyle::setTone(m_caption, Tone::secondary);
}

void LabeledRow::retranslate()
{
    m_title->setText(qtTrId(m_titleKey));
    if (m_captionKey)
        setCaption(qtTrId(m_captionKey));
    else
        m_caption->setVisible(!m_caption->text().isEmpty());
    SettingsStyle::setTone(m_caption, Tone::secondary);
}

namespace {

// The raised panel behind a group's rows.
class SettingsPanel final : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool dark = SettingsStyle::isDark(palette());
        painter.setBrush(SettingsStyle::panelColor(palette()));
        painter.setPen(QPen(dark ? QColor(255, 255, 255, 28) : QColor(0, 0, 0, 30), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

// The hairline between two rows, indented to the titles.
class Hairline final : public QWidget {
public:
    Hairline() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const bool dark = SettingsStyle::isDark(palette());
        painter.fillRect(rect().adjusted(42, 0, -12, 0), dark ? QColor(255, 255, 255, 26) : QColor(0, 0, 0, 26));
    }
};

} // namespace

SettingsSection::SettingsSection(const char *titleKey, QWidget *parent)
    : QWidget(parent)
    , m_titleKey(titleKey)
    , m_title(new QLabel)
    , m_panel(new SettingsPanel)
    , m_rows(new QVBoxLayout(m_panel))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    m_title->setFont(SettingsStyle::sectionTitleFont(font()));
    m_title->setContentsMargins(4, 0, 0, 0);
    column->addWidget(m_title);
    m_rows->setContentsMargins(0, 2, 0, 2);
    m_rows->setSpacing(0);
    column->addWidget(m_panel);
    m_title->setText(qtTrId(m_titleKey));
}

void SettingsSection::addRow(QWidget *row)
{
    if (m_rows->count() > 0)
        m_rows->addWidget(new Hairline);
    m_rows->addWidget(row);
}

void SettingsSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_title->setText(qtTrId(m_titleKey));
}

} // namespace quorvel

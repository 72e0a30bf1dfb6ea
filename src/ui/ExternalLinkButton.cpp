#include "ui/ExternalLinkButton.h"

#include "ui/SettingsRows.h"

#include <QDesktopServices>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace quorvel {

namespace {
constexpr int symbolPoints = 15;
constexpr int symbolGap = 4;
} // namespace

ExternalLinkButton::ExternalLinkButton(const char *title, QString systemImage, QUrl url, QWidget *parent)
    : QAbstractButton(parent)
    , m_title(title)
    , m_systemImage(std::move(systemImage))
    , m_url(std::move(url))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setIconSize(QSize(symbolPoints, symbolPoints));
    // Without an address it is a link inside the app: whoever listens to clicked() acts.
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (!m_url.isEmpty())
            QDesktopServices::openUrl(m_url);
    });
    retranslate();
    restyle();
}

QSize ExternalLinkButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    int width = metrics.horizontalAdvance(text());
    // Links with and without a symbol stand on one line when laid side by side.
    const int height = qMax(metrics.height(), iconSize().height());
    if (!icon().isNull())
        width += iconSize().width() + symbolGap;
    return {width + 2, height + 4};
}

void ExternalLinkButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        restyle();
}

void ExternalLinkButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    update();
}

void ExternalLinkButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    update();
}

void ExternalLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor link = palette().color(QPalette::ButtonText);
    if (isDown())
        link = link.darker(130);
    int x = 1;
    if (!icon().isNull()) {
        const QRect place(x, (height() - iconSize().height()) / 2, iconSize().width(), iconSize().height());
        icon().paint(&painter, place);
        x += iconSize().width() + symbolGap;
    }
    QFont font = this->font();
    font.setUnderline(underMouse());
    painter.setFont(font);
    painter.setPen(link);
    painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ExternalLinkButton::retranslate()
{
    setText(qtTrId(m_title));
    setAccessibleName(text());
    setAccessibleDescription(m_url.toString());
    setToolTip(m_url.toString());
    updateGeometry();
}

void ExternalLinkButton::restyle()
{
    // Kept in the palette, so that what paints the text and what checks it read one colour.
    const QColor link = SettingsStyle::color(SettingsStyle::Tone::accent, palette());
    SettingsStyle::setTone(this, SettingsStyle::Tone::accent);
    setIcon(SettingsStyle::symbolIcon(m_systemImage, symbolPoints, link, this));
    update();
}

} // namespace quorvel

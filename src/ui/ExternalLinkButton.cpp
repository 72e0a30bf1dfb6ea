#include "ui/ExternalLinkButton.h"

#include "ui/SettingsRows.h"

#include <QDesktopServices>
#include <QEvent>

namespace quorvel {

ExternalLinkButton::ExternalLinkButton(const char *title, QString systemImage, QUrl url, QWidget *parent)
    : QToolButton(parent)
    , m_title(title)
    , m_systemImage(std::move(systemImage))
    , m_url(std::move(url))
{
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setToolButtonStyle(m_systemImage.isEmpty() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(15, 15));
    connect(this, &QToolButton::clicked, this, [this] { QDesktopServices::openUrl(m_url); });
    retranslate();
    restyle();
}

void ExternalLinkButton::changeEvent(QEvent *event)
{
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::PaletteChange && !m_restyling)
        restyle();
}

void ExternalLinkButton::enterEvent(QEnterEvent *event)
{
    QToolButton::enterEvent(event);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
}

void ExternalLinkButton::leaveEvent(QEvent *event)
{
    QToolButton::leaveEvent(event);
    QFont plain = font();
    plain.setUnderline(false);
    setFont(plain);
}

void ExternalLinkButton::retranslate()
{
    setText(qtTrId(m_title));
    setAccessibleName(text());
    setAccessibleDescription(m_url.toString());
    setToolTip(m_url.toString());
}

void ExternalLinkButton::restyle()
{
    // Setting our own palette sends another PaletteChange; it must not loop.
    m_restyling = true;
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QPalette();
    const QColor link = SettingsStyle::color(SettingsStyle::Tone::accent, inherited);
    QPalette own = palette();
    own.setColor(QPalette::ButtonText, link);
    own.setColor(QPalette::WindowText, link);
    setPalette(own);
    setIcon(SettingsStyle::symbolIcon(m_systemImage, iconSize().height(), link, this));
    m_restyling = false;
}

} // namespace quorvel

#include "ui/TrayStatusItem.h"

#include "records/DiagnosticLog.h"
#include "ui/StatusImage.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <cstdio>

namespace quorvel {

TrayStatusItem::TrayStatusItem(QObject *parent)
    : StatusItem(parent)
    , m_hosted(QSystemTrayIcon::isSystemTrayAvailable())
{
    if (!m_hosted) {
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("system tray unavailable, menu opens as a window"));
        std::fputs("quorvel: this desktop has no system tray for the status item; the menu opens as a window "
                   "instead\n",
                   stderr);
    }
    connect(&m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A double click arrives after the click that already toggled the menu.
        if (reason == QSystemTrayIcon::Trigger)
            emit primaryClicked();
        else if (reason == QSystemTrayIcon::Context)
            emit secondaryClicked();
    });
    // The icon follows the palette when the desktop switches between light and dark.
    qApp->installEventFilter(this);
}

TrayStatusItem::~TrayStatusItem()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QString TrayStatusItem::backend() const
{
    return m_hosted ? QStringLiteral("tray") : QStringLiteral("window");
}

qreal TrayStatusItem::devicePixelRatio() const
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

void TrayStatusItem::setImage(const QImage &image, bool isTemplate)
{
    m_image = image;
    m_isTemplate = isTemplate;
    applyImage();
}

void TrayStatusItem::applyImage()
{
    if (m_image.isNull()) {
        m_tray.setIcon(QIcon());
        return;
    }
    const QImage coloured =
        m_isTemplate ? StatusImage::tinted(m_image, QGuiApplication::palette().color(QPalette::WindowText)) : m_image;
    m_tray.setIcon(QIcon(QPixmap::fromImage(StatusImage::squared(coloured))));
    // Shown once there is something to show; a tray that starts later still picks it up.
    if (!m_tray.isVisible())
        m_tray.show();
}

void TrayStatusItem::setToolTip(const QString &text)
{
    m_tray.setToolTip(text);
}

QRect TrayStatusItem::anchor() const
{
    const QRect geometry = m_tray.geometry();
    // Trays that speak over D-Bus do not say where the icon is; the pointer that just clicked
    // it is the best guess.
    return geometry.isValid() ? geometry : QRect(QCursor::pos(), QSize(1, 1));
}

bool TrayStatusItem::contains(const QPoint &point) const
{
    const QRect geometry = m_tray.geometry();
    return geometry.isValid() && geometry.contains(point);
}

void TrayStatusItem::popUpMenu(QMenu *menu)
{
    if (!menu)
        return;
    const QRect at = anchor();
    // QMenu keeps itself on the screen, so a tray at the bottom of the screen gets the menu
    // above the icon.
    menu->popup(at.width() > 1 ? at.bottomLeft() + QPoint(0, 1) : at.topLeft());
}

bool TrayStatusItem::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        applyImage();
    return StatusItem::eventFilter(watched, event);
}

} // namespace quorvel

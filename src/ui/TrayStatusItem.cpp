#include "ui/TrayStatusItem.h"

#include "records/DiagnosticLog.h"
#include "ui/StatusImage.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIconEngine>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace quorvel {

namespace {

// Light ink over a dark ring when the panel cannot be seen: most panels are dark, and the
// ring keeps it readable on the light ones.
const QColor lightInk(0xf2, 0xf2, 0xf2);
const QColor darkInk(0x1e, 0x1e, 0x1e);
const QColor ring(0x1e, 0x1e, 0x1e, 0xc0);

// Our pixels under a themed name: hosts that look the name up in the icon theme draw (and
// recolour) the installed symbolic icon, hosts that take pixels get these.
class TrayIconEngine final : public QIconEngine {
public:
    TrayIconEngine(QPixmap pixmap, QString name)
        : m_pixmap(std::move(pixmap))
        , m_name(std::move(name))
    {
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize size = m_pixmap.deviceIndependentSize().toSize().scaled(rect.size(), Qt::KeepAspectRatio);
        painter->drawPixmap(QRect(rect.center() - QPoint(size.width() / 2, size.height() / 2), size), m_pixmap);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        if (m_pixmap.size() == size)
            return m_pixmap;
        return m_pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {m_pixmap.size()}; }
    QString iconName() override { return m_name; }
    QIconEngine *clone() const override { return new TrayIconEngine(m_pixmap, m_name); }
    bool isNull() override { return m_pixmap.isNull(); }

private:
    QPixmap m_pixmap;
    QString m_name;
};

} // namespace

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
    QImage coloured = m_image;
    if (m_isTemplate) {
        if (const std::optional<QColor> panel = panelColor())
            coloured = StatusImage::tinted(m_image, panel->lightness() < 128 ? lightInk : darkInk);
        else
            coloured = StatusImage::haloed(m_image, lightInk, ring);
    }
    // A name the icon theme does not know would leave a name-first host with nothing to draw.
    const QString name = !m_themeName.isEmpty() && QIcon::hasThemeIcon(m_themeName) ? m_themeName : QString();
    m_tray.setIcon(QIcon(new TrayIconEngine(QPixmap::fromImage(StatusImage::squared(coloured)), name)));
    // Shown once there is something to show; a tray that starts later still picks it up.
    if (!m_tray.isVisible()) {
        m_tray.show();
    }
    // The panel can be seen only once the slot is on screen: look once more, a moment later.
    if (!m_lookedAtPanel && m_hosted) {
        m_lookedAtPanel = true;
        QTimer::singleShot(300, this, &TrayStatusItem::applyImage);
    }
}

std::optional<QColor> TrayStatusItem::panelColor() const
{
    // Only an X11 tray says where our slot is and paints its background behind it; a host that
    // speaks over D-Bus draws our pixels on a panel we cannot see.
    const QRect slot = m_tray.geometry();
    if (!slot.isValid() || !QGuiApplication::platformName().startsWith(QLatin1String("xcb")))
        return std::nullopt;
    QScreen *screen = QGuiApplication::screenAt(slot.center());
    if (!screen)
        return std::nullopt;
    const QPoint at = slot.topLeft() - screen->geometry().topLeft();
    // The slot's corner: our image is centred and leaves it alone.
    const QImage corner = screen->grabWindow(0, at.x(), at.y(), 1, 1).toImage();
    if (corner.isNull())
        return std::nullopt;
    return QColor(corner.pixel(0, 0));
}

bool TrayStatusItem::canPlaceWindows() const
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void TrayStatusItem::setItemMenu(QMenu *menu)
{
    m_tray.setContextMenu(menu);
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

#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <memory>

class QMenu;

namespace quorvel {

// The one permanent piece of interface the platform hosts for us: the item in the Mac's menu
// bar, or an icon in a desktop's system tray. The status bar controller decides what it
// shows; an implementation only hands that to the platform and reports the clicks.
class StatusItem : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~StatusItem() override = default;

    // "menubar", "tray", or "window" when nothing can host the item (no tray on this desktop).
    virtual QString backend() const = 0;
    // False when the item has no host and can never be clicked: the menu then needs a window.
    virtual bool isHosted() const = 0;
    // True when the item is as wide as its image (the menu bar), so the countdown can sit
    // beside the icon; a tray slot is square and has no room for it.
    virtual bool hasVariableWidth() const = 0;
    // The resolution images are composed at for this item.
    virtual qreal devicePixelRatio() const = 0;

    // A template image is black on transparent: only its shape counts, and the platform (or
    // the item itself, where the platform does not) colours it to suit the bar. A null image
    // leaves the item without one.
    virtual void setImage(const QImage &image, bool isTemplate) = 0;
    virtual void setToolTip(const QString &text) = 0;
    // The same picture as a name in the desktop's icon theme, for hosts that draw (and
    // recolour) themed icons themselves; empty when no themed icon matches. Called before
    // setImage(). Hosts that take only pixels ignore it.
    virtual void setThemeIconName(const QString &name) { Q_UNUSED(name); }
    // False where no window of ours can be placed next to the item (Wayland): the item's own
    // menu then holds every mode, given through setItemMenu(), and a click opens that instead
    // of the popover.
    virtual bool canPlaceWindows() const { return true; }
    virtual void setItemMenu(QMenu *menu) { Q_UNUSED(menu); }
    // Where the item is, in screen coordinates (Qt's: origin top left); the popover hangs
    // from it. Never empty once the item is on screen; a best guess otherwise.
    virtual QRect anchor() const = 0;
    // Whether `point` (screen coordinates) lies on the item; false when its place is unknown.
    virtual bool contains(const QPoint &point) const = 0;
    // Shows `menu` under the item. The item does not take the menu: the caller keeps it alive
    // until after it has closed.
    virtual void popUpMenu(QMenu *menu) = 0;

signals:
    void primaryClicked();
    void secondaryClicked();
};

// The platform's own item: the menu-bar item on the Mac, the system tray elsewhere.
std::unique_ptr<StatusItem> makeStatusItem();

} // namespace quorvel

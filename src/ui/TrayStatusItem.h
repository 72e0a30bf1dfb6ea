#pragma once

#include "ui/StatusItem.h"

#include <QColor>
#include <QSystemTrayIcon>
#include <optional>

namespace quorvel {

// The status item as an icon in a desktop's system tray (not used on the Mac). A tray slot is
// square, so the image is centred on a square and the countdown goes into the tool tip. Trays
// do not tint pixels, and the window palette says nothing about the panel's colour: a template
// image is painted to stand out from the panel where we can see it (an X11 tray paints it
// behind our slot), and otherwise light over a dark ring, readable on either. Hosts that draw
// themed icons (StatusNotifierItem) also get the themed name and recolour it themselves.
// Without a tray on the desktop the item says so, reports backend "window", and stays ready
// to appear should a tray start later.
class TrayStatusItem final : public StatusItem {
    Q_OBJECT
public:
    explicit TrayStatusItem(QObject *parent = nullptr);
    ~TrayStatusItem() override;

    QString backend() const override;
    bool isHosted() const override { return m_hosted; }
    bool hasVariableWidth() const override { return false; }
    qreal devicePixelRatio() const override;
    void setImage(const QImage &image, bool isTemplate) override;
    void setToolTip(const QString &text) override;
    void setThemeIconName(const QString &name) override { m_themeName = name; }
    bool canPlaceWindows() const override;
    void setItemMenu(QMenu *menu) override;
    QRect anchor() const override;
    bool contains(const QPoint &point) const override;
    void popUpMenu(QMenu *menu) override;

    // The icon as the tray gets it.
    QIcon icon() const { return m_tray.icon(); }
    // The panel's colour behind the slot, where it can be seen.
    std::optional<QColor> panelColor() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyImage();

    QSystemTrayIcon m_tray;
    bool m_hosted = false;
    QImage m_image;
    bool m_isTemplate = true;
    QString m_themeName;
    bool m_lookedAtPanel = false;
};

} // namespace quorvel

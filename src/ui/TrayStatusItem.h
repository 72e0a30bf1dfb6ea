#pragma once

#include "ui/StatusItem.h"

#include <QSystemTrayIcon>

namespace quorvel {

// The status item as an icon in a desktop's system tray (not used on the Mac). A tray slot is
// square, so the image is centred on a square and the countdown goes into the tool tip; a
// template image is painted in the palette's text colour, since trays do not tint icons.
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
    QRect anchor() const override;
    bool contains(const QPoint &point) const override;
    void popUpMenu(QMenu *menu) override;

    // The icon as the tray gets it.
    QIcon icon() const { return m_tray.icon(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyImage();

    QSystemTrayIcon m_tray;
    bool m_hosted = false;
    QImage m_image;
    bool m_isTemplate = true;
};

} // namespace quorvel

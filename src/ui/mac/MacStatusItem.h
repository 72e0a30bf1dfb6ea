#pragma once

#include "ui/StatusItem.h"

#include <memory>

namespace quorvel {

// The status item in the Mac's menu bar: an NSStatusItem of variable length whose button shows
// the composed image as a template (AppKit tints it for light and dark bars) and reports left
// and right mouse-up as the two clicks.
class MacStatusItem final : public StatusItem {
    Q_OBJECT
public:
    explicit MacStatusItem(QObject *parent = nullptr);
    ~MacStatusItem() override;

    QString backend() const override { return QStringLiteral("menubar"); }
    bool isHosted() const override { return true; }
    bool hasVariableWidth() const override { return true; }
    // Composed at 2x; AppKit scales down for a 1x screen.
    qreal devicePixelRatio() const override { return 2.0; }
    void setImage(const QImage &image, bool isTemplate) override;
    void setToolTip(const QString &text) override;
    QRect anchor() const override;
    bool contains(const QPoint &point) const override;
    void popUpMenu(QMenu *menu) override;

private:
    struct Native;
    std::unique_ptr<Native> d;
};

} // namespace quorvel

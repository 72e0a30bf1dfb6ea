#pragma once

// A status item without a platform behind it: remembers what it was given and lets a test click.

#include "ui/StatusItem.h"

#include <QMenu>
#include <QPointer>

namespace quorvel::test {

class FakeStatusItem final : public StatusItem {
public:
    bool variableWidth = true;
    qreal ratio = 1.0;
    QRect anchorRect{1200, 0, 24, 22};

    QImage image;
    bool imageIsTemplate = false;
    QString toolTip;
    int imageUpdates = 0;
    int toolTipUpdates = 0;
    QPointer<QMenu> shownMenu;

    QString backend() const override { return QStringLiteral("tray"); }
    bool isHosted() const override { return true; }
    bool hasVariableWidth() const override { return variableWidth; }
    qreal devicePixelRatio() const override { return ratio; }
    void setImage(const QImage &value, bool isTemplate) override
    {
        image = value;
        imageIsTemplate = isTemplate;
        ++imageUpdates;
    }
    void setToolTip(const QString &text) override
    {
        toolTip = text;
        ++toolTipUpdates;
    }
    QRect anchor() const override { return anchorRect; }
    bool contains(const QPoint &point) const override { return anchorRect.contains(point); }
    void popUpMenu(QMenu *menu) override { shownMenu = menu; }

    void clickPrimary() { emit primaryClicked(); }
    void clickSecondary() { emit secondaryClicked(); }
};

} // namespace quorvel::test

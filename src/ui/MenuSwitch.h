#pragma once

#include <QAbstractButton>

namespace quorvel {

// A switch-style toggle. It shows the state it is given and never flips itself: a click asks
// for the other state (toggleRequested), and the row redraws it from the state that follows,
// so a refused request leaves the switch where it was.
class MenuSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit MenuSwitch(QWidget *parent = nullptr);

    QSize sizeHint() const override;

signals:
    void toggleRequested(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override {}
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_hovering = false;
};

} // namespace quorvel

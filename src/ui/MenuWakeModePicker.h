#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <array>

class QButtonGroup;

namespace quorvel {

// The picker's three choices, in the order they are shown.
enum class IdleWakeMode { off, timed, indefinite };

// One segment of the picker; the picker draws the track behind all three.
class MenuSegmentButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit MenuSegmentButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_hovering = false;
};

// A segmented control of three equally wide segments: off, timed, indefinite. It shows the
// mode it is given; choosing a segment reports the choice and leaves the display to the next
// setCurrentMode().
class MenuWakeModePicker final : public QWidget {
    Q_OBJECT
public:
    explicit MenuWakeModePicker(QWidget *parent = nullptr);

    void setCurrentMode(IdleWakeMode mode);
    IdleWakeMode currentMode() const { return m_mode; }
    MenuSegmentButton *segment(IdleWakeMode mode) const { return m_segments[size_t(mode)]; }

signals:
    void selected(quorvel::IdleWakeMode mode);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    std::array<MenuSegmentButton *, 3> m_segments{};
    QButtonGroup *m_group;
    IdleWakeMode m_mode = IdleWakeMode::off;
};

} // namespace quorvel

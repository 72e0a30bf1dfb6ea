#pragma once

#include "state/VemoState.h"
#include "ui/MenuWakeModePicker.h"

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace quorvel {

class AppStateStore;
class MenuSettingToggleRow;
namespace MenuStyle {
class ElidedLabel;
class SymbolLabel;
} // namespace MenuStyle

// Minus, the remaining time, plus: the adjustment of a running timed session in half-hour steps.
class MenuTimerPanel final : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 step = 1800;
    static constexpr qint64 minimumSeconds = 1800;
    static constexpr qint64 maximumSeconds = 28800;

    explicit MenuTimerPanel(QWidget *parent = nullptr);
    void setRemainingSeconds(qint64 seconds);

    QPushButton *minusButton() const { return m_minus; }
    QPushButton *plusButton() const { return m_plus; }

signals:
    void adjust(qint64 seconds);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QPushButton *m_minus;
    QPushButton *m_plus;
    QLabel *m_caption;
    QLabel *m_time;
    qint64 m_remaining = 0;
};

// The idle-sleep row: its header, the mode picker, the time panel of a running timed session
// and the keep-display-on row. Redraws from the store at every change; the only state of its
// own is the mode the user just picked, shown until the session settles.
class MenuIdleWakeRow final : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(IdleWakeMode)> selectMode;
        std::function<void(qint64)> adjustRemaining;
        std::function<void(bool)> setDisplay;
    };

    MenuIdleWakeRow(AppStateStore &store, Actions actions, QWidget *parent = nullptr);

    // The time panel fades in when the window is on screen; off for previews and pictures.
    void setAnimated(bool animated) { m_animated = animated; }

    MenuWakeModePicker *picker() const { return m_picker; }
    MenuTimerPanel *timerPanel() const { return m_panel; }
    MenuSettingToggleRow *displayRow() const { return m_displayRow; }
    std::optional<IdleWakeMode> requestedMode() const { return m_requestedMode; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void choose(IdleWakeMode mode);
    void showPanel(bool shown);

    AppStateStore &m_store;
    Actions m_actions;
    bool m_animated = true;
    // View-local: the mode just picked, cleared when the session settles into a new state.
    std::optional<IdleWakeMode> m_requestedMode;
    // Only to notice that the session changed since the last redraw.
    std::optional<TimedSessionState> m_seenSession;

    MenuStyle::SymbolLabel *m_icon;
    QLabel *m_title;
    MenuStyle::ElidedLabel *m_subtitle;
    MenuWakeModePicker *m_picker;
    MenuTimerPanel *m_panel;
    MenuSettingToggleRow *m_displayRow;
};

} // namespace quorvel

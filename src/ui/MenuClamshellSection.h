#pragma once

#include "app/composition/PlatformNotes.h"
#include "ui/MenuInfoPopovers.h"
#include "ui/Presentation.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QAbstractButton;

namespace quorvel {

class AppStateStore;
class LanguageController;
class MenuSettingToggleRow;

// The closed-lid row: switch, subtitle and the trailing element that opens the popover for the
// row's action (battery behaviour, safety stop, leftover, retry, authorization).
class MenuClamshellSection final : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(bool)> setClamshell;
        std::function<void()> authorizeAndStart;
        std::function<void()> cancelAuthorization;
        std::function<void()> retry;
        std::function<void()> requestAuthorization;
        std::function<void()> openSettings;
    };

    MenuClamshellSection(AppStateStore &store, const LanguageController &language, Actions actions,
                         QWidget *parent = nullptr, PlatformNotes notes = {});

    MenuSettingToggleRow *row() const { return m_row; }
    // The trailing element of the row's current action, null for none.
    QAbstractButton *trailing() const;
    bool showingAction() const { return m_showingAction; }
    MenuInfoPopover *actionPopover() const { return m_popover; }

    // Opens the popover of the current action next to the trailing element.
    void showAction();

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void updateTrailing(const Presentation::MenuRowAction &action);
    MenuInfoPopover::Source popoverSource(const Presentation::MenuRowAction &action);

    AppStateStore &m_store;
    const LanguageController &m_language;
    Actions m_actions;
    PlatformNotes m_notes;
    MenuSettingToggleRow *m_row;
    std::optional<Presentation::MenuRowAction> m_trailingAction;
    // View-local: the popover of the trailing element is open.
    bool m_showingAction = false;
    QPointer<MenuInfoPopover> m_popover;
};

} // namespace quorvel

#pragma once

#include "ui/MenuWakeModePicker.h"

#include <QWidget>
#include <functional>

class QLabel;

namespace quorvel {

class AppCoordinator;
class LanguageController;
class MenuClamshellSection;
class MenuFooter;
class MenuIdleWakeRow;
class MenuUpdateRow;
class UpdateChecker;

// Everything the menu shows, top to bottom: the keep-awake section (idle-sleep row, closed-lid
// row), the update row while an update is available, and the footer. Turns every control into
// the command of the coordinator, the preventer, the closed-lid module or the authorization
// manager it stands for.
class MenuRootView final : public QWidget {
    Q_OBJECT
public:
    MenuRootView(AppCoordinator &coordinator, LanguageController &language, std::function<void()> openSettings,
                 QWidget *parent = nullptr);

    // A preview (pictures, design work) neither re-reads the authorization when shown nor fades.
    void setPreview(bool preview);
    bool isPreview() const { return m_preview; }
    // Run before an action that brings up a window or dialog of its own (settings, quit
    // confirmation, authorization), so the menu is not left over it.
    void setBeforeOtherWindow(std::function<void()> run) { m_beforeOtherWindow = std::move(run); }
    // The checker whose result the update row shows; the coordinator's unless told otherwise.
    void setUpdateChecker(UpdateChecker *checker);

    MenuIdleWakeRow *idleRow() const { return m_idleRow; }
    MenuClamshellSection *clamshellSection() const { return m_clamshell; }
    MenuUpdateRow *updateRow() const { return m_updateRow; }
    MenuFooter *footer() const { return m_footer; }

    // The actions of the menu, as its rows call them (and the tray's own menu, where the
    // popover cannot be shown).
    void selectTimedMode(IdleWakeMode mode);
    void adjustRemaining(qint64 seconds);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void beforeOtherWindow();

    void cancelAuthorization();
    void retry();

    AppCoordinator &m_coordinator;
    std::function<void()> m_openSettings;
    std::function<void()> m_beforeOtherWindow;
    bool m_preview = false;
    QWidget *m_section = nullptr;
    QLabel *m_heading = nullptr;
    MenuIdleWakeRow *m_idleRow = nullptr;
    MenuClamshellSection *m_clamshell = nullptr;
    MenuUpdateRow *m_updateRow = nullptr;
    MenuFooter *m_footer = nullptr;
};

} // namespace quorvel

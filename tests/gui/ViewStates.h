#pragma once

// Every view state of the interface, walked the same way by the pictures (tools/shots) and by
// the tests that look at all of them (tst_contrast): the popover in each named state with the
// small popover its trailing element opens, the settings window in each authorization state
// with its notes and explanation, the about window and the dialogs. A view added here is
// pictured and checked at once.

#include "PopoverRig.h"

#include "app/composition/AppCoordinator.h"
#include "composition/SimApp.h"
#include "ui/AlertDialogs.h"
#include "ui/MenuClamshellSection.h"
#include "ui/MenuInfoPopovers.h"
#include "ui/MenuRootView.h"
#include "ui/Presentation.h"
#include "ui/SecondaryWindows.h"
#include "ui/SettingsAuthorization.h"
#include "ui/SettingsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QTest>

#include <functional>

namespace quorvel::test {

enum class Theme { light, dark };

// The dark palette the pictures and the checks use where the platform offers none.
inline QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xec, 0xec, 0xee);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x40, 0x9c, 0xff));
    p.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4a));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7c, 0x7c, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7c, 0x7c, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7c, 0x7c, 0x80));
    return p;
}

inline void usePalette(Theme theme)
{
    QApplication::setPalette(theme == Theme::dark ? darkPalette() : QApplication::style()->standardPalette());
}

// The settings window's authorization states, by name.
inline const QList<std::pair<const char *, AuthorizationState>> &settingsStates()
{
    static const QList<std::pair<const char *, AuthorizationState>> states = {
        {"unknown", Authorization::Unknown{}},
        {"required", Authorization::Required{}},
        {"granting", Authorization::Granting{}},
        {"granted", Authorization::Granted{}},
        {"denied", Authorization::Denied{}},
        {"revoked", Authorization::Revoked{}},
        {"failed", Authorization::Failed{VemoError::authorizationInstallFailed}}};
    return states;
}

// What a walk does: `use` switches to a language and theme, `visit` is handed each view in it
// (null when a view could not be made, which the caller counts as a failure).
struct ViewWalk {
    QList<std::pair<LanguagePreference, Theme>> looks;
    std::function<void(LanguagePreference, Theme)> use;
    std::function<void(const QString &name, QWidget *view)> visit;
};

inline void settleViews()
{
    // Long enough for the queued redraws that follow a change of state to land.
    QTest::qWait(20);
}

// The popover in every named state (and once with an update on offer) with its trailing
// element's popover: <state>, <state>-popover.
inline void walkPopovers(const ViewWalk &walk)
{
    QList<std::pair<QString, QString>> views; // view, state
    for (const auto &entry : menuStates())
        views.append({QString::fromLatin1(entry.first), QString::fromLatin1(entry.first)});
    views.append({QStringLiteral("update-available"), QStringLiteral("timed-two-hours")});
    for (const auto &[name, state] : views) {
        PopoverRig rig;
        rig.popover.setPreview(true);
        if (name == QLatin1String("update-available")) {
            UpdateChecker &checker = rig.offerUpdate();
            if (!QTest::qWaitFor([&] { return std::holds_alternative<UpdateCheck::Available>(checker.state()); }))
                walk.visit(name, nullptr);
        }
        rig.open();
        rig.setState(menuState(state));
        for (const auto &[language, theme] : walk.looks) {
            walk.use(language, theme);
            rig.language.setPreference(language); // the popover's own locale formats its numbers
            QApplication::processEvents();
            walk.visit(name, &rig.popover);
            auto *trailing = rig.find<QAbstractButton>(QStringLiteral("closedLidRow.trailing"));
            if (!trailing)
                continue;
            trailing->click();
            QWidget *info = rig.popover.rootView()->clamshellSection()->actionPopover();
            QApplication::processEvents();
            walk.visit(name + QStringLiteral("-popover"), info);
            if (info)
                info->hide();
        }
        rig.setState(VemoState{}); // nothing for the clean-up to undo
    }
}

// The settings window in every authorization state, with the notes that come and go and the
// explanation popover; the about window: settings-<state>, settings-notes, explanation, about.
inline void walkWindows(const ViewWalk &walk)
{
    const auto click = [](QWidget *root, const char *name) {
        if (auto *widget = root->findChild<QWidget *>(QLatin1String(name)))
            QTest::mouseClick(widget, Qt::LeftButton);
    };
    for (const auto &[language, theme] : walk.looks) {
        walk.use(language, theme);
        SimApp sim;
        LanguageController languages(sim.defaults);
        languages.setPreference(language);
        SecondaryWindows windows(*sim.app, languages, sim.defaults);
        windows.showSettings();
        QWidget *window = windows.settingsWindow();
        settleViews();
        for (const auto &[name, state] : settingsStates()) {
            sim.app->store().setAuthorization(state);
            settleViews();
            walk.visit(QStringLiteral("settings-") + QLatin1String(name), window);
        }
        // The notes that come and go: a leftover without a rule, a refused login item.
        sim.app->store().setAuthorization(Authorization::Required{});
        sim.app->store().setStartupResidual(true, std::nullopt);
        sim.app->launchAtLogin() = LaunchAtLoginController([] { return LoginItemStatus::requiresApproval; },
                                                           [] { return false; }, [] { return false; });
        click(window, "launchAtLoginSwitch");
        settleViews();
        walk.visit(QStringLiteral("settings-notes"), window);
        click(window, "authorizationInfoButton");
        settleViews();
        const auto *view = window->findChild<SettingsView *>(QStringLiteral("settingsView"));
        walk.visit(QStringLiteral("explanation"), view ? view->authorizationRows()->explanationPopover() : nullptr);
        windows.showAbout();
        settleViews();
        walk.visit(QStringLiteral("about"), windows.aboutWindow());
        window->close();
        windows.aboutWindow()->close();
        settleViews();
    }
}

// The alerts and the quit dialogs, shown (not run): alert-<name>, dialog-quit, dialog-quit-leftover.
inline void walkDialogs(const ViewWalk &walk)
{
    for (const auto &[language, theme] : walk.looks) {
        walk.use(language, theme);
        const std::pair<const char *, Alert> alerts[] = {{"alert-authorization", Alerts::authorizationRequest()},
                                                         {"alert-revoke-while-active", Alerts::revokeWhileActive()},
                                                         {"alert-restore-failed", Alerts::restoreFailed()}};
        const auto show = [&](const QString &name, QMessageBox &box) {
            box.show();
            QApplication::processEvents();
            walk.visit(name, &box);
            box.hide();
        };
        for (const auto &[name, alert] : alerts)
            show(QString::fromLatin1(name), *AlertDialogs::make(alert));
        // The quit confirmation as it reads with a timed session running.
        VemoState state;
        state.timedSession = TimedSession::Running{5409};
        if (const auto dialog = Presentation::quitDialog(state))
            show(QStringLiteral("dialog-quit"),
                 *AlertDialogs::make(QuitAlert{dialog->title, dialog->bodyLines.join(QLatin1Char('\n')),
                                               dialog->confirmLabel, dialog->cancelLabel}));
        show(QStringLiteral("dialog-quit-leftover"),
             *AlertDialogs::make(QuitAlert{qtTrId("confirmQuit"),
                                           qtTrId("cannotClearSleepPrevention") + QLatin1Char('\n')
                                               + qtTrId("suggestManualCloseOrAuth"),
                                           qtTrId("forceQuit"), qtTrId("cancel")}));
    }
}

} // namespace quorvel::test

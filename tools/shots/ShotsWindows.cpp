#include "Shots.h"

#include "composition/SimApp.h"
#include "ui/SecondaryWindows.h"
#include "ui/SettingsAuthorization.h"
#include "ui/SettingsView.h"

#include <QTest>

namespace quorvel::shots {

namespace {

// Long enough for the queued redraws that follow a change of state to land.
void settle()
{
    QTest::qWait(20);
}

void click(QWidget *root, const char *name)
{
    if (auto *widget = root->findChild<QWidget *>(QLatin1String(name)))
        QTest::mouseClick(widget, Qt::LeftButton);
}

} // namespace

int shootWindows(const QString &folder)
{
    const std::pair<const char *, AuthorizationState> states[] = {
        {"unknown", Authorization::Unknown{}},
        {"required", Authorization::Required{}},
        {"granting", Authorization::Granting{}},
        {"granted", Authorization::Granted{}},
        {"denied", Authorization::Denied{}},
        {"revoked", Authorization::Revoked{}},
        {"failed", Authorization::Failed{VemoError::authorizationInstallFailed}}};
    Session session(folder);
    for (const LanguagePreference language : {LanguagePreference::en, LanguagePreference::zhHans}) {
        for (const Theme theme : {Theme::light, Theme::dark}) {
            session.use(language, theme);
            test::SimApp sim;
            SecondaryWindows windows(*sim.app, session.language(), sim.defaults);
            windows.showSettings();
            QWidget *window = windows.settingsWindow();
            settle();
            for (const auto &[name, state] : states) {
                sim.app->store().setAuthorization(state);
                settle();
                session.save(QStringLiteral("settings-") + QLatin1String(name), window->grab().toImage());
            }
            // The notes that come and go: a leftover without a rule, a refused login item.
            sim.app->store().setAuthorization(Authorization::Required{});
            sim.app->store().setStartupResidual(true, std::nullopt);
            sim.app->launchAtLogin() = LaunchAtLoginController([] { return LoginItemStatus::requiresApproval; },
                                                               [] { return false; }, [] { return false; });
            click(window, "launchAtLoginSwitch");
            settle();
            session.save(QStringLiteral("settings-notes"), window->grab().toImage());
            click(window, "authorizationInfoButton");
            settle();
            const auto *view = window->findChild<SettingsView *>(QStringLiteral("settingsView"));
            session.save(QStringLiteral("explanation"),
                         view ? view->authorizationRows()->explanationPopover()->grab().toImage() : QImage());
            windows.showAbout();
            settle();
            session.save(QStringLiteral("about"), windows.aboutWindow()->grab().toImage());
            window->close();
            windows.aboutWindow()->close();
            settle();
        }
    }
    return session.failures();
}

} // namespace quorvel::shots

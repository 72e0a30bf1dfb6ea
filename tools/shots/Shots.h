#pragma once

#include "gui/ViewStates.h"
#include "prefs/LanguageController.h"
#include "support/UserDefaults.h"

#include <QImage>
#include <QString>
#include <memory>

class QWidget;

namespace quorvel::shots {

using test::Theme;

// Where the pictures go and in which language and theme they are taken.
class Session {
public:
    explicit Session(QString folder);
    void use(LanguagePreference language, Theme theme);
    // <folder>/<name>-<en|zh>-<light|dark>.png
    void save(const QString &name, const QImage &image);
    void save(const QString &name, QWidget &widget);
    // A walk over views that saves each one in every language and theme.
    test::ViewWalk walk(const QString &what);
    int failures() const { return m_failures; }
    Theme theme() const { return m_theme; }
    LanguageController &language() { return *m_language; }

private:
    QString m_folder;
    QString m_suffix;
    Theme m_theme = Theme::light;
    int m_failures = 0;
    std::shared_ptr<MemoryUserDefaults> m_defaults = std::make_shared<MemoryUserDefaults>();
    std::unique_ptr<LanguageController> m_language;
};

void shootDialogs(Session &session);

// Each of these renders its views in English and Simplified Chinese, light and dark, into
// `folder` (one file per view, language and theme), and returns the number of failures.
int shootMenuBar(const QString &folder);  // ShotsMenuBar.cpp: icons, badges, countdown, command menu
int shootPopovers(const QString &folder); // ShotsPopover.cpp: the popover in every state
int shootWindows(const QString &folder);  // ShotsWindows.cpp: settings in every state, about
int shootActivity(const QString &folder); // ShotsActivity.cpp: a known fortnight, a day pointed at, none

} // namespace quorvel::shots

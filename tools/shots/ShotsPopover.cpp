#include "Shots.h"

#include "gui/PopoverRig.h"
#include "ui/MenuClamshellSection.h"
#include "ui/MenuInfoPopovers.h"
#include "ui/MenuRootView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <cstdio>

namespace quorvel::shots {

using namespace quorvel::test;

// The popover in every named state over a whole simulated application, with the small popover
// its trailing element opens, and once with an update on offer: <state>[-popover]-<lang>-<theme>.png
int shootPopovers(const QString &folder)
{
    Session session(folder);
    int failures = 0;
    QList<std::pair<QString, QString>> views; // picture, state
    for (const auto &entry : menuStates())
        views.append({QString::fromLatin1(entry.first), QString::fromLatin1(entry.first)});
    views.append({QStringLiteral("update-available"), QStringLiteral("timed-two-hours")});

    for (const auto &[name, state] : views) {
        PopoverRig rig;
        rig.popover.setPreview(true);
        if (name == QLatin1String("update-available")) {
            UpdateChecker &checker = rig.offerUpdate();
            if (!QTest::qWaitFor([&] { return std::holds_alternative<UpdateCheck::Available>(checker.state()); })) {
                std::fprintf(stderr, "shots: no update on offer for %s\n", qPrintable(name));
                ++failures;
            }
        }
        rig.open();
        rig.setState(menuState(state));
        for (const LanguagePreference language : {LanguagePreference::en, LanguagePreference::zhHans}) {
            for (const Theme theme : {Theme::light, Theme::dark}) {
                session.use(language, theme);
                rig.language.setPreference(language); // the popover's own locale formats its numbers
                QApplication::processEvents();
                session.save(name, rig.popover.grab().toImage());
                auto *trailing = rig.find<QAbstractButton>(QStringLiteral("closedLidRow.trailing"));
                if (!trailing)
                    continue;
                trailing->click();
                QWidget *info = rig.popover.rootView()->clamshellSection()->actionPopover();
                if (!info) {
                    std::fprintf(stderr, "shots: %s opens no popover\n", qPrintable(name));
                    ++failures;
                    continue;
                }
                QApplication::processEvents();
                session.save(name + QStringLiteral("-popover"), info->grab().toImage());
                info->hide();
            }
        }
        rig.setState(VemoState{}); // nothing for the clean-up to undo
    }
    return failures + session.failures();
}

} // namespace quorvel::shots

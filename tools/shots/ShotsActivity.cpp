#include "Shots.h"

#include "support/SampleHistory.h"
#include "ui/ActivityChart.h"
#include "ui/ActivityView.h"
#include "ui/SecondaryWindows.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace quorvel::shots {

namespace {

// A Monday afternoon, so the fortnight ends with a session still running.
const QDateTime now(QDate(2026, 12, 7), QTime(15, 0), QTimeZone::utc());

ActivitySource sourceOf(const QString &path)
{
    ActivitySource source;
    source.historyPath = path;
    source.now = [] { return now; };
    source.zone = QTimeZone::utc();
    return source;
}

} // namespace

int shootActivity(const QString &folder)
{
    QTemporaryDir dir;
    const QString known = dir.filePath("known/EventHistory.jsonl");
    const QString empty = dir.filePath("empty/EventHistory.jsonl");
    Session session(folder);
    if (!test::writeHistory(known, test::sampleHistory(now)))
        return 1;
    for (const LanguagePreference language : {LanguagePreference::en, LanguagePreference::zhHans}) {
        for (const Theme theme : {Theme::light, Theme::dark}) {
            session.use(language, theme);
            QWidget *window = SecondaryWindows::buildActivityWindow(sourceOf(known));
            window->show();
            QTest::qWait(20);
            session.save(QStringLiteral("activity"), window->grab().toImage());
            // A day pointed at by keyboard: its bar ringed, its figures below.
            if (auto *chart = window->findChild<ActivityChart *>()) {
                chart->setFocus();
                chart->selectDay(3);
            }
            QTest::qWait(20);
            session.save(QStringLiteral("activity-day"), window->grab().toImage());
            delete window;

            window = SecondaryWindows::buildActivityWindow(sourceOf(empty));
            window->show();
            QTest::qWait(20);
            session.save(QStringLiteral("activity-empty"), window->grab().toImage());
            delete window;
        }
    }
    return session.failures();
}

} // namespace quorvel::shots

// Cost of one countdown tick as the menu-bar item sees it: the store publishes the new
// remaining time, the controller's queued redraw derives the presentation, composes the image
// with the countdown text at 2x (the Mac's item, the costliest case) and hands image and tool
// tip to the item. The application behind it is the simulated one; the item is a fake.
//
//   build/bench/bench_statusbar       (prints the median per tick of 2,000 ticks; goal <= 100 us)

#include "composition/SimApp.h"
#include "gui/FakeStatusItem.h"

#include "prefs/LanguageController.h"
#include "prefs/PreferenceKeys.h"
#include "ui/StatusBarController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <vector>

using namespace quorvel;
using namespace quorvel::test;

class StatusBarBench : public QObject {
    Q_OBJECT

    static constexpr int ticks = 2000;
    QTemporaryDir m_home; // never the user's folders, even for the log's default place

private slots:
    void initTestCase()
    {
        for (const char *var : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            qputenv(var, m_home.path().toUtf8());
    }

    void medianPerTick()
    {
        SimApp sim;
        sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::languagePreference), QStringLiteral("en"));
        sim.defaults->setValue(QString::fromLatin1(PreferenceKeys::menuBarCountdownText), true);
        LanguageController language(sim.defaults);
        auto fake = std::make_unique<FakeStatusItem>();
        fake->ratio = 2.0;
        FakeStatusItem *item = fake.get();
        StatusBarController controller(*sim.app, language, nullptr, std::move(fake), sim.defaults);
        AppStateStore &store = sim.app->store();
        store.setTimedRunning(ticks + 1);
        QCoreApplication::sendPostedEvents(&controller, QEvent::MetaCall);
        const int before = item->imageUpdates;

        std::vector<qint64> samples;
        samples.reserve(ticks);
        QElapsedTimer clock;
        for (int remaining = ticks; remaining > 0; --remaining) {
            clock.start();
            store.setTimedRunning(remaining);
            QCoreApplication::sendPostedEvents(&controller, QEvent::MetaCall);
            samples.push_back(clock.nsecsElapsed());
        }
        // Every tick is a new picture (the seconds change), drawn once.
        QCOMPARE(item->imageUpdates - before, ticks);
        QCOMPARE(item->image.height(), 44);
        std::sort(samples.begin(), samples.end());
        qInfo("%d ticks: median %lld ns, p90 %lld ns, max %lld ns per tick", ticks, samples[ticks / 2],
              samples[ticks * 9 / 10], samples.back());
    }
};

QTEST_MAIN(StatusBarBench)
#include "bench_statusbar.moc"

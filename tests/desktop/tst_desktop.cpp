// The real app on a real (virtual) desktop, used as a person would: the tray icon, the menu
// popover, the tray menu and the quit dialog, clicked through xdotool. Labelled "desktop":
//   ctest -L desktop

#include "DesktopSession.h"
#include "support/RealApp.h"
#include "support/SampleHistory.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace quorvel::test;

class DesktopTest : public QObject {
    Q_OBJECT

    DesktopSession desktop;

    // The app with its interface on the session's display, the countdown shown.
    void launch(RealApp &app, const QString &uiMap)
    {
        const QString config = app.sandbox("../home/.config/app.quorvel.Quorvel");
        QDir().mkpath(config);
        QFile settings(config + "/Quorvel.conf");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nQuorvelMenuBarCountdownText=true\n");
        settings.close();
        QProcessEnvironment env = app.process().processEnvironment();
        env.insert("DISPLAY", desktop.display());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QUORVEL_UI_MAP", uiMap);
        app.process().setProcessEnvironment(env);
        app.start({});
    }

private slots:
    void initTestCase()
    {
        const QString why = desktop.start();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
    }

    // Tray icon → timed mode → a caffeinate child and a tool tip that counts down; tray menu →
    // quit → confirm → nothing left running.
    void trayToTimedSessionToQuit()
    {
        RealApp app;
        const QString map = app.sandbox("../ui-map.json");
        UiMap ui(map);
        launch(app, map);
        QVERIFY2(app.waitFor([&] { return app.log().contains("status item ready, backend=tray"); }),
                 qPrintable(app.log() + app.output()));
        QVERIFY(app.waitFor([&] { return desktop.trayRect() && desktop.trayRect()->width() >= 16; }));
        const QPoint tray = desktop.trayRect()->center();

        desktop.click(tray);
        QVERIFY2(app.waitFor([&] { return ui.find("modePicker.timed").has_value(); }), qPrintable(app.output()));
        desktop.click(UiMap::centre(*ui.find("modePicker.timed")));
        QVERIFY2(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }), qPrintable(app.log()));
        QFile started(app.sandbox("sim/caffeinate.log"));
        QVERIFY(started.open(QIODevice::ReadOnly) && started.readAll().contains("-t 7200"));

        // Close the popover, then read the tray's tool tip twice, two seconds apart.
        desktop.click(tray);
        QVERIFY(app.waitFor([&] { return !ui.find("modePicker.timed"); }));
        const auto tip = [&] {
            // Out, in, and a small move inside: the tip shows once the pointer rests on the icon.
            desktop.moveMouse(tray + QPoint(0, 300));
            app.waitFor([&] { return !ui.windowOfClass("QTipLabel"); }, 5000); // the last tip is gone
            desktop.moveMouse(tray);
            desktop.moveMouse(tray + QPoint(1, 1));
            QString text;
            app.waitFor([&] {
                const auto label = ui.windowOfClass("QTipLabel");
                return label && !(text = label->value("text").toString()).isEmpty();
            });
            return text;
        };
        const QRegularExpression countdown("[12]:[0-5]\\d:\\d\\d");
        const QString first = tip();
        QVERIFY2(countdown.match(first).hasMatch(), qPrintable(first));
        QTest::qWait(2100);
        const QString second = tip();
        QVERIFY2(countdown.match(second).hasMatch() && second != first, qPrintable(first + " / " + second));

        desktop.click(tray, 3);
        QVERIFY(app.waitFor([&] { return ui.windowOfClass("QMenu").has_value(); }));
        const QJsonArray entries = ui.windowOfClass("QMenu")->value("entries").toArray();
        QCOMPARE(entries.size(), 5);
        desktop.click(UiMap::centre(entries.last().toObject())); // quit
        QVERIFY(app.waitFor([&] { return ui.find("firstButton").has_value(); }));
        desktop.click(UiMap::centre(*ui.find("firstButton")));
        QVERIFY2(app.waitForExit(), qPrintable(app.log()));
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
        QVERIFY(app.log().contains("[INFO] [app] cleanup completed, failedModules=none"));
    }

    // Tray menu → settings → "+" on the battery threshold: the stored threshold changes.
    void settingsFromTrayMenu()
    {
        RealApp app;
        const QString map = app.sandbox("../ui-map.json");
        UiMap ui(map);
        launch(app, map);
        QVERIFY(app.waitFor([&] { return desktop.trayRect() && desktop.trayRect()->width() >= 16; }));
        desktop.click(desktop.trayRect()->center(), 3);
        QVERIFY(app.waitFor([&] { return ui.windowOfClass("QMenu").has_value(); }));
        desktop.click(UiMap::centre(ui.windowOfClass("QMenu")->value("entries").toArray().first().toObject()));
        QVERIFY2(app.waitFor([&] { return ui.find("thresholdPlus").has_value(); }), qPrintable(app.output()));
        QCOMPARE(ui.find("thresholdValue")->value("text").toString(), "20%");
        desktop.click(UiMap::centre(*ui.find("thresholdPlus")));
        const auto stored = [&] {
            QFile settings(app.sandbox("../home/.config/app.quorvel.Quorvel/Quorvel.conf"));
            return settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray();
        };
        QVERIFY2(app.waitFor([&] { return stored().contains("QuorvelClamshellAutoExitThreshold=25"); }),
                 stored().constData());
        ::kill(pid_t(app.pid()), SIGTERM);
        QVERIFY(app.waitForExit());
    }

    // Tray menu → activity: the window reads the history the app found at launch.
    void activityFromTrayMenu()
    {
        RealApp app;
        QVERIFY(writeHistory(app.historyPath(), sampleHistory(QDateTime::currentDateTimeUtc().addSecs(-60))));
        const QString map = app.sandbox("../ui-map.json");
        UiMap ui(map);
        launch(app, map);
        QVERIFY(app.waitFor([&] { return desktop.trayRect() && desktop.trayRect()->width() >= 16; }));
        desktop.click(desktop.trayRect()->center(), 3);
        QVERIFY(app.waitFor([&] { return ui.windowOfClass("QMenu").has_value(); }));
        const QJsonObject entry = ui.windowOfClass("QMenu")->value("entries").toArray().at(1).toObject();
        QCOMPARE(entry.value("text").toString(), "Activity…");
        desktop.click(UiMap::centre(entry));
        QVERIFY2(app.waitFor([&] { return ui.find("activityReach").has_value(); }), qPrintable(app.output()));
        QVERIFY2(ui.find("activityReach")->value("text").toString().startsWith("History since"),
                 qPrintable(ui.find("activityReach")->value("text").toString()));
        QVERIFY(ui.find("activitySessions").has_value());
        ::kill(pid_t(app.pid()), SIGTERM);
        QVERIFY(app.waitForExit());
    }
};

QTEST_GUILESS_MAIN(DesktopTest)
#include "tst_desktop.moc"

#pragma once

// A whole application graph built by makeLive() against the simulated platform in a
// temporary sandbox: real stand-in tools, real files, a virtual-time scheduler and scripted
// answers to the quit confirmations.

#include "app/composition/LivePlatform.h"
#include "platform/sim/SimPlatform.h"
#include "records/VemoEvent.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

namespace quorvel::test {

inline QString toolsDir()
{
    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_TOOLS_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnvironment;
}

struct SimApp {
    QTemporaryDir dir;
    SimPlatform sim{dir.path() + QStringLiteral("/sandbox"), toolsDir()};
    std::shared_ptr<FakeScheduler> scheduler = std::make_shared<FakeScheduler>();
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    QList<QuitAlert> quitAlerts;
    int quitAnswer = alertSecondButton;
    QList<Alert> alerts; // the closed-lid alerts, answered with alertAnswer
    int alertAnswer = alertSecondButton;
    int terminations = 0;
    std::optional<PowerContext> firstSnapshot;
    std::unique_ptr<AppCoordinator> app;

    // `notes`: what the views are told about the platform (the Linux texts, say); the logic
    // stays the simulated platform's.
    explicit SimApp(const QByteArray &powerJson = R"({"source":"ac","lowPower":false})", PlatformNotes notes = {})
    {
        sim.ensureSandbox();
        writePower(powerJson);
        // Automatic update checks never leave the machine; the fake scheduler never reaches
        // the 5 s mark unless a test asks for it anyway.
        qputenv("QUORVEL_UPDATE_FEED_URL", "http://127.0.0.1:9/quorvel/");
        LivePlatform platform = simLivePlatform(sim);
        auto read = platform.readPower;
        platform.readPower = [this, read] {
            PowerContext ctx = read();
            if (!firstSnapshot)
                firstSnapshot = ctx;
            return ctx;
        };
        platform.scheduler = scheduler;
        platform.defaults = defaults;
        platform.journalPath = dir.path() + QStringLiteral("/history/EventHistory.jsonl");
        platform.launchAtLogin = std::make_shared<LaunchAtLoginController>(
            [] { return LoginItemStatus::notRegistered; }, [] { return true; }, [] { return true; });
        platform.quitAlertPresenter = [this](const QuitAlert &alert) {
            quitAlerts.append(alert);
            return quitAnswer;
        };
        platform.terminator = [this] { ++terminations; };
        platform.alertPresenter = [this](const Alert &alert) {
            alerts.append(alert);
            return alertAnswer;
        };
        platform.notes = notes;
        app = AppCoordinator::makeLive(std::move(platform));
    }

    ~SimApp()
    {
        // Whatever a test left running ends with it.
        if (app)
            app->cleanupAll();
    }

    QString sandbox(const char *relative) const { return sim.sandboxPath(relative); }

    void writePower(const QByteArray &json) const
    {
        QSaveFile file(sim.powerFile());
        if (file.open(QIODevice::WriteOnly)) {
            file.write(json);
            file.commit();
        }
    }

    void setFault(const char *relative, bool on) const
    {
        if (on) {
            QFile f(sandbox(relative));
            f.open(QIODevice::WriteOnly);
        } else {
            QFile::remove(sandbox(relative));
        }
    }

    // The sandbox's "disablesleep" value as the stand-in pmset keeps it ("" when never set).
    QString sleepSetting() const
    {
        QFile f(sandbox("/sim/disablesleep"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }

    QList<VemoEvent> events() const
    {
        QList<VemoEvent> out;
        QFile f(dir.path() + QStringLiteral("/history/EventHistory.jsonl"));
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (auto e = decodeEvent(line))
                out.append(*e);
        return out;
    }

    QStringList kinds() const
    {
        QStringList names;
        for (const auto &e : events())
            names << caseName(e.kind);
        return names;
    }

    const VemoState &state() const { return app->store().state(); }
};

} // namespace quorvel::test

#pragma once

// Shared steps of the fault cases: each drives the real executable (support/RealApp.h) into a
// situation a user can be in, then hurts it.

#include "records/VemoEvent.h"
#include "support/RealApp.h"

#include <QDir>
#include <QTest>

// A failed check shows everything the app said: its output, its errors and its log.
#define RVERIFY(app, condition) QVERIFY2((condition), (app).transcript().constData())

namespace quorvel::test {

// The ways a session is running when the fault strikes.
inline bool startSession(RealApp &app, const QString &command, bool display)
{
    app.send(command);
    if (!app.waitFor([&] { return app.livingCaffeinates().size() == 1; }))
        return false;
    if (!display)
        return true;
    app.send(QStringLiteral("display on")); // a relaunch: the second child is the one that lives
    return app.waitFor([&] { return app.caffeinatePids().size() == 2 && app.livingCaffeinates().size() == 1; });
}

inline bool startClosedLid(RealApp &app)
{
    app.send(QStringLiteral("authorize"));
    app.send(QStringLiteral("lid on"));
    return app.waitFor([&] { return app.sleepSetting() == QLatin1String("1"); });
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The history's lines, blank ones dropped; compared with historyKinds(), whether each is whole.
inline qsizetype historyLineCount(const RealApp &app)
{
    const QList<QByteArray> lines = readFile(app.historyPath()).split('\n');
    return std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) { return !line.isEmpty(); });
}

// The events recorded since the newest launch.
inline QStringList kindsOfLastLaunch(const RealApp &app)
{
    const QStringList kinds = app.historyKinds();
    const qsizetype launch = kinds.lastIndexOf(QStringLiteral("appLaunched"));
    return launch < 0 ? QStringList() : kinds.mid(launch);
}

} // namespace quorvel::test

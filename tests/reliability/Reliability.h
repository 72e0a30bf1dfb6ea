#pragma once

// Shared steps of the fault cases: each drives the real executable (support/RealApp.h) into a
// situation a user can be in, then hurts it.

#include "records/VemoEvent.h"
#include "support/RealApp.h"

#include <QDir>
#include <QFile>
#include <QTest>

// A failed check shows everything the app said: its output, its errors and its log.
#define RVERIFY(app, condition) QVERIFY2((condition), (app).transcript().constData())

namespace quorvel::test {

inline QString standInTools()
{
    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_TOOLS_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnvironment;
}

// A tools folder of links to the stand-ins, in `folder`, without `tool`; with
// `notExecutable`, `tool` is there but cannot be run.
inline QString toolsWithout(const QString &folder, const QString &tool, bool notExecutable)
{
    QDir().mkpath(folder);
    for (const QFileInfo &entry : QDir(standInTools()).entryInfoList(QDir::Files | QDir::Executable)) {
        if (entry.fileName() == tool) {
            if (notExecutable) {
                QFile::copy(entry.filePath(), folder + '/' + tool);
                QFile::setPermissions(folder + '/' + tool, QFile::ReadOwner | QFile::WriteOwner);
            }
            continue;
        }
        QFile::link(entry.filePath(), folder + '/' + entry.fileName());
    }
    return folder;
}

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

// The rule file of the sandbox, as the stand-in sudo reads it.
inline QString ruleFile(const RealApp &app)
{
    return app.sandbox(QStringLiteral("etc/sudoers.d/quorvel"));
}

// One history line of a harmless event (no line feed).
inline QByteArray eventLine(qint64 seconds)
{
    return encodeEvent(VemoEvent::make(EventKind::TimedStarted{seconds}));
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Every line of the file, blank ones dropped, with how many of them decode as events.
struct HistoryLines {
    QList<QByteArray> lines;
    int decodable = 0;
    QStringList kinds;
};
inline HistoryLines historyLines(const QString &path)
{
    HistoryLines result;
    for (const QByteArray &line : readFile(path).split('\n')) {
        if (line.isEmpty())
            continue;
        result.lines << line;
        if (const auto event = decodeEvent(line)) {
            ++result.decodable;
            result.kinds << caseName(event->kind);
        }
    }
    return result;
}

// The events recorded since the newest launch.
inline QStringList kindsOfLastLaunch(const RealApp &app)
{
    const QStringList kinds = app.historyKinds();
    const qsizetype launch = kinds.lastIndexOf(QStringLiteral("appLaunched"));
    return launch < 0 ? QStringList() : kinds.mid(launch);
}

} // namespace quorvel::test

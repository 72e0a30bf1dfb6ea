#pragma once

// A scripted stand-in for sudo + pmset, in-process: it keeps one sleep-disabled value and
// answers the three closed-lid command lines the way the real tools do, faults included
// (a write that exits 0 but changes nothing, a refusal, an unreadable report).

#include "closedlid/SystemCommands.h"
#include "records/EventJournal.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace quorvel::test {

struct ScriptedPmset {
    using Command = ClamshellCapabilityProbe::Command;

    std::optional<int> sleepDisabled = 0; // absent: pmset -g has no such line
    int applyExit = 0;
    bool applyTakesEffect = true;
    int restoreExit = 0;
    bool restoreTakesEffect = true;
    int restoreFailures = 0;       // the next n restores exit 0 but change nothing
    std::optional<QString> report; // forces the read-back text
    QList<Command> calls;

    CommandResult run(const Command &command)
    {
        calls.append(command);
        if (command == ClamshellCapabilityProbe::applyOverrideCommand()) {
            if (applyTakesEffect)
                sleepDisabled = 1;
            return {QString(), applyExit};
        }
        if (command == ClamshellCapabilityProbe::restoreDefaultCommand()) {
            if (restoreFailures > 0)
                --restoreFailures;
            else if (restoreTakesEffect)
                sleepDisabled = 0;
            return {QString(), restoreExit};
        }
        if (command == ClamshellCapabilityProbe::readSettingsCommand()) {
            if (report)
                return {*report, 0};
            QString text = QStringLiteral("System-wide power settings:\nCurrently in use:\n standby 1\n");
            if (sleepDisabled)
                text += QStringLiteral(" SleepDisabled\t\t%1\n").arg(*sleepDisabled);
            return {text, 0};
        }
        return {QString(), -1};
    }

    // `sudo -n` refuses everything, as without the rule: exit 1, nothing changes.
    void refuseSudo()
    {
        applyExit = restoreExit = 1;
        applyTakesEffect = restoreTakesEffect = false;
    }

    CommandRunner runner()
    {
        return [this](const Command &command) { return run(command); };
    }
    PmsetReader reader()
    {
        return [this] { return run(ClamshellCapabilityProbe::readSettingsCommand()).stdout; };
    }

    // "apply", "restore" and "read" in the order they ran.
    QStringList trace() const
    {
        QStringList names;
        for (const Command &c : calls) {
            if (c == ClamshellCapabilityProbe::applyOverrideCommand())
                names << QStringLiteral("apply");
            else if (c == ClamshellCapabilityProbe::restoreDefaultCommand())
                names << QStringLiteral("restore");
            else if (c == ClamshellCapabilityProbe::readSettingsCommand())
                names << QStringLiteral("read");
            else
                names << c.launchPath;
        }
        return names;
    }
};

// The case names of the recorded events, in order ("clamshellStarted", ...).
inline QStringList kindsOf(const InMemoryEventJournal &journal)
{
    QStringList kinds;
    for (const VemoEvent &event : journal.events())
        kinds << caseName(event.kind);
    return kinds;
}

// Log files and preferences of the code under test go to `home`, never to the user's.
inline void isolateUserFolders(const QTemporaryDir &home)
{
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char *variable : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, (home.path() + QLatin1Char('/') + QLatin1String(variable)).toLocal8Bit());
}

inline PowerContext adapterPower(std::optional<qint64> level = std::nullopt)
{
    return PowerContext{PowerSource::powerAdapter, level, false, std::nullopt, QDateTime()};
}

inline PowerContext batteryPower(std::optional<qint64> level)
{
    return PowerContext{PowerSource::battery, level, false, std::nullopt, QDateTime()};
}

inline PowerContext unknownPower()
{
    return PowerContext{PowerSource::unknown, std::nullopt, false, std::nullopt, QDateTime()};
}

} // namespace quorvel::test

Q_DECLARE_METATYPE(quorvel::PowerContext)
Q_DECLARE_METATYPE(quorvel::ClamshellState)
Q_DECLARE_METATYPE(quorvel::AuthorizationState)
Q_DECLARE_METATYPE(std::optional<quorvel::VemoError>)

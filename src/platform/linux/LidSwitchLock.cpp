#include "platform/linux/LidSwitchLock.h"

#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/SleepInhibitorSession.h"
#include "records/DiagnosticLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

namespace quorvel {

namespace {

const QString lidWhat = QStringLiteral("handle-lid-switch:sleep");

void logClamshell(DiagnosticLog::Level level, const QString &message)
{
    DiagnosticLog::log(level, DiagnosticLog::Category::clamshell, message);
}

struct LidState {
    linuxbus::Buses buses;
    linuxbus::UniqueFd lock;
};

CommandResult readBack(const LidState &state)
{
    const auto inhibitors = logind::listInhibitors(state.buses.system);
    if (!inhibitors)
        return {QString(), 1};
    const QString reason = lidLockReason();
    bool ours = false;
    for (const logind::Inhibitor &entry : *inhibitors)
        ours = ours
               || (entry.covers(QStringLiteral("handle-lid-switch")) && entry.who == LinuxLockNames::who
                   && entry.why == reason && entry.mode == QLatin1String("block"));
    return {ours ? QStringLiteral(" SleepDisabled\t\t1\n") : QStringLiteral(" SleepDisabled\t\t0\n"), 0};
}

} // namespace

QString lidLockReason()
{
    return QStringLiteral("Closed-lid mode (process %1)").arg(QCoreApplication::applicationPid());
}

CommandRunner lidSwitchCommandRunner(linuxbus::Buses buses, CommandRunner fallback,
                                     std::function<QString()> refuseReason)
{
    auto state = std::make_shared<LidState>(LidState{std::move(buses), {}});
    return [state, fallback = std::move(fallback),
            refuseReason = std::move(refuseReason)](const ClamshellCapabilityProbe::Command &command) -> CommandResult {
        if (command == ClamshellCapabilityProbe::applyOverrideCommand()) {
            if (const QString reason = refuseReason ? refuseReason() : QString(); !reason.isEmpty()) {
                logClamshell(DiagnosticLog::Level::error, QStringLiteral("lid lock refused, reason=") + reason);
                return {QString(), 1};
            }
            if (state->lock.isValid()) {
                // A descriptor logind no longer lists (it restarted, say) holds nothing back:
                // the guard's re-apply must get a new lock, not keep the dead one. A list that
                // cannot be read proves nothing, and the lock held stays.
                const CommandResult listed = readBack(*state);
                if (listed.exitCode != 0 || listed.stdout.contains(QLatin1Char('1')))
                    return {QString(), 0};
                logClamshell(DiagnosticLog::Level::warning,
                             QStringLiteral("logind no longer lists the lid lock, taking it again"));
                state->lock.reset();
            }
            QString error;
            state->lock = logind::inhibit(state->buses.system, lidWhat, LinuxLockNames::who, lidLockReason(), &error);
            if (!state->lock.isValid()) {
                logClamshell(DiagnosticLog::Level::error, QStringLiteral("logind lid inhibit failed, error=") + error);
                return {QString(), 1};
            }
            return {QString(), 0};
        }
        if (command == ClamshellCapabilityProbe::restoreDefaultCommand()) {
            if (!state->lock.isValid())
                return {QString(), 0};
            state->lock.reset();
            // logind drops the lock when it sees the descriptor close, which may come a moment
            // after our next call: wait (briefly, bounded) until it is really gone, so the
            // read-back that follows proves what happened rather than racing it.
            QElapsedTimer waited;
            waited.start();
            while (readBack(*state).stdout.contains(QLatin1Char('1')) && waited.elapsed() < 1000)
                QThread::msleep(10);
            return {QString(), 0};
        }
        if (command == ClamshellCapabilityProbe::readSettingsCommand())
            return readBack(*state);
        return fallback ? fallback(command) : CommandResult{QString(), -1};
    };
}

} // namespace quorvel

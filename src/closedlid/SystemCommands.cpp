#include "closedlid/SystemCommands.h"

#include "records/DiagnosticLog.h"

#include <QProcess>
#include <QStringDecoder>

#include <csignal>
#include <unistd.h>

namespace quorvel {

namespace {

const QString sudoPath = QStringLiteral("/usr/bin/sudo");
const QString pmsetPath = QStringLiteral("/usr/bin/pmset");

ClamshellCapabilityProbe::Command sudoPmset(const QString &value)
{
    return {sudoPath, {QStringLiteral("-n"), pmsetPath, QStringLiteral("-a"), QStringLiteral("disablesleep"), value}};
}

// Strict decoding: a single bad byte, or a sequence cut off at the end, gives empty text
// rather than text with replacement characters that a parser might half-match.
QString decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

// The first white-space separated piece of `text`, or empty text when there is none.
QString firstWord(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text.at(begin).isSpace())
        ++begin;
    qsizetype end = begin;
    while (end < text.size() && !text.at(end).isSpace())
        ++end;
    return text.mid(begin, end - begin).toString();
}

struct Finished {
    bool started = false;
    QByteArray out;
    QByteArray err;
    int exitCode = -1;
};

Finished runProcess(const QString &launchPath, const QStringList &arguments, const CommandEnvironment &environment,
                    bool waitsForAPerson = false)
{
    QProcess process;
    process.setProgram(environment.resolve(launchPath));
    process.setArguments(arguments);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    if (environment.environment)
        process.setProcessEnvironment(*environment.environment);
    // A group of its own, so that a shell that hangs can be ended with what it started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        // Most often no descriptor is left for its pipes: this one command fails, nothing more.
        DiagnosticLog::log(
            DiagnosticLog::Level::error, DiagnosticLog::Category::app,
            QStringLiteral("command could not start, program=%1, reason=%2").arg(launchPath, process.errorString()));
        return {};
    }
    // waitForFinished keeps reading both pipes into QProcess's buffers until the child
    // exits, so nothing waits on a full pipe.
    const int limit = waitsForAPerson ? -1 : int(environment.timeout.count());
    Finished result;
    result.started = true;
    if (waitsForAPerson && environment.interrupted) {
        // Small steps instead of one endless wait: the signal handler cannot reach the event
        // loop while we sit here, so we look for it ourselves.
        while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning) {
            if (!environment.interrupted())
                continue;
            const auto group = -pid_t(process.processId());
            ::kill(group, SIGTERM); // the dialog and whatever it started, by its group id
            if (!process.waitForFinished(int(environment.interruptGrace.count())))
                ::kill(group, SIGKILL);
            process.waitForFinished(1000);
            DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::authorization,
                               QStringLiteral("administrator dialog ended by a termination signal"));
            return result; // exit code -1: failed
        }
    }
    if (!process.waitForFinished(limit) && process.state() != QProcess::NotRunning) {
        ::kill(-pid_t(process.processId()), SIGKILL); // the group we made for it, by its id
        process.waitForFinished(1000);
        DiagnosticLog::log(DiagnosticLog::Level::error, DiagnosticLog::Category::app,
                           QStringLiteral("command timed out, program=%1, milliseconds=%2")
                               .arg(launchPath)
                               .arg(environment.timeout.count()));
        return result; // exit code -1: failed
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    // For a child ended by a signal QProcess reports the signal number here.
    result.exitCode = process.exitCode();
    return result;
}

} // namespace

namespace ClamshellCapabilityProbe {

Command applyOverrideCommand()
{
    return sudoPmset(QStringLiteral("1"));
}

Command restoreDefaultCommand()
{
    return sudoPmset(QStringLiteral("0"));
}

Command readSettingsCommand()
{
    return {pmsetPath, {QStringLiteral("-g")}};
}

QString pmsetLine(const Command &sudoCommand)
{
    // Everything after "-n": the program and its arguments, as sudo will run them.
    return sudoCommand.arguments.mid(1).join(QLatin1Char(' '));
}

std::optional<int> parseSleepDisabled(const QString &output)
{
    static const QString key = QStringLiteral("sleepdisabled");
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        // Only blanks and tabs are trimmed; other white space (a carriage return) is
        // dropped by the split into words below.
        qsizetype begin = 0;
        qsizetype end = line.size();
        auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
        while (begin < end && isBlank(line.at(begin)))
            ++begin;
        while (end > begin && isBlank(line.at(end - 1)))
            --end;
        const QString trimmed = line.mid(begin, end - begin);
        if (!trimmed.startsWith(key, Qt::CaseInsensitive))
            continue;
        const QString first = firstWord(QStringView(trimmed).mid(key.size()));
        if (first.isEmpty())
            continue;
        if (first == QLatin1String("1"))
            return 1;
        if (first == QLatin1String("0"))
            return 0;
    }
    return std::nullopt;
}

} // namespace ClamshellCapabilityProbe

CommandResult runCommand(const ClamshellCapabilityProbe::Command &command, const CommandEnvironment &environment)
{
    const Finished finished = runProcess(command.launchPath, command.arguments, environment);
    if (!finished.started)
        return {QString(), -1};
    return {decodeUtf8(finished.out), finished.exitCode};
}

CommandRunner makeCommandRunner(CommandEnvironment environment)
{
    return [environment = std::move(environment)](const ClamshellCapabilityProbe::Command &command) {
        return runCommand(command, environment);
    };
}

QString pmsetReader(const CommandRunner &runner)
{
    return runner(ClamshellCapabilityProbe::readSettingsCommand()).stdout;
}

PmsetReader makePmsetReader(CommandRunner runner)
{
    return [runner = std::move(runner)] { return pmsetReader(runner); };
}

namespace SudoersAuthorization {

ShellResult runShell(const QString &line, const CommandEnvironment &environment)
{
    const Finished finished = runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line}, environment,
                                         line.startsWith(QLatin1String("osascript ")));
    if (!finished.started)
        return {QString(), -1, QString()};
    return {decodeUtf8(finished.out), finished.exitCode, decodeUtf8(finished.err)};
}

ShellRunner makeShellRunner(CommandEnvironment environment)
{
    return [environment = std::move(environment)](const QString &line) { return runShell(line, environment); };
}

} // namespace SudoersAuthorization

} // namespace quorvel

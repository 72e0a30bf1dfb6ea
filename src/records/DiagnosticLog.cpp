#include "records/DiagnosticLog.h"

#include "records/FileDiagnostic.h"
#include "records/UnifiedLog.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QMutex>
#include <atomic>

namespace quorvel::DiagnosticLog {

namespace {

// Process-wide state, made on first use (function-local statics are initialised once, even
// under concurrent first calls) and deliberately never destroyed: the log stays usable from
// termination callbacks that run while static objects are being torn down.
struct LevelCell {
    QMutex lock;
    std::optional<Level> minimum;         // read once, then fixed
    std::shared_ptr<UserDefaults> source; // tests only; null means the standard domain
};

struct SinkBox {
    QMutex lock;
    bool created = false;
    std::shared_ptr<FileDiagnostic> sink; // null when the file output is switched off
};

LevelCell &levelCell()
{
    static auto *cell = new LevelCell;
    return *cell;
}

SinkBox &sinkBox()
{
    static auto *box = new SinkBox;
    return *box;
}

std::atomic<bool> systemLogMuted{false};

Level readMinimum(const std::shared_ptr<UserDefaults> &defaults)
{
    if (!defaults)
        return Level::info;
    return levelFromRaw(defaults->value(QLatin1String(minimumLevelKey)).toString()).value_or(Level::info);
}

Level minimumLevel()
{
    LevelCell &cell = levelCell();
    QMutexLocker lock(&cell.lock);
    if (!cell.minimum)
        cell.minimum = readMinimum(cell.source ? cell.source : UserDefaults::standard());
    return *cell.minimum;
}

std::shared_ptr<FileDiagnostic> currentSink()
{
    SinkBox &box = sinkBox();
    QMutexLocker lock(&box.lock);
    if (!box.created) {
        box.sink = std::make_shared<FileDiagnostic>(defaultLocation());
        box.created = true;
    }
    return box.sink;
}

} // namespace

QString rawValue(Level level)
{
    switch (level) {
    case Level::debug: return QStringLiteral("debug");
    case Level::info: return QStringLiteral("info");
    case Level::warning: return QStringLiteral("warning");
    case Level::error: return QStringLiteral("error");
    }
    return {};
}

std::optional<Level> levelFromRaw(const QString &text)
{
    for (Level level : {Level::debug, Level::info, Level::warning, Level::error})
        if (rawValue(level) == text)
            return level;
    return std::nullopt;
}

QString prefix(Level level)
{
    return rawValue(level).toUpper();
}

QString token(Category category)
{
    switch (category) {
    case Category::timed: return QStringLiteral("timed");
    case Category::display: return QStringLiteral("display");
    case Category::clamshell: return QStringLiteral("clamshell");
    case Category::authorization: return QStringLiteral("authorization");
    case Category::battery: return QStringLiteral("battery");
    case Category::app: return QStringLiteral("app");
    case Category::startup: return QStringLiteral("startup");
    }
    return {};
}

UnifiedType unifiedType(Level level)
{
    switch (level) {
    case Level::debug: return UnifiedType::debug;
    case Level::info: return UnifiedType::info;
    case Level::warning: return UnifiedType::standard;
    case Level::error: return UnifiedType::error;
    }
    return UnifiedType::standard;
}

void log(Level level, Category category, const QString &message)
{
    try {
        if (level < minimumLevel())
            return;
        const QString levelPrefix = prefix(level);
        // The system log first: it still gets the message when the file cannot be written.
        if (!systemLogMuted.load(std::memory_order_relaxed))
            records::emitUnified(category, unifiedType(level), levelPrefix.toUtf8(), message.toUtf8());
        if (const std::shared_ptr<FileDiagnostic> sink = currentSink())
            sink->write(QLatin1Char('[') + levelPrefix + QLatin1String("] [") + token(category) + QLatin1String("] ")
                        + message);
    } catch (...) {
        // Logging must never take its caller down; a lost line is the whole cost.
    }
}

QString defaultLocation()
{
    QString logs;
#ifdef __APPLE__
    const QString library = QDir::homePath() + QLatin1String("/Library");
    logs = (QDir(library).exists() || QDir().mkpath(library) ? library : QDir::homePath()) + QLatin1String("/Logs");
#else
    logs = qEnvironmentVariable("XDG_STATE_HOME");
    if (logs.isEmpty() || QDir::isRelativePath(logs)) // relative values are invalid for XDG
        logs = QDir::homePath() + QLatin1String("/.local/state");
#endif
    return logs + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QLatin1String("/diagnostic.log");
}

void resetForTesting(const QString &path, std::shared_ptr<UserDefaults> defaults)
{
    systemLogMuted.store(true);
    {
        LevelCell &cell = levelCell();
        QMutexLocker lock(&cell.lock);
        cell.minimum.reset();
        cell.source = std::move(defaults);
    }
    SinkBox &box = sinkBox();
    QMutexLocker lock(&box.lock);
    box.created = true;
    box.sink = path.isEmpty() ? nullptr : std::make_shared<FileDiagnostic>(path);
}

} // namespace quorvel::DiagnosticLog

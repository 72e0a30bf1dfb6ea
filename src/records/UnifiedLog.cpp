#include "records/UnifiedLog.h"

#include "support/UserDefaults.h"

#include <array>
#include <mutex>
#include <syslog.h>

#ifdef __APPLE__
#include <os/log.h>
#endif

namespace quorvel::records {

int syslogPriority(DiagnosticLog::UnifiedType type)
{
    switch (type) {
    case DiagnosticLog::UnifiedType::debug: return LOG_DEBUG;
    case DiagnosticLog::UnifiedType::info: return LOG_INFO;
    case DiagnosticLog::UnifiedType::standard: return LOG_NOTICE;
    case DiagnosticLog::UnifiedType::error: return LOG_ERR;
    }
    return LOG_NOTICE;
}

#ifdef __APPLE__

namespace {
constexpr std::array<const char *, 7> categoryTokens = {"timed",   "display", "clamshell", "authorization",
                                                        "battery", "app",     "startup"};

os_log_type_t osLogType(DiagnosticLog::UnifiedType type)
{
    switch (type) {
    case DiagnosticLog::UnifiedType::debug: return OS_LOG_TYPE_DEBUG;
    case DiagnosticLog::UnifiedType::info: return OS_LOG_TYPE_INFO;
    case DiagnosticLog::UnifiedType::standard: return OS_LOG_TYPE_DEFAULT;
    case DiagnosticLog::UnifiedType::error: return OS_LOG_TYPE_ERROR;
    }
    return OS_LOG_TYPE_DEFAULT;
}

// One handle per category, made once and kept for the life of the process.
os_log_t handleFor(DiagnosticLog::Category category)
{
    static std::array<os_log_t, categoryTokens.size()> handles{};
    static std::once_flag once;
    std::call_once(once, [] {
        for (size_t i = 0; i < categoryTokens.size(); ++i)
            handles[i] = os_log_create(bundleIdentifier, categoryTokens[i]);
    });
    return handles[static_cast<size_t>(category)];
}
} // namespace

void emitUnified(DiagnosticLog::Category category, DiagnosticLog::UnifiedType type, const QByteArray &prefix,
                 const QByteArray &message)
{
    os_log_t handle = handleFor(category);
    const os_log_type_t osType = osLogType(type);
    if (os_log_type_enabled(handle, osType))
        os_log_with_type(handle, osType, "%{public}s %{public}s", prefix.constData(), message.constData());
}

#else

void emitUnified(DiagnosticLog::Category category, DiagnosticLog::UnifiedType type, const QByteArray &prefix,
                 const QByteArray &message)
{
    // syslog has one identity per process, so the category cannot travel as a field of its own.
    static std::once_flag once;
    std::call_once(once, [] { openlog(bundleIdentifier, LOG_PID, LOG_USER); });
    Q_UNUSED(category);
    syslog(syslogPriority(type), "%s %s", prefix.constData(), message.constData());
}

#endif

} // namespace quorvel::records

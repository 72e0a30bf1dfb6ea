#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace quorvel {
class UserDefaults;
}

namespace quorvel::DiagnosticLog {

// Declaration order is severity order: debug < info < warning < error.
enum class Level { debug, info, warning, error };
enum class Category : quint8 { timed, display, clamshell, authorization, battery, app, startup };

QString rawValue(Level level);                          // "debug", "info", ...
std::optional<Level> levelFromRaw(const QString &text); // exact, case-sensitive
QString prefix(Level level);                            // "DEBUG", "INFO", "WARNING", "ERROR"
QString token(Category category);                       // "timed", "display", ...

// The unified-logging type each level is emitted with. A warning is an ordinary ("default")
// entry, not an error.
enum class UnifiedType { debug, info, standard, error };
UnifiedType unifiedType(Level level);

// The user-defaults key that sets the minimum level; read once per process.
inline constexpr auto minimumLevelKey = "diagnosticMinLogLevel";

// The one logging call: any thread, never fails, never throws. A message below the minimum
// level costs one locked read; one at or above it goes to the system's unified log (syslog
// on Linux) and then as one line to the log file:
//   "yyyy-MM-dd HH:mm:ss.SSS [LEVEL] [category] message" (local time).
void log(Level level, Category category, const QString &message);

// <Library>/Logs/<bundle identifier>/diagnostic.log (on Linux the Logs folder is
// $XDG_STATE_HOME, ~/.local/state).
QString defaultLocation();

// Test seam, for tests only (see tests/support/LogCapture.h):
// - the file output goes to `path` from now on; an empty path switches the file output off;
// - the minimum level read so far is forgotten, so the next call reads "diagnosticMinLogLevel"
//   again, from `defaults` when given, else from UserDefaults::standard();
// - the system-log output is muted for the rest of the process, so tests leave no trace in
//   the machine's log.
void resetForTesting(const QString &path, std::shared_ptr<UserDefaults> defaults = nullptr);

} // namespace quorvel::DiagnosticLog

#pragma once

#include <QString>
#include <optional>

namespace quorvel::DiagnosticLog {

enum class Level { debug, info, warning, error };
enum class Category : quint8 { timed, display, clamshell, authorization, battery, app, startup };

QString rawValue(Level level);            // "debug", "info", ...
std::optional<Level> levelFromRaw(const QString &text); // exact, case-sensitive
QString token(Category category);         // "timed", "display", ...

// The one logging call: any thread, never fails, never throws.
void log(Level level, Category category, const QString &message);

// <Library>/Logs/<bundle identifier>/diagnostic.log (on Linux the Logs folder is
// $XDG_STATE_HOME, ~/.local/state).
QString defaultLocation();

// Test seam: sends the file output to `path` from now on and forgets the minimum level
// read so far, so the next call reads "diagnosticMinLogLevel" again.
void resetForTesting(const QString &path);

} // namespace quorvel::DiagnosticLog

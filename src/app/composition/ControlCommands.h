#pragma once

#include "state/VemoState.h"

#include <QJsonObject>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace quorvel {

// The running app driven from outside: `quorvel ctl ...`, the quorvel:// address scheme and a
// second launch all become one request object, answered through the same entry points as the
// menu, so the menu's admission rules answer them too.
namespace ControlCommands {

// "90m", "2h", "1h30m", "5400" (seconds) -> seconds; none for anything else, and for less than
// a minute or more than eight hours.
std::optional<qint64> parseDuration(const QString &text);

// What the server accepts, one check per request field, so that every client (ctl, the
// address scheme, a script on the raw socket) meets the same rules. Each gives the value, or
// none with `problem` saying why; a missing optional field gives its default.
std::optional<qint64> secondsField(const QJsonObject &request, QString &problem);
std::optional<bool> switchField(const QJsonObject &request, const QString &name, QString &problem);
std::optional<QStringList> argumentsField(const QJsonObject &request, QString &problem);
// Why `request` cannot be served (empty: it can): the command and every field it carries.
QString requestProblem(const QJsonObject &request);
// A clock time for `--until` / `?until=`: "18:30" (local, today or else tomorrow) or an ISO
// date-time ("2026-12-07T18:30", local unless it names its offset). Returns the moment in
// UTC, or none when the text is neither. `now` carries the time zone that "local" means.
std::optional<QDateTime> resolveUntil(const QString &text, const QDateTime &now);

// `quorvel ctl <arguments>` (without "ctl"): the request, or an error text for the user.
struct Parsed {
    QJsonObject request;
    QString error;
    bool json = false;      // --json: the reply as JSON for scripts
    QStringList runCommand; // run: the command and its arguments, after "--"
};
Parsed parseArguments(const QStringList &arguments, const QDateTime &now = QDateTime::currentDateTime());

// quorvel://start?duration=90m, quorvel://stop, quorvel://indefinite, quorvel://display?on=1
// (also more, less, status): none for anything else, unknown parameters included.
// start?pid=N keeps a session while that process runs, start?until=18:30 until then.
std::optional<QJsonObject> parseUrl(const QUrl &url, const QDateTime &now = QDateTime::currentDateTime());

// The state as one object: timed session (with remaining seconds), display, closed-lid mode,
// power, authorization, the start-up leftover and the last error.
QJsonObject statusJson(const VemoState &state);
// The same object read back; none when it is not one statusJson could have written.
std::optional<VemoState> stateFromStatusJson(const QJsonObject &status);
// A few lines for a person, in the interface language.
QString describe(const VemoState &state);

QString usage();

} // namespace ControlCommands

} // namespace quorvel

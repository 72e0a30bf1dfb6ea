#include "app/composition/ControlCommands.h"

#include "state/AppStateStore.h"
#include "ui/Presentation.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrlQuery>
#include <array>
#include <cmath>
#include <limits>

namespace quorvel {

namespace {

constexpr qint64 shortestDuration = 60, longestDuration = 8 * 3600;

// Case names in declaration order, the same words the event history uses.
constexpr std::array timedNames{"off", "starting", "running", "runningPermanent", "stopping", "ended", "failed"};
constexpr std::array displayNames{"off", "starting", "on", "stopping", "failed"};
constexpr std::array clamshellNames{"off",
                                    "authorizationRequired",
                                    "starting",
                                    "runningOnPowerAdapter",
                                    "runningOnBattery",
                                    "lowBatteryWarning",
                                    "safetyStopped",
                                    "stopping",
                                    "failed"};
constexpr std::array authorizationNames{"unknown", "required", "granting", "granted", "denied", "revoked", "failed"};
constexpr std::array sourceNames{"battery", "powerAdapter", "unknown"};

std::optional<VemoError> errorFromString(const QString &text)
{
    for (int i = 0; i <= int(VemoError::authorizationRevokeFailed); ++i)
        if (toString(VemoError(i)) == text)
            return VemoError(i);
    return std::nullopt;
}

// The payload of a case, written into and read from its object.
template <class T> void writePayload(QJsonObject &out, const T &value)
{
    if constexpr (requires { value.remainingSeconds; })
        out.insert(QStringLiteral("remainingSeconds"), value.remainingSeconds);
    if constexpr (requires { value.level; })
        out.insert(QStringLiteral("level"), value.level);
    if constexpr (requires { value.error; })
        out.insert(QStringLiteral("error"), toString(value.error));
}

template <class T> bool readPayload(const QJsonObject &in, T &value)
{
    if constexpr (requires { value.remainingSeconds; }) {
        if (!in.value(QStringLiteral("remainingSeconds")).isDouble())
            return false;
        value.remainingSeconds = in.value(QStringLiteral("remainingSeconds")).toInteger();
    }
    if constexpr (requires { value.level; }) {
        if (!in.value(QStringLiteral("level")).isDouble())
            return false;
        value.level = in.value(QStringLiteral("level")).toInteger();
    }
    if constexpr (requires { value.error; }) {
        const auto error = errorFromString(in.value(QStringLiteral("error")).toString());
        if (!error)
            return false;
        value.error = *error;
    }
    return true;
}

template <class Variant, std::size_t N>
QJsonObject encode(const Variant &value, const std::array<const char *, N> &names)
{
    static_assert(std::variant_size_v<Variant> == N);
    QJsonObject out{{QStringLiteral("state"), QString::fromLatin1(names[value.index()])}};
    std::visit([&](const auto &alternative) { writePayload(out, alternative); }, value);
    return out;
}

template <class Variant, std::size_t N, std::size_t I = 0>
std::optional<Variant> decode(const QJsonObject &in, const std::array<const char *, N> &names)
{
    if constexpr (I == N) {
        return std::nullopt;
    } else {
        if (in.value(QStringLiteral("state")).toString() == QLatin1String(names[I])) {
            std::variant_alternative_t<I, Variant> alternative;
            if (!readPayload(in, alternative))
                return std::nullopt;
            return Variant(alternative);
        }
        return decode<Variant, N, I + 1>(in, names);
    }
}

QJsonObject command(const char *name)
{
    return {{QStringLiteral("command"), QString::fromLatin1(name)}};
}

std::optional<qint64> parsePid(const QString &text)
{
    bool ok = false;
    const qint64 pid = text.toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<qint32>::max() || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return pid;
}

constexpr std::array bindingNames{"command", "process", "until"};

QJsonObject bindingJson(const SessionBinding &binding)
{
    QJsonObject out{{QStringLiteral("kind"), QString::fromLatin1(bindingNames[size_t(binding.kind)])}};
    if (!binding.name.isEmpty())
        out.insert(QStringLiteral("name"), binding.name);
    if (binding.pid)
        out.insert(QStringLiteral("pid"), *binding.pid);
    if (binding.until.isValid())
        out.insert(QStringLiteral("until"), binding.until.toUTC().toString(Qt::ISODate));
    return out;
}

std::optional<SessionBinding> bindingFromJson(const QJsonObject &in)
{
    const QString kind = in.value(QStringLiteral("kind")).toString();
    const auto found =
        std::find_if(bindingNames.begin(), bindingNames.end(), [&](const char *n) { return kind == QLatin1String(n); });
    if (found == bindingNames.end())
        return std::nullopt;
    SessionBinding binding;
    binding.kind = SessionBinding::Kind(found - bindingNames.begin());
    binding.name = in.value(QStringLiteral("name")).toString();
    if (in.value(QStringLiteral("pid")).isDouble())
        binding.pid = in.value(QStringLiteral("pid")).toInteger();
    binding.until = QDateTime::fromString(in.value(QStringLiteral("until")).toString(), Qt::ISODate).toUTC();
    return binding;
}

} // namespace

namespace ControlCommands {

std::optional<qint64> parseDuration(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d{1,4})h)?(?:(\\d{1,5})m)?(?:(\\d{1,6})s?)?$"));
    const QString trimmed = text.trimmed().toLower();
    const QRegularExpressionMatch match = pattern.match(trimmed);
    if (trimmed.isEmpty() || !match.hasMatch())
        return std::nullopt;
    const qint64 seconds =
        match.captured(1).toLongLong() * 3600 + match.captured(2).toLongLong() * 60 + match.captured(3).toLongLong();
    if (seconds < shortestDuration || seconds > longestDuration)
        return std::nullopt;
    return seconds;
}

std::optional<qint64> secondsField(const QJsonObject &request, QString &problem)
{
    const QJsonValue value = request.value(QStringLiteral("seconds"));
    if (value.isUndefined())
        return 7200;
    // A JSON number is a double: "60", 2.5 and 1e300 must not slip through a conversion.
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number != std::floor(number) || number < double(shortestDuration)
        || number > double(longestDuration)) {
        problem =
            QStringLiteral("seconds must be a whole number from %1 to %2").arg(shortestDuration).arg(longestDuration);
        return std::nullopt;
    }
    return qint64(number);
}

std::optional<bool> switchField(const QJsonObject &request, const QString &name, QString &problem)
{
    const QJsonValue value = request.value(name);
    if (value.isUndefined())
        return false;
    if (!value.isBool()) {
        problem = QStringLiteral("%1 must be true or false").arg(name);
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<QStringList> argumentsField(const QJsonObject &request, QString &problem)
{
    const QJsonValue value = request.value(QStringLiteral("arguments"));
    if (value.isUndefined())
        return QStringList();
    QStringList arguments;
    if (value.isArray()) {
        for (const QJsonValue &argument : value.toArray()) {
            if (!argument.isString())
                break;
            arguments << argument.toString();
        }
        if (arguments.size() == value.toArray().size())
            return arguments;
    }
    problem = QStringLiteral("arguments must be a list of texts");
    return std::nullopt;
}

QString requestProblem(const QJsonObject &request)
{
    const QJsonValue command = request.value(QStringLiteral("command"));
    if (!command.isString())
        return QStringLiteral("command must be a text");
    const QString verb = command.toString();
    QString problem;
    if (verb == QLatin1String("start"))
        secondsField(request, problem);
    else if (verb == QLatin1String("display") || verb == QLatin1String("closedLid"))
        switchField(request, QStringLiteral("on"), problem);
    else if (verb == QLatin1String("quit"))
        switchField(request, QStringLiteral("force"), problem);
    else if (verb == QLatin1String("activate"))
        argumentsField(request, problem);
    return problem;
}

std::optional<QDateTime> resolveUntil(const QString &text, const QDateTime &now)
{
    // A local time that falls in a daylight-saving gap does not exist that day: it means the
    // first minute the clock shows after it, the end of the gap.
    const auto local = [zone = now.timeZone()](const QDate &date, const QTime &time) {
        const QDateTime wall(date, time, QTimeZone::utc()); // the clock's reading, without a zone
        for (int minutes = 0; minutes <= 180; ++minutes) {
            const QDateTime shown = wall.addSecs(60 * minutes);
            const QDateTime moment(shown.date(), shown.time(), zone);
            // Some Qt versions move a time in a gap on by the gap's length: only a moment the
            // clock really shows counts.
            if (moment.isValid() && moment.date() == shown.date() && moment.time() == shown.time())
                return moment.toUTC();
        }
        return QDateTime();
    };
    const QString trimmed = text.trimmed();
    static const QRegularExpression clock(QStringLiteral("^([01]?\\d|2[0-3]):([0-5]\\d)$"));
    if (const QRegularExpressionMatch match = clock.match(trimmed); match.hasMatch()) {
        const QTime time(match.captured(1).toInt(), match.captured(2).toInt());
        // A time that has passed today (or is this very minute) means tomorrow.
        for (int days = 0; days <= 1; ++days) {
            const QDateTime candidate = local(now.date().addDays(days), time);
            if (candidate.isValid() && candidate > now)
                return candidate;
        }
        return std::nullopt;
    }
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})[T ](\\d{2}:\\d{2}(?::\\d{2})?)(Z|[+-]\\d{2}:?\\d{2})?$"));
    const QRegularExpressionMatch match = iso.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    // Without an offset the time is local; it is read as if in UTC first, so that the
    // machine's own zone (and its gaps) play no part in reading it.
    const bool hasOffset = !match.captured(3).isEmpty();
    const QDateTime parsed = QDateTime::fromString(match.captured(1) + QLatin1Char('T') + match.captured(2)
                                                       + (hasOffset ? match.captured(3) : QStringLiteral("Z")),
                                                   Qt::ISODate);
    if (!parsed.isValid())
        return std::nullopt;
    const QDateTime until = hasOffset ? parsed.toUTC() : local(parsed.date(), parsed.time());
    return until.isValid() ? std::optional(until) : std::nullopt;
}

Parsed parseArguments(const QStringList &arguments, const QDateTime &now)
{
    Parsed parsed;
    QStringList words;
    // Everything after "--" belongs to the command `run` starts, "--json" included.
    const qsizetype separator = arguments.indexOf(QStringLiteral("--"));
    for (qsizetype i = 0; i < (separator < 0 ? arguments.size() : separator); ++i) {
        if (arguments[i] == QLatin1String("--json"))
            parsed.json = true;
        else
            words << arguments[i];
    }
    if (words.value(0) == QLatin1String("run")) {
        const bool display = words.size() == 2 && words[1] == QLatin1String("--display");
        if (separator < 0 || separator + 1 >= arguments.size() || (words.size() != 1 && !display)) {
            parsed.error = QStringLiteral("usage: quorvel ctl run [--display] -- COMMAND [ARGUMENTS...]");
            return parsed;
        }
        parsed.runCommand = arguments.mid(separator + 1);
        parsed.request = command("run");
        parsed.request.insert(QStringLiteral("name"), QFileInfo(parsed.runCommand.first()).fileName().left(255));
        parsed.request.insert(QStringLiteral("display"), display);
        return parsed; // the pid is the command's, known once it has been started
    }
    if (separator >= 0) {
        parsed.error = usage();
        return parsed;
    }
    if (words.value(0) == QLatin1String("start") && words.size() == 3) {
        if (words[1] == QLatin1String("--while-pid")) {
            if (const auto pid = parsePid(words[2]))
                parsed.request = {{QStringLiteral("command"), QStringLiteral("start")}, {QStringLiteral("pid"), *pid}};
            else
                parsed.error = QStringLiteral("--while-pid takes a process id, like 4242");
            return parsed;
        }
        if (words[1] == QLatin1String("--until")) {
            if (const auto until = resolveUntil(words[2], now))
                parsed.request = {{QStringLiteral("command"), QStringLiteral("start")},
                                  {QStringLiteral("until"), until->toString(Qt::ISODate)}};
            else
                parsed.error =
                    QStringLiteral("--until takes a time like 18:30 or a date and time like 2026-12-24T18:30");
            return parsed;
        }
    }
    const QString verb = words.value(0);
    const QString argument = words.value(1);
    const auto onOff = [&](const char *name) {
        if (words.size() != 2 || (argument != QLatin1String("on") && argument != QLatin1String("off"))) {
            parsed.error = QStringLiteral("%1 takes on or off").arg(QString::fromLatin1(name));
            return;
        }
        parsed.request = command(name);
        parsed.request.insert(QStringLiteral("on"), argument == QLatin1String("on"));
    };
    if (words.size() == 1
        && QStringList{QStringLiteral("status"), QStringLiteral("indefinite"), QStringLiteral("stop"),
                       QStringLiteral("more"), QStringLiteral("less"), QStringLiteral("authorize")}
               .contains(verb)) {
        parsed.request = {{QStringLiteral("command"), verb}};
    } else if (verb == QLatin1String("start") && words.size() <= 2) {
        const auto seconds = words.size() == 2 ? parseDuration(argument) : std::optional<qint64>(7200);
        if (!seconds)
            parsed.error = QStringLiteral("a duration is like 90m, 2h, 1h30m or 5400 (seconds), from 1m to 8h");
        else
            parsed.request = {{QStringLiteral("command"), QStringLiteral("start")},
                              {QStringLiteral("seconds"), *seconds}};
    } else if (verb == QLatin1String("display")) {
        onOff("display");
    } else if (verb == QLatin1String("closed-lid")) {
        onOff("closedLid");
    } else if (verb == QLatin1String("quit")
               && (words.size() == 1 || (words.size() == 2 && argument == QLatin1String("--force")))) {
        parsed.request = command("quit");
        parsed.request.insert(QStringLiteral("force"), words.size() == 2);
    } else {
        parsed.error = usage();
    }
    return parsed;
}

std::optional<QJsonObject> parseUrl(const QUrl &url, const QDateTime &now)
{
    if (!url.isValid() || url.scheme() != QLatin1String("quorvel")
        || (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return std::nullopt;
    const QString verb = url.host();
    const QUrlQuery query(url);
    const auto items = query.queryItems();
    const auto only = [&](const QStringList &allowed) {
        for (const auto &[key, value] : items)
            if (!allowed.contains(key))
                return false;
        return true;
    };
    if (QStringList{QStringLiteral("stop"), QStringLiteral("indefinite"), QStringLiteral("more"),
                    QStringLiteral("less"), QStringLiteral("status")}
            .contains(verb)) {
        if (!items.isEmpty())
            return std::nullopt;
        return QJsonObject{{QStringLiteral("command"), verb}};
    }
    if (verb == QLatin1String("start") && items.size() == 1 && only({QStringLiteral("pid")})) {
        const auto pid = parsePid(query.queryItemValue(QStringLiteral("pid")));
        if (!pid)
            return std::nullopt;
        return QJsonObject{{QStringLiteral("command"), QStringLiteral("start")}, {QStringLiteral("pid"), *pid}};
    }
    if (verb == QLatin1String("start") && items.size() == 1 && only({QStringLiteral("until")})) {
        const auto until = resolveUntil(query.queryItemValue(QStringLiteral("until"), QUrl::FullyDecoded), now);
        if (!until)
            return std::nullopt;
        return QJsonObject{{QStringLiteral("command"), QStringLiteral("start")},
                           {QStringLiteral("until"), until->toString(Qt::ISODate)}};
    }
    if (verb == QLatin1String("start") && only({QStringLiteral("duration")})) {
        const auto seconds = query.hasQueryItem(QStringLiteral("duration"))
                                 ? parseDuration(query.queryItemValue(QStringLiteral("duration")))
                                 : std::optional<qint64>(7200);
        if (!seconds)
            return std::nullopt;
        return QJsonObject{{QStringLiteral("command"), QStringLiteral("start")}, {QStringLiteral("seconds"), *seconds}};
    }
    if (verb == QLatin1String("display") && only({QStringLiteral("on")})) {
        const QString on = query.queryItemValue(QStringLiteral("on"));
        if (on != QLatin1String("1") && on != QLatin1String("0"))
            return std::nullopt;
        return QJsonObject{{QStringLiteral("command"), QStringLiteral("display")},
                           {QStringLiteral("on"), on == QLatin1String("1")}};
    }
    return std::nullopt;
}

QJsonObject statusJson(const VemoState &state)
{
    QJsonObject power{{QStringLiteral("source"), QString::fromLatin1(sourceNames[int(state.power.powerSource)])}};
    if (state.power.batteryLevel)
        power.insert(QStringLiteral("level"), *state.power.batteryLevel);
    if (state.power.isLowPowerModeEnabled)
        power.insert(QStringLiteral("lowPowerMode"), *state.power.isLowPowerModeEnabled);
    QJsonObject timed = encode(state.timedSession, timedNames);
    if (state.sessionBinding)
        timed.insert(QStringLiteral("binding"), bindingJson(*state.sessionBinding));
    return {{QStringLiteral("timedSession"), timed},
            {QStringLiteral("displayAwake"), encode(state.displayAwake, displayNames)},
            {QStringLiteral("closedLid"), encode(state.clamshell, clamshellNames)},
            {QStringLiteral("power"), power},
            {QStringLiteral("authorization"), encode(state.authorization, authorizationNames)},
            {QStringLiteral("startupLeftover"), state.startupResidual},
            {QStringLiteral("lastError"), state.lastError ? QJsonValue(toString(*state.lastError)) : QJsonValue()}};
}

std::optional<VemoState> stateFromStatusJson(const QJsonObject &status)
{
    VemoState state;
    const auto timed = decode<TimedSessionState>(status.value(QStringLiteral("timedSession")).toObject(), timedNames);
    const auto display =
        decode<DisplayAwakeState>(status.value(QStringLiteral("displayAwake")).toObject(), displayNames);
    const auto clamshell = decode<ClamshellState>(status.value(QStringLiteral("closedLid")).toObject(), clamshellNames);
    const auto authorization =
        decode<AuthorizationState>(status.value(QStringLiteral("authorization")).toObject(), authorizationNames);
    if (!timed || !display || !clamshell || !authorization || !status.value(QStringLiteral("startupLeftover")).isBool())
        return std::nullopt;
    state.timedSession = *timed;
    const QJsonObject timedObject = status.value(QStringLiteral("timedSession")).toObject();
    if (timedObject.value(QStringLiteral("binding")).isObject())
        state.sessionBinding = bindingFromJson(timedObject.value(QStringLiteral("binding")).toObject());
    state.displayAwake = *display;
    state.clamshell = *clamshell;
    state.authorization = *authorization;
    state.startupResidual = status.value(QStringLiteral("startupLeftover")).toBool();
    const QJsonObject power = status.value(QStringLiteral("power")).toObject();
    const QString source = power.value(QStringLiteral("source")).toString();
    const auto found =
        std::find_if(sourceNames.begin(), sourceNames.end(), [&](const char *n) { return source == QLatin1String(n); });
    if (found == sourceNames.end())
        return std::nullopt;
    state.power.powerSource = PowerSource(found - sourceNames.begin());
    if (power.contains(QStringLiteral("level")))
        state.power.batteryLevel = power.value(QStringLiteral("level")).toInteger();
    if (power.contains(QStringLiteral("lowPowerMode")))
        state.power.isLowPowerModeEnabled = power.value(QStringLiteral("lowPowerMode")).toBool();
    const QJsonValue error = status.value(QStringLiteral("lastError"));
    if (!error.isNull()) {
        state.lastError = errorFromString(error.toString());
        if (!state.lastError)
            return std::nullopt;
    }
    return state;
}

QString describe(const VemoState &state)
{
    const qint64 threshold = AppStateStore::defaultThreshold;
    QStringList lines;
    lines << qtTrId("idleSleep") + QStringLiteral(": ") + Presentation::idleRowSubtitle(state)
                 + (Presentation::menuBarCountdown(state)
                        ? QStringLiteral(" (") + *Presentation::menuBarCountdown(state) + QLatin1Char(')')
                        : QString());
    const auto display = Presentation::displayWakeRow(state);
    lines << qtTrId("keepDisplayOn") + QStringLiteral(": ")
                 + Presentation::displayRowSubtitleKey(display.status).text();
    const auto lid = Presentation::closedLidRow(state, threshold);
    lines << qtTrId("closedLidMode") + QStringLiteral(": ")
                 + Presentation::closedLidStatusText(lid.status, threshold)
                       .value_or(Presentation::closedLidSubtitleKey(lid.status, state).text());
    return lines.join(QLatin1Char('\n'));
}

QString usage()
{
    return QStringLiteral("usage: quorvel ctl [--json] COMMAND\n"
                          "  status                  the state as one line each (or JSON)\n"
                          "  start [DURATION]        keep awake for 90m, 2h, 1h30m or 5400 seconds (default 2h)\n"
                          "  start --until TIME      keep awake until 18:30 (or 2026-12-24T18:30), at most 8h away\n"
                          "  start --while-pid PID   keep awake while that process runs\n"
                          "  run [--display] -- CMD  run CMD here and keep awake while it runs; exits with its status\n"
                          "  indefinite              keep awake until stopped\n"
                          "  stop                    end the session\n"
                          "  more | less             30 minutes more or less\n"
                          "  display on|off          keep the display on during the session\n"
                          "  closed-lid on|off       closed-lid mode\n"
                          "  authorize               install the closed-lid authorization (administrator dialog)\n"
                          "  quit [--force]          quit (--force: without asking)\n"
                          "  history [--days N]      what kept the computer awake, the last N days (default 14)");
}

} // namespace ControlCommands

} // namespace quorvel

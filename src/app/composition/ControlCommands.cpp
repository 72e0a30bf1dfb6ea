#include "app/composition/ControlCommands.h"

#include "state/AppStateStore.h"
#include "ui/Presentation.h"

#include <QRegularExpression>
#include <QUrlQuery>
#include <array>

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

Parsed parseArguments(const QStringList &arguments)
{
    Parsed parsed;
    QStringList words;
    for (const QString &word : arguments) {
        if (word == QLatin1String("--json"))
            parsed.json = true;
        else
            words << word;
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

std::optional<QJsonObject> parseUrl(const QUrl &url)
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
    return {{QStringLiteral("timedSession"), encode(state.timedSession, timedNames)},
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
    lines << qtTrId("idleSleep") + QStringLiteral(": ") + Presentation::idleRowSubtitleKey(state).text()
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

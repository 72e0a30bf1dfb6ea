#include "records/VemoEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

namespace quorvel {

namespace {

// The history file counts time from 2001-01-01 00:00:00 UTC, in seconds with a fraction.
constexpr qint64 referenceEpochMs = Q_INT64_C(978307200000);

// Seconds around the reference date that QDateTime can still represent comfortably; a
// timestamp outside them is corrupt data, not a moment we ever wrote.
constexpr double maxReferenceSeconds = 1.0e13;

const QString invalidKeyCount = QStringLiteral("Invalid number of keys found, expected one.");

// Case names of each tagged variant, by alternative index.
constexpr std::array<const char *, std::variant_size_v<VemoEventKind>> kindNames = {
    "appLaunched",
    "appQuit",
    "cleanupCompleted",
    "cleanupPartial",
    "timedStarted",
    "timedEndedNaturally",
    "timedStoppedManually",
    "timedFailed",
    "displayAwakeOn",
    "displayAwakeOff",
    "displayAwakeFailed",
    "clamshellStarted",
    "clamshellStopped",
    "lowBatteryWarningEntered",
    "lowBatteryWarningCleared",
    "safetyStopTriggered",
    "authorizationRequested",
    "authorizationGranted",
    "authorizationDenied",
    "authorizationRevoked",
    "startupResidualDetected",
    "startupResidualRestoredByUser",
    "quitRequested",
};
constexpr std::array<const char *, 4> quitBlockerNames = {"timed", "timedPermanent", "clamshell", "display"};
constexpr std::array<const char *, 3> quitKindNames = {"onAdapter", "onBattery", "lowBattery"};
constexpr std::array<const char *, 3> powerSourceNames = {"battery", "powerAdapter", "unknown"};
constexpr std::array<const char *, 4> stopReasonNames = {"manual", "safety", "quit", "failed"};

// ---- encoding -------------------------------------------------------------------------

QJsonObject tagged(const char *caseName, QJsonObject payload = {})
{
    QJsonObject object;
    object.insert(QLatin1String(caseName), payload);
    return object;
}

QJsonObject encodeEnum(PowerSource source)
{
    return tagged(powerSourceNames[static_cast<size_t>(source)]);
}

QJsonObject encodeEnum(ClamshellStopReason reason)
{
    return tagged(stopReasonNames[static_cast<size_t>(reason)]);
}

void putOptional(QJsonObject &object, const char *key, const std::optional<qint64> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

template <class T>
requires std::is_empty_v<T>
void encodePayload(const T &, QJsonObject &) {}

QJsonObject encodeQuitKind(const ClamshellQuitKind &kind)
{
    QJsonObject payload;
    if (const auto *b = std::get_if<ClamshellQuitKinds::OnBattery>(&kind))
        payload.insert(QLatin1String("level"), b->level);
    else if (const auto *l = std::get_if<ClamshellQuitKinds::LowBattery>(&kind))
        payload.insert(QLatin1String("level"), l->level);
    return tagged(quitKindNames[kind.index()], payload);
}

QJsonObject encodeBlocker(const QuitBlocker &blocker)
{
    QJsonObject payload;
    if (const auto *t = std::get_if<QuitBlockers::Timed>(&blocker))
        payload.insert(QLatin1String("remainingSeconds"), t->remainingSeconds);
    else if (const auto *c = std::get_if<QuitBlockers::Clamshell>(&blocker))
        payload.insert(QLatin1String("_0"), encodeQuitKind(c->kind));
    return tagged(quitBlockerNames[blocker.index()], payload);
}

void encodePayload(const EventKind::AppLaunched &k, QJsonObject &o)
{
    o.insert(QLatin1String("version"), k.version);
    o.insert(QLatin1String("build"), k.build);
}
void encodePayload(const EventKind::AppQuit &k, QJsonObject &o)
{
    o.insert(QLatin1String("clean"), k.clean);
}
void encodePayload(const EventKind::CleanupPartial &k, QJsonObject &o)
{
    QJsonArray modules;
    for (ModuleId id : k.failedModules)
        modules.append(rawValue(id));
    o.insert(QLatin1String("failedModules"), modules);
}
constexpr std::array<const char *, 3> bindingKindNames = {"command", "process", "until"};

void encodePayload(const EventKind::TimedStarted &k, QJsonObject &o)
{
    o.insert(QLatin1String("durationSeconds"), k.durationSeconds);
    if (!k.binding)
        return;
    QJsonObject binding;
    binding.insert(QLatin1String("kind"), QLatin1String(bindingKindNames[size_t(k.binding->kind)]));
    if (!k.binding->name.isEmpty())
        binding.insert(QLatin1String("name"), k.binding->name);
    putOptional(binding, "pid", k.binding->pid);
    if (k.binding->until.isValid())
        binding.insert(QLatin1String("until"), k.binding->until.toUTC().toString(Qt::ISODate));
    o.insert(QLatin1String("binding"), binding);
}
void encodePayload(const EventKind::TimedEndedNaturally &k, QJsonObject &o)
{
    putOptional(o, "remainingSeconds", k.remainingSeconds);
}
void encodePayload(const EventKind::ClamshellStarted &k, QJsonObject &o)
{
    o.insert(QLatin1String("onPowerAdapter"), k.onPowerAdapter);
    putOptional(o, "batteryLevel", k.batteryLevel);
}
void encodePayload(const EventKind::ClamshellStopped &k, QJsonObject &o)
{
    o.insert(QLatin1String("reason"), encodeEnum(k.reason));
}
void encodePayload(const EventKind::LowBatteryWarningEntered &k, QJsonObject &o)
{
    o.insert(QLatin1String("level"), k.level);
}
void encodePayload(const EventKind::SafetyStopTriggered &k, QJsonObject &o)
{
    o.insert(QLatin1String("level"), k.level);
}
void encodePayload(const EventKind::AuthorizationRevoked &k, QJsonObject &o)
{
    o.insert(QLatin1String("success"), k.success);
}
void encodePayload(const EventKind::QuitRequested &k, QJsonObject &o)
{
    QJsonArray blockers;
    for (const QuitBlocker &b : k.blockers)
        blockers.append(encodeBlocker(b));
    o.insert(QLatin1String("blockers"), blockers);
}

QJsonObject encodeKind(const VemoEventKind &kind)
{
    QJsonObject payload;
    std::visit([&](const auto &k) { encodePayload(k, payload); }, kind);
    return tagged(kindNames[kind.index()], payload);
}

QJsonObject encodeEvidence(const SystemEvidence &e)
{
    QJsonObject object;
    putOptional(object, "sleepDisabled", e.sleepDisabled);
    if (e.powerSource)
        object.insert(QLatin1String("powerSource"), encodeEnum(*e.powerSource));
    putOptional(object, "batteryLevel", e.batteryLevel);
    return object;
}

// ---- decoding -------------------------------------------------------------------------

// Collects the first failure; every decode step returns false once it has one.
struct Decoder {
    QString error;

    bool fail(QString description)
    {
        if (error.isEmpty())
            error = std::move(description);
        return false;
    }
    bool missing(QLatin1String key) { return fail(QStringLiteral("No value associated with key \"%1\".").arg(key)); }
    bool mismatch(const char *expected, QLatin1String key)
    {
        return fail(QStringLiteral("Expected to decode %1 for key \"%2\".").arg(QLatin1String(expected), key));
    }

    bool integer(const QJsonValue &v, QLatin1String key, qint64 &out)
    {
        // A number that is not a whole number gives different answers for different defaults.
        if (!v.isDouble() || v.toInteger(0) != v.toInteger(1))
            return mismatch("Int64", key);
        out = v.toInteger();
        return true;
    }

    bool requiredInt(const QJsonObject &o, const char *name, qint64 &out)
    {
        const QLatin1String key(name);
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return missing(key);
        return integer(v, key, out);
    }

    // Absent and null both mean "not recorded".
    bool optionalInt(const QJsonObject &o, const char *name, std::optional<qint64> &out)
    {
        const QLatin1String key(name);
        const QJsonValue v = o.value(key);
        out.reset();
        if (v.isUndefined() || v.isNull())
            return true;
        qint64 value = 0;
        if (!integer(v, key, value))
            return false;
        out = value;
        return true;
    }

    bool requiredBool(const QJsonObject &o, const char *name, bool &out)
    {
        const QLatin1String key(name);
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return missing(key);
        if (!v.isBool())
            return mismatch("Bool", key);
        out = v.toBool();
        return true;
    }

    bool requiredString(const QJsonObject &o, const char *name, QString &out)
    {
        const QLatin1String key(name);
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return missing(key);
        if (!v.isString())
            return mismatch("String", key);
        out = v.toString();
        return true;
    }

    bool requiredArray(const QJsonObject &o, const char *name, QJsonArray &out)
    {
        const QLatin1String key(name);
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return missing(key);
        if (!v.isArray())
            return mismatch("Array", key);
        out = v.toArray();
        return true;
    }

    bool requiredObject(const QJsonValue &v, QLatin1String key, QJsonObject &out)
    {
        if (v.isUndefined() || v.isNull())
            return missing(key);
        if (!v.isObject())
            return mismatch("Dictionary", key);
        out = v.toObject();
        return true;
    }

    // A tagged variant: exactly one key naming a case (other keys do not count), whose value
    // is the payload object. Gives the case index and the payload.
    template <size_t N>
    bool tag(const QJsonValue &value, QLatin1String key, const std::array<const char *, N> &names, size_t &index,
             QJsonObject &payload)
    {
        QJsonObject object;
        if (!requiredObject(value, key, object))
            return false;
        int found = 0;
        for (size_t i = 0; i < N; ++i) {
            if (object.contains(QLatin1String(names[i]))) {
                ++found;
                index = i;
            }
        }
        if (found != 1)
            return fail(invalidKeyCount);
        const QLatin1String caseKey(names[index]);
        return requiredObject(object.value(caseKey), caseKey, payload);
    }

    template <class E, size_t N>
    bool enumeration(const QJsonValue &value, QLatin1String key, const std::array<const char *, N> &names, E &out)
    {
        size_t index = 0;
        QJsonObject payload;
        if (!tag(value, key, names, index, payload))
            return false;
        out = static_cast<E>(index);
        return true;
    }
};

bool decodeQuitKind(const QJsonValue &value, Decoder &d, ClamshellQuitKind &out)
{
    size_t index = 0;
    QJsonObject payload;
    if (!d.tag(value, QLatin1String("_0"), quitKindNames, index, payload))
        return false;
    qint64 level = 0;
    switch (index) {
    case 0: out = ClamshellQuitKinds::OnAdapter{}; return true;
    case 1:
        if (!d.requiredInt(payload, "level", level))
            return false;
        out = ClamshellQuitKinds::OnBattery{level};
        return true;
    default:
        if (!d.requiredInt(payload, "level", level))
            return false;
        out = ClamshellQuitKinds::LowBattery{level};
        return true;
    }
}

bool decodeBlocker(const QJsonValue &value, Decoder &d, QuitBlocker &out)
{
    size_t index = 0;
    QJsonObject payload;
    if (!d.tag(value, QLatin1String("blockers"), quitBlockerNames, index, payload))
        return false;
    switch (index) {
    case 0: {
        QuitBlockers::Timed timed;
        if (!d.requiredInt(payload, "remainingSeconds", timed.remainingSeconds))
            return false;
        out = timed;
        return true;
    }
    case 1: out = QuitBlockers::TimedPermanent{}; return true;
    case 2: {
        QuitBlockers::Clamshell clamshell;
        const QJsonValue inner = payload.value(QLatin1String("_0"));
        if (!decodeQuitKind(inner, d, clamshell.kind))
            return false;
        out = clamshell;
        return true;
    }
    default: out = QuitBlockers::Display{}; return true;
    }
}

template <class T>
requires std::is_empty_v<T>
bool decodePayload(const QJsonObject &, Decoder &, T &)
{
    return true;
}

bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::AppLaunched &k)
{
    return d.requiredString(o, "version", k.version) && d.requiredString(o, "build", k.build);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::AppQuit &k)
{
    return d.requiredBool(o, "clean", k.clean);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::CleanupPartial &k)
{
    QJsonArray modules;
    if (!d.requiredArray(o, "failedModules", modules))
        return false;
    for (const QJsonValue &v : modules) {
        if (!v.isString())
            return d.mismatch("String", QLatin1String("failedModules"));
        const std::optional<ModuleId> id = moduleIdFromRaw(v.toString());
        if (!id)
            return d.fail(QStringLiteral("Cannot initialize ModuleId from invalid String value %1").arg(v.toString()));
        k.failedModules.append(*id);
    }
    return true;
}
// The binding is an addition to a kind older builds already wrote and read: a binding this
// build cannot make sense of is dropped, never a reason to lose the event.
std::optional<SessionBinding> decodeBinding(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const QString kind = o.value(QLatin1String("kind")).toString();
    const auto found = std::find(bindingKindNames.begin(), bindingKindNames.end(), kind);
    if (found == bindingKindNames.end())
        return std::nullopt;
    SessionBinding binding;
    binding.kind = SessionBinding::Kind(found - bindingKindNames.begin());
    binding.name = o.value(QLatin1String("name")).toString();
    const QJsonValue pid = o.value(QLatin1String("pid"));
    if (pid.isDouble() && pid.toDouble() >= 1 && pid.toDouble() == double(qint64(pid.toDouble())))
        binding.pid = qint64(pid.toDouble());
    binding.until = QDateTime::fromString(o.value(QLatin1String("until")).toString(), Qt::ISODate).toUTC();
    return binding;
}

bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::TimedStarted &k)
{
    if (!d.requiredInt(o, "durationSeconds", k.durationSeconds))
        return false;
    k.binding = decodeBinding(o.value(QLatin1String("binding")));
    return true;
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::TimedEndedNaturally &k)
{
    return d.optionalInt(o, "remainingSeconds", k.remainingSeconds);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::ClamshellStarted &k)
{
    return d.requiredBool(o, "onPowerAdapter", k.onPowerAdapter) && d.optionalInt(o, "batteryLevel", k.batteryLevel);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::ClamshellStopped &k)
{
    const QLatin1String key("reason");
    return d.enumeration(o.value(key), key, stopReasonNames, k.reason);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::LowBatteryWarningEntered &k)
{
    return d.requiredInt(o, "level", k.level);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::SafetyStopTriggered &k)
{
    return d.requiredInt(o, "level", k.level);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::AuthorizationRevoked &k)
{
    return d.requiredBool(o, "success", k.success);
}
bool decodePayload(const QJsonObject &o, Decoder &d, EventKind::QuitRequested &k)
{
    QJsonArray blockers;
    if (!d.requiredArray(o, "blockers", blockers))
        return false;
    for (const QJsonValue &v : blockers) {
        QuitBlocker blocker;
        if (!decodeBlocker(v, d, blocker))
            return false;
        k.blockers.append(std::move(blocker));
    }
    return true;
}

// Builds alternative `index` of the kind variant from its payload.
template <size_t I = 0> bool decodeKindAt(size_t index, const QJsonObject &payload, Decoder &d, VemoEventKind &out)
{
    if constexpr (I < std::variant_size_v<VemoEventKind>) {
        if (index != I)
            return decodeKindAt<I + 1>(index, payload, d, out);
        std::variant_alternative_t<I, VemoEventKind> kind;
        if (!decodePayload(payload, d, kind))
            return false;
        out = std::move(kind);
        return true;
    } else {
        return d.fail(invalidKeyCount);
    }
}

bool decodeEvidence(const QJsonObject &o, Decoder &d, SystemEvidence &e)
{
    if (!d.optionalInt(o, "sleepDisabled", e.sleepDisabled) || !d.optionalInt(o, "batteryLevel", e.batteryLevel))
        return false;
    const QLatin1String key("powerSource");
    const QJsonValue source = o.value(key);
    if (source.isUndefined() || source.isNull())
        return true;
    PowerSource value = PowerSource::unknown;
    if (!d.enumeration(source, key, powerSourceNames, value))
        return false;
    e.powerSource = value;
    return true;
}

bool decodeId(const QJsonObject &o, Decoder &d, QUuid &out)
{
    QString text;
    if (!d.requiredString(o, "id", text))
        return false;
    // Only the bare 8-4-4-4-12 form; QUuid would also take braces.
    const QUuid id = text.size() == 36 ? QUuid::fromString(text) : QUuid();
    if (id.isNull() && text != QLatin1String("00000000-0000-0000-0000-000000000000"))
        return d.fail(QStringLiteral("Attempted to decode UUID from invalid UUID string."));
    out = id;
    return true;
}

bool decodeTimestamp(const QJsonObject &o, Decoder &d, QDateTime &out)
{
    const QLatin1String key("timestamp");
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return d.missing(key);
    if (!v.isDouble())
        return d.mismatch("Double", key);
    const double seconds = v.toDouble();
    if (!std::isfinite(seconds) || std::fabs(seconds) > maxReferenceSeconds)
        return d.fail(QStringLiteral("Timestamp out of range."));
    out = QDateTime::fromMSecsSinceEpoch(referenceEpochMs + std::llround(seconds * 1000.0), QTimeZone::utc());
    return true;
}

} // namespace

QString caseName(const VemoEventKind &kind)
{
    return QLatin1String(kindNames[kind.index()]);
}

VemoEvent VemoEvent::make(VemoEventKind kind, std::optional<SystemEvidence> evidence, QDateTime now)
{
    VemoEvent event;
    event.id = QUuid::createUuid();
    event.timestamp = now.isValid() ? now.toUTC() : QDateTime::currentDateTimeUtc();
    event.kind = std::move(kind);
    event.evidence = std::move(evidence);
    return event;
}

QByteArray encodeEvent(const VemoEvent &event)
{
    // An event without a valid moment has no JSON form; the journal then keeps it in memory only.
    if (!event.timestamp.isValid())
        return {};
    QJsonObject object;
    object.insert(QLatin1String("id"), event.id.toString(QUuid::WithoutBraces).toUpper());
    const qint64 ms = event.timestamp.toMSecsSinceEpoch() - referenceEpochMs;
    object.insert(QLatin1String("timestamp"), static_cast<double>(ms) / 1000.0);
    object.insert(QLatin1String("kind"), encodeKind(event.kind));
    if (event.evidence)
        object.insert(QLatin1String("evidence"), encodeEvidence(*event.evidence));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<VemoEvent> decodeEvent(QByteArrayView json, QString *error)
{
    Decoder d;
    VemoEvent event;
    const bool ok = [&] {
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &parseError);
        if (parseError.error != QJsonParseError::NoError)
            return d.fail(QStringLiteral("The given data was not valid JSON: %1.").arg(parseError.errorString()));
        if (!doc.isObject())
            return d.fail(QStringLiteral("Expected to decode Dictionary but found an array instead."));
        const QJsonObject o = doc.object();
        if (!decodeId(o, d, event.id) || !decodeTimestamp(o, d, event.timestamp))
            return false;
        size_t index = 0;
        QJsonObject payload;
        if (!d.tag(o.value(QLatin1String("kind")), QLatin1String("kind"), kindNames, index, payload))
            return false;
        if (!decodeKindAt(index, payload, d, event.kind))
            return false;
        const QJsonValue evidence = o.value(QLatin1String("evidence"));
        if (evidence.isUndefined() || evidence.isNull())
            return true;
        QJsonObject evidenceObject;
        SystemEvidence e;
        if (!d.requiredObject(evidence, QLatin1String("evidence"), evidenceObject)
            || !decodeEvidence(evidenceObject, d, e))
            return false;
        event.evidence = e;
        return true;
    }();
    if (!ok) {
        if (error)
            *error = d.error;
        return std::nullopt;
    }
    return event;
}

} // namespace quorvel

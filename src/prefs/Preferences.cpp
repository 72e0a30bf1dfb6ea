#include "prefs/Preferences.h"

#include "prefs/PreferenceKeys.h"
#include "support/UserDefaults.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel::Preferences {

namespace {

bool isBool(const QVariant &value)
{
    return value.typeId() == QMetaType::Bool;
}

bool isWholeNumberType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar: return true;
    default: return false;
    }
}

bool isFloatingType(const QVariant &value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

std::optional<QString> textOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return std::nullopt;
}

std::optional<qint64> wholeNumberText(const QString &text)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

std::optional<bool> storedBoolean(const UserDefaults &defaults, const char *key)
{
    if (!defaults.contains(QString::fromLatin1(key)))
        return std::nullopt;
    return booleanValue(defaults.value(QString::fromLatin1(key))).value_or(false);
}

} // namespace

std::optional<bool> booleanValue(const QVariant &value)
{
    if (isBool(value))
        return value.toBool();
    if (isWholeNumberType(value))
        return value.toULongLong() != 0;
    if (isFloatingType(value))
        return value.toDouble() != 0.0;
    if (const auto text = textOf(value)) {
        const QString t = text->trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("yes"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("no"))
            return false;
        if (const auto n = wholeNumberText(t))
            return *n != 0;
    }
    return std::nullopt;
}

std::optional<qint64> integerValue(const QVariant &value)
{
    if (isBool(value))
        return std::nullopt;
    if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong) {
        const qulonglong u = value.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(u);
    }
    if (isWholeNumberType(value))
        return value.toLongLong();
    if (isFloatingType(value)) {
        const double d = value.toDouble();
        // 2^63 is exactly representable; anything at or beyond it does not fit.
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) >= 9223372036854775808.0)
            return std::nullopt;
        return qint64(d);
    }
    if (const auto text = textOf(value))
        return wholeNumberText(*text);
    return std::nullopt;
}

std::optional<double> floatingPointValue(const QVariant &value)
{
    if (isBool(value))
        return std::nullopt;
    if (isWholeNumberType(value) || isFloatingType(value)) {
        const double d = value.toDouble();
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    }
    if (const auto text = textOf(value)) {
        bool ok = false;
        const double d = text->trimmed().toDouble(&ok);
        if (ok && std::isfinite(d))
            return d;
    }
    return std::nullopt;
}

bool menuBarCountdownText(const UserDefaults &defaults)
{
    return storedBoolean(defaults, PreferenceKeys::menuBarCountdownText).value_or(false);
}

bool updateAutoCheckEnabled(const UserDefaults &defaults)
{
    return storedBoolean(defaults, PreferenceKeys::updateAutoCheckEnabled).value_or(true);
}

bool notifyWhenSessionEnds(const UserDefaults &defaults)
{
    return storedBoolean(defaults, PreferenceKeys::notifyWhenSessionEnds).value_or(true);
}

std::optional<QDateTime> updateLastCheckAt(const UserDefaults &defaults)
{
    const auto seconds = floatingPointValue(defaults.value(QString::fromLatin1(PreferenceKeys::updateLastCheckAt)));
    if (!seconds || *seconds <= 0.0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(*seconds * 1000.0)), Qt::UTC);
}

void setUpdateLastCheckAt(UserDefaults &defaults, const QDateTime &at)
{
    defaults.setValue(QString::fromLatin1(PreferenceKeys::updateLastCheckAt), double(at.toMSecsSinceEpoch()) / 1000.0);
}

qint64 autoExitThreshold(const UserDefaults &defaults)
{
    const auto stored = integerValue(defaults.value(QString::fromLatin1(PreferenceKeys::clamshellAutoExitThreshold)));
    if (!stored)
        return autoExitThresholdDefault;
    return std::clamp(*stored, autoExitThresholdMinimum, autoExitThresholdMaximum);
}

void setAutoExitThreshold(UserDefaults &defaults, qint64 percent)
{
    const qint64 clamped = std::clamp(percent, autoExitThresholdMinimum, autoExitThresholdMaximum);
    defaults.setValue(QString::fromLatin1(PreferenceKeys::clamshellAutoExitThreshold), int(clamped));
}

bool displayAwakeLastEnabled(const UserDefaults &defaults)
{
    return storedBoolean(defaults, PreferenceKeys::displayAwakeLastEnabled).value_or(false);
}

void setDisplayAwakeLastEnabled(UserDefaults &defaults, bool enabled)
{
    defaults.setValue(QString::fromLatin1(PreferenceKeys::displayAwakeLastEnabled), enabled);
}

DiagnosticLog::Level diagnosticMinLogLevel(const UserDefaults &defaults)
{
    using DiagnosticLog::Level;
    const QVariant value = defaults.value(QString::fromLatin1(PreferenceKeys::diagnosticMinLogLevel));
    const QString text = textOf(value).value_or(QString());
    if (text == QLatin1String("debug"))
        return Level::debug;
    if (text == QLatin1String("warning"))
        return Level::warning;
    if (text == QLatin1String("error"))
        return Level::error;
    return Level::info;
}

} // namespace quorvel::Preferences

#pragma once

#include "records/DiagnosticLog.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

namespace quorvel {
class UserDefaults;
}

// Typed reads of the stored preferences (keys in PreferenceKeys.h). Each applies the rules of
// the part of the application that owns the key: the default when the key is absent and what
// a value of the wrong type reads as. None of them fails.
//
// The value conversions accept what either backing store hands back: CFPreferences keeps
// numbers and booleans typed, while QSettings' INI file on Linux gives back text for every
// value written by an earlier process ("35", "true").
namespace quorvel::Preferences {

// A boolean: a bool; a number (non-zero is true); the text "true"/"false"/"yes"/"no" in any
// letter case, or text that is a whole number. Anything else is no boolean.
std::optional<bool> booleanValue(const QVariant &value);
// An integer: an integer number; a floating-point number that holds a whole value; text that
// is a whole decimal number (optional sign). Booleans and other text are no integer.
std::optional<qint64> integerValue(const QVariant &value);
// A floating-point number: any number except a boolean, or text that reads as a finite number.
std::optional<double> floatingPointValue(const QVariant &value);

// Show the remaining time next to the menu-bar icon; false when absent or not a boolean.
bool menuBarCountdownText(const UserDefaults &defaults);

// Automatic update checks. Absent reads as true; any stored value is used as a boolean, so a
// value that is no boolean at all switches the checks off, as the platform's own boolean read
// of such a value would.
bool updateAutoCheckEnabled(const UserDefaults &defaults);

// Start of the latest update check. Stored as floating-point seconds since 1970; absent, not
// a number, or not greater than 0 means there was none.
std::optional<QDateTime> updateLastCheckAt(const UserDefaults &defaults);
void setUpdateLastCheckAt(UserDefaults &defaults, const QDateTime &at);

// Battery auto-exit threshold T in percent, read afresh on every call: a stored integer is
// clamped to 5...60; absent or not an integer reads as 20.
inline constexpr qint64 autoExitThresholdDefault = 20;
inline constexpr qint64 autoExitThresholdMinimum = 5;
inline constexpr qint64 autoExitThresholdMaximum = 60;
qint64 autoExitThreshold(const UserDefaults &defaults);
// Stores the threshold clamped to its bounds, as an integer.
void setAutoExitThreshold(UserDefaults &defaults, qint64 percent);

// The last keep-display-on choice; false when absent or not a boolean.
bool displayAwakeLastEnabled(const UserDefaults &defaults);
void setDisplayAwakeLastEnabled(UserDefaults &defaults, bool enabled);

// A desktop notice when a session or closed-lid mode ends by itself; true when absent, and a
// stored value that is no boolean reads as false, as for the update checks.
bool notifyWhenSessionEnds(const UserDefaults &defaults);

// Minimum level of the diagnostic log: exactly "debug", "info", "warning" or "error";
// anything else, or nothing, is info.
DiagnosticLog::Level diagnosticMinLogLevel(const UserDefaults &defaults);

} // namespace quorvel::Preferences

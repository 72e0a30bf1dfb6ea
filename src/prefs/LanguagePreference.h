#pragma once

#include <QLocale>
#include <QString>
#include <array>
#include <optional>

namespace quorvel {

class UserDefaults;

// The interface language the user chose. The raw values are what is stored.
enum class LanguagePreference { system, zhHans, en };

// In the order the settings window offers them.
inline constexpr std::array<LanguagePreference, 3> allLanguagePreferences{
    LanguagePreference::system, LanguagePreference::zhHans, LanguagePreference::en};

QString rawValue(LanguagePreference preference); // "system", "zh-Hans", "en"

// The language code the override is set to: none for `system`, else the raw value.
std::optional<QString> overrideCode(LanguagePreference preference);

// The locale the views use: the system's for `system`, else "zh-Hans" or "en".
QLocale localeFor(LanguagePreference preference, const QLocale &systemLocale);

// Reads "QuorvelLanguagePreference": exactly "zh-Hans" or "en" choose that language; anything
// else, absent included, means `system`.
LanguagePreference loadLanguagePreference(const UserDefaults &defaults);

// Stores the raw value, then points the process-wide override at the preference's language.
void saveLanguagePreference(UserDefaults &defaults, LanguagePreference preference,
                            const QLocale &systemLocale = QLocale::system());

} // namespace quorvel

#include "prefs/LanguagePreference.h"

#include "prefs/Localization.h"
#include "prefs/PreferenceKeys.h"
#include "support/UserDefaults.h"

namespace quorvel {

QString rawValue(LanguagePreference preference)
{
    switch (preference) {
    case LanguagePreference::system: return QStringLiteral("system");
    case LanguagePreference::zhHans: return QStringLiteral("zh-Hans");
    case LanguagePreference::en: return QStringLiteral("en");
    }
    return QStringLiteral("system");
}

std::optional<QString> overrideCode(LanguagePreference preference)
{
    if (preference == LanguagePreference::system)
        return std::nullopt;
    return rawValue(preference);
}

QLocale localeFor(LanguagePreference preference, const QLocale &systemLocale)
{
    switch (preference) {
    case LanguagePreference::system: return systemLocale;
    case LanguagePreference::zhHans: return QLocale(QStringLiteral("zh-Hans"));
    case LanguagePreference::en: return QLocale(QStringLiteral("en"));
    }
    return systemLocale;
}

LanguagePreference loadLanguagePreference(const UserDefaults &defaults)
{
    const QVariant stored = defaults.value(QString::fromLatin1(PreferenceKeys::languagePreference));
    // A value that is not text (a number, a list) is as unknown as an unknown text.
    if (stored.typeId() != QMetaType::QString)
        return LanguagePreference::system;
    const QString text = stored.toString();
    if (text == QLatin1String("zh-Hans"))
        return LanguagePreference::zhHans;
    if (text == QLatin1String("en"))
        return LanguagePreference::en;
    return LanguagePreference::system;
}

void saveLanguagePreference(UserDefaults &defaults, LanguagePreference preference, const QLocale &systemLocale)
{
    defaults.setValue(QString::fromLatin1(PreferenceKeys::languagePreference), rawValue(preference));
    Localization::setLanguageOverride(defaults, overrideCode(preference), systemLocale);
}

} // namespace quorvel

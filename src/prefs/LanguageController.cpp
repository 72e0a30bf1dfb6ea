#include "prefs/LanguageController.h"

#include "prefs/Localization.h"
#include "support/UserDefaults.h"

namespace quorvel {

LanguageController::LanguageController(std::shared_ptr<UserDefaults> defaults, SystemLocale systemLocale,
                                       QObject *parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_systemLocale(systemLocale ? std::move(systemLocale) : SystemLocale([] { return QLocale::system(); }))
{
    m_preference = loadLanguagePreference(*m_defaults);
    m_locale = localeFor(m_preference, m_systemLocale());
    if (qEnvironmentVariableIsSet(testRunnerVariable))
        return;
    Localization::setLanguageOverride(*m_defaults, overrideCode(m_preference), m_systemLocale());
}

void LanguageController::setPreference(LanguagePreference preference)
{
    if (preference == m_preference)
        return;
    const QLocale system = m_systemLocale();
    saveLanguagePreference(*m_defaults, preference, system);
    m_preference = preference;
    emit preferenceChanged(preference);
    m_locale = localeFor(preference, system);
    emit localeChanged(m_locale);
}

} // namespace quorvel

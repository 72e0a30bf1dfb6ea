#pragma once

#include "prefs/LanguagePreference.h"

#include <QLocale>
#include <QObject>
#include <functional>
#include <memory>

namespace quorvel {

class UserDefaults;

// Holds the interface language the user chose and the locale the views draw with. One per
// process, made at start-up before any window, shared by the status item, the menu and the
// settings window.
class LanguageController final : public QObject {
    Q_OBJECT
public:
    using SystemLocale = std::function<QLocale()>;

    // The environment variable a test host sets; while it is present, start-up leaves the
    // language alone: no translator is installed and "AppleLanguages" is not touched.
    static constexpr auto testRunnerVariable = "XCTestConfigurationFilePath";

    // Reads the stored preference and, outside a test host, applies its language at once.
    // `systemLocale` defaults to QLocale::system().
    explicit LanguageController(std::shared_ptr<UserDefaults> defaults, SystemLocale systemLocale = {},
                                QObject *parent = nullptr);

    LanguagePreference preference() const { return m_preference; }
    QLocale locale() const { return m_locale; }

    // The settings window's picker. Choosing the current value does nothing; a new value is
    // stored, applied to every text lookup, then announced (preference, then locale).
    void setPreference(LanguagePreference preference);

signals:
    void preferenceChanged(quorvel::LanguagePreference preference);
    void localeChanged(const QLocale &locale);

private:
    std::shared_ptr<UserDefaults> m_defaults;
    SystemLocale m_systemLocale;
    LanguagePreference m_preference = LanguagePreference::system;
    QLocale m_locale;
};

} // namespace quorvel

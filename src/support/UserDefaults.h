#pragma once

#include <QString>
#include <QVariant>
#include <memory>

namespace quorvel {

// The standard user-defaults domain of the application (CFPreferences on macOS, an INI
// file elsewhere). Components take it as a seam so tests use an in-memory one.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual QVariant value(const QString &key) const = 0;
    virtual bool contains(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;

    // The application's domain ("app.quorvel.Quorvel"), backed by QSettings.
    static std::shared_ptr<UserDefaults> standard();
};

// The application's own domain, named by the bundle identifier whatever the process's
// organisation and application names are. On the Mac it is the preferences domain
// "app.quorvel.Quorvel" (what `defaults read app.quorvel.Quorvel` shows, and where the system
// looks for the application's "AppleLanguages"); elsewhere an INI file in a folder named
// after the bundle identifier, beside the data and log folders. Usable from any thread.
class SettingsUserDefaults final : public UserDefaults {
public:
    SettingsUserDefaults();
    ~SettingsUserDefaults() override;
    QVariant value(const QString &key) const override;
    bool contains(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;

    // $XDG_CONFIG_HOME (~/.config)/app.quorvel.Quorvel/Quorvel.conf; on the Mac the file
    // the system's preferences service keeps for the domain (for reference only: it is
    // never read or written directly).
    static QString location();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Volatile defaults: for tests and headless runs that must not touch the user's domain.
class MemoryUserDefaults final : public UserDefaults {
public:
    QVariant value(const QString &key) const override { return m_values.value(key); }
    bool contains(const QString &key) const override { return m_values.contains(key); }
    void setValue(const QString &key, const QVariant &value) override { m_values.insert(key, value); }
    void remove(const QString &key) override { m_values.remove(key); }

private:
    QVariantMap m_values;
};

// Constants of the application's identity.
inline constexpr auto bundleIdentifier = "app.quorvel.Quorvel";

} // namespace quorvel

#include "support/UserDefaults.h"

#include <QMutex>
#include <QSettings>

namespace quorvel {

struct SettingsUserDefaults::Impl {
    // QSettings is reentrant, not thread-safe; the diagnostic log may read from any thread.
    mutable QMutex mutex;
    // Organisation domain "quorvel.app" + application "Quorvel" is the CFPreferences
    // domain "app.quorvel.Quorvel" on macOS.
    QSettings settings{QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quorvel.app"),
                       QStringLiteral("Quorvel")};
};

SettingsUserDefaults::SettingsUserDefaults()
    : d(std::make_unique<Impl>())
{
}
SettingsUserDefaults::~SettingsUserDefaults() = default;

QVariant SettingsUserDefaults::value(const QString &key) const
{
    QMutexLocker lock(&d->mutex);
    return d->settings.value(key);
}

bool SettingsUserDefaults::contains(const QString &key) const
{
    QMutexLocker lock(&d->mutex);
    return d->settings.contains(key);
}

void SettingsUserDefaults::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&d->mutex);
    d->settings.setValue(key, value);
}

void SettingsUserDefaults::remove(const QString &key)
{
    QMutexLocker lock(&d->mutex);
    d->settings.remove(key);
}

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    static const std::shared_ptr<UserDefaults> defaults = std::make_shared<SettingsUserDefaults>();
    return defaults;
}

} // namespace quorvel

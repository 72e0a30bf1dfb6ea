#include "support/UserDefaults.h"

#include <QDir>

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#include <QDateTime>
#else
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#endif

namespace quorvel {

#ifdef __APPLE__

// CoreFoundation directly: QSettings derives its Mac domain from the organisation's web domain
// (reversed, with ".com" added to an ending it does not know) and cannot name the bundle
// identifier. CFPreferences is thread-safe, so no lock is needed.
namespace {

// Releases a CoreFoundation object that this code created or copied (create/copy rule).
class Owned {
public:
    explicit Owned(CFTypeRef ref)
        : m_ref(ref)
    {
    }
    ~Owned()
    {
        if (m_ref)
            CFRelease(m_ref);
    }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    CFTypeRef get() const { return m_ref; }

private:
    CFTypeRef m_ref;
};

CFPropertyListRef toPropertyList(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool: return CFRetain(value.toBool() ? kCFBooleanTrue : kCFBooleanFalse);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong: {
        const qint64 number = value.toLongLong();
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &number);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &number);
    }
    case QMetaType::QByteArray: return value.toByteArray().toCFData();
    case QMetaType::QDateTime: return value.toDateTime().toCFDate();
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, items.size(), &kCFTypeArrayCallBacks);
        for (const QVariant &item : items) {
            const Owned element(toPropertyList(item));
            if (element.get())
                CFArrayAppendValue(array, element.get());
        }
        return array;
    }
    default: return value.toString().toCFString();
    }
}

QVariant fromPropertyList(CFPropertyListRef value)
{
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID())
        return QString::fromCFString(static_cast<CFStringRef>(value));
    if (type == CFBooleanGetTypeID())
        return bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
    if (type == CFNumberGetTypeID()) {
        const auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double d = 0;
            CFNumberGetValue(number, kCFNumberDoubleType, &d);
            return d;
        }
        qint64 n = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &n);
        return n;
    }
    if (type == CFDataGetTypeID())
        return QByteArray::fromCFData(static_cast<CFDataRef>(value));
    if (type == CFDateGetTypeID())
        return QDateTime::fromCFDate(static_cast<CFDateRef>(value));
    if (type == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        QVariantList items;
        bool allText = true;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            items << fromPropertyList(CFArrayGetValueAtIndex(array, i));
            allText = allText && items.last().typeId() == QMetaType::QString;
        }
        // A list of texts ("AppleLanguages") reads back as the list it was written as.
        return allText ? QVariant(QVariant(items).toStringList()) : QVariant(items);
    }
    return {};
}

void write(const QString &key, CFPropertyListRef value, CFStringRef domain)
{
    const Owned cfKey(key.toCFString());
    CFPreferencesSetAppValue(static_cast<CFStringRef>(cfKey.get()), value, domain);
    CFPreferencesAppSynchronize(domain);
}

} // namespace

struct SettingsUserDefaults::Impl {
    Owned domain{QString::fromLatin1(bundleIdentifier).toCFString()};
    CFStringRef domainRef() const { return static_cast<CFStringRef>(domain.get()); }
};

QVariant SettingsUserDefaults::value(const QString &key) const
{
    const Owned cfKey(key.toCFString());
    const Owned stored(CFPreferencesCopyAppValue(static_cast<CFStringRef>(cfKey.get()), d->domainRef()));
    return stored.get() ? fromPropertyList(stored.get()) : QVariant();
}

bool SettingsUserDefaults::contains(const QString &key) const
{
    const Owned cfKey(key.toCFString());
    const Owned stored(CFPreferencesCopyAppValue(static_cast<CFStringRef>(cfKey.get()), d->domainRef()));
    return stored.get() != nullptr;
}

void SettingsUserDefaults::setValue(const QString &key, const QVariant &value)
{
    const Owned stored(toPropertyList(value));
    write(key, stored.get(), d->domainRef());
}

void SettingsUserDefaults::remove(const QString &key)
{
    write(key, nullptr, d->domainRef());
}

QString SettingsUserDefaults::location()
{
    return QDir::homePath() + QLatin1String("/Library/Preferences/") + QLatin1String(bundleIdentifier)
           + QLatin1String(".plist");
}

#else

struct SettingsUserDefaults::Impl {
    // QSettings is reentrant, not thread-safe; the diagnostic log may read from any thread.
    mutable QMutex mutex;
    // An explicit file, so that the organisation and application names of the process
    // (which QSettings would otherwise build the path from) play no part.
    QSettings settings{SettingsUserDefaults::location(), QSettings::IniFormat};
};

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

QString SettingsUserDefaults::location()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QLatin1String("/Quorvel.conf");
}

#endif

SettingsUserDefaults::SettingsUserDefaults()
    : d(std::make_unique<Impl>())
{
}
SettingsUserDefaults::~SettingsUserDefaults() = default;

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    static const std::shared_ptr<UserDefaults> defaults = std::make_shared<SettingsUserDefaults>();
    return defaults;
}

} // namespace quorvel

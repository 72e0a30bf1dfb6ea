#include "platform/mac/MacPower.h"

#include "power/PowerContextReader.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/ps/IOPSKeys.h>
#include <IOKit/ps/IOPowerSources.h>
#include <QVariantMap>

namespace quorvel {

namespace {

// A CFString or CFNumber as a QVariant; anything else is left out.
QVariant toVariant(CFTypeRef value)
{
    if (!value)
        return {};
    if (CFGetTypeID(value) == CFStringGetTypeID())
        return QString::fromCFString(static_cast<CFStringRef>(value));
    if (CFGetTypeID(value) == CFNumberGetTypeID()) {
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
    return {};
}

void copyEntry(CFDictionaryRef description, CFStringRef cfKey, const char *key, QVariantMap &into)
{
    const QVariant value = toVariant(CFDictionaryGetValue(description, cfKey));
    if (value.isValid())
        into.insert(QLatin1String(key), value);
}

class RunLoopSubscription final : public PowerChangeSubscription {
public:
    explicit RunLoopSubscription(std::function<void()> notify)
        : m_notify(std::move(notify))
    {
    }
    ~RunLoopSubscription() override
    {
        if (!m_source)
            return;
        CFRunLoopRemoveSource(CFRunLoopGetMain(), m_source, kCFRunLoopCommonModes);
        CFRelease(m_source);
    }

    bool install()
    {
        // The context is this subscription, which outlives the source it removes.
        m_source = IOPSNotificationCreateRunLoopSource(&RunLoopSubscription::callback, this);
        if (!m_source)
            return false;
        // The common modes, not only the default one: while a menu is being tracked the main
        // run loop runs in its event-tracking mode, and a change of power source must still
        // arrive then.
        CFRunLoopAddSource(CFRunLoopGetMain(), m_source, kCFRunLoopCommonModes);
        return true;
    }

private:
    static void callback(void *context)
    {
        if (context)
            static_cast<RunLoopSubscription *>(context)->m_notify();
    }

    std::function<void()> m_notify;
    CFRunLoopSourceRef m_source = nullptr;
};

} // namespace

QVariantList macPowerSourceDescriptions()
{
    QVariantList descriptions;
    CFTypeRef blob = IOPSCopyPowerSourcesInfo();
    if (!blob)
        return descriptions;
    CFArrayRef list = IOPSCopyPowerSourcesList(blob);
    if (list) {
        const CFIndex count = CFArrayGetCount(list);
        for (CFIndex i = 0; i < count; ++i) {
            CFDictionaryRef description = IOPSGetPowerSourceDescription(blob, CFArrayGetValueAtIndex(list, i));
            if (!description || CFGetTypeID(description) != CFDictionaryGetTypeID()) {
                descriptions.append(QVariant());
                continue;
            }
            QVariantMap map;
            copyEntry(description, CFSTR(kIOPSPowerSourceStateKey), PowerSourceKey::state, map);
            copyEntry(description, CFSTR(kIOPSCurrentCapacityKey), PowerSourceKey::currentCapacity, map);
            copyEntry(description, CFSTR(kIOPSMaxCapacityKey), PowerSourceKey::maxCapacity, map);
            descriptions.append(map);
        }
        CFRelease(list);
    }
    CFRelease(blob);
    return descriptions;
}

PowerContext readMacPowerContext(const QDateTime &now)
{
    return readPowerContext(macPowerSourceDescriptions(), macLowPowerModeEnabled(), now);
}

PowerChangeSource macPowerSourceChanges()
{
    return [](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        auto subscription = std::make_unique<RunLoopSubscription>(std::move(notify));
        if (!subscription->install())
            return nullptr;
        return subscription;
    };
}

} // namespace quorvel

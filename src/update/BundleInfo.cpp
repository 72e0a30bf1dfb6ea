#include "update/BundleInfo.h"

#include "update/UpdateVersion.h"

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#endif

namespace quorvel {

namespace {

#ifdef __APPLE__
std::optional<QString> infoDictionaryString(CFStringRef key)
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return std::nullopt;
    // Owned by the bundle (get rule): not released here.
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    return QString::fromCFString(static_cast<CFStringRef>(value));
}
#endif

} // namespace

QString BundleInfo::localVersion() const
{
    return shortVersionString.value_or(QStringLiteral("0"));
}

qint64 BundleInfo::localBuild() const
{
    if (!bundleVersion)
        return 0;
    return UpdateVersion::parseDecimalInteger(*bundleVersion).value_or(0);
}

QString BundleInfo::aboutVersionLine() const
{
    return u'v' + shortVersionString.value_or(QStringLiteral("1.0.0")) + QStringLiteral(" (")
           + bundleVersion.value_or(QStringLiteral("1")) + u')';
}

BundleInfo BundleInfo::running()
{
#ifdef __APPLE__
    return {infoDictionaryString(CFSTR("CFBundleShortVersionString")), infoDictionaryString(kCFBundleVersionKey)};
#else
    return {QStringLiteral(QUORVEL_VERSION), QStringLiteral(QUORVEL_BUILD_NUMBER)};
#endif
}

} // namespace quorvel

#include "update/BundleInfo.h"

#include "update/UpdateVersion.h"

namespace quorvel {

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

BundleInfo BundleInfo::running()
{
    BundleInfo info;
#ifdef QUORVEL_VERSION
    info.shortVersionString = QStringLiteral(QUORVEL_VERSION);
#endif
#ifdef QUORVEL_BUILD_NUMBER
    info.bundleVersion = QStringLiteral(QUORVEL_BUILD_NUMBER);
#endif
    return info;
}

} // namespace quorvel

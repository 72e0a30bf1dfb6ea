#pragma once

#include <QString>
#include <optional>

namespace quorvel {

// The two identity strings of the running application, as its bundle states them. The live
// values come from the build (or the app bundle's Info.plist on the Mac); tests pass their own.
struct BundleInfo {
    std::optional<QString> shortVersionString; // "CFBundleShortVersionString", e.g. "1.5.0"
    std::optional<QString> bundleVersion;      // "CFBundleVersion", the build number, e.g. "60"

    // The version compared against the feed: the short version string, "0" when missing.
    QString localVersion() const;
    // The build compared against the feed: the bundle version as a whole decimal number,
    // 0 when it is missing, empty or not a number.
    qint64 localBuild() const;

    // The values compiled into this executable.
    static BundleInfo running();
};

} // namespace quorvel

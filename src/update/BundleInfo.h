#pragma once

#include <QString>
#include <optional>

namespace quorvel {

// The two identity strings of the running application, as its bundle states them. Each reader
// applies its own default when a value is absent. Tests pass their own values.
struct BundleInfo {
    std::optional<QString> shortVersionString; // "CFBundleShortVersionString", e.g. "1.5.0"
    std::optional<QString> bundleVersion;      // "CFBundleVersion", the build number, e.g. "60"

    // The version compared against the feed: the short version string, "0" when missing.
    QString localVersion() const;
    // The build compared against the feed: the bundle version as a whole decimal number,
    // 0 when it is missing, empty or not a number.
    qint64 localBuild() const;
    // The about window's line, "v2.1.0 (57)"; without either value it reads "v1.0.0 (1)".
    QString aboutVersionLine() const;

    // This application's values. On the Mac they are read from the information dictionary
    // at run time (a value that is not text counts as absent); elsewhere they are the project
    // version and build number the build was configured with.
    static BundleInfo running();
};

} // namespace quorvel

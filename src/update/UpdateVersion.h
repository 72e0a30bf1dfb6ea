#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace quorvel::UpdateVersion {

// A whole decimal number as the feed and the bundle write them: an optional leading "+" or
// "-", then one or more ASCII digits, nothing else (no blanks), within 64 bits.
std::optional<qint64> parseDecimalInteger(QStringView text);

// "1.5", "1.5.0" and "1.5.0.2" parse; "1.5.0.2.1", "1..5", "1.5-beta", "-1.0" and "" do not.
// One to four dot-separated, non-negative whole numbers.
std::optional<QList<qint64>> parse(const QString &text);

// Whether the published release is newer than the running one. Versions compare component
// by component as numbers (the shorter one padded with zeros, so 1.5 equals 1.5.0); only
// when they are equal does the larger build win.
bool isNewer(const QList<qint64> &published, qint64 publishedBuild, const QList<qint64> &local, qint64 localBuild);

// The feed announces a bare file name that is appended to the feed's own base URL. Anything
// that could leave that folder or name another host (slashes, backslashes, a colon, "..")
// is refused, as is the empty name.
bool isValidDownloadName(const QString &name);

} // namespace quorvel::UpdateVersion

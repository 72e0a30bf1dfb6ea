#pragma once

// A fortnight of use as the history file would hold it, for the activity window's tests and
// pictures: timed, indefinite and bound sessions, closed-lid mode on the adapter and on battery
// with a safety stop, a failed start, a kill found at the next launch, and a session still
// running at `now`.

#include "records/VemoEvent.h"

#include <QList>
#include <QString>

namespace quorvel::test {

QList<VemoEvent> sampleHistory(const QDateTime &now);
// Writes `events` as history lines (oldest first) to `path`, its folder created; false when
// the file cannot be written.
bool writeHistory(const QString &path, const QList<VemoEvent> &events);

} // namespace quorvel::test

#pragma once

#include <QString>

namespace quorvel::records {

// Says that a record file (the event history or the diagnostic log) could not be written:
// once per file and process, as one line in the log's own format on standard error, because the
// file that failed may be the log itself. True the one time the file is reported. Callable from
// any thread; never fails.
//
//   2026-12-04 15:26:46.123 [WARNING] [app] records off, file=EventHistory.jsonl, reason=..., path=...
bool reportRecordsOff(const QString &path, const QString &reason);

// Tests only: every file may be reported again.
void resetRecordsOffForTesting();

} // namespace quorvel::records

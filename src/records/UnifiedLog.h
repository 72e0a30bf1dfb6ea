#pragma once

#include "records/DiagnosticLog.h"

#include <QByteArray>

namespace quorvel::records {

// One entry in the system's log: os_log on macOS (subsystem = bundle identifier, category =
// the category token), syslog elsewhere. Two public fields: the level prefix and the message.
void emitUnified(DiagnosticLog::Category category, DiagnosticLog::UnifiedType type, const QByteArray &prefix,
                 const QByteArray &message);

// The syslog priority standing in for each unified type where there is no os_log.
int syslogPriority(DiagnosticLog::UnifiedType type);

} // namespace quorvel::records

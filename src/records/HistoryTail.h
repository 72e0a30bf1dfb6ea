#pragma once

#include "records/VemoEvent.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace quorvel::records {

// Reads `length` bytes of the file at `path` from `offset`; nothing when the file cannot be
// read. The one way start-up reads the history, so that a test can see how much it read.
using HistoryReader = std::function<std::optional<QByteArray>(const QString &path, qint64 offset, qint64 length)>;
HistoryReader fileHistoryReader();

// What start-up learns from the end of the history file.
struct HistoryTail {
    // The newest decodable events, oldest first, at most the capacity asked for.
    QList<VemoEvent> events;
    // Non-empty lines seen, counted from the end; stops growing once it is above the limit.
    qint64 lines = 0;
    // Every line of the file was seen.
    bool reachedStart = false;
    // A line too long to be one of ours was passed over (and not held in memory).
    bool oversizedLine = false;
    // Every line seen is UTF-8 text.
    bool validUtf8 = true;
    // Some block could not be read.
    bool readFailed = false;
};

// Walks the history backwards from its end, one block at a time, and stops as soon as it has
// `capacity` decodable events and more than `lineLimit` lines, or has reached the start. So a
// history of any length costs no more than its newest lines to load, and the file as a whole is
// never held in memory. A line longer than `maxLineBytes` (an event is a few hundred bytes) is
// skipped while it is read, never collected. Blank lines are not lines. A last line without its
// line feed (cut off by a crash) is a line like any other.
struct HistoryTailLimits {
    int capacity = 1000;
    qint64 lineLimit = 1500;
    qint64 blockBytes = 64 * 1024;
    qint64 maxLineBytes = 64 * 1024;
};
HistoryTail readHistoryTail(const QString &path, qint64 fileSize, const HistoryReader &read,
                            const HistoryTailLimits &limits);

} // namespace quorvel::records

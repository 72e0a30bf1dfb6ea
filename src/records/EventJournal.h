#pragma once

#include "records/HistoryTail.h"
#include "records/VemoEvent.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

namespace quorvel {

// What every emitter holds. append never fails and never throws.
class EventJournal {
public:
    virtual ~EventJournal() = default;
    virtual void append(const VemoEvent &event) = 0;
};

// A bounded ring of the most recent events; safe to append to from any thread. A capacity
// below 1 is taken as 1.
class InMemoryEventJournal final : public EventJournal {
public:
    explicit InMemoryEventJournal(int capacity);
    void append(const VemoEvent &event) override;

    QList<VemoEvent> events() const;
    qint64 totalCount() const;
    int capacity() const;

private:
    mutable QMutex m_lock;
    std::deque<VemoEvent> m_buffer; // oldest first; dropping the oldest costs nothing
    int m_capacity;
    qint64 m_totalCount = 0;
};

// The ring plus an append-only JSON-lines history file, loaded and compacted at construction.
// Construction reads the file backwards from its end, only as far as it must (the newest
// fileCapacity decodable events, and whether there are more than compactionThreshold lines),
// and when the file holds more than compactionThreshold lines, or a line far too long to be an
// event, rewrites it atomically to its newest fileCapacity decodable events. A file in which
// some line read is not UTF-8 text is neither loaded nor rewritten. Every append opens, writes
// and closes the file; nothing stays open. An append never glues its line onto one that a crash
// cut short, and a write that a full disk cuts short is taken back, so the file only ever gains
// whole lines. No failure of the file reaches the caller: the event then lives in the ring
// only, and the first failure is reported once (records::reportRecordsOff).
class PersistentEventJournal final : public EventJournal {
public:
    static constexpr int defaultFileCapacity = 1000;
    static constexpr auto fileName = "EventHistory.jsonl";

    explicit PersistentEventJournal(QString path, int fileCapacity = defaultFileCapacity,
                                    records::HistoryReader read = records::fileHistoryReader());
    void append(const VemoEvent &event) override;

    // Hands every event appended from now on to `listener`, on the appending thread, once the
    // event is in the file, until the returned handle is dropped. For a view that shows the
    // history while it is open; with nobody listening an append costs nothing more.
    using Listener = std::function<void(const VemoEvent &)>;
    [[nodiscard]] std::shared_ptr<void> observe(Listener listener);

    const InMemoryEventJournal &ring() const { return m_ring; }
    QString path() const { return m_path; }
    int fileCapacity() const { return m_fileCapacity; }
    int compactionThreshold() const { return m_compactionThreshold; }

    // <Application Support>/<bundle identifier>/EventHistory.jsonl (on Linux the
    // Application Support folder is $XDG_DATA_HOME, ~/.local/share).
    static QString defaultLocation();

private:
    void loadAndCompact(const records::HistoryReader &read);

    QString m_path;
    InMemoryEventJournal m_ring;
    int m_fileCapacity;
    int m_compactionThreshold;
    QMutex m_lock; // guards m_didInitCompaction only
    bool m_didInitCompaction = false;
    // Emitters append from the main thread, but should two threads ever append at once their
    // lines must not interleave; this serialises the file write alone.
    QMutex m_fileLock;
    struct Listeners;
    std::shared_ptr<Listeners> m_listeners;
};

} // namespace quorvel

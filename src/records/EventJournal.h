#pragma once

#include "records/VemoEvent.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <memory>

namespace quorvel {

// What every emitter holds. append never fails and never throws.
class EventJournal {
public:
    virtual ~EventJournal() = default;
    virtual void append(const VemoEvent &event) = 0;
};

// A bounded ring of the most recent events; safe to append to from any thread.
class InMemoryEventJournal final : public EventJournal {
public:
    explicit InMemoryEventJournal(int capacity);
    void append(const VemoEvent &event) override;

    QList<VemoEvent> events() const;
    qint64 totalCount() const;
    int capacity() const;

private:
    mutable QMutex m_lock;
    QList<VemoEvent> m_buffer;
    int m_capacity;
    qint64 m_totalCount = 0;
};

// The ring plus an append-only JSON-lines history file, loaded and compacted at construction.
class PersistentEventJournal final : public EventJournal {
public:
    static constexpr int defaultFileCapacity = 1000;
    static constexpr auto fileName = "EventHistory.jsonl";

    explicit PersistentEventJournal(QString path, int fileCapacity = defaultFileCapacity);
    void append(const VemoEvent &event) override;

    const InMemoryEventJournal &ring() const { return m_ring; }
    QString path() const { return m_path; }
    int fileCapacity() const { return m_fileCapacity; }
    int compactionThreshold() const { return m_compactionThreshold; }

    // <Application Support>/<bundle identifier>/EventHistory.jsonl (on Linux the
    // Application Support folder is $XDG_DATA_HOME, ~/.local/share).
    static QString defaultLocation();

private:
    void load();
    void compactAtStartup();

    QString m_path;
    InMemoryEventJournal m_ring;
    int m_fileCapacity;
    int m_compactionThreshold;
    QMutex m_lock;
    bool m_didInitCompaction = false;
};

} // namespace quorvel

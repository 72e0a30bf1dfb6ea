#include "records/EventJournal.h"

#include "records/DiagnosticLog.h"
#include "records/OwnFile.h"
#include "records/RecordsNotice.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <vector>

namespace quorvel {

namespace {

// Once per process: on standard error, and in the log, which may still be writable.
void reportOff(const QString &path, const QString &reason)
{
    if (records::reportRecordsOff(path, reason))
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("records off, file=%1, reason=%2, path=%3")
                               .arg(QLatin1String(PersistentEventJournal::fileName), reason.simplified(), path));
}

} // namespace

// ---- InMemoryEventJournal ---------------------------------------------------------------

InMemoryEventJournal::InMemoryEventJournal(int capacity)
    : m_capacity(qMax(1, capacity))
{
}

void InMemoryEventJournal::append(const VemoEvent &event)
{
    QMutexLocker lock(&m_lock);
    if (m_buffer.size() >= static_cast<size_t>(m_capacity))
        m_buffer.pop_front();
    m_buffer.push_back(event);
    ++m_totalCount;
}

QList<VemoEvent> InMemoryEventJournal::events() const
{
    QMutexLocker lock(&m_lock);
    return QList<VemoEvent>(m_buffer.begin(), m_buffer.end());
}

qint64 InMemoryEventJournal::totalCount() const
{
    QMutexLocker lock(&m_lock);
    return m_totalCount;
}

int InMemoryEventJournal::capacity() const
{
    return m_capacity;
}

// ---- PersistentEventJournal -------------------------------------------------------------

struct PersistentEventJournal::Listeners {
    QMutex lock;
    quint64 nextId = 0;
    std::map<quint64, Listener> byId;
};

PersistentEventJournal::PersistentEventJournal(QString path, int fileCapacity, records::HistoryReader read)
    : m_path(std::move(path))
    , m_ring(qMax(1, fileCapacity))
    , m_fileCapacity(qMax(1, fileCapacity))
    , m_compactionThreshold(m_fileCapacity + m_fileCapacity / 2)
    , m_listeners(std::make_shared<Listeners>())
{
    loadAndCompact(read ? read : records::fileHistoryReader());
}

std::shared_ptr<void> PersistentEventJournal::observe(Listener listener)
{
    QMutexLocker lock(&m_listeners->lock);
    const quint64 id = m_listeners->nextId++;
    m_listeners->byId.emplace(id, std::move(listener));
    // The handle may outlive the journal; it then has nothing left to remove itself from.
    return std::shared_ptr<void>(nullptr, [weak = std::weak_ptr<Listeners>(m_listeners), id](void *) {
        if (const auto listeners = weak.lock()) {
            QMutexLocker lock(&listeners->lock);
            listeners->byId.erase(id);
        }
    });
}

void PersistentEventJournal::append(const VemoEvent &event)
{
    // After the file write, whichever way it ends, and outside every lock: a listener may
    // read the file or append in turn.
    const auto notify = qScopeGuard([this, &event] {
        std::vector<Listener> listeners;
        {
            QMutexLocker lock(&m_listeners->lock);
            for (const auto &[id, listener] : m_listeners->byId)
                listeners.push_back(listener);
        }
        for (const Listener &listener : listeners)
            listener(event);
    });
    m_ring.append(event);
    QByteArray line = encodeEvent(event);
    if (line.isEmpty())
        return;
    line.append('\n');

    QMutexLocker lock(&m_fileLock);
    const QFileInfo info(m_path);
    if (!info.dir().exists())
        QDir().mkpath(info.absolutePath()); // a failure shows up as the open failing below
    // Append mode creates a missing file and puts every write at the end of the file;
    // unbuffered, the line leaves in one write whose outcome is known here. A link or anything
    // else planted at the path is refused, so nothing is ever written through it.
    records::OwnFile own = records::OwnFile::open(m_path, O_RDWR | O_APPEND | O_CREAT);
    QFile file;
    if (!own.handTo(file, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        reportOff(m_path, own.reason());
        return;
    }
    const qint64 before = file.size();
    char last = '\n';
    // A last line that a crash cut off has no line feed: the new event starts a line of its
    // own instead of being glued to the broken one (and lost with it).
    if (before > 0 && file.seek(before - 1) && file.getChar(&last) && last != '\n')
        line.prepend('\n');
    errno = 0;
    const qint64 written = file.write(line);
    if (written != line.size()) {
        const QString reason = errno ? qt_error_string(errno) : QStringLiteral("short write");
        // A full disk may take part of the line: take it back, so the file keeps only whole
        // lines and the next append, once there is room, starts clean.
        if (file.size() > before)
            file.resize(before);
        reportOff(m_path, reason);
    }
    file.close();
}

void PersistentEventJournal::loadAndCompact(const records::HistoryReader &read)
{
    {
        QMutexLocker lock(&m_lock);
        m_didInitCompaction = true;
    }
    qint64 size = 0;
    {
        const records::OwnFile own = records::OwnFile::open(m_path, O_RDONLY);
        if (own.refused())
            reportOff(m_path, own.reason());
        if (!own.isOpen() || own.size() <= 0)
            return;
        size = own.size();
    }
    records::HistoryTailLimits limits;
    limits.capacity = m_fileCapacity;
    limits.lineLimit = m_compactionThreshold;
    const records::HistoryTail tail = records::readHistoryTail(m_path, size, read, limits);
    // Bytes that are not text may not be ours to interpret: such a file is left as it is.
    if (tail.readFailed || !tail.validUtf8)
        return;
    for (const VemoEvent &event : tail.events)
        m_ring.append(event);
    // A line too long to be an event is junk that every later start would have to read past.
    if (tail.lines <= m_compactionThreshold && !tail.oversizedLine)
        return;

    QByteArray contents;
    for (const VemoEvent &event : tail.events) {
        const QByteArray json = encodeEvent(event);
        if (json.isEmpty())
            continue;
        contents.append(json);
        contents.append('\n');
    }
    // Written beside the old file and renamed over it, so a failure leaves the history as it was.
    // QSaveFile would write beside a link's target, and the rename would replace whatever was
    // planted at the path meanwhile: both are looked at first.
    if (const QString foreign = records::foreignAt(m_path); !foreign.isEmpty()) {
        reportOff(m_path, foreign);
        return;
    }
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(contents);
    if (const QString foreign = records::foreignAt(m_path); !foreign.isEmpty()) {
        out.cancelWriting();
        reportOff(m_path, foreign);
        return;
    }
    out.commit();
}

QString PersistentEventJournal::defaultLocation()
{
    // On macOS this is ~/Library/Application Support; elsewhere $XDG_DATA_HOME (~/.local/share).
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QLatin1Char('/') + QLatin1String(fileName);
}

} // namespace quorvel

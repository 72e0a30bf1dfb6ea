#include "records/EventJournal.h"

#include "records/Utf8.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quorvel {

namespace {

// The whole file, or nothing when it cannot be read or is not UTF-8 text.
std::optional<QByteArray> readUtf8File(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || !records::isValidUtf8(bytes))
        return std::nullopt;
    return bytes;
}

// Lines between line feeds, blank ones dropped.
QList<QByteArrayView> nonEmptyLines(const QByteArray &bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        if (end > start)
            lines.append(QByteArrayView(bytes.constData() + start, end - start));
        start = end + 1;
    }
    return lines;
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

PersistentEventJournal::PersistentEventJournal(QString path, int fileCapacity)
    : m_path(std::move(path))
    , m_ring(qMax(1, fileCapacity))
    , m_fileCapacity(qMax(1, fileCapacity))
    , m_compactionThreshold(m_fileCapacity + m_fileCapacity / 2)
{
    load();
    compactAtStartup();
}

void PersistentEventJournal::append(const VemoEvent &event)
{
    m_ring.append(event);
    QByteArray line = encodeEvent(event);
    if (line.isEmpty())
        return;
    line.append('\n');

    QMutexLocker lock(&m_fileLock);
    const QFileInfo info(m_path);
    if (!info.dir().exists())
        QDir().mkpath(info.absolutePath()); // a failure shows up as the open failing below
    // Append mode creates a missing file and puts every write at the end of the file.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line);
    file.close();
}

void PersistentEventJournal::load()
{
    const std::optional<QByteArray> bytes = readUtf8File(m_path);
    if (!bytes || bytes->isEmpty())
        return;
    for (QByteArrayView line : nonEmptyLines(*bytes)) {
        if (std::optional<VemoEvent> event = decodeEvent(line))
            m_ring.append(*event);
    }
}

void PersistentEventJournal::compactAtStartup()
{
    {
        QMutexLocker lock(&m_lock);
        m_didInitCompaction = true;
    }
    const QFileInfo info(m_path);
    if (!info.exists() || info.size() <= 0)
        return;
    const std::optional<QByteArray> bytes = readUtf8File(m_path);
    if (!bytes)
        return;
    const QList<QByteArrayView> lines = nonEmptyLines(*bytes);
    if (lines.size() <= m_compactionThreshold)
        return;

    QList<VemoEvent> events;
    events.reserve(lines.size());
    for (QByteArrayView line : lines) {
        if (std::optional<VemoEvent> event = decodeEvent(line))
            events.append(std::move(*event));
    }
    const qsizetype first = qMax<qsizetype>(0, events.size() - m_fileCapacity);
    QByteArray contents;
    for (qsizetype i = first; i < events.size(); ++i) {
        const QByteArray json = encodeEvent(events[i]);
        if (json.isEmpty())
            continue;
        contents.append(json);
        contents.append('\n');
    }

    // Written beside the old file and renamed over it, so a failure leaves the history as it was.
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(contents);
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

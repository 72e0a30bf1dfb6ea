#include "records/HistoryTail.h"

#include "records/OwnFile.h"
#include "records/Utf8.h"

#include <QFile>
#include <algorithm>
#include <fcntl.h>

namespace quorvel::records {

HistoryReader fileHistoryReader()
{
    return [](const QString &path, qint64 offset, qint64 length) -> std::optional<QByteArray> {
        // Never the file a link leads to, never a FIFO that would wait for a writer.
        records::OwnFile own = records::OwnFile::open(path, O_RDONLY);
        QFile file;
        if (!own.handTo(file, QIODevice::ReadOnly) || !file.seek(offset))
            return std::nullopt;
        QByteArray bytes = file.read(length);
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
        return bytes;
    };
}

namespace {

// The line being put together from its end towards its start, block by block.
class TailScan {
public:
    TailScan(const HistoryTailLimits &limits, HistoryTail &tail)
        : m_limits(limits)
        , m_tail(tail)
    {
    }

    // `piece` precedes everything collected so far of the current line.
    void prepend(QByteArrayView piece)
    {
        if (m_oversized || piece.isEmpty())
            return;
        if (m_line.size() + piece.size() > m_limits.maxLineBytes) {
            m_oversized = true;
            m_line = QByteArray();
            return;
        }
        m_line.prepend(piece.data(), piece.size());
    }

    // The current line is complete: a line feed (or the start of the file) precedes it.
    void finishLine()
    {
        if (m_oversized) {
            ++m_tail.lines;
            m_tail.oversizedLine = true;
        } else if (!m_line.isEmpty()) {
            ++m_tail.lines;
            if (!isValidUtf8(m_line))
                m_tail.validUtf8 = false;
            else if (collecting())
                if (std::optional<VemoEvent> event = decodeEvent(m_line))
                    m_newestFirst.append(std::move(*event));
        }
        m_line.clear();
        m_oversized = false;
    }

    bool collecting() const { return m_newestFirst.size() < m_limits.capacity; }
    bool done() const { return !collecting() && m_tail.lines > m_limits.lineLimit; }

    void deliver()
    {
        std::reverse(m_newestFirst.begin(), m_newestFirst.end());
        m_tail.events = std::move(m_newestFirst);
    }

private:
    const HistoryTailLimits &m_limits;
    HistoryTail &m_tail;
    QByteArray m_line;
    bool m_oversized = false;
    QList<VemoEvent> m_newestFirst;
};

} // namespace

HistoryTail readHistoryTail(const QString &path, qint64 fileSize, const HistoryReader &read,
                            const HistoryTailLimits &limits)
{
    HistoryTail tail;
    TailScan scan(limits, tail);
    qint64 end = fileSize;
    while (end > 0 && !scan.done()) {
        const qint64 length = std::min(std::max<qint64>(1, limits.blockBytes), end);
        const qint64 offset = end - length;
        const std::optional<QByteArray> block = read(path, offset, length);
        if (!block || block->size() != length) {
            tail.readFailed = true;
            break;
        }
        end = offset;
        // Split the block at its line feeds, last piece first.
        qsizetype pieceEnd = block->size();
        while (pieceEnd >= 0 && !scan.done()) {
            const qsizetype feed = pieceEnd > 0 ? block->lastIndexOf('\n', pieceEnd - 1) : -1;
            scan.prepend(QByteArrayView(*block).sliced(feed + 1, pieceEnd - feed - 1));
            if (feed < 0)
                break; // the line goes on in the block before
            scan.finishLine();
            pieceEnd = feed;
        }
    }
    if (end == 0 && !tail.readFailed && !scan.done()) {
        scan.finishLine(); // the first line of the file
        tail.reachedStart = true;
    }
    scan.deliver();
    return tail;
}

} // namespace quorvel::records

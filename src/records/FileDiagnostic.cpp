#include "records/FileDiagnostic.h"

#include "records/OwnFile.h"
#include "records/RecordsNotice.h"
#include "records/Utf8.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>

namespace quorvel {

void FileDiagnostic::write(const QString &line)
{
    // Local wall-clock time; QDateTime's format strings are locale-independent.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QByteArray bytes = (stamp + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8();
    if (bytes.isEmpty())
        return;
    QMutexLocker lock(&m_lock);
    append(bytes);
}

void FileDiagnostic::append(const QByteArray &bytes)
{
    const QFileInfo info(m_path);
    if (!QFileInfo::exists(info.absolutePath()))
        QDir().mkpath(info.absolutePath()); // a failure surfaces as the open failing below
    // Append mode creates a missing file and places each write at the current end; unbuffered,
    // the line leaves in one write. Nothing is written through a link or into a FIFO planted
    // at the path.
    records::OwnFile own = records::OwnFile::open(m_path, O_WRONLY | O_APPEND | O_CREAT);
    QFile file;
    if (!own.handTo(file, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        records::reportRecordsOff(m_path, own.reason());
        return;
    }
    const qint64 before = file.size();
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const QString reason = errno ? qt_error_string(errno) : QStringLiteral("short write");
        // A full disk may take part of the line: take it back, so that the next line, once
        // there is room, does not continue a broken one.
        if (file.size() > before)
            file.resize(before);
        records::reportRecordsOff(m_path, reason);
    }
    trim(file.size()); // even when the write failed: an oversized file still deserves its trim
    file.close();
}

void FileDiagnostic::trim(qint64 size)
{
    if (size <= trimThreshold)
        return;
    records::OwnFile own = records::OwnFile::open(m_path, O_RDONLY);
    QFile in;
    if (!own.handTo(in, QIODevice::ReadOnly))
        return;
    const QByteArray text = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return;
    in.close();
    // A file that is not UTF-8 is not ours to cut: it keeps growing rather than being mangled.
    if (!records::isValidUtf8(text) || text.size() <= keptTail)
        return;

    qsizetype cut = text.size() - keptTail;
    // A cut inside a character starts the search from the top instead; the file then keeps
    // everything after its first line.
    if (!records::isCharacterBoundary(text, cut))
        cut = 0;
    const qsizetype lineFeed = text.indexOf('\n', cut);
    const QByteArrayView kept = lineFeed < 0 ? QByteArrayView() : QByteArrayView(text).sliced(lineFeed + 1);

    // The rename must not replace a link planted since the append (nor QSaveFile write beside
    // its target).
    if (!records::foreignAt(m_path).isEmpty())
        return;
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(kept.data(), kept.size());
    if (!records::foreignAt(m_path).isEmpty()) {
        out.cancelWriting();
        return;
    }
    out.commit(); // on failure the old file stays as it was
}

} // namespace quorvel

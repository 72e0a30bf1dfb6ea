#include "records/FileDiagnostic.h"

#include "records/RecordsNotice.h"
#include "records/Utf8.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

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
    // the line leaves in one write.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        records::reportRecordsOff(m_path, file.errorString());
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
    trim(); // even when the write failed: an oversized file still deserves its trim
    file.close();
}

void FileDiagnostic::trim()
{
    const qint64 size = QFileInfo(m_path).size(); // 0 when it cannot be read
    if (size <= trimThreshold)
        return;
    QFile in(m_path);
    if (!in.open(QIODevice::ReadOnly))
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

    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(kept.data(), kept.size());
    out.commit(); // on failure the old file stays as it was
}

} // namespace quorvel

#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

namespace quorvel {

// The diagnostic log's file: each write opens, appends one timestamped line, trims and
// closes; nothing stays open, so the file may be moved, deleted or read at any time. Writes
// from several threads are serialised, so lines never interleave. No failure is reported.
class FileDiagnostic {
public:
    // A trim runs only when the file is larger than this...
    static constexpr qint64 trimThreshold = 2097152;
    // ...and keeps at most this many bytes of whole lines, the newest ones.
    static constexpr qint64 keptTail = 1048576;

    explicit FileDiagnostic(QString path)
        : m_path(std::move(path))
    {
    }

    // Prepends the local time ("yyyy-MM-dd HH:mm:ss.SSS ") and appends a line feed.
    void write(const QString &line);

    QString path() const { return m_path; }

private:
    void append(const QByteArray &bytes);
    void trim(qint64 size); // the size of the file just appended to

    const QString m_path;
    QMutex m_lock; // held for the whole append, trim included
};

} // namespace quorvel

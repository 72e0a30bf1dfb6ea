#pragma once

#include <QFile>
#include <QString>

namespace quorvel::records {

// A descriptor of one of our record files (the history, the diagnostic log), opened so that
// nobody can point us somewhere else: never through a symbolic link, never blocking on a FIFO,
// closed on exec, and kept only when it is a regular file owned by this user. Anything else
// found at the path is refused with a short reason naming it ("symlink", "fifo", "directory",
// "device", "socket", "not owned"), so that whatever the link leads to is never touched.
class OwnFile {
public:
    // `flags` as for open(2): O_RDONLY, O_WRONLY | O_APPEND | O_CREAT, ...; a created file gets
    // 0666 less the umask, as any other file of ours.
    static OwnFile open(const QString &path, int flags);

    OwnFile(OwnFile &&other) noexcept;
    OwnFile &operator=(OwnFile &&) = delete;
    OwnFile(const OwnFile &) = delete;
    ~OwnFile();

    bool isOpen() const { return m_fd >= 0; }
    // Nothing at the path (and nothing was created).
    bool missing() const { return m_missing; }
    // Something that is not ours is at the path.
    bool refused() const { return !m_refusal.isEmpty(); }
    // Why the file is not open: what was found there, or the system's error text.
    QString reason() const { return m_refusal.isEmpty() ? m_error : m_refusal; }
    // The size when the file was opened.
    qint64 size() const { return m_size; }

    // The descriptor goes to `file`, which closes it from now on. False (and closed) when the
    // file is not open or Qt refuses the descriptor.
    bool handTo(QFile &file, QIODevice::OpenMode mode);

private:
    OwnFile() = default;

    int m_fd = -1;
    qint64 m_size = 0;
    bool m_missing = false;
    QString m_refusal;
    QString m_error;
};

// What is at `path` if it is not one of our files, without following a final link; empty for
// a regular file of ours and for nothing at all. Checked right before a file is renamed into
// place, because a rename would replace a link (or anything else planted there) as well.
QString foreignAt(const QString &path);

} // namespace quorvel::records

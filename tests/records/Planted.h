#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::test {

// Something other than a file of ours, put where one of our record files belongs: a link to
// another file of the user's (or to nowhere), a FIFO, a directory, or a file of another user.
// What the link leads to, and whatever was planted, must come out exactly as it went in.
class Planted {
public:
    // `kind`: "symlink", "dangling symlink", "fifo", "directory", "not owned" (needs root).
    Planted(const QString &kind, const QString &path, const QByteArray &targetContent)
        : m_kind(kind)
        , m_path(path)
        , m_target(QFileInfo(path).absolutePath() + "-elsewhere/precious.txt")
        , m_content(targetContent)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QDir().mkpath(QFileInfo(m_target).absolutePath());
        const QByteArray native = QFile::encodeName(path);
        if (kind == "symlink" || kind == "not owned") {
            QFile file(m_target);
            m_ok = file.open(QIODevice::WriteOnly) && file.write(targetContent) == targetContent.size();
            file.close();
            if (kind == "symlink")
                m_ok = m_ok && QFile::link(m_target, path);
            else // the file itself is at the path, but another user's
                m_ok = m_ok && QFile::rename(m_target, path) && ::chown(native.constData(), 65534, 65534) == 0;
        } else if (kind == "dangling symlink") {
            m_ok = QFile::link(m_target, path);
        } else if (kind == "fifo") {
            m_ok = ::mkfifo(native.constData(), 0600) == 0;
        } else if (kind == "directory") {
            m_ok = QDir().mkdir(path);
        }
    }

    bool ok() const { return m_ok; }
    // The reason a "records off" line gives for it.
    QString reason() const { return m_kind.endsWith("symlink") ? QStringLiteral("symlink") : m_kind; }

    // Nothing was written, truncated, renamed or created through the path.
    bool untouched() const
    {
        struct stat info {};
        if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0)
            return false;
        if (m_kind == "fifo")
            return S_ISFIFO(info.st_mode);
        if (m_kind == "directory")
            return S_ISDIR(info.st_mode)
                   && QDir(m_path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        if (m_kind == "not owned")
            return S_ISREG(info.st_mode) && info.st_uid == 65534 && contents(m_path) == m_content;
        if (!S_ISLNK(info.st_mode))
            return false;
        if (m_kind == "dangling symlink")
            return !QFileInfo::exists(m_target) && QDir(QFileInfo(m_target).absolutePath()).isEmpty();
        // Nothing beside the target either: no temporary file of a rewrite left there.
        return contents(m_target) == m_content
               && QDir(QFileInfo(m_target).absolutePath())
                          .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                          .size()
                      == 1;
    }

private:
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }

    QString m_kind, m_path, m_target;
    QByteArray m_content;
    bool m_ok = false;
};

inline QStringList plantedKinds()
{
    return {"symlink", "dangling symlink", "fifo", "directory", "not owned"};
}

// A data function's rows: one per kind, in a column "kind".
inline void addPlantedKindRows()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : plantedKinds())
        QTest::newRow(qPrintable(kind)) << kind;
}

} // namespace quorvel::test

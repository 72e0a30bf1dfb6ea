#include "records/OwnFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorvel::records {

namespace {

// Empty when `info` is a regular file of this user's.
QString foreignKind(const struct stat &info)
{
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("symlink");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("fifo");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("directory");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("device");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("socket");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("not a regular file");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("not owned");
    return {};
}

} // namespace

OwnFile OwnFile::open(const QString &path, int flags)
{
    OwnFile own;
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking only for the open itself: a FIFO would otherwise wait here for a partner.
    const int fd = ::open(native.constData(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        own.m_error = qt_error_string(error);
        // The path itself says best what refused us; a link is ELOOP (EMLINK on some systems).
        struct stat info {};
        if (::lstat(native.constData(), &info) == 0)
            own.m_refusal = foreignKind(info);
        else if (errno == ENOENT)
            own.m_missing = true;
        if (own.m_refusal.isEmpty() && (error == ELOOP || error == EMLINK))
            own.m_refusal = QStringLiteral("symlink");
        return own;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        own.m_error = qt_error_string(errno);
        ::close(fd);
        return own;
    }
    own.m_refusal = foreignKind(info);
    if (own.refused()) {
        ::close(fd);
        return own;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        own.m_error = qt_error_string(errno);
        ::close(fd);
        return own;
    }
    own.m_fd = fd;
    own.m_size = qint64(info.st_size);
    return own;
}

OwnFile::OwnFile(OwnFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_size(other.m_size)
    , m_missing(other.m_missing)
    , m_refusal(std::move(other.m_refusal))
    , m_error(std::move(other.m_error))
{
}

OwnFile::~OwnFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OwnFile::handTo(QFile &file, QIODevice::OpenMode mode)
{
    if (m_fd < 0)
        return false;
    const int fd = std::exchange(m_fd, -1);
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    m_error = file.errorString();
    ::close(fd);
    return false;
}

QString foreignAt(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return foreignKind(info);
}

} // namespace quorvel::records

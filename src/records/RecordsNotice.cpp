#include "records/RecordsNotice.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cstdio>

namespace quorvel::records {

namespace {

struct Reported {
    QMutex lock;
    QSet<QString> paths;
};

// Never destroyed: records may fail while static objects are being torn down.
Reported &reported()
{
    static auto *instance = new Reported;
    return *instance;
}

} // namespace

bool reportRecordsOff(const QString &path, const QString &reason)
{
    try {
        {
            Reported &r = reported();
            QMutexLocker lock(&r.lock);
            if (r.paths.contains(path))
                return false;
            r.paths.insert(path);
        }
        const QString message = QStringLiteral("records off, file=%1, reason=%2, path=%3")
                                    .arg(QFileInfo(path).fileName(), reason.simplified(), path);
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        const QByteArray line = (stamp + QLatin1String(" [WARNING] [app] ") + message + QLatin1Char('\n')).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        return true;
    } catch (...) {
        // Saying that records are off must not take the caller down either.
        return false;
    }
}

void resetRecordsOffForTesting()
{
    Reported &r = reported();
    QMutexLocker lock(&r.lock);
    r.paths.clear();
}

} // namespace quorvel::records

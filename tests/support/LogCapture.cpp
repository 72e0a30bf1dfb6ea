#include "support/LogCapture.h"

#include "support/UserDefaults.h"

#include <QFile>
#include <QRegularExpression>

namespace quorvel::test {

LogCapture::LogCapture(std::shared_ptr<UserDefaults> defaults)
    : m_defaults(defaults ? std::move(defaults) : std::make_shared<MemoryUserDefaults>())
{
    DiagnosticLog::resetForTesting(path(), m_defaults);
}

LogCapture::LogCapture(DiagnosticLog::Level minimum)
    : m_defaults(std::make_shared<MemoryUserDefaults>())
{
    m_defaults->setValue(QLatin1String(DiagnosticLog::minimumLevelKey), DiagnosticLog::rawValue(minimum));
    DiagnosticLog::resetForTesting(path(), m_defaults);
}

LogCapture::~LogCapture()
{
    DiagnosticLog::resetForTesting(QString(), m_defaults);
}

QString LogCapture::path() const
{
    return m_dir.filePath(QStringLiteral("diagnostic.log"));
}

QStringList LogCapture::lines() const
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} "));
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList result = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    for (QString &line : result)
        line.remove(stamp);
    return result;
}

QStringList LogCapture::messages() const
{
    static const QRegularExpression header(QStringLiteral("^\\[[A-Z]+\\] \\[[A-Za-z]+\\] "));
    QStringList result = lines();
    for (QString &line : result)
        line.remove(header);
    return result;
}

void LogCapture::clear()
{
    QFile::resize(path(), 0);
}

} // namespace quorvel::test

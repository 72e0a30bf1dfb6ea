#include "update/LiveUpdateChecker.h"

#include "records/DiagnosticLog.h"
#include "update/NetworkUpdateFeedTransport.h"

namespace quorvel {

QUrl updateFeedBaseURL(const std::optional<QString> &overrideValue)
{
    if (!overrideValue || overrideValue->isEmpty())
        return QUrl(QString::fromLatin1(defaultUpdateFeedBaseURL));
    QUrl url(*overrideValue, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("update feed override ignored, value=") + *overrideValue);
        return QUrl(QString::fromLatin1(defaultUpdateFeedBaseURL));
    }
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

QUrl updateFeedBaseURLFromEnvironment()
{
    if (!qEnvironmentVariableIsSet(updateFeedOverrideVariable))
        return updateFeedBaseURL(std::nullopt);
    return updateFeedBaseURL(qEnvironmentVariable(updateFeedOverrideVariable));
}

std::unique_ptr<UpdateChecker> makeLiveUpdateChecker(std::shared_ptr<Scheduler> scheduler, std::shared_ptr<Clock> clock,
                                                     std::shared_ptr<UserDefaults> defaults, BundleInfo bundle,
                                                     QObject *parent)
{
    return std::make_unique<UpdateChecker>(std::make_shared<NetworkUpdateFeedTransport>(),
                                           updateFeedBaseURLFromEnvironment(), std::move(clock), std::move(defaults),
                                           std::move(bundle), std::move(scheduler), parent);
}

} // namespace quorvel

#include "update/UpdateChecker.h"

#include "prefs/Preferences.h"
#include "records/DiagnosticLog.h"
#include "update/UpdateVersion.h"

#include <QPointer>

namespace quorvel {

// One check, or the automatic job with the check it may run. Cancelling ends the wait and
// aborts the request in flight; the aborted request reports back as a network failure.
class UpdateChecker::Job {
public:
    JobHandle delay;
    FeedRequestHandle request;
    bool cancelled = false;

    void cancel()
    {
        cancelled = true;
        cancelAndClear(delay);
        if (auto pending = std::exchange(request, nullptr))
            pending->cancel();
    }
};

namespace {

void logInfo(const QString &message)
{
    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app, message);
}

QUrl appendFileName(QUrl base, const QString &fileName)
{
    QString path = base.path(QUrl::FullyDecoded);
    if (!path.endsWith(u'/'))
        path += u'/';
    // Decoded mode: a blank, "%", "?" or "#" in the name is escaped into the path instead of
    // starting a query or fragment.
    base.setPath(path + fileName, QUrl::DecodedMode);
    return base;
}

} // namespace

UpdateChecker::UpdateChecker(std::shared_ptr<UpdateFeedTransport> transport, QUrl baseURL, std::shared_ptr<Clock> now,
                             std::shared_ptr<UserDefaults> defaults, BundleInfo bundle,
                             std::shared_ptr<Scheduler> scheduler, QObject *parent)
    : QObject(parent)
    , m_transport(std::move(transport))
    , m_baseURL(std::move(baseURL))
    , m_now(std::move(now))
    , m_defaults(std::move(defaults))
    , m_bundle(std::move(bundle))
    , m_scheduler(std::move(scheduler))
{
}

UpdateChecker::~UpdateChecker()
{
    // Jobs must not publish into a checker that is going away; they only end.
    m_tearingDown = true;
    if (m_checkTask)
        m_checkTask->cancel();
    if (m_autoCheckTask)
        m_autoCheckTask->cancel();
}

QUrl UpdateChecker::manifestURL() const
{
    return appendFileName(m_baseURL, QStringLiteral("version.json"));
}

QUrl UpdateChecker::downloadURL(const QString &fileName) const
{
    return appendFileName(m_baseURL, fileName);
}

void UpdateChecker::startAutoCheck()
{
    if (m_autoCheckTask)
        return;
    auto job = std::make_shared<Job>();
    m_autoCheckTask = job;
    QPointer<UpdateChecker> self(this);
    std::weak_ptr<Job> weakJob = job;
    const auto delay =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::nanoseconds(autoCheckDelayNanoseconds));
    job->delay = m_scheduler->after(delay, [self, weakJob] {
        const auto job = weakJob.lock();
        if (!self || self->m_tearingDown || !job || job->cancelled)
            return;
        job->delay.reset();
        self->runAutoCheck(job);
    });
}

void UpdateChecker::runAutoCheck(const std::shared_ptr<Job> &job)
{
    const bool enabled = Preferences::updateAutoCheckEnabled(*m_defaults);
    const std::optional<QDateTime> lastCheckAt = Preferences::updateLastCheckAt(*m_defaults);
    const QDateTime now = m_now->now();
    if (!enabled)
        return;
    // A last check in the future (the clock was set back) also counts as recent.
    if (lastCheckAt && double(lastCheckAt->msecsTo(now)) / 1000.0 < autoCheckIntervalSeconds)
        return;
    runCheck(job, false);
}

void UpdateChecker::checkNow()
{
    if (m_checkTask)
        m_checkTask->cancel();
    auto job = std::make_shared<Job>();
    m_checkTask = job;
    runCheck(job, true);
}

void UpdateChecker::cancelTasks()
{
    if (m_checkTask)
        m_checkTask->cancel();
    if (m_autoCheckTask)
        m_autoCheckTask->cancel();
}

void UpdateChecker::runCheck(const std::shared_ptr<Job> &job, bool userRequested)
{
    if (userRequested)
        setState(UpdateCheck::Checking{});
    // Stored before any network traffic, so a failed attempt counts as a check too.
    Preferences::setUpdateLastCheckAt(*m_defaults, m_now->now());

    QPointer<UpdateChecker> self(this);
    std::weak_ptr<Job> weakJob = job;
    job->request = m_transport->fetch(manifestURL(), [self, weakJob, userRequested](FetchResult result) {
        const auto job = weakJob.lock();
        if (job)
            job->request.reset();
        if (!self || self->m_tearingDown || !job)
            return;
        self->manifestArrived(job, userRequested, result);
    });
}

void UpdateChecker::manifestArrived(const std::shared_ptr<Job> &job, bool userRequested, const FetchResult &result)
{
    const auto *response = std::get_if<FetchResponse>(&result);
    if (!response || job->cancelled)
        return publish(UpdateCheck::Failed{UpdateCheckFailure::network}, userRequested);
    if (response->statusCode != 200)
        return publish(UpdateCheck::Failed{UpdateCheckFailure::manifestInvalid}, userRequested);
    const auto manifest = UpdateManifest::decode(response->body);
    if (!manifest)
        return publish(UpdateCheck::Failed{UpdateCheckFailure::manifestInvalid}, userRequested);

    const UpdateManifest::Entry &latest = manifest->latest;
    // A version that cannot be read on either side is no reason to bother the user.
    const auto published = UpdateVersion::parse(latest.version);
    const auto local = UpdateVersion::parse(localVersion());
    if (!published || !local || !UpdateVersion::isNewer(*published, latest.build, *local, localBuild()))
        return publish(UpdateCheck::UpToDate{}, userRequested);
    if (!UpdateVersion::isValidDownloadName(latest.downloadURL))
        return publish(UpdateCheck::Failed{UpdateCheckFailure::downloadInvalid}, userRequested);

    const QUrl download = downloadURL(latest.downloadURL);
    QPointer<UpdateChecker> self(this);
    std::weak_ptr<Job> weakJob = job;
    job->request = m_transport->head(download, [self, weakJob, userRequested, latest, download](HeadResult result) {
        const auto job = weakJob.lock();
        if (job)
            job->request.reset();
        if (!self || self->m_tearingDown || !job)
            return;
        self->headArrived(job, userRequested, latest, download, result);
    });
}

void UpdateChecker::headArrived(const std::shared_ptr<Job> &job, bool userRequested, const UpdateManifest::Entry &entry,
                                const QUrl &download, const HeadResult &result)
{
    const auto *response = std::get_if<HeadResponse>(&result);
    if (!response || job->cancelled)
        return publish(UpdateCheck::Failed{UpdateCheckFailure::network}, userRequested);
    // Only a file the feed really serves is offered; anything else would be a dead link.
    if (response->statusCode != 200 || !response->contentLength || *response->contentLength < 1)
        return publish(UpdateCheck::Failed{UpdateCheckFailure::downloadMissing}, userRequested);
    publish(UpdateCheck::Available{UpdateInfo{entry.version, entry.build, entry.releaseNotes, download}},
            userRequested);
}

void UpdateChecker::publish(const CheckOutcome &outcome, bool userRequested)
{
    if (const auto *available = std::get_if<UpdateCheck::Available>(&outcome)) {
        setState(*available);
        logInfo(QStringLiteral("update check: available remote=") + available->info.version + u'('
                + QString::number(available->info.build) + u')');
    } else if (std::holds_alternative<UpdateCheck::UpToDate>(outcome)) {
        setState(UpdateCheck::UpToDate{});
        logInfo(QStringLiteral("update check: up to date"));
    } else {
        const auto failure = std::get<UpdateCheck::Failed>(outcome).failure;
        // An automatic check's failure stays out of sight: whatever the user saw remains.
        if (userRequested)
            setState(UpdateCheck::Failed{failure});
        logInfo(QStringLiteral("update check failed (")
                + (userRequested ? QStringLiteral("manual") : QStringLiteral("auto")) + QStringLiteral("): ")
                + rawValue(failure));
    }
}

void UpdateChecker::setState(const UpdateCheckState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

} // namespace quorvel

#pragma once

#include "support/Clock.h"
#include "support/Scheduler.h"
#include "support/UserDefaults.h"
#include "update/BundleInfo.h"
#include "update/UpdateCheckState.h"
#include "update/UpdateFeedTransport.h"
#include "update/UpdateManifest.h"

#include <QObject>
#include <QUrl>
#include <memory>

namespace quorvel {

// Finds out whether the feed publishes a release newer than the running one and whether its
// download really exists. Checks once per launch on its own (five seconds after start-up,
// when automatic checks are on and the last check is a day old) and whenever the user asks.
// Lives on the main thread; network waits never block it. Reads "QuorvelUpdateAutoCheckEnabled"
// and keeps "QuorvelUpdateLastCheckAt" through the typed preference reads (prefs/Preferences.h).
class UpdateChecker final : public QObject {
    Q_OBJECT
public:
    using CheckOutcome = std::variant<UpdateCheck::Available, UpdateCheck::Failed, UpdateCheck::UpToDate>;

    static constexpr quint64 autoCheckDelayNanoseconds = 5'000'000'000;
    static constexpr double autoCheckIntervalSeconds = 86'400;

    // `baseURL` is the feed's folder, ending in "/quorvel/"; the manifest and the announced
    // files are looked up inside it. The scheduler runs the delayed automatic check.
    UpdateChecker(std::shared_ptr<UpdateFeedTransport> transport, QUrl baseURL, std::shared_ptr<Clock> now,
                  std::shared_ptr<UserDefaults> defaults, BundleInfo bundle, std::shared_ptr<Scheduler> scheduler,
                  QObject *parent = nullptr);
    ~UpdateChecker() override;

    const UpdateCheckState &state() const { return m_state; }
    const QUrl &baseURL() const { return m_baseURL; }
    QString localVersion() const { return m_bundle.localVersion(); }
    qint64 localBuild() const { return m_bundle.localBuild(); }

    // The manifest ("version.json") and a published file, both inside the feed's folder.
    QUrl manifestURL() const;
    QUrl downloadURL(const QString &fileName) const;

    // Arms the once-per-process automatic check. Later calls do nothing, even after
    // cancelTasks().
    void startAutoCheck();
    // The user's check: cancels a check that is still running (it ends as a network
    // failure), then starts a new one at once.
    void checkNow();
    // Cancels the pending user check and the automatic-check job; used at quit.
    void cancelTasks();

signals:
    // Emitted only when the state changes to a different value.
    void stateChanged();

private:
    class Job;

    void runAutoCheck(const std::shared_ptr<Job> &job);
    void runCheck(const std::shared_ptr<Job> &job, bool userRequested);
    void manifestArrived(const std::shared_ptr<Job> &job, bool userRequested, const FetchResult &result);
    void headArrived(const std::shared_ptr<Job> &job, bool userRequested, const UpdateManifest::Entry &entry,
                     const QUrl &download, const HeadResult &result);
    void publish(const CheckOutcome &outcome, bool userRequested);
    void setState(const UpdateCheckState &state);

    UpdateCheckState m_state = UpdateCheck::Idle{};
    std::shared_ptr<UpdateFeedTransport> m_transport;
    QUrl m_baseURL;
    std::shared_ptr<Clock> m_now;
    std::shared_ptr<UserDefaults> m_defaults;
    BundleInfo m_bundle;
    std::shared_ptr<Scheduler> m_scheduler;
    std::shared_ptr<Job> m_checkTask;
    std::shared_ptr<Job> m_autoCheckTask;
    bool m_tearingDown = false;
};

} // namespace quorvel

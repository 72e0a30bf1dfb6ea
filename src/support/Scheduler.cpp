#include "support/Scheduler.h"

#include <QPointer>
#include <QTimer>

namespace quorvel {

namespace {

class TimerJob final : public ScheduledJob {
public:
    explicit TimerJob(QTimer *timer)
        : m_timer(timer)
    {
    }
    void cancel() override
    {
        m_cancelled = true;
        if (m_timer) {
            m_timer->stop();
            m_timer->deleteLater();
            m_timer = nullptr;
        }
    }
    bool isCancelled() const override { return m_cancelled; }
    void finished() { m_timer = nullptr; }

private:
    QPointer<QTimer> m_timer;
    bool m_cancelled = false;
};

} // namespace

JobHandle QtScheduler::after(std::chrono::milliseconds delay, std::function<void()> job)
{
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    auto handle = std::make_shared<TimerJob>(timer);
    std::weak_ptr<TimerJob> weak = handle;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, weak, job = std::move(job)]() {
        // The handle may be gone (its owner dropped it without cancelling); the job still
        // runs in that case, as a fire-and-forget timer would.
        auto strong = weak.lock();
        if (strong && strong->isCancelled())
            return;
        if (strong)
            strong->finished();
        timer->deleteLater();
        job();
    });
    timer->start(delay);
    return handle;
}

} // namespace quorvel

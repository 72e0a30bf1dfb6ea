#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace quorvel {

// A job that was handed to a Scheduler. Cancelling is idempotent and safe after the
// job ran; a cancelled job never runs.
class ScheduledJob {
public:
    virtual ~ScheduledJob() = default;
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
};

using JobHandle = std::shared_ptr<ScheduledJob>;

// Runs delayed work on the main thread. Every timer of the application goes through
// here so that tests can drive countdowns, kill fallbacks and delayed checks on virtual
// time instead of sleeping.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual JobHandle after(std::chrono::milliseconds delay, std::function<void()> job) = 0;
};

// Cancels the job held in `handle` (if any) and clears it.
inline void cancelAndClear(JobHandle &handle)
{
    if (handle) {
        handle->cancel();
        handle.reset();
    }
}

// Live scheduler: precise single-shot QTimers on the calling (main) thread.
class QtScheduler final : public Scheduler {
public:
    JobHandle after(std::chrono::milliseconds delay, std::function<void()> job) override;
};

} // namespace quorvel

#pragma once

#include "support/Scheduler.h"

#include <QDateTime>
#include <vector>

namespace quorvel::test {

// Virtual-time scheduler: nothing runs until the test advances time. Jobs due at the
// same moment run in the order they were scheduled; jobs scheduled while advancing run
// within the same advance when they fall due.
class FakeScheduler final : public Scheduler {
public:
    JobHandle after(std::chrono::milliseconds delay, std::function<void()> job) override;

    void advance(std::chrono::milliseconds by);
    // Runs everything that becomes due within `limit`, stopping early when nothing is pending.
    void runUntilIdle(std::chrono::milliseconds limit = std::chrono::hours(24));
    std::chrono::milliseconds now() const { return m_now; }
    int pendingCount() const;

private:
    struct Entry;
    std::chrono::milliseconds m_now{0};
    quint64 m_sequence = 0;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

} // namespace quorvel::test

#include "support/FakeScheduler.h"

#include <algorithm>

namespace quorvel::test {

struct FakeScheduler::Entry final : ScheduledJob {
    std::chrono::milliseconds due{0};
    quint64 sequence = 0;
    std::function<void()> job;
    bool cancelled = false;
    bool done = false;
    void cancel() override { cancelled = true; }
    bool isCancelled() const override { return cancelled; }
};

JobHandle FakeScheduler::after(std::chrono::milliseconds delay, std::function<void()> job)
{
    auto entry = std::make_shared<Entry>();
    entry->due = m_now + std::max(delay, std::chrono::milliseconds(0));
    entry->sequence = m_sequence++;
    entry->job = std::move(job);
    m_entries.push_back(entry);
    return entry;
}

void FakeScheduler::advance(std::chrono::milliseconds by)
{
    const auto target = m_now + by;
    for (;;) {
        std::erase_if(m_entries, [](const auto &e) { return e->cancelled || e->done; });
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const auto &a, const auto &b) {
            return a->due != b->due ? a->due < b->due : a->sequence < b->sequence;
        });
        if (next == m_entries.end() || (*next)->due > target)
            break;
        auto entry = *next;
        m_now = std::max(m_now, entry->due);
        entry->done = true;
        entry->job();
    }
    m_now = target;
}

void FakeScheduler::runUntilIdle(std::chrono::milliseconds limit)
{
    const auto end = m_now + limit;
    while (pendingCount() > 0 && m_now < end) {
        std::chrono::milliseconds nextDue = end;
        for (const auto &e : m_entries)
            if (!e->cancelled && !e->done)
                nextDue = std::min(nextDue, e->due);
        advance(nextDue - m_now);
    }
}

int FakeScheduler::pendingCount() const
{
    return int(
        std::count_if(m_entries.begin(), m_entries.end(), [](const auto &e) { return !e->cancelled && !e->done; }));
}

} // namespace quorvel::test

#pragma once

#include "support/Clock.h"

#include <QTimeZone>

namespace quorvel::test {

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 4), QTime(12, 0), QTimeZone::utc()))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    void set(QDateTime t) { m_now = std::move(t); }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

} // namespace quorvel::test

#pragma once

#include <QDateTime>
#include <memory>

namespace quorvel {

// Wall-clock time: event timestamps, last-check times, the safety-stop moment.
// Values are UTC with millisecond precision.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // The process-wide live clock.
    static std::shared_ptr<Clock> system();
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

} // namespace quorvel

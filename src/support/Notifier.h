#pragma once

#include <QString>
#include <functional>

namespace quorvel {

// One desktop notification, already in the interface language.
struct DesktopNotice {
    QString title;
    QString body;
    bool operator==(const DesktopNotice &) const = default;
};

// Shows a notice through the platform's notification service and returns at once: the
// service answers later, or never, and a missing service is the platform's to absorb. Empty
// where the platform has none.
using Notifier = std::function<void(const DesktopNotice &notice)>;

} // namespace quorvel

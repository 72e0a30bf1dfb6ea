#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace quorvel {

// Watching another process for its end without polling: the kernel tells us (a pidfd on Linux,
// a kqueue process filter on the Mac). The watch lasts as long as the returned object; `onExit`
// runs once, on the main thread, when the process has ended. No object means the process is not
// running (or cannot be watched), which the caller reports instead of keeping a session for it.
struct ProcessWatching {
    std::function<std::unique_ptr<QObject>(qint64 pid, std::function<void()> onExit)> watch;
    // The process's own short name ("make"), empty when it cannot be read.
    std::function<QString(qint64 pid)> name;
};

// The platform's watcher; defined once per platform.
ProcessWatching liveProcessWatching();

// What both platforms' watches come down to: a descriptor that turns readable once the process
// has ended, owned (closed) by the watch, and `onExit` run at most once. `arrived`, when given,
// is asked at each wake-up whether the end really is there.
std::unique_ptr<QObject> watchExitDescriptor(int descriptor, std::function<void()> onExit,
                                             std::function<bool(int descriptor)> arrived = {});

} // namespace quorvel

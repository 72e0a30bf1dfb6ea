#pragma once

#include "idle/ChildProcess.h"

#include <QList>
#include <memory>

namespace quorvel::test {

// What a test sees of one child the code under test asked for. It outlives the handle,
// so a test can still read it after the code dropped the child.
struct FakeChild {
    QString program;
    QStringList arguments;
    qint64 pid = 0;
    bool started = false;
    bool running = false;
    bool handleAlive = true;
    bool ignoresTerminate = false; // like a child that traps SIGTERM
    int terminateRequests = 0;
    int killRequests = 0;
    ChildProcess::FinishedHandler finished;

    // The child ends by itself now (status: exit code, or signal number). The report is
    // delivered at once, as the main thread would deliver it.
    void exit(int status);
};

// Hands out fake children and keeps every one it made, in order. A terminate request
// ends a child with status 15 and a kill with status 9; those reports are posted to the
// Qt event loop, as the live children's are (run them with settle()).
class FakeChildProcessFactory {
public:
    ChildProcessFactory factory();

    QList<std::shared_ptr<FakeChild>> children;
    int failStarts = 0;           // the next n starts are refused
    bool ignoreTerminate = false; // new children trap SIGTERM

    std::shared_ptr<FakeChild> last() const { return children.isEmpty() ? nullptr : children.last(); }
    // Children whose handle is still held and that still run.
    int liveCount() const;

    // Delivers the posted end reports.
    static void settle();
};

} // namespace quorvel::test

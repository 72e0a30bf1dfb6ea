#pragma once

#include "idle/ChildProcess.h"

#include <QList>
#include <memory>

namespace quorvel::test {

// What a test sees of one child the code under test asked for. It outlives the handle,
// so a test can still read it after the code dropped the child.
struct FakeChild {
    QStringList arguments;
    qint64 pid = 0;
    bool running = false;
    bool handleAlive = true;
    int terminateRequests = 0;
    ChildProcess::FinishedHandler finished;

    // The child ends by itself now (status: exit code, or signal number). The report is
    // delivered at once, as the main thread would deliver it.
    void exit(int status);
    void report(int status);
};

// Hands out fake children and keeps every one it made, in order. A terminate request
// ends a child with status 15 and a kill with status 9; those reports are posted to the
// Qt event loop, as the live children's are (run them with settle()).
class FakeChildProcessFactory {
public:
    ChildProcessFactory factory();

    QList<std::shared_ptr<FakeChild>> children;
    int failStarts = 0; // the next n starts are refused

    std::shared_ptr<FakeChild> last() const { return children.isEmpty() ? nullptr : children.last(); }
    // Delivers the posted end reports.
    static void settle();
};

} // namespace quorvel::test

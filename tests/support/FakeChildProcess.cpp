#include "support/FakeChildProcess.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <algorithm>

namespace quorvel::test {

namespace {

class FakeChildProcess final : public ChildProcess {
public:
    explicit FakeChildProcess(std::shared_ptr<FakeChild> child, bool refuseStart)
        : m_child(std::move(child))
        , m_refuseStart(refuseStart)
    {
    }
    ~FakeChildProcess() override
    {
        // Like the live handle: a child still running when its handle goes is killed.
        m_child->running = false;
        m_child->handleAlive = false;
        m_child->finished = nullptr;
    }

    void setFinishedHandler(FinishedHandler handler) override { m_child->finished = std::move(handler); }
    bool start() override
    {
        if (m_refuseStart)
            return false;
        m_child->started = true;
        m_child->running = true;
        return true;
    }
    void terminate() override
    {
        ++m_child->terminateRequests;
        if (m_child->running && !m_child->ignoresTerminate)
            endLater(15);
    }
    void kill() override
    {
        ++m_child->killRequests;
        if (m_child->running)
            endLater(9);
    }
    bool isRunning() const override { return m_child->running; }
    qint64 pid() const override { return m_child->pid; }
    bool waitForExit(int ms) override
    {
        if (m_child->running)
            QThread::msleep(ms);
        return !m_child->running;
    }

private:
    void endLater(int status)
    {
        m_child->running = false;
        std::weak_ptr<FakeChild> weak = m_child;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, status] {
                auto child = weak.lock();
                if (!child || !child->handleAlive || !child->finished)
                    return;
                auto handler = child->finished; // the handler may drop the handle
                handler(status);
            },
            Qt::QueuedConnection);
    }

    std::shared_ptr<FakeChild> m_child;
    bool m_refuseStart;
};

} // namespace

void FakeChild::exit(int status)
{
    if (!running)
        return;
    running = false;
    if (!handleAlive || !finished)
        return;
    auto handler = finished; // the handler may drop the handle
    handler(status);
}

ChildProcessFactory FakeChildProcessFactory::factory()
{
    return [this](QString program, QStringList arguments) -> std::unique_ptr<ChildProcess> {
        auto child = std::make_shared<FakeChild>();
        child->program = std::move(program);
        child->arguments = std::move(arguments);
        child->pid = 40000 + children.size();
        child->ignoresTerminate = ignoreTerminate;
        children.append(child);
        const bool refuse = failStarts > 0;
        if (refuse)
            --failStarts;
        return std::make_unique<FakeChildProcess>(child, refuse);
    };
}

int FakeChildProcessFactory::liveCount() const
{
    return int(
        std::count_if(children.begin(), children.end(), [](const auto &c) { return c->handleAlive && c->running; }));
}

void FakeChildProcessFactory::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

} // namespace quorvel::test

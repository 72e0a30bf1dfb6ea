#include "support/FakeChildProcess.h"

#include <QCoreApplication>
#include <QThread>

namespace quorvel::test {

namespace {

class FakeChildProcess final : public ChildProcess {
public:
    FakeChildProcess(std::shared_ptr<FakeChild> child, bool refuseStart)
        : m_child(std::move(child))
        , m_refuseStart(refuseStart)
    {
    }
    // Like the live handle: a child still running when its handle goes is killed.
    ~FakeChildProcess() override
    {
        m_child->running = m_child->handleAlive = false;
        m_child->finished = nullptr;
    }

    void setFinishedHandler(FinishedHandler handler) override { m_child->finished = std::move(handler); }
    bool start() override
    {
        m_child->running = !m_refuseStart;
        return m_child->running;
    }
    void terminate() override
    {
        ++m_child->terminateRequests;
        endLater(15);
    }
    void kill() override { endLater(9); }
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
        if (!m_child->running)
            return;
        m_child->running = false;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak = std::weak_ptr<FakeChild>(m_child), status] {
                if (auto child = weak.lock())
                    child->report(status);
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
    report(status);
}

void FakeChild::report(int status)
{
    if (!handleAlive || !finished)
        return;
    auto handler = finished; // the handler may drop the handle
    handler(status);
}

ChildProcessFactory FakeChildProcessFactory::factory()
{
    return [this](QString, QStringList arguments) -> std::unique_ptr<ChildProcess> {
        auto child = std::make_shared<FakeChild>();
        child->arguments = std::move(arguments);
        child->pid = 40000 + children.size();
        children.append(child);
        const bool refuse = failStarts > 0;
        failStarts -= refuse;
        return std::make_unique<FakeChildProcess>(child, refuse);
    };
}

void FakeChildProcessFactory::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

} // namespace quorvel::test

#include "ui/ScreenChanges.h"

#include <QGuiApplication>
#include <QScreen>

namespace quorvel {

namespace {

class ScreenSubscription final : public PowerChangeSubscription {
public:
    explicit ScreenSubscription(QList<QMetaObject::Connection> connections)
        : m_connections(std::move(connections))
    {
    }
    ~ScreenSubscription() override
    {
        for (const QMetaObject::Connection &connection : m_connections)
            QObject::disconnect(connection);
    }

private:
    QList<QMetaObject::Connection> m_connections;
};

} // namespace

PowerChangeSource screenChanges()
{
    return [](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        if (!app)
            return nullptr;
        auto changed = [notify = std::move(notify)] { notify(); };
        return std::make_unique<ScreenSubscription>(QList<QMetaObject::Connection>{
            QObject::connect(app, &QGuiApplication::screenAdded, app, changed),
            QObject::connect(app, &QGuiApplication::screenRemoved, app, changed),
            QObject::connect(app, &QGuiApplication::primaryScreenChanged, app, changed)});
    };
}

} // namespace quorvel

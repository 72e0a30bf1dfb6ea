#pragma once

#include <QJsonObject>
#include <QObject>
#include <functional>

namespace quorvel {

class AppCoordinator;

// Answers requests in the running app.
class ControlHandler final : public QObject {
    Q_OBJECT
public:
    // `activate`: a second launch without arguments (open the menu).
    ControlHandler(AppCoordinator &app, std::function<void()> activate, QObject *parent = nullptr);

    void handle(const QJsonObject &request, std::function<void(const QJsonObject &)> reply);

private:
    QJsonObject ok() const;
    QJsonObject refused(const QString &reasonKey) const;
    // `run` and `start --while-pid`: a session kept while a process runs.
    void startBound(const QJsonObject &request, std::function<void(const QJsonObject &)> reply);
    // Replies once the session is no longer starting or stopping (or after a few seconds).
    void replyWhenSettled(std::function<void(const QJsonObject &)> reply);

    AppCoordinator &m_app;
    std::function<void()> m_activate;
};

} // namespace quorvel

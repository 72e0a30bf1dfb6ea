#include "app/Instance.h"

#include "records/DiagnosticLog.h"

#include <QJsonDocument>

namespace quorvel {

Instance::Instance(QObject *parent)
    : QObject(parent)
{
    m_server = std::make_unique<Control::Server>(
        [this](const QJsonObject &request, std::function<void(const QJsonObject &)> reply) {
            if (!m_handler) // still starting up
                return reply({{QStringLiteral("ok"), false}, {QStringLiteral("error"), qtTrId("pleaseWait")}});
            m_handler->handle(request, std::move(reply));
        });
}

Instance::~Instance() = default;

bool Instance::claim()
{
    if (m_server->listen())
        return true;
    if (m_server->errorString() == QLatin1String("another instance is running"))
        return false;
    DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                       QStringLiteral("control channel unavailable, reason=") + m_server->errorString());
    return true;
}

void Instance::serve(AppCoordinator &coordinator, std::function<void()> activate)
{
    m_handler = std::make_unique<ControlHandler>(coordinator, std::move(activate));
}

void Instance::openUrl(const QUrl &url)
{
    const auto request = ControlCommands::parseUrl(url);
    if (!request || !m_handler) {
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("address ignored, url=") + url.toString());
        return;
    }
    m_handler->handle(*request, [url](const QJsonObject &reply) {
        if (!reply.value(QStringLiteral("ok")).toBool())
            DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                               QStringLiteral("address refused, url=%1, reason=%2")
                                   .arg(url.toString(), reply.value(QStringLiteral("reason")).toString()));
    });
}

void Instance::handleLaunchArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        if (argument.startsWith(QLatin1String("quorvel:")))
            openUrl(QUrl(argument));
}

} // namespace quorvel

#include "app/AppDelegate.h"
#include "app/CtlHistory.h"
#include "app/composition/ControlChannel.h"
#include "app/composition/ControlCommands.h"
#include "prefs/LanguageController.h"
#include "support/UserDefaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>

namespace quorvel {

namespace {

void print(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

bool instanceAnswers()
{
    QLocalSocket socket;
    socket.connectToServer(Control::socketPath());
    return socket.waitForConnected(300);
}

} // namespace

int runCtl(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The replies' reasons come in the interface language the user chose for the app.
    LanguageController language(UserDefaults::standard());
    const QStringList arguments = QCoreApplication::arguments().mid(2);
    if (const std::optional<int> history = runCtlHistory(arguments))
        return *history;
    const ControlCommands::Parsed parsed = ControlCommands::parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        print(stderr, parsed.error);
        return 64;
    }
    // Authorizing waits for a person at the administrator dialog.
    const bool authorize = parsed.request.value(QStringLiteral("command")).toString() == QLatin1String("authorize");
    const std::optional<QJsonObject> reply = Control::request(parsed.request, authorize ? 600000 : 15000);
    if (!reply) {
        print(stderr, qtTrId("ctlNotRunning"));
        return 2;
    }
    const bool ok = reply->value(QStringLiteral("ok")).toBool();
    const bool quitting = parsed.request.value(QStringLiteral("command")).toString() == QLatin1String("quit");
    if (parsed.json) {
        print(stdout, QString::fromUtf8(QJsonDocument(*reply).toJson(QJsonDocument::Compact)));
    } else if (!ok) {
        print(stderr, reply->value(QStringLiteral("error")).toString());
    } else if (!quitting) { // the state just before quitting tells nothing
        if (const auto state = ControlCommands::stateFromStatusJson(reply->value(QStringLiteral("status")).toObject()))
            print(stdout, ControlCommands::describe(*state));
    }
    if (!ok)
        return 1;
    if (quitting) {
        // The app may ask first; it has quit once nobody answers any more.
        QDeadlineTimer deadline(parsed.request.value(QStringLiteral("force")).toBool() ? 15000 : 120000);
        while (instanceAnswers()) {
            if (deadline.hasExpired()) {
                print(stderr, qtTrId("ctlQuitNotConfirmed"));
                return 1;
            }
            QThread::msleep(100);
        }
    }
    return 0;
}

std::optional<QJsonObject> handOffToRunningInstance(const QStringList &arguments)
{
    QJsonArray forwarded;
    for (const QString &argument : arguments)
        if (argument != QLatin1String("--headless"))
            forwarded.append(argument);
    return Control::request(
        {{QStringLiteral("command"), QStringLiteral("activate")}, {QStringLiteral("arguments"), forwarded}}, 5000);
}

} // namespace quorvel

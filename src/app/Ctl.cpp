#include "app/AppDelegate.h"
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

bool pleaseWait(const Control::Exchange &result)
{
    return result.outcome == Control::Exchange::Outcome::busy
           || (result.outcome == Control::Exchange::Outcome::answered
               && result.reply.value(QStringLiteral("reason")).toString() == QLatin1String("pleaseWait"));
}

// A change still settling, or a moment with every connection taken, passes within a blink:
// asked again for a while before the user is told.
Control::Exchange patientExchange(const QJsonObject &message, int timeoutMs)
{
    QDeadlineTimer patience(2000);
    for (;;) {
        Control::Exchange result = Control::exchange(message, timeoutMs);
        if (!pleaseWait(result) || patience.hasExpired())
            return result;
        QThread::msleep(50);
    }
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
    const ControlCommands::Parsed parsed = ControlCommands::parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        print(stderr, parsed.error);
        return 64;
    }
    // Authorizing waits for a person at the administrator dialog.
    const bool authorize = parsed.request.value(QStringLiteral("command")).toString() == QLatin1String("authorize");
    const Control::Exchange result = patientExchange(parsed.request, authorize ? 600000 : 15000);
    switch (result.outcome) {
    case Control::Exchange::Outcome::answered: break;
    case Control::Exchange::Outcome::notRunning: print(stderr, qtTrId("ctlNotRunning")); return 2;
    case Control::Exchange::Outcome::permissionDenied: print(stderr, qtTrId("ctlPermissionDenied")); return 77;
    case Control::Exchange::Outcome::busy: print(stderr, qtTrId("ctlBusy")); return 75;
    }
    const std::optional<QJsonObject> reply = result.reply;
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
    const Control::Exchange result = patientExchange(
        {{QStringLiteral("command"), QStringLiteral("activate")}, {QStringLiteral("arguments"), forwarded}}, 5000);
    if (result.outcome != Control::Exchange::Outcome::answered)
        return std::nullopt;
    return result.reply;
}

} // namespace quorvel

#include "app/composition/ControlHandler.h"

#include "app/composition/AppCoordinator.h"
#include "app/composition/ControlCommands.h"
#include "closedlid/ClosedLidModule.h"
#include "prefs/Localization.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <limits>
#include <utility>

namespace quorvel {

namespace {

bool isSettling(const VemoState &state)
{
    return is<TimedSession::Starting>(state.timedSession) || is<TimedSession::Stopping>(state.timedSession)
           || is<DisplayAwake::Starting>(state.displayAwake) || is<DisplayAwake::Stopping>(state.displayAwake);
}

} // namespace

ControlHandler::ControlHandler(AppCoordinator &app, std::function<void()> activate, QObject *parent)
    : QObject(parent)
    , m_app(app)
    , m_activate(std::move(activate))
{
}

QJsonObject ControlHandler::ok() const
{
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("status"), ControlCommands::statusJson(m_app.store().state())}};
}

QJsonObject ControlHandler::refused(const QString &reasonKey) const
{
    QJsonObject reply = ok();
    reply.insert(QStringLiteral("ok"), false);
    reply.insert(QStringLiteral("reason"), reasonKey);
    reply.insert(QStringLiteral("error"), qtTrId(reasonKey.toLatin1().constData()));
    return reply;
}

void ControlHandler::replyWhenSettled(std::function<void(const QJsonObject &)> reply)
{
    // The caffeinate child starts and stops asynchronously; the answer waits for its outcome.
    auto *watch = new QObject(this);
    auto done = std::make_shared<bool>(false);
    const auto finish = [this, watch, done, reply] {
        if (std::exchange(*done, true))
            return;
        const VemoState &state = m_app.store().state();
        QJsonObject answer = ok();
        if (is<TimedSession::Failed>(state.timedSession) || is<DisplayAwake::Failed>(state.displayAwake)) {
            answer = refused(QStringLiteral("couldNotTurnOn"));
            if (state.lastError)
                answer.insert(QStringLiteral("error"), answer.value(QStringLiteral("error")).toString()
                                                           + QStringLiteral(" (") + toString(*state.lastError)
                                                           + QLatin1Char(')'));
        }
        reply(answer);
        watch->deleteLater();
    };
    if (!isSettling(m_app.store().state())) {
        finish();
        return;
    }
    connect(&m_app.store(), &AppStateStore::changed, watch, [this, finish] {
        if (!isSettling(m_app.store().state()))
            finish();
    });
    QTimer::singleShot(5000, watch, finish);
}

void ControlHandler::startBound(const QJsonObject &request, std::function<void(const QJsonObject &)> reply)
{
    const VemoState state = m_app.store().state();
    const bool isRun = request.value(QStringLiteral("command")).toString() == QLatin1String("run");
    const QJsonValue pidValue = request.value(QStringLiteral("pid"));
    const qint64 pid = pidValue.toInteger(0);
    const QString name = request.value(QStringLiteral("name")).toString();
    if (!pidValue.isDouble() || pid <= 0 || pid != pidValue.toDouble() || pid > std::numeric_limits<qint32>::max()
        || pid == QCoreApplication::applicationPid()
        || (isRun
            && (name.isEmpty() || name.size() > 255 || name.contains(QLatin1Char('/'))
                || std::any_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; })
                || !request.value(QStringLiteral("display")).isBool())))
        return reply(refused(QStringLiteral("ctlBadRequest")));
    if (isClamshellRunning(state.clamshell))
        return reply(refused(QStringLiteral("ctlBlockedByClosedLid")));
    if (state.startupResidual)
        return reply(refused(QStringLiteral("ctlBlockedByLeftover")));
    if (isSettling(state))
        return reply(refused(QStringLiteral("pleaseWait")));
    SessionBinder &binder = m_app.sessionBinder();
    if (binder.isBound())
        return reply(refused(QStringLiteral("ctlAlreadyBound")));
    SessionBinding binding;
    if (isRun) {
        binding.kind = SessionBinding::Kind::command;
        binding.name = name;
    } else {
        binding.kind = SessionBinding::Kind::process;
        binding.name = binder.processName(pid);
        binding.pid = pid;
    }
    if (!binder.bindToProcess(pid, binding)) {
        QJsonObject answer = refused(QStringLiteral("ctlProcessGone"));
        answer.insert(QStringLiteral("error"), Localization::text("ctlProcessGone", {QString::number(pid)}));
        return reply(answer);
    }
    // A session kept for a process runs until the process ends: an indefinite one.
    TimedSleepPreventer &timed = m_app.timedController();
    if (is<TimedSession::Running>(state.timedSession)) {
        timed.switchToPermanent();
        binder.bindToProcess(pid, binding); // the switch is a change by hand and dropped it
    } else if (!is<TimedSession::RunningPermanent>(state.timedSession)) {
        m_app.startPermanent();
        const TimedSessionState now = m_app.store().state().timedSession;
        if (!is<TimedSession::Starting>(now) && !is<TimedSession::RunningPermanent>(now))
            binder.release();
    }
    if (isRun && request.value(QStringLiteral("display")).toBool())
        m_app.setDisplayAwake(true);
    replyWhenSettled(std::move(reply));
}

void ControlHandler::handle(const QJsonObject &request, std::function<void(const QJsonObject &)> reply)
{
    if (const QString problem = ControlCommands::requestProblem(request); !problem.isEmpty())
        return reply({{QStringLiteral("ok"), false},
                      {QStringLiteral("reason"), QStringLiteral("invalidRequest")},
                      {QStringLiteral("error"), problem}});
    const QString verb = request.value(QStringLiteral("command")).toString();
    const VemoState state = m_app.store().state();
    const bool closedLidRunning = isClamshellRunning(state.clamshell);
    TimedSleepPreventer &timed = m_app.timedController();
    ClosedLidModule *lid = m_app.closedLidModule();
    // The menu's admission rule, said in words.
    const auto blocked = [&]() -> std::optional<QString> {
        if (closedLidRunning)
            return QStringLiteral("ctlBlockedByClosedLid");
        if (state.startupResidual)
            return QStringLiteral("ctlBlockedByLeftover");
        if (isSettling(state))
            return QStringLiteral("pleaseWait");
        return std::nullopt;
    };

    if (verb == QLatin1String("status")) {
        reply(ok());
    } else if (verb == QLatin1String("activate")) {
        const QJsonArray arguments = request.value(QStringLiteral("arguments")).toArray();
        for (const QJsonValue &argument : arguments) {
            if (const auto fromUrl = ControlCommands::parseUrl(QUrl(argument.toString()))) {
                handle(*fromUrl, reply);
                return;
            }
        }
        if (arguments.isEmpty() && m_activate)
            m_activate();
        reply(ok());
    } else if (verb == QLatin1String("run")
               || (verb == QLatin1String("start") && request.contains(QStringLiteral("pid")))) {
        startBound(request, std::move(reply));
    } else if (verb == QLatin1String("start") && request.contains(QStringLiteral("until"))) {
        if (const auto why = blocked())
            return reply(refused(*why));
        const QDateTime until = QDateTime::fromString(request.value(QStringLiteral("until")).toString(), Qt::ISODate);
        if (!until.isValid() || until.timeSpec() == Qt::LocalTime)
            return reply(refused(QStringLiteral("ctlBadRequest")));
        const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(until);
        if (seconds < 1)
            return reply(refused(QStringLiteral("ctlUntilPassed")));
        if (seconds > TimedSleepPreventer::longestAdjusted)
            return reply(refused(QStringLiteral("ctlUntilTooFar")));
        if (m_app.sessionBinder().isBound())
            return reply(refused(QStringLiteral("ctlAlreadyBound")));
        // A running session takes the new end by a relaunch; the binding is set after the
        // change, which would otherwise drop it as a change by hand.
        if (const auto *running = std::get_if<TimedSession::Running>(&state.timedSession)) {
            timed.adjustRemaining(seconds - running->remainingSeconds);
            m_app.sessionBinder().bindUntil(until);
        } else if (is<TimedSession::RunningPermanent>(state.timedSession)) {
            timed.switchToTimed(seconds);
            m_app.sessionBinder().bindUntil(until);
        } else {
            m_app.sessionBinder().bindUntil(until);
            m_app.startTimed(seconds);
            if (!is<TimedSession::Starting>(m_app.store().state().timedSession)
                && !is<TimedSession::Running>(m_app.store().state().timedSession))
                m_app.sessionBinder().release();
        }
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("start")) {
        const qint64 seconds = request.value(QStringLiteral("seconds")).toInteger(7200);
        if (const auto why = blocked())
            return reply(refused(*why));
        if (const auto *running = std::get_if<TimedSession::Running>(&state.timedSession))
            timed.adjustRemaining(seconds - running->remainingSeconds);
        else if (is<TimedSession::RunningPermanent>(state.timedSession))
            timed.switchToTimed(seconds);
        else
            m_app.startTimed(seconds);
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("indefinite")) {
        if (const auto why = blocked())
            return reply(refused(*why));
        if (is<TimedSession::Running>(state.timedSession))
            timed.switchToPermanent();
        else if (!is<TimedSession::RunningPermanent>(state.timedSession))
            m_app.startPermanent();
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("stop")) {
        m_app.stopTimed();
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("more") || verb == QLatin1String("less")) {
        if (const auto why = blocked())
            return reply(refused(*why));
        if (!is<TimedSession::Running>(state.timedSession))
            return reply(refused(QStringLiteral("ctlNoTimedSession")));
        timed.adjustRemaining(verb == QLatin1String("more") ? TimedSleepPreventer::adjustmentStep
                                                            : -TimedSleepPreventer::adjustmentStep);
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("display")) {
        const bool on = request.value(QStringLiteral("on")).toBool();
        if (on) {
            if (const auto why = blocked())
                return reply(refused(*why));
            if (!is<TimedSession::Running>(state.timedSession)
                && !is<TimedSession::RunningPermanent>(state.timedSession))
                return reply(refused(QStringLiteral("ctlNoSession")));
        }
        m_app.setDisplayAwake(on);
        replyWhenSettled(std::move(reply));
    } else if (verb == QLatin1String("closedLid") && lid) {
        const bool on = request.value(QStringLiteral("on")).toBool();
        if (on && !is<Authorization::Granted>(state.authorization))
            return reply(refused(QStringLiteral("authorizationNeeded")));
        lid->setClamshell(on);
        const ClamshellState now = m_app.store().state().clamshell;
        if (on && !isClamshellRunning(now))
            return reply(refused(QStringLiteral("closedLidEnableFailed")));
        if (!on && isClamshellRunning(now))
            return reply(refused(QStringLiteral("restoreFailed")));
        reply(ok());
    } else if (verb == QLatin1String("authorize") && lid) {
        lid->authorizationManager().grant(); // blocks while the administrator dialog is open
        if (!is<Authorization::Granted>(m_app.store().state().authorization))
            return reply(refused(QStringLiteral("authorizationFailed")));
        reply(ok());
    } else if (verb == QLatin1String("quit")) {
        reply(ok());
        // After the answer has gone out: the quit may ask first, or end the event loop.
        const bool force = request.value(QStringLiteral("force")).toBool();
        QTimer::singleShot(0, this, [this, force] {
            if (!force) {
                m_app.requestQuit();
                return;
            }
            m_app.cleanupAll();
            QCoreApplication::quit();
        });
    } else {
        QJsonObject answer{{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("unknown command")}};
        reply(answer);
    }
}

} // namespace quorvel

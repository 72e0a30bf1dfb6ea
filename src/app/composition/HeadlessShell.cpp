#include "app/composition/HeadlessShell.h"

#include "power/BatterySafetyCoordinator.h"
#include "ui/Presentation.h"

#include <QCoreApplication>

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace quorvel {

namespace {

constexpr auto usage = "commands: status | start [seconds] | indefinite | stop | more | less | timed | permanent"
                       " | display on|off | lid on|off | authorize | restore | revoke | check | quit";

QString powerText(const PowerContext &power)
{
    switch (power.powerSource) {
    case PowerSource::powerAdapter: return QStringLiteral("adapter");
    case PowerSource::battery:
        return power.batteryLevel ? QStringLiteral("battery %1%").arg(*power.batteryLevel) : QStringLiteral("battery");
    case PowerSource::unknown: break;
    }
    return QStringLiteral("unknown");
}

QString authorizationText(const AuthorizationState &authorization)
{
    if (const auto *failed = std::get_if<Authorization::Failed>(&authorization))
        return QStringLiteral("failed (%1)").arg(toString(failed->error));
    if (is<Authorization::Required>(authorization))
        return QStringLiteral("required");
    if (is<Authorization::Granting>(authorization))
        return QStringLiteral("granting");
    if (is<Authorization::Granted>(authorization))
        return QStringLiteral("granted");
    if (is<Authorization::Denied>(authorization))
        return QStringLiteral("denied");
    if (is<Authorization::Revoked>(authorization))
        return QStringLiteral("revoked");
    return QStringLiteral("unknown");
}

} // namespace

HeadlessShell::HeadlessShell(AppCoordinator &app, QTextStream &out, Output output, QObject *parent)
    : QObject(parent)
    , m_app(app)
    , m_out(out)
    , m_output(output)
{
    connect(&app.store(), &AppStateStore::changed, this, &HeadlessShell::printIfChanged, Qt::QueuedConnection);
    // Every quit confirmation is printed before it is answered, so that a warning the
    // terminal answers on the user's behalf still reaches the user.
    m_quitAlertPresenter = app.quitAlertPresenter();
    app.setQuitAlertPresenter([this](const QuitAlert &alert) {
        printLine(QStringLiteral("alert: ") + alert.messageText + QStringLiteral(" | ")
                  + QString(alert.informativeText).replace('\n', ' ') + QStringLiteral(" | ") + alert.firstButton
                  + QStringLiteral(" / ") + alert.secondButton);
        return m_quitAlertPresenter ? m_quitAlertPresenter(alert) : alertSecondButton;
    });
}

HeadlessShell::~HeadlessShell()
{
    m_app.setQuitAlertPresenter(std::move(m_quitAlertPresenter));
    // The terminal's prompt comes back on a line of its own.
    if (std::exchange(m_lineOpen, false))
        m_out << Qt::endl;
}

void HeadlessShell::attachStandardInput()
{
    m_inputEchoes = ::isatty(STDIN_FILENO) == 1;
    m_input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_input, &QSocketNotifier::activated, this, &HeadlessShell::readStandardInput);
}

// Reads what is there straight from the descriptor: a buffered reader would take several
// piped lines at once and leave the notifier nothing to wake up for.
void HeadlessShell::readStandardInput()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0)
        m_pending.append(buffer, n);
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0 && !m_quitting; end = m_pending.indexOf('\n')) {
        if (m_inputEchoes)
            inputLineEnded();
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        execute(QString::fromUtf8(line));
    }
    // Once quitting, whatever else comes is for nobody; the end of input asks nothing more.
    if (m_quitting) {
        m_input->setEnabled(false);
        return;
    }
    if (n > 0)
        return;
    // End of input (or an error reading it) ends the app like the quit command.
    m_input->setEnabled(false);
    if (!m_pending.isEmpty())
        execute(QString::fromUtf8(std::exchange(m_pending, {})));
    if (!m_quitting)
        execute(QStringLiteral("quit"));
}

QString HeadlessShell::describe() const
{
    return describe(true);
}

QString HeadlessShell::describe(bool withCountdown) const
{
    const VemoState &state = m_app.store().state();
    const qint64 threshold = m_app.closedLidModule()
                                 ? BatterySafetyCoordinator::autoExitThreshold(*UserDefaults::standard())
                                 : AppStateStore::defaultThreshold;
    QStringList parts;
    parts << Presentation::toolTip(Presentation::menuBarAttention(state), state);
    parts << QStringLiteral("idle: ") + Presentation::idleRowSubtitle(state);
    if (const auto countdown = Presentation::menuBarCountdown(state); countdown && withCountdown)
        parts << *countdown;
    const auto display = Presentation::displayWakeRow(state);
    parts << QStringLiteral("display: ") + Presentation::displayRowSubtitleKey(display.status).text();
    const auto lid = Presentation::closedLidRow(state, threshold);
    if (const auto unavailable = closedLidUnavailableNow(m_app.platformNotes(), state))
        parts << QStringLiteral("closed lid: ") + unavailable->text();
    else
        parts << QStringLiteral("closed lid: ")
                     + Presentation::closedLidStatusText(lid.status, threshold)
                           .value_or(Presentation::closedLidSubtitleKey(lid.status, state).text());
    parts << QStringLiteral("power: ") + powerText(state.power);
    parts << QStringLiteral("authorization: ") + authorizationText(state.authorization);
    // The outcome of the latest operation, as the menu would colour it: a failure is shown,
    // not only logged.
    if (state.lastError)
        parts << QStringLiteral("error: ") + toString(*state.lastError);
    return parts.join(QStringLiteral(" | "));
}

void HeadlessShell::printIfChanged()
{
    const QString now = describe();
    if (now == m_lastDescription)
        return;
    m_lastDescription = now;
    const QString steady = describe(false);
    const bool onlyTheCountdown = steady == std::exchange(m_lastSteady, steady);
    if (m_output == Output::lines) {
        m_out << now << Qt::endl;
        return;
    }
    // A countdown rewrites its own line instead of scrolling the terminal a line a second;
    // anything else that changes starts a new line, so what happened stays readable above.
    if (m_lineOpen && onlyTheCountdown)
        m_out << "\r\x1b[K" << now;
    else
        m_out << (m_lineOpen ? "\n" : "") << now;
    m_out.flush();
    m_lineOpen = true;
}

void HeadlessShell::printLine(const QString &line)
{
    if (std::exchange(m_lineOpen, false))
        m_out << '\n';
    m_out << line << Qt::endl;
}

void HeadlessShell::inputLineEnded()
{
    m_lineOpen = false;
}

bool HeadlessShell::execute(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString command = words.first().toLower();
    const QString argument = words.value(1).toLower();
    ClosedLidModule *lid = m_app.closedLidModule();
    TimedSleepPreventer &timed = m_app.timedController();

    if (command == QLatin1String("status")) {
        m_lastDescription = describe();
        m_lastSteady = describe(false);
        printLine(m_lastDescription);
    } else if (command == QLatin1String("start")) {
        bool ok = true;
        const qint64 seconds = words.size() > 1 ? argument.toLongLong(&ok) : TimedSleepPreventer::defaultTimedSeconds;
        if (!ok || seconds < 1) {
            printLine(QStringLiteral("start takes a number of seconds"));
            return false;
        }
        m_app.startTimed(seconds);
    } else if (command == QLatin1String("indefinite")) {
        m_app.startPermanent();
    } else if (command == QLatin1String("stop")) {
        m_app.stopTimed();
    } else if (command == QLatin1String("more") || command == QLatin1String("less")) {
        timed.adjustRemaining(command == QLatin1String("more") ? TimedSleepPreventer::adjustmentStep
                                                               : -TimedSleepPreventer::adjustmentStep);
    } else if (command == QLatin1String("permanent")) {
        timed.switchToPermanent();
    } else if (command == QLatin1String("timed")) {
        timed.switchToTimed();
    } else if (command == QLatin1String("display")
               && (argument == QLatin1String("on") || argument == QLatin1String("off"))) {
        m_app.setDisplayAwake(argument == QLatin1String("on"));
    } else if (command == QLatin1String("lid") && lid
               && (argument == QLatin1String("on") || argument == QLatin1String("off"))) {
        const bool enable = argument == QLatin1String("on");
        if (enable && is<Clamshell::AuthorizationRequired>(m_app.store().state().clamshell))
            lid->authorizeAndStart();
        else
            lid->setClamshell(enable);
    } else if (command == QLatin1String("authorize") && lid) {
        lid->authorizationManager().grant();
    } else if (command == QLatin1String("restore") && lid) {
        lid->restoreResidual();
    } else if (command == QLatin1String("revoke") && lid) {
        lid->revokeAuthorization();
    } else if (command == QLatin1String("check") && m_app.updateChecker()) {
        m_app.updateChecker()->checkNow();
    } else if (command == QLatin1String("quit")) {
        m_quitting = true; // nobody here can cancel it
        m_app.requestQuit();
    } else {
        printLine(QString::fromLatin1(usage));
        return false;
    }
    return true;
}

} // namespace quorvel

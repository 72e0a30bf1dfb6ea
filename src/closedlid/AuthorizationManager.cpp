#include "closedlid/AuthorizationManager.h"

#include "records/DiagnosticLog.h"

namespace quorvel {

namespace {

void logAuthorization(DiagnosticLog::Level level, const QString &message)
{
    DiagnosticLog::log(level, DiagnosticLog::Category::authorization, message);
}

} // namespace

AuthorizationManager::AuthorizationManager(QPointer<AppStateStore> store, Checker checker, Grantor grantor,
                                           std::shared_ptr<EventJournal> eventJournal)
    : m_store(std::move(store))
    , m_checker(std::move(checker))
    , m_grantor(std::move(grantor))
    , m_eventJournal(std::move(eventJournal))
{
}

void AuthorizationManager::setState(const AuthorizationState &state)
{
    m_state = state;
    if (m_store)
        m_store->setAuthorization(state);
}

void AuthorizationManager::append(VemoEventKind kind, std::optional<SystemEvidence> evidence)
{
    if (m_eventJournal)
        m_eventJournal->append(VemoEvent::make(std::move(kind), std::move(evidence)));
}

Result<bool> AuthorizationManager::verify()
{
    const Result<bool> present = m_checker();
    if (!present)
        return present;
    const bool rulePresent = present.value();
    setState(rulePresent ? AuthorizationState(Authorization::Granted{}) : Authorization::Required{});
    logAuthorization(DiagnosticLog::Level::info,
                     QStringLiteral("authorization verify, rulePresent=%1")
                         .arg(rulePresent ? QStringLiteral("true") : QStringLiteral("false")));
    return rulePresent;
}

void AuthorizationManager::grant()
{
    // A second request while the dialog is open must not install twice.
    if (is<Authorization::Granting>(m_state))
        return;
    // Granted once is not granted for ever: the rule may have been removed, or changed so that
    // sudo no longer trusts it, since it was last checked. Only a rule that still works makes
    // the request redundant; otherwise the user may install it again.
    if (is<Authorization::Granted>(m_state)) {
        if (!m_checker)
            return;
        const Result<bool> present = verify();
        if (!present || present.value())
            return;
    }
    append(EventKind::AuthorizationRequested{});
    setState(Authorization::Granting{});

    const Result<> installed = m_grantor();
    if (installed) {
        setState(Authorization::Granted{});
        logAuthorization(DiagnosticLog::Level::info, QStringLiteral("authorization granted"));
        append(EventKind::AuthorizationGranted{}, SystemEvidence{});
        return;
    }

    const std::optional<VemoError> error = installed.failure().vemoError();
    if (error == VemoError::authorizationDenied) {
        setState(Authorization::Denied{});
        logAuthorization(DiagnosticLog::Level::warning, QStringLiteral("authorization denied"));
    } else {
        // A platform failure (the temporary copy could not be written, say) has no error of
        // its own; to the user it is a system command that failed.
        setState(Authorization::Failed{error.value_or(VemoError::systemCommandFailed)});
        logAuthorization(DiagnosticLog::Level::error, QStringLiteral("authorization failed"));
    }
    append(EventKind::AuthorizationDenied{});
}

void AuthorizationManager::revoke(const Revoker &revoker, const Readback &readback)
{
    if (!is<Authorization::Granted>(m_state))
        return;

    bool success = false;
    const RevokeOutcome outcome = revoker();
    if (is<Revoke::Completed>(outcome)) {
        // Only a read-back that no longer finds the rule proves the removal; a failing
        // read-back proves nothing, so the rule is assumed to be still there.
        const Result<bool> stillPresent = readback();
        success = stillPresent.ok() && !stillPresent.value();
        setState(success ? AuthorizationState(Authorization::Revoked{}) : Authorization::Granted{});
    } else if (is<Revoke::Cancelled>(outcome)) {
        setState(Authorization::Granted{});
    } else {
        const VemoError error = std::get<Revoke::Failed>(outcome).error;
        m_state = Authorization::Granted{};
        if (m_store)
            m_store->setAuthorizationGranted(error);
    }
    append(EventKind::AuthorizationRevoked{success});
}

} // namespace quorvel

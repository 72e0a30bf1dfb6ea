#pragma once

#include "closedlid/Result.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "state/VemoState.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <variant>

namespace quorvel {

// How a privileged removal of the rule ended.
namespace Revoke {
struct Failed {
    VemoError error;
    bool operator==(const Failed &) const = default;
};
struct Completed {
    bool operator==(const Completed &) const = default;
};
struct Cancelled {
    bool operator==(const Cancelled &) const = default;
};
} // namespace Revoke
using RevokeOutcome = std::variant<Revoke::Failed, Revoke::Completed, Revoke::Cancelled>;

// Keeps the sudoers authorization of closed-lid mode: verifies, installs and removes the
// rule through the functions it is given, mirrors its state into the store and records
// the authorization events. Everything runs on the main thread and blocks while the
// administrator dialog is open.
class AuthorizationManager final {
public:
    using RevokeOutcome = quorvel::RevokeOutcome;
    using Checker = std::function<Result<bool>()>;
    using Grantor = std::function<Result<>()>;
    using Revoker = std::function<RevokeOutcome()>;
    using Readback = std::function<Result<bool>()>;

    AuthorizationManager(QPointer<AppStateStore> store, Checker checker, Grantor grantor,
                         std::shared_ptr<EventJournal> eventJournal);

    const AuthorizationState &state() const { return m_state; }

    // Asks the checker whether the rule is in place; granted or required follows. A failing
    // checker is passed on and changes nothing.
    Result<bool> verify();

    // Installs the rule unless it is granted or being granted. Never fails: the outcome
    // is the new state (granted, denied or failed).
    void grant();

    // Removes the rule while it is granted; the read-back decides whether it is gone.
    void revoke(const Revoker &revoker, const Readback &readback);

private:
    void setState(const AuthorizationState &state);
    void append(VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt);

    QPointer<AppStateStore> m_store;
    AuthorizationState m_state = Authorization::Unknown{};
    Checker m_checker;
    Grantor m_grantor;
    std::shared_ptr<EventJournal> m_eventJournal;
};

} // namespace quorvel

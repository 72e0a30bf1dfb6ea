#pragma once

#include <QString>
#include <functional>

namespace quorvel {

// One modal alert of closed-lid mode. Every text is a localisation key: the presenter
// looks it up (qtTrId) in the interface language at the moment it shows the alert, so a
// language switch never leaves a stale text in a value built earlier.
struct Alert {
    enum class Style { informational, warning, critical };

    QString titleKey;
    QString messageKey;
    Style style = Style::informational;
    QString iconName; // a system symbol name, shown at 16 points, regular weight
    QString firstButtonKey;
    QString secondButtonKey;
    bool operator==(const Alert &) const = default;
};

// The modal responses of the two buttons, as the platform's alert reports them.
inline constexpr int alertFirstButton = 1000;
inline constexpr int alertSecondButton = 1001;

// Shows the alert modally on the main thread and returns the chosen button's response.
using AlertPresenter = std::function<int(const Alert &)>;

namespace Alerts {

inline Alert authorizationRequest()
{
    return {QStringLiteral("authorizationRequiredAlert"),
            QStringLiteral("authorizationBenefit"),
            Alert::Style::informational,
            QStringLiteral("lock.fill"),
            QStringLiteral("authorizeNow"),
            QStringLiteral("cancel")};
}

inline Alert revokeWhileActive()
{
    return {QStringLiteral("revokeWhileClamshellRunningTitle"),
            QStringLiteral("revokeWhileClamshellRunningMessage"),
            Alert::Style::warning,
            QStringLiteral("exclamationmark.triangle.fill"),
            QStringLiteral("closeAndRevoke"),
            QStringLiteral("cancel")};
}

inline Alert restoreFailed()
{
    return {QStringLiteral("revokeRestoreFailedTitle"),
            QStringLiteral("revokeRestoreFailedMessage"),
            Alert::Style::critical,
            QStringLiteral("exclamationmark.triangle.fill"),
            QStringLiteral("retry"),
            QStringLiteral("cancel")};
}

} // namespace Alerts

} // namespace quorvel

#pragma once

#include <QString>
#include <QtGlobal>
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

// Marked so that the translation check finds every key an alert uses.
inline QString key(const char *id)
{
    return QString::fromLatin1(id);
}

inline Alert authorizationRequest()
{
    return {key(QT_TRID_NOOP("authorizationRequiredAlert")),
            key(QT_TRID_NOOP("authorizationBenefit")),
            Alert::Style::informational,
            QStringLiteral("lock.fill"),
            key(QT_TRID_NOOP("authorizeNow")),
            key(QT_TRID_NOOP("cancel"))};
}

inline Alert revokeWhileActive()
{
    return {key(QT_TRID_NOOP("revokeWhileClamshellRunningTitle")),
            key(QT_TRID_NOOP("revokeWhileClamshellRunningMessage")),
            Alert::Style::warning,
            QStringLiteral("exclamationmark.triangle.fill"),
            key(QT_TRID_NOOP("closeAndRevoke")),
            key(QT_TRID_NOOP("cancel"))};
}

inline Alert restoreFailed()
{
    return {key(QT_TRID_NOOP("revokeRestoreFailedTitle")),
            key(QT_TRID_NOOP("revokeRestoreFailedMessage")),
            Alert::Style::critical,
            QStringLiteral("exclamationmark.triangle.fill"),
            key(QT_TRID_NOOP("retry")),
            key(QT_TRID_NOOP("cancel"))};
}

} // namespace Alerts

} // namespace quorvel

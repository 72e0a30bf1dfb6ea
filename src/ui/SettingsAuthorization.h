#pragma once

#include "prefs/Localization.h"
#include "state/VemoState.h"
#include "ui/SettingsRows.h"

#include <QFrame>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

namespace quorvel {

class AppCoordinator;

// How the settings window shows one authorization state: the status icon and its colour,
// the status text and the hover help.
struct AuthorizationStatusLook {
    const char *symbol = "";
    SettingsStyle::Tone tone = SettingsStyle::Tone::secondary;
    LocalizationKey status;
    LocalizationKey toolTip;
};
AuthorizationStatusLook authorizationStatusLook(const AuthorizationState &authorization);

// What the closed-lid authorization means, opened from the information button: a title and
// three short notes. Closes on a click elsewhere.
class AuthorizationExplanationPopover final : public QFrame {
    Q_OBJECT
public:
    explicit AuthorizationExplanationPopover(QWidget *anchor);
    // Under the anchor, kept inside the anchor's screen.
    void popUp();

signals:
    void closed();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void retranslate();
    QPointer<QWidget> m_anchor;
    QLabel *m_title;
    QList<QLabel *> m_notes;
};

// The "systemAuthorization" group's content: the status row with its buttons and, while an
// earlier run's disabled sleep is still in force without a rule to restore it, a red note.
// Follows the store; authorizing and revoking go to the closed-lid module.
class SettingsAuthorizationRows final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsAuthorizationRows(AppCoordinator &coordinator, QWidget *parent = nullptr);

    bool isRevoking() const { return m_isRevoking; }
    bool showingAuthorizationExplanation() const { return m_popover && m_popover->isVisible(); }
    AuthorizationExplanationPopover *explanationPopover() const { return m_popover; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void retranslate();
    void toggleExplanation();
    void revoke();
    void authorize();

    AppCoordinator &m_coordinator;
    bool m_isRevoking = false;
    SettingsRowIcon *m_icon;
    QLabel *m_status;
    QWidget *m_statusArea;
    QToolButton *m_info;
    QPushButton *m_revoke;
    QPushButton *m_authorize;
    QLabel *m_residual;
    QPointer<AuthorizationExplanationPopover> m_popover;
};

} // namespace quorvel

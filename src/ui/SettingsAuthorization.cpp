#include "ui/SettingsAuthorization.h"

#include "app/composition/AppCoordinator.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel {

using SettingsStyle::Tone;

namespace {

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

constexpr int statusIconFrame = 20;

} // namespace

AuthorizationStatusLook authorizationStatusLook(const AuthorizationState &authorization)
{
    using K = LocalizationKey;
    return std::visit(
        Overloaded{
            [](const Authorization::Unknown &) {
                return AuthorizationStatusLook{"shield.fill", Tone::secondary, K{QT_TRID_NOOP("notDetected")},
                                               K{QT_TRID_NOOP("authorizeOnFirstUse")}};
            },
            [](const Authorization::Required &) {
                return AuthorizationStatusLook{"shield.fill", Tone::secondary, K{QT_TRID_NOOP("authorizationRequired")},
                                               K{QT_TRID_NOOP("authorizeOnFirstUse")}};
            },
            [](const Authorization::Granting &) {
                return AuthorizationStatusLook{"lock.rotation", Tone::blue, K{QT_TRID_NOOP("authorizing")},
                                               K{QT_TRID_NOOP("pleaseWait")}};
            },
            [](const Authorization::Granted &) {
                return AuthorizationStatusLook{"checkmark.shield.fill", Tone::green, K{QT_TRID_NOOP("authorized")},
                                               K{QT_TRID_NOOP("authorizedClosedLidAvailable")}};
            },
            [](const Authorization::Denied &) {
                return AuthorizationStatusLook{"exclamationmark.triangle.fill", Tone::red, K{QT_TRID_NOOP("denied")},
                                               K{QT_TRID_NOOP("reauthorize")}};
            },
            [](const Authorization::Revoked &) {
                return AuthorizationStatusLook{"xmark.shield.fill", Tone::orange, K{QT_TRID_NOOP("revoked")},
                                               K{QT_TRID_NOOP("reauthorize")}};
            },
            [](const Authorization::Failed &) {
                return AuthorizationStatusLook{"exclamationmark.triangle.fill", Tone::red,
                                               K{QT_TRID_NOOP("authorizationFailed")}, K{QT_TRID_NOOP("reauthorize")}};
            },
        },
        authorization);
}

AuthorizationExplanationPopover::AuthorizationExplanationPopover(QWidget *anchor)
    : QFrame(anchor, Qt::Popup)
    , m_anchor(anchor)
    , m_title(new QLabel)
{
    setObjectName(QStringLiteral("authorizationExplanation"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedWidth(320);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 16);
    column->setSpacing(10);
    m_title->setFont(SettingsStyle::sectionTitleFont(font()));
    m_title->setWordWrap(true);
    column->addWidget(m_title);
    for (const char *symbol : {"lock.shield", "arrow.clockwise", "globe"}) {
        auto *line = new QHBoxLayout;
        line->setSpacing(10);
        line->addWidget(new SettingsRowIcon(QString::fromLatin1(symbol), 18), 0, Qt::AlignTop);
        auto *note = new QLabel;
        note->setWordWrap(true);
        note->setFont(SettingsStyle::captionFont(font()));
        line->addWidget(note, 1);
        column->addLayout(line);
        m_notes << note;
    }
    retranslate();
}

void AuthorizationExplanationPopover::popUp()
{
    adjustSize();
    QPoint at;
    QRect available;
    if (m_anchor) {
        const QPoint bottomRight = m_anchor->mapToGlobal(QPoint(m_anchor->width(), m_anchor->height() + 4));
        at = QPoint(bottomRight.x() - width(), bottomRight.y());
        if (QScreen *screen = m_anchor->screen())
            available = screen->availableGeometry();
    }
    if (available.isValid()) {
        at.setX(qBound(available.left(), at.x(), available.right() - width()));
        if (at.y() + height() > available.bottom() && m_anchor)
            at.setY(m_anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 4);
        at.setY(qBound(available.top(), at.y(), available.bottom() - height()));
    }
    move(at);
    show();
}

void AuthorizationExplanationPopover::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::PaletteChange)
        update();
}

void AuthorizationExplanationPopover::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    emit closed();
}

void AuthorizationExplanationPopover::mousePressEvent(QMouseEvent *event)
{
    // A click on the information button closes the popover and must not open it again.
    if (!rect().contains(event->position().toPoint()) && m_anchor
        && m_anchor->rect().contains(m_anchor->mapFromGlobal(event->globalPosition().toPoint())))
        setAttribute(Qt::WA_NoMouseReplay);
    QFrame::mousePressEvent(event);
}

void AuthorizationExplanationPopover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool dark = SettingsStyle::isDark(palette());
    const QColor window = palette().color(QPalette::Window);
    painter.fillRect(rect(), dark ? window.lighter(125) : palette().color(QPalette::Base));
    painter.setPen(dark ? QColor(255, 255, 255, 50) : QColor(0, 0, 0, 60));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void AuthorizationExplanationPopover::retranslate()
{
    m_title->setText(qtTrId("aboutClosedLidAuthorization"));
    const char *keys[] = {QT_TRID_NOOP("closedLidOneTimeAuth"), QT_TRID_NOOP("revokeReauthNotice"),
                          QT_TRID_NOOP("authDialogFollowsSystem")};
    for (int i = 0; i < m_notes.size(); ++i)
        m_notes[i]->setText(qtTrId(keys[i]));
    setAccessibleName(m_title->text());
}

SettingsAuthorizationRows::SettingsAuthorizationRows(AppCoordinator &coordinator, QWidget *parent)
    : QWidget(parent)
    , m_coordinator(coordinator)
    , m_icon(new SettingsRowIcon({}, statusIconFrame))
    , m_status(new QLabel)
    , m_statusArea(new QWidget)
    , m_info(new QToolButton)
    , m_revoke(new QPushButton)
    , m_authorize(new QPushButton)
    , m_residual(new QLabel)
{
    m_icon->setObjectName(QStringLiteral("authorizationIcon"));
    m_status->setObjectName(QStringLiteral("authorizationStatus"));
    m_info->setObjectName(QStringLiteral("authorizationInfoButton"));
    m_revoke->setObjectName(QStringLiteral("revokeAuthorizationButton"));
    m_authorize->setObjectName(QStringLiteral("authorizeNowButton"));
    m_residual->setObjectName(QStringLiteral("residualNeedsAuth"));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(6);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    auto *status = new QHBoxLayout(m_statusArea);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(10);
    status->addWidget(m_icon);
    m_status->setWordWrap(true);
    status->addWidget(m_status, 1);
    row->addWidget(m_statusArea, 1);

    m_info->setAutoRaise(true);
    m_info->setCursor(Qt::PointingHandCursor);
    m_info->setIconSize(QSize(17, 17));
    row->addWidget(m_info);
    row->addWidget(m_revoke);
    SettingsStyle::makeProminent(m_authorize);
    m_authorize->setDefault(true);
    row->addWidget(m_authorize);
    column->addLayout(row);

    m_residual->setWordWrap(true);
    // Under the status text, not under its icon.
    m_residual->setContentsMargins(statusIconFrame + 10, 0, 0, 0);
    m_residual->setFont(SettingsStyle::captionFont(font()));
    column->addWidget(m_residual);

    connect(m_info, &QToolButton::clicked, this, &SettingsAuthorizationRows::toggleExplanation);
    connect(m_revoke, &QPushButton::clicked, this, &SettingsAuthorizationRows::revoke);
    connect(m_authorize, &QPushButton::clicked, this, &SettingsAuthorizationRows::authorize);
    connect(&coordinator.store(), &AppStateStore::changed, this, &SettingsAuthorizationRows::refresh);
    retranslate();
}

void SettingsAuthorizationRows::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        retranslate();
}

void SettingsAuthorizationRows::retranslate()
{
    const QColor text = SettingsStyle::color(Tone::primary, palette());
    m_info->setIcon(SettingsStyle::symbolIcon(QStringLiteral("info.circle"), 17, text, this));
    m_info->setToolTip(qtTrId("authorizationInfo"));
    m_info->setAccessibleName(qtTrId("authorizationInfo"));
    m_info->setAccessibleDescription(qtTrId("aboutClosedLidAuthorization"));
    m_revoke->setIcon(SettingsStyle::symbolIcon(QStringLiteral("xmark.shield.fill"), 15, text, this));
    m_authorize->setIcon(SettingsStyle::symbolIcon(QStringLiteral("lock.shield.fill"), 15,
                                                   palette().color(QPalette::HighlightedText), this));
    SettingsStyle::makeProminent(m_authorize);
    m_authorize->setText(qtTrId("authorizeNow"));
    m_residual->setText(qtTrId("closedLidPreventionNeedsAuth"));
    SettingsStyle::setTone(m_residual, Tone::red);
    refresh();
}

void SettingsAuthorizationRows::refresh()
{
    const VemoState &state = m_coordinator.store().state();
    const PlatformNotes &notes = m_coordinator.platformNotes();
    if (!notes.needsAuthorization) {
        // Nothing to grant or revoke: the locks are asked for as the user and end with the
        // session or the app. Where the desktop keeps the lid to itself, say what to set there.
        m_icon->setSymbol(QStringLiteral("checkmark.shield.fill"), Tone::green);
        m_status->setText(qtTrId("noAuthorizationNeeded"));
        m_statusArea->setToolTip(QString());
        m_status->setToolTip(QString());
        m_icon->setToolTip(QString());
        m_status->setAccessibleDescription(QString());
        m_info->setVisible(false);
        m_revoke->setVisible(false);
        m_authorize->setVisible(false);
        m_residual->setVisible(notes.closedLidUnavailable.has_value());
        if (notes.closedLidUnavailable) {
            m_residual->setText(qtTrId("closedLidUnavailableKdeHint"));
            SettingsStyle::setTone(m_residual, Tone::secondary);
        }
        return;
    }
    const AuthorizationStatusLook look = authorizationStatusLook(state.authorization);
    m_icon->setSymbol(QString::fromLatin1(look.symbol), look.tone);
    m_status->setText(look.status.text());
    const QString help = look.toolTip.text();
    m_statusArea->setToolTip(help);
    m_status->setToolTip(help);
    m_icon->setToolTip(help);
    m_status->setAccessibleDescription(help);

    const bool granted = is<Authorization::Granted>(state.authorization);
    const bool granting = is<Authorization::Granting>(state.authorization);
    m_revoke->setVisible(granted);
    m_revoke->setEnabled(!m_isRevoking);
    m_revoke->setText(m_isRevoking ? qtTrId("revoking") : qtTrId("revokeAuthorization"));
    m_revoke->setAccessibleName(m_revoke->text());
    m_authorize->setVisible(!granted && !granting);
    m_residual->setVisible(state.startupResidual && !granted);
}

void SettingsAuthorizationRows::toggleExplanation()
{
    if (m_popover && m_popover->isVisible()) {
        m_popover->hide();
        return;
    }
    if (!m_popover)
        m_popover = new AuthorizationExplanationPopover(m_info);
    m_popover->popUp();
}

void SettingsAuthorizationRows::revoke()
{
    if (m_isRevoking)
        return;
    m_isRevoking = true;
    refresh();
    // Its own turn of the main loop, so the button shows "revoking" before the module blocks
    // on its commands and alerts.
    QTimer::singleShot(0, this, [self = QPointer<SettingsAuthorizationRows>(this)] {
        if (ClosedLidModule *module = self->m_coordinator.closedLidModule())
            module->revokeAuthorization();
        // An alert's event loop may have let the window close meanwhile.
        if (!self)
            return;
        self->m_isRevoking = false;
        self->refresh();
    });
}

void SettingsAuthorizationRows::authorize()
{
    if (ClosedLidModule *module = m_coordinator.closedLidModule())
        module->authorizationManager().grant();
}

} // namespace quorvel

#include "ui/MenuClamshellSection.h"

#include "prefs/LanguageController.h"
#include "state/AppStateStore.h"
#include "ui/MenuSettingToggleRow.h"
#include "ui/MenuStyle.h"
#include "ui/MenuSwitch.h"
#include "ui/Symbols.h"

#include <QEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel {

using namespace Presentation::MenuRowActions;

namespace {
constexpr int trailingSymbolPoints = 16;

bool hasTrailing(const Presentation::MenuRowAction &action)
{
    return !std::holds_alternative<None>(action) && !std::holds_alternative<AdjustTimed>(action);
}
} // namespace

MenuClamshellSection::MenuClamshellSection(AppStateStore &store, const LanguageController &language, Actions actions,
                                           QWidget *parent, PlatformNotes notes)
    : QWidget(parent)
    , m_store(store)
    , m_language(language)
    , m_actions(std::move(actions))
    , m_notes(std::move(notes))
    , m_row(new MenuSettingToggleRow(this))
{
    m_row->setObjectName(QStringLiteral("closedLidRow"));
    m_row->subtitleLabel()->setObjectName(QStringLiteral("closedLidRow.subtitle"));
    m_row->toggle()->setObjectName(QStringLiteral("closedLidRow.switch"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_row);
    connect(m_row, &MenuSettingToggleRow::toggleRequested, this, [this](bool on) {
        if (m_actions.setClamshell)
            m_actions.setClamshell(on);
        refresh(); // a refused request leaves the state, and so the switch, as it was
    });
    connect(&m_store, &AppStateStore::changed, this, &MenuClamshellSection::refresh);
    refresh();
}

QAbstractButton *MenuClamshellSection::trailing() const
{
    return qobject_cast<QAbstractButton *>(m_row->trailing());
}

void MenuClamshellSection::refresh()
{
    const VemoState &s = m_store.state();
    const qint64 threshold = m_store.threshold();
    const auto model = Presentation::closedLidRow(s, threshold);
    const QPalette &pal = palette();

    m_row->setSymbol(QStringLiteral("laptopcomputer"), MenuStyle::iconColor(model.tone, pal));
    m_row->setTitle(qtTrId("closedLidMode"));
    m_row->setHint(qtTrId("toggleClosedLidHint"));
    if (const auto unavailable = closedLidUnavailableNow(m_notes, s)) {
        // Nothing to switch and nothing to retry: the desktop, not we, decides what the lid does.
        m_row->setSubtitle(unavailable->text(), MenuStyle::subtitleColor(Presentation::RowTone::neutral, pal));
        m_row->setControl({false, false});
        m_row->setToolTip(qtTrId("closedLidUnavailableKdeHint"));
        updateTrailing(None{});
        if (m_popover)
            m_popover->hide();
        return;
    }
    m_row->setToolTip(QString());
    const std::optional<QString> finished = Presentation::closedLidStatusText(model.status, threshold);
    const QString subtitle = finished ? *finished : Presentation::closedLidSubtitleKey(model.status, s).text();
    const bool residual = std::holds_alternative<Presentation::ClosedLidRowStatuses::ResidualAuthorized>(model.status);
    m_row->setSubtitle(subtitle, residual ? MenuStyle::orange(pal) : MenuStyle::subtitleColor(model.tone, pal));
    m_row->setControl(model.control);
    updateTrailing(model.action);

    if (m_popover)
        m_popover->refresh();
}

void MenuClamshellSection::updateTrailing(const Presentation::MenuRowAction &action)
{
    if (!hasTrailing(action)) {
        m_row->setTrailing(nullptr);
        m_trailingAction.reset();
        return;
    }
    if (!m_trailingAction || m_trailingAction->index() != action.index() || !m_row->trailing()) {
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("closedLidRow.trailing"));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setIconSize(QSize(trailingSymbolPoints, trailingSymbolPoints));
        connect(button, &QToolButton::clicked, this, &MenuClamshellSection::showAction);
        m_row->setTrailing(button);
    }
    m_trailingAction = action;

    auto *button = static_cast<QToolButton *>(m_row->trailing());
    const QPalette &pal = palette();
    const qreal ratio = devicePixelRatioF();
    auto symbol = [&](const char *name, const QColor &color) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIcon(Symbols::pixmap(QString::fromLatin1(name), trailingSymbolPoints, color, ratio));
    };
    QString name;
    QString hint;
    if (const auto *battery = std::get_if<BatteryInfo>(&action)) {
        symbol("info.circle.fill", battery->onBattery ? MenuStyle::orange(pal) : MenuStyle::secondary(pal));
        name = qtTrId(battery->onBattery ? "runningOnBattery" : "onPower");
        hint = qtTrId("learnMore");
    } else if (std::holds_alternative<SafetyStopInfo>(action)) {
        symbol("exclamationmark.circle.fill", MenuStyle::orange(pal));
        name = qtTrId("autoExited");
        hint = qtTrId("learnMore");
    } else if (std::holds_alternative<ResidualNeedsAuth>(action)) {
        symbol("exclamationmark.circle.fill", MenuStyle::red(pal));
        name = qtTrId("closedLidPreventionOn");
        hint = qtTrId("closedLidPreventionNeedsAuth");
    } else if (std::holds_alternative<Retry>(action)) {
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setIcon(QIcon());
        button->setText(qtTrId("retryEllipsis"));
        MenuStyle::setTextColor(button, MenuStyle::accent(pal));
        name = button->text();
        hint = qtTrId("lastOpFailedHint");
    } else if (std::holds_alternative<Authorize>(action)) {
        symbol("lock.fill", MenuStyle::orange(pal));
        name = qtTrId("authorizeNow");
        hint = qtTrId("authorizationNeeded");
    }
    button->setAccessibleName(name);
    button->setAccessibleDescription(hint);
    button->setToolTip(name);
}

MenuInfoPopover::Source MenuClamshellSection::popoverSource(const Presentation::MenuRowAction &action)
{
    auto openSettings = [this] {
        if (m_actions.openSettings)
            m_actions.openSettings();
    };
    if (const auto *battery = std::get_if<BatteryInfo>(&action)) {
        return [this, openSettings, opened = battery->onBattery] {
            const auto current = Presentation::closedLidRow(m_store.state(), m_store.threshold()).action;
            const auto *now = std::get_if<BatteryInfo>(&current);
            return MenuInfoContents::batteryInfo(now ? now->onBattery : opened, m_store.threshold(),
                                                 m_language.locale(), palette(), openSettings);
        };
    }
    if (std::holds_alternative<SafetyStopInfo>(action))
        return [openSettings] { return MenuInfoContents::safetyStopInfo(openSettings); };
    if (std::holds_alternative<ResidualNeedsAuth>(action)) {
        return [this] {
            return MenuInfoContents::residualNeedsAuth([this] {
                if (m_actions.requestAuthorization)
                    m_actions.requestAuthorization();
            });
        };
    }
    // Retry and authorize: the popover follows the row's action while it is open.
    return [this] {
        MenuInfoContents::ClamshellCallbacks callbacks{[this] {
                                                           if (m_actions.authorizeAndStart)
                                                               m_actions.authorizeAndStart();
                                                       },
                                                       [this] {
                                                           if (m_actions.cancelAuthorization)
                                                               m_actions.cancelAuthorization();
                                                       },
                                                       [this] {
                                                           if (m_actions.retry)
                                                               m_actions.retry();
                                                       }};
        return MenuInfoContents::clamshellAction(
            Presentation::closedLidRow(m_store.state(), m_store.threshold()).action, callbacks);
    };
}

void MenuClamshellSection::showAction()
{
    const auto action = Presentation::closedLidRow(m_store.state(), m_store.threshold()).action;
    QAbstractButton *anchor = trailing();
    if (!hasTrailing(action) || !anchor)
        return;
    if (m_popover) {
        m_popover->disconnect(this);
        m_popover->deleteLater();
    }
    m_showingAction = true;
    m_popover = new MenuInfoPopover(popoverSource(action), this);
    connect(m_popover, &MenuInfoPopover::dismissed, this, [this, popover = m_popover.data()] {
        if (popover != m_popover)
            return;
        m_showingAction = false;
        m_popover = nullptr;
        popover->deleteLater();
    });
    m_popover->showNextTo(anchor);
}

void MenuClamshellSection::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
}

} // namespace quorvel

#include "ui/SettingsView.h"

#include "app/composition/AppCoordinator.h"
#include "prefs/LanguageController.h"
#include "prefs/LaunchAtLoginController.h"
#include "prefs/Localization.h"
#include "prefs/PreferenceKeys.h"
#include "prefs/Preferences.h"
#include "support/UserDefaults.h"
#include "ui/ExternalLinkButton.h"
#include "ui/SettingsAuthorization.h"
#include "ui/SettingsRows.h"
#include "ui/SettingsUpdateRow.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel {

using SettingsStyle::Tone;

namespace {

constexpr int contentWidth = 520;
constexpr qint64 thresholdStep = 5;

const char *languageLabelKey(LanguagePreference preference)
{
    switch (preference) {
    case LanguagePreference::system: return QT_TRID_NOOP("followSystem");
    case LanguagePreference::zhHans: return QT_TRID_NOOP("simplifiedChinese");
    case LanguagePreference::en: return QT_TRID_NOOP("english");
    }
    return QT_TRID_NOOP("followSystem");
}

QToolButton *stepButton(const QString &text, const char *objectName)
{
    auto *button = new QToolButton;
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(text);
    button->setFixedSize(26, 24);
    button->setAutoRepeat(false);
    return button;
}

} // namespace

QUrl SettingsView::closedLidHelpUrl()
{
    QUrl url(QString::fromLatin1(helpAddress));
    url.setFragment(QStringLiteral("closed-lid-mode"));
    return url;
}

SettingsView::SettingsView(AppCoordinator &coordinator, LanguageController &language,
                           std::shared_ptr<UserDefaults> defaults, QWidget *parent)
    : QWidget(parent)
    , m_coordinator(coordinator)
    , m_language(language)
    , m_defaults(std::move(defaults))
    // The coordinator owns the controller and outlives every window.
    , m_launchAtLogin(new LaunchAtLoginSettings(
          std::shared_ptr<LaunchAtLoginController>(&coordinator.launchAtLogin(), [](LaunchAtLoginController *) {}),
          this))
    , m_batteryExitThreshold(Preferences::autoExitThreshold(*m_defaults))
{
    setObjectName(QStringLiteral("settingsView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 20);
    column->setSpacing(18);
    column->addWidget(makeGeneralSection());
    column->addWidget(makeMenuBarSection());
    column->addWidget(makeClosedLidSection());

    auto *authorization = new SettingsSection(QT_TRID_NOOP("systemAuthorization"));
    m_authorization = new SettingsAuthorizationRows(coordinator);
    authorization->addRow(m_authorization);
    column->addWidget(authorization);
    column->addStretch(1);

    connect(m_launchAtLogin, &LaunchAtLoginSettings::changed, this, &SettingsView::syncLaunchAtLogin);
    connect(&m_language, &LanguageController::preferenceChanged, this, &SettingsView::syncLanguagePicker);
    retranslate();
}

SettingsView::~SettingsView() = default;

void SettingsView::setShowActivity(std::function<void()> show)
{
    m_showActivity = std::move(show);
}

QWidget *SettingsView::makeGeneralSection()
{
    auto *section = new SettingsSection(QT_TRID_NOOP("general"));

    auto *launch = new LabeledRow(QT_TRID_NOOP("launchAtLogin"), nullptr, QStringLiteral("power"));
    m_launchSwitch = new SettingsSwitch;
    m_launchSwitch->setObjectName(QStringLiteral("launchAtLoginSwitch"));
    launch->addTrailing(m_launchSwitch);
    // Opens the system's login-item settings, where a registration waiting for approval is allowed.
    m_openSystemSettings =
        new ExternalLinkButton(QT_TRID_NOOP("openSystemSettings"), QString(), loginItemsSettingsUrl());
    m_openSystemSettings->setObjectName(QStringLiteral("openSystemSettingsButton"));
    launch->addBelow(m_openSystemSettings, Qt::AlignLeft);
    m_launchError = new QLabel;
    m_launchError->setObjectName(QStringLiteral("launchAtLoginError"));
    m_launchError->setWordWrap(true);
    m_launchError->setFont(SettingsStyle::captionFont(font()));
    launch->addBelow(m_launchError);
    section->addRow(launch);
    connect(m_launchSwitch, &SettingsSwitch::clicked, this, [this](bool checked) {
        m_launchAtLogin->setLaunchAtLogin(checked);
        // Whatever was asked for, the switch shows what the platform reports.
        syncLaunchAtLogin();
    });

    auto *languageRow =
        new LabeledRow(QT_TRID_NOOP("language"), QT_TRID_NOOP("takesEffectNextLaunch"), QStringLiteral("globe"));
    m_languagePicker = new QComboBox;
    m_languagePicker->setObjectName(QStringLiteral("languagePicker"));
    for (LanguagePreference preference : allLanguagePreferences)
        m_languagePicker->addItem(QString(), rawValue(preference));
    languageRow->addTrailing(m_languagePicker);
    section->addRow(languageRow);
    connect(m_languagePicker, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < int(allLanguagePreferences.size()))
            m_language.setPreference(allLanguagePreferences[size_t(index)]);
    });

    auto *notify = new LabeledRow(QT_TRID_NOOP("notifyWhenSessionEnds"), QT_TRID_NOOP("notifyWhenSessionEndsCaption"),
                                  QStringLiteral("bell"));
    m_notifySwitch = new SettingsSwitch;
    m_notifySwitch->setObjectName(QStringLiteral("notifyWhenSessionEndsSwitch"));
    notify->addTrailing(m_notifySwitch);
    section->addRow(notify);
    connect(m_notifySwitch, &SettingsSwitch::toggled, this,
            [this](bool on) { m_defaults->setValue(QString::fromLatin1(PreferenceKeys::notifyWhenSessionEnds), on); });

    auto *updates = new LabeledRow(QT_TRID_NOOP("autoCheckUpdates"), QT_TRID_NOOP("autoCheckUpdatesCaption"),
                                   QStringLiteral("arrow.triangle.2.circlepath"));
    m_autoCheckSwitch = new SettingsSwitch;
    m_autoCheckSwitch->setObjectName(QStringLiteral("autoCheckUpdatesSwitch"));
    updates->addTrailing(m_autoCheckSwitch);
    section->addRow(updates);
    connect(m_autoCheckSwitch, &SettingsSwitch::toggled, this,
            [this](bool on) { m_defaults->setValue(QString::fromLatin1(PreferenceKeys::updateAutoCheckEnabled), on); });
    // The manual check and, once one is found, the download.
    section->addRow(new SettingsUpdateRow(m_coordinator.updateChecker()));

    auto *activityRow = new QWidget;
    auto *activityLine = new QHBoxLayout(activityRow);
    activityLine->setContentsMargins(12, 6, 12, 6);
    activityLine->setSpacing(10);
    activityLine->addWidget(new SettingsRowIcon(QStringLiteral("timer")));
    auto *activity = new ExternalLinkButton(QT_TRID_NOOP("showActivity"), QString(), QUrl());
    activity->setObjectName(QStringLiteral("showActivityLink"));
    activityLine->addWidget(activity);
    activityLine->addStretch(1);
    connect(activity, &QAbstractButton::clicked, this, [this] {
        if (m_showActivity)
            m_showActivity();
    });
    section->addRow(activityRow);
    return section;
}

QWidget *SettingsView::makeMenuBarSection()
{
    auto *section = new SettingsSection(QT_TRID_NOOP("menuBarSectionTitle"));
    auto *countdown = new LabeledRow(QT_TRID_NOOP("menuBarCountdown"), QT_TRID_NOOP("menuBarCountdownCaption"),
                                     QStringLiteral("textformat.123"));
    m_countdownSwitch = new SettingsSwitch;
    m_countdownSwitch->setObjectName(QStringLiteral("menuBarCountdownSwitch"));
    countdown->addTrailing(m_countdownSwitch);
    section->addRow(countdown);
    connect(m_countdownSwitch, &SettingsSwitch::toggled, this,
            [this](bool on) { m_defaults->setValue(QString::fromLatin1(PreferenceKeys::menuBarCountdownText), on); });
    return section;
}

QWidget *SettingsView::makeClosedLidSection()
{
    auto *section = new SettingsSection(QT_TRID_NOOP("closedLidMode"));

    auto *help = new QWidget;
    auto *helpLine = new QHBoxLayout(help);
    helpLine->setContentsMargins(12, 6, 12, 6);
    helpLine->setSpacing(10);
    helpLine->addWidget(new SettingsRowIcon(QStringLiteral("questionmark.circle")));
    auto *learnMore = new ExternalLinkButton(QT_TRID_NOOP("learnMore"), QString(), closedLidHelpUrl());
    learnMore->setObjectName(QStringLiteral("learnMoreLink"));
    helpLine->addWidget(learnMore);
    helpLine->addStretch(1);
    section->addRow(help);

    m_thresholdRow = new LabeledRow(QT_TRID_NOOP("lowBatteryProtection"), nullptr, QStringLiteral("battery.25"));
    m_thresholdRow->captionLabel()->setObjectName(QStringLiteral("thresholdHint"));
    m_thresholdValue = new QLabel;
    m_thresholdValue->setObjectName(QStringLiteral("thresholdValue"));
    m_thresholdValue->setMinimumWidth(m_thresholdValue->fontMetrics().horizontalAdvance(QStringLiteral("60%")) + 6);
    m_thresholdValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_thresholdMinus = stepButton(QStringLiteral("\u2212"), "thresholdMinus");
    m_thresholdPlus = stepButton(QStringLiteral("+"), "thresholdPlus");
    m_thresholdRow->addTrailing(m_thresholdValue);
    m_thresholdRow->addTrailing(m_thresholdMinus);
    m_thresholdRow->addTrailing(m_thresholdPlus);
    section->addRow(m_thresholdRow);
    connect(m_thresholdMinus, &QToolButton::clicked, this, [this] { changeThreshold(-thresholdStep); });
    connect(m_thresholdPlus, &QToolButton::clicked, this, [this] { changeThreshold(thresholdStep); });
    return section;
}

bool SettingsView::isRevoking() const
{
    return m_authorization->isRevoking();
}

bool SettingsView::showingAuthorizationExplanation() const
{
    return m_authorization->showingAuthorizationExplanation();
}

QSize SettingsView::sizeHint() const
{
    QLayout *column = layout();
    const int width = qMax(contentWidth, column->minimumSize().width());
    return {width, column->hasHeightForWidth() ? column->totalHeightForWidth(width) : column->sizeHint().height()};
}

void SettingsView::refreshOnShow()
{
    m_launchAtLogin->refreshLaunchAtLogin();
    syncLaunchAtLogin();
    if (ClosedLidModule *module = m_coordinator.closedLidModule())
        (void)module->authorizationManager().verify(); // a failing check changes nothing
    const QSignalBlocker autoCheck(m_autoCheckSwitch);
    m_autoCheckSwitch->setChecked(Preferences::updateAutoCheckEnabled(*m_defaults));
    const QSignalBlocker countdown(m_countdownSwitch);
    m_countdownSwitch->setChecked(Preferences::menuBarCountdownText(*m_defaults));
    const QSignalBlocker notify(m_notifySwitch);
    m_notifySwitch->setChecked(Preferences::notifyWhenSessionEnds(*m_defaults));
}

void SettingsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        retranslate();
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown by us (opened, or reopened after hiding), not merely restored from the Dock.
    if (!event->spontaneous())
        refreshOnShow();
}

void SettingsView::retranslate()
{
    SettingsStyle::setTone(m_launchError, Tone::red);
    m_launchSwitch->setAccessibleName(qtTrId("launchAtLogin"));
    m_autoCheckSwitch->setAccessibleName(qtTrId("autoCheckUpdates"));
    m_autoCheckSwitch->setAccessibleDescription(qtTrId("autoCheckUpdatesCaption"));
    m_countdownSwitch->setAccessibleName(qtTrId("menuBarCountdown"));
    m_countdownSwitch->setAccessibleDescription(qtTrId("menuBarCountdownCaption"));
    m_notifySwitch->setAccessibleName(qtTrId("notifyWhenSessionEnds"));
    m_notifySwitch->setAccessibleDescription(qtTrId("notifyWhenSessionEndsCaption"));
    m_languagePicker->setAccessibleName(qtTrId("language"));
    m_languagePicker->setAccessibleDescription(qtTrId("takesEffectNextLaunch"));
    {
        const QSignalBlocker quiet(m_languagePicker);
        for (size_t i = 0; i < allLanguagePreferences.size(); ++i)
            m_languagePicker->setItemText(int(i), qtTrId(languageLabelKey(allLanguagePreferences[i])));
    }
    m_thresholdMinus->setToolTip(qtTrId("thresholdDecrease"));
    m_thresholdMinus->setAccessibleName(qtTrId("thresholdDecrease"));
    m_thresholdPlus->setToolTip(qtTrId("thresholdIncrease"));
    m_thresholdPlus->setAccessibleName(qtTrId("thresholdIncrease"));
    syncLaunchAtLogin();
    syncLanguagePicker();
    syncThreshold();
    updateGeometry();
}

void SettingsView::syncLaunchAtLogin()
{
    {
        const QSignalBlocker quiet(m_launchSwitch);
        m_launchSwitch->setChecked(m_launchAtLogin->launchAtLogin());
    }
    m_launchSwitch->setEnabled(!m_launchAtLogin->isBusy());
    m_openSystemSettings->setVisible(m_launchAtLogin->requiresApproval());
    const auto error = m_launchAtLogin->errorTextKey();
    m_launchError->setText(error ? error->text() : QString());
    m_launchError->setVisible(error.has_value());
}

void SettingsView::syncLanguagePicker()
{
    const QSignalBlocker quiet(m_languagePicker);
    for (size_t i = 0; i < allLanguagePreferences.size(); ++i) {
        if (allLanguagePreferences[i] == m_language.preference())
            m_languagePicker->setCurrentIndex(int(i));
    }
}

void SettingsView::changeThreshold(qint64 step)
{
    const qint64 next = std::clamp(m_batteryExitThreshold + step, Preferences::autoExitThresholdMinimum,
                                   Preferences::autoExitThresholdMaximum);
    if (next == m_batteryExitThreshold)
        return;
    m_batteryExitThreshold = next;
    Preferences::setAutoExitThreshold(*m_defaults, next);
    syncThreshold();
}

void SettingsView::syncThreshold()
{
    const qint64 t = m_batteryExitThreshold;
    m_thresholdValue->setText(QStringLiteral("%1%").arg(t));
    m_thresholdMinus->setEnabled(t - thresholdStep >= Preferences::autoExitThresholdMinimum);
    m_thresholdPlus->setEnabled(t + thresholdStep <= Preferences::autoExitThresholdMaximum);
    const QString hint = Localization::text(QT_TRID_NOOP("lowBatteryThresholdHint"),
                                            {QString::number(t), QString::number(t + AppStateStore::warningBand)});
    m_thresholdRow->setCaption(hint);
    m_thresholdMinus->setAccessibleDescription(hint);
    m_thresholdPlus->setAccessibleDescription(hint);
}

} // namespace quorvel

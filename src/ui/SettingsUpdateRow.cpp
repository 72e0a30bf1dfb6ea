#include "ui/SettingsUpdateRow.h"

#include "prefs/Localization.h"
#include "state/VemoState.h"
#include "ui/SettingsRows.h"
#include "update/UpdateChecker.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel {

using SettingsStyle::Tone;

SettingsUpdateRow::SettingsUpdateRow(UpdateChecker *checker, QWidget *parent)
    : QWidget(parent)
    , m_checker(checker)
    , m_icon(new SettingsRowIcon)
    , m_status(new QLabel)
    , m_button(new QPushButton)
{
    setObjectName(QStringLiteral("updateStatusRow"));
    m_status->setObjectName(QStringLiteral("updateStatus"));
    m_button->setObjectName(QStringLiteral("updateButton"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(10);
    row->addWidget(m_icon);
    m_status->setWordWrap(true);
    m_status->setFont(SettingsStyle::captionFont(font()));
    row->addWidget(m_status, 1);
    row->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, &SettingsUpdateRow::buttonPressed);
    if (checker)
        connect(checker, &UpdateChecker::stateChanged, this, &SettingsUpdateRow::refresh);
    refresh();
}

void SettingsUpdateRow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
}

void SettingsUpdateRow::refresh()
{
    const UpdateCheckState state = m_checker ? m_checker->state() : UpdateCheckState(UpdateCheck::Idle{});
    QString text;
    Tone tone = Tone::secondary;
    if (is<UpdateCheck::Checking>(state)) {
        text = qtTrId("updateChecking");
    } else if (is<UpdateCheck::UpToDate>(state)) {
        text = qtTrId("updateUpToDate");
    } else if (is<UpdateCheck::Failed>(state)) {
        text = qtTrId("updateCheckFailed");
        tone = Tone::orange;
    } else if (const auto *available = std::get_if<UpdateCheck::Available>(&state)) {
        text = Localization::text(QT_TRID_NOOP("updateAvailableFormat"), {available->info.version});
        tone = Tone::accent;
    }
    m_status->setText(text);
    SettingsStyle::setTone(m_status, tone);

    const bool offer = is<UpdateCheck::Available>(state);
    m_icon->setSymbol(offer ? QStringLiteral("arrow.down.circle.fill") : QString(), Tone::accent);
    m_button->setText(offer ? qtTrId("updateDownload") : qtTrId("checkForUpdates"));
    m_button->setAccessibleName(m_button->text());
    m_button->setEnabled(m_checker != nullptr);
    m_button->setDefault(offer);
    if (offer) {
        SettingsStyle::makeProminent(m_button);
    } else {
        // Back to the inherited look after an offer has gone.
        SettingsStyle::makePlain(m_button);
    }
}

void SettingsUpdateRow::buttonPressed()
{
    if (!m_checker)
        return;
    if (const auto *available = std::get_if<UpdateCheck::Available>(&m_checker->state()))
        QDesktopServices::openUrl(available->info.downloadURL);
    else
        m_checker->checkNow();
}

} // namespace quorvel

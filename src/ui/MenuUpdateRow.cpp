#include "ui/MenuUpdateRow.h"

#include "prefs/Localization.h"
#include "ui/MenuStyle.h"
#include "ui/SettingsRows.h"
#include "update/UpdateChecker.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>

namespace quorvel {

MenuUpdateRow::MenuUpdateRow(UpdateChecker *checker, QWidget *parent)
    : QWidget(parent)
    , m_icon(new MenuStyle::SymbolLabel(18, 24, this))
    , m_text(new MenuStyle::ElidedLabel(this))
    , m_download(new QPushButton(this))
{
    setObjectName(QStringLiteral("updateRow"));
    m_text->setObjectName(QStringLiteral("updateRow.text"));
    m_download->setObjectName(QStringLiteral("updateRow.download"));
    m_download->setAutoDefault(false);
    MenuStyle::setPixelSize(m_text, MenuStyle::titlePixelSize);
    MenuStyle::setPixelSize(m_download, 12, QFont::Medium);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(8);
    layout->addWidget(m_icon);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_download);
    connect(m_download, &QPushButton::clicked, this, [this] {
        if (!m_checker)
            return;
        if (const auto *available = std::get_if<UpdateCheck::Available>(&m_checker->state()))
            QDesktopServices::openUrl(available->info.downloadURL);
    });
    setChecker(checker);
}

void MenuUpdateRow::setChecker(UpdateChecker *checker)
{
    if (m_checker)
        m_checker->disconnect(this);
    m_checker = checker;
    if (m_checker)
        connect(m_checker, &UpdateChecker::stateChanged, this, &MenuUpdateRow::refresh);
    refresh();
}

QLabel *MenuUpdateRow::textLabel() const
{
    return m_text;
}

void MenuUpdateRow::refresh()
{
    const auto *available = m_checker ? std::get_if<UpdateCheck::Available>(&m_checker->state()) : nullptr;
    setVisible(available != nullptr);
    if (!available)
        return;
    const QPalette &pal = palette();
    const QColor accent = MenuStyle::accent(pal);
    m_icon->setSymbol(QStringLiteral("arrow.down.circle.fill"), accent);
    m_text->setText(Localization::text(QT_TRID_NOOP("updateAvailableFormat"), {available->info.version}));
    m_text->setToolTip(m_text->text());
    m_download->setText(qtTrId("updateDownload"));
    m_download->setAccessibleName(m_download->text());
    m_download->setAccessibleDescription(m_text->text());
    // The one action of the row, filled with the accent as the settings window's is.
    SettingsStyle::makeProminent(m_download, SettingsStyle::Padding::compact);
}

void MenuUpdateRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
}

} // namespace quorvel

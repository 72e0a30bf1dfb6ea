#include "ui/MenuSettingToggleRow.h"

#include "ui/MenuStyle.h"
#include "ui/MenuSwitch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvel {

MenuSettingToggleRow::MenuSettingToggleRow(QWidget *parent)
    : QWidget(parent)
    , m_icon(new MenuStyle::SymbolLabel(MenuStyle::rowIconPoints, MenuStyle::rowIconFrame, this))
    , m_title(new QLabel(this))
    , m_subtitle(new MenuStyle::ElidedLabel(this))
    , m_trailingSlot(new QHBoxLayout)
    , m_switch(new MenuSwitch(this))
{
    QVBoxLayout *texts = MenuStyle::titleAndSubtitle(m_title, m_subtitle);

    m_trailingSlot->setContentsMargins(0, 0, 0, 0);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(8);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addLayout(texts, 1);
    layout->addLayout(m_trailingSlot);
    layout->addWidget(m_switch, 0, Qt::AlignVCenter);

    connect(m_switch, &MenuSwitch::toggleRequested, this, &MenuSettingToggleRow::toggleRequested);
}

void MenuSettingToggleRow::setSymbol(const QString &name, const QColor &color)
{
    m_icon->setSymbol(name, color);
}

void MenuSettingToggleRow::setTitle(const QString &title)
{
    m_title->setText(title);
    m_switch->setAccessibleName(title);
}

void MenuSettingToggleRow::setSubtitle(const QString &text, const QColor &color)
{
    if (m_subtitle->text() != text)
        m_subtitle->setText(text);
    MenuStyle::setTextColor(m_subtitle, color);
    // Cut at the tail on screen; the whole text stays reachable.
    m_subtitle->setToolTip(text);
}

void MenuSettingToggleRow::setHint(const QString &hint)
{
    m_switch->setAccessibleDescription(hint);
    m_switch->setToolTip(hint);
}

void MenuSettingToggleRow::setControl(const Presentation::TimedControl &control)
{
    m_switch->setChecked(control.isOn);
    m_switch->setEnabled(control.isEnabled);
}

void MenuSettingToggleRow::setTrailing(QWidget *trailing)
{
    if (trailing == m_trailing)
        return;
    if (m_trailing) {
        m_trailingSlot->removeWidget(m_trailing);
        m_trailing->hide();
        m_trailing->setObjectName(QString()); // no longer the row's, even before it is gone
        m_trailing->deleteLater();
    }
    m_trailing = trailing;
    if (m_trailing) {
        m_trailingSlot->addWidget(m_trailing, 0, Qt::AlignVCenter);
        m_trailing->show(); // at once, not on the next turn of the event loop
    }
}

QLabel *MenuSettingToggleRow::titleLabel() const
{
    return m_title;
}

QLabel *MenuSettingToggleRow::subtitleLabel() const
{
    return m_subtitle;
}

} // namespace quorvel

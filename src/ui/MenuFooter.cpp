#include "ui/MenuFooter.h"

#include "ui/MenuStyle.h"
#include "ui/Symbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>

namespace quorvel {

namespace {
constexpr int symbolPoints = 14;
}

MenuFooter::MenuFooter(std::function<void()> onSettings, std::function<void()> onQuit, QWidget *parent)
    : QWidget(parent)
    , m_settings(new QToolButton(this))
    , m_quit(new QToolButton(this))
{
    setObjectName(QStringLiteral("footer"));
    m_settings->setObjectName(QStringLiteral("footer.settings"));
    m_quit->setObjectName(QStringLiteral("footer.quit"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_settings);
    layout->addStretch(1);
    layout->addWidget(m_quit);
    for (QToolButton *button : {m_settings, m_quit}) {
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIconSize(QSize(symbolPoints, symbolPoints));
        MenuStyle::setPixelSize(button, 13);
    }
    connect(m_settings, &QToolButton::clicked, this, [run = std::move(onSettings)] {
        if (run)
            run();
    });
    connect(m_quit, &QToolButton::clicked, this, [run = std::move(onQuit)] {
        if (run)
            run();
    });
    refresh();
}

void MenuFooter::refresh()
{
    const QColor ink = palette().color(QPalette::ButtonText);
    const qreal ratio = devicePixelRatioF();
    m_settings->setIcon(Symbols::pixmap(QStringLiteral("gearshape"), symbolPoints, ink, ratio));
    m_settings->setText(qtTrId("settings"));
    m_settings->setAccessibleName(m_settings->text());
    m_settings->setAccessibleDescription(qtTrId("openSettings"));
    m_quit->setIcon(Symbols::pixmap(QStringLiteral("power"), symbolPoints, ink, ratio));
    m_quit->setText(qtTrId("quit"));
    m_quit->setAccessibleName(m_quit->text());
    m_quit->setAccessibleDescription(qtTrId("quitApp"));
}

void MenuFooter::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
}

} // namespace quorvel

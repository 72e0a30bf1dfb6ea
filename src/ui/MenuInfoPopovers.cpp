#include "ui/MenuInfoPopovers.h"

#include "prefs/Localization.h"
#include "ui/MenuStyle.h"
#include "ui/Symbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel {

namespace {
constexpr int margin = 14;

QString escaped(const char *key)
{
    return qtTrId(key).toHtmlEscaped();
}

MenuInfoPopover::Button button(const char *key, const char *objectName, std::function<void()> run, bool enabled = true,
                               const char *trailingSymbol = "")
{
    return {key, QString::fromLatin1(objectName), std::move(run), enabled, QString::fromLatin1(trailingSymbol)};
}
} // namespace

MenuInfoPopover::MenuInfoPopover(Source source, QWidget *parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_source(std::move(source))
    , m_title(new QLabel(this))
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("closedLidPopover"));
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setForegroundRole(QPalette::Mid);
    setAutoFillBackground(true);
    setFixedWidth(popoverWidth);
    m_title->setObjectName(QStringLiteral("closedLidPopover.title"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    m_title->setForegroundRole(QPalette::WindowText);
    MenuStyle::setPixelSize(m_title, 13, QFont::DemiBold);
    m_layout->setContentsMargins(margin, 12, margin, 12);
    m_layout->setSpacing(8);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
    m_layout->addWidget(m_title);
    m_ready = true;
    refresh();
}

QString MenuInfoPopover::title() const
{
    return m_title->text();
}

void MenuInfoPopover::refresh()
{
    if (!m_ready)
        return; // a font or palette change while it is still being put together
    const Content content = m_source ? m_source() : Content{};
    QString signature = qtTrId(content.titleKey) + QChar(0x1F) + content.paragraphs.join(QChar(0x1E));
    for (const Button &button : content.buttons)
        signature += QChar(0x1D) + qtTrId(button.key) + QChar(0x1F) + button.objectName + QChar(0x1F)
                     + QString::number(int(button.enabled)) + QChar(0x1F) + button.trailingSymbol;
    signature += MenuStyle::accent(palette()).name();
    if (signature == m_signature)
        return;
    m_signature = signature;
    rebuild(content);
}

void MenuInfoPopover::rebuild(const Content &content)
{
    m_title->setText(qtTrId(content.titleKey));
    if (m_body) {
        m_layout->removeWidget(m_body);
        m_body->deleteLater();
    }
    m_body = new QWidget(this);
    auto *body = new QVBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(6);
    const int textWidth = popoverWidth - 2 * margin - 2 * frameWidth();
    for (const QString &paragraph : content.paragraphs) {
        auto *label = new QLabel(m_body);
        label->setTextFormat(Qt::RichText);
        label->setWordWrap(true);
        label->setFixedWidth(textWidth);
        label->setText(paragraph);
        label->setForegroundRole(QPalette::WindowText);
        MenuStyle::setPixelSize(label, 12);
        body->addWidget(label);
    }
    if (!content.buttons.isEmpty()) {
        auto *row = new QHBoxLayout;
        row->setContentsMargins(0, 4, 0, 0);
        row->setSpacing(8);
        row->addStretch(1);
        for (const Button &wanted : content.buttons) {
            QAbstractButton *button = nullptr;
            if (wanted.trailingSymbol.isEmpty()) {
                auto *push = new QPushButton(m_body);
                push->setAutoDefault(false);
                button = push;
            } else {
                // A link-like button with its symbol after the text.
                auto *tool = new QToolButton(m_body);
                tool->setAutoRaise(true);
                tool->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
                tool->setLayoutDirection(Qt::RightToLeft);
                tool->setIconSize(QSize(12, 12));
                const QColor ink = MenuStyle::accent(palette());
                tool->setIcon(Symbols::pixmap(wanted.trailingSymbol, 12, ink, devicePixelRatioF()));
                MenuStyle::setTextColor(tool, ink);
                button = tool;
            }
            button->setObjectName(wanted.objectName);
            button->setText(qtTrId(wanted.key));
            button->setAccessibleName(button->text());
            button->setAccessibleDescription(m_title->text());
            button->setEnabled(wanted.enabled);
            MenuStyle::setPixelSize(button, 12);
            connect(button, &QAbstractButton::clicked, this, [this, run = wanted.run] {
                // Out of the way first: the action may open a dialog or a window of its own.
                hide();
                if (run)
                    run();
            });
            row->addWidget(button);
        }
        body->addLayout(row);
    }
    m_layout->insertWidget(m_layout->indexOf(m_title) + 1, m_body);
    setAccessibleName(m_title->text());
}

void MenuInfoPopover::showNextTo(QWidget *anchor)
{
    refresh();
    adjustSize();
    const QPoint corner = anchor->mapToGlobal(QPoint(anchor->width(), anchor->height()));
    QPoint at(corner.x() - width(), corner.y() + 4);
    if (QScreen *screen = anchor->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + height() > area.bottom())
            at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 4);
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() + 1 - width())));
        at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() + 1 - height())));
    }
    move(at);
    show();
}

void MenuInfoPopover::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
    QFrame::changeEvent(event);
}

void MenuInfoPopover::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    emit dismissed();
}

namespace MenuInfoContents {

using namespace Presentation::MenuRowActions;

MenuInfoPopover::Content clamshellAction(const Presentation::MenuRowAction &action, const ClamshellCallbacks &callbacks)
{
    if (const auto *retry = std::get_if<Retry>(&action))
        return {QT_TRID_NOOP("closedLidEnableFailed"),
                {escaped(QT_TRID_NOOP("lastOpFailedHint"))},
                {button(QT_TRID_NOOP("retry"), "closedLidPopover.retry", callbacks.retry, retry->enabled)}};
    if (std::holds_alternative<Authorize>(action))
        return {QT_TRID_NOOP("authorizationRequiredAlert"),
                {escaped(QT_TRID_NOOP("authorizationBenefit"))},
                {button(QT_TRID_NOOP("cancel"), "closedLidPopover.cancel", callbacks.cancelAuthorization),
                 button(QT_TRID_NOOP("authorizeNow"), "closedLidPopover.authorizeNow", callbacks.authorizeAndStart)}};
    return {QT_TRID_NOOP("closedLidMode"), {escaped(QT_TRID_NOOP("closedLidDescription"))}, {}};
}

MenuInfoPopover::Content residualNeedsAuth(std::function<void()> authorize)
{
    return {QT_TRID_NOOP("closedLidPreventionOn"),
            {escaped(QT_TRID_NOOP("closedLidPreventionUnmanagedDetail"))},
            {button(QT_TRID_NOOP("authorizeNow"), "closedLidPopover.authorizeNow", std::move(authorize))}};
}

MenuInfoPopover::Content batteryInfo(bool onBattery, qint64 threshold, const QLocale &locale, const QPalette &palette,
                                     std::function<void()> openSettings)
{
    MenuInfoPopover::Content content{onBattery ? QT_TRID_NOOP("runningOnBattery") : QT_TRID_NOOP("onPower"), {}, {}};
    if (onBattery) {
        const QString percent = locale.toString(threshold) + QLatin1Char('%');
        content.paragraphs << escaped(QT_TRID_NOOP("willKeepRunning"))
                           << escaped(QT_TRID_NOOP("belowPrefix"))
                                  + QStringLiteral("<span style=\"font-weight:600; color:%1\">%2</span>")
                                        .arg(MenuStyle::blue(palette).name(), percent.toHtmlEscaped())
                                  + escaped(QT_TRID_NOOP("autoExitClause"));
    }
    content.buttons = {button(QT_TRID_NOOP("adjustInSettings"), "closedLidPopover.settings", std::move(openSettings),
                              true, "chevron.right")};
    return content;
}

MenuInfoPopover::Content safetyStopInfo(std::function<void()> openSettings)
{
    return {QT_TRID_NOOP("autoExited"),
            {escaped(QT_TRID_NOOP("batteryLowAutoExit"))},
            {button(QT_TRID_NOOP("adjustInSettings"), "closedLidPopover.settings", std::move(openSettings), true,
                    "chevron.right")}};
}

} // namespace MenuInfoContents

} // namespace quorvel

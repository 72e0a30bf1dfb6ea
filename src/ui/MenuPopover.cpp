#include "ui/MenuPopover.h"

#include "ui/MenuRootView.h"
#include "ui/MenuStyle.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace quorvel {

namespace {
constexpr int anchorGap = 4;
}

MenuPopover::MenuPopover(AppCoordinator &coordinator, LanguageController &language, std::function<void()> openSettings,
                         QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_root(new MenuRootView(coordinator, language, std::move(openSettings), this))
{
    setObjectName(QStringLiteral("menuPopover"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *layout = new QVBoxLayout(this);
    // No margins: the window is the root view's 320 wide; the hairline border is drawn in the
    // root view's own padding.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window is always exactly as large as its content: rows that come and go resize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_root);
    m_root->setBeforeOtherWindow([this] {
        if (m_popup)
            close();
    });
}

MenuPopover::~MenuPopover() = default;

void MenuPopover::setPreview(bool preview)
{
    m_root->setPreview(preview);
}

void MenuPopover::setUpdateChecker(UpdateChecker *checker)
{
    m_root->setUpdateChecker(checker);
}

QRect MenuPopover::placement(const QRect &anchor, const QSize &size, const QRect &available)
{
    QRect r(QPoint(anchor.center().x() - size.width() / 2, anchor.bottom() + 1 + anchorGap), size);
    if (available.isValid()) {
        if (r.bottom() > available.bottom())
            r.moveBottom(anchor.top() - 1 - anchorGap);
        r.moveLeft(qBound(available.left(), r.left(), qMax(available.left(), available.right() + 1 - size.width())));
        r.moveTop(qBound(available.top(), r.top(), qMax(available.top(), available.bottom() + 1 - size.height())));
    }
    return r;
}

void MenuPopover::usePopupFrame(bool popup)
{
    if (popup == m_popup)
        return;
    m_popup = popup;
    hide();
    setWindowFlags(popup ? Qt::Popup | Qt::FramelessWindowHint : Qt::Window);
}

void MenuPopover::showUnder(const QRect &anchor)
{
    usePopupFrame(true);
    adjustSize();
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    move(placement(anchor, size(), area).topLeft());
    show();
}

void MenuPopover::showAsWindow()
{
    usePopupFrame(false);
    setWindowTitle(QGuiApplication::applicationDisplayName());
    adjustSize();
    show();
    raise();
    activateWindow();
}

void MenuPopover::keyPressEvent(QKeyEvent *event)
{
    if (m_popup && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MenuPopover::paintEvent(QPaintEvent *)
{
    if (!m_popup)
        return;
    // A popup has no frame of its own: a hairline keeps it apart from what is underneath.
    QPainter painter(this);
    painter.setPen(MenuStyle::mix(palette().color(QPalette::Window), palette().color(QPalette::WindowText), 0.25));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace quorvel

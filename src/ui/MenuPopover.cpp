#include "ui/MenuPopover.h"

namespace quorvel {

MenuPopover::MenuPopover(AppCoordinator &, LanguageController &, std::function<void()>, QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setFixedWidth(320);
}

MenuPopover::~MenuPopover() = default;

void MenuPopover::showUnder(const QRect &anchor)
{
    move(anchor.bottomLeft());
    show();
}

void MenuPopover::showAsWindow()
{
    setWindowFlags(Qt::Window);
    show();
}

} // namespace quorvel

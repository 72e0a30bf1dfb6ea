// The menu-bar item: NSStatusItem, adapted to the status item seam.
#import <AppKit/AppKit.h>

#include "ui/mac/MacStatusItem.h"

#include <QMenu>

using quorvel::MacStatusItem;

// The button's target: tells a right mouse-up from any other click.
@interface QuorvelStatusItemTarget : NSObject
@property(nonatomic, assign) MacStatusItem *owner;
- (void)clicked:(id)sender;
@end

@implementation QuorvelStatusItemTarget
- (void)clicked:(id)sender
{
    if (!self.owner)
        return;
    if (NSApp.currentEvent.type == NSEventTypeRightMouseUp)
        emit self.owner->secondaryClicked();
    else
        emit self.owner->primaryClicked();
}
@end

namespace quorvel {

struct MacStatusItem::Native {
    NSStatusItem *item = nil;
    QuorvelStatusItemTarget *target = nil;
};

MacStatusItem::MacStatusItem(QObject *parent)
    : StatusItem(parent)
    , d(std::make_unique<Native>())
{
    d->item = [[NSStatusBar systemStatusBar] statusItemWithLength:NSVariableStatusItemLength];
    d->target = [[QuorvelStatusItemTarget alloc] init];
    d->target.owner = this;
    NSStatusBarButton *button = d->item.button;
    button.target = d->target;
    button.action = @selector(clicked:);
    [button sendActionOn:NSEventMaskLeftMouseUp | NSEventMaskRightMouseUp];
}

MacStatusItem::~MacStatusItem()
{
    d->target.owner = nullptr;
    [[NSStatusBar systemStatusBar] removeStatusItem:d->item];
}

void MacStatusItem::setImage(const QImage &image, bool isTemplate)
{
    if (image.isNull()) {
        d->item.button.image = nil;
        return;
    }
    CGImageRef cgImage = image.toCGImage();
    const qreal ratio = image.devicePixelRatio();
    NSImage *nsImage = [[NSImage alloc] initWithCGImage:cgImage
                                                   size:NSMakeSize(image.width() / ratio, image.height() / ratio)];
    CGImageRelease(cgImage);
    [nsImage setTemplate:isTemplate]; // `template` is a C++ keyword: no dot syntax here
    d->item.button.image = nsImage;
}

void MacStatusItem::setToolTip(const QString &text)
{
    d->item.button.toolTip = text.toNSString();
}

QRect MacStatusItem::anchor() const
{
    NSStatusBarButton *button = d->item.button;
    NSWindow *window = button.window;
    if (!window)
        return {};
    // The image's rectangle within the button (the base icon starts at its origin), else the
    // whole button.
    NSRect local = button.cell ? [button.cell imageRectForBounds:button.bounds] : NSZeroRect;
    if (NSIsEmptyRect(local))
        local = button.bounds;
    const NSRect onScreen = [window convertRectToScreen:[button convertRect:local toView:nil]];
    // Cocoa measures from the bottom left of the primary screen, Qt from its top left.
    const CGFloat primaryHeight = NSScreen.screens.firstObject.frame.size.height;
    return QRect(qRound(onScreen.origin.x), qRound(primaryHeight - NSMaxY(onScreen)), qRound(onScreen.size.width),
                 qRound(onScreen.size.height));
}

bool MacStatusItem::contains(const QPoint &point) const
{
    const QRect where = anchor();
    return !where.isEmpty() && where.contains(point);
}

void MacStatusItem::popUpMenu(QMenu *menu)
{
    if (!menu)
        return;
    // Attached only for this click, so the next left click opens the popover again.
    d->item.menu = menu->toNSMenu();
    [d->item.button performClick:nil];
    d->item.menu = nil;
}

} // namespace quorvel

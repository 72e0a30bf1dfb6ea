// SF Symbols as QImage: the symbol's CGImage drawn by CoreGraphics straight into the QImage's
// own pixels (Qt 6 has QImage::toCGImage, but nothing for the way back).
#import <AppKit/AppKit.h>

#include "ui/SymbolCanvas.h"
#include "ui/mac/SystemSymbol.h"

namespace quorvel::Symbols {

QImage systemSymbolImage(const QString &name, const QSize &pixelSize)
{
    @autoreleasepool {
        NSImage *symbol = [NSImage imageWithSystemSymbolName:name.toNSString() accessibilityDescription:nil];
        QImage canvas = SymbolCanvas::make(pixelSize);
        if (!symbol || canvas.isNull())
            return {};
        // Configured at the size it is drawn at, so strokes keep the weight of that size.
        NSImageSymbolConfiguration *config =
            [NSImageSymbolConfiguration configurationWithPointSize:pixelSize.height() weight:NSFontWeightRegular];
        symbol = [symbol imageWithSymbolConfiguration:config] ?: symbol;
        const QRectF target = SymbolCanvas::fitted(QSizeF(symbol.size.width, symbol.size.height), pixelSize);
        if (target.isEmpty())
            return {};
        NSRect proposed = NSMakeRect(0, 0, target.width(), target.height());
        // Owned by the image (and the pool above): not released here.
        CGImageRef image = [symbol CGImageForProposedRect:&proposed context:nil hints:nil];
        if (!image)
            return {};
        CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
        CGContextRef context = CGBitmapContextCreate(
            canvas.bits(), size_t(canvas.width()), size_t(canvas.height()), 8, size_t(canvas.bytesPerLine()), space,
            uint32_t(kCGImageAlphaPremultipliedFirst) | uint32_t(kCGBitmapByteOrder32Host));
        CGColorSpaceRelease(space);
        if (!context)
            return {};
        CGContextDrawImage(context, CGRectMake(target.x(), target.y(), target.width(), target.height()), image);
        CGContextRelease(context);
        return canvas;
    }
}

} // namespace quorvel::Symbols

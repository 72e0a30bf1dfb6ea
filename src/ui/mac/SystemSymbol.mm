// SF Symbols as QIcon: one image per symbol name, template-tinted by AppKit.
#import <AppKit/AppKit.h>

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvel::Symbols {

QIcon systemSymbol(const QString &name)
{
    NSImage *image = [NSImage imageWithSystemSymbolName:name.toNSString() accessibilityDescription:nil];
    if (!image)
        return {};
    NSImageSymbolConfiguration *config = [NSImageSymbolConfiguration configurationWithPointSize:32
                                                                                         weight:NSFontWeightRegular];
    image = [image imageWithSymbolConfiguration:config] ?: image;
    CGImageRef cgImage = [image CGImageForProposedRect:nil context:nil hints:nil];
    if (!cgImage)
        return {};
    return QIcon(QPixmap::fromImage(QImage::fromCGImage(cgImage)));
}

} // namespace quorvel::Symbols

#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QSizeF>

// The pixels a system symbol is drawn into on the Mac. CoreGraphics draws straight into the
// QImage's own memory, so the image must have exactly the layout the bitmap context is told
// about; keeping that here, in plain Qt, lets it be checked without a Mac.
namespace quorvel::SymbolCanvas {

// A transparent image of `pixelSize` in the layout of a CoreGraphics bitmap with premultiplied
// alpha first and 32-bit host byte order: one 0xAARRGGBB word per pixel, rows bytesPerLine()
// apart, the first row at the top. Null for an empty size.
QImage make(const QSize &pixelSize);

// Where a symbol of `symbolSize` (any unit) lands on a canvas of `pixelSize`: as large as fits
// without distortion, centred. Centred both ways, it is the same rectangle whether y runs up
// (CoreGraphics) or down (Qt). Empty when either size is.
QRectF fitted(const QSizeF &symbolSize, const QSize &pixelSize);

} // namespace quorvel::SymbolCanvas

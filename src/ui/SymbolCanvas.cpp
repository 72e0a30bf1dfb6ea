#include "ui/SymbolCanvas.h"

namespace quorvel::SymbolCanvas {

QImage make(const QSize &pixelSize)
{
    if (pixelSize.isEmpty())
        return {};
    // Qt's premultiplied ARGB32 is a native-endian 0xAARRGGBB word, which is what CoreGraphics
    // writes for premultiplied-first alpha in host byte order.
    QImage canvas(pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::transparent);
    return canvas;
}

QRectF fitted(const QSizeF &symbolSize, const QSize &pixelSize)
{
    if (symbolSize.isEmpty() || pixelSize.isEmpty())
        return {};
    const QSizeF size = symbolSize.scaled(QSizeF(pixelSize), Qt::KeepAspectRatio);
    return QRectF(QPointF((pixelSize.width() - size.width()) / 2, (pixelSize.height() - size.height()) / 2), size);
}

} // namespace quorvel::SymbolCanvas

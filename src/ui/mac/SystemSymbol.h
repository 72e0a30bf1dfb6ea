#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace quorvel::Symbols {

// The SF Symbol `name` drawn black on transparent at exactly `pixelSize`, centred without
// distortion. Null when macOS has no symbol of that name.
QImage systemSymbolImage(const QString &name, const QSize &pixelSize);

} // namespace quorvel::Symbols

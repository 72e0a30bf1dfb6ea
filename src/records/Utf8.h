#pragma once

#include <QByteArrayView>

namespace quorvel::records {

// Strict UTF-8 check (no overlong forms, no surrogates, nothing above U+10FFFF). Both record
// files refuse to reinterpret a file that fails it: they neither load nor rewrite it.
bool isValidUtf8(QByteArrayView bytes);

// True when `offset` starts a character (or is the end): the byte there is not a
// continuation byte.
inline bool isCharacterBoundary(QByteArrayView bytes, qsizetype offset)
{
    return offset >= bytes.size() || (static_cast<unsigned char>(bytes[offset]) & 0xC0) != 0x80;
}

} // namespace quorvel::records

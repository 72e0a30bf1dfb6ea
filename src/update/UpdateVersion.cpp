#include "update/UpdateVersion.h"

#include <limits>

namespace quorvel::UpdateVersion {

std::optional<qint64> parseDecimalInteger(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulate towards the negative side: its range is one larger, so the minimum parses.
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (min + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min)
            return std::nullopt;
        value = -value;
    }
    return value;
}

std::optional<QList<qint64>> parse(const QString &text)
{
    const QStringList pieces = text.split(u'.', Qt::KeepEmptyParts);
    if (pieces.isEmpty() || pieces.size() > 4)
        return std::nullopt;
    QList<qint64> components;
    components.reserve(pieces.size());
    for (const QString &piece : pieces) {
        const auto number = parseDecimalInteger(piece);
        if (!number || *number < 0)
            return std::nullopt;
        components.append(*number);
    }
    return components;
}

bool isNewer(const QList<qint64> &published, qint64 publishedBuild, const QList<qint64> &local, qint64 localBuild)
{
    const qsizetype length = std::max(published.size(), local.size());
    for (qsizetype i = 0; i < length; ++i) {
        const qint64 p = published.value(i, 0);
        const qint64 l = local.value(i, 0);
        if (p != l)
            return p > l;
    }
    return publishedBuild > localBuild;
}

bool isValidDownloadName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':')
           && !name.contains(QStringLiteral(".."));
}

} // namespace quorvel::UpdateVersion

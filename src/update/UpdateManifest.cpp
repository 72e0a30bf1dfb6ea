#include "update/UpdateManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace quorvel {

namespace {

std::optional<qint64> integral(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() refuses fractions and values outside 64 bits by answering the fallback;
    // two different fallbacks tell a refusal from a stored value that happens to match one.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

} // namespace

std::optional<UpdateManifest> UpdateManifest::decode(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue latest = document.object().value(QLatin1String("latest"));
    if (!latest.isObject())
        return std::nullopt;
    const QJsonObject entry = latest.toObject();

    const QJsonValue version = entry.value(QLatin1String("version"));
    const QJsonValue downloadURL = entry.value(QLatin1String("downloadURL"));
    const QJsonValue releaseNotes = entry.value(QLatin1String("releaseNotes"));
    const auto build = integral(entry.value(QLatin1String("build")));
    if (!version.isString() || !downloadURL.isString() || !build)
        return std::nullopt;
    if (!releaseNotes.isUndefined() && !releaseNotes.isNull() && !releaseNotes.isString())
        return std::nullopt;

    UpdateManifest manifest;
    manifest.latest.version = version.toString();
    manifest.latest.build = *build;
    manifest.latest.downloadURL = downloadURL.toString();
    if (releaseNotes.isString())
        manifest.latest.releaseNotes = releaseNotes.toString();
    return manifest;
}

} // namespace quorvel

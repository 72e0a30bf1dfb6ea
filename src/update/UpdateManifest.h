#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace quorvel {

// The feed's "version.json": {"latest": {"version": "1.5.0", "build": 60,
// "downloadURL": "Quorvel-1.5.0.dmg", "releaseNotes": "..."}}. Unknown keys are ignored.
struct UpdateManifest {
    struct Entry {
        QString version;
        qint64 build = 0;
        QString downloadURL; // a bare file name on the feed, not a URL
        std::optional<QString> releaseNotes;
        bool operator==(const Entry &) const = default;
    };
    Entry latest;
    bool operator==(const UpdateManifest &) const = default;

    // Strict about what is required: "latest" must be an object whose "version" and
    // "downloadURL" are strings and whose "build" is an integral number; "releaseNotes" may
    // be missing or null but, when present, must be a string. Anything else is no manifest.
    static std::optional<UpdateManifest> decode(const QByteArray &json);
};

} // namespace quorvel

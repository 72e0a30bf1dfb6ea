#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <variant>

namespace quorvel {

// A release that is newer than the running application and whose download the feed serves.
struct UpdateInfo {
    QString version;  // as published
    qint64 build = 0; // as published
    std::optional<QString> releaseNotes;
    QUrl downloadURL; // the feed's base URL with the published file name appended
    bool operator==(const UpdateInfo &) const = default;
};

// Why a check found nothing to offer. The case names are written to the log as they are.
enum class UpdateCheckFailure { network, manifestInvalid, downloadInvalid, downloadMissing };
QString rawValue(UpdateCheckFailure failure);

namespace UpdateCheck {
struct Idle {
    bool operator==(const Idle &) const = default;
};
struct Checking {
    bool operator==(const Checking &) const = default;
};
struct UpToDate {
    bool operator==(const UpToDate &) const = default;
};
struct Available {
    UpdateInfo info;
    bool operator==(const Available &) const = default;
};
struct Failed {
    UpdateCheckFailure failure;
    bool operator==(const Failed &) const = default;
};
} // namespace UpdateCheck

// What the update status row shows. Only a user-requested check passes through `Checking`
// and `Failed`; an automatic check only ever lands on `UpToDate` or `Available`.
using UpdateCheckState = std::variant<UpdateCheck::Idle, UpdateCheck::Checking, UpdateCheck::UpToDate,
                                      UpdateCheck::Available, UpdateCheck::Failed>;

// Readable form for test failures and debugging, e.g. "available(1.5.0 build 60)".
QString describe(const UpdateCheckState &state);

} // namespace quorvel

#include "update/UpdateCheckState.h"

namespace quorvel {

QString rawValue(UpdateCheckFailure failure)
{
    switch (failure) {
    case UpdateCheckFailure::network: return QStringLiteral("network");
    case UpdateCheckFailure::manifestInvalid: return QStringLiteral("manifestInvalid");
    case UpdateCheckFailure::downloadInvalid: return QStringLiteral("downloadInvalid");
    case UpdateCheckFailure::downloadMissing: return QStringLiteral("downloadMissing");
    }
    return QStringLiteral("network");
}

QString describe(const UpdateCheckState &state)
{
    struct Visitor {
        QString operator()(const UpdateCheck::Idle &) const { return QStringLiteral("idle"); }
        QString operator()(const UpdateCheck::Checking &) const { return QStringLiteral("checking"); }
        QString operator()(const UpdateCheck::UpToDate &) const { return QStringLiteral("upToDate"); }
        QString operator()(const UpdateCheck::Available &a) const
        {
            return QStringLiteral("available(%1 build %2, %3)")
                .arg(a.info.version)
                .arg(a.info.build)
                .arg(a.info.downloadURL.toString());
        }
        QString operator()(const UpdateCheck::Failed &f) const
        {
            return QStringLiteral("failed(%1)").arg(rawValue(f.failure));
        }
    };
    return std::visit(Visitor{}, state);
}

} // namespace quorvel

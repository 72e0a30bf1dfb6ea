#pragma once

#include "app/VemoState.h"

#include <QString>

namespace quorvel::test {

// A session as one readable word, so that table rows and failures read like the menu.
inline QString describe(const TimedSessionState &s)
{
    if (const auto *r = std::get_if<TimedSession::Running>(&s))
        return QStringLiteral("running(%1)").arg(r->remainingSeconds);
    if (const auto *f = std::get_if<TimedSession::Failed>(&s))
        return QStringLiteral("failed(%1)").arg(toString(f->error));
    static const char *names[] = {"off", "starting", "", "runningPermanent", "stopping", "ended", ""};
    return QString::fromLatin1(names[s.index()]);
}

inline QString describe(const DisplayAwakeState &s)
{
    if (const auto *f = std::get_if<DisplayAwake::Failed>(&s))
        return QStringLiteral("failed(%1)").arg(toString(f->error));
    static const char *names[] = {"off", "starting", "on", "stopping", ""};
    return QString::fromLatin1(names[s.index()]);
}

} // namespace quorvel::test

#include "Shots.h"

namespace quorvel::shots {

// The settings window in every authorization state with its notes and explanation, and the
// about window.
int shootWindows(const QString &folder)
{
    Session session(folder);
    test::walkWindows(session.walk(QStringLiteral("windows")));
    return session.failures();
}

} // namespace quorvel::shots

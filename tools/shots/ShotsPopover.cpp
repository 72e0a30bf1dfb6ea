#include "Shots.h"

namespace quorvel::shots {

// The popover in every named state over a whole simulated application, with the small popover
// its trailing element opens, and once with an update on offer: <state>[-popover]-<lang>-<theme>.png
int shootPopovers(const QString &folder)
{
    Session session(folder);
    test::walkPopovers(session.walk(QStringLiteral("popover")));
    return session.failures();
}

} // namespace quorvel::shots

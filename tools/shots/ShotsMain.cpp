// Renders every view of the interface offscreen to PNG, in English and Simplified Chinese,
// light and dark, so people can look at what the app shows without a Mac or a desktop:
//   scripts/shots            -> build/shots/*.png and build/shots/contact-sheet.png

#include "Shots.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>

using namespace quorvel;
using namespace quorvel::shots;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(out);

    Session session(out);
    shootDialogs(session);
    const int failures =
        session.failures() + shootMenuBar(out) + shootPopovers(out) + shootWindows(out) + shootActivity(out);
    return failures == 0 ? 0 : 1;
}

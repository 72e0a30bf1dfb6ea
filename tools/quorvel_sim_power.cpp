// quorvel-sim-power: sets the simulated power source, atomically, so a watcher sees one
// clean change and never half a file.
//
//   quorvel-sim-power [--source battery|ac|unknown] [--level 0-100|none] [--low-power true|false]
//                     [--file <path>] [--show] [--wake] [--display-change]
//
// Options not given keep their current value, so a script can drain the battery with
// `quorvel-sim-power --level 19` alone. The file is <root>/sim/power.json unless --file says
// otherwise. --show prints the file as it is afterwards. --wake and --display-change play the
// machine waking from sleep and a display coming or going: each rewrites its file in the
// sandbox (sim/wake, sim/display) with a new count, and the app takes every change as a notice.

#include "platform/sim/SimLayout.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSaveFile>
#include <QString>

#include <cstdio>
#include <unistd.h>

using namespace quorvel;

namespace {

int usage(const char *problem)
{
    if (problem)
        std::fprintf(stderr, "quorvel-sim-power: %s\n", problem);
    std::fprintf(stderr, "usage: quorvel-sim-power [--source battery|ac|unknown] [--level 0-100|none]\n"
                         "                         [--low-power true|false] [--file <path>] [--show]\n"
                         "                         [--wake] [--display-change]\n");
    return 2;
}

QString sandboxRoot()
{
    QString root = qEnvironmentVariable(simlayout::kRootVariable);
    if (root.isEmpty()) {
        const QString tmp = qEnvironmentVariable("TMPDIR");
        root = (tmp.isEmpty() ? QStringLiteral("/tmp") : tmp) + QStringLiteral("/quorvel-sim-")
               + QString::number(::getuid());
    }
    return QDir(root).absolutePath();
}

// One more notice: the file's count goes up by one, written whole so a watcher sees one change.
bool bumpNotice(const char *relative)
{
    const QString path = sandboxRoot() + QLatin1String(relative);
    QFile current(path);
    qint64 count = 0;
    if (current.open(QIODevice::ReadOnly))
        count = current.readAll().trimmed().toLongLong();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(count + 1) + '\n') < 0 || !file.commit()) {
        std::fprintf(stderr, "quorvel-sim-power: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QString path = sandboxRoot() + QLatin1String(simlayout::kPowerFile);
    QJsonObject changes;
    bool removeLevel = false;
    bool show = false;
    QList<const char *> notices;

    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (option == "--show") {
            show = true;
            continue;
        }
        if (option == "--wake" || option == "--display-change") {
            notices << (option == "--wake" ? simlayout::kWakeFile : simlayout::kDisplayFile);
            continue;
        }
        if (i + 1 >= argc)
            return usage("missing value");
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (option == "--source") {
            if (value != QLatin1String("battery") && value != QLatin1String("ac") && value != QLatin1String("unknown"))
                return usage("source must be battery, ac or unknown");
            changes.insert(QStringLiteral("source"), value);
        } else if (option == "--level") {
            bool ok = false;
            const int level = value.toInt(&ok);
            if (value == QLatin1String("none"))
                removeLevel = true;
            else if (!ok || level < 0 || level > 100)
                return usage("level must be a whole number from 0 to 100, or none");
            else
                changes.insert(QStringLiteral("level"), level);
        } else if (option == "--low-power") {
            if (value != QLatin1String("true") && value != QLatin1String("false"))
                return usage("low-power must be true or false");
            changes.insert(QStringLiteral("lowPower"), value == QLatin1String("true"));
        } else if (option == "--file") {
            path = QFileInfo(value).absoluteFilePath();
        } else {
            return usage("unknown option");
        }
    }
    if (changes.isEmpty() && !removeLevel && !show && notices.isEmpty())
        return usage(nullptr);

    QJsonObject power{{QStringLiteral("source"), QStringLiteral("unknown")}, {QStringLiteral("lowPower"), false}};
    QFile current(path);
    if (current.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(current.readAll());
        if (doc.isObject())
            power = doc.object();
    }

    if (!changes.isEmpty() || removeLevel) {
        for (auto it = changes.begin(); it != changes.end(); ++it)
            power.insert(it.key(), it.value());
        if (removeLevel)
            power.remove(QStringLiteral("level"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(power).toJson(QJsonDocument::Compact)) < 0
            || file.write("\n") < 0 || !file.commit()) {
            std::fprintf(stderr, "quorvel-sim-power: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    if (show)
        std::printf("%s\n", QJsonDocument(power).toJson(QJsonDocument::Compact).constData());
    // After the power change, as a real wake brings the new power source with it.
    for (const char *notice : notices)
        if (!bumpNotice(notice))
            return 1;
    return 0;
}

// quorvel-sim-power: sets the simulated power source, atomically, so a watcher sees one
// clean change and never half a file.
//
//   quorvel-sim-power [--source battery|ac|unknown] [--level 0-100|none] [--low-power true|false]
//                     [--file <path>] [--show]
//
// Options not given keep their current value, so a script can drain the battery with
// `quorvel-sim-power --level 19` alone. The file is <root>/sim/power.json unless --file says
// otherwise. --show prints the file as it is afterwards.

#include "platform/sim/SimLayout.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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
                         "                         [--low-power true|false] [--file <path>] [--show]\n");
    return 2;
}

QString defaultFile()
{
    QString root = qEnvironmentVariable(simlayout::kRootVariable);
    if (root.isEmpty()) {
        const QString tmp = qEnvironmentVariable("TMPDIR");
        root = (tmp.isEmpty() ? QStringLiteral("/tmp") : tmp) + QStringLiteral("/quorvel-sim-")
               + QString::number(::getuid());
    }
    return QDir(root).absolutePath() + QLatin1String(simlayout::kPowerFile);
}

} // namespace

int main(int argc, char **argv)
{
    QString path = defaultFile();
    QJsonObject changes;
    bool removeLevel = false;
    bool show = false;

    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (option == "--show") {
            show = true;
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
    if (changes.isEmpty() && !removeLevel && !show)
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
    return 0;
}

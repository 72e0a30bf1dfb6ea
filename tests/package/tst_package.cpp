// The Linux packages as a user gets them: built by CPack, unpacked into a scratch root, and the
// installed app run from there against the stand-ins it finds beside itself.

#include "support/RealApp.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel::test;

namespace {
struct Run {
    int code = -1;
    QString out;
};
Run run(const QString &program, const QStringList &arguments, const QString &directory = {})
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}
} // namespace

class PackageTest : public QObject {
    Q_OBJECT

private slots:
    void installedAppRuns()
    {
        for (const char *tool : {"cpack", "dpkg-deb", "desktop-file-validate"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed (scripts/deps installs it)").arg(tool)));
        QTemporaryDir scratch;
        const Run packed = run("cpack", {"-G", "DEB", "-B", scratch.filePath("packages")}, QUORVEL_BUILD_DIR);
        QVERIFY2(packed.code == 0, qPrintable(packed.out));
        const QStringList debs = QDir(scratch.filePath("packages")).entryList({"*.deb"});
        QCOMPARE(debs.size(), 2);

        const QString app = scratch.filePath("packages/") + debs.filter(QRegularExpression("^quorvel_")).value(0);
        const QStringList files = run("dpkg-deb", {"-c", app}).out.split('\n');
        for (const char *expected :
             {"./usr/bin/quorvel", "./usr/share/applications/app.quorvel.Quorvel.desktop",
              "./usr/share/icons/hicolor/scalable/apps/app.quorvel.Quorvel.svg", "./usr/share/doc/quorvel/copyright"})
            QVERIFY2(!files.filter(QString(" ") + expected).isEmpty(), expected);
        QVERIFY2(files.filter("libexec").isEmpty(), "the stand-ins are a package of their own");

        const QString root = scratch.filePath("root");
        for (const QString &deb : debs)
            QCOMPARE(run("dpkg-deb", {"-x", scratch.filePath("packages/") + deb, root}).code, 0);
        const Run valid = run("desktop-file-validate", {root + "/usr/share/applications/app.quorvel.Quorvel.desktop"});
        QVERIFY2(valid.code == 0, qPrintable(valid.out));

        // Started from the scratch root, with no hint where the stand-ins are.
        RealApp installed;
        QProcessEnvironment env = installed.process().processEnvironment();
        env.remove("QUORVEL_TOOLS_DIR");
        installed.process().setProcessEnvironment(env);
        installed.process().setProgram(root + "/usr/bin/quorvel");
        installed.start();
        installed.send("start 600");
        QVERIFY2(installed.waitFor([&] { return installed.livingCaffeinates().size() == 1; }),
                 qPrintable(installed.output()));
        const QString child =
            QFileInfo(QString("/proc/%1/exe").arg(installed.livingCaffeinates().first())).symLinkTarget();
        QCOMPARE(child, QFileInfo(root + "/usr/libexec/quorvel/caffeinate").canonicalFilePath());
        installed.send("quit");
        QVERIFY(installed.waitForExit());
        QCOMPARE(installed.process().exitCode(), 0);
        QCOMPARE(installed.livingCaffeinates(), QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"

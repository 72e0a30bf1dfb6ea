// Our two record files are never followed anywhere else. Whatever is planted where the history
// or the diagnostic log belongs (a link to another of the user's files, a link to nowhere, a
// FIFO, a directory, another user's file), the app runs as ever, says once on standard error
// that records are off for that file and why, and leaves what it found byte for byte as it was.

#include "Reliability.h"
#include "records/Planted.h"

using namespace quorvel;
using namespace quorvel::test;

// RVERIFY's transcript reads the log, which would wait for ever on a FIFO planted there.
#define FVERIFY(app, condition) QVERIFY2((condition), qPrintable((app).output() + (app).errors()))

class FilesTest : public QObject {
    Q_OBJECT

private slots:
    void foreignRecordFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("history"); // the history's path, else the log's
        for (const QString &kind : plantedKinds())
            for (bool history : {true, false})
                QTest::newRow(qPrintable(kind + (history ? " at the history" : " at the log"))) << kind << history;
    }
    void foreignRecordFiles()
    {
        QFETCH(QString, kind);
        QFETCH(bool, history);
        RealApp app;
        const QString path = history ? app.historyPath() : app.logPath();
        QByteArray old; // due for compaction, so a start-up that followed the link would rewrite it
        for (int n = 1; n <= 1600; ++n)
            old += encodeEvent(VemoEvent::make(EventKind::TimedStarted{n})) + '\n';
        const Planted planted(kind, path, old);
        if (!planted.ok())
            QSKIP("cannot plant this here (another user's file needs root)");

        app.start();
        FVERIFY(app, app.waitForState("idle: "));
        FVERIFY(app, startSession(app, "start 60", false));
        app.send("stop");
        FVERIFY(app, app.waitForState("idle: Not active"));
        app.send("quit");
        FVERIFY(app, app.waitForExit(5000));
        QCOMPARE(app.process().exitCode(), 0);
        const QString file = history ? "EventHistory.jsonl" : "diagnostic.log";
        QCOMPARE(app.errors().count("records off, file="), 1);
        FVERIFY(app,
                app.errors().contains("records off, file=" + file + ", reason=" + planted.reason() + ", path=" + path));
        QVERIFY(planted.untouched());
        // The other file is written as ever.
        if (history)
            FVERIFY(app, app.log().contains("timed session stopped by user"));
        else
            QCOMPARE(kindsOfLastLaunch(app).mid(0, 3),
                     (QStringList{"appLaunched", "timedStarted", "timedStoppedManually"}));
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "tst_files.moc"

// `quorvel ctl history` against the real executable: a scripted day of sessions, then what a
// script gets back, while the app runs and after it is gone.

#include "support/RealApp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>

using namespace quorvel::test;

class CtlHistoryTest : public QObject {
    Q_OBJECT

    using Ctl = RealApp::Ctl;
    static QJsonArray sessions(const Ctl &r)
    {
        return QJsonDocument::fromJson(r.out.toUtf8()).object().value("sessions").toArray();
    }
    static QStringList summary(const QJsonArray &list)
    {
        QStringList out;
        for (const QJsonValue &v : list) {
            const QJsonObject s = v.toObject();
            out << s["mode"].toString() + ' ' + s["ending"].toString();
        }
        return out;
    }

private slots:
    void scriptedSessions()
    {
        RealApp app;
        QCOMPARE(app.ctl({"history", "--json"}).code, 0); // no history yet, and no app: still an answer
        QCOMPARE(sessions(app.ctl({"history", "--json"})).size(), 0);

        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));
        QCOMPARE(app.ctl({"start", "90m"}).code, 0);
        QCOMPARE(app.ctl({"stop"}).code, 0);
        QCOMPARE(app.ctl({"indefinite"}).code, 0);
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));

        // While it runs, the open session is ongoing and the app's own history is read.
        Ctl r = app.ctl({"history", "--json"});
        QCOMPARE(r.code, 0);
        QCOMPARE(summary(sessions(r)), (QStringList{"indefinite ongoing", "timed stoppedByUser"}));
        const QJsonObject timed = sessions(r)[1].toObject();
        QCOMPARE(timed["requestedSeconds"].toInteger(), 5400);
        QCOMPARE(timed["kind"].toString(), "idleSleep");
        QVERIFY(QDateTime::fromString(timed["start"].toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(sessions(r)[0].toObject()["end"].isNull());
        const QJsonObject period = QJsonDocument::fromJson(r.out.toUtf8()).object()["period"].toObject();
        QCOMPARE(period["days"].toInt(), 14);
        QCOMPARE(period["to"].toString(), QDate::currentDate().toString(Qt::ISODate));

        // Killed: nothing is left running, and the next launch ends the session.
        ::kill(pid_t(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        r = app.ctl({"history", "--json", "--days", "1"});
        QCOMPARE(summary(sessions(r)).first(), "indefinite appEndedUnexpectedly");
        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));
        QCOMPARE(app.ctl({"quit", "--force"}).code, 0);
        QVERIFY(app.waitForExit());

        r = app.ctl({"history"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("Last 14 days") && r.out.contains("Quorvel ended unexpectedly")
                     && r.out.contains("Stopped by you") && r.out.contains("Timed, 1 h 30 min"),
                 qPrintable(r.out));

        // Bad words get the reason and the usage code, and nothing on standard output.
        for (const QStringList &bad : {QStringList{"history", "--days", "0"}, QStringList{"history", "--days", "2x"},
                                       QStringList{"history", "yesterday"}}) {
            r = app.ctl(bad);
            QCOMPARE(r.code, 64);
            QVERIFY(r.out.isEmpty());
            QVERIFY2(r.err.contains("--days") || r.err.contains("usage"), qPrintable(r.err));
        }
    }
};

QTEST_GUILESS_MAIN(CtlHistoryTest)
#include "tst_ctlhistory_e2e.moc"

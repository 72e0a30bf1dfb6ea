// A hostile or broken update feed against the real app: whatever the feed answers, or however
// long it keeps silent, the app stays up, holds no more than a small manifest in memory, and
// quits at once.

#include "Reliability.h"
#include "update/HttpTestServer.h"

#include <QElapsedTimer>

using namespace quorvel::test;

namespace {

QByteArray reply(int status, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray manifest = R"({"latest":{"version":"99.0","build":1,"downloadURL":"Quorvel.dmg"}})";

// The most memory the app has held so far, in KiB (VmHWM), or 0 where /proc cannot tell.
qint64 peakMemoryKiB(qint64 pid)
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace

class FeedTest : public QObject {
    Q_OBJECT

private slots:
    void hostileFeed_data()
    {
        QTest::addColumn<QByteArray>("answer"); // empty: the server never answers
        QTest::addColumn<QString>("outcome");   // empty: the check is still waiting at quit
        QTest::newRow("malformed") << reply(200, "{\"latest\": [1, 2") << "manifestInvalid";
        QTest::newRow("404") << reply(404, "<html>gone</html>") << "manifestInvalid";
        QTest::newRow("redirect loop") << reply(302, {}, "Location: /quorvel/version.json\r\n") << "network";
        QTest::newRow("redirect to another scheme") << reply(301, {}, "Location: file:///etc/passwd\r\n") << "network";
        QTest::newRow("stalled server") << QByteArray() << QString();
        QTest::newRow("manifest of 50 MB")
            << reply(200, manifest + QByteArray(50 * 1024 * 1024, ' ')) << "manifestInvalid";
    }
    void hostileFeed()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, outcome);
        HttpTestServer server;
        server.route("GET /quorvel/version.json", {answer});
        server.route("HEAD /quorvel/Quorvel.dmg", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"});
        RealApp app;
        app.setEnvironment("QUORVEL_UPDATE_FEED_URL", server.url("/quorvel/").toString());
        app.start();
        RVERIFY(app, app.waitForState("idle: "));
        const qint64 before = peakMemoryKiB(app.pid());
        app.send("check");
        if (outcome.isEmpty())
            RVERIFY(app, app.waitFor([&] { return !server.requests().isEmpty(); }));
        else
            RVERIFY(app, app.waitFor([&] { return app.log().contains("update check failed (manual): " + outcome); }));
        QVERIFY(!app.log().contains("update check: available"));
        // Refused long before the whole body was read: the app grew by far less than 50 MB.
        const qint64 growth = peakMemoryKiB(app.pid()) - before;
        QVERIFY2(growth < 16 * 1024, qPrintable(QString::number(growth) + " KiB"));
        // Still there, still answering.
        app.send("start 60");
        RVERIFY(app, app.waitForState("0:01:00"));

        QElapsedTimer quitting;
        quitting.start();
        app.send("quit");
        RVERIFY(app, app.waitForExit(5000));
        QVERIFY2(quitting.elapsed() < 1500, qPrintable(QString::number(quitting.elapsed())));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(FeedTest)
#include "tst_feed.moc"

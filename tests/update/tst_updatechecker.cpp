#include "HttpTestServer.h"
#include "support/FakeClock.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"
#include "update/NetworkUpdateFeedTransport.h"
#include "update/UpdateChecker.h"

#include <QTest>

using namespace quorvel;
using namespace std::chrono_literals;
using States = QList<UpdateCheckState>;

namespace quorvel::UpdateCheck {
inline char *toString(const UpdateCheckState &state)
{
    return QTest::toString(describe(state));
}
} // namespace quorvel::UpdateCheck
// Published version and build, the running bundle, whether it is offered.
using Release = std::tuple<QString, qint64, BundleInfo, bool>;
// Manifest answer (empty: none ever comes), download answer, outcome, requests it took.
using Feed = std::tuple<QByteArray, QByteArray, QString, int>;
Q_DECLARE_METATYPE(Release)
Q_DECLARE_METATYPE(Feed)

namespace {

const UpdateCheckState network = UpdateCheck::Failed{UpdateCheckFailure::network};
const QString lastCheckAt = QStringLiteral("QuorvelUpdateLastCheckAt");

QByteArray reply(int status, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
// The download's answer to HEAD, with this Content-Length ("": none).
QByteArray file(const QByteArray &length = "1048576")
{
    return "HTTP/1.1 200 OK\r\n" + (length.isEmpty() ? QByteArray() : "Content-Length: " + length + "\r\n") + "\r\n";
}
// A blank and a "#" in the published file name must stay part of its path.
QByteArray json(const QString &version = "1.5.0", qint64 build = 60, const QString &download = "Quorvel 1.5 #2.dmg")
{
    const QString text = R"({"latest":{"version":"%1","build":%2,"downloadURL":"%3","releaseNotes":"Notes."}})";
    return text.arg(version, QString::number(build), download).toUtf8();
}
} // namespace

// The checker end to end: the live network transport against a real HTTP server on 127.0.0.1,
// with virtual time only for the five-second wait of the automatic check.
class UpdateCheckerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::HttpTestServer> server;
    std::shared_ptr<test::FakeScheduler> scheduler;
    std::shared_ptr<test::FakeClock> clock;
    std::shared_ptr<MemoryUserDefaults> defaults;
    std::unique_ptr<test::LogCapture> log;
    std::unique_ptr<UpdateChecker> checker;
    States history;

    void makeChecker(BundleInfo bundle = {"1.4.2", "50"}, NetworkUpdateFeedTransport::Timeouts timeouts = {5s, 5s})
    {
        checker =
            std::make_unique<UpdateChecker>(std::make_shared<NetworkUpdateFeedTransport>(timeouts),
                                            server->url("/quorvel/"), clock, defaults, std::move(bundle), scheduler);
        connect(checker.get(), &UpdateChecker::stateChanged, this, [this] { history << checker->state(); });
    }
    void serve(const QList<QByteArray> &manifestAnswers, const QByteArray &fileAnswer = file())
    {
        server->route("GET /quorvel/version.json", manifestAnswers);
        server->route("HEAD /quorvel/Quorvel%201.5%20%232.dmg", {fileAnswer});
    }
    UpdateCheckState available(const QString &version = "1.5.0", qint64 build = 60) const
    {
        return UpdateCheck::Available{{version, build, "Notes.", server->url("/quorvel/Quorvel%201.5%20%232.dmg")}};
    }
    // The user's check, run to its end.
    void check()
    {
        checker->checkNow();
        QTRY_VERIFY(!std::holds_alternative<UpdateCheck::Checking>(checker->state()));
    }
    static QString logLine(const QString &tail) { return "[INFO] [app] update check" + tail; }

private slots:
    void init()
    {
        checker.reset(); // before what it uses
        log.reset();
        server = std::make_unique<test::HttpTestServer>();
        scheduler = std::make_shared<test::FakeScheduler>();
        clock = std::make_shared<test::FakeClock>();
        defaults = std::make_shared<MemoryUserDefaults>();
        log = std::make_unique<test::LogCapture>();
        history.clear();
    }

    void versionAndBuild_data()
    {
        QTest::addColumn<Release>("release");
        QTest::newRow("same version and build") << Release{"1.5.0", 60, {"1.5.0", "60"}, false};
        QTest::newRow("shorter local, lower build") << Release{"1.5.0", 60, {"1.5", "59"}, true};
        QTest::newRow("numbers, not text") << Release{"1.10", 1, {"1.9.9", "1"}, true};
        QTest::newRow("major beats build") << Release{"2.0", 1, {"1.9", "500"}, true};
        QTest::newRow("older despite build") << Release{"1.9", 900, {"2.0", "1"}, false};
        QTest::newRow("same version, lower build") << Release{"1.5.0", 59, {"1.5.0", "60"}, false};
        QTest::newRow("five parts do not parse") << Release{"1.5.0.2.1", 99, {"1.5", "1"}, false};
        QTest::newRow("suffix does not parse") << Release{"1.6-beta", 99, {"1.5", "1"}, false};
        QTest::newRow("local version missing reads 0") << Release{"0.0.1", 1, {std::nullopt, "1"}, true};
        QTest::newRow("local build not a number reads 0") << Release{"1.5.0", 1, {"1.5.0", "abc"}, true};
        // The release this build is, published exactly as the feed would: never offered as new,
        // while its next build is.
        const BundleInfo running = BundleInfo::running();
        QTest::newRow("the running release") << Release{running.localVersion(), running.localBuild(), running, false};
        QTest::newRow("its next build") << Release{running.localVersion(), running.localBuild() + 1, running, true};
    }
    void versionAndBuild()
    {
        QFETCH(Release, release);
        const auto &[published, build, local, newer] = release;
        serve({reply(200, json(published, build))});
        makeChecker(local);
        check();
        QCOMPARE(history,
                 (States{UpdateCheck::Checking{}, newer ? available(published, build) : UpdateCheck::UpToDate{}}));
        const QString tail = newer ? QString(": available remote=%1(%2)").arg(published).arg(build) : ": up to date";
        QCOMPARE(log->lines(), QStringList{logLine(tail)});
        QCOMPARE(server->requests().size(), newer ? 2 : 1); // nothing to offer: the download is not looked at
    }

    void feedAnswers_data()
    {
        QTest::addColumn<Feed>("feed");
        const auto add = [](const QByteArray &name, const Feed &feed) { QTest::newRow(name.constData()) << feed; };
        add("manifest not modified", {reply(304), file(), "manifestInvalid", 1});
        add("manifest not found", {reply(404), file(), "manifestInvalid", 1});
        add("manifest body with an error status", {reply(500, json()), file(), "manifestInvalid", 1});
        add("manifest not JSON", {reply(200, "<html>hello</html>"), file(), "manifestInvalid", 1});
        add("build as text",
            {reply(200, R"({"latest":{"version":"2","build":"60","downloadURL":"x"}})"), file(), "manifestInvalid", 1});
        add("download of length 0", {reply(200, json()), file("0"), "downloadMissing", 2});
        add("download without a length", {reply(200, json()), file(""), "downloadMissing", 2});
        add("download not found", {reply(200, json()), reply(404), "downloadMissing", 2});
        add("manifest redirected", {reply(302, {}, "Location: /mirror/version.json\r\n"), file(), "available", 3});
        add("manifest never answers", {"", file(), "network", 1});
        // A manifest is small: a body beyond the bound is refused, whether it says so or not.
        const qint64 bound = NetworkUpdateFeedTransport::maxManifestBytes;
        add("manifest at the bound",
            {reply(200, json() + QByteArray(bound - json().size(), ' ')), file(), "available", 2});
        add("manifest of 50 MB",
            {reply(200, json() + QByteArray(50 * 1024 * 1024, ' ')), file(), "manifestInvalid", 1});
        add("manifest announcing 50 MB",
            {"HTTP/1.1 200 OK\r\nContent-Length: 52428800\r\n\r\n" + json(), file(), "manifestInvalid", 1});
        add("redirect loop", {reply(302, {}, "Location: /quorvel/version.json\r\n"), file(), "network",
                              NetworkUpdateFeedTransport::maxRedirects + 1});
        add("redirect to a file", {reply(302, {}, "Location: file:///etc/hostname\r\n"), file(), "network", 1});
        add("redirect to ftp", {reply(302, {}, "Location: ftp://127.0.0.1/version.json\r\n"), file(), "network", 1});
        add("download never answers", {reply(200, json()), "", "network", 2});
        for (const char *name :
             {"../x.dmg", "sub/x.dmg", "https://example.com/x.dmg", "", "sub\\\\x.dmg", "x:y.dmg", "x..dmg"})
            add("download name " + QByteArray(name),
                {reply(200, json("1.5.0", 60, name)), file(), "downloadInvalid", 1});
    }
    void feedAnswers()
    {
        QFETCH(Feed, feed);
        const auto &[manifestAnswer, fileAnswer, outcome, requests] = feed;
        serve({manifestAnswer}, fileAnswer);
        server->route("GET /mirror/version.json", {reply(200, json())});
        // Short time-outs where the feed stays silent, so that the suite does not wait for them.
        const std::chrono::milliseconds limit = outcome == "network" ? 150ms : 5s;
        makeChecker({"1.4.2", "50"}, {limit, 2 * limit});
        check();
        const bool ok = outcome == "available";
        QCOMPARE(describe(checker->state()), ok ? describe(available()) : "failed(" + outcome + ")");
        QCOMPARE(log->lines().filter("update check"),
                 QStringList{logLine(ok ? ": available remote=1.5.0(60)" : " failed (manual): " + outcome)});
        QCOMPARE(server->requests().size(), requests);
        // Every attempt counts as a check, failed or not.
        QCOMPARE(defaults->value(lastCheckAt).toDouble(), clock->now().toMSecsSinceEpoch() / 1000.0);
        // The manifest is asked for as JSON, never from a cache.
        QVERIFY(server->requests()[0].contains("\r\nAccept: application/json\r\n"));
        QVERIFY(server->requests()[0].contains("\r\nCache-Control: no-cache\r\n"));
        const bool silent = manifestAnswer.isEmpty() || (fileAnswer.isEmpty() && outcome == "network");
        QTRY_COMPARE(server->abandoned(), silent ? 1 : 0);
    }

    void automaticCheckTiming_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<bool>("checks");
        const double now = test::FakeClock().now().toMSecsSinceEpoch() / 1000.0;
        QTest::newRow("never checked") << QVariantMap() << true;
        QTest::newRow("23 hours ago") << QVariantMap{{lastCheckAt, now - 23 * 3600}} << false;
        QTest::newRow("exactly 24 hours ago") << QVariantMap{{lastCheckAt, now - 24 * 3600}} << true;
        QTest::newRow("25 hours ago, as text")
            << QVariantMap{{lastCheckAt, QString::number(now - 25 * 3600, 'f', 3)}} << true;
        QTest::newRow("switched off") << QVariantMap{{"QuorvelUpdateAutoCheckEnabled", false}} << false;
    }
    void automaticCheckTiming()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(bool, checks);
        for (auto it = stored.begin(); it != stored.end(); ++it)
            defaults->setValue(it.key(), it.value());
        serve({reply(200, json("1.4.2", 50))}); // the running release: nothing newer
        makeChecker();
        checker->startAutoCheck();
        checker->startAutoCheck();
        scheduler->advance(4999ms);
        QCOMPARE(defaults->value(lastCheckAt), stored.value(lastCheckAt));
        scheduler->advance(1ms);
        checker->startAutoCheck(); // once per process
        QCOMPARE(scheduler->pendingCount(), 0);
        QTRY_COMPARE(history, checks ? States{UpdateCheck::UpToDate{}} : States{}); // never "checking"
        QCOMPARE(server->requests().size(), checks ? 1 : 0);
    }

    // Also: a cookie the feed sets is never sent back.
    void automaticFailureLeavesAvailableInPlace()
    {
        serve({reply(200, json(), "Set-Cookie: visitor=1; Path=/\r\n"), reply(404)});
        makeChecker();
        check();
        clock->advance(25 * 3600 * 1000LL);
        checker->startAutoCheck();
        scheduler->advance(5s);
        QTRY_COMPARE(log->lines().value(1), logLine(" failed (auto): manifestInvalid"));
        QCOMPARE(history, (States{UpdateCheck::Checking{}, available()}));
        QVERIFY(!server->requests().last().toLower().contains("\r\ncookie:"));
    }

    // The first check hangs; asking again aborts it (a network failure) before the second starts.
    // At quit the pending automatic check is dropped.
    void secondCheckCancelsTheFirst()
    {
        serve({"", reply(200, json())});
        makeChecker();
        checker->startAutoCheck();
        checker->checkNow();
        QTRY_COMPARE(server->requests().size(), 1);
        check();
        QCOMPARE(history, (States{UpdateCheck::Checking{}, network, UpdateCheck::Checking{}, available()}));
        QCOMPARE(log->lines().filter(" update check").first(), logLine(" failed (manual): network"));
        QTRY_COMPARE(server->abandoned(), 1);
        checker->cancelTasks();
        QCOMPARE(scheduler->pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(UpdateCheckerTest)
#include "tst_updatechecker.moc"

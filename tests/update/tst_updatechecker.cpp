#include "HttpTestServer.h"
#include "prefs/Preferences.h"
#include "support/FakeClock.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"
#include "update/NetworkUpdateFeedTransport.h"
#include "update/UpdateChecker.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvel;
using namespace std::chrono_literals;
using test::HttpTestServer;
using Response = HttpTestServer::Response;

namespace quorvel::UpdateCheck {
inline char *toString(const UpdateCheckState &state)
{
    return QTest::toString(describe(state));
}
} // namespace quorvel::UpdateCheck

Q_DECLARE_METATYPE(quorvel::UpdateCheckState)
Q_DECLARE_METATYPE(quorvel::test::HttpTestServer::Response)

namespace {

const QByteArray manifestPath = "/quorvel/version.json";
const QString fileName = QStringLiteral("Quorvel-1.5.0.dmg");
const QByteArray filePath = "/quorvel/Quorvel-1.5.0.dmg";

QByteArray manifestJson(const QString &version, qint64 build, const QString &download = fileName)
{
    return QStringLiteral(R"({"latest":{"version":"%1","build":%2,"downloadURL":"%3","releaseNotes":"Notes."}})")
        .arg(version)
        .arg(build)
        .arg(download)
        .toUtf8();
}

Response file(QByteArray length = "1048576")
{
    Response r;
    r.contentLength = std::move(length);
    return r;
}

} // namespace

// The checker end to end: the live network transport against a real HTTP server on
// 127.0.0.1, with virtual time only for the five-second wait of the automatic check.
class UpdateCheckerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<HttpTestServer> server;
    std::shared_ptr<test::FakeScheduler> scheduler;
    std::shared_ptr<test::FakeClock> clock;
    std::shared_ptr<MemoryUserDefaults> defaults;
    std::unique_ptr<test::LogCapture> log;
    std::unique_ptr<UpdateChecker> checker;
    QList<UpdateCheckState> history;

    void makeChecker(BundleInfo bundle = {QStringLiteral("1.4.2"), QStringLiteral("50")},
                     NetworkUpdateFeedTransport::Timeouts timeouts = {5s, 5s})
    {
        checker = std::make_unique<UpdateChecker>(std::make_shared<NetworkUpdateFeedTransport>(timeouts),
                                                  server->url(QStringLiteral("/quorvel/")), clock, defaults,
                                                  std::move(bundle), scheduler);
        connect(checker.get(), &UpdateChecker::stateChanged, this, [this] { history.append(checker->state()); });
    }

    void serveRelease(const QString &version = QStringLiteral("1.5.0"), qint64 build = 60)
    {
        server->route("GET", manifestPath, Response::ok(manifestJson(version, build)));
        server->route("HEAD", filePath, file());
    }

    UpdateInfo release(const QString &version = QStringLiteral("1.5.0"), qint64 build = 60) const
    {
        return UpdateInfo{version, build, QStringLiteral("Notes."), server->url(QString::fromLatin1(filePath))};
    }

    std::optional<QDateTime> lastCheckAt() const { return Preferences::updateLastCheckAt(*defaults); }

    // Waits for a user-requested check to land.
    bool settled() const { return checker && !std::holds_alternative<UpdateCheck::Checking>(checker->state()); }

private slots:
    void init()
    {
        server = std::make_unique<HttpTestServer>();
        QVERIFY(server->isListening());
        scheduler = std::make_shared<test::FakeScheduler>();
        clock = std::make_shared<test::FakeClock>();
        defaults = std::make_shared<MemoryUserDefaults>();
        log = std::make_unique<test::LogCapture>();
        history.clear();
    }

    void cleanup()
    {
        checker.reset();
        log.reset();
        server.reset();
    }

    void versionAndBuild_data()
    {
        QTest::addColumn<QString>("published");
        QTest::addColumn<qint64>("publishedBuild");
        QTest::addColumn<std::optional<QString>>("local");
        QTest::addColumn<std::optional<QString>>("localBuild");
        QTest::addColumn<bool>("newer");
        using S = std::optional<QString>;
        QTest::newRow("same version and build") << "1.5.0" << qint64(60) << S("1.5.0") << S("60") << false;
        QTest::newRow("shorter local, lower build") << "1.5.0" << qint64(60) << S("1.5") << S("59") << true;
        QTest::newRow("numbers, not text") << "1.10" << qint64(1) << S("1.9.9") << S("1") << true;
        QTest::newRow("major beats build") << "2.0" << qint64(1) << S("1.9") << S("500") << true;
        QTest::newRow("older despite build") << "1.9" << qint64(900) << S("2.0") << S("1") << false;
        QTest::newRow("same version, lower build") << "1.5.0" << qint64(59) << S("1.5.0") << S("60") << false;
        QTest::newRow("published unreadable") << "1.6-beta" << qint64(99) << S("1.5") << S("1") << false;
        QTest::newRow("local unreadable") << "9.0" << qint64(99) << S("dev") << S("1") << false;
        QTest::newRow("local version missing") << "0.0.1" << qint64(1) << S() << S("1") << true;
        QTest::newRow("local build not a number") << "1.5.0" << qint64(1) << S("1.5.0") << S("abc") << true;
    }
    void versionAndBuild()
    {
        QFETCH(QString, published);
        QFETCH(qint64, publishedBuild);
        QFETCH(std::optional<QString>, local);
        QFETCH(std::optional<QString>, localBuild);
        QFETCH(bool, newer);
        serveRelease(published, publishedBuild);
        makeChecker({local, localBuild});

        checker->checkNow();
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Checking{}));
        QTRY_VERIFY(settled());

        if (newer) {
            QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Available{release(published, publishedBuild)}));
            QCOMPARE(log->lines(), QStringList{QStringLiteral("[INFO] [app] update check: available remote=%1(%2)")
                                                   .arg(published)
                                                   .arg(publishedBuild)});
            QCOMPARE(server->count("HEAD", filePath), 1);
        } else {
            QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::UpToDate{}));
            QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check: up to date"});
            // Nothing to offer, so the download is not looked at.
            QCOMPARE(server->count("HEAD", filePath), 0);
        }
    }

    // What the feed answers, and what the user is shown for it.
    void feedAnswers_data()
    {
        QTest::addColumn<Response>("manifest");
        QTest::addColumn<Response>("download");
        QTest::addColumn<UpdateCheckState>("expected");
        QTest::addColumn<QString>("logLine");
        const Response good = Response::ok(manifestJson("1.5.0", 60));
        const UpdateCheckState manifestInvalid = UpdateCheck::Failed{UpdateCheckFailure::manifestInvalid};
        const UpdateCheckState downloadMissing = UpdateCheck::Failed{UpdateCheckFailure::downloadMissing};

        QTest::newRow("manifest not modified") << Response::withStatus(304) << file() << manifestInvalid
                                               << "update check failed (manual): manifestInvalid";
        QTest::newRow("manifest not found") << Response::withStatus(404) << file() << manifestInvalid
                                            << "update check failed (manual): manifestInvalid";
        Response errorPage = Response::ok(manifestJson("1.5.0", 60));
        errorPage.status = 500;
        QTest::newRow("manifest body with error status")
            << errorPage << file() << manifestInvalid << "update check failed (manual): manifestInvalid";
        QTest::newRow("manifest not JSON") << Response::ok("<html>hello</html>") << file() << manifestInvalid
                                           << "update check failed (manual): manifestInvalid";
        QTest::newRow("download of length 0")
            << good << file("0") << downloadMissing << "update check failed (manual): downloadMissing";
        QTest::newRow("download not found")
            << good << Response::withStatus(404) << downloadMissing << "update check failed (manual): downloadMissing";
        Response noLength = file();
        noLength.contentLength.reset();
        noLength.omitContentLength = true;
        QTest::newRow("download without length")
            << good << noLength << downloadMissing << "update check failed (manual): downloadMissing";
        Response moved = Response::withStatus(302);
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/mirror/version.json")));
        QTest::newRow("manifest redirected") << moved << file() << UpdateCheckState(UpdateCheck::Available{})
                                             << "update check: available remote=1.5.0(60)";
    }
    void feedAnswers()
    {
        QFETCH(Response, manifest);
        QFETCH(Response, download);
        QFETCH(UpdateCheckState, expected);
        QFETCH(QString, logLine);
        server->route("GET", manifestPath, manifest);
        server->route("GET", "/mirror/version.json", Response::ok(manifestJson("1.5.0", 60)));
        server->route("HEAD", filePath, download);
        makeChecker();

        checker->checkNow();
        QTRY_VERIFY(settled());

        if (std::holds_alternative<UpdateCheck::Available>(expected))
            expected = UpdateCheck::Available{release()};
        QCOMPARE(checker->state(), expected);
        QCOMPARE(log->lines(), QStringList{QStringLiteral("[INFO] [app] ") + logLine});
        // Every attempt counts as a check, failed or not.
        QCOMPARE(lastCheckAt(), std::optional<QDateTime>(clock->now()));
    }

    void invalidDownloadNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent folder") << "../x.dmg";
        QTest::newRow("sub folder") << "sub/x.dmg";
        QTest::newRow("full URL") << "https://example.com/x.dmg";
        QTest::newRow("empty") << "";
        QTest::newRow("backslash") << "sub\\\\x.dmg"; // JSON escape for one backslash
        QTest::newRow("colon") << "x:y.dmg";
        QTest::newRow("double dot") << "x..dmg";
    }
    void invalidDownloadNames()
    {
        QFETCH(QString, name);
        server->route("GET", manifestPath, Response::ok(manifestJson("1.5.0", 60, name)));
        makeChecker();

        checker->checkNow();
        QTRY_VERIFY(settled());

        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Failed{UpdateCheckFailure::downloadInvalid}));
        QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check failed (manual): downloadInvalid"});
        QCOMPARE(server->requests().size(), 1); // no HEAD anywhere
    }

    // A name with a blank or "#" stays one file inside the feed folder.
    void downloadNameIsEscapedIntoThePath()
    {
        server->route("GET", manifestPath,
                      Response::ok(manifestJson("1.5.0", 60, QStringLiteral("Quorvel 1.5 #2.dmg"))));
        server->route("HEAD", "/quorvel/Quorvel%201.5%20%232.dmg", file());
        makeChecker();

        checker->checkNow();
        QTRY_VERIFY(settled());

        QVERIFY(std::holds_alternative<UpdateCheck::Available>(checker->state()));
        QCOMPARE(std::get<UpdateCheck::Available>(checker->state()).info.downloadURL.path(),
                 QStringLiteral("/quorvel/Quorvel 1.5 #2.dmg"));
    }

    // GET asks for JSON and no cached copy, HEAD carries nothing of ours (Qt's own no-cache
    // headers aside), and a cookie the feed sets is never sent back, not even by the next check.
    void requestsAreEphemeral()
    {
        Response manifest = Response::ok(manifestJson("1.5.0", 60));
        manifest.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("visitor=1; Path=/")));
        server->route("GET", manifestPath, manifest);
        server->route("HEAD", filePath, file());
        makeChecker();

        checker->checkNow();
        QTRY_VERIFY(settled());
        checker->checkNow();
        QTRY_VERIFY(settled());

        const auto &requests = server->requests();
        QCOMPARE(requests.size(), 4);
        const auto &get = requests[0];
        QCOMPARE(get.method, QByteArray("GET"));
        QCOMPARE(get.headers.value("accept"), QByteArray("application/json"));
        QCOMPARE(get.headers.value("cache-control"), QByteArray("no-cache"));
        const auto &head = requests[1];
        QCOMPARE(head.method, QByteArray("HEAD"));
        QVERIFY(!head.headers.contains("accept"));
        for (const auto &request : requests)
            QVERIFY2(!request.headers.contains("cookie"), request.path.constData());
    }

    void automaticCheckTiming_data()
    {
        QTest::addColumn<QVariant>("enabled");      // invalid: key absent
        QTest::addColumn<QVariant>("lastCheckAgo"); // seconds before now; invalid: key absent
        QTest::addColumn<bool>("checks");
        const QVariant absent;
        QTest::newRow("never checked") << absent << absent << true;
        QTest::newRow("23 hours ago") << absent << QVariant(23 * 3600.0) << false;
        QTest::newRow("one second short of a day") << absent << QVariant(86'399.0) << false;
        QTest::newRow("exactly 24 hours ago") << absent << QVariant(86'400.0) << true;
        QTest::newRow("25 hours ago, stored as text") << absent << QVariant(QStringLiteral("text")) << true;
        QTest::newRow("in the future") << absent << QVariant(-3600.0) << false;
        QTest::newRow("switched off") << QVariant(false) << absent << false;
        QTest::newRow("switched off, as text") << QVariant(QStringLiteral("false")) << absent << false;
        QTest::newRow("switched on, a day old") << QVariant(true) << QVariant(90'000.0) << true;
    }
    void automaticCheckTiming()
    {
        QFETCH(QVariant, enabled);
        QFETCH(QVariant, lastCheckAgo);
        QFETCH(bool, checks);
        const double now = double(clock->now().toMSecsSinceEpoch()) / 1000.0;
        if (enabled.isValid())
            defaults->setValue(QStringLiteral("QuorvelUpdateAutoCheckEnabled"), enabled);
        QVariant stored;
        if (lastCheckAgo.typeId() == QMetaType::QString) // how the Linux settings file hands it back
            stored = QString::number(now - 25 * 3600.0, 'f', 3);
        else if (lastCheckAgo.isValid())
            stored = now - lastCheckAgo.toDouble();
        if (stored.isValid())
            defaults->setValue(QStringLiteral("QuorvelUpdateLastCheckAt"), stored);
        serveRelease(QStringLiteral("1.4.2"), 50); // the running release: nothing newer
        makeChecker();

        checker->startAutoCheck();
        scheduler->advance(4999ms);
        QCOMPARE(defaults->value(QStringLiteral("QuorvelUpdateLastCheckAt")), stored);
        scheduler->advance(1ms);
        QCOMPARE(scheduler->pendingCount(), 0);

        if (checks) {
            QCOMPARE(lastCheckAt(), std::optional<QDateTime>(clock->now()));
            QTRY_COMPARE(checker->state(), UpdateCheckState(UpdateCheck::UpToDate{}));
            // An automatic check never shows "checking".
            QCOMPARE(history, QList<UpdateCheckState>{UpdateCheck::UpToDate{}});
            QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check: up to date"});
        } else {
            QCOMPARE(defaults->value(QStringLiteral("QuorvelUpdateLastCheckAt")), stored);
            QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Idle{}));
            QCOMPARE(server->requests().size(), 0);
        }
    }

    void automaticCheckIsArmedOncePerProcess()
    {
        serveRelease(QStringLiteral("1.4.2"), 50);
        makeChecker();
        checker->startAutoCheck();
        checker->startAutoCheck();
        QCOMPARE(scheduler->pendingCount(), 1);
        scheduler->advance(5s);
        QTRY_COMPARE(server->count("GET", manifestPath), 1);

        clock->advance(48 * 3600 * 1000LL);
        checker->startAutoCheck();
        QCOMPARE(scheduler->pendingCount(), 0);
    }

    void automaticFailureLeavesAvailableInPlace()
    {
        serveRelease();
        makeChecker();
        checker->checkNow();
        QTRY_VERIFY(settled());
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Available{release()}));

        server->route("GET", manifestPath, Response::withStatus(404));
        clock->advance(25 * 3600 * 1000LL);
        const auto changes = history.size();
        checker->startAutoCheck();
        scheduler->advance(5s);
        QTRY_COMPARE(log->lines().size(), 2);

        QCOMPARE(log->lines().last(), QStringLiteral("[INFO] [app] update check failed (auto): manifestInvalid"));
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Available{release()}));
        QCOMPARE(history.size(), changes);
    }

    // The first check hangs; pressing the button again aborts it (a network failure, logged)
    // before the second check starts, and the second one decides what is shown.
    void secondCheckCancelsTheFirst()
    {
        server->route("GET", manifestPath,
                      QList<Response>{Response::silent(), Response::ok(manifestJson("1.5.0", 60))});
        server->route("HEAD", filePath, file());
        makeChecker();

        checker->checkNow();
        QTRY_COMPARE(server->count("GET", manifestPath), 1);
        checker->checkNow();
        QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check failed (manual): network"});
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Checking{}));
        QTRY_VERIFY(settled());

        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Available{release()}));
        QCOMPARE(history,
                 (QList<UpdateCheckState>{UpdateCheck::Checking{}, UpdateCheck::Failed{UpdateCheckFailure::network},
                                          UpdateCheck::Checking{}, UpdateCheck::Available{release()}}));
        QCOMPARE(log->lines().last(), QStringLiteral("[INFO] [app] update check: available remote=1.5.0(60)"));
        QTRY_COMPARE(server->abandoned(), 1);
    }

    // A feed that accepts the connection but never answers (or answers a byte at a time)
    // ends in a network failure within the transport's limits, not the user's patience.
    void silentFeed_data()
    {
        QTest::addColumn<Response>("manifest");
        QTest::addColumn<Response>("download");
        Response trickle = Response::ok(QByteArray(200, ' '));
        trickle.mode = Response::Mode::trickle;
        trickle.trickleInterval = 50ms;
        QTest::newRow("manifest never answers") << Response::silent() << file();
        QTest::newRow("download never answers") << Response::ok(manifestJson("1.5.0", 60)) << Response::silent();
        QTest::newRow("manifest dribbles") << trickle << file();
    }
    void silentFeed()
    {
        QFETCH(Response, manifest);
        QFETCH(Response, download);
        server->route("GET", manifestPath, manifest);
        server->route("HEAD", filePath, download);
        makeChecker({QStringLiteral("1.4.2"), QStringLiteral("50")}, {150ms, 400ms});

        checker->checkNow();
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 3000);

        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Failed{UpdateCheckFailure::network}));
        QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check failed (manual): network"});
        QCOMPARE(lastCheckAt(), std::optional<QDateTime>(clock->now()));
        QTRY_COMPARE(server->abandoned(), 1);
    }

    void nobodyListening()
    {
        // A port that was just free: the connection is refused.
        const QUrl gone = server->url(QStringLiteral("/quorvel/"));
        server.reset();
        server = std::make_unique<HttpTestServer>();
        checker = std::make_unique<UpdateChecker>(std::make_shared<NetworkUpdateFeedTransport>(), gone, clock, defaults,
                                                  BundleInfo{}, scheduler);
        checker->checkNow();
        QTRY_VERIFY(settled());
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Failed{UpdateCheckFailure::network}));
    }

    // At quit: the pending automatic check never fires and the running check is aborted.
    void cancelTasksEndsBothJobs()
    {
        server->route("GET", manifestPath, Response::silent());
        makeChecker();
        checker->startAutoCheck();
        checker->checkNow();
        QTRY_COMPARE(server->count("GET", manifestPath), 1);

        checker->cancelTasks();
        QCOMPARE(checker->state(), UpdateCheckState(UpdateCheck::Failed{UpdateCheckFailure::network}));
        QCOMPARE(log->lines(), QStringList{"[INFO] [app] update check failed (manual): network"});
        QCOMPARE(scheduler->pendingCount(), 0);
        QTRY_COMPARE(server->abandoned(), 1);

        checker->startAutoCheck(); // once per process, even after a cancel
        scheduler->advance(10s);
        QCOMPARE(server->count("GET", manifestPath), 1);
    }

    // A checker released mid-check ends its jobs quietly.
    void releasedCheckerEndsItsJobs()
    {
        server->route("GET", manifestPath, Response::silent());
        makeChecker();
        checker->checkNow();
        QTRY_COMPARE(server->count("GET", manifestPath), 1);
        checker->startAutoCheck();
        checker.reset();

        scheduler->advance(10s);
        QTRY_COMPARE(server->abandoned(), 1);
        QCOMPARE(server->count("GET", manifestPath), 1);
        QCOMPARE(log->lines(), QStringList{});
    }
};

QTEST_GUILESS_MAIN(UpdateCheckerTest)
#include "tst_updatechecker.moc"

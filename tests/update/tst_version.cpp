#include "support/LogCapture.h"
#include "update/BundleInfo.h"
#include "update/LiveUpdateChecker.h"
#include "update/UpdateManifest.h"
#include "update/UpdateVersion.h"

#include <QTest>

using namespace quorvel;
using Components = QList<qint64>;

// Pure parts of the update check: version texts, whole numbers, file names, the manifest and
// the feed address.
class VersionTest : public QObject {
    Q_OBJECT

private slots:
    void parseVersion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<Components>("components");
        QTest::newRow("two parts") << "1.5" << true << Components{1, 5};
        QTest::newRow("three parts") << "1.5.0" << true << Components{1, 5, 0};
        QTest::newRow("four parts") << "1.5.0.2" << true << Components{1, 5, 0, 2};
        QTest::newRow("one part") << "7" << true << Components{7};
        QTest::newRow("leading zeros") << "010.2" << true << Components{10, 2};
        QTest::newRow("plus sign") << "+1.5" << true << Components{1, 5};
        QTest::newRow("minus zero") << "-0.1" << true << Components{0, 1};
        QTest::newRow("five parts") << "1.5.0.2.1" << false << Components{};
        QTest::newRow("empty part") << "1..5" << false << Components{};
        QTest::newRow("trailing dot") << "1.5." << false << Components{};
        QTest::newRow("leading dot") << ".5" << false << Components{};
        QTest::newRow("suffix") << "1.5-beta" << false << Components{};
        QTest::newRow("empty") << "" << false << Components{};
        QTest::newRow("negative") << "1.-5" << false << Components{};
        QTest::newRow("blank") << " 1.5" << false << Components{};
        QTest::newRow("non-ASCII digit") << QStringLiteral("1.\u0665") << false << Components{};
        QTest::newRow("beyond 64 bits") << "1.99999999999999999999" << false << Components{};
    }
    void parseVersion()
    {
        QFETCH(QString, text);
        QFETCH(bool, parses);
        QFETCH(Components, components);
        const auto parsed = UpdateVersion::parse(text);
        QCOMPARE(parsed.has_value(), parses);
        if (parses)
            QCOMPARE(*parsed, components);
    }

    // The bundle's build number goes through the same whole-number reading.
    void localBuild_data()
    {
        QTest::addColumn<std::optional<QString>>("bundleVersion");
        QTest::addColumn<qint64>("build");
        QTest::newRow("number") << std::optional<QString>("60") << qint64(60);
        QTest::newRow("signed") << std::optional<QString>("+60") << qint64(60);
        QTest::newRow("negative") << std::optional<QString>("-3") << qint64(-3);
        QTest::newRow("missing") << std::optional<QString>() << qint64(0);
        QTest::newRow("empty") << std::optional<QString>("") << qint64(0);
        QTest::newRow("sign only") << std::optional<QString>("-") << qint64(0);
        QTest::newRow("dotted") << std::optional<QString>("1.5") << qint64(0);
        QTest::newRow("blank inside") << std::optional<QString>("6 0") << qint64(0);
        QTest::newRow("largest") << std::optional<QString>("9223372036854775807") << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << std::optional<QString>("-9223372036854775808")
                                  << std::numeric_limits<qint64>::min();
        QTest::newRow("overflow") << std::optional<QString>("9223372036854775808") << qint64(0);
        QTest::newRow("underflow") << std::optional<QString>("-9223372036854775809") << qint64(0);
    }
    void localBuild()
    {
        QFETCH(std::optional<QString>, bundleVersion);
        QFETCH(qint64, build);
        QCOMPARE((BundleInfo{std::nullopt, bundleVersion}.localBuild()), build);
    }

    void missingShortVersionReadsAsZero() { QCOMPARE(BundleInfo{}.localVersion(), QStringLiteral("0")); }

    void downloadName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "Quorvel-1.5.0.dmg" << true;
        QTest::newRow("blank inside") << "Quorvel 1.5.0.dmg" << true;
        QTest::newRow("single dots") << "a.b.c" << true;
        QTest::newRow("parent folder") << "../x.dmg" << false;
        QTest::newRow("sub folder") << "sub/x.dmg" << false;
        QTest::newRow("full URL") << "https://example.com/x.dmg" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("backslash") << "sub\\x.dmg" << false;
        QTest::newRow("colon") << "x:y.dmg" << false;
        QTest::newRow("double dot inside") << "x..dmg" << false;
        QTest::newRow("absolute path") << "/x.dmg" << false;
    }
    void downloadName()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(UpdateVersion::isValidDownloadName(name), valid);
    }

    void manifest_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("build");
        QTest::addColumn<std::optional<QString>>("notes");
        const std::optional<QString> none;
        QTest::newRow("required only") << QByteArray(
            R"({"latest":{"version":"1.5.0","build":60,"downloadURL":"x.dmg"}})")
                                       << true << qint64(60) << none;
        QTest::newRow("with notes and unknown keys")
            << QByteArray(R"({"channel":"stable","latest":{"version":"1.5.0","build":60,"downloadURL":"x.dmg",)"
                          R"("releaseNotes":"Faster.","sha256":"ab"}})")
            << true << qint64(60) << std::optional<QString>("Faster.");
        QTest::newRow("null notes") << QByteArray(
            R"({"latest":{"version":"1","build":1,"downloadURL":"x","releaseNotes":null}})")
                                    << true << qint64(1) << none;
        QTest::newRow("integral float build")
            << QByteArray(R"({"latest":{"version":"1","build":60.0,"downloadURL":"x"}})") << true << qint64(60) << none;
        QTest::newRow("fractional build")
            << QByteArray(R"({"latest":{"version":"1","build":60.5,"downloadURL":"x"}})") << false << qint64(0) << none;
        QTest::newRow("build as text") << QByteArray(R"({"latest":{"version":"1","build":"60","downloadURL":"x"}})")
                                       << false << qint64(0) << none;
        QTest::newRow("huge build") << QByteArray(R"({"latest":{"version":"1","build":1e30,"downloadURL":"x"}})")
                                    << false << qint64(0) << none;
        QTest::newRow("version as number")
            << QByteArray(R"({"latest":{"version":1.5,"build":1,"downloadURL":"x"}})") << false << qint64(0) << none;
        QTest::newRow("no download") << QByteArray(R"({"latest":{"version":"1","build":1}})") << false << qint64(0)
                                     << none;
        QTest::newRow("notes as number") << QByteArray(
            R"({"latest":{"version":"1","build":1,"downloadURL":"x","releaseNotes":3}})")
                                         << false << qint64(0) << none;
        QTest::newRow("latest as list") << QByteArray(R"({"latest":[]})") << false << qint64(0) << none;
        QTest::newRow("top level list") << QByteArray(R"([{"latest":{}}])") << false << qint64(0) << none;
        QTest::newRow("not JSON") << QByteArray("<html>502</html>") << false << qint64(0) << none;
        QTest::newRow("empty") << QByteArray() << false << qint64(0) << none;
    }
    void manifest()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(qint64, build);
        QFETCH(std::optional<QString>, notes);
        const auto manifest = UpdateManifest::decode(json);
        QCOMPARE(manifest.has_value(), valid);
        if (valid) {
            QCOMPARE(manifest->latest.build, build);
            QCOMPARE(manifest->latest.releaseNotes, notes);
        }
    }

    void feedBaseURL_data()
    {
        QTest::addColumn<std::optional<QString>>("overrideValue");
        QTest::addColumn<QUrl>("expected");
        QTest::addColumn<QStringList>("log");
        const QUrl feed(QStringLiteral("https://quorvel.app/quorvel/"));
        QTest::newRow("no override") << std::optional<QString>() << feed << QStringList{};
        QTest::newRow("empty override") << std::optional<QString>("") << feed << QStringList{};
        QTest::newRow("local server") << std::optional<QString>("http://127.0.0.1:8080/quorvel/")
                                      << QUrl("http://127.0.0.1:8080/quorvel/") << QStringList{};
        QTest::newRow("slash added") << std::optional<QString>("http://127.0.0.1:8080/quorvel")
                                     << QUrl("http://127.0.0.1:8080/quorvel/") << QStringList{};
        QTest::newRow("other scheme")
            << std::optional<QString>("file:///tmp/quorvel/") << feed
            << QStringList{"[WARNING] [app] update feed override ignored, value=file:///tmp/quorvel/"};
        QTest::newRow("no host") << std::optional<QString>("quorvel/") << feed
                                 << QStringList{"[WARNING] [app] update feed override ignored, value=quorvel/"};
    }
    void feedBaseURL()
    {
        QFETCH(std::optional<QString>, overrideValue);
        QFETCH(QUrl, expected);
        QFETCH(QStringList, log);
        test::LogCapture capture;
        QCOMPARE(updateFeedBaseURL(overrideValue), expected);
        QCOMPARE(capture.lines(), log);
    }
};

QTEST_GUILESS_MAIN(VersionTest)
#include "tst_version.moc"

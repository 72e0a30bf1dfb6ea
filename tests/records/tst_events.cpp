#include "records/VemoEvent.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

Q_DECLARE_METATYPE(quorvel::VemoEvent)
Q_DECLARE_METATYPE(quorvel::VemoEventKind)
Q_DECLARE_METATYPE(std::optional<quorvel::SystemEvidence>)

using namespace quorvel;
namespace K = EventKind;

namespace quorvel {
char *toString(const VemoEvent &e)
{
    return QTest::toString(QString::fromUtf8(encodeEvent(e)));
}
} // namespace quorvel

namespace {

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// An event line around a kind (and optional evidence) written as JSON text.
QByteArray eventJson(const QByteArray &kind, const QByteArray &extra = {})
{
    return R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B","timestamp":786543210.25,"kind":)" + kind + extra + "}";
}

VemoEvent sample(VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt)
{
    return VemoEvent::make(std::move(kind), evidence,
                           QDateTime(QDate(2026, 12, 4), QTime(15, 26, 46, 123), QTimeZone::utc()));
}

} // namespace

class EventsTest : public QObject {
    Q_OBJECT

private slots:
    void everyKindRoundTrips_data()
    {
        QTest::addColumn<VemoEvent>("original");
        const SystemEvidence full{1, PowerSource::powerAdapter, 100};
        const qint64 big = std::numeric_limits<qint64>::max();
        using namespace QuitBlockers;
        using namespace ClamshellQuitKinds;
        const QList<std::pair<const char *, VemoEventKind>> kinds = {
            {"appLaunched", K::AppLaunched{"1.4.0", "52 \"beta\" \u00e9\u6c49"}},
            {"appQuit", K::AppQuit{true}},
            {"cleanupCompleted", K::CleanupCompleted{}},
            {"cleanupPartial none", K::CleanupPartial{}},
            {"cleanupPartial all",
             K::CleanupPartial{{ModuleId::timed, ModuleId::display, ModuleId::clamshell, ModuleId::powerMonitor}}},
            {"timedStarted", K::TimedStarted{7200}},
            {"timedEndedNaturally with", K::TimedEndedNaturally{0}},
            {"timedEndedNaturally without", K::TimedEndedNaturally{}},
            {"timedStoppedManually", K::TimedStoppedManually{}},
            {"timedFailed", K::TimedFailed{}},
            {"displayAwakeOn", K::DisplayAwakeOn{}},
            {"displayAwakeOff", K::DisplayAwakeOff{}},
            {"displayAwakeFailed", K::DisplayAwakeFailed{}},
            {"clamshellStarted with", K::ClamshellStarted{false, 57}},
            {"clamshellStarted without", K::ClamshellStarted{true, std::nullopt}},
            {"clamshellStopped manual", K::ClamshellStopped{ClamshellStopReason::manual}},
            {"clamshellStopped safety", K::ClamshellStopped{ClamshellStopReason::safety}},
            {"clamshellStopped quit", K::ClamshellStopped{ClamshellStopReason::quit}},
            {"clamshellStopped failed", K::ClamshellStopped{ClamshellStopReason::failed}},
            {"lowBatteryWarningEntered", K::LowBatteryWarningEntered{25}},
            {"lowBatteryWarningCleared", K::LowBatteryWarningCleared{}},
            {"safetyStopTriggered extreme", K::SafetyStopTriggered{-big}},
            {"authorizationRequested", K::AuthorizationRequested{}},
            {"authorizationGranted", K::AuthorizationGranted{}},
            {"authorizationDenied", K::AuthorizationDenied{}},
            {"authorizationRevoked", K::AuthorizationRevoked{false}},
            {"startupResidualDetected", K::StartupResidualDetected{}},
            {"startupResidualRestoredByUser", K::StartupResidualRestoredByUser{}},
            {"quitRequested none", K::QuitRequested{}},
            {"quitRequested all", K::QuitRequested{{Timed{big}, TimedPermanent{}, QuitBlockers::Clamshell{OnAdapter{}},
                                                    QuitBlockers::Clamshell{OnBattery{57}},
                                                    QuitBlockers::Clamshell{LowBattery{9}}, Display{}}}},
        };
        QSet<size_t> covered;
        for (const auto &[name, kind] : kinds) {
            covered.insert(kind.index());
            QTest::newRow(name) << sample(kind);
            QTest::addRow("%s + evidence", name) << sample(kind, full);
        }
        QTest::newRow("empty evidence") << sample(K::TimedFailed{}, SystemEvidence{});
        QTest::newRow("evidence: source only")
            << sample(K::TimedFailed{}, SystemEvidence{{}, PowerSource::battery, {}});
        QTest::newRow("evidence: sleep only") << sample(K::TimedFailed{}, SystemEvidence{0, {}, {}});
        QTest::newRow("evidence: level only") << sample(K::TimedFailed{}, SystemEvidence{{}, {}, 0});
        QTest::newRow("evidence: unknown source")
            << sample(K::TimedFailed{}, SystemEvidence{1, PowerSource::unknown, {}});
        QCOMPARE(covered.size(), std::variant_size_v<VemoEventKind>);
    }
    void everyKindRoundTrips()
    {
        QFETCH(VemoEvent, original);
        const QByteArray json = encodeEvent(original);
        QVERIFY(!json.contains('\n') && !json.contains(": "));
        QString error;
        const std::optional<VemoEvent> decoded = decodeEvent(json, &error);
        QVERIFY2(decoded, qPrintable(error));
        QCOMPARE(*decoded, original);
        // The kind object has exactly one key, the case name; evidence only when present.
        const QJsonObject o = object(json);
        QCOMPARE(o.value("kind").toObject().keys(), QStringList{caseName(original.kind)});
        QCOMPARE(o.contains("evidence"), original.evidence.has_value());
        QVERIFY(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")
                    .match(o.value("id").toString())
                    .hasMatch());
    }

    void workedExamples_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<VemoEventKind>("kind");
        QTest::addColumn<std::optional<SystemEvidence>>("evidence");
        QTest::newRow("launch") << QByteArray(
            R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B","timestamp":786543210.25,)"
            R"("kind":{"appLaunched":{"version":"1.4.0","build":"52"}}})")
                                << VemoEventKind(K::AppLaunched{"1.4.0", "52"}) << std::optional<SystemEvidence>();
        QTest::newRow("safety stop") << QByteArray(
            R"({"id":"0C7D19E2-55AB-4F60-9D3E-7A1B2C3D4E5F","timestamp":786546811.5,)"
            R"("kind":{"safetyStopTriggered":{"level":9}},)"
            R"("evidence":{"powerSource":{"battery":{}},"batteryLevel":9}})")
                                     << VemoEventKind(K::SafetyStopTriggered{9})
                                     << std::optional(SystemEvidence{std::nullopt, PowerSource::battery, 9});
        QTest::newRow("quit request")
            << QByteArray(R"({"id":"5E4A3B2C-1D0E-4F9A-8B7C-6D5E4F3A2B1C","timestamp":786550000,)"
                          R"("kind":{"quitRequested":{"blockers":[{"timed":{"remainingSeconds":1200}},)"
                          R"({"clamshell":{"_0":{"onBattery":{"level":57}}}}]}}})")
            << VemoEventKind(K::QuitRequested{
                   {QuitBlockers::Timed{1200}, QuitBlockers::Clamshell{ClamshellQuitKinds::OnBattery{57}}}})
            << std::optional<SystemEvidence>();
        QTest::newRow("clamshell stop") << eventJson(R"({"clamshellStopped":{"reason":{"safety":{}}}})")
                                        << VemoEventKind(K::ClamshellStopped{ClamshellStopReason::safety})
                                        << std::optional<SystemEvidence>();
        QTest::newRow("partial clean-up")
            << eventJson(R"({"cleanupPartial":{"failedModules":["clamshell"]}})")
            << VemoEventKind(K::CleanupPartial{{ModuleId::clamshell}}) << std::optional<SystemEvidence>();
        QTest::newRow("ended, no remaining")
            << eventJson(R"({"timedEndedNaturally":{}})") << VemoEventKind(K::TimedEndedNaturally{})
            << std::optional<SystemEvidence>();
    }
    void workedExamples()
    {
        QFETCH(QByteArray, line);
        QFETCH(VemoEventKind, kind);
        QFETCH(std::optional<SystemEvidence>, evidence);
        QString error;
        const std::optional<VemoEvent> decoded = decodeEvent(line, &error);
        QVERIFY2(decoded, qPrintable(error));
        QVERIFY(decoded->kind == kind);
        QVERIFY(decoded->evidence == evidence);
        QCOMPARE(object(encodeEvent(*decoded)), object(line));
    }

    void timestampAndIdForm()
    {
        const std::optional<VemoEvent> e = decodeEvent(eventJson(R"({"timedFailed":{}})"));
        QVERIFY(e);
        QCOMPARE(e->timestamp, QDateTime(QDate(2025, 12, 4), QTime(12, 13, 30, 250), QTimeZone::utc()));
        QCOMPARE(e->id, QUuid::fromString(QStringLiteral("9b2e6c1a-4d3f-4e8b-a1c2-5d6e7f809a1b")));
        const VemoEvent a = VemoEvent::make(K::TimedFailed{}), b = VemoEvent::make(K::TimedFailed{});
        QVERIFY(a.id != b.id);
        QCOMPARE(a.id.version(), QUuid::Random);
        QVERIFY(qAbs(a.timestamp.msecsTo(QDateTime::currentDateTimeUtc())) < 60000);
    }

    void decodingFailures_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("keyCountError");
        auto kind = [](const char *name, const QByteArray &json, bool keyCount = false) {
            QTest::newRow(name) << eventJson(json) << keyCount;
        };
        kind("payload not an object", R"({"timedFailed":true})");
        kind("no case", "{}", true);
        kind("two cases", R"({"timedFailed":{},"timedStarted":{"durationSeconds":60}})", true);
        kind("unknown case only", R"({"timedExploded":{}})", true);
        kind("case name in wrong letter case", R"({"TimedFailed":{}})", true);
        kind("kind not an object", R"("timedFailed")");
        kind("required field missing", R"({"timedStarted":{}})");
        kind("required field null", R"({"timedStarted":{"durationSeconds":null}})");
        kind("integer as text", R"({"timedStarted":{"durationSeconds":"60"}})");
        kind("integer with fraction", R"({"timedStarted":{"durationSeconds":1.5}})");
        kind("boolean as number", R"({"appQuit":{"clean":1}})");
        kind("unknown module", R"({"cleanupPartial":{"failedModules":["clamshell","network"]}})");
        kind("module not a string", R"({"cleanupPartial":{"failedModules":[1]}})");
        kind("stop reason as string", R"({"clamshellStopped":{"reason":"safety"}})");
        kind("stop reason without case", R"({"clamshellStopped":{"reason":{}}})", true);
        kind("blocker without _0", R"({"quitRequested":{"blockers":[{"clamshell":{}}]}})");
        kind("quit kind with two cases",
             R"({"quitRequested":{"blockers":[{"clamshell":{"_0":{"onAdapter":{},"onBattery":{"level":1}}}}]}})", true);
        kind("quit kind missing level", R"({"quitRequested":{"blockers":[{"clamshell":{"_0":{"lowBattery":{}}}}]}})");
        kind("unknown blocker", R"({"quitRequested":{"blockers":[{"sleeping":{}}]}})", true);
        QTest::newRow("evidence power source without case")
            << eventJson(R"({"timedFailed":{}})", R"(,"evidence":{"powerSource":{}})") << true;
        QTest::newRow("evidence not an object") << eventJson(R"({"timedFailed":{}})", R"(,"evidence":3)") << false;
        QTest::newRow("evidence level as text")
            << eventJson(R"({"timedFailed":{}})", R"(,"evidence":{"batteryLevel":"9"})") << false;
        QTest::newRow("no kind") << QByteArray(R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B","timestamp":1})")
                                 << false;
        QTest::newRow("no id") << QByteArray(R"({"timestamp":1,"kind":{"timedFailed":{}}})") << false;
        QTest::newRow("no timestamp") << QByteArray(R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B",)"
                                                    R"("kind":{"timedFailed":{}}})")
                                      << false;
        QTest::newRow("timestamp as text") << QByteArray(R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B",)"
                                                         R"("timestamp":"1","kind":{"timedFailed":{}}})")
                                           << false;
        QTest::newRow("id in braces") << QByteArray(R"({"id":"{9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B}",)"
                                                    R"("timestamp":1,"kind":{"timedFailed":{}}})")
                                      << false;
        QTest::newRow("id not a uuid") << QByteArray(R"({"id":"launch-1","timestamp":1,"kind":{"timedFailed":{}}})")
                                       << false;
        QTest::newRow("not json") << QByteArray(R"({"id":)") << false;
        QTest::newRow("array") << QByteArray("[]") << false;
    }
    void decodingFailures()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, keyCountError);
        QString error;
        QVERIFY(!decodeEvent(line, &error));
        QVERIFY(!error.isEmpty());
        if (keyCountError)
            QCOMPARE(error, QStringLiteral("Invalid number of keys found, expected one."));
        else
            QVERIFY2(error != QStringLiteral("Invalid number of keys found, expected one."), qPrintable(error));
    }

    void unknownKeysAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<VemoEventKind>("kind");
        QTest::newRow("top level") << eventJson(R"({"timedFailed":{}})", R"(,"source":"cli")")
                                   << VemoEventKind(K::TimedFailed{});
        QTest::newRow("payload") << eventJson(R"({"timedStarted":{"durationSeconds":60,"note":"x"}})")
                                 << VemoEventKind(K::TimedStarted{60});
        QTest::newRow("empty payload") << eventJson(R"({"timedFailed":{"why":1}})") << VemoEventKind(K::TimedFailed{});
        QTest::newRow("beside the case") << eventJson(R"({"timedFailed":{},"comment":{}})")
                                         << VemoEventKind(K::TimedFailed{});
        QTest::newRow("evidence") << eventJson(R"({"timedFailed":{}})", R"(,"evidence":{"thermal":2})")
                                  << VemoEventKind(K::TimedFailed{});
        QTest::newRow("optional null") << eventJson(R"({"timedEndedNaturally":{"remainingSeconds":null}})")
                                       << VemoEventKind(K::TimedEndedNaturally{});
    }
    void unknownKeysAreIgnored()
    {
        QFETCH(QByteArray, line);
        QFETCH(VemoEventKind, kind);
        QString error;
        const std::optional<VemoEvent> e = decodeEvent(line, &error);
        QVERIFY2(e, qPrintable(error));
        QVERIFY(e->kind == kind);
    }

    void evidencePresentButEmptyIsNotAbsent()
    {
        const VemoEvent withEmpty = sample(K::TimedFailed{}, SystemEvidence{});
        const QJsonObject o = object(encodeEvent(withEmpty));
        QVERIFY(o.contains("evidence"));
        QCOMPARE(o.value("evidence").toObject(), QJsonObject());
        const std::optional<VemoEvent> back = decodeEvent(encodeEvent(withEmpty));
        QVERIFY(back && back->evidence.has_value());
        QCOMPARE(*back->evidence, SystemEvidence{});

        const std::optional<VemoEvent> absent = decodeEvent(eventJson(R"({"timedFailed":{}})"));
        QVERIFY(absent && !absent->evidence.has_value());
        QVERIFY(!object(encodeEvent(*absent)).contains("evidence"));
    }
};

QTEST_GUILESS_MAIN(EventsTest)
#include "tst_events.moc"

#include "records/VemoEvent.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

Q_DECLARE_METATYPE(quorvel::VemoEvent)
Q_DECLARE_METATYPE(quorvel::VemoEventKind)

using namespace quorvel;
namespace K = EventKind;

namespace {

const QString keyCountError = "Invalid number of keys found, expected one.";

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray eventJson(const QByteArray &kind, const QByteArray &extra = {})
{
    return R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B","timestamp":786543210.25,"kind":)" + kind + extra + "}";
}

} // namespace

class EventsTest : public QObject {
    Q_OBJECT

private slots:
    void everyKindRoundTrips_data()
    {
        QTest::addColumn<VemoEvent>("original");
        using namespace QuitBlockers;
        using namespace ClamshellQuitKinds;
        const qint64 big = std::numeric_limits<qint64>::max();
        QList<VemoEventKind> kinds;
        const auto add = [&kinds](auto... k) { (kinds.append(VemoEventKind(k)), ...); };
        add(K::AppLaunched{"1.4.0", "52 \"beta\" \u00e9\u6c49"}, K::AppQuit{true}, K::CleanupCompleted{},
            K::CleanupPartial{},
            K::CleanupPartial{{ModuleId::timed, ModuleId::display, ModuleId::clamshell, ModuleId::powerMonitor}},
            K::TimedStarted{7200}, K::TimedEndedNaturally{0}, K::TimedEndedNaturally{}, K::TimedStoppedManually{},
            K::TimedFailed{}, K::DisplayAwakeOn{}, K::DisplayAwakeOff{}, K::DisplayAwakeFailed{},
            K::ClamshellStarted{false, 57}, K::ClamshellStarted{true, std::nullopt},
            K::TimedStarted{0, SessionBinding{SessionBinding::Kind::command, "make \"-j\" \u6c49", {}, {}}},
            K::TimedStarted{0, SessionBinding{SessionBinding::Kind::process, "rsync", 4242, {}}},
            K::TimedStarted{5400, SessionBinding{SessionBinding::Kind::until,
                                                 {},
                                                 {},
                                                 QDateTime(QDate(2026, 3, 29), QTime(1, 30), QTimeZone::utc())}});
        for (ClamshellStopReason r : {ClamshellStopReason::manual, ClamshellStopReason::safety,
                                      ClamshellStopReason::quit, ClamshellStopReason::failed})
            add(K::ClamshellStopped{r});
        add(K::LowBatteryWarningEntered{25}, K::LowBatteryWarningCleared{}, K::SafetyStopTriggered{-big},
            K::AuthorizationRequested{}, K::AuthorizationGranted{}, K::AuthorizationDenied{},
            K::AuthorizationRevoked{false}, K::StartupResidualDetected{}, K::StartupResidualRestoredByUser{},
            K::QuitRequested{},
            K::QuitRequested{{Timed{big}, TimedPermanent{}, QuitBlockers::Clamshell{OnAdapter{}},
                              QuitBlockers::Clamshell{OnBattery{57}}, QuitBlockers::Clamshell{LowBattery{9}},
                              QuitBlockers::Display{}}});
        // Each kind without evidence and with one of: full, empty (present, not absent), partial.
        const QList<SystemEvidence> evidence = {SystemEvidence{1, PowerSource::powerAdapter, 100}, SystemEvidence{},
                                                SystemEvidence{{}, PowerSource::battery, {}},
                                                SystemEvidence{0, PowerSource::unknown, 0}};
        const QDateTime at(QDate(2025, 12, 4), QTime(12, 13, 30, 250), QTimeZone::utc());
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            QTest::addRow("%d %s", int(i), qPrintable(caseName(kinds[i])))
                << VemoEvent::make(kinds[i], std::nullopt, at);
            QTest::addRow("%d %s + evidence", int(i), qPrintable(caseName(kinds[i])))
                << VemoEvent::make(kinds[i], evidence[i % evidence.size()], at);
        }
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
        const QJsonObject o = object(json);
        QCOMPARE(o.value("kind").toObject().keys(), QStringList{caseName(original.kind)});
        QCOMPARE(o.contains("evidence"), original.evidence.has_value());
        QCOMPARE(o.value("id").toString(), original.id.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(original.id.version(), QUuid::Random);
        QCOMPARE(o.value("timestamp").toDouble(), 786543210.25); // seconds since 2001-01-01 UTC
    }

    // Worked examples decode and re-encode to the same object; unknown keys are ignored; every
    // failure names its cause, the tagged-variant ones with the exact text.
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<VemoEventKind>("kind");
        QTest::addColumn<bool>("example");
        QTest::addColumn<QString>("error"); // empty: decodes
        const auto ok = [](const char *name, const QByteArray &line, VemoEventKind kind, bool example = false) {
            QTest::newRow(name) << line << kind << example << QString();
        };
        const auto bad = [](const char *name, const QByteArray &line, bool keyCount = false) {
            QTest::newRow(name) << line << VemoEventKind() << false << (keyCount ? keyCountError : "other");
        };
        ok("example launch",
           R"({"id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B","timestamp":786543210.25,)"
           R"("kind":{"appLaunched":{"version":"1.4.0","build":"52"}}})",
           K::AppLaunched{"1.4.0", "52"}, true);
        ok("example safety stop",
           R"({"id":"0C7D19E2-55AB-4F60-9D3E-7A1B2C3D4E5F","timestamp":786546811.5,)"
           R"("kind":{"safetyStopTriggered":{"level":9}},"evidence":{"powerSource":{"battery":{}},"batteryLevel":9}})",
           K::SafetyStopTriggered{9}, true);
        ok("example quit request",
           R"({"id":"5E4A3B2C-1D0E-4F9A-8B7C-6D5E4F3A2B1C","timestamp":786550000,"kind":{"quitRequested":{"blockers":)"
           R"([{"timed":{"remainingSeconds":1200}},{"clamshell":{"_0":{"onBattery":{"level":57}}}}]}}})",
           K::QuitRequested{{QuitBlockers::Timed{1200}, QuitBlockers::Clamshell{ClamshellQuitKinds::OnBattery{57}}}},
           true);
        ok("example clamshell stop", eventJson(R"({"clamshellStopped":{"reason":{"safety":{}}}})"),
           K::ClamshellStopped{ClamshellStopReason::safety}, true);
        ok("example partial clean-up", eventJson(R"({"cleanupPartial":{"failedModules":["clamshell"]}})"),
           K::CleanupPartial{{ModuleId::clamshell}}, true);
        ok("example no remaining", eventJson(R"({"timedEndedNaturally":{}})"), K::TimedEndedNaturally{}, true);
        const QByteArray failed = R"({"timedFailed":{}})";
        ok("extra top-level key", eventJson(failed, R"(,"source":"cli")"), K::TimedFailed{});
        ok("extra payload key", eventJson(R"({"timedStarted":{"durationSeconds":60,"note":"x"}})"),
           K::TimedStarted{60});
        ok("binding of an unknown kind dropped",
           eventJson(R"({"timedStarted":{"durationSeconds":0,"binding":{"kind":"moon","name":"x"}}})"),
           K::TimedStarted{0});
        ok("binding not an object dropped", eventJson(R"({"timedStarted":{"durationSeconds":0,"binding":7}})"),
           K::TimedStarted{0});
        ok("binding with a bad pid keeps the name",
           eventJson(R"({"timedStarted":{"durationSeconds":0,"binding":{"kind":"process","name":"cp","pid":-3}}})"),
           K::TimedStarted{0, SessionBinding{SessionBinding::Kind::process, "cp", {}, {}}});
        ok("extra key beside the case", eventJson(R"({"timedFailed":{},"comment":{}})"), K::TimedFailed{});
        ok("extra evidence key", eventJson(failed, R"(,"evidence":{"thermal":2})"), K::TimedFailed{});
        bad("payload not an object", eventJson(R"({"timedFailed":true})"));
        bad("no case", eventJson("{}"), true);
        bad("two cases", eventJson(R"({"timedFailed":{},"timedStarted":{"durationSeconds":60}})"), true);
        bad("unknown case only", eventJson(R"({"timedExploded":{}})"), true);
        bad("required field missing", eventJson(R"({"timedStarted":{}})"));
        bad("integer as text", eventJson(R"({"timedStarted":{"durationSeconds":"60"}})"));
        bad("unknown module", eventJson(R"({"cleanupPartial":{"failedModules":["clamshell","network"]}})"));
        bad("stop reason without case", eventJson(R"({"clamshellStopped":{"reason":{}}})"), true);
        bad("blocker without _0", eventJson(R"({"quitRequested":{"blockers":[{"clamshell":{}}]}})"));
        bad("evidence source without case", eventJson(failed, R"(,"evidence":{"powerSource":{}})"), true);
        bad("no kind", eventJson(failed).replace(R"(,"kind":{"timedFailed":{}})", ""));
        bad("no id", eventJson(failed).replace(R"("id":"9B2E6C1A-4D3F-4E8B-A1C2-5D6E7F809A1B",)", ""));
        bad("no timestamp", eventJson(failed).replace(R"("timestamp":786543210.25,)", ""));
        bad("id not a uuid", eventJson(failed).replace("9B2E6C1A-", "launch-"));
    }
    void decoding()
    {
        QFETCH(QByteArray, line);
        QFETCH(VemoEventKind, kind);
        QFETCH(bool, example);
        QFETCH(QString, error);
        QString actual;
        const std::optional<VemoEvent> decoded = decodeEvent(line, &actual);
        if (!error.isEmpty()) {
            QVERIFY(!decoded && !actual.isEmpty());
            QCOMPARE(actual == keyCountError, error == keyCountError);
            return;
        }
        QVERIFY2(decoded, qPrintable(actual));
        QVERIFY(decoded->kind == kind);
        if (example)
            QCOMPARE(object(encodeEvent(*decoded)), object(line));
    }
};

QTEST_GUILESS_MAIN(EventsTest)
#include "tst_events.moc"

#include "prefs/LanguagePreference.h"
#include "prefs/PreferenceKeys.h"
#include "prefs/Preferences.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace quorvel;

namespace {

// Each read as a QVariant so that one table covers them all; "none" is an invalid QVariant.
using Read = std::function<QVariant(const UserDefaults &)>;
const QHash<QString, Read> &reads()
{
    static const QHash<QString, Read> table{
        {PreferenceKeys::clamshellAutoExitThreshold,
         [](const UserDefaults &d) { return QVariant::fromValue(Preferences::autoExitThreshold(d)); }},
        {PreferenceKeys::menuBarCountdownText,
         [](const UserDefaults &d) { return QVariant(Preferences::menuBarCountdownText(d)); }},
        {PreferenceKeys::updateAutoCheckEnabled,
         [](const UserDefaults &d) { return QVariant(Preferences::updateAutoCheckEnabled(d)); }},
        {PreferenceKeys::displayAwakeLastEnabled,
         [](const UserDefaults &d) { return QVariant(Preferences::displayAwakeLastEnabled(d)); }},
        {PreferenceKeys::updateLastCheckAt,
         [](const UserDefaults &d) {
             const auto at = Preferences::updateLastCheckAt(d);
             return at ? QVariant(at->toMSecsSinceEpoch()) : QVariant();
         }},
        {PreferenceKeys::diagnosticMinLogLevel,
         [](const UserDefaults &d) { return QVariant(int(Preferences::diagnosticMinLogLevel(d))); }},
        {PreferenceKeys::languagePreference,
         [](const UserDefaults &d) { return QVariant(rawValue(loadLanguagePreference(d))); }},
    };
    return table;
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private slots:
    // Runs first: QSettings caches a file once read, so the hand-written file must come before
    // any other QSettings use in this process.
    void valuesWrittenByAnEarlierProcessReadBackAsText()
    {
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/quorvel.app");
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/Quorvel.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n"
                   "QuorvelClamshellAutoExitThreshold=35\n"
                   "QuorvelMenuBarCountdownText=true\n"
                   "QuorvelUpdateAutoCheckEnabled=false\n"
                   "QuorvelDisplayAwakeLastEnabled=true\n"
                   "QuorvelUpdateLastCheckAt=1700000000.5\n"
                   "QuorvelLanguagePreference=zh-Hans\n"
                   "diagnosticMinLogLevel=warning\n");
        file.close();

        SettingsUserDefaults defaults;
        QCOMPARE(defaults.value(PreferenceKeys::clamshellAutoExitThreshold).typeId(), QMetaType::QString);
        QCOMPARE(Preferences::autoExitThreshold(defaults), 35);
        QCOMPARE(Preferences::menuBarCountdownText(defaults), true);
        QCOMPARE(Preferences::updateAutoCheckEnabled(defaults), false);
        QCOMPARE(Preferences::displayAwakeLastEnabled(defaults), true);
        QCOMPARE(Preferences::updateLastCheckAt(defaults), QDateTime::fromMSecsSinceEpoch(1700000000500, Qt::UTC));
        QCOMPARE(loadLanguagePreference(defaults), LanguagePreference::zhHans);
        QCOMPARE(Preferences::diagnosticMinLogLevel(defaults), DiagnosticLog::Level::warning);
    }

    void typedReads_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored"); // invalid: the key is absent
        QTest::addColumn<QVariant>("read");   // invalid: reads as none
        const QString threshold = PreferenceKeys::clamshellAutoExitThreshold;
        auto t = [](qint64 v) { return QVariant::fromValue(v); };
        QTest::newRow("threshold absent") << threshold << QVariant() << t(20);
        QTest::newRow("threshold 35") << threshold << QVariant(35) << t(35);
        QTest::newRow("threshold 3 clamps to 5") << threshold << QVariant(3) << t(5);
        QTest::newRow("threshold 75 clamps to 60") << threshold << QVariant(75) << t(60);
        QTest::newRow("threshold text 40") << threshold << QVariant(QStringLiteral(" 40")) << t(40);
        QTest::newRow("threshold text -10 clamps") << threshold << QVariant(QStringLiteral("-10")) << t(5);
        QTest::newRow("threshold text word") << threshold << QVariant(QStringLiteral("abc")) << t(20);
        QTest::newRow("threshold text fraction") << threshold << QVariant(QStringLiteral("35.5")) << t(20);
        QTest::newRow("threshold whole double") << threshold << QVariant(45.0) << t(45);
        QTest::newRow("threshold fractional double") << threshold << QVariant(45.5) << t(20);
        QTest::newRow("threshold boolean") << threshold << QVariant(true) << t(20);
        QTest::newRow("threshold huge") << threshold << QVariant::fromValue(qulonglong(1) << 63) << t(20);

        const QString countdown = PreferenceKeys::menuBarCountdownText;
        QTest::newRow("countdown absent") << countdown << QVariant() << QVariant(false);
        QTest::newRow("countdown true") << countdown << QVariant(true) << QVariant(true);
        QTest::newRow("countdown text true") << countdown << QVariant(QStringLiteral("true")) << QVariant(true);
        QTest::newRow("countdown text 0") << countdown << QVariant(QStringLiteral("0")) << QVariant(false);
        QTest::newRow("countdown text word") << countdown << QVariant(QStringLiteral("maybe")) << QVariant(false);

        const QString autoCheck = PreferenceKeys::updateAutoCheckEnabled;
        QTest::newRow("auto check absent") << autoCheck << QVariant() << QVariant(true);
        QTest::newRow("auto check false") << autoCheck << QVariant(false) << QVariant(false);
        QTest::newRow("auto check text TRUE") << autoCheck << QVariant(QStringLiteral("TRUE")) << QVariant(true);
        QTest::newRow("auto check text false") << autoCheck << QVariant(QStringLiteral("false")) << QVariant(false);
        // Present but no boolean: used as a boolean all the same, which is false.
        QTest::newRow("auto check text word") << autoCheck << QVariant(QStringLiteral("maybe")) << QVariant(false);

        const QString display = PreferenceKeys::displayAwakeLastEnabled;
        QTest::newRow("display absent") << display << QVariant() << QVariant(false);

        const QString lastCheck = PreferenceKeys::updateLastCheckAt;
        QTest::newRow("last check absent") << lastCheck << QVariant() << QVariant();
        QTest::newRow("last check double") << lastCheck << QVariant(1700000000.25) << QVariant(qint64(1700000000250));
        QTest::newRow("last check zero means never") << lastCheck << QVariant(0.0) << QVariant();
        QTest::newRow("last check negative") << lastCheck << QVariant(QStringLiteral("-5")) << QVariant();
        QTest::newRow("last check word") << lastCheck << QVariant(QStringLiteral("yesterday")) << QVariant();

        const QString level = PreferenceKeys::diagnosticMinLogLevel;
        auto lv = [](DiagnosticLog::Level l) { return QVariant(int(l)); };
        QTest::newRow("log level absent") << level << QVariant() << lv(DiagnosticLog::Level::info);
        QTest::newRow("log level debug") << level << QVariant(QStringLiteral("debug"))
                                         << lv(DiagnosticLog::Level::debug);
        QTest::newRow("log level in capitals")
            << level << QVariant(QStringLiteral("DEBUG")) << lv(DiagnosticLog::Level::info);
        QTest::newRow("log level number") << level << QVariant(0) << lv(DiagnosticLog::Level::info);

        const QString language = PreferenceKeys::languagePreference;
        auto lang = [](const char *raw) { return QVariant(QString::fromLatin1(raw)); };
        QTest::newRow("language absent") << language << QVariant() << lang("system");
        QTest::newRow("language fr") << language << lang("fr") << lang("system");
        QTest::newRow("language en") << language << lang("en") << lang("en");
        QTest::newRow("language zh-Hans") << language << lang("zh-Hans") << lang("zh-Hans");
        QTest::newRow("language EN") << language << lang("EN") << lang("system");
        QTest::newRow("language as a list")
            << language << QVariant(QStringList{QStringLiteral("en")}) << lang("system");
    }
    void typedReads()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, read);
        MemoryUserDefaults defaults;
        if (stored.isValid())
            defaults.setValue(key, stored);
        QCOMPARE(reads().value(key)(defaults), read);
    }

    void thresholdIsStoredClampedAsAnInteger()
    {
        MemoryUserDefaults defaults;
        Preferences::setAutoExitThreshold(defaults, 65);
        QCOMPARE(defaults.value(PreferenceKeys::clamshellAutoExitThreshold), QVariant(60));
        Preferences::setAutoExitThreshold(defaults, 10);
        QCOMPARE(Preferences::autoExitThreshold(defaults), 10);
    }
};

int main(int argc, char **argv)
{
    // Settings go to a throw-away folder, never to the user's own.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    QCoreApplication app(argc, argv);
    PreferencesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preferences.moc"

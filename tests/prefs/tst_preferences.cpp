#include "prefs/LanguageController.h"
#include "prefs/LaunchAtLoginController.h"
#include "prefs/Localization.h"
#include "prefs/PreferenceKeys.h"
#include "prefs/Preferences.h"
#include "prefs/XdgAutostart.h"
#include "support/LogCapture.h"
#include "support/UserDefaults.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using S = LoginItemStatus;
Q_DECLARE_METATYPE(quorvel::LoginItemStatus)

namespace {

const QString languageKey = PreferenceKeys::languagePreference, appleLanguages = PreferenceKeys::appleLanguages;
const QString sourceRoot = QStringLiteral(QT_TESTCASE_SOURCEDIR "/..");

std::shared_ptr<MemoryUserDefaults> defaultsWith(const QVariantMap &values)
{
    auto defaults = std::make_shared<MemoryUserDefaults>();
    for (auto it = values.begin(); it != values.end(); ++it)
        defaults->setValue(it.key(), it.value());
    return defaults;
}

void write(const QString &path, const QByteArray &text, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(mode));
    file.write(text);
}

// A login-item platform whose answers the test sets; it records the changes asked of it.
struct Platform {
    S status = S::notRegistered, after = S::notRegistered;
    bool succeeds = true;
    std::function<void()> during = [] {};
    QStringList calls{};
    std::shared_ptr<LaunchAtLoginController> controller()
    {
        const auto change = [this](const char *call) {
            return [this, call] {
                calls << call;
                during();
                status = after;
                return succeeds;
            };
        };
        return std::make_shared<LaunchAtLoginController>([this] { return status; }, change("register"),
                                                         change("unregister"));
    }
};

// The switch, then what the settings window shows beside it.
QString describe(const LaunchAtLoginSettings &settings)
{
    QStringList words{settings.launchAtLogin() ? "on" : "off"};
    if (settings.requiresApproval())
        words << "approval";
    if (settings.errorTextKey())
        words << settings.errorTextKey()->id;
    return words.join(' ');
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private slots:
    // Preferences. First: QSettings caches a file once read, so the hand-written file must come before any
    // other QSettings use in this process. On Linux every value an earlier process wrote reads
    // back as text.
    void valuesAnEarlierProcessWroteReadBackAsText()
    {
#ifdef __APPLE__
        QSKIP("the Mac keeps the domain in the system's preferences service, not in a file of ours");
#endif
        write(qEnvironmentVariable("XDG_CONFIG_HOME") + "/app.quorvel.Quorvel/Quorvel.conf",
              "[General]\nQuorvelClamshellAutoExitThreshold=35\nQuorvelMenuBarCountdownText=true\n"
              "QuorvelUpdateAutoCheckEnabled=maybe\nQuorvelUpdateLastCheckAt=1700000000.5\n"
              "QuorvelLanguagePreference=zh-Hans\ndiagnosticMinLogLevel=DEBUG\n");
        SettingsUserDefaults defaults;
        QCOMPARE(defaults.value(PreferenceKeys::clamshellAutoExitThreshold).typeId(), QMetaType::QString);
        QCOMPARE(Preferences::autoExitThreshold(defaults), 35);
        QCOMPARE(Preferences::menuBarCountdownText(defaults), true);
        QCOMPARE(Preferences::updateAutoCheckEnabled(defaults), false); // present but no boolean: off
        QCOMPARE(Preferences::updateLastCheckAt(defaults), QDateTime::fromMSecsSinceEpoch(1700000000500, Qt::UTC));
        QCOMPARE(loadLanguagePreference(defaults), LanguagePreference::zhHans);
        QCOMPARE(Preferences::diagnosticMinLogLevel(defaults), DiagnosticLog::Level::info); // exactly "debug" only
    }

    // The file is named after the bundle identifier, like the data and log folders, whatever
    // organisation the process announces; no folder of Qt's making appears beside it.
    void settingsFileLivesInTheBundleIdentifierFolder()
    {
#ifdef __APPLE__
        QSKIP("the Mac keeps the domain in the system's preferences service");
#endif
        QCoreApplication::setOrganizationDomain("quorvel.app");
        QCoreApplication::setOrganizationName("Someone Else");
        SettingsUserDefaults().setValue(PreferenceKeys::menuBarCountdownText, false);
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QFile file(config + "/app.quorvel.Quorvel/Quorvel.conf");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\nQuorvelMenuBarCountdownText=false\n"));
        QCOMPARE(QDir(config).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"app.quorvel.Quorvel"});
    }

    // The minimum level of the diagnostic log, set by hand in the application's own store (the
    // key as a user types it), decides which lines reach the file.
    void minimumLogLevelComesFromTheStore_data()
    {
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("written");
        QTest::newRow("absent") << ""
                                << "INFO WARNING ERROR";
        QTest::newRow("debug") << "debug"
                               << "DEBUG INFO WARNING ERROR";
        QTest::newRow("warning") << "warning"
                                 << "WARNING ERROR";
        QTest::newRow("error") << "error"
                               << "ERROR";
        QTest::newRow("not a level") << "verbose"
                                     << "INFO WARNING ERROR";
    }
    void minimumLogLevelComesFromTheStore()
    {
        using Level = DiagnosticLog::Level;
        QFETCH(QString, stored);
        SettingsUserDefaults byHand;
        stored.isEmpty() ? byHand.remove("diagnosticMinLogLevel") : byHand.setValue("diagnosticMinLogLevel", stored);
        test::LogCapture log(UserDefaults::standard()); // the store the running application reads
        for (Level level : {Level::debug, Level::info, Level::warning, Level::error})
            DiagnosticLog::log(level, DiagnosticLog::Category::app, "line");
        QStringList written;
        for (const QString &line : log.lines())
            written << line.section(']', 0, 0).mid(1);
        QTEST(written.join(' '), "written");
    }

    // Language. Expected: preference, locale, "AppleLanguages" ("-": removed), the text of "quit".
    void startUpAppliesTheStoredLanguage_data()
    {
        QTest::addColumn<QString>("stored"); // empty: nothing stored
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("expected");
        auto add = [](const char *name, const char *stored, const char *system, const char *expected) {
            QTest::newRow(name) << QString(stored) << QString(system) << QString(expected);
        };
        add("nothing stored", "", "zh_CN", "system zh_CN - 退出");
        add("fr means system", "fr", "zh_CN", "system zh_CN - 退出");
        add("en", "en", "zh_CN", "en en_US en Quit");
        add("zh-Hans", "zh-Hans", "de_DE", "zh-Hans zh_CN zh-Hans 退出");
        add("system without a catalogue", "", "de_DE", "system de_DE - Quit");
        add("Traditional Chinese system", "", "zh_TW", "system zh_TW - 退出");
    }
    void startUpAppliesTheStoredLanguage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, system);
        // A stale list from an earlier choice must go when the system language is followed.
        auto defaults = defaultsWith({{appleLanguages, QStringList{"fr"}}});
        if (!stored.isEmpty())
            defaults->setValue(languageKey, stored);
        LanguageController controller(defaults, [system] { return QLocale(system); });
        const QVariant apple = defaults->value(appleLanguages);
        QTEST(rawValue(controller.preference()) + ' ' + controller.locale().name() + ' '
                  + (apple.isValid() ? apple.toStringList().join(',') : "-") + ' ' + qtTrId("quit"),
              "expected");
    }

    void choosingEnglishTakesEffectAtOnceInAChineseProcess()
    {
        auto defaults = defaultsWith({});
        LanguageController controller(defaults);
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));
        QSignalSpy localeChanged(&controller, &LanguageController::localeChanged);
        controller.setPreference(LanguagePreference::en);
        QCOMPARE(defaults->value(languageKey), QVariant("en"));
        QCOMPARE(defaults->value(appleLanguages), QVariant(QStringList{"en"}));
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("Quit Quorvel?"));
        QCOMPARE(localeChanged.count(), 1);
        controller.setPreference(LanguagePreference::system);
        QVERIFY(!defaults->contains(appleLanguages));
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));
    }

    void choosingTheCurrentValueWritesNothing()
    {
        auto defaults = defaultsWith({{languageKey, "zh-Hans"}});
        LanguageController controller(defaults);
        // Markers that any write or removal would replace.
        defaults->setValue(languageKey, "marker");
        defaults->setValue(appleLanguages, "marker");
        QSignalSpy localeChanged(&controller, &LanguageController::localeChanged);
        controller.setPreference(LanguagePreference::zhHans);
        QCOMPARE(defaults->value(languageKey), QVariant("marker"));
        QCOMPARE(defaults->value(appleLanguages), QVariant("marker"));
        QCOMPARE(localeChanged.count(), 0);
    }

    void underATestRunnerStartUpLeavesTheLanguageAlone()
    {
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
        auto defaults = defaultsWith({{languageKey, "zh-Hans"}, {appleLanguages, QStringList{"fr"}}});
        qputenv(LanguageController::testRunnerVariable, "/tmp/session.xctestconfiguration");
        LanguageController controller(defaults);
        qunsetenv(LanguageController::testRunnerVariable);
        QCOMPARE(controller.preference(), LanguagePreference::zhHans);
        QCOMPARE(defaults->value(appleLanguages), QVariant(QStringList{"fr"}));
        QCOMPARE(qtTrId("quit"), QStringLiteral("Quit"));
    }

    // A format text may leave out later arguments, never invent one or drop the first.
    void everyKeyTheCodeUsesHasAFinishedTextInBothLanguages()
    {
        // Every key the code looks up (qtTrId) or hands to a view for lookup (QT_TRID_NOOP).
        const QRegularExpression use("(?:qtTrId|QT_TRID_NOOP)\\(\\s*\"([^\"]+)\"");
        QSet<QString> used;
        for (QDirIterator it(sourceRoot + "/src", QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile file(it.next());
            for (auto m = use.globalMatch(file.open(QIODevice::ReadOnly) ? file.readAll() : ""); m.hasNext();)
                used << m.next().captured(1);
        }
        QVERIFY2(used.contains("confirmQuit") && used.size() > 40, qPrintable(sourceRoot)); // the scan found them
        // Finished entries only: a translation with a type ("unfinished", "obsolete") does not match.
        const QRegularExpression entry("<message id=\"([^\"]+)\">\\s*(?:<extracomment>[^<]*</extracomment>\\s*)?"
                                       "<source>([^<]*)</source>\\s*<translation>([^<]+)</translation>");
        const auto placeholders = [](const QString &text) {
            QSet<QString> found;
            for (auto m = QRegularExpression("%[1-9]").globalMatch(text); m.hasNext();)
                found << m.next().captured();
            return found;
        };
        for (const QString name : {"quorvel_en.ts", "quorvel_zh_CN.ts"}) {
            QFile file(sourceRoot + "/resources/translations/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QHash<QString, QRegularExpressionMatch> texts;
            for (auto m = entry.globalMatch(QString::fromUtf8(file.readAll())); m.hasNext(); m.next())
                texts.insert(m.peekNext().captured(1), m.peekNext());
            QStringList problems;
            for (const QString &key : used) {
                const auto source = placeholders(texts.value(key).captured(2));
                const auto text = placeholders(texts.value(key).captured(3));
                if (!texts.contains(key) || !source.contains(text) || (!source.isEmpty() && !text.contains("%1")))
                    problems << key;
            }
            problems.sort();
            QVERIFY2(problems.isEmpty(), qPrintable(name + ": " + problems.join(", ")));
        }
    }

    // Launch at login: the settings window's logic over a scripted platform, then the real XDG entry.
    void launchAtLoginChange_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<LoginItemStatus>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("register") << true << true << S::enabled << "on";
        QTest::newRow("approval pending") << true << true << S::requiresApproval << "off approval";
        QTest::newRow("app not found") << true << true << S::notFound << "off";
        QTest::newRow("register fails") << true << false << S::notRegistered << "off launchAtLoginOnFailed";
        QTest::newRow("unregister") << false << true << S::notRegistered << "off";
        QTest::newRow("unregister fails") << false << false << S::enabled << "on launchAtLoginOffFailed";
    }
    void launchAtLoginChange()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, succeeds);
        QFETCH(LoginItemStatus, after);
        Platform platform{enabled ? S::notRegistered : S::enabled, after, succeeds};
        LaunchAtLoginSettings settings(platform.controller());
        settings.refreshLaunchAtLogin();
        settings.setLaunchAtLogin(enabled);
        QCOMPARE(platform.calls, QStringList{enabled ? "register" : "unregister"});
        QVERIFY(!settings.isBusy());
        QTEST(describe(settings), "expected");
    }

    void launchAtLoginIgnoresAFlipDuringAChangeAndClearsTheErrorOnTheNextAttempt()
    {
        Platform platform{S::notRegistered, S::notRegistered, false};
        LaunchAtLoginSettings settings(platform.controller());
        settings.setLaunchAtLogin(true);
        QCOMPARE(describe(settings), "off launchAtLoginOnFailed");
        platform = {S::notRegistered, S::enabled, true, [&] { settings.setLaunchAtLogin(false); }};
        settings.setLaunchAtLogin(true);
        QCOMPARE(platform.calls, QStringList{"register"});
        QCOMPARE(describe(settings), "on");
    }

    void autostartEntryIsWrittenReadBackAndRemoved()
    {
        // A program path that needs every layer of quoting the entry format has.
        const QString program = qEnvironmentVariable("HOME") + "/Apps $1 \"x\" 50%/quorvel";
        write(program, "#!/bin/sh\n");
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        LaunchAtLoginSettings settings(
            std::make_shared<LaunchAtLoginController>(XdgAutostart::makeController([&] { return program; })));
        write(XdgAutostart::directory(), ""); // a file where the folder belongs: nothing can be written
        settings.setLaunchAtLogin(true);
        QCOMPARE(describe(settings), "off launchAtLoginOnFailed");
        QVERIFY(QFile::remove(XdgAutostart::directory()));
        settings.setLaunchAtLogin(true);
        QCOMPARE(describe(settings), "on");
        QCOMPARE(XdgAutostart::entryPath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/app.quorvel.Quorvel.desktop");
        write(XdgAutostart::entryPath(), "Hidden=true\n", QIODevice::Append); // switched off in the session settings
        settings.refreshLaunchAtLogin();
        QCOMPARE(describe(settings), "off");
        settings.setLaunchAtLogin(true);
        QVERIFY(QFile::remove(program));
        QCOMPARE(XdgAutostart::status(), S::notFound);
        settings.setLaunchAtLogin(false);
        QCOMPARE(describe(settings), "off");
        QVERIFY(!QFile::exists(XdgAutostart::entryPath()));
    }
};

int main(int argc, char **argv)
{
    // Settings go to a throw-away folder, and the whole process runs in Chinese, as on a Mac set
    // to Chinese.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qputenv("LANG", "zh_CN.UTF-8");
    qputenv("LANGUAGE", "zh_CN");
    QCoreApplication app(argc, argv);
    PreferencesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preferences.moc"

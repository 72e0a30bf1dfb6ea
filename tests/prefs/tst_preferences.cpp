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

namespace {

const QString languageKey = PreferenceKeys::languagePreference, appleLanguages = PreferenceKeys::appleLanguages;
const QString sourceRoot = QStringLiteral(QT_TESTCASE_SOURCEDIR "/..");

void write(const QString &path, const QByteArray &text, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(mode));
    file.write(text);
}

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
    // The settings file as an earlier process left it, then as this one writes it. First, as
    // QSettings caches a file once read: the hand-written file must come before any other
    // QSettings use in this process. On Linux every value read back from it is text.
    void settingsFile()
    {
#ifdef __APPLE__
        QSKIP("the Mac keeps the domain in the system's preferences service, not in a file of ours");
#endif
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        write(config + "/app.quorvel.Quorvel/Quorvel.conf",
              "[General]\nQuorvelClamshellAutoExitThreshold=35\nQuorvelMenuBarCountdownText=true\n"
              "QuorvelUpdateAutoCheckEnabled=maybe\nQuorvelUpdateLastCheckAt=1700000000.5\n"
              "QuorvelLanguagePreference=zh-Hans\ndiagnosticMinLogLevel=DEBUG\nQuorvelNotifyWhenSessionEnds=false\n");
        SettingsUserDefaults defaults;
        QCOMPARE(defaults.value(PreferenceKeys::clamshellAutoExitThreshold).typeId(), QMetaType::QString);
        QCOMPARE(Preferences::autoExitThreshold(defaults), 35);
        QCOMPARE(Preferences::menuBarCountdownText(defaults), true);
        QCOMPARE(Preferences::updateAutoCheckEnabled(defaults), false); // present but no boolean: off
        QCOMPARE(Preferences::updateLastCheckAt(defaults), QDateTime::fromMSecsSinceEpoch(1700000000500, Qt::UTC));
        QCOMPARE(loadLanguagePreference(defaults), LanguagePreference::zhHans);
        QCOMPARE(Preferences::diagnosticMinLogLevel(defaults), DiagnosticLog::Level::info); // exactly "debug" only
        QCOMPARE(Preferences::notifyWhenSessionEnds(defaults), false);
        QCOMPARE(Preferences::notifyWhenSessionEnds(MemoryUserDefaults()), true); // on until switched off

        // The file is named after the bundle identifier, like the data and log folders, whatever
        // organisation the process announces; no folder of Qt's making appears beside it.
        QCoreApplication::setOrganizationDomain("quorvel.app");
        QCoreApplication::setOrganizationName("Someone Else");
        SettingsUserDefaults().setValue(PreferenceKeys::menuBarCountdownText, false);
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
        QTest::newRow("absent") << QString() << "INFO WARNING ERROR";
        QTest::newRow("debug") << QString("debug") << "DEBUG INFO WARNING ERROR";
        QTest::newRow("error") << QString("error") << "ERROR";
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
        // A test host's start-up leaves the language alone: no catalogue, the list untouched.
        add("under a test runner", "zh-Hans", "de_DE", "zh-Hans zh_CN fr Quit");
    }
    void startUpAppliesTheStoredLanguage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, system);
        // A stale list from an earlier choice must go when the system language is followed.
        auto defaults = std::make_shared<MemoryUserDefaults>();
        defaults->setValue(appleLanguages, QStringList{"fr"});
        if (!stored.isEmpty())
            defaults->setValue(languageKey, stored);
        if (QByteArray(QTest::currentDataTag()) == "under a test runner") {
            QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
            qputenv(LanguageController::testRunnerVariable, "/tmp/session.xctestconfiguration");
        }
        LanguageController controller(defaults, [system] { return QLocale(system); });
        qunsetenv(LanguageController::testRunnerVariable);
        const QVariant apple = defaults->value(appleLanguages);
        QTEST(rawValue(controller.preference()) + ' ' + controller.locale().name() + ' '
                  + (apple.isValid() ? apple.toStringList().join(',') : "-") + ' ' + qtTrId("quit"),
              "expected");
    }

    // A new choice is stored and applies to every lookup at once; the current one writes nothing.
    void choosingALanguageTakesEffectAtOnce()
    {
        auto defaults = std::make_shared<MemoryUserDefaults>();
        LanguageController controller(defaults);
        QSignalSpy localeChanged(&controller, &LanguageController::localeChanged);
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));
        controller.setPreference(LanguagePreference::en);
        QCOMPARE(defaults->value(languageKey), QVariant("en"));
        QCOMPARE(defaults->value(appleLanguages), QVariant(QStringList{"en"}));
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("Quit Quorvel?"));
        // Markers that any write or removal would replace.
        defaults->setValue(languageKey, "marker");
        defaults->setValue(appleLanguages, "marker");
        controller.setPreference(LanguagePreference::en);
        QCOMPARE(defaults->value(languageKey), QVariant("marker"));
        QCOMPARE(defaults->value(appleLanguages), QVariant("marker"));
        QCOMPARE(localeChanged.count(), 1);
        controller.setPreference(LanguagePreference::system);
        QVERIFY(!defaults->contains(appleLanguages));
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));
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

    // On a Linux desktop no text names a Mac, in either language, and the Mac's texts stay
    // word for word; the installed catalogue follows the wording at once.
    void linuxDesktopTextsNameTheComputer()
    {
        using namespace Localization;
        const QRegularExpression translation("<translation>([^<]+)</translation>"), mac("\\bMac\\b");
        for (const auto &[name, catalogue] : {std::pair{"quorvel_en.ts", Catalogue::english},
                                              std::pair{"quorvel_zh_CN.ts", Catalogue::simplifiedChinese}}) {
            QFile file(sourceRoot + "/resources/translations/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QStringList left;
            for (auto m = translation.globalMatch(QString::fromUtf8(file.readAll())); m.hasNext();) {
                const QString text = m.next().captured(1);
                QCOMPARE(reword(text, catalogue, Device::mac), text);
                if (reword(text, catalogue, Device::computer).contains(mac))
                    left << text;
            }
            QVERIFY2(left.isEmpty(), qPrintable(left.join('\n')));
        }
        QCOMPARE(reword("Quitting turns off every mode and restores your Mac’s normal sleep settings.",
                        Catalogue::english, Device::computer),
                 "Quitting turns off every mode and restores your computer’s normal sleep settings.");
        QCOMPARE(
            reword("退出后将关闭所有模式，并恢复 Mac 的正常睡眠设置。", Catalogue::simplifiedChinese, Device::computer),
            "退出后将关闭所有模式，并恢复电脑的正常睡眠设置。");

        QVERIFY(installCatalogue(Catalogue::english));
        setDeviceWording(Device::computer);
        QCOMPARE(qtTrId("keepingAwake"), "Keeping your computer awake");
        setDeviceWording(Device::mac);
        QCOMPARE(qtTrId("keepingAwake"), "Keeping your Mac awake");
    }

    // A flip of the switch while a change runs is ignored: one change, and the switch shows
    // what the platform says once it is done.
    void launchAtLoginIgnoresAFlipDuringAChange()
    {
        auto status = LoginItemStatus::notRegistered;
        int changes = 0;
        std::unique_ptr<LaunchAtLoginSettings> settings;
        const auto change = [&] {
            if (++changes == 1)
                settings->setLaunchAtLogin(false); // the flip, while the change runs
            status = LoginItemStatus::enabled;
            return true;
        };
        settings = std::make_unique<LaunchAtLoginSettings>(
            std::make_shared<LaunchAtLoginController>([&] { return status; }, change, change));
        settings->setLaunchAtLogin(true);
        QCOMPARE(changes, 1);
        QVERIFY(!settings->isBusy());
        QCOMPARE(describe(*settings), "on");
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
        QVERIFY(QFile::remove(program)); // the app is gone: the entry no longer counts
        QCOMPARE(XdgAutostart::status(), LoginItemStatus::notFound);
        settings.refreshLaunchAtLogin();
        QCOMPARE(describe(settings), "off");
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

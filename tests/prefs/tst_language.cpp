#include "prefs/LanguageController.h"
#include "prefs/Localization.h"
#include "prefs/PreferenceKeys.h"
#include "support/UserDefaults.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvel;

namespace {

// Counts writes so that "nothing was written" can be checked.
class RecordingDefaults final : public UserDefaults {
public:
    QVariant value(const QString &key) const override { return m_store.value(key); }
    bool contains(const QString &key) const override { return m_store.contains(key); }
    void setValue(const QString &key, const QVariant &value) override
    {
        ++writes;
        m_store.setValue(key, value);
    }
    void remove(const QString &key) override
    {
        ++writes;
        m_store.remove(key);
    }
    int writes = 0;

private:
    MemoryUserDefaults m_store;
};

const QString preferenceKey = QString::fromLatin1(PreferenceKeys::languagePreference);
const QString appleLanguagesKey = QString::fromLatin1(PreferenceKeys::appleLanguages);

std::shared_ptr<RecordingDefaults> defaultsWith(const QVariant &stored, const QVariant &appleLanguages)
{
    auto defaults = std::make_shared<RecordingDefaults>();
    if (stored.isValid())
        defaults->setValue(preferenceKey, stored);
    if (appleLanguages.isValid())
        defaults->setValue(appleLanguagesKey, appleLanguages);
    defaults->writes = 0;
    return defaults;
}

} // namespace

Q_DECLARE_METATYPE(quorvel::LanguagePreference)

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // main() starts the process in Chinese; everything below relies on it.
        QCOMPARE(QLocale::system().language(), QLocale::Chinese);
    }

    void init() { qunsetenv(LanguageController::testRunnerVariable); }

    void startUpAppliesTheStoredLanguage_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<LanguagePreference>("preference");
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QVariant>("appleLanguages"); // invalid: removed
        QTest::addColumn<QString>("quitText");
        const QString zh = QLocale::system().name();
        const QVariant english(QStringList{QStringLiteral("en")});
        QTest::newRow("nothing stored follows the system")
            << QVariant() << LanguagePreference::system << zh << QVariant() << QStringLiteral("退出");
        QTest::newRow("fr is unknown, so system") << QVariant(QStringLiteral("fr")) << LanguagePreference::system << zh
                                                  << QVariant() << QStringLiteral("退出");
        QTest::newRow("en") << QVariant(QStringLiteral("en")) << LanguagePreference::en << QStringLiteral("en_US")
                            << english << QStringLiteral("Quit");
        QTest::newRow("zh-Hans") << QVariant(QStringLiteral("zh-Hans")) << LanguagePreference::zhHans
                                 << QStringLiteral("zh_CN") << QVariant(QStringList{QStringLiteral("zh-Hans")})
                                 << QStringLiteral("退出");
    }
    void startUpAppliesTheStoredLanguage()
    {
        QFETCH(QVariant, stored);
        QFETCH(LanguagePreference, preference);
        QFETCH(QString, localeName);
        QFETCH(QVariant, appleLanguages);
        QFETCH(QString, quitText);
        // A stale list from an earlier choice must go when the system language is followed.
        auto defaults = defaultsWith(stored, QStringList{QStringLiteral("fr")});

        LanguageController controller(defaults);
        QCOMPARE(controller.preference(), preference);
        QCOMPARE(controller.locale().name(), localeName);
        QCOMPARE(defaults->value(appleLanguagesKey), appleLanguages);
        QCOMPARE(defaults->contains(appleLanguagesKey), appleLanguages.isValid());
        QCOMPARE(qtTrId("quit"), quitText);
    }

    void choosingEnglishTakesEffectAtOnceInAChineseProcess()
    {
        auto defaults = defaultsWith(QVariant(), QVariant());
        LanguageController controller(defaults);
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));

        QList<QByteArray> announced;
        connect(&controller, &LanguageController::preferenceChanged, this, [&] { announced << "preference"; });
        connect(&controller, &LanguageController::localeChanged, this, [&] { announced << "locale"; });
        controller.setPreference(LanguagePreference::en);

        QCOMPARE(defaults->value(preferenceKey), QVariant(QStringLiteral("en")));
        QCOMPARE(defaults->value(appleLanguagesKey), QVariant(QStringList{QStringLiteral("en")}));
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("Quit Quorvel?"));
        QCOMPARE(Localization::languageOverride(), QStringLiteral("en"));
        QCOMPARE(announced, (QList<QByteArray>{"preference", "locale"}));
        QCOMPARE(controller.locale().language(), QLocale::English);

        controller.setPreference(LanguagePreference::system);
        QCOMPARE(defaults->value(preferenceKey), QVariant(QStringLiteral("system")));
        QVERIFY(!defaults->contains(appleLanguagesKey));
        QCOMPARE(Localization::languageOverride(), std::nullopt);
        QCOMPARE(qtTrId("confirmQuit"), QStringLiteral("要退出 Quorvel 吗？"));
    }

    void choosingTheCurrentValueWritesNothing()
    {
        auto defaults = defaultsWith(QStringLiteral("zh-Hans"), QVariant());
        LanguageController controller(defaults);
        defaults->writes = 0;
        QSignalSpy preferenceSpy(&controller, &LanguageController::preferenceChanged);
        QSignalSpy localeSpy(&controller, &LanguageController::localeChanged);
        controller.setPreference(LanguagePreference::zhHans);
        QCOMPARE(defaults->writes, 0);
        QCOMPARE(preferenceSpy.count() + localeSpy.count(), 0);
    }

    void underATestRunnerStartUpLeavesTheLanguageAlone()
    {
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
        qputenv(LanguageController::testRunnerVariable, "/tmp/session.xctestconfiguration");
        auto defaults = defaultsWith(QStringLiteral("zh-Hans"), QStringList{QStringLiteral("fr")});

        LanguageController controller(defaults);
        QCOMPARE(controller.preference(), LanguagePreference::zhHans);
        QCOMPARE(controller.locale().language(), QLocale::Chinese);
        QCOMPARE(defaults->writes, 0);
        QCOMPARE(qtTrId("quit"), QStringLiteral("Quit"));
    }

    void systemFollowsTheSystemLanguage_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("quitText");
        QTest::newRow("British English") << QStringLiteral("en_GB") << QStringLiteral("Quit");
        QTest::newRow("German has no catalogue") << QStringLiteral("de_DE") << QStringLiteral("Quit");
        QTest::newRow("Traditional Chinese") << QStringLiteral("zh_TW") << QStringLiteral("退出");
    }
    void systemFollowsTheSystemLanguage()
    {
        QFETCH(QString, system);
        QFETCH(QString, quitText);
        auto defaults = defaultsWith(QVariant(), QVariant());
        LanguageController controller(defaults, [system] { return QLocale(system); });
        QCOMPARE(controller.locale().name(), system);
        QCOMPARE(qtTrId("quit"), quitText);
    }

    void formatsPlaceArgumentsByNumber()
    {
        QCOMPARE(Localization::format(QStringLiteral("%2 of %1"), {QStringLiteral("a"), QStringLiteral("b")}),
                 QStringLiteral("b of a"));
        // A format may leave an argument out; a missing argument leaves nothing behind.
        QCOMPARE(Localization::format(QStringLiteral("%1%"), {QStringLiteral("64"), QStringLiteral("20")}),
                 QStringLiteral("64%"));
        QCOMPARE(Localization::format(QStringLiteral("%1 %2"), {QStringLiteral("x")}), QStringLiteral("x "));
        // Arguments are not scanned again.
        QCOMPARE(Localization::format(QStringLiteral("%1 %2"), {QStringLiteral("%2"), QStringLiteral("y")}),
                 QStringLiteral("%2 y"));
    }
};

int main(int argc, char **argv)
{
    // The whole process runs in Chinese, as on a Mac set to Chinese.
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qputenv("LANG", "zh_CN.UTF-8");
    qputenv("LANGUAGE", "zh_CN");
    QCoreApplication app(argc, argv);
    LanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"

#include "prefs/Localization.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace quorvel;

namespace {

const QString sourceRoot = QStringLiteral(QT_TESTCASE_SOURCEDIR "/..");

// Every key the code looks up (qtTrId) or hands to a view for lookup (QT_TRID_NOOP).
QSet<QString> keysUsedByTheCode()
{
    static const QRegularExpression use(QStringLiteral(R"((?:qtTrId|QT_TRID_NOOP)\(\s*"([^"]+)\")"));
    QSet<QString> keys;
    QDirIterator it(sourceRoot + QStringLiteral("/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.mm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = use.globalMatch(text); m.hasNext();)
            keys.insert(m.next().captured(1));
    }
    return keys;
}

struct Entry {
    QString source;
    QString translation;
    bool finished = false;
};

// A catalogue source file: id -> entry. An entry counts as finished when its translation is
// not empty and carries no "unfinished", "vanished" or "obsolete" mark.
QHash<QString, Entry> readCatalogue(const QString &fileName)
{
    QHash<QString, Entry> entries;
    QFile file(sourceRoot + QStringLiteral("/resources/translations/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    QXmlStreamReader xml(&file);
    QString id;
    Entry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
            id = xml.attributes().value(QLatin1String("id")).toString();
            entry = {};
        } else if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
            entry.source = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("translation")) {
            entry.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            entry.translation = xml.readElementText();
            entry.finished = entry.finished && !entry.translation.isEmpty();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            entries.insert(id, entry);
        }
    }
    return xml.hasError() ? QHash<QString, Entry>{} : entries;
}

QSet<int> placeholders(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
    QSet<int> numbers;
    for (auto m = placeholder.globalMatch(text); m.hasNext();)
        numbers.insert(m.next().captured(1).toInt());
    return numbers;
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void catalogues_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("catalogue");
        QTest::newRow("English") << QStringLiteral("quorvel_en.ts") << int(Localization::Catalogue::english);
        QTest::newRow("Simplified Chinese")
            << QStringLiteral("quorvel_zh_CN.ts") << int(Localization::Catalogue::simplifiedChinese);
    }

    void everyKeyTheCodeUsesHasAFinishedText_data() { catalogues_data(); }
    void everyKeyTheCodeUsesHasAFinishedText()
    {
        QFETCH(QString, file);
        QFETCH(int, catalogue);
        const QSet<QString> used = keysUsedByTheCode();
        // A scanner that finds nothing would pass vacuously.
        QVERIFY2(used.contains(QStringLiteral("confirmQuit")) && used.size() > 40, qPrintable(sourceRoot));

        const auto entries = readCatalogue(file);
        QTranslator compiled;
        QVERIFY(compiled.load(Localization::resourcePath(Localization::Catalogue(catalogue))));
        QStringList missing;
        for (const QString &key : used) {
            const QByteArray id = key.toUtf8();
            if (!entries.value(key).finished || compiled.translate(nullptr, id.constData()).isEmpty())
                missing << key;
        }
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
    }

    void catalogueEntriesAreFinishedAndTakeTheirArguments_data() { catalogues_data(); }
    void catalogueEntriesAreFinishedAndTakeTheirArguments()
    {
        QFETCH(QString, file);
        const auto entries = readCatalogue(file);
        const auto english = readCatalogue(QStringLiteral("quorvel_en.ts"));
        QVERIFY(!entries.isEmpty());
        QCOMPARE(QSet<QString>(entries.keyBegin(), entries.keyEnd()),
                 QSet<QString>(english.keyBegin(), english.keyEnd()));
        QStringList problems;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            const QSet<int> expected = placeholders(it->source);
            QSet<int> used = placeholders(it->translation);
            // A text may leave out later arguments, never invent one or drop the first.
            const bool keepsTheFirst = expected.isEmpty() || used.contains(1);
            const bool argumentsFit = keepsTheFirst && used.subtract(expected).isEmpty();
            if (!it->finished || !argumentsFit)
                problems << it.key();
        }
        problems.sort();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String(", "))));
    }
};

QTEST_GUILESS_MAIN(TranslationsTest)
#include "tst_translations.moc"

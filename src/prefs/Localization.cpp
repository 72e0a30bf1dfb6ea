#include "prefs/Localization.h"

#include "prefs/PreferenceKeys.h"
#include "support/UserDefaults.h"

#include <QCoreApplication>
#include <QMutex>
#include <QRegularExpression>
#include <QTranslator>
#include <atomic>
#include <map>
#include <memory>

namespace quorvel::Localization {

namespace {

// The override code may be read from any thread that looks up a text; the translators are
// only ever swapped on the main thread, but share the lock so a reader sees one consistent pair.
struct State {
    QMutex mutex;
    std::optional<QString> overrideCode;
    std::map<Catalogue, std::unique_ptr<QTranslator>> loaded;
    std::optional<Catalogue> installed;
};

State &state()
{
    static State s;
    return s;
}

std::atomic<Device> wording{Device::mac};

// A catalogue's translator that names the machine as the platform does.
class WordingTranslator final : public QTranslator {
public:
    WordingTranslator(std::unique_ptr<QTranslator> catalogue, Catalogue language)
        : m_catalogue(std::move(catalogue))
        , m_language(language)
    {
    }
    QString translate(const char *context, const char *source, const char *disambiguation, int n) const override
    {
        return reword(m_catalogue->translate(context, source, disambiguation, n), m_language, wording.load());
    }
    bool isEmpty() const override { return m_catalogue->isEmpty(); }

private:
    std::unique_ptr<QTranslator> m_catalogue;
    Catalogue m_language;
};

} // namespace

QString resourcePath(Catalogue catalogue)
{
    switch (catalogue) {
    case Catalogue::english: return QStringLiteral(":/i18n/quorvel_en.qm");
    case Catalogue::simplifiedChinese: return QStringLiteral(":/i18n/quorvel_zh_CN.qm");
    }
    return {};
}

std::optional<Catalogue> catalogueForCode(const QString &code)
{
    const QString lower = code.toLower();
    if (lower == QLatin1String("zh") || lower.startsWith(QLatin1String("zh-"))
        || lower.startsWith(QLatin1String("zh_")))
        return Catalogue::simplifiedChinese;
    if (lower == QLatin1String("en") || lower.startsWith(QLatin1String("en-"))
        || lower.startsWith(QLatin1String("en_")))
        return Catalogue::english;
    return std::nullopt;
}

Catalogue catalogueForLocale(const QLocale &locale)
{
    return locale.language() == QLocale::Chinese ? Catalogue::simplifiedChinese : Catalogue::english;
}

QString format(const QString &pattern, const QStringList &arguments)
{
    QString result;
    result.reserve(pattern.size() + 16);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const int digit = pattern.at(i + 1).digitValue();
            if (digit >= 1 && digit <= 9) {
                if (digit <= arguments.size())
                    result += arguments.at(digit - 1);
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

QString text(const char *key, const QStringList &arguments)
{
    const QString pattern = qtTrId(key);
    return arguments.isEmpty() ? pattern : format(pattern, arguments);
}

bool installCatalogue(Catalogue catalogue)
{
    State &s = state();
    QTranslator *next = nullptr;
    QTranslator *previous = nullptr;
    {
        QMutexLocker lock(&s.mutex);
        if (s.installed == catalogue)
            return true;
        auto &translator = s.loaded[catalogue];
        if (!translator) {
            auto fresh = std::make_unique<QTranslator>();
            if (!fresh->load(resourcePath(catalogue)))
                return false;
            translator = std::make_unique<WordingTranslator>(std::move(fresh), catalogue);
        }
        next = translator.get();
        if (s.installed)
            previous = s.loaded[*s.installed].get();
    }
    // Outside the lock: both calls send LanguageChange synchronously, and a widget that
    // redraws in response may well ask for the override again.
    if (previous)
        QCoreApplication::removeTranslator(previous);
    const bool installed = QCoreApplication::installTranslator(next);
    QMutexLocker lock(&s.mutex);
    s.installed = installed ? std::optional<Catalogue>(catalogue) : std::nullopt;
    return installed;
}

void setLanguageOverride(UserDefaults &defaults, const std::optional<QString> &code, const QLocale &systemLocale)
{
    {
        State &s = state();
        QMutexLocker lock(&s.mutex);
        s.overrideCode = code;
    }
    const QString appleLanguages = QString::fromLatin1(PreferenceKeys::appleLanguages);
    if (code)
        defaults.setValue(appleLanguages, QStringList{*code});
    else
        defaults.remove(appleLanguages);

    const std::optional<Catalogue> chosen = code ? catalogueForCode(*code) : std::nullopt;
    installCatalogue(chosen.value_or(catalogueForLocale(systemLocale)));
}

std::optional<QString> languageOverride()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.overrideCode;
}

std::optional<Catalogue> installedCatalogue()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.installed;
}

void setDeviceWording(Device device)
{
    wording.store(device);
}

Device deviceWording()
{
    return wording.load();
}

QString reword(const QString &text, Catalogue catalogue, Device device)
{
    if (device == Device::mac || !text.contains(QLatin1String("Mac")))
        return text;
    QString result = text;
    if (catalogue == Catalogue::simplifiedChinese) {
        // Chinese sets the Latin name apart with spaces, which the native word does not need.
        static const QRegularExpression mac(QStringLiteral(" ?\\bMac\\b ?"));
        return result.replace(mac, QStringLiteral("电脑"));
    }
    return result.replace(QLatin1String("your Mac"), QLatin1String("your computer"))
        .replace(QLatin1String("Your Mac"), QLatin1String("Your computer"));
}

} // namespace quorvel::Localization

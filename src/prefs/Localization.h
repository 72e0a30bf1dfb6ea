#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace quorvel {

class UserDefaults;

// One text of the translation catalogue, named by its message id ("confirmQuit"). Code that
// decides which text to show returns a key; the view turns it into text in the interface
// language at the moment it draws, so a language change needs no recomputation.
struct LocalizationKey {
    const char *id = "";
    QString text() const { return qtTrId(id); }
    friend bool operator==(const LocalizationKey &a, const LocalizationKey &b) { return qstrcmp(a.id, b.id) == 0; }
};

namespace Localization {

// The two catalogues the application ships, compiled into the binary as ":/i18n/quorvel_*.qm".
enum class Catalogue { english, simplifiedChinese };
QString resourcePath(Catalogue catalogue);

// The catalogue of a language code: "zh..." is Simplified Chinese, "en..." English; any other
// code has no catalogue of its own.
std::optional<Catalogue> catalogueForCode(const QString &code);
// The catalogue for the system's language: Chinese locales get Chinese, all others English.
Catalogue catalogueForLocale(const QLocale &locale);

// Fills the placeholders %1...%9 of a localised format with `arguments` in order. A format may
// leave an argument out (a short Chinese text often does), which QString::arg would warn about.
QString format(const QString &pattern, const QStringList &arguments);
// The text of `key` in the interface language with its placeholders filled.
QString text(const char *key, const QStringList &arguments = {});

// The process-wide language override. With a code, every later qtTrId() looks the text up in
// that language's catalogue (a code without a catalogue falls back as if none were given);
// without one, in the catalogue of the system's language. "AppleLanguages" is written as
// [code], or removed when there is no code, so the platform's own texts follow at next launch.
// Takes effect at once: the previous translator is removed and the new one installed, which
// also sends every widget a LanguageChange event. Main thread; needs the application object.
void setLanguageOverride(UserDefaults &defaults, const std::optional<QString> &code,
                         const QLocale &systemLocale = QLocale::system());
// The override code last set; may be read from any thread.
std::optional<QString> languageOverride();
// The catalogue whose translator is installed now, if any.
std::optional<Catalogue> installedCatalogue();
// Installs `catalogue` as the one translator of the process (no-op when it already is).
// Returns false when the catalogue could not be loaded; the previous one then stays.
bool installCatalogue(Catalogue catalogue);

// How the texts name the machine. The catalogues say "your Mac"; on a Linux desktop the same
// texts say "your computer" ("电脑"). The simulated platform is a Mac and keeps the Mac's words.
enum class Device { mac, computer };
// Takes effect for every text looked up afterwards; set once, before the interface is built.
void setDeviceWording(Device device);
Device deviceWording();
// `text`, a translation from `catalogue`, in the wording of `device`.
QString reword(const QString &text, Catalogue catalogue, Device device);

} // namespace Localization
} // namespace quorvel

#include "prefs/XdgAutostart.h"

#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace quorvel::XdgAutostart {

namespace {

// Characters that force an Exec argument into double quotes.
constexpr QStringView reservedCharacters = u" \t\n\"'\\><~|&;$*?#()`";
// Inside double quotes these four still need a backslash.
constexpr QStringView quotedEscapes = u"\"`$\\";

// The string-value escapes of a desktop entry (\s \n \t \r \\), applied to a whole value.
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        switch (n.unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case '\\': out += QLatin1Char('\\'); break;
        default: out += QLatin1Char('\\'); out += n;
        }
    }
    return out;
}

QString escapeValue(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

// The [Desktop Entry] group of an entry file as key/value pairs; none without that group.
std::optional<QHash<QString, QString>> desktopEntryGroup(const QByteArray &text)
{
    QHash<QString, QString> values;
    bool inGroup = false;
    bool sawGroup = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key))
            values.insert(key, unescapeValue(line.mid(eq + 1).trimmed()));
    }
    if (!sawGroup)
        return std::nullopt;
    return values;
}

} // namespace

QString directory()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1String("/.config");
    return QDir::cleanPath(base + QLatin1String("/autostart"));
}

QString entryPath()
{
    return directory() + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QLatin1String(".desktop");
}

QString execValue(const QString &executable)
{
    QString argument = executable;
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));
    const bool needsQuotes =
        std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return reservedCharacters.contains(c); });
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (quotedEscapes.contains(c))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

std::optional<QStringList> execArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        const bool doubledPercent = c == QLatin1Char('%') && i + 1 < exec.size() && exec.at(i + 1) == QLatin1Char('%');
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() && quotedEscapes.contains(exec.at(i + 1)))
                current += exec.at(++i);
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else if (doubledPercent)
                current += exec.at(++i);
            else
                current += c;
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == QLatin1Char('"'))
            inQuotes = true;
        else if (doubledPercent)
            current += exec.at(++i);
        else
            current += c;
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        arguments << current;
    return arguments;
}

QByteArray entryText(const QString &executable)
{
    QString text;
    text += QLatin1String("[Desktop Entry]\n");
    text += QLatin1String("Type=Application\n");
    text += QLatin1String("Name=Quorvel\n");
    text += QLatin1String("Comment=Keeps the computer awake on request\n");
    text += QLatin1String("Exec=") + escapeValue(execValue(executable)) + QLatin1Char('\n');
    text += QLatin1String("Terminal=false\n");
    text += QLatin1String("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

LoginItemStatus status()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return LoginItemStatus::notRegistered;
    const auto group = desktopEntryGroup(file.readAll());
    if (!group)
        return LoginItemStatus::notRegistered;
    if (group->value(QStringLiteral("Hidden")).compare(QLatin1String("true")) == 0
        || group->value(QStringLiteral("X-GNOME-Autostart-enabled")).compare(QLatin1String("false")) == 0)
        return LoginItemStatus::notRegistered;
    const auto arguments = execArguments(group->value(QStringLiteral("Exec")));
    if (!arguments || arguments->isEmpty())
        return LoginItemStatus::notFound;
    const QFileInfo program(arguments->first());
    if (!program.isFile() || !program.isExecutable())
        return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

bool registerEntry(const QString &executable)
{
    if (executable.isEmpty() || !QDir().mkpath(directory()))
        return false;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText(executable));
    return file.commit();
}

bool unregisterEntry()
{
    QFile file(entryPath());
    return !file.exists() || file.remove();
}

LaunchAtLoginController makeController(std::function<QString()> executable)
{
    return LaunchAtLoginController([] { return status(); },
                                   [executable = std::move(executable)] { return registerEntry(executable()); },
                                   [] { return unregisterEntry(); });
}

} // namespace quorvel::XdgAutostart

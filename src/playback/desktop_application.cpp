#include "playback/desktop_application.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTextStream>
#include <QUrl>

namespace kinolark::playback {

namespace {

QString environment(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// The key=value lines of one [group] of a desktop-style file.
QHash<QString, QString> readGroup(const QString &path, const QString &group)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QTextStream in(&file);
    bool inside = false;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inside = line == header;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inside || eq <= 0 || line.startsWith(QLatin1Char('#')))
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key)) // the first wins, as in the files' own rules
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

QStringList ids(const QString &list)
{
    QStringList out;
    for (const QString &id : list.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << id.trimmed();
    return out;
}

QStringList applicationFolders(const XdgFolders &folders)
{
    QStringList out{folders.dataHome + QStringLiteral("/applications")};
    for (const QString &dir : folders.dataDirs)
        out << dir + QStringLiteral("/applications");
    return out;
}

// Undoes the string escapes of a desktop entry value.
QString unescapeValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        default: out += next; break;
        }
    }
    return out;
}

std::optional<DesktopApplication> installed(const QString &id, const XdgFolders &folders)
{
    for (const QString &dir : applicationFolders(folders)) {
        const QString path = dir + QLatin1Char('/') + id;
        if (!QFile::exists(path))
            continue;
        const QHash<QString, QString> entry = readGroup(path, QStringLiteral("Desktop Entry"));
        // The first entry of an id hides the later ones, usable or not.
        if (entry.value(QStringLiteral("Hidden")) == QLatin1String("true")
            || entry.value(QStringLiteral("Type"), QStringLiteral("Application")) != QLatin1String("Application")
            || entry.value(QStringLiteral("Exec")).isEmpty())
            return std::nullopt;
        return DesktopApplication{id, entry.value(QStringLiteral("Name")),
                                  unescapeValue(entry.value(QStringLiteral("Exec")))};
    }
    return std::nullopt;
}

} // namespace

XdgFolders XdgFolders::fromEnvironment()
{
    const QString home = QDir::homePath();
    XdgFolders folders;
    folders.configHome = environment("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    folders.configDirs = environment("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders.dataHome = environment("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    folders.dataDirs = environment("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                           .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders;
}

std::optional<DesktopApplication> defaultApplicationFor(const QStringList &mimeTypes, const XdgFolders &folders)
{
    QStringList lists{folders.configHome + QStringLiteral("/mimeapps.list")};
    for (const QString &dir : folders.configDirs)
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString &dir : applicationFolders(folders))
        lists << dir + QStringLiteral("/mimeapps.list");

    for (const QString &type : mimeTypes) {
        for (const QString &list : lists) {
            for (const QString &id : ids(readGroup(list, QStringLiteral("Default Applications")).value(type))) {
                if (std::optional<DesktopApplication> app = installed(id, folders))
                    return app;
            }
        }
        for (const QString &dir : applicationFolders(folders)) {
            const QString cache = dir + QStringLiteral("/mimeinfo.cache");
            for (const QString &id : ids(readGroup(cache, QStringLiteral("MIME Cache")).value(type))) {
                if (std::optional<DesktopApplication> app = installed(id, folders))
                    return app;
            }
        }
    }
    return std::nullopt;
}

QStringList videoTypesFor(const QString &address)
{
    QStringList types;
    const QString name = QUrl(address).fileName();
    if (!name.isEmpty()) {
        const QList<QMimeType> guessed = QMimeDatabase().mimeTypesForFileName(name);
        for (const QMimeType &type : guessed) {
            if (type.name().startsWith(QLatin1String("video/")) || type.name().endsWith(QLatin1String("mpegurl")))
                types << type.name();
        }
    }
    if (!types.contains(QLatin1String("video/mp4")))
        types << QStringLiteral("video/mp4");
    return types;
}

namespace {

// One word for a shell, whatever it holds.
QString shellQuoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
}

// `text` as it must stand inside double quotes to come out unchanged.
QString doubleQuoteEscaped(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// The words of a command line by the shell's quoting rules: blanks split,
// single quotes keep everything, double quotes keep all but an escaped
// " \ $ or `, and a backslash outside quotes keeps the next character.
QStringList shellWords(const QString &line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const qsizetype end = line.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype stop = end < 0 ? line.size() : end;
            word += QStringView(line).mid(i + 1, stop - i - 1);
            i = stop;
        } else if (c == QLatin1Char('"')) {
            for (++i; i < line.size() && line.at(i) != QLatin1Char('"'); ++i) {
                const QChar d = line.at(i);
                if (d == QLatin1Char('\\') && i + 1 < line.size()
                    && QStringLiteral("\"\\$`\n").contains(line.at(i + 1)))
                    word += line.at(++i);
                else
                    word += d;
            }
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i);
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

} // namespace

QStringList launchCommand(const DesktopApplication &application, const QString &url)
{
    // As GLib does: the field codes are expanded into the line first, each
    // address as one quoted shell word, and the line is split after. The
    // word stays one inert word wherever it stands, inside quotes too, so a
    // line such as sh -c "player %u" hands the address to the shell quoted.
    enum class Quote { None, Single, Double };
    Quote quote = Quote::None;
    QString line;
    bool placed = false;
    const QString &exec = application.exec;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('%') && i + 1 < exec.size()) {
            const QChar code = exec.at(++i);
            if (code == QLatin1Char('%')) {
                line += code;
            } else if (QStringLiteral("uUfF").contains(code) && !placed) {
                placed = true;
                const QString word = shellQuoted(url);
                switch (quote) {
                case Quote::None:
                    line += word;
                    break;
                case Quote::Double:
                    line += doubleQuoteEscaped(word);
                    break;
                case Quote::Single:
                    // Out of the single quotes and back, by way of double ones.
                    line += QStringLiteral("'\"") + doubleQuoteEscaped(word) + QStringLiteral("\"'");
                    break;
                }
            }
            // Other field codes (%i %c %k and the deprecated ones) are dropped.
            continue;
        }
        line += c;
        if (quote == Quote::Single) {
            if (c == QLatin1Char('\''))
                quote = Quote::None;
        } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
            line += exec.at(++i);
        } else if (c == QLatin1Char('"')) {
            quote = quote == Quote::Double ? Quote::None : Quote::Double;
        } else if (c == QLatin1Char('\'') && quote == Quote::None) {
            quote = Quote::Single;
        }
    }
    QStringList command = shellWords(line);
    if (!placed && !command.isEmpty())
        command << url;
    return command;
}

} // namespace kinolark::playback

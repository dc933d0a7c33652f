#include "download/file_names.h"

#include <QChar>

namespace kinolark::download {

namespace {

constexpr int maxEpisodeBytes = 64;

QString untitled()
{
    return QStringLiteral("未命名");
}

int utf8Bytes(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029;
}

// Characters that make a name read other than it is (".mp4" shown in the
// middle), or that some viewers show as nothing at all.
bool isInvisibleFormat(char32_t c)
{
    return (c >= 0x200b && c <= 0x200f) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069)
           || c == 0xfeff;
}

bool isRefused(char32_t c)
{
    switch (c) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
    default:
        return false;
    }
}

QString trimmed(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    const auto edge = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('.'); };
    while (from < to && edge(text.at(from)))
        ++from;
    while (to > from && edge(text.at(to - 1)))
        --to;
    return text.mid(from, to - from);
}

} // namespace

QString cleanNamePart(const QString &text, int maxBytes)
{
    QString clean;
    clean.reserve(qMin(text.size(), qsizetype(maxBytes)));
    bool lastWasSpace = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            continue; // half a character: nothing to write
        }
        if (isInvisibleFormat(c))
            continue;
        if (isControl(c) || c == ' ' || c == 0x3000) {
            if (!lastWasSpace && !clean.isEmpty())
                clean += QLatin1Char(' ');
            lastWasSpace = true;
            continue;
        }
        lastWasSpace = false;
        if (isRefused(c))
            clean += QLatin1Char('_');
        else
            clean += QString::fromUcs4(&c, 1);
    }
    clean = trimmed(clean);

    // Cut between characters, then trim what the cut left at the end.
    int bytes = 0;
    qsizetype end = 0;
    while (end < clean.size()) {
        const bool pair = clean.at(end).isHighSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(clean.at(end), clean.at(end + 1)) : clean.at(end).unicode();
        if (bytes + utf8Bytes(c) > maxBytes)
            break;
        bytes += utf8Bytes(c);
        end += pair ? 2 : 1;
    }
    return trimmed(clean.left(end));
}

QString folderNameFor(const QString &titleName)
{
    const QString name = cleanNamePart(titleName, maxNameBytes);
    return name.isEmpty() ? untitled() : name;
}

QString fileNameFor(const QString &titleName, const QString &episodeName, int number)
{
    const QString extension = QStringLiteral(".mp4");
    const QString suffix = number > 1 ? QStringLiteral(" (%1)").arg(number) : QString();
    const QString episode = cleanNamePart(episodeName, maxEpisodeBytes);
    const QString separator = QStringLiteral(" - ");
    int left = maxNameBytes - int(extension.size()) - int(suffix.size());
    if (!episode.isEmpty())
        left -= int(separator.size()) + int(episode.toUtf8().size());
    QString title = cleanNamePart(titleName, left);
    if (title.isEmpty())
        title = untitled();
    return title + (episode.isEmpty() ? QString() : separator + episode) + suffix + extension;
}

} // namespace kinolark::download

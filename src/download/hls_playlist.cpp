#include "download/hls_playlist.h"

#include <QRegularExpression>
#include <QStringList>

namespace kinolark::download {

namespace {

struct Attribute
{
    QString key;   // with its "=", as FFmpeg compares it
    QString value; // unquoted and unescaped
};

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
           || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

// The attributes of a tag, read exactly as FFmpeg reads them: separators
// are spaces and commas, a value is quoted (with backslash escapes) or runs
// to the next space or comma, and a key without "=" ends the list.
QList<Attribute> attributes(const QString &text)
{
    QList<Attribute> found;
    qsizetype at = 0;
    const qsizetype size = text.size();
    for (;;) {
        while (at < size && (isSpace(text.at(at)) || text.at(at) == QLatin1Char(',')))
            ++at;
        if (at >= size)
            break;
        const qsizetype equals = text.indexOf(QLatin1Char('='), at);
        if (equals < 0)
            break;
        Attribute attribute;
        attribute.key = text.mid(at, equals + 1 - at);
        at = equals + 1;
        if (at < size && text.at(at) == QLatin1Char('"')) {
            ++at;
            while (at < size && text.at(at) != QLatin1Char('"')) {
                if (text.at(at) == QLatin1Char('\\')) {
                    if (at + 1 >= size)
                        break;
                    attribute.value += text.at(at + 1);
                    at += 2;
                } else {
                    attribute.value += text.at(at++);
                }
            }
            if (at < size && text.at(at) == QLatin1Char('"'))
                ++at;
        } else {
            while (at < size && !isSpace(text.at(at)) && text.at(at) != QLatin1Char(','))
                attribute.value += text.at(at++);
        }
        found << attribute;
    }
    return found;
}

QString quoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    escaped.replace(QLatin1String("\""), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

bool HlsPlaylist::looksLikePlaylist(const QByteArray &start)
{
    QByteArray text = start;
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.mid(3);
    return text.startsWith("#EXTM3U");
}

std::optional<QUrl> HlsPlaylist::resolve(const QString &address, const QUrl &base)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\'))
            return std::nullopt;
    }
    // Whatever names a scheme before the path (FFmpeg also takes
    // "subfile,,...:" and the like) must be http or https.
    qsizetype headEnd = text.size();
    for (const char stop : {'/', '?', '#'}) {
        const qsizetype at = text.indexOf(QLatin1Char(stop));
        if (at >= 0)
            headEnd = qMin(headEnd, at);
    }
    const qsizetype colon = text.left(headEnd).indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        if (!isWebScheme(text.left(colon).toLower()) || !text.mid(colon + 1).startsWith(QLatin1String("//")))
            return std::nullopt;
    }
    const QUrl url = base.resolved(QUrl(text, QUrl::TolerantMode));
    if (!url.isValid() || !isWebScheme(url.scheme().toLower()) || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QString HlsPlaylist::normalized(const QString &address)
{
    return QUrl(address, QUrl::TolerantMode).toString(QUrl::FullyEncoded);
}

QString HlsPlaylist::absolute(const QString &address)
{
    const std::optional<QUrl> url = resolve(address, m_base);
    if (!url) {
        if (m_refused.isEmpty())
            m_refused = address.trimmed();
        return QString();
    }
    return url->toString(QUrl::FullyEncoded);
}

QByteArray HlsPlaylist::rewriteTag(const QString &line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return line.toUtf8();
    const QString name = line.left(colon);
    const QList<Attribute> found = attributes(line.mid(colon + 1));
    bool hasAddress = false;
    for (const Attribute &attribute : found)
        hasAddress = hasAddress || attribute.key == QLatin1String("URI=");
    if (!hasAddress)
        return line.toUtf8();

    QString method;
    for (const Attribute &attribute : found) {
        if (attribute.key == QLatin1String("METHOD="))
            method = attribute.value;
    }
    QStringList rebuilt;
    for (const Attribute &attribute : found) {
        if (attribute.key != QLatin1String("URI=")) {
            rebuilt << attribute.key + quoted(attribute.value);
            continue;
        }
        const QString address = absolute(attribute.value);
        if (address.isEmpty())
            continue;
        const QUrl url(address);
        if (name == QLatin1String("#EXT-X-KEY") && method != QLatin1String("NONE"))
            m_keys << url;
        else if (name == QLatin1String("#EXT-X-MAP"))
            m_media << url;
        else if (name == QLatin1String("#EXT-X-MEDIA"))
            m_playlists << url;
        rebuilt << attribute.key + quoted(address);
    }
    return (name + QLatin1Char(':') + rebuilt.join(QLatin1Char(','))).toUtf8();
}

HlsPlaylist HlsPlaylist::parse(const QByteArray &bytes, const QUrl &address)
{
    HlsPlaylist playlist;
    playlist.m_base = address;
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.mid(3);
    if (!text.startsWith("#EXTM3U")) {
        playlist.m_error = QStringLiteral("不是播放列表");
        return playlist;
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7f) {
            playlist.m_error = QStringLiteral("播放列表中有无法识别的字符");
            return playlist;
        }
    }

    bool nextIsPlaylist = false;
    QByteArray rewritten;
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    const QStringList lines = QString::fromUtf8(text).split(lineEnd, Qt::SkipEmptyParts);
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            if (line.startsWith(QLatin1String("#EXT-X-STREAM-INF"))) {
                playlist.m_master = true;
                nextIsPlaylist = true;
            } else if (line == QLatin1String("#EXT-X-ENDLIST")) {
                playlist.m_ended = true;
            } else if (line.startsWith(QLatin1String("#EXTINF:"))) {
                bool ok = false;
                const double seconds = line.mid(8).section(QLatin1Char(','), 0, 0).trimmed().toDouble(&ok);
                if (ok && seconds > 0)
                    playlist.m_duration += seconds;
            }
            rewritten += playlist.rewriteTag(line) + '\n';
            continue;
        }
        const QString absolute = playlist.absolute(line);
        if (absolute.isEmpty())
            continue;
        (nextIsPlaylist ? playlist.m_playlists : playlist.m_media) << QUrl(absolute);
        nextIsPlaylist = false;
        rewritten += absolute.toUtf8() + '\n';
    }
    playlist.m_text = rewritten;
    return playlist;
}

} // namespace kinolark::download

#include "playback/external_address.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace kinolark::playback {

namespace {

const QRegularExpression &schemePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    return pattern;
}

} // namespace

QString addressScheme(const QString &address)
{
    return schemePattern().match(address.trimmed()).captured(1).toLower();
}

ExternalAddress classifyExternalAddress(const QString &address)
{
    const QString text = address.trimmed();
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return ExternalAddress::Refused;
    }
    const QRegularExpressionMatch match = schemePattern().match(text);
    if (!match.hasMatch())
        return ExternalAddress::Refused;
    const QString scheme = match.captured(1).toLower();

    static const QStringList web{QStringLiteral("http"), QStringLiteral("https")};
    static const QStringList streams{QStringLiteral("rtmp"), QStringLiteral("rtmps"), QStringLiteral("rtsp"),
                                     QStringLiteral("mms"), QStringLiteral("mmsh")};
    static const QStringList players{QStringLiteral("bdhd"), QStringLiteral("qvod"), QStringLiteral("ed2k"),
                                     QStringLiteral("thunder"), QStringLiteral("magnet")};
    if (players.contains(scheme))
        return ExternalAddress::PlayerScheme;
    // A network address must parse and name the host it plays from.
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return ExternalAddress::Refused;
    if (web.contains(scheme))
        return ExternalAddress::WebMedia;
    if (streams.contains(scheme))
        return ExternalAddress::Stream;
    return ExternalAddress::Refused;
}

} // namespace kinolark::playback

#include "play_rules.h"

#include <mpv/client.h>


#include <cmath>

namespace kinolark::player {

QString clockText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("--:--");
    const qint64 whole = qint64(seconds);
    const qint64 hours = whole / 3600;
    const QString minSec = QStringLiteral("%1:%2")
                               .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
                               .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minSec : minSec;
}

double positionToKeep(double position, double duration)
{
    if (!std::isfinite(position) || !std::isfinite(duration) || duration <= 0)
        return 0;
    if (position > resumeMargin && position < duration - resumeMargin)
        return position;
    return 0;
}

QString addressScheme(const QString &address)
{
    const int colon = address.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return QString();
    const QString scheme = address.left(colon).toLower();
    for (const QChar c : scheme) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!ok)
            return QString();
    }
    return scheme.at(0).isLetter() ? scheme : QString();
}

const QStringList &streamingSchemes()
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("rtmp"),
                                     QStringLiteral("rtmps"), QStringLiteral("rtsp"),  QStringLiteral("mms"),
                                     QStringLiteral("mmsh")};
    return schemes;
}

const char *nestedProtocols()
{
    // What the streaming schemes are carried over: TCP, TLS, HLS's
    // decryption, RTSP's RTP over UDP, MMS over HTTP or TCP.
    return "http,https,tcp,tls,crypto,httpproxy,rtmp,rtmps,rtmpt,rtsp,rtp,udp,mmsh,mmst";
}

bool canOpen(const QString &address, const QStringList &protocols)
{
    // Only streams from the network: the player also knows schemes that
    // open this machine's files, devices and descriptors, or any port of
    // any host (tcp, udp, gopher, ftp...), and a site's address must never
    // reach those.
    const QString scheme = addressScheme(address);
    return streamingSchemes().contains(scheme) && protocols.contains(scheme, Qt::CaseInsensitive);
}

Failure classifyFailure(int mpvError, const QStringList &log)
{
    const auto logged = [&](const char *text) {
        const QLatin1String wanted(text);
        for (const QString &line : log) {
            if (line.contains(wanted, Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    if (logged("HTTP error 404") || logged("HTTP error 410") || logged("No such file"))
        return Failure::NotFound;
    if (mpvError == MPV_ERROR_UNKNOWN_FORMAT || mpvError == MPV_ERROR_NOTHING_TO_PLAY
        || logged("Failed to recognize file format"))
        return Failure::Format;
    return Failure::Network;
}

QString failureText(Failure failure)
{
    switch (failure) {
    case Failure::None:
        return QString();
    case Failure::Network:
        return QStringLiteral("网络连接失败，无法播放");
    case Failure::NotFound:
        return QStringLiteral("找不到这个播放地址上的视频");
    case Failure::Format:
        return QStringLiteral("不支持这种视频格式，无法播放");
    case Failure::Interrupted:
        return QStringLiteral("网络中断，播放没有完成");
    case Failure::NoPlayer:
        return QStringLiteral("播放器无法启动");
    }
    return QString();
}

} // namespace kinolark::player

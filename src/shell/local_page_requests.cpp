#include "shell/local_page_requests.h"

#include <QHostAddress>

namespace kinolark::shell {

namespace {

// Names the resolver keeps to this machine or the local network.
bool isPrivateName(const QString &host)
{
    static const QLatin1String suffixes[] = {QLatin1String(".localhost"), QLatin1String(".local"),
                                             QLatin1String(".localdomain"), QLatin1String(".lan"),
                                             QLatin1String(".internal"), QLatin1String(".intranet"),
                                             QLatin1String(".home.arpa"), QLatin1String(".corp")};
    if (host == QLatin1String("localhost") || !host.contains(QLatin1Char('.')))
        return true; // a name of one label is a machine of the local network
    for (const QLatin1String &suffix : suffixes) {
        if (host.endsWith(suffix))
            return true;
    }
    return false;
}

bool isPrivateIp(const QHostAddress &address)
{
    if (address.isLoopback() || address.isLinkLocal() || address.isSiteLocal() || address.isUniqueLocalUnicast()
        || address.isNull() || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return true;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // mapped IPv6 addresses included
    if (!isV4)
        return false;
    const auto in = [v4](quint32 network, int bits) { return (v4 >> (32 - bits)) == (network >> (32 - bits)); };
    return in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) // RFC 1918
           || in(0x64400000, 10)                                           // shared, CGNAT
           || in(0x7F000000, 8) || in(0xA9FE0000, 16) || in(0x00000000, 8);
}

} // namespace

QUrl LocalPageRequests::originOf(const QUrl &url)
{
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
}

bool LocalPageRequests::isPrivateAddress(const QUrl &url)
{
    // The program's own schemes name no machine.
    static const QStringList network{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ws"),
                                     QStringLiteral("wss"), QStringLiteral("ftp")};
    if (!network.contains(url.scheme().toLower()))
        return false;
    QString host = url.host(QUrl::FullyDecoded).toLower();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    if (host.isEmpty())
        return false;
    QHostAddress address;
    // Whole numbers and short forms as well ("2130706433", "127.1"): the
    // engine reads them as addresses too.
    if (address.setAddress(host))
        return isPrivateIp(address);
    bool number = false;
    const quint32 whole = host.toUInt(&number, 0);
    if (number)
        return isPrivateIp(QHostAddress(whole));
    return isPrivateName(host);
}

LocalPageRequests::LocalPageRequests(const QStringList &reachable, QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent)
{
    for (const QString &address : reachable) {
        const QUrl url(address);
        if (url.isValid() && !url.scheme().isEmpty())
            m_origins << originOf(url);
    }
}

bool LocalPageRequests::allowed(const QUrl &page, const QUrl &target, bool mainFrame, const QList<QUrl> &origins)
{
    const QString scheme = target.scheme();
    // What the page holds itself; local files are refused by the profile.
    const bool own = scheme == QLatin1String("data") || scheme == QLatin1String("blob")
                     || scheme == QLatin1String("about") || scheme == QLatin1String("file");
    if (own)
        return true;
    if (origins.contains(originOf(target)))
        return true;
    if (isPrivateAddress(target))
        return false;
    return !page.isLocalFile() || mainFrame;
}

void LocalPageRequests::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const bool mainFrame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    if (!allowed(info.firstPartyUrl(), info.requestUrl(), mainFrame, m_origins))
        info.block(true);
}

} // namespace kinolark::shell

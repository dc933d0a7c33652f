#include "shell/local_page_requests.h"

namespace kinolark::shell {

namespace {

QUrl originOf(const QUrl &url)
{
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
}

} // namespace

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
    if (!page.isLocalFile() || mainFrame)
        return true;
    const QString scheme = target.scheme();
    // What the page holds itself; local files are refused by the profile.
    if (scheme == QLatin1String("data") || scheme == QLatin1String("blob") || scheme == QLatin1String("about")
        || scheme == QLatin1String("file"))
        return true;
    return origins.contains(originOf(target));
}

void LocalPageRequests::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const bool mainFrame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    if (!allowed(info.firstPartyUrl(), info.requestUrl(), mainFrame, m_origins))
        info.block(true);
}

} // namespace kinolark::shell

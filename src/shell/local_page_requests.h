#pragma once

#include <QList>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace kinolark::shell {

// The program's pages are local files, and a local page must be let load
// remote scripts and frames at all (the notice page runs the site's script,
// the play page the player's). That would also let a script there read any
// remote answer, the user's own network included. This lets what a local
// page loads or asks for reach only the origins the program names: the
// catalogue site and the player's script. And no page at all, local or
// remote, reaches a loopback, private, link-local or shared (CGNAT) address,
// or a name for one, unless it is one of those origins.
class LocalPageRequests : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    LocalPageRequests(const QStringList &reachable, QObject *parent = nullptr);
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

    static bool allowed(const QUrl &page, const QUrl &target, bool mainFrame, const QList<QUrl> &origins);
    // Whether `url` names a machine of the user's own network, or this one.
    static bool isPrivateAddress(const QUrl &url);
    static QUrl originOf(const QUrl &url);

private:
    QList<QUrl> m_origins;
};

} // namespace kinolark::shell

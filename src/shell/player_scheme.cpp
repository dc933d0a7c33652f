#include "shell/player_scheme.h"

#include "shell/play_hand_off.h"

#include <QBuffer>
#include <QUrlQuery>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace kinolark::shell {

namespace {

QString scriptPath()
{
    return QStringLiteral("/lib/player.js");
}

QString handOffPath()
{
    return QStringLiteral("/play");
}

// The player script: it reads the page's BdPlayer settings and asks for the
// hand-off address with them, as a script, so no answer is ever read back.
// Each showing asks anew: the engine would answer a repeated address from
// its cache without asking the program.
QByteArray playerScript()
{
    return "// kinolark's player: hands the page's BdPlayer settings to the program.\n"
           "(function () {\n"
           "  var p = window.BdPlayer;\n"
           "  if (!p || p['url'] === undefined) return;\n"
           "  var query;\n"
           "  try {\n"
           "    query = 'url=' + encodeURIComponent(String(p['url'])) +\n"
           "            '&width=' + encodeURIComponent(String(p['width'])) +\n"
           "            '&height=' + encodeURIComponent(String(p['height'])) +\n"
           "            '&load=' + Date.now() + '-' + Math.random();\n"
           "  } catch (e) { return; }\n"
           "  var s = document.createElement('script');\n"
           "  s.src = '"
           + PlayerScheme::name() + "://player" + handOffPath().toLatin1()
           + "?' + query;\n"
             "  (document.body || document.documentElement).appendChild(s);\n"
             "})();\n";
}

// Sees every request of the profile's pages before it is made; a hand-off
// is let through only from the page the program is showing for it.
class HandOffGate : public QWebEngineUrlRequestInterceptor
{
public:
    HandOffGate(PlayerScheme *scheme, QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent)
        , m_scheme(scheme)
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl url = info.requestUrl();
        if (url.scheme() == QLatin1String(PlayerScheme::name()) && url.path() == handOffPath()
            && !m_scheme->admit(url, info.firstPartyUrl()))
            info.block(true);
    }

private:
    PlayerScheme *m_scheme;
};

void replyWith(QWebEngineUrlRequestJob *job, const QByteArray &script)
{
    auto *body = new QBuffer(job);
    body->setData(script);
    body->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/javascript"), body);
}

} // namespace

QByteArray PlayerScheme::name()
{
    return QByteArrayLiteral("kinolark");
}

void PlayerScheme::registerScheme()
{
    QWebEngineUrlScheme scheme(name());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Local: web pages cannot load from it; of the local pages only those
    // allowed to read local content can (the play page, see GuardedPage).
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

PlayerScheme::PlayerScheme(QWebEngineProfile *profile, PlayHandOff *handOff)
    : QWebEngineUrlSchemeHandler(profile)
    , m_handOff(handOff)
{
    profile->installUrlSchemeHandler(name(), this);
    profile->setUrlRequestInterceptor(new HandOffGate(this, this));
}

bool PlayerScheme::admit(const QUrl &request, const QUrl &page)
{
    if (!m_handOff->accepts(page))
        return false;
    m_admitted.insert(request, page);
    return true;
}

void PlayerScheme::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QUrl url = job->requestUrl();
    if (url.path() == scriptPath()) {
        replyWith(job, playerScript());
        return;
    }
    if (url.path() != handOffPath()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QUrl page = m_admitted.take(url);
    const QUrlQuery query(url);
    const QString address = query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
    const QSize size(query.queryItemValue(QStringLiteral("width")).toInt(),
                     query.queryItemValue(QStringLiteral("height")).toInt());
    if (page.isEmpty() || !m_handOff->deliver(page, address, size)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    replyWith(job, QByteArray());
}

} // namespace kinolark::shell

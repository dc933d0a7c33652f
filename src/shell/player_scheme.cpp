#include "shell/player_scheme.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace kinolark::shell {

namespace {

// The player script: it reads the page's BdPlayer settings and goes to the
// player's address with them. The page refuses to go there and tells the
// program instead, so nothing is loaded and nothing is read back.
QByteArray playerScript()
{
    return "// kinolark's player: hands the page's BdPlayer settings to the program.\n"
           "(function () {\n"
           "  var p = window.BdPlayer;\n"
           "  if (!p || p['url'] === undefined) return;\n"
           "  try {\n"
           "    location.replace('"
           + PlayerScheme::name()
           + "://player/play?url=' + encodeURIComponent(String(p['url'])) +\n"
             "                     '&width=' + encodeURIComponent(String(p['width'])) +\n"
             "                     '&height=' + encodeURIComponent(String(p['height'])));\n"
             "  } catch (e) {}\n"
             "})();\n";
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
    QWebEngineUrlScheme::registerScheme(scheme);
}

PlayerScheme::PlayerScheme(QWebEngineProfile *profile)
    : QWebEngineUrlSchemeHandler(profile)
{
    profile->installUrlSchemeHandler(name(), this);
}

void PlayerScheme::requestStarted(QWebEngineUrlRequestJob *job)
{
    if (job->requestUrl().path() != QLatin1String("/lib/player.js")) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *body = new QBuffer(job);
    body->setData(playerScript());
    body->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/javascript"), body);
}

} // namespace kinolark::shell

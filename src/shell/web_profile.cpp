#include "shell/web_profile.h"

#include "shell/local_page_requests.h"

#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace kinolark::shell {

QWebEngineProfile *makeWebProfile(QObject *parent, const QStringList &reachable)
{
    // A profile without a name keeps nothing on disk.
    auto *profile = new QWebEngineProfile(parent);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);

    QWebEngineSettings *settings = profile->settings();
    // The program's pages declare no charset; they are written in GBK.
    settings->setDefaultTextEncoding(QStringLiteral("GBK"));
    // A local page reads no other local file. It must load remote scripts
    // and frames (the engine refuses them all otherwise), and what it loads
    // or asks for is held to the named origins.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    profile->setUrlRequestInterceptor(new LocalPageRequests(reachable, profile));
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    settings->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    // A dropped file would be opened as a page.
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    // Unknown schemes would otherwise go to the desktop's handlers.
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    return profile;
}

} // namespace kinolark::shell

#include "shell/web_profile.h"

#include "shell/local_page_requests.h"

#include <QVariant>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace kinolark::shell {

namespace {

const char siteProperty[] = "kinolarkSiteOrigin";

// Runs in every frame before the page's own scripts. It takes WebRTC away,
// as its connections go past every request the program sees, and ignores
// the leave-this-page question, which the engine asks in a dialog that
// holds up the whole window.
//
// A frame's first, empty document can be reached by the page before the
// engine runs this there, so the page's windows are guarded in turn: each
// one a page can reach (a frame's window, by any road that makes a frame)
// gets the same before the page's next line.
QString pageGuardScript()
{
    return QStringLiteral(R"JS((function () {
  'use strict';
  var gone = ['RTCPeerConnection', 'webkitRTCPeerConnection', 'RTCDataChannel', 'RTCSessionDescription',
              'RTCIceCandidate', 'RTCRtpSender', 'RTCRtpReceiver', 'RTCRtpTransceiver', 'RTCDtlsTransport',
              'RTCIceTransport', 'RTCSctpTransport', 'RTCCertificate', 'RTCPeerConnectionIceEvent',
              'RTCDataChannelEvent', 'RTCTrackEvent', 'RTCDTMFSender', 'RTCEncodedAudioFrame',
              'RTCEncodedVideoFrame', 'RTCError', 'RTCErrorEvent', 'RTCStatsReport'];
  var define = Object.defineProperty;
  var describe = Object.getOwnPropertyDescriptor;
  function fix(target, name, descriptor) {
    try { define(target, name, descriptor); } catch (e) {}
  }
  function guardFrames(w) {
    var count = 0;
    try { count = w.length; } catch (e) { return; }
    for (var i = 0; i < count; i++) {
      try { guard(w[i]); } catch (e) {}
    }
  }
  function afterCall(proto, name, w) {
    var original = proto && proto[name];
    if (typeof original !== 'function')
      return;
    fix(proto, name, { value: function () {
      try { return original.apply(this, arguments); } finally { guardFrames(w); }
    }, writable: false, configurable: false });
  }
  function afterSet(proto, name, w) {
    var d = proto && describe(proto, name);
    if (!d || !d.set)
      return;
    fix(proto, name, { get: d.get, set: function (value) {
      try { d.set.call(this, value); } finally { guardFrames(w); }
    }, enumerable: d.enumerable, configurable: false });
  }
  function beforeGive(proto, name, windowOf) {
    var d = proto && describe(proto, name);
    if (!d || !d.get)
      return;
    fix(proto, name, { get: function () {
      var got = d.get.call(this);
      try { var inner = windowOf(got); if (inner) guard(inner); } catch (e) {}
      return got;
    }, set: d.set, enumerable: d.enumerable, configurable: false });
  }
  function guard(w) {
    if (!w || w === null)
      return;
    try { if (w.__kinolarkGuarded === guard) return; } catch (e) { return; } // another site's window
    fix(w, '__kinolarkGuarded', { value: guard, writable: false, configurable: false, enumerable: false });
    gone.forEach(function (name) { fix(w, name, { value: undefined, writable: false, configurable: false }); });

    // No question on leaving a page.
    fix(w, 'onbeforeunload', { get: function () { return null; }, set: function () {}, configurable: false });
    [w.HTMLBodyElement, w.HTMLFrameSetElement].forEach(function (type) {
      if (type) fix(type.prototype, 'onbeforeunload', { get: function () { return null; }, set: function () {},
                                                        configurable: false });
    });
    var listen = w.EventTarget && w.EventTarget.prototype.addEventListener;
    if (listen) {
      fix(w.EventTarget.prototype, 'addEventListener', { value: function (type) {
        if (String(type).toLowerCase() === 'beforeunload') return undefined;
        return listen.apply(this, arguments);
      }, writable: false, configurable: false });
    }

    // Every road by which a script puts a frame into a page.
    var N = w.Node && w.Node.prototype, E = w.Element && w.Element.prototype, D = w.Document && w.Document.prototype;
    var F = w.DocumentFragment && w.DocumentFragment.prototype, C = w.CharacterData && w.CharacterData.prototype;
    var S = w.ShadowRoot && w.ShadowRoot.prototype, R = w.Range && w.Range.prototype;
    [[N, 'appendChild'], [N, 'insertBefore'], [N, 'replaceChild'],
     [E, 'append'], [E, 'prepend'], [E, 'before'], [E, 'after'], [E, 'replaceWith'], [E, 'replaceChildren'],
     [E, 'insertAdjacentElement'], [E, 'insertAdjacentHTML'], [E, 'setAttribute'], [E, 'setAttributeNS'],
     [C, 'before'], [C, 'after'], [C, 'replaceWith'],
     [D, 'append'], [D, 'prepend'], [D, 'replaceChildren'], [D, 'write'], [D, 'writeln'], [D, 'open'],
     [D, 'execCommand'], [F, 'append'], [F, 'prepend'], [F, 'replaceChildren'],
     [R, 'insertNode'], [R, 'surroundContents']].forEach(function (p) { afterCall(p[0], p[1], w); });
    [[E, 'innerHTML'], [E, 'outerHTML'], [S, 'innerHTML'], [w.HTMLElement && w.HTMLElement.prototype, 'innerText'],
     [w.HTMLElement && w.HTMLElement.prototype, 'outerText']].forEach(function (p) { afterSet(p[0], p[1], w); });
    ['HTMLIFrameElement', 'HTMLFrameElement', 'HTMLObjectElement'].forEach(function (type) {
      var proto = w[type] && w[type].prototype;
      beforeGive(proto, 'contentWindow', function (got) { return got; });
      beforeGive(proto, 'contentDocument', function (got) { return got && got.defaultView; });
    });
    // Frames the parser makes, before the page's next script runs.
    try {
      new w.MutationObserver(function () {
        guardFrames(w);
        var body = w.document.body;
        if (body && body.hasAttribute('onbeforeunload')) body.removeAttribute('onbeforeunload');
      }).observe(w.document, { childList: true, subtree: true, attributes: true,
                               attributeFilter: ['onbeforeunload'] });
    } catch (e) {}
    guardFrames(w);
  }
  guard(window);
})();)JS");
}

} // namespace

void prepareWebEngineSwitches()
{
    // WebRTC sends nothing but through a proxy, and there is none, should a
    // page still reach it (a frame's fresh document, before any script of
    // ours has run there).
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const QByteArray policy = QByteArrayLiteral("--force-webrtc-ip-handling-policy=disable_non_proxied_udp");
    if (!flags.contains("--force-webrtc-ip-handling-policy"))
        flags += (flags.isEmpty() ? "" : " ") + policy;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

QUrl siteOriginOf(const QWebEngineProfile *profile)
{
    return profile ? profile->property(siteProperty).toUrl() : QUrl();
}

QWebEngineProfile *makeWebProfile(QObject *parent, const QStringList &reachable)
{
    // A profile without a name keeps nothing on disk.
    auto *profile = new QWebEngineProfile(parent);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    if (!reachable.isEmpty())
        profile->setProperty(siteProperty, LocalPageRequests::originOf(QUrl(reachable.constFirst())));

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

    QWebEngineScript guard;
    guard.setName(QStringLiteral("kinolark-page-guard"));
    guard.setSourceCode(pageGuardScript());
    guard.setInjectionPoint(QWebEngineScript::DocumentCreation);
    guard.setWorldId(QWebEngineScript::MainWorld);
    guard.setRunsOnSubFrames(true);
    profile->scripts()->insert(guard);
    return profile;
}

} // namespace kinolark::shell

#pragma once

#include <QStringList>
#include <QUrl>

class QObject;
class QWebEngineProfile;

namespace kinolark::shell {

// The one web profile both browsers share. The pages it shows are local
// files that load the site's scripts over plain HTTP, so nothing on it may
// reach the user's files, the user's network or outlive the run: no file
// access from pages, no windows or external programs opened by script, no
// WebRTC, cookies and cache in memory only. The first of `reachable` is the
// catalogue site; the program's local pages reach only the origins of the
// `reachable` addresses (the site, the player's script), and no page
// reaches a loopback or private address other than the site's own.
QWebEngineProfile *makeWebProfile(QObject *parent, const QStringList &reachable);

// The catalogue site's origin, as `makeWebProfile` was told it.
QUrl siteOriginOf(const QWebEngineProfile *profile);

// The web engine's own switches the profile's rules rely on; must run
// before the application object is made.
void prepareWebEngineSwitches();

} // namespace kinolark::shell

#pragma once

#include <QStringList>

class QObject;
class QWebEngineProfile;

namespace kinolark::shell {

// The one web profile both browsers share. The pages it shows are local
// files that load the site's scripts over plain HTTP, so nothing on it may
// reach the user's files or outlive the run: no file access from pages, no
// windows or external programs opened by script, cookies and cache in
// memory only. The program's local pages reach only the origins of the
// `reachable` addresses (the catalogue site, the player's script).
QWebEngineProfile *makeWebProfile(QObject *parent, const QStringList &reachable);

} // namespace kinolark::shell

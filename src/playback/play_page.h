#pragma once

#include <QString>

namespace kinolark::playback {

// The addresses of the web player's script and of its client's download,
// as the program was built.
QString defaultPlayerScript();
QString defaultPlayerClient();

// The play page template: 24 lines, each ended by CR LF. It loads the web
// player and hands it the address that stands in place of "{playurl}";
// the site's address names the page the player shows while buffering.
QString playPageTemplate(const QString &site, const QString &playerScript = defaultPlayerScript(),
                         const QString &playerClient = defaultPlayerClient());

// The page for one play address: every "{playurl}" of `pageTemplate`
// replaced by the address escaped for a single-quoted script string.
QString playPageText(const QString &pageTemplate, const QString &address);

// The longest play address the page hands to the built-in player.
constexpr qsizetype longestPlayAddress = 64 * 1024;

// Creates or replaces the page file at `path`: the page text and CR LF, in
// GBK. The old file stays as it was when writing fails.
bool writePlayPage(const QString &path, const QString &pageTemplate, const QString &address,
                   QString *error = nullptr);

} // namespace kinolark::playback

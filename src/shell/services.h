#pragma once

#include "shell/browser.h"

#include <QString>

#include <functional>

class QNetworkAccessManager;
class QUrl;

namespace kinolark::shell {

class MessageSink;
class PlayHandOff;

// What the window is handed from outside: its folder, the site, and every
// seam that reaches the machine, so tests can put their own in place.
struct Services
{
    QString appFolder;                 // where the pages and the catalogue live
    QString site;                      // the catalogue site's address
    QNetworkAccessManager *network = nullptr;
    BrowserFactory makeBrowser;
    MessageSink *messages = nullptr;
    std::function<QString()> today;    // today's date string
    int requestTimeoutMs = 30000;
    // Hands an address to the desktop's handler for its scheme.
    std::function<bool(const QUrl &)> openUrl;
    // Where the play page hands its address over; the window makes its own
    // when none is given (no web engine serves the player script then).
    PlayHandOff *handOff = nullptr;
};

} // namespace kinolark::shell

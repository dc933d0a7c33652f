#pragma once

#include "shell/browser.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::shell {

class MessageSink;

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
    int requestTimeoutMs = 30000;      // nothing arrives for this long: the request failed
    // The longest a whole answer may take, however steadily it trickles in.
    int catalogueDeadlineMs = 120000;
    int titleDeadlineMs = 30000;
    // Hands an address to the desktop's opener (xdg-open); `finished` is told
    // whether the opener did open it, once it knows (it may wait for the
    // program it started).
    std::function<void(const QString &address, std::function<void(bool opened)> finished)> openUrl;
    // Starts a program with its arguments, detached from this one.
    std::function<bool(const QString &program, const QStringList &arguments)> startProgram;
    // The bus for the media keys and the screen saver: empty for the
    // session's own, "none" for none.
    QString desktopBus;
    // Where downloads go; empty for the desktop's films folder.
    QString downloadsFolder;
    // TVs are looked for on the network (SSDP) as the window starts.
    bool findRenderers = true;
    // Reads titles in pinyin for the suggestions under the search box;
    // without it they match names only.
    std::shared_ptr<const text::PinyinReader> pinyin;
};

} // namespace kinolark::shell

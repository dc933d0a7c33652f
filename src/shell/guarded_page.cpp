#include "shell/guarded_page.h"

#include "shell/player_scheme.h"

namespace kinolark::shell {

void GuardedPage::loadByProgram(const QUrl &url)
{
    if (url.isLocalFile())
        m_allowedFile = url;
    load(url);
}

bool GuardedPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The player script hands over by going to the player's own address;
    // the page stays where it is, and who asked is the page shown now.
    if (url.scheme() == QLatin1String(PlayerScheme::name())) {
        if (isMainFrame)
            emit handOffRequested(this->url(), url);
        return false;
    }
    if (url.isLocalFile() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
        if (!isMainFrame || !url.matches(m_allowedFile, QUrl::RemoveFragment))
            return false;
    }
    if (!QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame))
        return false;
    // The program's own loads are typed in; it knows of them already.
    if (isMainFrame && type != NavigationTypeTyped)
        emit mainFrameNavigating(url);
    return true;
}

void GuardedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
}

} // namespace kinolark::shell

#include "shell/guarded_page.h"

#include <QWebEngineSettings>

namespace kinolark::shell {

void GuardedPage::loadByProgram(const QUrl &url)
{
    if (url.isLocalFile())
        m_allowedFile = url;
    // The program's player script comes from a local scheme, which only a
    // page allowed local content can load: the program's own page alone.
    // It loads nothing remote all the same.
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls,
                             url.isLocalFile() && url == m_ownPage);
    load(url);
}

bool GuardedPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
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

} // namespace kinolark::shell

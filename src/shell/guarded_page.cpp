#include "shell/guarded_page.h"

namespace kinolark::shell {

void GuardedPage::loadByProgram(const QUrl &url)
{
    if (url.isLocalFile())
        m_allowedFile = url;
    load(url);
}

bool GuardedPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (url.isLocalFile() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
        if (!isMainFrame || !url.matches(m_allowedFile, QUrl::RemoveFragment))
            return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void GuardedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
}

} // namespace kinolark::shell

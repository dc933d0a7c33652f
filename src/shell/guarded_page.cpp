#include "shell/guarded_page.h"

#include "shell/local_page_requests.h"
#include "shell/page_dialog.h"
#include "shell/player_scheme.h"

#include <QWebEngineLoadingInfo>
#include <QWebEngineView>

namespace kinolark::shell {

GuardedPage::GuardedPage(QWebEngineProfile *profile, const QUrl &site, QObject *parent)
    : QWebEnginePage(profile, parent)
    , m_site(LocalPageRequests::originOf(site))
{
    // The program's page is left only once another has arrived: a
    // navigation that never ends in a page (an answer with no content, one
    // stopped) leaves it where it was.
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
            if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus && !isProgramPage(info.url()))
            m_showsOwnPage = false;
    });
}

void GuardedPage::loadByProgram(const QUrl &url)
{
    if (url.isLocalFile())
        m_allowedFile = url;
    m_programLoad = url;
    load(url);
}

bool GuardedPage::isProgramPage(const QUrl &url) const
{
    return url.isLocalFile() || url.scheme() == QLatin1String("about");
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
    if (isMainFrame) {
        // The program's load of the page already shown comes as a reload.
        const bool byProgram = (type == NavigationTypeTyped || type == NavigationTypeReload)
                               && !m_programLoad.isEmpty() && url.matches(m_programLoad, QUrl::None);
        if (byProgram) {
            m_programLoad.clear();
        } else if (m_showsOwnPage && LocalPageRequests::originOf(url) != m_site) {
            // A script's own move, a refresh or a redirect on the way from
            // the program's page all count: it is left only once a page of
            // the site has arrived.
            return false;
        }
        if (!QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame))
            return false;
        // Each load may show one dialog of its own. The engine reports a
        // load that starts while another runs as one, so count from here.
        if (type != NavigationTypeRedirect) {
            m_dialogsThisLoad = 0;
            emit leaving();
        }
        if (isProgramPage(url))
            m_showsOwnPage = true;
        // The program's own loads are typed in; it knows of them already.
        if (!byProgram)
            emit mainFrameNavigating(url);
        return true;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void GuardedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
}

bool GuardedPage::mayShowDialog()
{
    ++m_dialogsAsked;
    if (m_dialogsThisLoad > 0)
        return false;
    ++m_dialogsThisLoad;
    ++m_dialogsShown;
    return true;
}

void GuardedPage::javaScriptAlert(const QUrl &, const QString &message)
{
    if (mayShowDialog())
        PageDialog::ask(QWebEngineView::forPage(this), this, PageDialog::Alert, message);
}

bool GuardedPage::javaScriptConfirm(const QUrl &, const QString &message)
{
    // A dialog past the first is answered no, without a word.
    return mayShowDialog() && PageDialog::ask(QWebEngineView::forPage(this), this, PageDialog::Confirm, message);
}

bool GuardedPage::javaScriptPrompt(const QUrl &, const QString &message, const QString &defaultValue,
                                   QString *result)
{
    if (!mayShowDialog())
        return false;
    return PageDialog::ask(QWebEngineView::forPage(this), this, PageDialog::Prompt, message, defaultValue, result);
}

} // namespace kinolark::shell

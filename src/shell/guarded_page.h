#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace kinolark::shell {

// A page that opens a local file only where the program itself sends it.
// A script, a link, a frame or a redirect asking for any other local file
// is refused, whatever the page it comes from. While one of the program's
// own pages is shown, the page goes on by itself only to the catalogue
// site: a script there cannot send the user's browser anywhere else, a
// form posted to the top frame included.
//
// A page shows at most one JavaScript dialog per load, over its own area
// alone; the rest of the window goes on working meanwhile.
class GuardedPage : public QWebEnginePage
{
    Q_OBJECT
public:
    // `site` is the catalogue site's origin.
    GuardedPage(QWebEngineProfile *profile, const QUrl &site, QObject *parent = nullptr);

    // The program's own navigation: the one local file the page may show.
    void loadByProgram(const QUrl &url);

    // Dialogs the pages asked for, and how many of them were shown.
    int dialogsAsked() const { return m_dialogsAsked; }
    int dialogsShown() const { return m_dialogsShown; }

signals:
    // The page goes on to `url` by itself: a link, a script, back or reload.
    void mainFrameNavigating(const QUrl &url);
    // The page showing `page` asks the built-in player to play; `request`
    // holds its player settings.
    void handOffRequested(const QUrl &page, const QUrl &request);
    // The page shown is being left: its dialogs go.
    void leaving();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    // What the site's scripts write to their console is theirs, not the
    // program's: it does not go to the program's log.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message, const QString &defaultValue,
                          QString *result) override;

private:
    // Whether the page may show a dialog now; counts it.
    bool mayShowDialog();
    bool isProgramPage(const QUrl &url) const;

    QUrl m_site;
    QUrl m_allowedFile;
    QUrl m_programLoad;       // what the program asked for last, until it starts
    bool m_showsOwnPage = false; // the page shown, or about to be, may be one of the program's
    int m_dialogsThisLoad = 0;
    int m_dialogsAsked = 0;
    int m_dialogsShown = 0;
};

} // namespace kinolark::shell

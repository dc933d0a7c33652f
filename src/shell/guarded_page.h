#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace kinolark::shell {

// A page that opens a local file only where the program itself sends it.
// A script, a link, a frame or a redirect asking for any other local file
// is refused, whatever the page it comes from.
class GuardedPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

    // The program's own navigation: the one local file the page may show.
    void loadByProgram(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    // What the site's scripts write to their console is theirs, not the
    // program's: it does not go to the program's log.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override;

private:
    QUrl m_allowedFile;
};

} // namespace kinolark::shell

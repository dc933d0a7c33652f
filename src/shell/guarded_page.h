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
    // A local file the program writes itself, with nothing from outside
    // in it, whose scripts may load the program's own player script when
    // the program shows it. Other pages read no local content at all.
    void setOwnPage(const QUrl &url) { m_ownPage = url; }

signals:
    // The page goes on to `url` by itself: a link, a script, back or reload.
    void mainFrameNavigating(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QUrl m_allowedFile;
    QUrl m_ownPage;
};

} // namespace kinolark::shell

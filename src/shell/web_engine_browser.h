#pragma once

#include "shell/browser.h"

#include <QUrl>

class QWebEngineProfile;
class QWebEngineView;

namespace kinolark::shell {

// The real embedded browser.
//
// The web engine's first start takes a good part of a second, so the view is
// made only once the browser has been drawn (or is asked for): the window
// comes up with its tree and lists at once, and the page follows. An address
// given before then is loaded as soon as the view exists.
class WebEngineBrowser : public Browser
{
    Q_OBJECT
public:
    // Pages live in `profile`, which sets what they may do.
    WebEngineBrowser(QWebEngineProfile *profile, QWidget *parent = nullptr);
    void navigate(const QString &address) override;
    // The web view, made now if it was not yet.
    QWebEngineView *view();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWebEngineProfile *m_profile;
    QWebEngineView *m_view = nullptr;
    QUrl m_pending;
    bool m_viewQueued = false;
};

} // namespace kinolark::shell

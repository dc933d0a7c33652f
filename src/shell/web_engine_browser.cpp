#include "shell/web_engine_browser.h"

#include "shell/guarded_page.h"
#include "shell/web_profile.h"

#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace kinolark::shell {

WebEngineBrowser::WebEngineBrowser(QWebEngineProfile *profile, QWidget *parent)
    : Browser(parent)
    , m_profile(profile)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setFocusPolicy(Qt::StrongFocus);
    // The web view draws through the graphics card. A window that gets such a
    // child after it is shown is made again, and flickers; a hidden one of
    // the same kind makes the window ready for it from the start. Only where
    // OpenGL works (the shared context exists): elsewhere such a widget
    // brings the window down, and the view draws in software anyway.
    if (QOpenGLContext::globalShareContext() && QOpenGLContext::globalShareContext()->isValid())
        (new QOpenGLWidget(this))->hide();
}

QWebEngineView *WebEngineBrowser::view()
{
    if (m_view)
        return m_view;
    m_view = new QWebEngineView(this);
    auto *page = new GuardedPage(m_profile, siteOriginOf(m_profile), m_view);
    m_view->setPage(page);
    layout()->addWidget(m_view);
    setFocusProxy(m_view);
    connect(page, &GuardedPage::mainFrameNavigating, this, &Browser::pageStarting);
    connect(page, &GuardedPage::handOffRequested, this, &Browser::handOffRequested);
    if (!m_pending.isEmpty())
        static_cast<GuardedPage *>(m_view->page())->loadByProgram(m_pending);
    m_pending.clear();
    m_view->show();
    return m_view;
}

void WebEngineBrowser::navigate(const QString &address)
{
    const QUrl url = addressUrl(address);
    emit pageStarting(url);
    if (m_view)
        static_cast<GuardedPage *>(m_view->page())->loadByProgram(url);
    else
        m_pending = url; // a later address replaces an earlier one
}

void WebEngineBrowser::paintEvent(QPaintEvent *event)
{
    Browser::paintEvent(event);
    // Made on the next turn of the event loop, once this frame is on screen.
    if (!m_view && !m_viewQueued) {
        m_viewQueued = true;
        QTimer::singleShot(0, this, [this] { view(); });
    }
}

} // namespace kinolark::shell

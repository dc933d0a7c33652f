#include "shell/web_engine_browser.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace kinolark::shell {

WebEngineBrowser::WebEngineBrowser(QWidget *parent)
    : Browser(parent)
    , m_view(new QWebEngineView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    setFocusPolicy(Qt::StrongFocus);

    QWebEngineSettings *settings = m_view->settings();
    // The program's pages declare no charset; they are written in GBK.
    settings->setDefaultTextEncoding(QStringLiteral("GBK"));
    // They are local files that load the site's scripts and pages.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
}

void WebEngineBrowser::navigate(const QString &address)
{
    const bool isWebAddress = address.startsWith(QStringLiteral("about:"))
                              || address.contains(QStringLiteral("://"));
    m_view->load(isWebAddress ? QUrl(address) : QUrl::fromLocalFile(address));
}

} // namespace kinolark::shell

#include "recording_browser.h"

RecordingBrowser::RecordingBrowser(QWidget *parent, Log *log)
    : Browser(parent)
    , m_log(log)
{
    setFocusPolicy(Qt::StrongFocus);
}

void RecordingBrowser::navigate(const QString &address)
{
    if (!m_page) {
        m_page = new QWidget(this);
        m_page->setObjectName(QStringLiteral("page"));
        m_page->setFocusPolicy(Qt::StrongFocus);
        m_page->setGeometry(rect());
        m_page->show();
        setFocusProxy(m_page);
    }
    m_addresses << address;
    if (m_log)
        m_log->append({objectName(), address});
}

kinolark::shell::BrowserFactory recordingBrowsers(RecordingBrowser::Log *log)
{
    return [log](QWidget *parent) { return new RecordingBrowser(parent, log); };
}

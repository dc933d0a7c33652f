#include "recording_browser.h"

RecordingBrowser::RecordingBrowser(QWidget *parent, Log *log)
    : Browser(parent)
    , m_log(log)
{
    setFocusPolicy(Qt::StrongFocus);
}

void RecordingBrowser::navigate(const QString &address)
{
    m_addresses << address;
    if (m_log)
        m_log->append({objectName(), address});
    emit pageStarting(addressUrl(address));
}

kinolark::shell::BrowserFactory recordingBrowsers(RecordingBrowser::Log *log)
{
    return [log](QWidget *parent) { return new RecordingBrowser(parent, log); };
}

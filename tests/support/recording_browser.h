#pragma once

#include "shell/browser.h"

#include <QList>
#include <QPair>
#include <QStringList>

// Stands in for the web engine: remembers every navigation, in order, in a
// log shared by all browsers of a window. Like the real one, it makes its
// focusable page widget only once it is first asked to show something.
class RecordingBrowser : public kinolark::shell::Browser
{
    Q_OBJECT
public:
    using Log = QList<QPair<QString, QString>>; // (browser name, address)

    RecordingBrowser(QWidget *parent, Log *log);
    void navigate(const QString &address) override;

    QStringList addresses() const { return m_addresses; }
    QString current() const { return m_addresses.isEmpty() ? QString() : m_addresses.last(); }
    void clear() { m_addresses.clear(); }

private:
    Log *m_log;
    QWidget *m_page = nullptr;
    QStringList m_addresses;
};

// A factory for the window that hands out recording browsers.
kinolark::shell::BrowserFactory recordingBrowsers(RecordingBrowser::Log *log);

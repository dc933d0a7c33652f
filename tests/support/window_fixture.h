#pragma once

#include "recording_browser.h"
#include "recording_messages.h"
#include "shell/main_window.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <memory>

// A window in a fresh application folder, with recording browsers and
// messages, a fixed date, and a site nobody listens on unless a test says so.
struct WindowFixture
{
    explicit WindowFixture(const QString &site = QStringLiteral("http://127.0.0.1:9"))
    {
        services.appFolder = folder.path();
        services.site = site;
        services.network = &network;
        services.makeBrowser = recordingBrowsers(&navigations);
        services.messages = &messages;
        services.today = [this] { return today; };
        services.requestTimeoutMs = 5000;
    }

    kinolark::shell::frmMain &make()
    {
        window = std::make_unique<kinolark::shell::frmMain>(services);
        return *window;
    }

    QString file(const QString &name) const { return folder.filePath(name); }
    RecordingBrowser *browser1() const { return static_cast<RecordingBrowser *>(window->WebBrowser1); }
    RecordingBrowser *browser2() const { return static_cast<RecordingBrowser *>(window->WebBrowser2); }

    QTemporaryDir folder;
    QNetworkAccessManager network;
    RecordingBrowser::Log navigations;
    RecordingMessages messages;
    QString today = QStringLiteral("2026/12/7");
    kinolark::shell::Services services;
    std::unique_ptr<kinolark::shell::frmMain> window;
};

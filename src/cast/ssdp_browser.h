#pragma once

#include "cast/gobject_ptr.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

namespace kinolark::cast {

// SSDP for MediaRenderer devices on every IPv4 network the machine has:
// GUPnP's context manager gives one context per network, and each gets a
// GSSDP resource browser that searches when it starts and follows
// announcements, byebyes and expiry. All of it runs on GLib's main loop.
class SsdpBrowser : public QObject
{
    Q_OBJECT
public:
    // A browser that has cached this many announcements is cleared and
    // searches again, so a flood of invented devices cannot grow its cache
    // without end.
    static constexpr int maxCached = 512;

    explicit SsdpBrowser(QObject *parent = nullptr);
    ~SsdpBrowser() override;

    // Opens the networks without a word on them: for calls to a device
    // added by hand.
    void start();
    bool started() const { return bool(m_manager); }
    // Searches on every network, and from then on listens for
    // announcements, on networks that come up later too.
    void search();

    // The context whose network holds `host` (an address), else any; null
    // while no network is up.
    GUPnPContext *contextFor(const QString &host) const;
    int networkCount() const { return int(m_networks.size()); }

signals:
    void available(const QString &udn, const QUrl &location, GUPnPContext *context);
    void unavailable(const QString &udn, GUPnPContext *context);
    // The browser of `context` forgot what it had seen (flood, or the network went away).
    void forgotten(GUPnPContext *context);
    void networkAdded(GUPnPContext *context);

private:
    struct Network
    {
        SsdpBrowser *owner = nullptr;
        GObjectPtr<GUPnPContext> context;
        GObjectPtr<GSSDPResourceBrowser> browser;
        int cached = 0;
        bool restartPending = false;
    };

    static void onContextAvailable(GUPnPContextManager *manager, GUPnPContext *context, gpointer self);
    static void onContextUnavailable(GUPnPContextManager *manager, GUPnPContext *context, gpointer self);
    static void onResourceAvailable(GSSDPResourceBrowser *browser, const char *usn, GList *locations,
                                    gpointer network);
    static void onResourceUnavailable(GSSDPResourceBrowser *browser, const char *usn, gpointer network);
    static QString udnOf(const char *usn);
    void restart(Network *network);

    GObjectPtr<GUPnPContextManager> m_manager;
    bool m_active = false;
    std::vector<std::unique_ptr<Network>> m_networks;
};

} // namespace kinolark::cast

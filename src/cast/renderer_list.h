#pragma once

#include "cast/renderer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
typedef struct _GUPnPContext GUPnPContext;

namespace kinolark::cast {

class DescriptionFetch;
class SsdpBrowser;

// The media renderers on the LAN, for "投屏到…": found with SSDP (a search,
// then announcements; a byebye or an expired announcement takes a device
// away) or added by the address of their description.
//
// The list is bounded: at most `maxRenderers` renderers and `maxPerHost`
// from one address, a device is one entry however often it announces
// itself, and descriptions are fetched a few at a time, so a flood of
// invented devices costs little and cannot push a real TV out. A device
// whose description is not sound (not XML, too large, control addresses
// elsewhere than its own host or not http) is left out with a log line.
class RendererList : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool searching READ searching NOTIFY searchingChanged)
public:
    static constexpr int maxRenderers = 64;
    static constexpr int maxPerHost = 8;
    static constexpr int searchMs = 3000;

    // `network` fetches the descriptions.
    explicit RendererList(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~RendererList() override;

    // In the order they were found.
    QList<Renderer> renderers() const;
    // Invalid when not listed.
    Renderer renderer(const QString &id) const;

    // For "正在搜索设备…": true for a few seconds after search().
    bool searching() const { return m_searching; }
    // Searches the LAN; the first call also starts listening for announcements.
    void search();
    // "手动添加设备…": an http address of a device description. Ends with
    // addFinished; the renderer is then listed (added, or changed when it
    // was listed already) and stays until the program ends.
    void addByDescription(const QUrl &url);

signals:
    void added(const kinolark::cast::Renderer &renderer);
    void changed(const kinolark::cast::Renderer &renderer);
    void removed(const QString &id);
    void searchingChanged(bool searching);
    // `errorText` is empty when the device was added, else a Chinese message.
    void addFinished(const QUrl &url, const QString &errorText);

private:
    struct Job;
    struct Jobs;
    struct Entry
    {
        Renderer renderer;
        QSet<const void *> seenOn; // the networks whose browser has it
        qint64 confirmBy = 0;      // must be seen again by then (ms on m_clock), 0 when not
    };

    void onAvailable(const QString &udn, const QUrl &location, GUPnPContext *context);
    void onUnavailable(const QString &udn, GUPnPContext *context);
    void onForgotten(GUPnPContext *context);
    void onNetworkAdded();
    void onFetched(DescriptionFetch *fetch, const QByteArray &body, const QString &error);
    void accept(const Job &job, const QByteArray &body, GUPnPContext *context);
    void finishManual(const Job &job, const QString &errorText);
    void pump();
    void sweep();
    void drop(const QString &why);
    void reject(const QString &udn, qint64 forMs);
    void remove(const QString &id);
    bool pending(const QString &udn) const;
    int onHost(const QString &host) const;

    QNetworkAccessManager *m_network;
    SsdpBrowser *m_ssdp;
    QStringList m_order;
    QHash<QString, Entry> m_entries;
    std::unique_ptr<Jobs> m_jobs;
    QHash<QString, qint64> m_rejected;          // UDN → until when (m_clock)
    QElapsedTimer m_clock;
    QTimer m_sweep;
    QTimer m_searchWindow;
    QTimer m_networkWait;
    bool m_searching = false;
    int m_dropped = 0;
    qint64 m_lastDropLog = -1000000;
};

} // namespace kinolark::cast

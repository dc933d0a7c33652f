#include "cast/gupnp_includes.h"

#include "cast/renderer_list.h"

#include "cast/cast_log.h"
#include "cast/description_fetch.h"
#include "cast/renderer_device.h"
#include "cast/ssdp_browser.h"

#include <QHostAddress>

namespace kinolark::cast {

namespace {
constexpr int maxFetches = 4;     // descriptions fetched at once
constexpr int maxQueued = 32;     // waiting to be fetched
constexpr int maxPendingPerHost = 2;
constexpr int fetchTimeoutMs = 5000;
constexpr int confirmMs = 5000;   // a forgotten device must be seen again within this
constexpr int networkWaitMs = 3000;
constexpr qint64 rejectMs = 10 * 60 * 1000; // a device with a bad description is not fetched again for this long
constexpr qint64 retryMs = 30 * 1000;       // one that did not answer, for this long
constexpr int maxRejected = 256;
} // namespace

struct RendererList::Job
{
    QString udn; // the announced device; empty for one added by hand
    QUrl url;
    GObjectPtr<GUPnPContext> context;
    bool manual = false;
};

struct RendererList::Jobs
{
    QList<Job> queued;
    QHash<DescriptionFetch *, Job> running;
    QList<QPair<Job, QByteArray>> waiting; // fetched by hand before any network was up
};

RendererList::RendererList(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network), m_ssdp(new SsdpBrowser(this)), m_jobs(std::make_unique<Jobs>())
{
    m_clock.start();
    connect(m_ssdp, &SsdpBrowser::available, this, &RendererList::onAvailable);
    connect(m_ssdp, &SsdpBrowser::unavailable, this, &RendererList::onUnavailable);
    connect(m_ssdp, &SsdpBrowser::forgotten, this, &RendererList::onForgotten);
    connect(m_ssdp, &SsdpBrowser::networkAdded, this, &RendererList::onNetworkAdded);
    m_sweep.setInterval(1000);
    connect(&m_sweep, &QTimer::timeout, this, &RendererList::sweep);
    m_searchWindow.setSingleShot(true);
    connect(&m_searchWindow, &QTimer::timeout, this, [this] {
        m_searching = false;
        emit searchingChanged(false);
    });
    m_networkWait.setSingleShot(true);
    connect(&m_networkWait, &QTimer::timeout, this, [this] {
        const auto waiting = std::exchange(m_jobs->waiting, {});
        for (const auto &[job, body] : waiting)
            finishManual(job, QStringLiteral("没有可用的网络连接。"));
    });
}

RendererList::~RendererList() = default;

QList<Renderer> RendererList::renderers() const
{
    QList<Renderer> list;
    list.reserve(m_order.size());
    for (const QString &id : m_order)
        list << m_entries.value(id).renderer;
    return list;
}

Renderer RendererList::renderer(const QString &id) const
{
    return m_entries.value(id).renderer;
}

void RendererList::search()
{
    m_ssdp->search();
    m_searchWindow.start(searchMs);
    if (!m_searching) {
        m_searching = true;
        emit searchingChanged(true);
    }
}

void RendererList::addByDescription(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        emit addFinished(url, QStringLiteral("设备描述的地址必须是 http 地址。"));
        return;
    }
    // The networks give GUPnP its HTTP session for the device's services.
    m_ssdp->start();
    m_jobs->queued.prepend(Job{QString(), url, {}, true});
    pump();
}

bool RendererList::pending(const QString &udn) const
{
    for (const Job &job : m_jobs->queued) {
        if (job.udn == udn)
            return true;
    }
    for (const Job &job : m_jobs->running) {
        if (job.udn == udn)
            return true;
    }
    return false;
}

int RendererList::onHost(const QString &host) const
{
    int count = 0;
    for (const Entry &entry : m_entries)
        count += entry.renderer.descriptionUrl.host() == host ? 1 : 0;
    for (const Job &job : m_jobs->queued)
        count += job.url.host() == host ? 1 : 0;
    for (const Job &job : m_jobs->running)
        count += job.url.host() == host ? 1 : 0;
    return count;
}

void RendererList::onAvailable(const QString &udn, const QUrl &location, GUPnPContext *context)
{
    // Devices announce themselves by address: a name to look up would leak to DNS.
    if (!location.isValid() || location.scheme() != QLatin1String("http")
        || QHostAddress(location.host()).isNull()) {
        drop(QStringLiteral("%1 announced a description at %2, not at an http address").arg(udn, location.toString()));
        return;
    }
    const auto it = m_entries.find(udn);
    if (it != m_entries.end()) {
        it->seenOn.insert(context);
        it->confirmBy = 0;
        if (it->renderer.descriptionUrl == location || it->renderer.manual)
            return;
        // It moved to another address: listed again once the new description is read.
    } else if (m_rejected.value(udn, -1) > m_clock.elapsed()) {
        return;
    }
    if (pending(udn))
        return;
    int pendingOnHost = 0;
    for (const Job &job : m_jobs->queued)
        pendingOnHost += job.url.host() == location.host() ? 1 : 0;
    for (const Job &job : m_jobs->running)
        pendingOnHost += job.url.host() == location.host() ? 1 : 0;
    if (it == m_entries.end()
        && (m_entries.size() >= maxRenderers || onHost(location.host()) >= maxPerHost
            || pendingOnHost >= maxPendingPerHost || m_jobs->queued.size() >= maxQueued)) {
        drop(QStringLiteral("renderer list or description queue full for %1").arg(location.host()));
        return;
    }
    m_jobs->queued.append(Job{udn, location, GObjectPtr<GUPnPContext>::shared(context), false});
    pump();
}

void RendererList::onUnavailable(const QString &udn, GUPnPContext *)
{
    // A byebye is the device's own word, whichever network it came by; an
    // expiry on one network where the device is still seen on another is
    // rare enough to go with it.
    const auto it = m_entries.find(udn);
    if (it != m_entries.end() && !it->renderer.manual)
        remove(udn);
}

void RendererList::onForgotten(GUPnPContext *context)
{
    for (Entry &entry : m_entries) {
        if (!entry.seenOn.remove(context) || !entry.seenOn.isEmpty() || entry.renderer.manual)
            continue;
        if (entry.confirmBy == 0)
            entry.confirmBy = m_clock.elapsed() + confirmMs;
    }
    m_sweep.start();
}

void RendererList::onNetworkAdded()
{
    m_networkWait.stop();
    const auto waiting = std::exchange(m_jobs->waiting, {});
    for (const auto &[job, body] : waiting)
        accept(job, body, m_ssdp->contextFor(job.url.host()));
}

void RendererList::pump()
{
    while (m_jobs->running.size() < maxFetches && !m_jobs->queued.isEmpty()) {
        const Job job = m_jobs->queued.takeFirst();
        auto *fetch = new DescriptionFetch(m_network, job.url, RendererDevice::maxDescriptionBytes, fetchTimeoutMs,
                                           this);
        m_jobs->running.insert(fetch, job);
        connect(fetch, &DescriptionFetch::finished, this,
                [this, fetch](const QByteArray &body, const QString &error) { onFetched(fetch, body, error); });
    }
}

void RendererList::onFetched(DescriptionFetch *fetch, const QByteArray &body, const QString &error)
{
    const Job job = m_jobs->running.take(fetch);
    fetch->deleteLater();
    pump();
    if (!error.isEmpty()) {
        qCWarning(castLog).noquote() << "ignoring the device at" << job.url.toString() << "-" << error;
        if (job.manual) {
            const bool large = error.startsWith(QLatin1String("description larger"));
            finishManual(job, large ? QStringLiteral("无法添加设备：设备描述过大。")
                                    : QStringLiteral("无法读取设备描述：%1没有应答。").arg(job.url.host()));
        } else {
            reject(job.udn, error.startsWith(QLatin1String("description larger")) ? rejectMs : retryMs);
        }
        return;
    }
    GUPnPContext *context = job.context ? job.context.get() : m_ssdp->contextFor(job.url.host());
    if (!context) {
        // The networks come up on the loop's first turns; a description read by hand may be quicker.
        m_jobs->waiting.append({job, body});
        if (!m_networkWait.isActive())
            m_networkWait.start(networkWaitMs);
        return;
    }
    accept(job, body, context);
}

void RendererList::accept(const Job &job, const QByteArray &body, GUPnPContext *context)
{
    QString why;
    const auto device = RendererDevice::fromDescription(context, job.url, body, job.udn, &why);
    if (!device) {
        qCWarning(castLog).noquote() << "ignoring the device at" << job.url.toString() << "-" << why;
        if (job.manual)
            finishManual(job, QStringLiteral("无法添加设备：这个地址上没有可用的媒体渲染器。"));
        else
            reject(job.udn, rejectMs);
        return;
    }
    Renderer renderer;
    renderer.id = device->udn();
    renderer.friendlyName = device->friendlyName();
    renderer.address = device->address();
    renderer.descriptionUrl = job.url;
    renderer.device = device;

    const auto it = m_entries.find(renderer.id);
    if (it != m_entries.end()) {
        renderer.manual = job.manual || it->renderer.manual;
        it->renderer = renderer;
        if (!job.manual)
            it->seenOn.insert(context);
        emit changed(renderer);
    } else {
        // A device added by hand is the user's own choice: no cap for it.
        if (!job.manual && m_entries.size() >= maxRenderers) {
            drop(QStringLiteral("renderer list full"));
            return;
        }
        renderer.manual = job.manual;
        Entry entry;
        entry.renderer = renderer;
        if (!job.manual)
            entry.seenOn.insert(context);
        m_entries.insert(renderer.id, entry);
        m_order << renderer.id;
        emit added(renderer);
    }
    if (job.manual)
        finishManual(job, QString());
}

void RendererList::finishManual(const Job &job, const QString &errorText)
{
    emit addFinished(job.url, errorText);
}

void RendererList::sweep()
{
    const qint64 now = m_clock.elapsed();
    bool waiting = false;
    const QStringList ids = m_order;
    for (const QString &id : ids) {
        const Entry &entry = m_entries[id];
        if (entry.confirmBy != 0 && entry.confirmBy <= now)
            remove(id);
        else
            waiting = waiting || entry.confirmBy != 0;
    }
    for (auto it = m_rejected.begin(); it != m_rejected.end();)
        it = it.value() <= now ? m_rejected.erase(it) : std::next(it);
    if (!waiting)
        m_sweep.stop();
}

void RendererList::drop(const QString &why)
{
    ++m_dropped;
    // One line a second at most: a flood must not become a flood of log lines.
    if (m_clock.elapsed() - m_lastDropLog < 1000)
        return;
    qCWarning(castLog).noquote() << "ignoring" << m_dropped << "announcement(s):" << why;
    m_dropped = 0;
    m_lastDropLog = m_clock.elapsed();
}

void RendererList::reject(const QString &udn, qint64 forMs)
{
    if (udn.isEmpty())
        return;
    if (m_rejected.size() >= maxRejected)
        m_rejected.clear();
    m_rejected.insert(udn, m_clock.elapsed() + forMs);
}

void RendererList::remove(const QString &id)
{
    if (!m_entries.remove(id))
        return;
    m_order.removeOne(id);
    emit removed(id);
}

} // namespace kinolark::cast

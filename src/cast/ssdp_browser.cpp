#include "cast/gupnp_includes.h"

#include "cast/ssdp_browser.h"

#include "cast/cast_log.h"

#include <utility>

namespace kinolark::cast {

namespace {
const char rendererTarget[] = "urn:schemas-upnp-org:device:MediaRenderer:1";
}

SsdpBrowser::SsdpBrowser(QObject *parent)
    : QObject(parent)
{
}

SsdpBrowser::~SsdpBrowser()
{
    if (m_manager)
        g_signal_handlers_disconnect_by_data(m_manager.get(), this);
    for (const auto &network : m_networks) {
        g_signal_handlers_disconnect_by_data(network->browser.get(), network.get());
        gssdp_resource_browser_set_active(network->browser.get(), FALSE);
    }
}

void SsdpBrowser::start()
{
    if (m_manager)
        return;
    // IPv4 only, as TVs are; port 0 lets each context's HTTP server take a free port.
    m_manager = GObjectPtr<GUPnPContextManager>(
        gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0));
    g_signal_connect(m_manager.get(), "context-available", G_CALLBACK(onContextAvailable), this);
    g_signal_connect(m_manager.get(), "context-unavailable", G_CALLBACK(onContextUnavailable), this);
}

void SsdpBrowser::search()
{
    start();
    const bool wasActive = std::exchange(m_active, true);
    for (const auto &network : m_networks) {
        // Activating searches; an active browser searches again unless it is at it.
        if (wasActive)
            gssdp_resource_browser_rescan(network->browser.get());
        else
            gssdp_resource_browser_set_active(network->browser.get(), TRUE);
    }
}

GUPnPContext *SsdpBrowser::contextFor(const QString &host) const
{
    if (m_networks.empty())
        return nullptr;
    GInetAddress *address = g_inet_address_new_from_string(host.toUtf8().constData());
    GUPnPContext *found = nullptr;
    for (const auto &network : m_networks) {
        GInetAddressMask *mask = gssdp_client_get_address_mask(GSSDP_CLIENT(network->context.get()));
        const bool holds = address && mask && g_inet_address_mask_matches(mask, address);
        if (mask)
            g_object_unref(mask);
        if (holds) {
            found = network->context.get();
            break;
        }
    }
    if (address)
        g_object_unref(address);
    return found ? found : m_networks.front()->context.get();
}

void SsdpBrowser::onContextAvailable(GUPnPContextManager *, GUPnPContext *context, gpointer self)
{
    auto *owner = static_cast<SsdpBrowser *>(self);
    // The renderers are on the LAN: an http_proxy of the desktop's must not carry their calls.
    soup_session_set_proxy_resolver(gupnp_context_get_session(context), nullptr);
    auto network = std::make_unique<Network>();
    network->owner = owner;
    network->context = GObjectPtr<GUPnPContext>::shared(context);
    network->browser =
        GObjectPtr<GSSDPResourceBrowser>(gssdp_resource_browser_new(GSSDP_CLIENT(context), rendererTarget));
    // Renderers answer a search within MX seconds, at random: one keeps the wait short.
    gssdp_resource_browser_set_mx(network->browser.get(), 1);
    g_signal_connect(network->browser.get(), "resource-available", G_CALLBACK(onResourceAvailable),
                     network.get());
    g_signal_connect(network->browser.get(), "resource-unavailable", G_CALLBACK(onResourceUnavailable),
                     network.get());
    qCDebug(castLog) << "searching on" << gssdp_client_get_interface(GSSDP_CLIENT(context))
                     << gssdp_client_get_host_ip(GSSDP_CLIENT(context));
    GSSDPResourceBrowser *browser = network->browser.get();
    owner->m_networks.push_back(std::move(network));
    if (owner->m_active)
        gssdp_resource_browser_set_active(browser, TRUE);
    emit owner->networkAdded(context);
}

void SsdpBrowser::onContextUnavailable(GUPnPContextManager *, GUPnPContext *context, gpointer self)
{
    auto *owner = static_cast<SsdpBrowser *>(self);
    for (auto it = owner->m_networks.begin(); it != owner->m_networks.end(); ++it) {
        if ((*it)->context.get() != context)
            continue;
        g_signal_handlers_disconnect_by_data((*it)->browser.get(), it->get());
        gssdp_resource_browser_set_active((*it)->browser.get(), FALSE);
        // Kept alive until the signal is out: listeners compare the pointer.
        const GObjectPtr<GUPnPContext> keep = (*it)->context;
        owner->m_networks.erase(it);
        emit owner->forgotten(keep.get());
        return;
    }
}

QString SsdpBrowser::udnOf(const char *usn)
{
    // "uuid:XXXX::urn:schemas-upnp-org:device:MediaRenderer:1"
    const QString text = QString::fromUtf8(usn);
    const qsizetype end = text.indexOf(QLatin1String("::"));
    const QString udn = end < 0 ? text : text.left(end);
    return udn.startsWith(QLatin1String("uuid:")) && udn.size() > 5 && udn.size() <= 200 ? udn : QString();
}

void SsdpBrowser::onResourceAvailable(GSSDPResourceBrowser *, const char *usn, GList *locations, gpointer data)
{
    auto *network = static_cast<Network *>(data);
    SsdpBrowser *owner = network->owner;
    if (++network->cached > maxCached) {
        // Not from inside the browser's own signal: clearing frees what it is working on.
        if (!network->restartPending) {
            network->restartPending = true;
            GUPnPContext *context = network->context.get();
            QMetaObject::invokeMethod(
                owner,
                [owner, context] {
                    for (const auto &candidate : owner->m_networks) {
                        if (candidate->context.get() == context)
                            owner->restart(candidate.get());
                    }
                },
                Qt::QueuedConnection);
        }
        return;
    }
    const QString udn = udnOf(usn);
    if (udn.isEmpty() || !locations || !locations->data)
        return;
    const QUrl location(QString::fromUtf8(static_cast<const char *>(locations->data)), QUrl::StrictMode);
    emit owner->available(udn, location, network->context.get());
}

void SsdpBrowser::onResourceUnavailable(GSSDPResourceBrowser *, const char *usn, gpointer data)
{
    auto *network = static_cast<Network *>(data);
    if (network->cached > 0)
        --network->cached;
    const QString udn = udnOf(usn);
    if (!udn.isEmpty())
        emit network->owner->unavailable(udn, network->context.get());
}

void SsdpBrowser::restart(Network *network)
{
    qCWarning(castLog) << "more than" << maxCached << "renderers announced on"
                       << gssdp_client_get_interface(GSSDP_CLIENT(network->context.get()))
                       << "- forgetting them and searching again";
    network->cached = 0;
    network->restartPending = false;
    // Inactive, the browser drops its cache without a signal; active again, it searches.
    gssdp_resource_browser_set_active(network->browser.get(), FALSE);
    gssdp_resource_browser_set_active(network->browser.get(), TRUE);
    emit forgotten(network->context.get());
}

} // namespace kinolark::cast

#include "cast/gupnp_includes.h"

#include "cast/renderer_device.h"

#include <QRegularExpression>

#include <cstring>

namespace kinolark::cast {

namespace {

const char mediaRendererType[] = "urn:schemas-upnp-org:device:MediaRenderer:";
const char avTransportType[] = "urn:schemas-upnp-org:service:AVTransport:1";
const char renderingControlType[] = "urn:schemas-upnp-org:service:RenderingControl:1";

bool named(const xmlNode *node, const char *name)
{
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

xmlNode *child(xmlNode *parent, const char *name)
{
    for (xmlNode *node = parent ? parent->children : nullptr; node; node = node->next) {
        if (named(node, name))
            return node;
    }
    return nullptr;
}

QString childText(xmlNode *parent, const char *name)
{
    xmlNode *node = child(parent, name);
    if (!node)
        return {};
    xmlChar *content = xmlNodeGetContent(node);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(content)).trimmed();
    xmlFree(content);
    return text;
}

// The MediaRenderer among `device` and its embedded devices.
xmlNode *findRenderer(xmlNode *device, int depth = 0)
{
    if (!device || depth > 4)
        return nullptr;
    if (childText(device, "deviceType").startsWith(QLatin1String(mediaRendererType)))
        return device;
    for (xmlNode *node = child(child(device, "deviceList"), "device"); node; node = node->next) {
        if (!named(node, "device"))
            continue;
        if (xmlNode *found = findRenderer(node, depth + 1))
            return found;
    }
    return nullptr;
}

QString cleanName(const QString &name)
{
    static const QRegularExpression controls(QStringLiteral("[\\x00-\\x1f\\x7f]"));
    QString clean = QString(name).replace(controls, QStringLiteral(" ")).simplified();
    if (clean.size() > 80)
        clean = clean.left(80);
    return clean;
}

// The service's control address, when it is http on the description's host.
GObjectPtr<GUPnPServiceProxy> checkedService(GUPnPDeviceProxy *device, const char *type, const QUrl &description,
                                             QString *error)
{
    GObjectPtr<GUPnPServiceInfo> info(gupnp_device_info_get_service(GUPNP_DEVICE_INFO(device), type));
    if (!info || !GUPNP_IS_SERVICE_PROXY(info.get()))
        return {};
    char *address = gupnp_service_info_get_control_url(info.get());
    const QUrl control(QString::fromUtf8(address), QUrl::StrictMode);
    g_free(address);
    if (!control.isValid() || control.scheme() != QLatin1String("http")
        || control.host().compare(description.host(), Qt::CaseInsensitive) != 0 || control.host().isEmpty()) {
        *error = QStringLiteral("control address %1 of %2 is not http on the device's host %3")
                     .arg(control.toString(), QLatin1String(type), description.host());
        return {};
    }
    return GObjectPtr<GUPnPServiceProxy>::shared(GUPNP_SERVICE_PROXY(info.get()));
}

} // namespace

std::shared_ptr<RendererDevice> RendererDevice::fromDescription(GUPnPContext *context, const QUrl &url,
                                                                const QByteArray &description,
                                                                const QString &expectedUdn, QString *error)
{
    error->clear();
    if (description.size() > maxDescriptionBytes) {
        *error = QStringLiteral("description larger than %1 bytes").arg(maxDescriptionBytes);
        return nullptr;
    }
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        *error = QStringLiteral("description address is not http");
        return nullptr;
    }
    // No network, no recovery from broken XML, no messages on the console.
    xmlDoc *document = xmlReadMemory(description.constData(), int(description.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) {
        *error = QStringLiteral("description is not XML");
        return nullptr;
    }
    GObjectPtr<GUPnPXMLDoc> xml(gupnp_xml_doc_new(document));
    // Descriptions have no use for a DTD; its entities could swell any text read later.
    if (document->intSubset || document->extSubset) {
        *error = QStringLiteral("description has a DTD");
        return nullptr;
    }
    xmlNode *root = xmlDocGetRootElement(document);
    if (!root || !named(root, "root")) {
        *error = QStringLiteral("description has no <root>");
        return nullptr;
    }
    xmlNode *renderer = findRenderer(child(root, "device"));
    if (!renderer) {
        *error = QStringLiteral("description names no MediaRenderer");
        return nullptr;
    }
    auto device = std::shared_ptr<RendererDevice>(new RendererDevice);
    device->m_udn = childText(renderer, "UDN");
    if (device->m_udn.isEmpty() || device->m_udn.size() > 200) {
        *error = QStringLiteral("description has no usable UDN");
        return nullptr;
    }
    if (!expectedUdn.isEmpty() && device->m_udn != expectedUdn) {
        *error = QStringLiteral("description is of %1, not of the announced %2").arg(device->m_udn, expectedUdn);
        return nullptr;
    }
    device->m_descriptionUrl = url;

    // Relative control addresses resolve against URLBase, else the description's address.
    QString base = childText(root, "URLBase");
    if (base.isEmpty())
        base = url.toString();
    GUri *urlBase = g_uri_parse(base.toUtf8().constData(), G_URI_FLAGS_NONE, nullptr);
    if (!urlBase) {
        *error = QStringLiteral("description has an unusable URLBase");
        return nullptr;
    }
    const QByteArray location = url.toEncoded();
    const QByteArray udn = device->m_udn.toUtf8();
    device->m_context = GObjectPtr<GUPnPContext>::shared(context);
    // What GUPnP's own control point does with a description it fetched.
    device->m_device = GObjectPtr<GUPnPDeviceProxy>(GUPNP_DEVICE_PROXY(
        g_object_new(GUPNP_TYPE_DEVICE_PROXY, "resource-factory", gupnp_resource_factory_get_default(), "context",
                     context, "location", location.constData(), "udn", udn.constData(), "url-base", urlBase,
                     "document", xml.get(), "element", renderer, nullptr)));
    g_uri_unref(urlBase);

    char *friendly = gupnp_device_info_get_friendly_name(GUPNP_DEVICE_INFO(device->m_device.get()));
    device->m_friendlyName = cleanName(QString::fromUtf8(friendly));
    g_free(friendly);
    if (device->m_friendlyName.isEmpty()) {
        char *model = gupnp_device_info_get_model_name(GUPNP_DEVICE_INFO(device->m_device.get()));
        device->m_friendlyName = cleanName(QString::fromUtf8(model));
        g_free(model);
    }
    if (device->m_friendlyName.isEmpty())
        device->m_friendlyName = QStringLiteral("未命名设备");

    device->m_avTransport = checkedService(device->m_device.get(), avTransportType, url, error);
    if (!device->m_avTransport) {
        if (error->isEmpty())
            *error = QStringLiteral("description has no AVTransport service");
        return nullptr;
    }
    device->m_renderingControl = checkedService(device->m_device.get(), renderingControlType, url, error);
    if (!error->isEmpty())
        return nullptr;
    return device;
}

QString RendererDevice::address() const
{
    return m_descriptionUrl.host() + QLatin1Char(':') + QString::number(m_descriptionUrl.port(80));
}

} // namespace kinolark::cast

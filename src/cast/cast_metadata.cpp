#include "cast/gupnp_includes.h"

#include "cast/cast_metadata.h"
#include "cast/gobject_ptr.h"

#include <QUrl>

namespace kinolark::cast {

bool isCastable(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

QString mimeTypeFor(const QString &address)
{
    static const struct
    {
        const char *suffix;
        const char *type;
    } types[] = {
        {".mp4", "video/mp4"},        {".m4v", "video/mp4"},        {".m3u8", "application/vnd.apple.mpegurl"},
        {".ts", "video/mp2t"},        {".flv", "video/x-flv"},      {".mkv", "video/x-matroska"},
        {".webm", "video/webm"},      {".mov", "video/quicktime"},  {".avi", "video/x-msvideo"},
        {".wmv", "video/x-ms-wmv"},   {".mpg", "video/mpeg"},       {".mpeg", "video/mpeg"},
    };
    const QString path = QUrl(address.trimmed()).path().toLower();
    for (const auto &type : types) {
        if (path.endsWith(QLatin1String(type.suffix)))
            return QLatin1String(type.type);
    }
    return QStringLiteral("*");
}

QString protocolInfoFor(const QString &address)
{
    GObjectPtr<GUPnPProtocolInfo> info(gupnp_protocol_info_new());
    gupnp_protocol_info_set_protocol(info.get(), "http-get");
    gupnp_protocol_info_set_network(info.get(), "*");
    gupnp_protocol_info_set_mime_type(info.get(), mimeTypeFor(address).toUtf8().constData());
    char *text = gupnp_protocol_info_to_string(info.get());
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString didlLiteFor(const QString &title, const QString &address)
{
    GObjectPtr<GUPnPDIDLLiteWriter> writer(gupnp_didl_lite_writer_new(nullptr));
    GObjectPtr<GUPnPDIDLLiteItem> item(gupnp_didl_lite_writer_add_item(writer.get()));
    auto *object = GUPNP_DIDL_LITE_OBJECT(item.get());
    gupnp_didl_lite_object_set_id(object, "0");
    gupnp_didl_lite_object_set_parent_id(object, "-1");
    gupnp_didl_lite_object_set_restricted(object, TRUE);
    gupnp_didl_lite_object_set_title(object, title.toUtf8().constData());
    gupnp_didl_lite_object_set_upnp_class(object, "object.item.videoItem");

    GObjectPtr<GUPnPDIDLLiteResource> resource(gupnp_didl_lite_object_add_resource(object));
    gupnp_didl_lite_resource_set_uri(resource.get(), address.trimmed().toUtf8().constData());
    GObjectPtr<GUPnPProtocolInfo> info(
        gupnp_protocol_info_new_from_string(protocolInfoFor(address).toUtf8().constData(), nullptr));
    if (info)
        gupnp_didl_lite_resource_set_protocol_info(resource.get(), info.get());

    char *text = gupnp_didl_lite_writer_get_string(writer.get());
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

} // namespace kinolark::cast

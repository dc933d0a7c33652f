#pragma once

#include "cast/gobject_ptr.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>

namespace kinolark::cast {

// A media renderer's parsed description and GUPnP's proxies for its
// AVTransport and RenderingControl services. It is made only when the
// description is sound XML for a MediaRenderer whose control addresses are
// http on the host the description came from: those are the only addresses
// ever called.
class RendererDevice
{
public:
    static constexpr qsizetype maxDescriptionBytes = 512 * 1024;

    // Parses `description`, fetched from `url`. When `expectedUdn` is given
    // (an SSDP announcement's), the description must name that device.
    // Null with `error` (English, for the log) when the device is ignored.
    static std::shared_ptr<RendererDevice> fromDescription(GUPnPContext *context, const QUrl &url,
                                                           const QByteArray &description,
                                                           const QString &expectedUdn, QString *error);

    QString udn() const { return m_udn; }
    QString friendlyName() const { return m_friendlyName; }
    QUrl descriptionUrl() const { return m_descriptionUrl; }
    // "host:port" of the description.
    QString address() const;

    GUPnPServiceProxy *avTransport() const { return m_avTransport.get(); }
    // Null when the device has no RenderingControl: no volume then.
    GUPnPServiceProxy *renderingControl() const { return m_renderingControl.get(); }

private:
    RendererDevice() = default;

    QString m_udn;
    QString m_friendlyName;
    QUrl m_descriptionUrl;
    GObjectPtr<GUPnPContext> m_context;
    GObjectPtr<GUPnPDeviceProxy> m_device;
    GObjectPtr<GUPnPServiceProxy> m_avTransport;
    GObjectPtr<GUPnPServiceProxy> m_renderingControl;
};

} // namespace kinolark::cast

#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>

#include <memory>

namespace kinolark::cast {

class RendererDevice;

// One media renderer as the window lists it. Two renderers may share a
// friendly name; their addresses tell them apart.
struct Renderer
{
    QString id;           // the device's UDN ("uuid:...")
    QString friendlyName; // as the device calls itself ("客厅电视")
    QString address;      // host and port of its description ("192.168.1.20:49152")
    QUrl descriptionUrl;
    bool manual = false; // added by its description's address, not found on the network

    bool isValid() const { return device != nullptr; }

    // The device's services, for CastSession.
    std::shared_ptr<const RendererDevice> device;
};

} // namespace kinolark::cast

Q_DECLARE_METATYPE(kinolark::cast::Renderer)

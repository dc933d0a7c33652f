#include "desktop/x_saver_suspend.h"

#include <QtGlobal>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <utility>

namespace kinolark::desktop {

XSaverSuspend::XSaverSuspend(QByteArray display)
    : m_name(std::move(display))
{
}

XSaverSuspend::~XSaverSuspend()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool XSaverSuspend::open()
{
    if (m_tried)
        return m_display;
    m_tried = true;
    if (m_name.isEmpty())
        return false;
    m_display = XOpenDisplay(m_name.constData());
    if (!m_display)
        return false;
    // Suspend came with version 1.1; calling it on a server without it
    // would be an X error, which ends the program.
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XScreenSaverQueryExtension(m_display, &event, &error) ||
        !XScreenSaverQueryVersion(m_display, &major, &minor) || major < 1 || (major == 1 && minor < 1)) {
        qWarning("kinolark: the X server %s cannot hold its screen saver off", m_name.constData());
        XCloseDisplay(m_display);
        m_display = nullptr;
        return false;
    }
    return true;
}

void XSaverSuspend::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    if (suspended && !open())
        return;
    m_suspended = suspended;
    XScreenSaverSuspend(m_display, suspended ? True : False);
    XFlush(m_display);
}

} // namespace kinolark::desktop

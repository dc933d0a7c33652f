#include "x_saver_probe.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

XSaverProbe::~XSaverProbe()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool XSaverProbe::open(const QByteArray &display)
{
    m_display = XOpenDisplay(display.constData());
    int event = 0;
    int error = 0;
    return m_display && XScreenSaverQueryExtension(m_display, &event, &error);
}

void XSaverProbe::setTimeout(int seconds)
{
    XSetScreenSaver(m_display, seconds, 0, DefaultBlanking, DefaultExposures);
    reset();
}

void XSaverProbe::reset()
{
    XForceScreenSaver(m_display, ScreenSaverReset);
    XSync(m_display, False);
}

bool XSaverProbe::saverOn()
{
    XScreenSaverInfo info{};
    XScreenSaverQueryInfo(m_display, DefaultRootWindow(m_display), &info);
    return info.state == ScreenSaverOn;
}

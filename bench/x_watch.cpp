#include "x_watch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstring>
#include <poll.h>

namespace kinolark::bench {

namespace {

// The watched process may take its window away at any time; a request on a
// window that is gone is no reason to stop.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

XWatch::XWatch()
    : m_display(XOpenDisplay(nullptr))
{
    XSetErrorHandler(ignoreErrors);
}

XWatch::~XWatch()
{
    if (m_display)
        XCloseDisplay(m_display);
}

void XWatch::listen()
{
    XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    XSync(m_display, True); // forget windows mapped before
}

long XWatch::windowPid(unsigned long window)
{
    const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(m_display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data)
            == Success
        && data) {
        if (format == 32 && count == 1)
            pid = *reinterpret_cast<long *>(data);
        XFree(data);
    }
    return pid;
}

unsigned long XWatch::waitForWindow(pid_t pid, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectionNumber(m_display);
    for (;;) {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect && windowPid(event.xmap.window) == pid)
                return event.xmap.window;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, int(left));
    }
}

std::vector<std::uint8_t> XWatch::grab(unsigned long window, int x, int y, int width, int height)
{
    std::vector<std::uint8_t> pixels;
    XImage *image = XGetImage(m_display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.assign(reinterpret_cast<std::uint8_t *>(image->data),
                  reinterpret_cast<std::uint8_t *>(image->data) + size_t(image->bytes_per_line) * size_t(height));
    XDestroyImage(image);
    return pixels;
}

void XWatch::focus(unsigned long window)
{
    XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
    XSync(m_display, False);
}

void XWatch::close(unsigned long window)
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, window, False, NoEventMask, &event);
    XFlush(m_display);
}

} // namespace kinolark::bench

#pragma once

#include <QByteArray>

struct _XDisplay;

namespace kinolark::desktop {

// Holds off the X server's own saver and DPMS (MIT-SCREEN-SAVER's suspend)
// over a connection of its own. The server counts suspends per client and
// drops them when the connection closes, so a crash cannot leave the saver
// off. The display is opened at the first suspend.
class XSaverSuspend
{
public:
    // `display`: an X display name; empty, none.
    explicit XSaverSuspend(QByteArray display);
    ~XSaverSuspend();
    XSaverSuspend(const XSaverSuspend &) = delete;
    XSaverSuspend &operator=(const XSaverSuspend &) = delete;

    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }

private:
    bool open();

    QByteArray m_name;
    _XDisplay *m_display = nullptr;
    bool m_tried = false;
    bool m_suspended = false;
};

} // namespace kinolark::desktop

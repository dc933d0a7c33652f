#pragma once

#include "desktop/x_saver_suspend.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <optional>

class QDBusPendingCallWatcher;

namespace kinolark::desktop {

// Keeps the screen on while an episode plays: one inhibition on the
// session bus, through the first service the session has of the desktop
// portal, org.freedesktop.ScreenSaver and GNOME's session manager, and on
// X11 the X server's own saver held off as well. Every bus call is
// asynchronous; a service that fails is logged once and playing goes on.
class ScreenInhibitor : public QObject
{
    Q_OBJECT
public:
    // `xDisplay`: the X display whose own saver is held off too, by default
    // the session's; empty, none.
    explicit ScreenInhibitor(QObject *parent = nullptr);
    explicit ScreenInhibitor(const QByteArray &xDisplay, QObject *parent = nullptr);
    // Releases what is held (see release()).
    ~ScreenInhibitor() override;

    // The session bus, once connected; until then the X part works alone.
    // Given once.
    void setBus(const QDBusConnection &bus);

    // True while an episode plays, false on pause, stop, end, error and
    // leaving. Repeating a value does nothing.
    void setInhibited(bool inhibited);
    bool isInhibited() const { return m_wanted; }

    // Releases everything now, waiting up to a second for the bus: for the
    // quit, after which no reply would be read.
    void release();

private:
    struct Held
    {
        int service = 0;
        uint cookie = 0;
        QDBusObjectPath request; // the portal's
    };

    void inhibitThrough(int service);
    void inhibitAnswered(QDBusPendingCallWatcher *answered);
    std::optional<Held> heldFrom(const QDBusMessage &reply) const;
    void releaseHeld();
    QDBusMessage releaseMessage(const Held &held) const;
    void warnOnce(const QString &what);

    QDBusConnection m_bus;
    bool m_wanted = false;
    QDBusPendingCallWatcher *m_pending = nullptr;
    int m_pendingService = 0;
    std::optional<Held> m_held;
    int m_firstService = 0; // the one that answered last
    bool m_warned = false;
    XSaverSuspend m_xSaver;
};

} // namespace kinolark::desktop

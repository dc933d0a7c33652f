#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>

namespace kinolark::desktop {

// The user's session bus, connected on a thread of its own: connecting
// waits for the bus daemon, and a daemon that hangs would hold the window.
// connected() or unavailable() follows start(), on the thread that owns
// this object. The connection is the program's own (not Qt's shared
// default), so the services handed it never wait on one another's bus.
//
// Qt itself also reaches for the session bus on the window's thread: its
// accessibility bridge, when the first window shows, and against a daemon
// that does not answer it waits without end. probeBus(sessionAddress())
// run beside the start finds such a bus in time to point the process at
// none (DBUS_SESSION_BUS_ADDRESS) before the window shows.
class SessionBus : public QObject
{
    Q_OBJECT
public:
    explicit SessionBus(QObject *parent = nullptr);
    ~SessionBus() override;

    // Connects to `address`, by default the session's bus. A bus that does
    // not answer within `probeTimeoutMs` counts as unavailable.
    void start(const QString &address = QString(), int probeTimeoutMs = 2000);

    // The session's bus address: DBUS_SESSION_BUS_ADDRESS, else the user's
    // socket in XDG_RUNTIME_DIR; empty when there is neither. Never a bus
    // libdbus would launch itself (dbus-launch outlives the program).
    static QString sessionAddress();

signals:
    void connected(const QDBusConnection &bus);
    void unavailable(const QString &reason);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace kinolark::desktop

#include "desktop/session_bus.h"

#include "desktop/bus_probe.h"

#include <QAtomicInt>
#include <QDBusError>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <mutex>
#include <utility>
#include <thread>

namespace kinolark::desktop {

// What the worker threads share with the object; the object may go while
// a worker still waits for its bus.
struct SessionBus::Shared
{
    std::mutex mutex;
    SessionBus *owner = nullptr;
    QStringList names; // connections started, closed with the object
};

namespace {

QAtomicInt connectionCount;

} // namespace

SessionBus::SessionBus(QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

SessionBus::~SessionBus()
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->owner = nullptr;
    // Holders of the connection keep it open until they let it go.
    for (const QString &name : std::as_const(m_shared->names))
        QDBusConnection::disconnectFromBus(name);
}

QString SessionBus::sessionAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return QString();
    const QString socket = runtime + QStringLiteral("/bus");
    if (!QFileInfo(socket).exists())
        return QString();
    return QStringLiteral("unix:path=") + socket;
}

void SessionBus::start(const QString &address, int probeTimeoutMs)
{
    const QString target = address.isEmpty() ? sessionAddress() : address;
    if (target.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { emit unavailable(QStringLiteral("no session bus")); }, Qt::QueuedConnection);
        return;
    }
    const QString name = QStringLiteral("kinolark-session-%1").arg(connectionCount.fetchAndAddRelaxed(1));
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->names.append(name);
    }
    std::thread([shared = m_shared, target, name, probeTimeoutMs] {
        QString failure = probeBus(target, probeTimeoutMs);
        // Left unconnected when the probe fails: libdbus would wait far
        // longer for the same silence.
        QDBusConnection bus(name);
        if (failure.isEmpty()) {
            bus = QDBusConnection::connectToBus(target, name);
            if (!bus.isConnected())
                failure = bus.lastError().message();
        }
        const std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->owner) {
            QDBusConnection::disconnectFromBus(name);
            return;
        }
        // Queued to the owner's thread; dropped there if it is gone by then.
        SessionBus *owner = shared->owner;
        if (failure.isEmpty()) {
            QMetaObject::invokeMethod(
                owner, [owner, bus] { emit owner->connected(bus); }, Qt::QueuedConnection);
        } else {
            QDBusConnection::disconnectFromBus(name);
            QMetaObject::invokeMethod(
                owner, [owner, failure] { emit owner->unavailable(failure); }, Qt::QueuedConnection);
        }
    }).detach();
}

} // namespace kinolark::desktop
